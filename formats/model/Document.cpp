#include "formats/model/Document.h"

#include <algorithm>
#include <stdexcept>

namespace kelvaran::formats::model {

namespace {

bool live(EditState state) { return state != EditState::Deleted; }

}  // namespace

std::vector<int> Document::inlinesOf(int story) const {
    std::vector<int> found;
    if (story < 0 || story >= static_cast<int>(stories.size())) return found;
    for (const auto& element : stories[static_cast<std::size_t>(story)].elements) {
        if (element.kind != ElementKind::Inline) continue;
        if (element.object < 0 || element.object >= static_cast<int>(inlines.size())) continue;
        if (!live(inlines[static_cast<std::size_t>(element.object)].edit)) continue;
        found.push_back(element.object);
    }
    return found;
}

std::vector<int> Document::topLevelShapes() const {
    std::vector<int> found;
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        if (live(shapes[i].edit) && shapes[i].parent < 0) found.push_back(static_cast<int>(i));
    }
    return found;
}

std::vector<int> Document::shapesAnchoredIn(int story) const {
    std::vector<int> found;
    for (int index : topLevelShapes()) {
        if (shapes[static_cast<std::size_t>(index)].anchor.story == story) found.push_back(index);
    }
    return found;
}


void Document::shiftAnchors(int story, std::size_t from, std::ptrdiff_t by) {
    for (auto& shape : shapes) {
        if (shape.anchor.story != story) continue;
        if (shape.anchor.element < 0 || static_cast<std::size_t>(shape.anchor.element) < from) continue;
        // Anchors at or after `from` move with the elements they stand before
        // (back by the number erased, which never takes them below the erased
        // part's start).
        shape.anchor.element = static_cast<int>(std::max<std::ptrdiff_t>(0, shape.anchor.element + by));
    }
}

std::size_t Document::splitStory(int story, std::int64_t position) {
    changed();
    auto& target = stories[static_cast<std::size_t>(story)];
    const std::size_t before = target.elements.size();
    const std::size_t at = target.splitAt(position);
    if (target.elements.size() > before) shiftAnchors(story, at, 1);
    return at;
}

void Document::insertElement(int story, std::size_t index, Element element) {
    changed();
    if (story < 0 || story >= static_cast<int>(stories.size())) throw std::out_of_range("no such story");
    auto& elements = stories[static_cast<std::size_t>(story)].elements;
    if (element.kind == ElementKind::Inline &&
        (element.object < 0 || element.object >= static_cast<int>(inlines.size()))) {
        throw std::out_of_range("an inline element must name an object of the document");
    }
    index = std::min(index, elements.size());
    elements.insert(elements.begin() + static_cast<std::ptrdiff_t>(index), std::move(element));
    shiftAnchors(story, index, 1);
}

int Document::insertInline(int story, std::int64_t position, InlineObject object) {
    changed();
    if (story < 0 || story >= static_cast<int>(stories.size())) throw std::out_of_range("no such story");
    object.edit = EditState::Added;
    inlines.push_back(std::move(object));
    const int index = static_cast<int>(inlines.size()) - 1;
    const std::size_t at = splitStory(story, position);
    insertElement(story, at, Element::inlineObject(index));
    return index;
}

void Document::deleteShape(int shape) {
    changed();
    if (shape < 0 || shape >= static_cast<int>(shapes.size())) return;
    auto& target = shapes[static_cast<std::size_t>(shape)];
    if (!live(target.edit)) return;
    target.edit = EditState::Deleted;
    if (target.parent >= 0 && target.parent < static_cast<int>(shapes.size())) {
        auto& siblings = shapes[static_cast<std::size_t>(target.parent)].children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), shape), siblings.end());
    }
    if (target.textStory > 0 && target.textStory < static_cast<int>(stories.size())) {
        for (int object : inlinesOf(target.textStory)) inlines[static_cast<std::size_t>(object)].edit = EditState::Deleted;
    }
    const std::vector<int> members = target.children;
    for (int member : members) {
        if (member == shape) continue;
        shapes[static_cast<std::size_t>(member)].parent = -1;  // so the erase below does not touch the list
        deleteShape(member);
        shapes[static_cast<std::size_t>(member)].parent = shape;
    }
}

