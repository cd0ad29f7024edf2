#include "platform/Clipboard.h"

#include <gtest/gtest.h>

#include <stdexcept>

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
