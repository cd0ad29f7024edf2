// Reads arbitrary bytes as RTF, writes them back and writes an edit.  The
// body is shared with the test that replays the seed corpus and the crash files.

#include "fuzz/RtfFuzzEntry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvaran::formats::rtf::exerciseRtf(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
