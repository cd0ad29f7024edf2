#include "office/native/word/NativeRange.h"

#include "office/OfficeError.h"
#include "office/native/word/NativeFrames.h"
#include "office/native/word/NativeInlineShapes.h"
#include "office/native/word/NativeShapeRange.h"
#include "office/native/word/WordSession.h"

#include <algorithm>

namespace kelvaran::office::native {

namespace model = formats::model;

NativeRange::NativeRange(std::shared_ptr<DocumentState> document, int story, std::int64_t start, std::int64_t end,
                         int boundInline)
    : document_(std::move(document)), story_(story), start_(start), end_(end), boundInline_(boundInline) {}

StorySpan NativeRange::span() const {
    document_->checkOpen();
    const auto& doc = document_->model;
    if (boundInline_ >= 0) {
        document_->inlineObject(boundInline_);  // throws when deleted
        const auto [story, element] = doc.locateInline(boundInline_);
        if (story < 0) throw OfficeError("the inline shape is no longer in the document");
        const std::int64_t at = doc.positionOf(story, static_cast<std::size_t>(element));
        return StorySpan{story, at, at + 1};
    }
    if (story_ < 0 || story_ >= static_cast<int>(doc.stories.size())) throw OfficeError("the range's story is gone");
    const std::int64_t length = doc.positionOf(story_, doc.stories[static_cast<std::size_t>(story_)].elements.size());
    StorySpan result;
    result.story = story_;
    result.start = std::clamp<std::int64_t>(start_, 0, length);
    result.end = end_ == kToEnd ? length : std::clamp<std::int64_t>(end_, result.start, length);
    return result;
}

void NativeRange::Copy() {
    const StorySpan s = span();
    if (s.end <= s.start) throw OfficeError("there is nothing in the range to copy");
    WordClip clip = copySpan(*document_, s);
    refuseObjectsThatStay(*document_, clip);
    offerOnClipboard(document_->session.clipboard, std::move(clip), document_->session.events);
}

void NativeRange::Paste() {
    pasteAt(*document_, span());
}

void NativeRange::Delete() {
    const StorySpan s = span();
    if (s.end <= s.start) return;
    refuseRemovingObjectsThatStay(*document_, s);
    document_->model.eraseRange(s.story, s.start, s.end);
    document_->touch();
}

void NativeRange::Select() {
    const StorySpan s = span();
    auto& selection = document_->session.selection;
    selection = SelectionState{};
    selection.document = document_;
    selection.story = s.story;
    selection.start = s.start;
    selection.end = s.end;
}

Variant NativeRange::Information(std::int32_t type) {
    const StorySpan s = span();
    return estimatedPage(*document_, s.story, s.start, type);
}

word::FramesPtr NativeRange::Frames() {
    const StorySpan s = span();
    const auto& story = document_->model.stories[static_cast<std::size_t>(s.story)];
    // Every paragraph that the range touches and whose mark carries a frame.
    std::int32_t count = 0;
    if (!story.elements.empty()) {
        const auto& doc = document_->model;
        std::size_t i = story.paragraphStart(doc.elementAt(s.story, s.start));
        const std::size_t last = doc.elementAt(s.story, std::max(s.start, s.end - 1));
        while (i < story.elements.size()) {
            const std::size_t mark = story.paragraphEnd(i);
            if (mark < story.elements.size() && story.elements[mark].paragraph->frame) ++count;
            if (mark >= last || mark >= story.elements.size()) break;
            i = mark + 1;
        }
    }
    return std::make_shared<NativeFrames>(count);
}

word::InlineShapesPtr NativeRange::InlineShapes() {
    const StorySpan s = span();
    const bool toEnd = s.end >= document_->model.stories[static_cast<std::size_t>(s.story)].length();
    return std::make_shared<NativeInlineShapes>(document_, s.story, s.start, toEnd ? kToEnd : s.end);
}

word::ShapeRangePtr NativeRange::ShapeRange() {
    const StorySpan s = span();
    const auto& story = document_->model.stories[static_cast<std::size_t>(s.story)];
    std::vector<int> found;
    const bool whole = s.start == 0 && s.end >= story.length();
    for (int shape : document_->model.shapesAnchoredIn(s.story)) {
        const int element = document_->model.shapes[static_cast<std::size_t>(shape)].anchor.element;
        const std::int64_t at = document_->model.positionOf(s.story, static_cast<std::size_t>(std::max(0, element)));
        if (whole || (at >= s.start && at < s.end)) found.push_back(shape);
    }
    return std::make_shared<NativeShapeRange>(document_, std::move(found));
}

Variant estimatedPage(const DocumentState& document, int story, std::int64_t position, std::int32_t type) {
    if (type != word::constants::wdActiveEndAdjustedPageNumber) {
        throw OfficeError("Information(" + std::to_string(type) + ") is not available");
    }
    return Variant(static_cast<std::int32_t>(document.model.estimatePage(story, position)));
}

}  // namespace kelvaran::office::native
