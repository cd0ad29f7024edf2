#pragma once

#include <string_view>

namespace kelvaran::formats::doc {

// Reads arbitrary bytes as a Word 97-2003 document and, when they are read,
// draws its pictures small within the budgets, writes it unchanged and reads
// that again, then replaces every picture and object as the office does
// (inline, floating, group members, objects), writes and reads back.
// Returns 0 when the bytes are refused, 1 when the unchanged copy could not
// be written, 2 when it was written and read again (nothing to replace, or
// the edited copy refused by the writer), 3 when the edited copy was written
// and read back.  Aborts when a copy the writer made does not read, or reads
// with a different number of pictures.  Shared by the fuzz target and the
// test that replays its corpus.
int exerciseDocReader(std::string_view bytes);

}  // namespace kelvaran::formats::doc
