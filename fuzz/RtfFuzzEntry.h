#pragma once

// The body of the RTF fuzz target, shared with the test that replays its seed
// corpus and crash files.  Hostile bytes may only ever end in a FormatError.

#include <string_view>

namespace kelvaran::formats::rtf {

// Reads the bytes; when they are a document, writes it back unchanged (which
// must give the same bytes), draws its pictures small within the budgets,
// then replaces every picture and object as the office does (inline,
// floating, group members, objects), moves its first remaining top-level
// shape, writes that and reads it back.  Returns 0 when the bytes are
// refused, 1 when read and written unchanged (nothing to edit, or the
// edited copy refused by the writer), 2 when an edited copy was written and
// read back.  Aborts when the unchanged document does not come back byte for
// byte, or an edited copy does not read with the pictures it was given.
int exerciseRtf(std::string_view bytes);

}  // namespace kelvaran::formats::rtf
