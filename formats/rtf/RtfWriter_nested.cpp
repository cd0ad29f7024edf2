#include "formats/rtf/RtfDetail.h"

#include "formats/model/FormatError.h"

#include <cstddef>
#include <vector>

namespace kelvaran::formats::rtf {

namespace model = formats::model;

namespace {

struct Span {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    int shape = -1;  // the shape whose bytes these are; -1 for an inline picture
};

bool inside(const model::ByteRange& range, const Span& span) {
    return range.valid() && range.begin >= span.begin && range.end <= span.end &&
           (range.begin != span.begin || range.end != span.end);
}

}  // namespace

void refuseLosingNestedObjects(const model::Document& document,
                               const std::function<bool(const model::Origin&)>& owned) {
    const int count = static_cast<int>(document.shapes.size());
    auto removed = [](model::EditState edit) {
        return edit == model::EditState::Deleted || edit == model::EditState::Replaced;
    };
    std::vector<Span> gone;
    auto addSpans = [&](const model::Origin& origin, int shape) {
        gone.push_back({origin.range.begin, origin.range.end, shape});
        for (const auto& companion : origin.companions)
            if (companion.valid()) gone.push_back({companion.begin, companion.end, shape});
    };
    for (int i = 0; i < count; ++i) {
        const auto& shape = document.shapes[static_cast<std::size_t>(i)];
        if (owned(shape.origin) && removed(shape.edit)) addSpans(shape.origin, i);
    }
    for (const auto& object : document.inlines)
        if (owned(object.origin) && removed(object.edit)) addSpans(object.origin, -1);
    if (gone.empty()) return;

    // A shape goes with a removed one when it is a member or a picture of
    // its text, or is written again anyway (inside a group made anew, or
    // taken out of its group).
    auto goesWith = [&](int shape, int owner) {
        for (int guard = 0; shape >= 0 && shape < count && guard < 64; ++guard) {
            const auto& entry = document.shapes[static_cast<std::size_t>(shape)];
            if (shape == owner || entry.edit == model::EditState::Added || entry.ungroupedFrom >= 0) return true;
            const auto* detail = std::any_cast<ShapeDetail>(&entry.origin.detail);
            if (detail && detail->member && entry.parent < 0) return true;
            shape = entry.parent;
        }
        return false;
    };
    auto storyGoesWith = [&](int story, int owner) {
        return story > 0 && story < static_cast<int>(document.stories.size()) &&
               goesWith(document.stories[static_cast<std::size_t>(story)].owner, owner);
    };
    auto refuse = [] {
        throw model::FormatError(
            "an object of the file lies inside another that is replaced or removed; writing the copy would lose it");
    };
    for (int i = 0; i < count; ++i) {
        const auto& shape = document.shapes[static_cast<std::size_t>(i)];
        if (shape.edit == model::EditState::Deleted || !owned(shape.origin)) continue;
        for (const Span& span : gone) {
            if (span.shape == i || !inside(shape.origin.range, span)) continue;
            if (span.shape >= 0 && (goesWith(i, span.shape) || storyGoesWith(shape.anchor.story, span.shape))) continue;
            refuse();
        }
    }
    for (std::size_t s = 0; s < document.stories.size(); ++s) {
        for (const auto& element : document.stories[s].elements) {
            if (element.kind != model::ElementKind::Inline || element.object < 0 ||
                element.object >= static_cast<int>(document.inlines.size()))
                continue;
            const auto& object = document.inlines[static_cast<std::size_t>(element.object)];
            if (object.edit == model::EditState::Deleted || !owned(object.origin)) continue;
            for (const Span& span : gone) {
                if (!inside(object.origin.range, span)) continue;
                if (span.shape >= 0 && storyGoesWith(static_cast<int>(s), span.shape)) continue;
                refuse();
            }
        }
    }
}

}  // namespace kelvaran::formats::rtf
