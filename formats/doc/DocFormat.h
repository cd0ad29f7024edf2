#pragma once

// Entry points of the Word 97-2003 reader and writer, as the native office
// calls them.

#include "formats/model/Document.h"
#include "formats/model/FormatError.h"

#include <memory>
#include <string>
#include <string_view>

namespace kelvaran::formats::doc {

// True when the bytes start with the compound-file signature, or with the
// signature of an older Word file (which readDoc refuses with its reason).
bool looksLikeDoc(std::string_view bytes);
// Reads a document; throws model::FormatError with a clear reason when it is
// refused (encrypted, older than Word 97, damaged ...).
model::Document readDoc(std::shared_ptr<const std::string> bytes);
// The same for a caller that hands its bytes over: they are let go of as
// soon as the compound file has been read, and the document's `source` is a
// stand-in that only names where it came from.  The writer needs nothing
// else, because the parsed file travels with the document's objects.
model::Document readDocTakingBytes(std::shared_ptr<const std::string> bytes);
// The input patched with the document's edits.  Throws model::FormatError
// when an edit cannot be expressed; never returns a damaged file.
std::string writeDoc(const model::Document& document);
// A new empty document (format "doc").
model::Document newDocDocument();
// Why the embedded object that `origin` names (an inline object or a floating
// shape of `document`, read from a .doc) cannot be replaced by a picture in
// that document, so that the replacement is refused before it is made; empty
// when it can, and for anything else.
std::string whyObjectStays(const model::Document& document, const model::Origin& origin);

}  // namespace kelvaran::formats::doc
