#include "office/native/word/WordEditing.h"

#include "office/OfficeError.h"
#include "office/native/LongWork.h"
#include "office/native/PictureRendering.h"
#include "office/native/word/WordSession.h"

#include <algorithm>

namespace kelvaran::office::native {

namespace model = formats::model;

namespace {

// Copies keep the bytes they came from, so that a writer of another document
// can emit the original object and a measurement sees its real cost.
void keepSource(const DocumentState& document, model::Origin& origin) {
    if (origin.known() && !origin.source) origin.source = document.model.source;
}

void keepSource(const DocumentState& document, model::ElementOrigin& origin) {
    if (origin.known() && !origin.source()) origin.setSource(document.model.source);
}

ClipShape copyTree(const DocumentState& document, int index, int depth) {
    if (depth > 64) throw OfficeError("the groups are nested too deeply");
    const auto& shape = document.model.shapes.at(static_cast<std::size_t>(index));
    ClipShape clip;
    clip.shape = shape;
    clip.shape.children.clear();
    clip.shape.parent = -1;
    clip.shape.textStory = -1;
    keepSource(document, clip.shape.origin);
    for (int member : shape.children) {
        if (member == index || !document.shapeLive(member)) continue;
        clip.members.push_back(copyTree(document, member, depth + 1));
    }
    if (shape.textStory > 0 && shape.textStory < static_cast<int>(document.model.stories.size())) {
        model::Story story = document.model.stories[static_cast<std::size_t>(shape.textStory)];
        for (auto& element : story.elements) {
            keepSource(document, element.origin);
            if (element.kind != model::ElementKind::Inline) continue;
            if (element.object < 0 || element.object >= static_cast<int>(document.model.inlines.size())) {
                element.object = -1;
                continue;
            }
            model::InlineObject object = document.model.inlines[static_cast<std::size_t>(element.object)];
            keepSource(document, object.origin);
            clip.textInlines.push_back(std::move(object));
            element.object = static_cast<int>(clip.textInlines.size()) - 1;
        }
        story.owner = -1;
        clip.text = std::move(story);
    }
    return clip;
}

// The first picture of a copy with its displayed size.
const model::PictureData* firstPicture(const WordClip& clip, double& widthPt, double& heightPt) {
    for (const auto& object : clip.inlines) {
        if (object.picture.empty()) continue;
        widthPt = object.widthPt;
        heightPt = object.heightPt;
        return &object.picture;
    }
    for (const auto& shape : clip.shapes) {
        if (shape.shape.picture.empty()) continue;
        widthPt = shape.shape.widthPt;
        heightPt = shape.shape.heightPt;
        return &shape.shape.picture;
    }
    return nullptr;
}

// The first live inline picture of the story from element `from` on,
// going forward or back, looked for over a few thousand elements at most: a
// copy must stay cheap in a long story with few pictures.
std::optional<NearbyPicture> nearbyPicture(const DocumentState& document, const model::Story& story,
                                           std::size_t from, bool forward) {
    constexpr std::size_t kMostElements = 4096;
    for (std::size_t step = 0; step < kMostElements; ++step) {
        if (forward ? from + step >= story.elements.size() : step > from) break;
        const auto& element = story.elements[forward ? from + step : from - step];
        if (element.kind != model::ElementKind::Inline || element.object < 0 ||
            element.object >= static_cast<int>(document.model.inlines.size())) {
            continue;
        }
        const auto& object = document.model.inlines[static_cast<std::size_t>(element.object)];
        if (object.edit == model::EditState::Deleted || object.kind != model::InlineKind::Picture ||
            object.picture.empty()) {
            continue;
        }
        return NearbyPicture{object.picture, object.widthPt, object.heightPt};
    }
    return std::nullopt;
}

// Why the document's format keeps an object, empty when it may go.
std::string whyStays(const DocumentState& document, const model::Origin& origin) {
    for (const auto& format : document.session.fileFormats) {
        if (format.name == document.model.format && format.whyObjectStays) {
            return format.whyObjectStays(document.model, origin);
        }
    }
    return {};
}

[[noreturn]] void refuseObject(const std::string& why) {
    throw OfficeError("the object cannot be replaced by a picture in this document: " + why);
}

void refuseShapeTree(const DocumentState& document, const ClipShape& clip) {
    if (clip.shape.type == model::shape_type::kEmbeddedObject) {
        if (const std::string why = whyStays(document, clip.shape.origin); !why.empty()) refuseObject(why);
    }
    for (const auto& member : clip.members) refuseShapeTree(document, member);
}

}  // namespace

void refuseObjectsThatStay(const DocumentState& document, const WordClip& clip) {
    for (const auto& object : clip.inlines) {
        if (object.kind == model::InlineKind::Picture) continue;
        if (const std::string why = whyStays(document, object.origin); !why.empty()) refuseObject(why);
    }
    for (const auto& shape : clip.shapes) refuseShapeTree(document, shape);
}

void refuseRemovingObjectsThatStay(const DocumentState& document, const StorySpan& span) {
    const auto& story = document.model.stories.at(static_cast<std::size_t>(span.story));
    std::int64_t at = 0;
    for (const auto& element : story.elements) {
        const std::int64_t next = at + element.chars;
        if (at >= span.end) break;
        if (next > span.start && element.kind == model::ElementKind::Inline && element.object >= 0 &&
            element.object < static_cast<int>(document.model.inlines.size())) {
            const auto& object = document.model.inlines[static_cast<std::size_t>(element.object)];
            if (object.edit != model::EditState::Deleted && object.kind != model::InlineKind::Picture) {
                if (const std::string why = whyStays(document, object.origin); !why.empty()) refuseObject(why);
            }
        }
        at = next;
    }
}

void refuseDeletingObjectThatStays(const DocumentState& document, int shape) {
    const auto& entry = document.model.shapes.at(static_cast<std::size_t>(shape));
    if (entry.type == model::shape_type::kEmbeddedObject) {
        if (const std::string why = whyStays(document, entry.origin); !why.empty()) refuseObject(why);
    }
    for (int member : entry.children) {
        if (member != shape && document.shapeLive(member)) refuseDeletingObjectThatStays(document, member);
    }
}

WordClip copySpan(DocumentState& document, const StorySpan& span) {
    WordClip clip;
    const auto& story = document.model.stories.at(static_cast<std::size_t>(span.story));
    // From the element that holds the span's start: a copy of one object of a
    // long story does not pass over the story.
    const std::size_t first = document.model.elementAt(span.story, span.start);
    std::int64_t at = document.model.positionOf(span.story, first);
    std::size_t k = first;
    for (; k < story.elements.size(); ++k) {
        const auto& element = story.elements[k];
        const std::int64_t next = at + element.chars;
        if (at >= span.end) break;
        if (next > span.start && element.kind == model::ElementKind::Inline && element.object >= 0 &&
            element.object < static_cast<int>(document.model.inlines.size())) {
            model::InlineObject object = document.model.inlines[static_cast<std::size_t>(element.object)];
            if (object.edit != model::EditState::Deleted) {
                keepSource(document, object.origin);
                clip.inlines.push_back(std::move(object));
            }
        }
        at = next;
    }
    if (clip.inlines.size() == 1 && clip.inlines.front().kind == model::InlineKind::Picture) {
        clip.pictureAfter = nearbyPicture(document, story, k, true);
        if (first > 0) clip.pictureBefore = nearbyPicture(document, story, first - 1, false);
    }
    return clip;
}

WordClip copyShapes(DocumentState& document, const std::vector<int>& shapes) {
    WordClip clip;
    for (int index : shapes) {
        document.shape(index);  // throws for a deleted one
        clip.shapes.push_back(copyTree(document, index, 0));
    }
    return clip;
}

void offerOnClipboard(platform::Clipboard& clipboard, WordClip clip, platform::EventPump* events) {
    double widthPt = 0;
    double heightPt = 0;
    // Drawn only when a comparison asks for it: an object measured too small
    // to convert is never drawn, and one that cannot be drawn is measured
    // all the same.  A picture that cannot be drawn is still carried; it only
    // has no metafile rendering to compare with.
    platform::Clipboard::RenderingDrawer draw;
    if (const auto* picture = firstPicture(clip, widthPt, heightPt)) {
        // The window keeps answering while it is drawn, at most as large as
        // the largest page.
        draw = [picture = *picture, widthPt, heightPt, events]() -> std::optional<platform::Raster> {
            std::optional<platform::Raster> rendering;
            whileWorking(events, [&] {
                const RenderingSize size = clipboardRenderingSize(widthPt, heightPt);
                rendering = imaging::toRaster(renderDisplayed(picture, size.width, size.height));
            });
            return rendering;
        };
    }
    // Only a single picture is described; a group or several objects are not.
    std::optional<platform::ContentSummary> summary;
    if (clip.inlines.size() == 1 && clip.shapes.empty() && !clip.inlines.front().picture.empty()) {
        summary = summaryOf(clip.inlines.front().picture);
    } else if (clip.inlines.empty() && clip.shapes.size() == 1 && clip.shapes.front().members.empty() &&
               !clip.shapes.front().shape.picture.empty()) {
        summary = summaryOf(clip.shapes.front().shape.picture);
    }
    clipboard.setOnly(kWordClipFormat, std::move(clip));
    if (draw) clipboard.setMetafileRenderingDrawer(std::move(draw));
    if (summary) clipboard.setSummary(std::move(*summary));
}

model::Anchor anchorAt(const DocumentState& document, int story, std::int64_t position) {
    const auto& target = document.model.stories.at(static_cast<std::size_t>(story));
    const std::size_t element = document.model.elementAt(story, position);
    return model::Anchor{story, static_cast<int>(target.paragraphStart(element))};
}

model::Anchor topAnchor(const DocumentState& document, int shape) {
    int top = shape;
    for (int guard = 0; guard < 64; ++guard) {
        const auto& entry = document.model.shapes.at(static_cast<std::size_t>(top));
        if (entry.parent < 0 || entry.parent >= static_cast<int>(document.model.shapes.size())) break;
        top = entry.parent;
    }
    return document.model.shapes.at(static_cast<std::size_t>(top)).anchor;
}

StorySpan paragraphSpan(const DocumentState& document, model::Anchor anchor) {
    if (anchor.story < 0 || anchor.story >= static_cast<int>(document.model.stories.size())) {
        throw OfficeError("the shape's anchor is not in the document");
    }
    const auto& story = document.model.stories[static_cast<std::size_t>(anchor.story)];
    const std::size_t element = std::min(static_cast<std::size_t>(std::max(0, anchor.element)), story.elements.size());
    const std::size_t first = story.paragraphStart(element);
    const std::size_t mark = story.paragraphEnd(element);
    StorySpan span;
    span.story = anchor.story;
    span.start = document.model.positionOf(anchor.story, first);
    span.end = document.model.positionOf(anchor.story, mark < story.elements.size() ? mark + 1 : story.elements.size());
    return span;
}

int addShapeTree(DocumentState& document, const ClipShape& clip, model::Anchor anchor) {
    auto& doc = document.model;
    model::FloatingShape top = clip.shape;
    top.anchor = anchor;
    top.parent = -1;
    top.children.clear();
    top.textStory = -1;
    top.standsFor = -1;
    if (top.name.empty() || std::any_of(doc.shapes.begin(), doc.shapes.end(), [&](const auto& other) {
            return other.edit != model::EditState::Deleted && other.name == top.name;
        })) {
        top.name = document.freshName(DocumentState::baseNameFor(top.type));
    }
    const int index = doc.addShape(std::move(top));

    auto attach = [&](auto& self, const ClipShape& source, int at) -> void {
        if (source.text) {
            model::Story story = *source.text;
            story.owner = at;
            for (auto& element : story.elements) {
                if (element.kind != model::ElementKind::Inline) continue;
                if (element.object < 0 || element.object >= static_cast<int>(source.textInlines.size())) {
                    element.kind = model::ElementKind::Text;  // lost on the way: keep the position only
                    element.object = -1;
                    continue;
                }
                model::InlineObject object = source.textInlines[static_cast<std::size_t>(element.object)];
                object.edit = model::EditState::Added;
                doc.inlines.push_back(std::move(object));
                element.object = static_cast<int>(doc.inlines.size()) - 1;
            }
            doc.stories.push_back(std::move(story));
            doc.shapes[static_cast<std::size_t>(at)].textStory = static_cast<int>(doc.stories.size()) - 1;
        }
        for (const auto& member : source.members) {
            model::FloatingShape child = member.shape;
            child.anchor = anchor;
            child.parent = at;
            child.children.clear();
            child.textStory = -1;
            child.edit = model::EditState::Added;
            child.name = document.freshName(DocumentState::baseNameFor(child.type));
            doc.shapes.push_back(std::move(child));
            const int childIndex = static_cast<int>(doc.shapes.size()) - 1;
            doc.shapes[static_cast<std::size_t>(at)].children.push_back(childIndex);
            self(self, member, childIndex);
        }
    };
    attach(attach, clip, index);
    document.touch();
    return index;
}

std::int64_t pasteAt(DocumentState& document, const StorySpan& span) {
    auto& clipboard = document.session.clipboard;
    auto& doc = document.model;
    if (span.story < 0 || span.story >= static_cast<int>(doc.stories.size())) {
        throw OfficeError("the range is not in the document");
    }
    if (!doc.stories[static_cast<std::size_t>(span.story)].editable) {
        throw OfficeError("this part of the document cannot be edited");
    }

    std::any sheetData = clipboard.data(kSheetClipFormat);
    if (const auto* sheet = std::any_cast<SheetClip>(&sheetData)) {
        // A picture from the scratch sheet arrives inline at the selection.
        model::InlineObject object;
        object.kind = model::InlineKind::Picture;
        object.widthPt = sheet->widthPt;
        object.heightPt = sheet->heightPt;
        object.picture = storedInDocument(sheet->picture);
        object.picture.crop = model::Crop{};
        if (span.end > span.start) {
            refuseRemovingObjectsThatStay(document, span);
            doc.eraseRange(span.story, span.start, span.end);
        }
        doc.insertInline(span.story, span.start, std::move(object));
        document.touch();
        return span.start + 1;
    }

    std::any wordData = clipboard.data(kWordClipFormat);
    const auto* clip = std::any_cast<WordClip>(&wordData);
    if (!clip) throw OfficeError("the clipboard holds nothing that can be pasted here");

    std::int64_t at = span.start;
    if (!clip->inlines.empty()) {
        if (span.end > span.start) {
            refuseRemovingObjectsThatStay(document, span);
            doc.eraseRange(span.story, span.start, span.end);
        }
        for (const auto& source : clip->inlines) {
            doc.insertInline(span.story, at, source);
            ++at;
        }
    }
    if (!clip->shapes.empty()) {
        const model::Anchor anchor = anchorAt(document, span.story, span.start);
        for (const auto& shape : clip->shapes) addShapeTree(document, shape, anchor);
    }
    document.touch();
    return at;
}

}  // namespace kelvaran::office::native
