#include "office/native/word/NativeSelection.h"

#include "office/OfficeError.h"
#include "office/native/word/DocumentState.h"
#include "office/native/word/NativeRange.h"
#include "office/native/word/NativeShapeRange.h"
#include "office/native/word/WordEditing.h"

#include <algorithm>

namespace kelvaran::office::native {

namespace model = formats::model;

namespace {

std::vector<int> liveShapes(const DocumentState& document, const std::vector<int>& shapes) {
    std::vector<int> live;
    for (int shape : shapes) {
        if (document.shapeLive(shape)) live.push_back(shape);
    }
    return live;
}

StorySpan spanOf(const DocumentState& document, const SelectionState& selection) {
    const auto& doc = document.model;
    if (selection.story < 0 || selection.story >= static_cast<int>(doc.stories.size())) {
        throw OfficeError("the selection's story is gone");
    }
    const std::int64_t length = doc.stories[static_cast<std::size_t>(selection.story)].length();
    StorySpan span;
    span.story = selection.story;
    span.start = std::clamp<std::int64_t>(selection.start, 0, length);
    span.end = std::clamp<std::int64_t>(selection.end, span.start, length);
    return span;
}

}  // namespace

word::ShapeRangePtr NativeSelection::ShapeRange() {
    session_->checkRunning();
    auto document = session_->selectionDocument();
    const auto& selection = session_->selection;
    if (selection.shapes) return std::make_shared<NativeShapeRange>(document, liveShapes(*document, selection.shapeList));
    const StorySpan span = spanOf(*document, selection);
    const int owner = document->model.stories[static_cast<std::size_t>(span.story)].owner;
    if (owner >= 0 && document->shapeLive(owner)) return std::make_shared<NativeShapeRange>(document, std::vector<int>{owner});
    NativeRange range(document, span.story, span.start, span.end);
    return range.ShapeRange();
}

void NativeSelection::Collapse() {
    session_->checkRunning();
    auto document = session_->selectionDocument();
    auto& selection = session_->selection;
    if (selection.shapes) {
        const auto live = liveShapes(*document, selection.shapeList);
        SelectionState collapsed;
        collapsed.document = document;
        if (!live.empty()) {
            const StorySpan span = paragraphSpan(*document, topAnchor(*document, live.front()));
            collapsed.story = span.story;
            collapsed.start = collapsed.end = span.start;
        }
        selection = collapsed;
        return;
    }
    const StorySpan span = spanOf(*document, selection);
    selection.start = selection.end = span.start;
}

void NativeSelection::Copy() {
    session_->checkRunning();
    auto document = session_->selectionDocument();
    const auto& selection = session_->selection;
    if (selection.shapes) {
        const auto live = liveShapes(*document, selection.shapeList);
        if (live.empty()) throw OfficeError("nothing is selected");
        WordClip clip = copyShapes(*document, live);
        refuseObjectsThatStay(*document, clip);
        offerOnClipboard(session_->clipboard, std::move(clip), session_->events);
        return;
    }
    const StorySpan span = spanOf(*document, selection);
    if (span.end <= span.start) throw OfficeError("nothing is selected");
    WordClip clip = copySpan(*document, span);
    refuseObjectsThatStay(*document, clip);
    offerOnClipboard(session_->clipboard, std::move(clip), session_->events);
}

void NativeSelection::Cut() {
    Copy();
    auto document = session_->selectionDocument();
    auto& selection = session_->selection;
    if (selection.shapes) {
        const auto live = liveShapes(*document, selection.shapeList);
        const StorySpan at = paragraphSpan(*document, topAnchor(*document, live.front()));
        for (int shape : live) {
            const int parent = document->model.shapes[static_cast<std::size_t>(shape)].parent;
            document->model.deleteShape(shape);
            if (parent >= 0) document->model.shapes[static_cast<std::size_t>(parent)].layoutChanged = true;
        }
        SelectionState collapsed;
        collapsed.document = document;
        collapsed.story = at.story;
        collapsed.start = collapsed.end = at.start;
        selection = collapsed;
    } else {
        const StorySpan span = spanOf(*document, selection);
        document->model.eraseRange(span.story, span.start, span.end);
        selection.start = selection.end = span.start;
    }
    document->touch();
}

void NativeSelection::Paste() {
    session_->checkRunning();
    auto document = session_->selectionDocument();
    auto& selection = session_->selection;
    StorySpan span;
    if (selection.shapes) {
        const auto live = liveShapes(*document, selection.shapeList);
        if (live.empty()) throw OfficeError("nothing is selected");
        span = paragraphSpan(*document, topAnchor(*document, live.front()));
        span.end = span.start;
    } else {
        span = spanOf(*document, selection);
    }
    const std::int64_t after = pasteAt(*document, span);
    SelectionState collapsed;
    collapsed.document = document;
    collapsed.story = span.story;
    collapsed.start = collapsed.end = after;
    selection = collapsed;
}

Variant NativeSelection::Information(std::int32_t type) {
    session_->checkRunning();
    auto document = session_->selectionDocument();
    const auto& selection = session_->selection;
    if (selection.shapes) {
        const auto live = liveShapes(*document, selection.shapeList);
        if (live.empty()) throw OfficeError("nothing is selected");
        const StorySpan span = paragraphSpan(*document, topAnchor(*document, live.front()));
        return estimatedPage(*document, span.story, span.start, type);
    }
    const StorySpan span = spanOf(*document, selection);
    return estimatedPage(*document, span.story, span.start, type);
}

}  // namespace kelvaran::office::native
