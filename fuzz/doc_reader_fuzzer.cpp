// Reads arbitrary bytes as a Word 97-2003 document, writes what was read and
// reads that again.  The body is shared with the test that replays the seed
// corpus and the crash files.

#include "fuzz/DocFuzzEntry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvaran::formats::doc::exerciseDocReader(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
