#pragma once

#include <string_view>

namespace kelvaran::formats::doc {

// Reads arbitrary bytes as a Word 97-2003 document and, when they are read,
// walks every story, writes the document unchanged and reads the result again.
// Returns how many of those steps succeeded (0: refused); never lets anything
// but a refusal of the input escape.  Shared by the fuzz target and the test
// that replays its corpus.
int exerciseDocReader(std::string_view bytes);

}  // namespace kelvaran::formats::doc
