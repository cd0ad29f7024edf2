#include "imaging/Imaging.h"
#include "tests/imaging/TestPictures.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kelvaran::imaging {
namespace {

using test::pixel;

constexpr std::uint32_t kRed = 0x000000FF;   // 0x00BBGGRR
constexpr std::uint32_t kBlue = 0x00FF0000;

TEST(EnhancedMetafile, NaturalSizeComesFromTheFrame) {
    std::string emf = test::emfWithRectangle(120, 60, 0, 0, 60, 30, kRed);
    ASSERT_EQ(sniff(emf), PictureType::Emf);
    PixelSize size = pictureSize(emf, PictureType::Emf);
    EXPECT_EQ(size.width, 120);
    EXPECT_EQ(size.height, 60);
}

TEST(EnhancedMetafile, RectangleFillIsDrawnWhereItBelongsAtSeveralSizes) {
    std::string emf = test::emfWithRectangle(100, 50, 0, 0, 50, 25, kRed);
    for (auto [w, h] : {std::pair{100, 50}, std::pair{300, 150}, std::pair{40, 60}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Image img = render(emf, PictureType::Emf, w, h);
        ASSERT_EQ(img.width, w);
        ASSERT_EQ(img.height, h);
        // Inside the top-left quarter: red and opaque.
        test::Rgba inside = pixel(img, w / 8, h / 8);
        EXPECT_GT(inside.r, 200);
        EXPECT_LT(inside.g, 60);
        EXPECT_LT(inside.b, 60);
        EXPECT_GT(inside.a, 200);
        // The bottom-right quarter is not painted.
        test::Rgba outside = pixel(img, w * 7 / 8, h * 7 / 8);
        EXPECT_TRUE(outside.a < 30 || (outside.r > 200 && outside.g > 200 && outside.b > 200))
            << "r=" << int(outside.r) << " a=" << int(outside.a);
    }
}

TEST(WindowsMetafile, PlaceableHeaderGivesTheSize) {
    std::string wmf = test::wmfWithRectangle(80, 40, 0, 0, 40, 20, kBlue);
    ASSERT_EQ(sniff(wmf), PictureType::Wmf);
    PixelSize size = pictureSize(wmf, PictureType::Wmf);
    EXPECT_EQ(size.width, 80);
    EXPECT_EQ(size.height, 40);
}

TEST(WindowsMetafile, WithoutPlaceableHeaderTheWindowExtentGivesTheSize) {
    std::string wmf = test::wmfWithRectangle(80, 40, 0, 0, 40, 20, kBlue, false);
    ASSERT_EQ(sniff(wmf), PictureType::Wmf);
    PixelSize size = pictureSize(wmf, PictureType::Wmf);
    EXPECT_EQ(size.width, 80);
    EXPECT_EQ(size.height, 40);
}

TEST(WindowsMetafile, BitmapsInsideAreDrawn) {
    // Metafiles of drawing programs often carry bitmaps; the converter writes
    // them as linked images, which the drawing library must accept.
    // Red on the left, blue on the right: the bitmap must fill the picture,
    // neither shrunk into a corner nor blown up past it.
    const Image halves = test::makeImage(8, 8, [](int x, int) {
        return x < 4 ? test::Rgba{220, 20, 20, 255} : test::Rgba{20, 20, 220, 255};
    });
    const std::string wmf = test::wmfWithBitmap(40, 40, test::dibFrom(halves, 24));
    for (int size : {40, 120}) {
        SCOPED_TRACE(size);
        Image img = render(wmf, PictureType::Wmf, size, size);
        for (auto [x, y, red] : {std::tuple{size / 4, size / 2, true}, std::tuple{size * 3 / 4, size / 2, false},
                                 std::tuple{size / 8, size * 7 / 8, true}, std::tuple{size * 7 / 8, size / 8, false}}) {
            const test::Rgba seen = pixel(img, x, y);
            EXPECT_GT(red ? seen.r : seen.b, 180) << x << "," << y;
            EXPECT_LT(red ? seen.b : seen.r, 60) << x << "," << y;
        }
    }
}

TEST(WindowsMetafile, RectangleFillIsDrawnWhereItBelongs) {
    std::string wmf = test::wmfWithRectangle(80, 40, 0, 0, 40, 20, kBlue);
    for (auto [w, h] : {std::pair{80, 40}, std::pair{200, 100}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Image img = render(wmf, PictureType::Wmf, w, h);
        ASSERT_EQ(img.width, w);
        ASSERT_EQ(img.height, h);
        test::Rgba inside = pixel(img, w / 8, h / 8);
        EXPECT_LT(inside.r, 60);
        EXPECT_GT(inside.b, 200);
        EXPECT_GT(inside.a, 200);
        test::Rgba outside = pixel(img, w * 7 / 8, h * 7 / 8);
        EXPECT_TRUE(outside.a < 30 || (outside.r > 200 && outside.g > 200 && outside.b > 200))
            << "b=" << int(outside.b) << " a=" << int(outside.a);
    }
}

}  // namespace
}  // namespace kelvaran::imaging
