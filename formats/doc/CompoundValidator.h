#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvaran::formats::doc {

// A cheap pass over the raw bytes of a compound file before libgsf sees them:
// header fields, the DIFAT and FAT, the directory chain and tree, and every
// stream's sector chain.  All bounds derive from the file size, every chain is
// walked with a visited set, the tree with an explicit stack, so hostile files
// cost at most linear time and memory.
class CompoundValidator {
public:
    // Returns an empty string when the file looks sound, otherwise a short reason
    // ("the directory chain loops", ...).
    static std::string check(std::string_view file);

    // True when the bytes start with the compound-file signature.
    static bool hasSignature(std::string_view file);

    // For a file `check` found sound: where the root entry's two sibling
    // links stand when it has any, else 0.  The root has none in a sound
    // file; the container library reads what they lead to into entries it
    // never frees, and shows none of it.
    static std::size_t rootSiblingLinks(std::string_view file);
};

}  // namespace kelvaran::formats::doc
