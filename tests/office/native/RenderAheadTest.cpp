#include "office/native/RenderAhead.h"

#include "tests/office/native/NativeTestSupport.h"

#include <gtest/gtest.h>

namespace kelvaran::office::native {
namespace {

JpegDrawing drawingOf(const formats::model::PictureData& picture, int width, int height, int quality = 85) {
    return JpegDrawing{picture.bytes, imaging::PictureType::Jpeg, width, height, quality};
}

std::string drawnHere(const JpegDrawing& d) {
    auto bytes = imaging::renderJpeg(*d.bytes, d.type, d.width, d.height, d.quality);
    if (!bytes) throw std::runtime_error("not drawn straight as JPEG");
    return *bytes;
}

class RenderAheadTest : public ::testing::Test {
protected:
    formats::model::PictureData first = test::jpegPicture(320, 240);
    formats::model::PictureData second = test::jpegPicture(300, 200);
    formats::model::PictureData third = test::jpegPicture(200, 300);
    RenderAhead ahead{true};
};

TEST_F(RenderAheadTest, GivesTheBytesDrawnHereForTheSameDrawingOnly) {
    const JpegDrawing wanted = drawingOf(first, 160, 120);
    ahead.start(wanted);
    ahead.start(wanted);  // already under way: not started twice
    EXPECT_EQ(ahead.started(), 1);

    // The same picture at another size or quality, or another picture with
    // equal bytes in a buffer of its own, is another drawing.
    EXPECT_FALSE(ahead.take(drawingOf(first, 161, 120)).has_value());
    EXPECT_FALSE(ahead.take(drawingOf(first, 160, 120, 84)).has_value());
    formats::model::PictureData copy = first;
    copy.bytes = formats::model::shareBytes(*first.bytes);
    EXPECT_FALSE(ahead.take(drawingOf(copy, 160, 120)).has_value());

    const auto taken = ahead.take(wanted);
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(*taken, drawnHere(wanted));
    EXPECT_EQ(ahead.taken(), 1);
    EXPECT_FALSE(ahead.take(wanted).has_value()) << "taken once only";
}

TEST_F(RenderAheadTest, DrawingsOfConversionsAlreadyPastAreDropped) {
    const JpegDrawing a = drawingOf(first, 160, 120);
    const JpegDrawing b = drawingOf(second, 150, 100);
    const JpegDrawing c = drawingOf(third, 100, 150);

    // Taking a later one drops those started before it.
    ahead.start(a);
    ahead.start(b);
    ASSERT_TRUE(ahead.take(b).has_value());
    EXPECT_FALSE(ahead.take(a).has_value());

    // At most two under way: a third start drops the oldest.
    ahead.start(a);
    ahead.start(b);
    ahead.start(c);
    const auto fromB = ahead.take(b);
    EXPECT_FALSE(ahead.take(a).has_value());
    const auto fromC = ahead.take(c);
    ASSERT_TRUE(fromB && fromC);
    EXPECT_EQ(*fromB, drawnHere(b));
    EXPECT_EQ(*fromC, drawnHere(c));

    // Asking for one never started keeps the latest, started for the next
    // conversion, and drops the rest.
    ahead.start(a);
    ahead.start(b);
    EXPECT_FALSE(ahead.take(c).has_value());
    EXPECT_FALSE(ahead.take(a).has_value());
    EXPECT_TRUE(ahead.take(b).has_value());
    EXPECT_EQ(ahead.started(), 7);
    EXPECT_EQ(ahead.taken(), 4);
}

TEST_F(RenderAheadTest, AFailedOrStoppedDrawingGivesNothing) {
    // A damaged picture: the conversion draws it itself and fails there.
    formats::model::PictureData damaged = first;
    damaged.bytes = formats::model::shareBytes(first.bytes->substr(0, first.bytes->size() / 2));
    ahead.start(drawingOf(damaged, 160, 120));
    EXPECT_FALSE(ahead.take(drawingOf(damaged, 160, 120)).has_value());

    // A picture with transparency is no straight JPEG drawing.
    formats::model::PictureData transparent = test::pngPicture(160, 120, true);
    JpegDrawing png{transparent.bytes, imaging::PictureType::Png, 80, 60, 85};
    ahead.start(png);
    EXPECT_FALSE(ahead.take(png).has_value());

    // Cleared while under way.
    ahead.start(drawingOf(first, 160, 120));
    ahead.clear();
    EXPECT_FALSE(ahead.take(drawingOf(first, 160, 120)).has_value());
    EXPECT_EQ(ahead.taken(), 0);

    // Disabled, nothing is started at all.
    ahead.setEnabled(false);
    ahead.start(drawingOf(first, 160, 120));
    EXPECT_FALSE(ahead.take(drawingOf(first, 160, 120)).has_value());
    EXPECT_EQ(ahead.started(), 3);
}

}  // namespace
}  // namespace kelvaran::office::native
