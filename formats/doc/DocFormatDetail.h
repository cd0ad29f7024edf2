#pragma once

// What the model reader, the model writer and the scratch-document writer of
// Word 97-2003 files share; the entry points are in DocFormat.h.

#include "formats/doc/DocDocument.h"
#include "formats/model/Document.h"
#include "formats/model/FormatError.h"

#include <any>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace kelvaran::formats::doc::detail {

// The source of a document read by readDocTakingBytes: its parsed file is
// held by its objects' origins.
extern const std::string kSourceStandIn;

// What Origin::detail holds for objects, shapes and elements read from a .doc:
// the inventory entry they came from and the parsed document itself, so that a
// writer of another document (the scratch document) finds the original bytes
// without parsing the file again.
struct DocOrigin {
    enum class Kind { Picture, Object, Shape, Text };
    Kind kind = Kind::Text;
    std::size_t index = 0;  // into the inventory's pictures, objects or shapes
    std::uint32_t cpBegin = 0, cpEnd = 0;
    std::shared_ptr<const DocDocument> document;
};

const DocOrigin* docOrigin(const model::Origin& origin);
const DocOrigin* docOrigin(const model::ElementOrigin& origin);

[[noreturn]] void refuse(const std::string& why);

// A picture of the model as the drawing records store it: a BMP file loses its
// file header (the records hold the DIB), formats the records cannot hold are
// refused.
std::pair<PictureFormat, std::string> toStored(const model::PictureData& picture);

// Parses a file, its refusals and damage turned into FormatError.
std::shared_ptr<const DocDocument> parse(std::string_view bytes);

// The model of a parsed file (DocModelReader.cpp).
model::Document build(std::shared_ptr<const DocDocument> parsed, std::shared_ptr<const std::string> source);

// The scratch document's bytes.
const std::string& emptyDocumentBytes();

// The input patched with the document's edits (DocModelWriter.cpp).
std::string writeEdited(const model::Document& document);

// A scratch document saved: an empty document that holds the pictures of its
// objects, for measuring (DocScratchWriter.cpp).
std::string writeScratch(const model::Document& document);

}  // namespace kelvaran::formats::doc::detail