void Document::eraseRange(int story, std::int64_t from, std::int64_t to) {
    changed();
    if (story < 0 || story >= static_cast<int>(stories.size())) throw std::out_of_range("no such story");
    auto& target = stories[static_cast<std::size_t>(story)];
    from = std::max<std::int64_t>(0, from);
    to = std::min(to, target.length());
    if (to <= from) return;
    std::size_t first = splitStory(story, from);
    std::size_t last = splitStory(story, to);  // one past the last element to go
    // The story's final paragraph mark stays: a story always ends a paragraph.
    if (last == target.elements.size() && last > first &&
        target.elements[last - 1].kind == ElementKind::ParagraphMark) {
        --last;
    }
    // With the whole story erased, every shape anchored in it goes too (also
    // when nothing but the final paragraph mark was left to erase).
    const bool wholeStory = first == 0 && last + 1 >= target.elements.size();
    if (wholeStory) {
        for (int shape : shapesAnchoredIn(story)) deleteShape(shape);
    }
    if (last <= first) return;
    for (std::size_t i = first; i < last; ++i) {
        const auto& element = target.elements[i];
        if (element.kind == ElementKind::Inline && element.object >= 0 &&
            element.object < static_cast<int>(inlines.size())) {
            inlines[static_cast<std::size_t>(element.object)].edit = EditState::Deleted;
        }
    }
    // A shape anchored right where the part begins stands between the text
    // before and the part (as a shape written just before a picture that is
    // replaced): it stays, unless whole paragraphs go and it with them.
    bool wholeParagraphs = target.paragraphStart(first) == first;
    if (wholeParagraphs) {
        wholeParagraphs = false;
        for (std::size_t i = first; i < last && !wholeParagraphs; ++i) {
            wholeParagraphs = target.elements[i].kind == ElementKind::ParagraphMark ||
                              target.elements[i].kind == ElementKind::SectionBreak;
        }
    }
    for (int shape : shapesAnchoredIn(story)) {
        const int at = shapes[static_cast<std::size_t>(shape)].anchor.element;
        const bool inside = at > static_cast<int>(first) || (at == static_cast<int>(first) && wholeParagraphs);
        if (inside && at < static_cast<int>(last)) deleteShape(shape);
    }
    // Shapes that survive with an anchor in the erased part (members of a
    // group anchored elsewhere) stand where the part was.
    for (auto& shape : shapes) {
        if (shape.anchor.story == story && shape.anchor.element >= static_cast<int>(first) &&
            shape.anchor.element < static_cast<int>(last)) {
            shape.anchor.element = static_cast<int>(first);
        }
    }
    target.elements.erase(target.elements.begin() + static_cast<std::ptrdiff_t>(first),
                          target.elements.begin() + static_cast<std::ptrdiff_t>(last));
    shiftAnchors(story, last, -static_cast<std::ptrdiff_t>(last - first));
}

int Document::addShape(FloatingShape shape) {
    changed();
    std::int64_t front = 0;
    for (const auto& other : shapes) {
        if (live(other.edit)) front = std::max(front, other.stackPosition + 1);
    }
    shape.stackPosition = front;
    shape.edit = EditState::Added;
    shapes.push_back(std::move(shape));
    return static_cast<int>(shapes.size()) - 1;
}

bool Document::modified() const {
    for (const auto& object : inlines) {
        if (object.edit != EditState::Unchanged) return true;
    }
    for (const auto& shape : shapes) {
        if (shape.edit != EditState::Unchanged) return true;
    }
    return false;
}

}  // namespace kelvaran::formats::model
