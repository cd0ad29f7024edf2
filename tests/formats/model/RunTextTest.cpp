#include "formats/model/RunText.h"
#include "formats/model/Story.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kelvaran::formats::model {
namespace {

bool pointsInto(const RunText& text, const std::string& buffer) {
    return text.data() >= buffer.data() && text.data() + text.size() <= buffer.data() + buffer.size();
}

TEST(RunTextTest, TextOfItsOwnIsACopyThatLivesOn) {
    auto source = std::make_unique<std::string>("plain words");
    RunText text(*source);
    EXPECT_FALSE(text.inInputBuffer());
    EXPECT_FALSE(pointsInto(text, *source));
    source.reset();
    EXPECT_EQ(text, "plain words");

    RunText copy = text;
    EXPECT_NE(copy.data(), text.data());
    copy.keepFirst(5);
    EXPECT_EQ(copy, "plain");
    EXPECT_EQ(text, "plain words");

    RunText assigned("other");
    assigned = text;
    EXPECT_EQ(assigned, "plain words");
    assigned = assigned;  // NOLINT(clang-diagnostic-self-assign-overloaded): self-assignment keeps the text
    EXPECT_EQ(assigned, "plain words");

    RunText moved = std::move(copy);
    EXPECT_EQ(moved, "plain");
    EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from run is empty
    moved = RunText(moved.view().substr(2));  // its own text, cut from itself
    EXPECT_EQ(moved, "ain");
    moved.clear();
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(moved.size(), 0u);
}

TEST(RunTextTest, InputTextPointsIntoTheBufferUntilDetached) {
    auto buffer = std::make_shared<std::string>("{\\pard Hello world\\par}");
    RunText text = RunText::inInput(std::string_view(*buffer).substr(7, 11));
    EXPECT_EQ(text, "Hello world");
    EXPECT_TRUE(text.inInputBuffer());
    EXPECT_EQ(text.data(), buffer->data() + 7);

    // Copies point there too; cutting one leaves the other whole.
    RunText copy = text;
    EXPECT_EQ(copy.data(), text.data());
    copy.keepFirst(5);
    EXPECT_EQ(copy, "Hello");
    EXPECT_EQ(text, "Hello world");
    copy.keepFirst(50);
    EXPECT_EQ(copy, "Hello");

    copy.detach();
    text.detach();
    EXPECT_FALSE(text.inInputBuffer());
    EXPECT_FALSE(pointsInto(text, *buffer));
    buffer.reset();
    EXPECT_EQ(text, "Hello world");
    EXPECT_EQ(copy, "Hello");

    EXPECT_FALSE(RunText::inInput({}).inInputBuffer());
    EXPECT_TRUE(RunText::inInput({}).empty());
}

TEST(RunTextTest, TheTailOfASplitRunOwnsItsTextWhileTheHeadStillPoints) {
    // The tail loses the origin that holds the input; its text must not
    // depend on the input staying alive.
    auto buffer = std::make_unique<std::string>("abcdef");
    Story story;
    story.elements.push_back(Element::textRun(RunText::inInput(*buffer), 6));
    ASSERT_EQ(story.splitAt(2), 1u);
    ASSERT_EQ(story.elements.size(), 2u);
    EXPECT_EQ(story.elements[0].text, "ab");
    EXPECT_TRUE(story.elements[0].text.inInputBuffer());
    EXPECT_EQ(story.elements[1].text, "cdef");
    EXPECT_FALSE(story.elements[1].text.inInputBuffer());
    EXPECT_FALSE(pointsInto(story.elements[1].text, *buffer));
    buffer.reset();
    EXPECT_EQ(story.elements[1].text, "cdef");
    EXPECT_EQ(story.elements[1].chars, 4);
}

}  // namespace
}  // namespace kelvaran::formats::model
