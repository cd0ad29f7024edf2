#include "engine/MeasurementHelpers.h"

#include "engine/RunState.h"
#include "platform/Clipboard.h"
#include "tests/engine/EngineHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace kelvaran::engine::testing {
namespace {

using ::testing::InSequence;
using ::testing::StrictMock;

constexpr std::uint32_t kWhite = 0x00FFFFFF;
constexpr std::uint32_t kBlack = 0;
constexpr std::uint32_t kRed = 0x000000FF;
constexpr std::uint32_t kBlue = 0x00FF0000;

class MeasurementHelpersTest : public ::testing::Test {
protected:
    RunState state;
    platform::Clipboard clipboard;
    StrictMock<MockEventPump> events;
    StrictMock<MockTimer> timer;
    MeasurementHelpers helpers{state, clipboard, events, timer};

    // Loads a reference, then puts `checked` on the clipboard and compares.
    bool compare(const platform::Raster& reference, const platform::Raster& checked, double ratio = 0.05) {
        clipboard.setMetafileRendering(reference);
        helpers.LoadReferencePicture();
        clipboard.setMetafileRendering(checked);
        return helpers.IsPictureBlackened(ratio);
    }
};

// The reference is drawn when the first comparison needs it: an object that
// is measured and found too small is never drawn.
TEST_F(MeasurementHelpersTest, TheReferenceIsDrawnOnlyForAComparison) {
    int drawn = 0;
    clipboard.setMetafileRenderingDrawer([&]() -> std::optional<platform::Raster> {
        ++drawn;
        return platform::Raster(20, 20, kRed);
    });
    helpers.LoadReferencePicture();
    EXPECT_EQ(drawn, 0);
    // The next object replaces the clipboard with a picture black enough
    // for the answer to depend on the reference, which is the first one's.
    clipboard.setMetafileRendering(platform::Raster(30, 30, kBlack));
    EXPECT_TRUE(helpers.IsPictureBlackened(0.05));
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(helpers.reference().at(5, 5), kRed);
    EXPECT_TRUE(helpers.IsPictureBlackened(0.05));
    EXPECT_EQ(drawn, 1);
}

// A picture with no more black pixels than the limit cannot be blackened:
// it is answered without drawing the reference, and a later comparison that
// needs the reference gets the one the box would have held.
TEST_F(MeasurementHelpersTest, AComparisonThatCannotCountEnoughLeavesTheReferenceUndrawn) {
    int drawn = 0;
    auto reference = [&](std::uint32_t colour) {
        clipboard.setMetafileRenderingDrawer([&drawn, colour]() -> std::optional<platform::Raster> {
            ++drawn;
            return platform::Raster(40, 40, colour);
        });
        helpers.LoadReferencePicture();
    };
    reference(kBlack);
    // 21 x 21 = 441 black pixels, the limit is 460 (5 % of 96 x 96).
    clipboard.setMetafileRendering(platform::Raster(21, 21, kBlack));
    EXPECT_FALSE(helpers.IsPictureBlackened(0.05));
    EXPECT_EQ(drawn, 0);
    // The next object's reference is white: 1,600 pixels black only in the
    // checked picture.
    reference(kWhite);
    clipboard.setMetafileRendering(platform::Raster(40, 40, kBlack));
    EXPECT_TRUE(helpers.IsPictureBlackened(0.05));
    EXPECT_EQ(drawn, 1);  // only the newest
    // A black reference, then one that gives nothing: the box is left as
    // the black one makes it.
    reference(kBlack);
    clipboard.setMetafileRendering(platform::Raster(21, 21, kBlack));
    EXPECT_FALSE(helpers.IsPictureBlackened(0.05));
    clipboard.setMetafileRenderingDrawer([&drawn]() -> std::optional<platform::Raster> {
        ++drawn;
        return std::nullopt;
    });
    helpers.LoadReferencePicture();
    EXPECT_EQ(drawn, 1);
    clipboard.setMetafileRendering(platform::Raster(40, 40, kBlack));
    EXPECT_FALSE(helpers.IsPictureBlackened(0.05));  // black in the reference where the picture is
    EXPECT_EQ(drawn, 3);
    EXPECT_EQ(helpers.reference().at(39, 39), kBlack);
    EXPECT_EQ(helpers.reference().at(40, 40), kWhite);
}

// Objects loaded one after another and never compared are not drawn one by
// one; the box still ends as the newest that gives a picture would leave it.
TEST_F(MeasurementHelpersTest, OnlyTheNewestReferenceThatGivesAPictureIsDrawn) {
    std::vector<int> drawn;
    auto drawer = [&](int id, std::optional<platform::Raster> picture) {
        return [&drawn, id, picture]() {
            drawn.push_back(id);
            return picture;
        };
    };
    clipboard.setMetafileRenderingDrawer(drawer(1, platform::Raster(20, 20, kRed)));
    helpers.LoadReferencePicture();
    clipboard.setMetafileRenderingDrawer(drawer(2, platform::Raster(20, 20, kBlue)));
    helpers.LoadReferencePicture();
    // The third gives nothing: the second one's picture is the reference.
    clipboard.setMetafileRenderingDrawer(drawer(3, std::nullopt));
    helpers.LoadReferencePicture();
    EXPECT_TRUE(drawn.empty());
    EXPECT_EQ(helpers.reference().at(5, 5), kBlue);
    EXPECT_EQ(drawn, (std::vector<int>{3, 2}));

    // A long run of objects costs one drawing in many, and the box is right.
    drawn.clear();
    for (int k = 0; k < 1000; ++k) {
        clipboard.setMetafileRenderingDrawer(drawer(k, platform::Raster(20, 20, k % 2 ? kRed : kBlue)));
        helpers.LoadReferencePicture();
    }
    EXPECT_LT(drawn.size(), 20u);
    EXPECT_EQ(helpers.reference().at(5, 5), kRed);  // the last, 999
    EXPECT_EQ(drawn.back(), 999);
}

TEST_F(MeasurementHelpersTest, BoxesAreNinetySixPixelsSquare) {
    EXPECT_EQ(helpers.reference().width, 96);
    EXPECT_EQ(helpers.reference().height, 96);
    EXPECT_EQ(helpers.checked().width, 96);
    EXPECT_EQ(helpers.checked().height, 96);
}

TEST_F(MeasurementHelpersTest, IdenticalPicturesAreNotBlackened) {
    platform::Raster picture(96, 96, kRed);
    picture.set(5, 5, 0);
    EXPECT_FALSE(compare(picture, picture));
}

// 96 x 0.05 x 96 = 460.8, which rounds to 461.
TEST_F(MeasurementHelpersTest, CountAtTheLimitIsNotBlackened) {
    EXPECT_FALSE(compare(whitePicture(), pictureWithBlackPixels(461)));
}

TEST_F(MeasurementHelpersTest, OnePixelAboveTheLimitIsBlackened) {
    EXPECT_TRUE(compare(whitePicture(), pictureWithBlackPixels(462)));
}

TEST_F(MeasurementHelpersTest, LimitFollowsTheRatio) {
    // 96 x 0.5 x 96 = 4608
    EXPECT_FALSE(compare(whitePicture(), pictureWithBlackPixels(4608), 0.5));
    EXPECT_TRUE(compare(whitePicture(), pictureWithBlackPixels(4609), 0.5));
}

TEST_F(MeasurementHelpersTest, BlackInBothDoesNotCount) {
    platform::Raster black(96, 96, 0);
    EXPECT_FALSE(compare(black, black));
}

TEST_F(MeasurementHelpersTest, OnlyPureBlackCounts) {
    platform::Raster nearlyBlack(96, 96, 0x00010101);
    EXPECT_FALSE(compare(whitePicture(), nearlyBlack));
}

TEST_F(MeasurementHelpersTest, EmptyClipboardGivesFalseAndLeavesBothBoxes) {
    platform::Raster reference(96, 96, kRed);
    clipboard.setMetafileRendering(reference);
    helpers.LoadReferencePicture();
    clipboard.setMetafileRendering(pictureWithBlackPixels(1000));
    EXPECT_TRUE(helpers.IsPictureBlackened(0.05));
    const platform::Raster checkedBefore = helpers.checked();

    clipboard.Clear();
    helpers.LoadReferencePicture();
    EXPECT_FALSE(helpers.IsPictureBlackened(0.05));
    EXPECT_EQ(helpers.reference().pixels, reference.pixels);
    EXPECT_EQ(helpers.checked().pixels, checkedBefore.pixels);
}

// The checked picture is asked for no more than the box shows: a content
// that can draw its corner alone is never drawn whole for the check, and a
// corner blackened is still caught; black beyond the box never counts.
TEST_F(MeasurementHelpersTest, TheCheckDrawsOnlyTheCornerTheBoxShows) {
    clipboard.setMetafileRendering(whitePicture());
    helpers.LoadReferencePicture();
    int whole = 0;
    std::vector<std::pair<int, int>> asked;
    auto offer = [&](int blackRows) {
        clipboard.setMetafileRenderingDrawers(
            [&whole]() -> std::optional<platform::Raster> {
                ++whole;
                return platform::Raster(600, 400, kBlack);
            },
            [&asked, blackRows](int width, int height) -> std::optional<platform::Raster> {
                asked.emplace_back(width, height);
                platform::Raster corner(std::min(width, 600), std::min(height, 400), kRed);
                for (int y = 0; y < blackRows; ++y) {
                    for (int x = 0; x < corner.width; ++x) corner.set(x, y, kBlack);
                }
                return corner;
            });
    };
    offer(5);  // 480 black pixels, above the limit of 461
    EXPECT_TRUE(helpers.IsPictureBlackened(0.05));
    offer(4);  // 384
    EXPECT_FALSE(helpers.IsPictureBlackened(0.05));
    EXPECT_EQ(whole, 0);
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{96, 96}, {96, 96}}));
    EXPECT_EQ(helpers.checked().at(95, 3), kBlack);
    EXPECT_EQ(helpers.checked().at(95, 4), kRed);
}

