// Sniffs, measures, renders and re-encodes arbitrary bytes.  The body is
// shared with the test that replays the seed corpus and the crash files.

#include "fuzz/DecodeFuzzEntry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvaran::imaging::exerciseDecoders(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
