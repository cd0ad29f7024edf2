#include "office/native/excel/DrawAheadGuess.h"

#include "office/native/PictureRendering.h"
#include "tests/office/native/NativeTestSupport.h"

#include <gtest/gtest.h>

namespace kelvaran::office::native {
namespace {

namespace model = formats::model;

class DrawAheadGuessTest : public ::testing::Test {
protected:
    NearbyPicture nearby(const model::PictureData& picture, double widthPt, double heightPt) {
        return NearbyPicture{picture, widthPt, heightPt};
    }

    model::PictureData before = test::jpegPicture(800, 600);
    model::PictureData middle = test::jpegPicture(640, 480);
    model::PictureData after = test::jpegPicture(600, 800);
    DrawAheadGuess guess;
};

TEST_F(DrawAheadGuessTest, GuessesThePictureBeforeAtTheRatioTheLastWasCutAt) {
    EXPECT_FALSE(guess.nextDrawing(85).has_value()) << "nothing pasted yet";
    guess.pasted(middle, 240, 180, nearby(before, 300, 225), nearby(after, 150, 200));
    EXPECT_FALSE(guess.nextDrawing(85).has_value()) << "no ratio learnt yet";

    // Cut at 1.5 x its displayed size: the picture before (the walk goes
    // from the end of the story) is guessed at 1.5 x its own.
    guess.cut(middle, 360, 270);
    const auto next = guess.nextDrawing(70);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->bytes, before.bytes);
    EXPECT_EQ(next->type, imaging::PictureType::Jpeg);
    EXPECT_EQ(next->width, pointsToPixels(450));
    EXPECT_EQ(next->height, pointsToPixels(337.5));
    EXPECT_EQ(next->quality, 70);

    // Later cuts are of conversions and teach nothing.
    guess.cut(test::jpegPicture(100, 100), 10, 10);
    EXPECT_EQ(guess.nextDrawing(70)->width, pointsToPixels(450));
}

TEST_F(DrawAheadGuessTest, FollowsTheWalkForwardOnceSeenGoingThatWay) {
    guess.pasted(before, 300, 225, std::nullopt, nearby(middle, 240, 180));
    guess.cut(before, 300, 225);
    // The picture pasted next is the one after: the walk goes forward.
    guess.pasted(middle, 240, 180, nearby(before, 300, 225), nearby(after, 150, 200));
    guess.cut(middle, 240, 180);
    const auto next = guess.nextDrawing(85);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->bytes, after.bytes);
    EXPECT_EQ(next->width, pointsToPixels(150));
    EXPECT_EQ(next->height, pointsToPixels(200));
}

TEST_F(DrawAheadGuessTest, SizesKeptWithinAPicturesOwnPixelsAreKeptSoForTheNext) {
    guess.pasted(middle, 240, 180, nearby(before, 300, 225), std::nullopt);
    guess.cut(middle, 360, 270);  // ratio 1.5
    // The next cut is at exactly its picture's pixels (640 x 480 at 96 per
    // inch): kept within them, which says nothing of the ratio.
    guess.pasted(middle, 400, 300, nearby(before, 600, 450), std::nullopt);
    guess.cut(middle, 480, 360);
    const auto next = guess.nextDrawing(85);
    ASSERT_TRUE(next.has_value());
    // 1.5 x 600 pt would be 1200 pixels; the picture has 800.
    EXPECT_EQ(next->width, 800);
    EXPECT_EQ(next->height, 600);
}

TEST_F(DrawAheadGuessTest, NothingForAPictureNotDrawnStraightAsJpeg) {
    auto guessFor = [&](const model::PictureData& next, double widthPt, double heightPt) {
        DrawAheadGuess fresh;
        fresh.pasted(middle, 240, 180, nearby(next, widthPt, heightPt), std::nullopt);
        fresh.cut(middle, 360, 270);
        return fresh.nextDrawing(85);
    };
    EXPECT_TRUE(guessFor(before, 300, 225).has_value());

    model::PictureData cropped = before;
    cropped.crop.left = 0.2;
    EXPECT_FALSE(guessFor(cropped, 300, 225).has_value());

    model::PictureData drawing = before;
    drawing.type = model::PictureFormat::Emf;
    EXPECT_FALSE(guessFor(drawing, 300, 225).has_value());

    // Larger than the largest page: cut without a rendering to store.
    EXPECT_FALSE(guessFor(before, 3000, 2250).has_value());
    // No size at all.
    EXPECT_FALSE(guessFor(before, 0, 225).has_value());
}

}  // namespace
}  // namespace kelvaran::office::native
