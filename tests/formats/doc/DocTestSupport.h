#pragma once

// Shared helpers of the Word 97-2003 tests: test documents, small pictures
// made on the spot, and a look into the compound file.

#include "formats/doc/CompoundFile.h"
#include "formats/model/Document.h"

#include <map>
#include <memory>
#include <string>

namespace kelvaran::formats::doc::test {

// A file under tests/data (e.g. "generated/gen-inline-pictures.doc").
std::shared_ptr<const std::string> testFile(const std::string& relative);
model::Document readTestDocument(const std::string& relative);

// A valid RGB PNG of the given size with a gradient.
std::string makePng(int width, int height);

// Every stream of a compound file by its path ("ObjectPool/_1/Ole").
std::map<std::string, std::string> streamsOf(const std::string& file);

// Index of the n-th live inline object of a story in text order.
int nthInline(const model::Document& document, int story, std::size_t n);

// Replaces a live inline object the way the in-process office does it: a new
// picture pasted in front of it, then the original erased.
int replaceInlineLikeTheOffice(model::Document& document, int object, const std::string& png, int pixelWidth,
                               int pixelHeight);

// Replaces a floating picture the way the office does it: the new picture
// pasted at the old one's anchor with its layout, sunk to its place in the
// stacking order, then the original deleted.
int replaceShapeLikeTheOffice(model::Document& document, int shape, const std::string& png, int pixelWidth,
                              int pixelHeight);

}  // namespace kelvaran::formats::doc::test
