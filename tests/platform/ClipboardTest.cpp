#include "platform/Clipboard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

namespace kelvaran::platform {
namespace {

TEST(Clipboard, ARenderingToDrawIsDrawnOnceAndOnlyWhenAskedFor) {
    Clipboard clipboard;
    int drawn = 0;
    clipboard.setOnly("word.object", 1);
    clipboard.setMetafileRenderingDrawer([&]() -> std::optional<Raster> {
        ++drawn;
        return Raster(4, 5, 0);
    });
    EXPECT_EQ(drawn, 0);
    const auto later = clipboard.metafileRenderingLater();
    EXPECT_EQ(drawn, 0);
    ASSERT_TRUE(clipboard.metafileRendering().has_value());
    EXPECT_EQ(clipboard.metafileRendering()->height, 5);
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(later()->width, 4);
    EXPECT_EQ(drawn, 1);

    // Kept for later, the rendering is the one of the content it was taken
    // from; a picture that cannot be drawn gives none.
    clipboard.setOnly("word.object", 2);
    clipboard.setMetafileRenderingDrawer([]() -> std::optional<Raster> { throw std::runtime_error("broken"); });
    const auto broken = clipboard.metafileRenderingLater();
    clipboard.setOnly("word.object", 3);
    EXPECT_FALSE(broken().has_value());
    EXPECT_FALSE(clipboard.metafileRendering().has_value());
    EXPECT_EQ(later()->width, 4);
}

// A corner is drawn alone by the content's corner drawer while the whole
// rendering is not drawn; once it is, corners are cut from it.  Content with
// no corner drawer has its whole rendering drawn and cut.
TEST(Clipboard, ACornerOfTheRenderingCostsOnlyTheCorner) {
    Clipboard clipboard;
    int whole = 0;
    std::vector<std::pair<int, int>> corners;
    Raster picture(10, 8);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) picture.pixels[i] = static_cast<std::uint32_t>(i);
    clipboard.setMetafileRenderingDrawers(
        [&]() -> std::optional<Raster> {
            ++whole;
            return picture;
        },
        [&](int width, int height) -> std::optional<Raster> {
            corners.emplace_back(width, height);
            return Raster(std::min(width, 10), std::min(height, 8), 7);
        });
    ASSERT_TRUE(clipboard.metafileRenderingCorner(4, 3).has_value());
    EXPECT_EQ(clipboard.metafileRenderingCorner(4, 3)->pixels.front(), 7u);
    EXPECT_EQ(whole, 0);
    EXPECT_EQ(corners, (std::vector<std::pair<int, int>>{{4, 3}, {4, 3}}));

    ASSERT_TRUE(clipboard.metafileRendering().has_value());
    EXPECT_EQ(whole, 1);
    const auto cut = clipboard.metafileRenderingCorner(4, 3);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(corners.size(), 2u);
    EXPECT_EQ(cut->width, 4);
    EXPECT_EQ(cut->height, 3);
    EXPECT_EQ(cut->at(3, 2), picture.at(3, 2));
    EXPECT_EQ(cut->at(0, 1), picture.at(0, 1));
    EXPECT_EQ(clipboard.metafileRenderingCorner(96, 96)->pixels, picture.pixels);

    // Without a corner drawer the whole is drawn once and cut.
    int drawn = 0;
    clipboard.setMetafileRenderingDrawer([&]() -> std::optional<Raster> {
        ++drawn;
        return picture;
    });
    EXPECT_EQ(clipboard.metafileRenderingCorner(2, 2)->at(1, 1), picture.at(1, 1));
    EXPECT_EQ(clipboard.metafileRenderingCorner(2, 2)->pixels.size(), 4u);
    EXPECT_EQ(drawn, 1);

    // A raster whose pixels fall short of its size is given as it is, for
    // the reader to draw as far as it reaches; a failing drawer gives none.
    Raster shortOne(10, 10);
    shortOne.pixels.resize(15);
    clipboard.setMetafileRendering(shortOne);
    EXPECT_EQ(clipboard.metafileRenderingCorner(4, 4)->pixels.size(), 15u);
    clipboard.setMetafileRenderingDrawers([]() -> std::optional<Raster> { return Raster(2, 2); },
                                          [](int, int) -> std::optional<Raster> { throw std::runtime_error("broken"); });
    EXPECT_FALSE(clipboard.metafileRenderingCorner(4, 4).has_value());
    clipboard.Clear();
    EXPECT_FALSE(clipboard.metafileRenderingCorner(4, 4).has_value());
}

TEST(Clipboard, FormatsAndRenderingLiveTogetherUntilCleared) {
    Clipboard clipboard;
    EXPECT_FALSE(clipboard.metafileRendering().has_value());
    clipboard.setOnly("word.object", 42);
    clipboard.setData("picture", std::string("bytes"));
    clipboard.setMetafileRendering(Raster(2, 3, 0));
    clipboard.setSummary({.pictureType = "PNG", .bytes = 1234, .pixelWidth = 20, .pixelHeight = 10});
    ASSERT_TRUE(clipboard.summary().has_value());
    EXPECT_EQ(clipboard.summary()->bytes, 1234u);
    EXPECT_TRUE(clipboard.hasFormat("word.object"));
    EXPECT_EQ(std::any_cast<int>(clipboard.data("word.object")), 42);
    EXPECT_EQ(std::any_cast<std::string>(clipboard.data("picture")), "bytes");
    ASSERT_TRUE(clipboard.metafileRendering().has_value());
    EXPECT_EQ(clipboard.metafileRendering()->width, 2);

    // setOnly replaces everything, the rendering included
    clipboard.setOnly("picture", std::string("other"));
    EXPECT_FALSE(clipboard.hasFormat("word.object"));
    EXPECT_FALSE(clipboard.metafileRendering().has_value());
    EXPECT_FALSE(clipboard.summary().has_value()) << "a new content kept the old one's description";
    clipboard.setSummary({.pictureType = "JPEG", .bytes = 99});

    auto before = clipboard.generation();
    clipboard.Clear();
    EXPECT_GT(clipboard.generation(), before);
    EXPECT_FALSE(clipboard.hasFormat("picture"));
    EXPECT_FALSE(clipboard.data("picture").has_value());
    EXPECT_FALSE(clipboard.summary().has_value());
}

}  // namespace
}  // namespace kelvaran::platform
