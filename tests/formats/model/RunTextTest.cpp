#include "formats/model/RunText.h"
#include "formats/model/Story.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kelvaran::formats::model {
namespace {

bool pointsInto(const RunText& text, const std::string& buffer) {
    return text.data() >= buffer.data() && text.data() + text.str().size() <= buffer.data() + buffer.size();
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
    std::string scratch;
    moved = RunText(moved.view(scratch).substr(2));  // its own text, cut from itself
    EXPECT_EQ(moved, "ain");
    moved.clear();
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(moved.str(), "");
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

// Reads "^x" as the letter x in capitals and anything else as it stands;
// the context is a number of "!" to add at the end.
void shoutingDecoder(std::string_view spelled, std::uint32_t context, std::string& utf8) {
    for (std::size_t i = 0; i < spelled.size(); ++i) {
        if (spelled[i] == '^' && i + 1 < spelled.size()) {
            utf8 += static_cast<char>(spelled[++i] - 'a' + 'A');
        } else {
            utf8 += spelled[i];
        }
    }
    utf8.append(context, '!');
}

TEST(RunTextTest, SpelledTextIsDecodedWhenAskedForAndCopiedOnlyWhenDetached) {
    const std::uint8_t decoder = RunText::addDecoder(&shoutingDecoder);
    EXPECT_EQ(RunText::addDecoder(&shoutingDecoder), decoder);
    EXPECT_NE(decoder, 0);

    auto buffer = std::make_shared<std::string>("{^hello ^world}");
    const std::string_view spelled = std::string_view(*buffer).substr(1, 13);
    RunText text = RunText::spelledInInput(spelled, decoder, 2);
    EXPECT_TRUE(text.spelled());
    EXPECT_TRUE(text.inInputBuffer());
    EXPECT_EQ(text.data(), buffer->data() + 1);
    EXPECT_EQ(text, "Hello World!!");
    EXPECT_EQ(text.str(), "Hello World!!");
    std::string scratch = "left over";
    EXPECT_EQ(text.view(scratch), "Hello World!!");

    // A copy points at the same bytes; cutting it decodes it into a copy of
    // its own and leaves the first as it was.
    RunText copy = text;
    EXPECT_TRUE(copy.spelled());
    EXPECT_EQ(copy.data(), text.data());
    copy.keepFirst(5);
    EXPECT_FALSE(copy.spelled());
    EXPECT_FALSE(copy.inInputBuffer());
    EXPECT_EQ(copy, "Hello");
    EXPECT_EQ(text, "Hello World!!");

    RunText moved = std::move(text);
    EXPECT_TRUE(moved.spelled());
    EXPECT_TRUE(text.empty());  // NOLINT(bugprone-use-after-move): a moved-from run is empty
    EXPECT_FALSE(text.spelled());
    text = moved;
    moved.detach();
    EXPECT_FALSE(moved.inInputBuffer());
    buffer.reset();
    EXPECT_EQ(moved, "Hello World!!");

    // Nothing to decode, no decoder, or a context too large: no text.
    EXPECT_TRUE(RunText::spelledInInput({}, decoder, 0).empty());
    EXPECT_TRUE(RunText::spelledInInput("x", 0, 0).empty());
    EXPECT_TRUE(RunText::spelledInInput("x", 62, 0).empty());
    EXPECT_TRUE(RunText::spelledInInput("x", decoder, RunText::kMaxContext + 1).empty());
    EXPECT_EQ(RunText::spelledInInput("x", decoder, RunText::kMaxContext).str().size(), 1 + RunText::kMaxContext);
}

TEST(RunTextTest, SplittingASpelledRunGivesBothHalvesTheirDecodedText) {
    const std::uint8_t decoder = RunText::addDecoder(&shoutingDecoder);
    auto buffer = std::make_unique<std::string>("^ab^cd");
    Story story;
    story.elements.push_back(Element::textRun(RunText::spelledInInput(*buffer, decoder, 0), 4));
    ASSERT_EQ(story.splitAt(3), 1u);
    ASSERT_EQ(story.elements.size(), 2u);
    buffer.reset();
    EXPECT_EQ(story.elements[0].text, "AbC");
    EXPECT_EQ(story.elements[1].text, "d");
    EXPECT_FALSE(story.elements[0].text.inInputBuffer());
    EXPECT_EQ(story.plainText(), "AbCd");
}

}  // namespace
}  // namespace kelvaran::formats::model
