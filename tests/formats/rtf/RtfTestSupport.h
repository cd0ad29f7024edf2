#pragma once

// Files and small documents for the RTF reader and writer tests.

#include "formats/model/Document.h"
#include "formats/model/NewPicture.h"

#include <map>
#include <string>
#include <vector>

namespace kelvaran::formats::rtf::test {

// A file of the source tree (tests/data/...), read whole.
std::string dataFile(const std::string& relative);
// The RTF documents the generator script made, by file name.
std::vector<std::string> generatedRtfFiles();
// RTF files of the shared corpus when this machine has it (empty otherwise).
std::vector<std::string> corpusRtfFiles();
// From the corpus manifest: file ("rtf/NAME.rtf") -> pictures plus objects
// LibreOffice finds in its body (headers and footers aside), -1 for a file
// LibreOffice cannot load.
std::map<std::string, int> corpusManifestCounts();

model::Document read(const std::string& bytes);
// Writes a document and reads the result again.
model::Document roundTrip(const model::Document& document, std::string* written = nullptr);

// A small real PNG (2x2 pixels) as a new picture shown at the given size.
model::NewPicture newPng(double widthPt, double heightPt);
// A minimal document around `body`: header with a font table, then body, then "}".
std::string wrap(const std::string& body, const std::string& header = "");
// Hex digits of bytes.
std::string hex(const std::string& bytes);
// A tiny PNG file.
std::string tinyPng();

// Every live inline object's displayed size, in story order.
std::vector<std::pair<double, double>> inlineSizes(const model::Document& document);

}  // namespace kelvaran::formats::rtf::test
