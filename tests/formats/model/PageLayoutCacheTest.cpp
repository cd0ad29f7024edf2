// The kept page layout: every answer it gives must be the one a layout from
// the story's start gives, for every position of a varied document and after
// the edits a run makes (a picture replaced, text changed before a position).
#include "formats/model/Document.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvaran::formats::model {
namespace {

ParagraphProperties sized(double points) {
    ParagraphProperties props;
    props.fontSizePt = points;
    return props;
}

void addParagraph(Document& doc, const std::string& text, ParagraphProperties props = sized(12)) {
    if (!text.empty()) doc.main().elements.push_back(Element::textRun(text, static_cast<std::int64_t>(text.size())));
    doc.main().elements.push_back(Element::paragraphMark(props));
}

int addObject(Document& doc, double widthPt, double heightPt) {
    InlineObject object;
    object.widthPt = widthPt;
    object.heightPt = heightPt;
    doc.inlines.push_back(object);
    return static_cast<int>(doc.inlines.size()) - 1;
}

// A paragraph holding one picture; returns its position.
std::int64_t addPicture(Document& doc, double heightPt) {
    const std::int64_t at = doc.main().length();
    doc.main().elements.push_back(Element::inlineObject(addObject(doc, 100, heightPt)));
    doc.main().elements.push_back(Element::paragraphMark(sized(12)));
    return at;
}

void addRow(Document& doc, double pictureHeight) {
    ParagraphProperties cell = sized(12);
    cell.inTable = true;
    cell.cellEnd = true;
    addParagraph(doc, "left cell with a few words in it", cell);
    doc.main().elements.push_back(Element::inlineObject(addObject(doc, 80, pictureHeight)));
    doc.main().elements.push_back(Element::paragraphMark(cell));
    ParagraphProperties rowEnd = sized(12);
    rowEnd.inTable = true;
    rowEnd.rowEnd = true;
    addParagraph(doc, "", rowEnd);
}

// Many kinds of block in one story: wrapped paragraphs, line breaks, hidden
// text, pictures, table rows (one taller than a page), page and section
// breaks onto other page sizes, and shapes that push the text down.
Document variedDocument() {
    Document doc;
    PageSetup small;
    small.heightPt = 300;
    PageSetup wide;
    wide.widthPt = 900;
    doc.sections = {PageSetup{}, small, wide};
    ParagraphProperties spaced = sized(14);
    spaced.spaceBeforePt = 6;
    spaced.spaceAfterPt = 9;
    ParagraphProperties breakBefore = sized(12);
    breakBefore.pageBreakBefore = true;
    ParagraphProperties exact = sized(10);
    exact.lineSpacingPt = -11;
    for (int k = 0; k < 70; ++k) {
        switch (k % 7) {
            case 0: addParagraph(doc, std::string(static_cast<std::size_t>(40 + k * 7), 'a'), spaced); break;
            case 1: addPicture(doc, 30.0 + k * 4); break;
            case 2: addParagraph(doc, "first line\nsecond line\x0Bthird line", exact); break;
            case 3: addRow(doc, k == 24 ? 900 : 40); break;
            case 4:
                doc.main().elements.push_back(Element::textRun("", 300));  // hidden text
                addParagraph(doc, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E text", k == 32 ? breakBefore : sized(12));
                break;
            case 5:
                doc.main().elements.push_back(Element::textRun("before", 6));
                if (k == 12 || k == 47) doc.main().elements.push_back(Element::pageBreak());
                addParagraph(doc, "after");
                break;
            default:
                addParagraph(doc, "short");
                if (k == 20) doc.main().elements.push_back(Element::sectionBreak(SectionBreakKind::NewPage));
                if (k == 41) doc.main().elements.push_back(Element::sectionBreak(SectionBreakKind::OddPage));
                if (k == 55) doc.main().elements.push_back(Element::sectionBreak(SectionBreakKind::Continuous));
                break;
        }
    }
    for (int k = 0; k < 3; ++k) {
        FloatingShape shape;
        shape.widthPt = 300;
        shape.heightPt = 120;
        shape.wrap.type = k == 0 ? 4 : 1;
        shape.anchor = Anchor{0, 10 + 60 * k};
        doc.shapes.push_back(shape);
    }
    doc.changed();
    return doc;
}

// Every position of the main story, and one past its end.
void expectSameAsFromStart(const Document& doc) {
    const std::int64_t length = doc.main().length();
    for (std::int64_t p = 0; p <= length + 1; ++p) {
        ASSERT_EQ(doc.estimatePage(0, p), doc.estimatePageFromStart(0, p)) << "position " << p;
    }
}

TEST(PageLayoutCacheTest, EveryPositionOfAVariedDocumentGetsThePageOfAFullLayout) {
    const Document doc = variedDocument();
    ASSERT_GT(doc.estimatePageFromStart(0, doc.main().length()), 10);  // a long document, many groups of blocks
    expectSameAsFromStart(doc);
    // Asked backwards, as a run walks the objects.
    for (std::int64_t p = doc.main().length(); p >= 0; p -= 7) {
        ASSERT_EQ(doc.estimatePage(0, p), doc.estimatePageFromStart(0, p)) << "position " << p;
    }
}

TEST(PageLayoutCacheTest, ParagraphsRunningOverAPageEndGetThePageOfEachOfTheirLines) {
    // Pages of seven lines: nearly every paragraph runs over a page end.
    Document doc;
    PageSetup low;
    low.heightPt = 250;
    doc.sections = {low};
    for (int k = 0; k < 60; ++k) {
        addParagraph(doc, std::string(static_cast<std::size_t>(150 + (k * 37) % 200), k % 2 ? 'x' : 'W'));
        if (k % 11 == 3) addPicture(doc, 20.0 + k);
    }
    doc.changed();
    expectSameAsFromStart(doc);
}

TEST(PageLayoutCacheTest, APictureReplacedByATallerOneMovesTheLaterPages) {
    Document doc;
    for (int k = 0; k < 30; ++k) addParagraph(doc, "line");
    const std::int64_t picture = addPicture(doc, 20);
    for (int k = 0; k < 200; ++k) addParagraph(doc, "line " + std::to_string(k));
    const std::int64_t last = addPicture(doc, 20);
    doc.changed();
    const int before = doc.estimatePage(0, last);
    // The replacement: the old picture's character erased, a new one put in its place.
    InlineObject taller;
    taller.widthPt = 100;
    taller.heightPt = 600;
    doc.eraseRange(0, picture, picture + 1);
    doc.insertInline(0, picture, taller);
    const std::int64_t lastNow = doc.main().length() - 2;
    EXPECT_EQ(doc.estimatePage(0, lastNow), before + 1);
    expectSameAsFromStart(doc);
}

TEST(PageLayoutCacheTest, TextChangedBeforeAPositionIsLaidOutAgain) {
    Document doc;
    for (int k = 0; k < 120; ++k) addParagraph(doc, "line");
    const std::int64_t picture = addPicture(doc, 20);
    doc.changed();
    const int before = doc.estimatePage(0, picture);
    // 100 new paragraphs at the start: the picture's page moves on.
    std::int64_t added = 0;
    for (int k = 0; k < 100; ++k) {
        doc.insertElement(0, 0, Element::paragraphMark(sized(12)));
        doc.insertElement(0, 0, Element::textRun("new", 3));
        added += 4;
    }
    const int after = doc.estimatePage(0, picture + added);
    EXPECT_GT(after, before);
    EXPECT_EQ(after, doc.estimatePageFromStart(0, picture + added));
    // Text taken away again: back where it was.
    doc.eraseRange(0, 0, added);
    EXPECT_EQ(doc.estimatePage(0, picture), before);
    expectSameAsFromStart(doc);
}

TEST(PageLayoutCacheTest, AnObjectResizedInPlaceCountsOnceTheDocumentIsToldOfTheChange) {
    Document doc;
    for (int k = 0; k < 20; ++k) addParagraph(doc, "line");
    const std::int64_t first = addPicture(doc, 20);
    for (int k = 0; k < 5; ++k) addParagraph(doc, "line");
    const std::int64_t second = addPicture(doc, 20);
    doc.changed();
    EXPECT_EQ(doc.estimatePage(0, second), 1);
    const int object = doc.main().elements[doc.elementAt(0, first)].object;
    doc.inlines[static_cast<std::size_t>(object)].heightPt = 400;
    doc.changed();
    EXPECT_EQ(doc.estimatePage(0, second), 2);
    EXPECT_EQ(doc.estimatePage(0, first), 2);  // too tall for what is left of page 1
    // A copy answers for itself, also once it changes and the original does not.
    Document copy = doc;
    copy.inlines[static_cast<std::size_t>(object)].heightPt = 20;
    copy.changed();
    EXPECT_EQ(copy.estimatePage(0, second), 1);
    EXPECT_EQ(doc.estimatePage(0, second), 2);
}

TEST(PageLayoutCacheTest, ShapesAndSectionsAddedLaterAreTakenIntoAccount) {
    Document doc;
    for (int k = 0; k < 40; ++k) addParagraph(doc, "line");
    const std::int64_t picture = addPicture(doc, 20);
    EXPECT_EQ(doc.estimatePage(0, picture), 1);
    FloatingShape shape;
    shape.widthPt = 400;
    shape.heightPt = 300;
    shape.wrap.type = 4;
    shape.anchor = Anchor{0, 2};
    doc.addShape(shape);
    EXPECT_EQ(doc.estimatePage(0, picture), 2);
    EXPECT_EQ(doc.estimatePage(0, picture), doc.estimatePageFromStart(0, picture));
    PageSetup tall;
    tall.heightPt = 2000;
    doc.sections = {tall};
    EXPECT_EQ(doc.estimatePage(0, picture), 1);
}

}  // namespace
}  // namespace kelvaran::formats::model
