#pragma once

#include "formats/model/Counted.h"
#include "formats/model/Origin.h"
#include "formats/model/RunText.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::formats::model {

// A layout frame around a paragraph (an old-style positioned paragraph).
// Sizes and positions in points; references with the values of the
// positioned-paragraph keywords: horizontal 0 margin, 1 page, 2 column;
// vertical 0 margin, 1 page, 2 paragraph.
struct FrameProperties {
    double widthPt = 0;   // 0 = automatic
    double heightPt = 0;  // positive at least, negative exactly, 0 automatic
    double xPt = 0;
    double yPt = 0;
    int horizontalReference = 2;
    int verticalReference = 2;
    bool wrapAround = true;

    bool operator==(const FrameProperties&) const = default;
};

// A paragraph's frame when it has one, held apart: the many paragraph
// records without a frame pay a pointer for it, not the frame.  Copies are
// copies of the frame.
class OptionalFrame {
public:
    OptionalFrame() = default;
    OptionalFrame(const OptionalFrame& other) : frame_(copyOf(other)) {}
    OptionalFrame(OptionalFrame&&) noexcept = default;
    OptionalFrame& operator=(const OptionalFrame& other) {
        if (this != &other) frame_ = copyOf(other);
        return *this;
    }
    OptionalFrame& operator=(OptionalFrame&&) noexcept = default;
    OptionalFrame& operator=(const FrameProperties& frame) {
        frame_ = std::make_unique<FrameProperties>(frame);
        return *this;
    }
    ~OptionalFrame() = default;

    bool has_value() const { return frame_ != nullptr; }
    explicit operator bool() const { return has_value(); }
    FrameProperties& operator*() { return *frame_; }
    const FrameProperties& operator*() const { return *frame_; }
    FrameProperties* operator->() { return frame_.get(); }
    const FrameProperties* operator->() const { return frame_.get(); }
    void reset() { frame_.reset(); }

    bool operator==(const OptionalFrame& other) const {
        return has_value() == other.has_value() && (!has_value() || *frame_ == *other.frame_);
    }

private:
    static std::unique_ptr<FrameProperties> copyOf(const OptionalFrame& other) {
        return other.frame_ ? std::make_unique<FrameProperties>(*other.frame_) : nullptr;
    }
    std::unique_ptr<FrameProperties> frame_;
};

struct ParagraphProperties {
    OptionalFrame frame;
    // What the page estimate lays out with (points; 0 where the reader does
    // not know it, and the document's default then applies).
    double fontSizePt = 0;      // the paragraph's character size
    double spaceBeforePt = 0;
    double spaceAfterPt = 0;
    double lineSpacingPt = 0;   // positive: at least; negative: exactly; 0: single
    double lineMultiple = 0;    // proportional spacing (1 single, 2 double); 0: none
    double indentLeftPt = 0;
    double indentRightPt = 0;
    // Tables: the paragraph stands in a cell; its mark ends the cell, or it
    // is the mark that ends a row.
    bool inTable = false;
    bool cellEnd = false;
    bool rowEnd = false;
    bool pageBreakBefore = false;

    bool operator==(const ParagraphProperties&) const = default;
};

// A paragraph mark's properties, held apart and shared: most paragraphs of a
// document have the same ones, and text runs have none.  Reading gives the
// properties (the defaults when none were set); edit() gives this element its
// own copy first, so an edit never reaches another element sharing them.
class SharedParagraph {
public:
    SharedParagraph() = default;
    SharedParagraph(const ParagraphProperties& properties)  // NOLINT(google-explicit-constructor)
        : properties_(isDefault(properties) ? Counted<ParagraphProperties>{} : Counted<ParagraphProperties>::make(properties)) {}
    // `properties` held as `previous` when they are the same, else apart.
    // Readers pass the last mark's, so that a run of like paragraphs shares one.
    static SharedParagraph like(const ParagraphProperties& properties, const SharedParagraph& previous) {
        return get(previous) == properties ? previous : SharedParagraph(properties);
    }

