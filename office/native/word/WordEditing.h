#pragma once

// Copying, cutting and pasting objects inside and between documents of the
// in-process Word.  Shared by Range, Selection and the shape objects.

#include "office/native/ClipboardItems.h"
#include "office/native/word/DocumentState.h"
#include "platform/Clipboard.h"
#include "platform/Host.h"

#include <cstdint>
#include <vector>

namespace kelvaran::office::native {

// A range of a story with resolved bounds.
struct StorySpan {
    int story = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
};

// The objects of [start, end) of a story, in text order.
WordClip copySpan(DocumentState& document, const StorySpan& span);
// Shapes with their members and text.
WordClip copyShapes(DocumentState& document, const std::vector<int>& shapes);
// Fails with OfficeError when the copy holds an embedded object that its
// document's format cannot replace by a picture: converting it could never
// be saved, so it is refused before anything is changed.
void refuseObjectsThatStay(const DocumentState& document, const WordClip& clip);
// The same for objects about to leave a span of a story or to be deleted
// with a shape.
void refuseRemovingObjectsThatStay(const DocumentState& document, const StorySpan& span);
void refuseDeletingObjectThatStays(const DocumentState& document, int shape);
// Puts a copy on the clipboard with its metafile-picture rendering (the first
// object drawn at its displayed size), when it can be drawn.
void offerOnClipboard(platform::Clipboard& clipboard, WordClip clip, platform::EventPump* events = nullptr);

// Pastes the clipboard at a span: inline content replaces the span's text,
// floating shapes are anchored to the paragraph at its start without touching
// the text.  Returns the character position after the pasted inline content
// (the span's start when only shapes arrived).  OfficeError when the clipboard
// holds nothing Word can paste.
std::int64_t pasteAt(DocumentState& document, const StorySpan& span);

// Adds a copied shape tree to a document, anchored at `anchor`; returns the
// index of the top shape.
int addShapeTree(DocumentState& document, const ClipShape& shape, formats::model::Anchor anchor);

// The element a shape pasted at a character position is anchored before: the
// first element of the paragraph holding the position.
formats::model::Anchor anchorAt(const DocumentState& document, int story, std::int64_t position);
// The anchor of a shape, through its groups up to the top-level shape.
formats::model::Anchor topAnchor(const DocumentState& document, int shape);
// The span of the paragraph an anchor stands in.
StorySpan paragraphSpan(const DocumentState& document, formats::model::Anchor anchor);

}  // namespace kelvaran::office::native
