#include "formats/model/Story.h"

#include <gtest/gtest.h>

namespace kelvaran::formats::model {
namespace {

Story sample() {
    Story story;
    story.elements.push_back(Element::textRun("abc", 3));
    story.elements.push_back(Element::inlineObject(0));
    story.elements.push_back(Element::textRun("de", 2));
    story.elements.push_back(Element::paragraphMark());
    return story;
}

TEST(StoryTest, PositionsCountEveryObjectAsOneCharacter) {
    const Story story = sample();
    EXPECT_EQ(story.length(), 7);
    EXPECT_EQ(story.positionOf(1), 3);
    EXPECT_EQ(story.positionOf(2), 4);
    EXPECT_EQ(story.positionOf(4), 7);
    EXPECT_EQ(story.elementAt(0), 0u);
    EXPECT_EQ(story.elementAt(2), 0u);
    EXPECT_EQ(story.elementAt(3), 1u);
    EXPECT_EQ(story.elementAt(6), 3u);
    EXPECT_EQ(story.elementAt(7), 4u);
    EXPECT_EQ(story.elementAt(-5), 0u);
}

TEST(StoryTest, SplitAtCutsTextRunsAndKeepsBoundaries) {
    Story story = sample();
    EXPECT_EQ(story.splitAt(3), 1u);  // already a boundary
    EXPECT_EQ(story.elements.size(), 4u);
    EXPECT_EQ(story.splitAt(1), 1u);
    ASSERT_EQ(story.elements.size(), 5u);
    EXPECT_EQ(story.elements[0].text, "a");
    EXPECT_EQ(story.elements[0].chars, 1);
    EXPECT_EQ(story.elements[1].text, "bc");
    EXPECT_EQ(story.elements[1].chars, 2);
    EXPECT_EQ(story.length(), 7);
    EXPECT_EQ(story.splitAt(99), story.elements.size());
}

TEST(StoryTest, SplitAtCountsJapaneseCharactersNotBytes) {
    Story story;
    story.elements.push_back(Element::textRun("日本語", 3));
    EXPECT_EQ(story.splitAt(2), 1u);
    EXPECT_EQ(story.elements[0].text, "日本");
    EXPECT_EQ(story.elements[1].text, "語");
}

TEST(StoryTest, SplitOfARunWhoseTextDisagreesKeepsTheCount) {
    Story story;
    story.elements.push_back(Element::textRun("xy", 5));  // reader kept only part of the text
    EXPECT_EQ(story.splitAt(3), 1u);
    EXPECT_EQ(story.elements[0].chars, 3);
    EXPECT_EQ(story.elements[1].chars, 2);
    EXPECT_TRUE(story.elements[1].text.empty());
    EXPECT_EQ(story.length(), 5);
}

TEST(StoryTest, ParagraphBoundaries) {
    Story story = sample();
    story.elements.push_back(Element::textRun("f", 1));
    story.elements.push_back(Element::paragraphMark());
    EXPECT_EQ(story.paragraphEnd(0), 3u);
    EXPECT_EQ(story.paragraphEnd(3), 3u);
    EXPECT_EQ(story.paragraphEnd(4), 5u);
    EXPECT_EQ(story.paragraphStart(2), 0u);
    EXPECT_EQ(story.paragraphStart(4), 4u);
    EXPECT_EQ(story.paragraphStart(5), 4u);
    Story open;
    open.elements.push_back(Element::textRun("x", 1));
    EXPECT_EQ(open.paragraphEnd(0), 1u);
}

TEST(StoryTest, PlainTextMarksObjectsAndBreaks) {
    Story story = sample();
    story.elements.push_back(Element::pageBreak());
    EXPECT_EQ(story.plainText(), "abc\xEF\xBF\xBC" "de\n\f");
}

TEST(StoryTest, ParagraphFramesGoWithTheirParagraphAndCopiesAreApart) {
    ParagraphProperties framed;
    EXPECT_FALSE(framed.frame);
    framed.frame = FrameProperties{.widthPt = 100, .heightPt = -50, .xPt = 72, .yPt = 36};
    ASSERT_TRUE(framed.frame.has_value());
    // A copy is a frame of its own.
    ParagraphProperties copy = framed;
    copy.frame->widthPt = 50;
    EXPECT_EQ(framed.frame->widthPt, 100);
    EXPECT_EQ((*copy.frame).widthPt, 50);
    copy = framed;
    EXPECT_EQ(copy.frame->widthPt, 100);
    copy.frame->horizontalReference = 0;
    EXPECT_EQ(framed.frame->horizontalReference, 2);
    // Assigned to itself it stays; assigned a paragraph without one it has none.
    const ParagraphProperties& same = copy;
    copy = same;
    ASSERT_TRUE(copy.frame);
    EXPECT_EQ(copy.frame->xPt, 72);
    copy = ParagraphProperties{};
    EXPECT_FALSE(copy.frame.has_value());
    EXPECT_TRUE(framed.frame);
    // Marks keep their frames while the story grows around them.
    Story story;
    story.elements.push_back(Element::paragraphMark(framed));
    for (int i = 0; i < 100; ++i) story.elements.push_back(Element::paragraphMark());
    story.splitAt(0);
    ASSERT_TRUE(story.elements[0].paragraph->frame);
    EXPECT_EQ(story.elements[0].paragraph->frame->yPt, 36);
    EXPECT_FALSE(story.elements[1].paragraph->frame);
    const Story copied = story;
    story.elements[0].paragraph.edit().frame.reset();
    EXPECT_FALSE(story.elements[0].paragraph->frame);
    ASSERT_TRUE(copied.elements[0].paragraph->frame);
    EXPECT_EQ(copied.elements[0].paragraph->frame->heightPt, -50);
}

TEST(StoryTest, SharedParagraphPropertiesAreEditedOnOneMarkOnly) {
    ParagraphProperties spaced;
    spaced.spaceAfterPt = 6;
    spaced.frame = FrameProperties{.widthPt = 80};
    // Marks with the same properties share them; different ones do not.
    SharedParagraph first = SharedParagraph::like(spaced, {});
    SharedParagraph second = SharedParagraph::like(spaced, first);
    EXPECT_TRUE(second.sharesWith(first));
    ParagraphProperties other = spaced;
    other.frame->widthPt = 81;
    SharedParagraph third = SharedParagraph::like(other, second);
    EXPECT_FALSE(third.sharesWith(second));
    EXPECT_EQ(third->frame->widthPt, 81);

    Story story;
    story.elements = {Element::textRun("a", 1), Element::paragraphMark(first), Element::textRun("b", 1),
                      Element::paragraphMark(second), Element::paragraphMark(third)};
    Story copied = story;
    // An edit of one mark reaches neither the mark sharing its properties nor
    // the copy of the story.
    story.elements[3].paragraph.edit().spaceAfterPt = 12;
    story.elements[3].paragraph.edit().frame->xPt = 5;
    EXPECT_EQ(story.elements[3].paragraph->spaceAfterPt, 12);
    EXPECT_EQ(story.elements[3].paragraph->frame->xPt, 5);
    EXPECT_EQ(story.elements[1].paragraph->spaceAfterPt, 6);
    EXPECT_EQ(story.elements[1].paragraph->frame->xPt, 0);
    EXPECT_EQ(copied.elements[3].paragraph->spaceAfterPt, 6);
    EXPECT_EQ(copied.elements[3].paragraph->frame->xPt, 0);
    // Copies of an element made before the edit keep what they had.
    Element mark = story.elements[1];
    story.elements[1].paragraph.edit().inTable = true;
    EXPECT_FALSE(mark.paragraph->inTable);
    EXPECT_TRUE(story.elements[1].paragraph->inTable);

    // Text runs and marks without properties read the defaults and hold none.
    EXPECT_EQ(*story.elements[0].paragraph, ParagraphProperties{});
    const SharedParagraph plain = SharedParagraph::like(ParagraphProperties{}, {});
    EXPECT_FALSE(plain.sharesWith(SharedParagraph::like(ParagraphProperties{}, plain)));
    EXPECT_EQ(*plain, ParagraphProperties{});
    // The defaults edited on one element stay with it.
    story.elements[0].paragraph.edit().fontSizePt = 20;
    EXPECT_EQ(story.elements[2].paragraph->fontSizePt, 0);
    EXPECT_EQ(copied.elements[0].paragraph->fontSizePt, 0);
}

TEST(StoryTest, ElementOriginsAreValuesWithASharedFormatAndSource) {
    const auto source = std::make_shared<const std::string>("{\\rtf1 hello}");
    const auto shared = ElementOrigin::share("rtf", source);
    ElementOrigin a(shared, {7, 12}, std::any(std::string("detail a")));
    ElementOrigin b = a;
    EXPECT_TRUE(b.known());
    EXPECT_EQ(b.format(), "rtf");
    EXPECT_EQ(b.source(), source);
    // A copy's range, detail and source change apart from the original.
    b.range = {8, 9};
    b.detail = std::any(42);
    b.setSource(std::make_shared<const std::string>("other"));
    EXPECT_EQ(a.range.begin, 7);
    EXPECT_EQ(a.range.end, 12);
    ASSERT_NE(a.detail.as<std::string>(), nullptr);
    EXPECT_EQ(*a.detail.as<std::string>(), "detail a");
    EXPECT_EQ(*b.detail.as<int>(), 42);
    EXPECT_EQ(b.detail.as<std::string>(), nullptr);
    EXPECT_EQ(a.source(), source);
    EXPECT_EQ(*b.source(), "other");
    EXPECT_EQ(b.format(), "rtf");

    // Made from a full origin, nothing is lost, and back again.
    Origin full;
    full.format = "doc";
    full.range = {3, 30};
    full.companions = {{40, 50}, {60, 61}};
    full.source = source;
    full.detail = 7;
    const ElementOrigin compact = full;
    const Origin back = compact.full();
    EXPECT_EQ(back.format, "doc");
    EXPECT_EQ(back.range.begin, 3);
    EXPECT_EQ(back.range.end, 30);
    ASSERT_EQ(back.companions.size(), 2u);
    EXPECT_EQ(back.companions[1].begin, 60);
    EXPECT_EQ(back.source, source);
    EXPECT_EQ(std::any_cast<int>(back.detail), 7);
    // An element made in memory knows no origin.
    const ElementOrigin none;
    EXPECT_FALSE(none.known());
    EXPECT_TRUE(none.format().empty());
    EXPECT_FALSE(none.source());
    EXPECT_TRUE(none.companions().empty());
    EXPECT_FALSE(ElementOrigin(Origin{}).known());
}

TEST(StoryTest, SplitRunKeepsItsOriginOnTheFirstPartOnly) {
    const auto source = std::make_shared<const std::string>("{\\rtf1 abcdef}");
    Story story;
    story.elements.push_back(Element::textRun("abcdef", 6));
    story.elements[0].origin = ElementOrigin(ElementOrigin::share("rtf", source), {8, 14}, std::any(99));
    story.elements.push_back(Element::paragraphMark());
    ASSERT_EQ(story.splitAt(2), 1u);
    const Element& head = story.elements[0];
    const Element& tail = story.elements[1];
    EXPECT_EQ(head.text, "ab");
    EXPECT_EQ(tail.text, "cdef");
    // The first part still names the whole run in the input (a writer finds
    // the cut through the run's detail); the second stands in memory only.
    EXPECT_EQ(head.origin.format(), "rtf");
    EXPECT_EQ(head.origin.range.begin, 8);
    EXPECT_EQ(head.origin.range.end, 14);
    ASSERT_NE(head.origin.detail.as<int>(), nullptr);
    EXPECT_EQ(*head.origin.detail.as<int>(), 99);
    EXPECT_FALSE(tail.origin.known());
    EXPECT_FALSE(tail.origin.detail.has_value());
}

TEST(StoryTest, AnElementOfALongTextStaysSmall) {
    // A text of paragraphs of a hundred characters has an element for every
    // fifty bytes or so; what one costs decides what reading it takes.
    EXPECT_LE(sizeof(Element), 72u);
    EXPECT_LE(sizeof(ElementOrigin), 32u);
}

}  // namespace
}  // namespace kelvaran::formats::model