TEST_F(MeasurementHelpersTest, PicturesAreDrawnAtTheirOwnSizeFromTheTopLeft) {
    platform::Raster small(10, 4, kRed);
    clipboard.setMetafileRendering(small);
    helpers.LoadReferencePicture();
    EXPECT_EQ(helpers.reference().at(9, 3), kRed);
    EXPECT_EQ(helpers.reference().at(10, 3), kWhite);
    EXPECT_EQ(helpers.reference().at(9, 4), kWhite);

    platform::Raster large(300, 200, 0);
    large.set(95, 95, kRed);
    clipboard.setMetafileRendering(large);
    helpers.LoadReferencePicture();
    EXPECT_EQ(helpers.reference().at(95, 95), kRed);
    EXPECT_EQ(helpers.reference().at(94, 95), 0u);
}

TEST_F(MeasurementHelpersTest, ASmallerReferenceLeavesWhiteAroundIt) {
    // The reference covers the top-left corner only; black outside it in the
    // converted picture counts, inside it does not.
    platform::Raster corner(50, 50, 0);
    platform::Raster black(96, 96, 0);
    EXPECT_TRUE(compare(corner, black));
    EXPECT_EQ(helpers.reference().at(60, 60), kWhite);
}

TEST_F(MeasurementHelpersTest, RenderingShorterThanItsSizeIsDrawnAsFarAsItReaches) {
    platform::Raster broken;
    broken.width = 100000;
    broken.height = 100000;
    broken.pixels.assign(150, 0);  // one and a half rows of a 100-pixel picture at most
    clipboard.setMetafileRendering(whitePicture());
    helpers.LoadReferencePicture();
    clipboard.setMetafileRendering(broken);
    EXPECT_FALSE(helpers.IsPictureBlackened(0.05));
    EXPECT_EQ(helpers.checked().at(95, 0), 0u);
    EXPECT_EQ(helpers.checked().at(0, 1), kWhite);
}

TEST_F(MeasurementHelpersTest, NegativeSizedRenderingCountsAsNone) {
    platform::Raster reference(96, 96, kRed);
    clipboard.setMetafileRendering(reference);
    helpers.LoadReferencePicture();
    platform::Raster negative;
    negative.width = -5;
    negative.height = 10;
    clipboard.setMetafileRendering(negative);
    helpers.LoadReferencePicture();
    EXPECT_FALSE(helpers.IsPictureBlackened(0.05));
    EXPECT_EQ(helpers.reference().pixels, reference.pixels);
}

TEST_F(MeasurementHelpersTest, SlowModeWaitOutsideSlowModeDoesNothing) {
    state.waitMs = 0;
    helpers.SlowModeWait();  // the strict doubles fail on any call
}

TEST_F(MeasurementHelpersTest, SlowModeWaitPumpsThenSleeps) {
    state.waitMs = 250;
    InSequence order;
    EXPECT_CALL(events, processEvents());
    EXPECT_CALL(timer, sleep(250));
    helpers.SlowModeWait();
}

}  // namespace
}  // namespace kelvaran::engine::testing
