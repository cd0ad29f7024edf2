#pragma once

// Every picture of the shared corpus of real documents, as the project's own
// readers find it: inline pictures and object presentations (in the body, in
// headers and in text boxes) and the pictures of floating shapes and of their
// group members.  For tests that check what the imaging library makes of
// real files.

#include "formats/model/PictureData.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kelvaran::test {

// ../shared/corpus beside the source tree.  Throws std::runtime_error when it
// is missing: the corpus is part of every test machine, and a check over it
// that quietly ran over nothing would pass for the wrong reason.
std::filesystem::path corpusFolder();

// The documents of doc/ and rtf/, sorted, as paths relative to the corpus
// folder ("rtf/wordpad-wmf-pictures.rtf").
std::vector<std::string> corpusDocuments();

struct CorpusPicture {
    std::string document;  // relative to the corpus folder
    std::string where;     // "inline 3", "shape 7" ...: enough to find it again
    std::string progId;    // the object's class for an object presentation
    double widthPt = 0;    // displayed size
    double heightPt = 0;
    formats::model::PictureData picture;
};

// The pictures of one document (path relative to the corpus folder), in the
// reader's order.  Throws formats::model::FormatError when the document
// cannot be read.
std::vector<CorpusPicture> picturesOf(const std::string& document);

// The pictures of every document the readers can open; the documents they
// refuse are named in `unreadable` (with the reason) when it is given.
std::vector<CorpusPicture> corpusPictures(std::vector<std::string>* unreadable = nullptr);

}  // namespace kelvaran::test