    const ParagraphProperties& operator*() const { return get(*this); }
    const ParagraphProperties* operator->() const { return &get(*this); }
    // This element's own properties, to change.  Keep the reference only
    // for the edit: once the element is copied, the copy shares them again.
    ParagraphProperties& edit();
    // Whether the two hold their properties in one place (for tests).
    bool sharesWith(const SharedParagraph& other) const { return properties_ && properties_ == other.properties_; }

private:
    static const ParagraphProperties& get(const SharedParagraph& paragraph);
    static bool isDefault(const ParagraphProperties& properties);
    Counted<ParagraphProperties> properties_;
};

enum class SectionBreakKind : std::uint8_t { Continuous, NewColumn, NewPage, EvenPage, OddPage };

enum class ElementKind : std::uint8_t {
    Text,           // a run of characters
    Inline,         // one inline object: one character
    ParagraphMark,  // ends a paragraph: one character
    PageBreak,      // explicit page break: one character
    ColumnBreak,    // explicit column break: one character
    SectionBreak,   // ends a section: one character
};

// Members in an order that leaves no gaps: a long text has many of these.
struct Element {
    ElementKind kind = ElementKind::Text;
    // SectionBreak: what the next section starts with.
    SectionBreakKind section = SectionBreakKind::NewPage;
    // Inline: the index into Document::inlines.
    int object = -1;
    // Character count: the run's length for Text, 1 for everything else.
    std::int64_t chars = 0;
    // The run's characters in UTF-8 when the reader keeps them (for text
    // comparisons and copies); may be empty even when chars > 0.
    RunText text;
    // ParagraphMark and SectionBreak: the properties of the paragraph it ends.
    SharedParagraph paragraph;
    // Where the element stands in the input, so writers can place additions.
    ElementOrigin origin;

    static Element textRun(RunText utf8, std::int64_t count);
    static Element inlineObject(int index);
    static Element paragraphMark(SharedParagraph properties = {});
    static Element pageBreak();
    static Element sectionBreak(SectionBreakKind kind);
};

enum class StoryKind { Main, TextBox, Header, Footer, Note, Other };

// An ordered sequence of elements.  Character position p is the p-th
// character from the story's start; an inline object is one position.
struct Story {
    StoryKind kind = StoryKind::Main;
    std::vector<Element> elements;
    // Header, footer and note stories are listed for completeness; the program
    // edits the main story and text boxes only.
    bool editable = true;
    // Text boxes: the shape whose text this is (index into Document::shapes).
    int owner = -1;
    // Where the story stands in the input when a reader knows it (RTF
    // headers and footers: their group), so that a writer can tell what
    // lies inside it.
    Origin origin;

    std::int64_t length() const;
    // Character position at which element `index` starts (length() for
    // index == elements.size()).
    std::int64_t positionOf(std::size_t index) const;
    // The element holding character position `position`, or elements.size()
    // at or beyond the end.  A position inside a text run gives that run.
    std::size_t elementAt(std::int64_t position) const;
    // Splits the text run that holds `position` so that an element starts
    // exactly there; returns that element's index.  A run whose text does not
    // match its count is split by count only (its text stays with the first
    // part).  Returns elements.size() at or beyond the end.
    std::size_t splitAt(std::int64_t position);
    // Index of the paragraph mark (or section break) that ends the paragraph
    // holding element `index`, or elements.size() when the story ends
    // without one.
    std::size_t paragraphEnd(std::size_t index) const;
    // Index of the first element of the paragraph holding element `index`.
    std::size_t paragraphStart(std::size_t index) const;
    // The story's text in UTF-8: runs as kept, "\n" for paragraph marks,
    // "\f" for page and section breaks, U+FFFC for inline objects.
    std::string plainText() const;
};

}  // namespace kelvaran::formats::model
