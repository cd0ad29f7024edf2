#pragma once

// The body of the decoder fuzz target, shared with the test that replays its
// corpus and every crash it has found.  Hostile bytes may only ever make the
// pipeline throw ImagingError; a broken invariant throws std::logic_error.

#include <cstddef>
#include <string_view>

namespace kelvaran::imaging {

// Sniffs the bytes, reads their size, renders them small and runs each
// encoder over the rendering.  Returns how many of those steps succeeded.
int exerciseDecoders(std::string_view bytes);

}  // namespace kelvaran::imaging
