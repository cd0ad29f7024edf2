#pragma once

// Reading and writing document files for the in-process Word: the format is
// recognised by content when reading and chosen by the extension when
// writing.

#include "formats/model/Document.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaran::office::native {

// One file format the in-process Word reads and writes.
struct FileFormat {
    std::string name;  // "rtf", "doc": also the extension it is saved under
    std::function<bool(std::string_view)> looksLike;
    std::function<formats::model::Document(std::shared_ptr<const std::string>)> read;
    std::function<std::string(const formats::model::Document&)> write;
    std::function<formats::model::Document()> makeNew;
    // Why an object of a document of this format cannot be replaced by a
    // picture there (its origin names it); empty when it can.  Unset: every
    // object can.
    std::function<std::string(const formats::model::Document&, const formats::model::Origin&)> whyObjectStays;
    // Hands the file's content to a sink piece by piece; empty: `write` is
    // called and its result handed on whole.
    std::function<void(const formats::model::Document&, const std::function<void(std::string_view)>&)> stream;
    // The size the file would have, told without writing it; empty when only
    // writing it can tell.
    std::function<std::uint64_t(const formats::model::Document&)> sizeOf;
};

// The formats this build has readers and writers for.
std::vector<FileFormat> builtInFormats();

// Reads a document file.  OfficeError when the file cannot be read, is not a
// format of ours, or its reader refuses it (the reader's reason in the text).
formats::model::Document readDocumentFile(const std::vector<FileFormat>& formats, const std::string& path);

// A new empty document in a format.
formats::model::Document newDocumentIn(const std::vector<FileFormat>& formats, const std::string& format);

// The document's file content in a format.
std::string writeDocument(const std::vector<FileFormat>& formats, const formats::model::Document& document,
                          const std::string& format);
// The same content handed to `sink` piece by piece.
void writeDocumentTo(const std::vector<FileFormat>& formats, const formats::model::Document& document,
                     const std::string& format, const std::function<void(std::string_view)>& sink);
// The size of that content when the format can tell it without writing it.
std::optional<std::uint64_t> documentSize(const std::vector<FileFormat>& formats,
                                          const formats::model::Document& document, const std::string& format);

// "rtf" or "doc" for a path's extension, or OfficeError.
std::string formatForPath(const std::string& path);

// Largest document file opened, in bytes.
inline constexpr std::uintmax_t kMaxDocumentBytes = std::uintmax_t{1} << 30;

}  // namespace kelvaran::office::native
