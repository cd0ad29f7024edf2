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
    ASSERT_TRUE(story.elements[0].paragraph.frame);
    EXPECT_EQ(story.elements[0].paragraph.frame->yPt, 36);
    EXPECT_FALSE(story.elements[1].paragraph.frame);
    const Story copied = story;
    story.elements[0].paragraph.frame.reset();
    ASSERT_TRUE(copied.elements[0].paragraph.frame);
    EXPECT_EQ(copied.elements[0].paragraph.frame->heightPt, -50);
}

}  // namespace
}  // namespace kelvaran::formats::model
