#pragma once

// Entry points of the RTF reader and writer, as the native office calls them.

#include "formats/model/Document.h"
#include "formats/model/FormatError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kelvaran::formats::rtf {

// True when the bytes start like an RTF document ("{\rtf", leading blanks allowed).
bool looksLikeRtf(std::string_view bytes);
// Reads a document; throws model::FormatError with a clear reason when it
// cannot.  The result keeps `bytes` as its source for the writer.
model::Document readRtf(std::shared_ptr<const std::string> bytes);
// Takes a writer's output piece by piece, in order.
using ByteSink = std::function<void(std::string_view)>;

// The document with its edits applied.  Unchanged documents come back byte
// for byte.  Throws model::FormatError when an edit cannot be expressed.
std::string writeRtf(const model::Document& document);
// The same bytes handed to `sink` as they are made: the unchanged stretches
// of the input go straight from its buffer, so the document is never held
// twice.  Every edit is worked out before the first byte goes out, so an edit
// that cannot be expressed throws before anything was written.
void writeRtf(const model::Document& document, const ByteSink& sink);
// How many bytes writeRtf would write: the same pieces counted, not kept.
std::uint64_t rtfSize(const model::Document& document);
// A new empty document (format "rtf", code page 932).
model::Document newRtfDocument();

}  // namespace kelvaran::formats::rtf
