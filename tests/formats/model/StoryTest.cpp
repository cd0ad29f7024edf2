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

}  // namespace
}  // namespace kelvaran::formats::model
