#pragma once

// The body of the RTF fuzz target, shared with the test that replays its seed
// corpus and crash files.  Hostile bytes may only ever end in a FormatError.

#include <string_view>

namespace kelvaran::formats::rtf {

// Reads the bytes; when they are a document, writes it back unchanged (which
// must give the same bytes), then with its first picture replaced and its
// first shape moved, and reads that again.  Returns 0 when the bytes are
// refused, 1 when read and written, 2 when an edit was written and read back
// too.  Aborts when the unchanged document does not come back byte for byte.
// Bytes that start like a GIF go through the GIF-to-PNG conversion instead
// (1 when converted, 0 when refused).
int exerciseRtf(std::string_view bytes);

}  // namespace kelvaran::formats::rtf
