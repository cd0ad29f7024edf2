#pragma once

// Text runs kept as they are spelled in the input (accents as "\'e9",
// characters as "\u" words) instead of as a UTF-8 copy: the text is read
// again from those bytes whenever it is asked for.  The reader keeps a run
// this way only when reading it again gives exactly the text and offsets it
// read the first time, so what follows need only be a pure function of the
// bytes and the state recorded at the run's start.

#include "formats/rtf/RtfRunOffsets.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvaran::formats::rtf {

// The state a run's reading starts from, packed for model::RunText (code
// page and \uc), or none when it does not fit.
std::optional<std::uint32_t> spelledRunContext(int codePage, int uc);

// Reads the text of `spelled`, a run's bytes, as the reader does: its UTF-8
// text goes to `utf8` and, when `offsets` is given, the input offset of each
// character (bytes from `base`, the run's first byte in the input).  False
// for bytes the reading does not take (a control word too long, say); what
// was written is then meaningless.
bool readSpelledRun(std::string_view spelled, std::uint32_t context, std::string& utf8, RunOffsets* offsets = nullptr,
                    std::uint64_t base = 0);

// The number model::RunText knows readSpelledRun by.
std::uint8_t spelledRunDecoder();

}  // namespace kelvaran::formats::rtf
