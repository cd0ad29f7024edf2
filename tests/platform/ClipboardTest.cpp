#include "platform/Clipboard.h"

#include <gtest/gtest.h>

namespace kelvaran::platform {
namespace {

TEST(Clipboard, FormatsAndRenderingLiveTogetherUntilCleared) {
    Clipboard clipboard;
    EXPECT_FALSE(clipboard.metafileRendering().has_value());
    clipboard.setOnly("word.object", 42);
    clipboard.setData("picture", std::string("bytes"));
    clipboard.setMetafileRendering(Raster(2, 3, 0));
    clipboard.setSummary({"PNG", 1234, 20, 10});
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
    clipboard.setSummary({"JPEG", 99, 0, 0});

    auto before = clipboard.generation();
    clipboard.Clear();
    EXPECT_GT(clipboard.generation(), before);
    EXPECT_FALSE(clipboard.hasFormat("picture"));
    EXPECT_FALSE(clipboard.data("picture").has_value());
    EXPECT_FALSE(clipboard.summary().has_value());
}

}  // namespace
}  // namespace kelvaran::platform
