#include "office/native/word/DocumentFiles.h"

#include "formats/doc/DocFormat.h"
#include "formats/model/FormatError.h"
#include "formats/rtf/RtfFormat.h"
#include "office/OfficeError.h"
#include "platform/AtomicFile.h"
#include "platform/Conversions.h"
#include "platform/Failure.h"

#include <filesystem>
#include <new>
#include <system_error>

namespace kelvaran::office::native {

namespace model = formats::model;

namespace {

const FileFormat* find(const std::vector<FileFormat>& formats, const std::string& name) {
    for (const auto& format : formats) {
        if (format.name == name) return &format;
    }
    return nullptr;
}

// Runs a reader or writer and turns its failures into the office's one.
template <class Step>
auto guarded(const std::string& what, Step&& step) -> decltype(step()) {
    try {
        return step();
    } catch (const OfficeError&) {
        throw;
    } catch (const model::FormatError& failure) {
        throw OfficeError(what + ": " + failure.what());
    } catch (const platform::Failure& failure) {
        throw OfficeError(what + ": " + failure.what(), failure.errorNumber());
    } catch (const std::bad_alloc&) {
        throw OfficeError(what + ": not enough memory");
    } catch (const std::exception& failure) {
        throw OfficeError(what + ": " + failure.what());
    }
}

}  // namespace

std::vector<FileFormat> builtInFormats() {
    std::vector<FileFormat> list;
    FileFormat rtf{.name = "rtf",
                   .looksLike = formats::rtf::looksLikeRtf,
                   .read = formats::rtf::readRtf,
                   .write = [](const model::Document& document) { return formats::rtf::writeRtf(document); },
                   .makeNew = formats::rtf::newRtfDocument,
                   .whyObjectStays = {},
                   .stream = [](const model::Document& document,
                                const std::function<void(std::string_view)>& sink) { formats::rtf::writeRtf(document, sink); },
                   .sizeOf = formats::rtf::rtfSize};
    list.push_back(std::move(rtf));
    list.push_back(FileFormat{.name = "doc",
                              .looksLike = formats::doc::looksLikeDoc,
                              .read = formats::doc::readDocTakingBytes,
                              .write = formats::doc::writeDoc,
                              .makeNew = formats::doc::newDocDocument,
                              .whyObjectStays = formats::doc::whyObjectStays,
                              .stream = {},
                              // Written in memory: the size of the file without the file.
                              .sizeOf = [](const model::Document& document) -> std::uint64_t {
                                  return formats::doc::writeDoc(document).size();
                              }});
    return list;
}

std::string formatForPath(const std::string& path) {
    const std::string extension = platform::asciiLower(std::filesystem::path(path).extension().string());
    if (extension == ".rtf") return "rtf";
    if (extension == ".doc") return "doc";
    throw OfficeError("documents can be saved as .rtf or .doc only, not as \"" + path + "\"");
}

model::Document readDocumentFile(const std::vector<FileFormat>& formats, const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) throw OfficeError("the document cannot be found: " + path);
    const auto size = std::filesystem::file_size(path, error);
    if (error) throw OfficeError("the document cannot be opened: " + path + " (" + error.message() + ")");
    if (size > kMaxDocumentBytes) throw OfficeError("the document is too large to open (more than 1 GB): " + path);
    std::shared_ptr<const std::string> bytes;
    try {
        bytes = std::make_shared<const std::string>(platform::readWholeFile(path));
    } catch (const std::exception& failure) {
        throw OfficeError(std::string("the document cannot be read: ") + failure.what());
    }
    for (const auto& format : formats) {
        if (!format.looksLike || !format.read || !format.looksLike(*bytes)) continue;
        // Handed over: a reader may let go of the bytes once it no longer needs them.
        std::shared_ptr<const std::string> given = bytes;
        bytes.reset();
        model::Document document =
            guarded("the document cannot be opened", [&] { return format.read(std::move(given)); });
        if (document.format.empty()) document.format = format.name;
        return document;
    }
    const std::string_view head = std::string_view(*bytes).substr(0, 16);
    if (head.find("{\\rtf") != std::string_view::npos) {
        throw OfficeError("this build cannot read RTF documents: " + path);
    }
    if (head.substr(0, 8) == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
        throw OfficeError("this build cannot read Word 97-2003 documents: " + path);
    }
    throw OfficeError("the file is not a document this program can open (.doc of Word 97-2003 or RTF): " + path);
}

model::Document newDocumentIn(const std::vector<FileFormat>& formats, const std::string& name) {
    const FileFormat* format = find(formats, name);
    if (!format || !format->makeNew) throw OfficeError("this build cannot make new ." + name + " documents");
    model::Document document = guarded("a new document cannot be made", [&] { return format->makeNew(); });
    if (document.format.empty()) document.format = name;
    return document;
}

std::string writeDocument(const std::vector<FileFormat>& formats, const model::Document& document,
                          const std::string& name) {
    const FileFormat* format = find(formats, name);
    if (!format || !format->write) throw OfficeError("this build cannot save ." + name + " documents");
    return guarded("the document cannot be saved", [&] { return format->write(document); });
}

void writeDocumentTo(const std::vector<FileFormat>& formats, const model::Document& document,
                     const std::string& name, const std::function<void(std::string_view)>& sink) {
    const FileFormat* format = find(formats, name);
    if (!format || (!format->write && !format->stream)) {
        throw OfficeError("this build cannot save ." + name + " documents");
    }
    if (!format->stream) {
        sink(writeDocument(formats, document, name));
        return;
    }
    guarded("the document cannot be saved", [&] {
        format->stream(document, sink);
        return 0;
    });
}

std::optional<std::uint64_t> documentSize(const std::vector<FileFormat>& formats, const model::Document& document,
                                          const std::string& name) {
    const FileFormat* format = find(formats, name);
    if (!format || !format->sizeOf) return std::nullopt;
    return guarded("the document cannot be measured", [&] { return format->sizeOf(document); });
}

}  // namespace kelvaran::office::native
