#include "office/native/word/NativeDocument.h"

#include "office/OfficeError.h"
#include "office/native/word/DocumentFiles.h"
#include "office/native/word/NativeInlineShapes.h"
#include "office/native/word/NativeRange.h"
#include "office/native/word/NativeShapes.h"
#include "office/native/word/NativeWindow.h"
#include "office/native/word/WordEditing.h"
#include "office/native/word/WordSession.h"
#include "platform/AtomicFile.h"
#include "platform/Failure.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace kelvaran::office::native {

namespace model = formats::model;

namespace {

bool samePath(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) return true;
    return std::filesystem::weakly_canonical(a, error) == std::filesystem::weakly_canonical(b, error);
}

bool holdsContent(const model::Document& document) {
    for (const auto& object : document.inlines) {
        if (object.edit != model::EditState::Deleted) return true;
    }
    for (const auto& shape : document.shapes) {
        if (shape.edit != model::EditState::Deleted) return true;
    }
    for (const auto& element : document.main().elements) {
        if (element.kind != model::ElementKind::ParagraphMark) return true;
    }
    return false;
}

}  // namespace

word::InlineShapesPtr NativeDocument::InlineShapes() {
    document_->checkOpen();
    return std::make_shared<NativeInlineShapes>(document_, 0, 0, NativeRange::kToEnd);
}

word::ShapesPtr NativeDocument::Shapes() {
    document_->checkOpen();
    return std::make_shared<NativeShapes>(document_);
}

word::RangePtr NativeDocument::Content() {
    document_->checkOpen();
    return std::make_shared<NativeRange>(document_, 0, 0, NativeRange::kToEnd);
}

std::vector<word::HeaderFooterRange> NativeDocument::HeaderFooterRanges() {
    document_->checkOpen();
    std::vector<word::HeaderFooterRange> ranges;
    const auto& stories = document_->model.stories;
    for (std::size_t s = 1; s < stories.size(); ++s) {
        const auto& story = stories[s];
        if (!story.editable) continue;
        if (story.kind != model::StoryKind::Header && story.kind != model::StoryKind::Footer) continue;
        ranges.push_back({.range = std::make_shared<NativeRange>(document_, static_cast<int>(s), 0, NativeRange::kToEnd),
                          .footer = story.kind == model::StoryKind::Footer});
    }
    return ranges;
}

word::WindowPtr NativeDocument::Windows(std::int16_t index) {
    document_->checkOpen();
    if (index != 1) throw OfficeError("a document has one window");
    return std::make_shared<NativeWindow>(document_);
}

word::RangePtr NativeDocument::Range(std::int16_t start) {
    document_->checkOpen();
    if (start < 0) throw OfficeError("a range cannot start before the document");
    return std::make_shared<NativeRange>(document_, 0, start, NativeRange::kToEnd);
}

void NativeDocument::setDropUnusedData(bool drop) {
    document_->checkOpen();
    document_->model.dropFallbackPictures = drop;
}

bool NativeDocument::HoldsUnusedData() {
    document_->checkOpen();
    return !document_->model.fallbackPictures.empty() || document_->model.unusedPictureBytes > 0;
}

void NativeDocument::SaveAs(const std::string& path) {
    document_->checkOpen();
    auto& session = document_->session;
    session.checkRunning();
    if (path.empty()) throw OfficeError("no file name to save under");
    const std::string format = formatForPath(path);
    if (samePath(path, document_->inputPath)) {
        throw OfficeError("the document was opened read-only and cannot be saved over its own file: " + path);
    }
    auto& model = document_->model;
    if (model.format != format) {
        if (!document_->fresh) {
            throw OfficeError("a ." + model.format + " document cannot be saved as ." + format);
        }
        if (holdsContent(model)) {
            if (!model.format.empty()) {
                throw OfficeError("a new document that holds content keeps its format (." + model.format + ")");
            }
            // Objects pasted before the first save move into a new document
            // of the format now asked for (a new document holds no text of
            // its own: only pasted objects).
            DocumentState old(session, std::move(model), fullName(), false, true);
            model = newDocumentIn(session.fileFormats, format);
            std::int64_t at = 0;
            for (int object : old.model.inlinesOf(0)) {
                model.insertInline(0, at++, old.model.inlines[static_cast<std::size_t>(object)]);
            }
            const WordClip shapes = copyShapes(old, old.model.topLevelShapes());
            for (const auto& shape : shapes.shapes) addShapeTree(*document_, shape, anchorAt(*document_, 0, 0));
        } else {
            model = newDocumentIn(session.fileFormats, format);
        }
    }
    document_->settleLayout();
    // Straight into the file, piece by piece.  A new document is only ever a
    // scratch document of the measurements, thrown away after the run: its
    // file need not be synced to the disk.
    const auto durability = document_->fresh ? platform::Durability::Unsynced : platform::Durability::Synced;
    std::optional<platform::AtomicFileWriter> file;
    try {
        file.emplace(path, durability);
    } catch (const platform::Failure& failure) {
        throw OfficeError(std::string("the document cannot be saved: ") + failure.what(), failure.errorNumber());
    }
    writeDocumentTo(session.fileFormats, model, format, [&file](std::string_view bytes) { file->write(bytes); });
    try {
        file->commit();
    } catch (const platform::Failure& failure) {
        throw OfficeError(std::string("the document cannot be saved: ") + failure.what(), failure.errorNumber());
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    document_->fullName = error ? path : absolute.string();
    document_->saved = true;
}

std::optional<double> NativeDocument::SizeIfSaved() {
    document_->checkOpen();
    document_->session.checkRunning();
    // Only a document that has been saved once has a format to be told in.
    const auto& model = document_->model;
    if (model.format.empty()) return std::nullopt;
    document_->settleLayout();
    const auto size = documentSize(document_->session.fileFormats, model, model.format);
    if (!size) return std::nullopt;
    return static_cast<double>(*size);
}

bool NativeDocument::Saved() {
    document_->checkOpen();
    return document_->saved;
}

void NativeDocument::setSaved(bool saved) {
    document_->checkOpen();
    document_->saved = saved;
}

std::string NativeDocument::fullName() const { return document_->fullName; }

std::string NativeDocument::FullName() {
    document_->checkOpen();
    return document_->fullName;
}

void NativeDocument::Close() {
    document_->checkOpen();
    // Nothing is ever saved on closing: the caller saves what it wants kept.
    document_->closed = true;
    auto& documents = document_->session.documents;
    documents.erase(std::remove(documents.begin(), documents.end(), document_), documents.end());
    auto& selection = document_->session.selection;
    if (selection.document.lock() == document_) selection = SelectionState{};
}

}  // namespace kelvaran::office::native
