#include "formats/model/Story.h"

#include <algorithm>

namespace kelvaran::formats::model {

Element Element::textRun(RunText utf8, std::int64_t count) {
    Element element;
    element.kind = ElementKind::Text;
    element.text = std::move(utf8);
    element.chars = count;
    return element;
}

Element Element::inlineObject(int index) {
    Element element;
    element.kind = ElementKind::Inline;
    element.chars = 1;
    element.object = index;
    return element;
}

const ParagraphProperties& SharedParagraph::get(const SharedParagraph& paragraph) {
    static const ParagraphProperties defaults;
    return paragraph.properties_ ? *paragraph.properties_ : defaults;
}

bool SharedParagraph::isDefault(const ParagraphProperties& properties) {
    static const ParagraphProperties defaults;
    return properties == defaults;
}

ParagraphProperties& SharedParagraph::edit() {
    // A fresh copy whether shared or not: no other element can hold it then.
    properties_ = Counted<ParagraphProperties>::make(get(*this));
    return *properties_.sole();
}

Element Element::paragraphMark(SharedParagraph properties) {
    Element element;
    element.kind = ElementKind::ParagraphMark;
    element.chars = 1;
    element.paragraph = std::move(properties);
    return element;
}

Element Element::pageBreak() {
    Element element;
    element.kind = ElementKind::PageBreak;
    element.chars = 1;
    return element;
}

Element Element::sectionBreak(SectionBreakKind kind) {
    Element element;
    element.kind = ElementKind::SectionBreak;
    element.chars = 1;
    element.section = kind;
    return element;
}

std::int64_t Story::length() const {
    std::int64_t total = 0;
    for (const auto& element : elements) total += element.chars;
    return total;
}

std::int64_t Story::positionOf(std::size_t index) const {
    std::int64_t position = 0;
    const std::size_t end = std::min(index, elements.size());
    for (std::size_t i = 0; i < end; ++i) position += elements[i].chars;
    return position;
}

std::size_t Story::elementAt(std::int64_t position) const {
    if (position < 0) return 0;
    std::int64_t start = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const std::int64_t next = start + elements[i].chars;
        if (position < next) return i;
        start = next;
    }
    return elements.size();
}

namespace {

// Byte offset of the n-th code point of a UTF-8 text, or npos when the text
// has fewer.  Counts UTF-16 units the way the readers count characters: a
// character beyond the basic plane counts two.
std::size_t utf8OffsetOfUnit(std::string_view text, std::int64_t units) {
    std::size_t offset = 0;
    std::int64_t counted = 0;
    while (offset < text.size() && counted < units) {
        const auto lead = static_cast<unsigned char>(text[offset]);
        std::size_t width = 1;
        if (lead >= 0xF0) {
            width = 4;
        } else if (lead >= 0xE0) {
            width = 3;
        } else if (lead >= 0xC0) {
            width = 2;
        }
        counted += width == 4 ? 2 : 1;
        offset += width;
    }
    if (counted != units || offset > text.size()) return std::string::npos;
    return offset;
}

}  // namespace

std::size_t Story::splitAt(std::int64_t position) {
    if (position < 0) position = 0;
    std::int64_t start = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (start == position) return i;
        const std::int64_t next = start + elements[i].chars;
        if (position < next) {
            // Only text runs hold more than one character.
            Element& run = elements[i];
            const std::int64_t head = position - start;
            Element tail = run;
            tail.chars = run.chars - head;
            tail.origin = ElementOrigin{};
            run.chars = head;
            std::string scratch;
            const std::string_view text = run.text.view(scratch);
            const std::size_t cut = utf8OffsetOfUnit(text, head);
            if (cut != std::string::npos && utf8OffsetOfUnit(text, run.chars + tail.chars) == text.size()) {
                // The tail has no origin to hold the input its text may
                // point into: it keeps a copy of its own.
                tail.text = RunText(text.substr(cut));
                // A spelled run's text was decoded just now: the head takes
                // it as it stands instead of decoding it once more.
                if (run.text.spelled()) {
                    run.text = RunText(text.substr(0, cut));
                } else {
                    run.text.keepFirst(cut);
                }
            } else {
                tail.text.clear();
            }
            elements.insert(elements.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(tail));
            return i + 1;
        }
        start = next;
    }
    return elements.size();
}

std::size_t Story::paragraphEnd(std::size_t index) const {
    for (std::size_t i = index; i < elements.size(); ++i) {
        if (elements[i].kind == ElementKind::ParagraphMark || elements[i].kind == ElementKind::SectionBreak) return i;
    }
    return elements.size();
}

std::size_t Story::paragraphStart(std::size_t index) const {
    std::size_t i = std::min(index, elements.size());
    while (i > 0) {
        const ElementKind kind = elements[i - 1].kind;
        if (kind == ElementKind::ParagraphMark || kind == ElementKind::SectionBreak) return i;
        --i;
    }
    return 0;
}

std::string Story::plainText() const {
    std::string text;
    std::string scratch;
    for (const auto& element : elements) {
        switch (element.kind) {
            case ElementKind::Text: text += element.text.view(scratch); break;
            case ElementKind::Inline: text += "\xEF\xBF\xBC"; break;
            case ElementKind::ParagraphMark: text += '\n'; break;
            case ElementKind::PageBreak:
            case ElementKind::SectionBreak: text += '\f'; break;
            case ElementKind::ColumnBreak: text += '\n'; break;
        }
    }
    return text;
}

}  // namespace kelvaran::formats::model
