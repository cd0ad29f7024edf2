// The page estimate's layout on documents built by hand, where the page of
// each position follows from the page size, the character sizes and widths,
// the spacing and the objects' heights.
#include "formats/model/Document.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvaran::formats::model {
namespace {

// The default page: 648 points of body height (792 less 72 + 72) and 432
// points of width (612 less 90 + 90).  A 12-point line is 14.04 points
// high, so 46 of them fill a page.
constexpr double kSize = 12;

ParagraphProperties sized(double points) {
    ParagraphProperties props;
    props.fontSizePt = points;
    return props;
}

void addParagraph(Document& doc, const std::string& text, ParagraphProperties props = sized(kSize)) {
    if (!text.empty()) doc.main().elements.push_back(Element::textRun(text, static_cast<std::int64_t>(text.size())));
    doc.main().elements.push_back(Element::paragraphMark(props));
}

// An inline object of the given height in a paragraph of its own; returns
// its position.
std::int64_t addPicture(Document& doc, double heightPt, double widthPt = 100) {
    InlineObject object;
    object.widthPt = widthPt;
    object.heightPt = heightPt;
    doc.inlines.push_back(object);
    const std::int64_t at = doc.main().length();
    doc.main().elements.push_back(Element::inlineObject(static_cast<int>(doc.inlines.size()) - 1));
    doc.main().elements.push_back(Element::paragraphMark(sized(kSize)));
    return at;
}

TEST(PageLayoutTest, ShortParagraphsFillAPageAndFlowOntoTheNext) {
    Document doc;
    for (int i = 0; i < 40; ++i) addParagraph(doc, "line");
    const std::int64_t first = addPicture(doc, 20);
    for (int i = 0; i < 40; ++i) addParagraph(doc, "line");
    const std::int64_t second = addPicture(doc, 20);
    for (int i = 0; i < 60; ++i) addParagraph(doc, "line");
    const std::int64_t third = addPicture(doc, 20);
    EXPECT_EQ(doc.estimatePage(0, 0), 1);
    EXPECT_EQ(doc.estimatePage(0, first), 1);
    EXPECT_EQ(doc.estimatePage(0, second), 2);
    EXPECT_EQ(doc.estimatePage(0, third), 4);
}

TEST(PageLayoutTest, LongParagraphsWrapByCharacterWidthAndFullWidthCharactersTakeTwiceTheRoom) {
    // 432 points hold 72 Latin letters of 12 points, or 36 full-width ones.
    Document latin;
    addParagraph(latin, std::string(72 * 50, 'a'));
    const std::int64_t latinPicture = addPicture(latin, 10);
    EXPECT_EQ(latin.estimatePage(0, 72 * 10), 1);
    EXPECT_EQ(latin.estimatePage(0, 72 * 47), 2);
    EXPECT_EQ(latin.estimatePage(0, latinPicture), 2);

    Document japanese;
    std::string text;
    for (int i = 0; i < 72 * 25; ++i) text += "\xE3\x81\x82";  // あ
    japanese.main().elements.push_back(Element::textRun(text, 72 * 25));
    japanese.main().elements.push_back(Element::paragraphMark(sized(kSize)));
    const std::int64_t japanesePicture = addPicture(japanese, 10);
    // 1800 characters are 50 lines: the picture after them is on page 2.
    EXPECT_EQ(japanese.estimatePage(0, 36 * 10), 1);
    EXPECT_EQ(japanese.estimatePage(0, japanesePicture), 2);
}

TEST(PageLayoutTest, LargerCharactersAndSpacingTakeMoreRoom) {
    Document small;
    Document large;
    Document spaced;
    ParagraphProperties withSpace = sized(kSize);
    withSpace.spaceAfterPt = 14.04;  // a second line's worth after each paragraph
    for (int i = 0; i < 30; ++i) {
        addParagraph(small, "line");
        addParagraph(large, "line", sized(24));
        addParagraph(spaced, "line", withSpace);
    }
    EXPECT_EQ(small.estimatePage(0, addPicture(small, 10)), 1);
    EXPECT_EQ(large.estimatePage(0, addPicture(large, 10)), 2);
    EXPECT_EQ(spaced.estimatePage(0, addPicture(spaced, 10)), 2);

    ParagraphProperties exact = sized(kSize);
    exact.lineSpacingPt = -7;  // exactly 7 points a line: 92 lines a page
    Document tight;
    for (int i = 0; i < 80; ++i) addParagraph(tight, "line", exact);
    EXPECT_EQ(tight.estimatePage(0, addPicture(tight, 10)), 1);
}

TEST(PageLayoutTest, APictureThatDoesNotFitGoesToTheNextPageAndTakesItsHeight) {
    Document doc;
    for (int i = 0; i < 20; ++i) addParagraph(doc, "line");
    const std::int64_t tall = addPicture(doc, 500);
    const std::int64_t after = addPicture(doc, 100);
    const std::int64_t third = addPicture(doc, 100);
    EXPECT_EQ(doc.estimatePage(0, tall), 2);
    EXPECT_EQ(doc.estimatePage(0, after), 2);
    EXPECT_EQ(doc.estimatePage(0, third), 3);
}

TEST(PageLayoutTest, ATableRowIsOneBlockAsHighAsItsTallestCell) {
    Document doc;
    for (int i = 0; i < 40; ++i) addParagraph(doc, "line");
    // A row of three cells; the middle one holds a 200-point picture, which
    // cannot stand in the six lines left on page 1.
    ParagraphProperties cell = sized(kSize);
    cell.inTable = true;
    cell.cellEnd = true;
    addParagraph(doc, "left", cell);
    InlineObject object;
    object.widthPt = 100;
    object.heightPt = 200;
    doc.inlines.push_back(object);
    const std::int64_t picture = doc.main().length();
    doc.main().elements.push_back(Element::inlineObject(0));
    doc.main().elements.push_back(Element::paragraphMark(cell));
    const std::int64_t right = doc.main().length();
    addParagraph(doc, "right", cell);
    ParagraphProperties rowEnd = sized(kSize);
    rowEnd.inTable = true;
    rowEnd.rowEnd = true;
    addParagraph(doc, "", rowEnd);
    for (int i = 0; i < 20; ++i) addParagraph(doc, "line");
    const std::int64_t below = addPicture(doc, 10);
    EXPECT_EQ(doc.estimatePage(0, picture), 2);
    EXPECT_EQ(doc.estimatePage(0, right), 2);  // the whole row moved
    // 200 points of row and 21 lines fit on page 2.
    EXPECT_EQ(doc.estimatePage(0, below), 2);
}

TEST(PageLayoutTest, EachSectionLaysOutOnItsOwnPageSize) {
    Document doc;
    PageSetup small;
    small.heightPt = 300;  // 156 points of body: 11 lines of 12 points
    doc.sections = {PageSetup{}, small};
    for (int i = 0; i < 10; ++i) addParagraph(doc, "line");
    doc.main().elements.push_back(Element::sectionBreak(SectionBreakKind::NewPage));
    for (int i = 0; i < 20; ++i) addParagraph(doc, "line");
    const std::int64_t picture = addPicture(doc, 10);
    // Page 2 starts the small pages: 20 lines take pages 2 and 3.
    EXPECT_EQ(doc.estimatePage(0, picture), 3);
}

TEST(PageLayoutTest, HiddenTextTakesNoRoomAndUnknownSizesTakeTheDocumentsDefault) {
    Document doc;
    doc.defaultFontSizePt = 24;
    for (int i = 0; i < 30; ++i) {
        doc.main().elements.push_back(Element::textRun("", 400));  // hidden: no line of its own
        addParagraph(doc, "line", ParagraphProperties{});
    }
    // 30 lines of 24 points (28.08 each) are more than one page.
    EXPECT_EQ(doc.estimatePage(0, addPicture(doc, 10)), 2);
}

TEST(PageLayoutTest, APageBreakBeforeMovesAParagraphUnlessItAlreadyStartsAPage) {
    Document doc;
    ParagraphProperties breakBefore = sized(kSize);
    breakBefore.pageBreakBefore = true;
    addParagraph(doc, "first", breakBefore);  // the document's start: no page before it
    addParagraph(doc, "text");
    const std::int64_t second = doc.main().length();
    doc.main().elements.push_back(Element::textRun("second", 6));
    Element sectionEnd = Element::sectionBreak(SectionBreakKind::NewPage);
    sectionEnd.paragraph = breakBefore;
    doc.main().elements.push_back(sectionEnd);
    const std::int64_t third = doc.main().length();
    addParagraph(doc, "third", breakBefore);  // already at the top of page 3
    EXPECT_EQ(doc.estimatePage(0, 0), 1);
    EXPECT_EQ(doc.estimatePage(0, second), 2);
    EXPECT_EQ(doc.estimatePage(0, third), 3);
}

}  // namespace
}  // namespace kelvaran::formats::model
