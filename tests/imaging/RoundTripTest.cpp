#include "imaging/ByteReader.h"
#include "imaging/Imaging.h"
#include "tests/imaging/TestPictures.h"

#include <gtest/gtest.h>
#include <vips/vips8>

#include <algorithm>
#include <cstdlib>

namespace kelvaran::imaging {
namespace {

using test::pixel;
using test::Rgba;

// PNG colour type (byte 25 of the file).
int pngColourType(const std::string& png) { return static_cast<std::uint8_t>(png.at(25)); }

bool gifHasTransparentIndex(const std::string& gif) {
    // A graphic control extension (21 F9 04) with its transparency flag set.
    for (std::size_t i = 0; i + 4 < gif.size(); ++i)
        if (static_cast<std::uint8_t>(gif[i]) == 0x21 && static_cast<std::uint8_t>(gif[i + 1]) == 0xF9 &&
            gif[i + 2] == 4)
            return (static_cast<std::uint8_t>(gif[i + 3]) & 1) != 0;
    return false;
}

Image halfTransparent(int w, int h) {
    return test::makeImage(w, h, [&](int x, int y) {
        if (x < w / 2) return Rgba{200, 40, 40, 255};
        return Rgba{30, 200, 30, static_cast<std::uint8_t>(y < h / 2 ? 0 : 255)};
    });
}

class RoundTrip : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(RoundTrip, JpegKeepsTheColoursWithinLossyTolerance) {
    auto [w, h] = GetParam();
    Image img = test::gradient(w, h);
    std::string jpeg = encodeJpeg(img);
    Image back = decode(jpeg, PictureType::Jpeg);
    ASSERT_EQ(back.width, w);
    ASSERT_EQ(back.height, h);
    EXPECT_LT(test::meanDifference(img, back), 3.0);
    EXPECT_FALSE(back.hasTransparency());
}

TEST_P(RoundTrip, PngIsLossless) {
    auto [w, h] = GetParam();
    Image img = test::gradient(w, h);
    EXPECT_EQ(test::maxDifference(img, decode(encodePng(img), PictureType::Png)), 0);
    Image alpha = halfTransparent(w, h);
    EXPECT_EQ(test::maxDifference(alpha, decode(encodePng(alpha), PictureType::Png)), 0);
}

TEST_P(RoundTrip, GifStaysCloseAfterQuantising) {
    auto [w, h] = GetParam();
    Image img = test::gradient(w, h);
    Image back = decode(encodeGif(img), PictureType::Gif);
    ASSERT_EQ(back.width, w);
    EXPECT_LT(test::meanDifference(img, back), 8.0);
}

TEST_P(RoundTrip, EmfOfABitmapRendersBackToTheSamePixels) {
    auto [w, h] = GetParam();
    Image img = test::gradient(w, h);
    std::string emf = encodeEmfFromImage(img, w * 0.75, h * 0.75);
    ASSERT_EQ(sniff(emf), PictureType::Emf);
    PixelSize natural = pictureSize(emf, PictureType::Emf);
    EXPECT_EQ(natural.width, w);
    EXPECT_EQ(natural.height, h);
    Image back = render(emf, PictureType::Emf, w, h);
    // The drawing filter softens the outermost pixels against the outside;
    // everything inside must match closely.
    EXPECT_LT(test::meanDifference(img, back), 6.0);
    int worstInside = 0;
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            Rgba a = pixel(img, x, y), b = pixel(back, x, y);
            worstInside = std::max({worstInside, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b),
                                    std::abs(a.a - b.a)});
        }
    EXPECT_LE(worstInside, 24);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip, ::testing::Values(std::pair{16, 12}, std::pair{131, 77}));

TEST(Emf, TransparentPictureKeepsItsAlphaThroughTheBitmapRecord) {
    Image img = halfTransparent(40, 20);
    std::string emf = encodeEmfFromImage(img, 30, 15);
    Image back = render(emf, PictureType::Emf, 40, 20);
    EXPECT_GT(pixel(back, 5, 5).a, 240);
    EXPECT_GT(pixel(back, 5, 5).r, 180);
    EXPECT_LT(pixel(back, 35, 5).a, 15) << "the transparent quarter must stay transparent";
    EXPECT_GT(pixel(back, 35, 15).a, 240);
    EXPECT_GT(pixel(back, 35, 15).g, 180);
}

TEST(Emf, SoftEdgesAreStoredPremultipliedAndDrawnWithoutAFringe) {
    // Mid grey at half alpha.  Alpha blending (AC_SRC_ALPHA, the whole
    // bitmap at full strength) takes premultiplied colours: 128 at alpha 128
    // is stored as 64.  Drawn back it is mid grey again, not a darker one.
    Image img;
    img.width = 4;
    img.height = 4;
    img.rgba.assign(4 * 4 * 4, 128);
    const std::string emf = encodeEmfFromImage(img, 3, 3);
    ByteReader in(emf);
    const std::size_t record = in.u32(4);  // right after the header
    ASSERT_EQ(in.u32(record), 114u);       // EMR_ALPHABLEND
    EXPECT_EQ(in.u32(record + 40), 0x01FF0000u) << "source over, constant alpha 255, per-pixel alpha";
    const std::size_t bits = record + in.u32(record + 92);
    EXPECT_EQ(in.u8(bits), 64);
    EXPECT_EQ(in.u8(bits + 3), 128);

    const Image back = render(emf, PictureType::Emf, 4, 4);
    const test::Rgba seen = pixel(back, 2, 2);
    EXPECT_NEAR(seen.a, 128, 3);
    EXPECT_NEAR(seen.r, 128, 6) << "straight colour again";
}

TEST(Emf, FrameFollowsThePointSize) {
    Image img = test::gradient(100, 50);
    // 72 x 36 points is one inch by half an inch: 96 x 48 pixels, 2540 x 1270 hundredths of a mm.
    std::string emf = encodeEmfFromImage(img, 72, 36);
    PixelSize natural = pictureSize(emf, PictureType::Emf);
    EXPECT_EQ(natural.width, 96);
    EXPECT_EQ(natural.height, 48);
    EXPECT_THROW(encodeEmfFromImage(img, 0, 36), ImagingError);
    EXPECT_THROW(encodeEmfFromImage(img, 72, -1), ImagingError);
}

TEST(Emf, AnEmfSourceStaysAsItIsAndOthersBecomeBitmapRecords) {
    std::string vector = test::emfWithRectangle(50, 40, 0, 0, 25, 20, 0x0000FF);
    EXPECT_EQ(encodeEmf(vector, PictureType::Emf, 100, 80, 37.5, 30), vector);
    std::string png = encodePng(test::gradient(20, 10));
    std::string wrapped = encodeEmf(png, PictureType::Png, 40, 20, 30, 15);
    EXPECT_EQ(sniff(wrapped), PictureType::Emf);
    EXPECT_LT(test::meanDifference(render(png, PictureType::Png, 40, 20), render(wrapped, PictureType::Emf, 40, 20)), 6);  // two different resamplers
}

TEST(Png, PaletteOnlyForAtMost256Colours) {
    Image few = test::makeImage(64, 64, [](int x, int y) {
        const int i = (x / 4) * 16 + (y / 4);  // exactly 256 distinct colours
        return Rgba{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7), 255};
    });
    std::string png = encodePng(few);
    EXPECT_EQ(pngColourType(png), 3) << "256 colours must be stored with a palette";
    EXPECT_EQ(test::maxDifference(few, decode(png, PictureType::Png)), 0);

    Image many = few;
    many.rgba[0] ^= 0x80;  // a 257th colour
    std::string full = encodePng(many);
    EXPECT_NE(pngColourType(full), 3);
    EXPECT_EQ(test::maxDifference(many, decode(full, PictureType::Png)), 0);
}

TEST(Png, TransparentPaletteAndOpaqueTruecolour) {
    std::string png = encodePng(halfTransparent(10, 10));
    EXPECT_EQ(pngColourType(png), 3);
    Image back = decode(png, PictureType::Png);
    EXPECT_EQ(pixel(back, 8, 2).a, 0);
    EXPECT_EQ(pixel(back, 8, 8).a, 255);
    // Opaque pictures lose the alpha band: colour type 2 (RGB), not 6.
    EXPECT_EQ(pngColourType(encodePng(test::gradient(40, 40))), 2);
}

TEST(Gif, TransparentIndexOnlyWhenThePictureHasTransparency) {
    std::string opaque = encodeGif(test::gradient(30, 20));
    EXPECT_FALSE(gifHasTransparentIndex(opaque));
    Image alpha = halfTransparent(30, 20);
    std::string clear = encodeGif(alpha);
    EXPECT_TRUE(gifHasTransparentIndex(clear));
    Image back = decode(clear, PictureType::Gif);
    EXPECT_EQ(pixel(back, 25, 2).a, 0);
    EXPECT_EQ(pixel(back, 25, 18).a, 255);
    EXPECT_EQ(pixel(back, 2, 2).a, 255);
}

TEST(Jpeg, TransparentAreasComeOutBlack) {
    Image alpha = halfTransparent(32, 32);
    Image back = decode(encodeJpeg(alpha), PictureType::Jpeg);
    Rgba hole = pixel(back, 28, 4);
    EXPECT_LT(hole.r + hole.g + hole.b, 30) << "transparent must be black in JPEG";
    Rgba kept = pixel(back, 4, 4);
    EXPECT_GT(kept.r, 170);
    platform::Raster raster = toRaster(back);
    EXPECT_LT(raster.at(28, 4) & 0xFF, 20u);
}

TEST(Jpeg, HeaderIsBaselineWithoutMetadata) {
    std::string jpeg = encodeJpeg(test::gradient(64, 48));
    EXPECT_NE(jpeg.find("\xFF\xC0", 0, 2), std::string::npos) << "baseline frame expected";
    EXPECT_EQ(jpeg.find("\xFF\xC2", 0, 2), std::string::npos) << "progressive frame found";
    EXPECT_EQ(jpeg.find("Exif"), std::string::npos);
    // 4:2:0: the first component is sampled 2x2 (byte 0x22), the others 1x1.
    std::size_t sof = jpeg.find("\xFF\xC0", 0, 2);
    ASSERT_NE(sof, std::string::npos);
    EXPECT_EQ(static_cast<std::uint8_t>(jpeg[sof + 11]), 0x22);
    EXPECT_EQ(static_cast<std::uint8_t>(jpeg[sof + 14]), 0x11);
}

TEST(Jpeg, CmykPicturesDecodeToTheirColours) {
    // Red, green and blue stripes written as a CMYK JPEG by the library itself.
    Image rgb = test::makeImage(48, 16, [](int x, int) {
        if (x < 16) return Rgba{230, 20, 20, 255};
        if (x < 32) return Rgba{20, 200, 20, 255};
        return Rgba{20, 20, 220, 255};
    });
    std::string png = encodePng(rgb);
    vips::VImage in = vips::VImage::new_from_buffer(png.data(), png.size(), "");
    vips::VImage cmyk = in.icc_export(vips::VImage::option()->set("output_profile", "cmyk"));
    ASSERT_EQ(cmyk.bands(), 4);
    VipsBlob* blob = cmyk.jpegsave_buffer(vips::VImage::option()->set("Q", 95));
    std::size_t size = 0;
    const void* data = vips_blob_get(blob, &size);
    std::string jpeg(static_cast<const char*>(data), size);
    vips_area_unref(VIPS_AREA(blob));

    Image back = render(jpeg, PictureType::Jpeg, 48, 16);
    Rgba red = pixel(back, 8, 8), green = pixel(back, 24, 8), blue = pixel(back, 40, 8);
    EXPECT_GT(red.r, 150);
    EXPECT_LT(red.g, 90);
    EXPECT_GT(green.g, 120);
    EXPECT_LT(green.r, 120);
    EXPECT_GT(blue.b, 120);
    EXPECT_LT(blue.r, 100);
}

TEST(Render, ResamplesToTheExactSizeBothWays) {
    Image img = test::gradient(97, 61);
    std::string png = encodePng(img);
    for (auto [w, h] : {std::pair{10, 7}, std::pair{300, 20}, std::pair{97, 61}, std::pair{1, 1}, std::pair{250, 400}}) {
        Image out = render(png, PictureType::Png, w, h);
        EXPECT_EQ(out.width, w);
        EXPECT_EQ(out.height, h);
        EXPECT_EQ(out.rgba.size(), static_cast<std::size_t>(w) * h * 4);
    }
    // A flat area stays flat: the filter does not ring inside it.
    Image flat = test::makeImage(50, 50, [](int, int) { return Rgba{10, 120, 240, 255}; });
    Image big = render(encodePng(flat), PictureType::Png, 173, 91);
    EXPECT_EQ(test::maxDifference(big, test::makeImage(173, 91, [](int, int) { return Rgba{10, 120, 240, 255}; })), 0);
}

TEST(Render, LargeJpegReducedOnLoadStillLooksRight) {
    Image img = test::gradient(1600, 1200);
    std::string jpeg = encodeJpeg(img);
    Image small = render(jpeg, PictureType::Jpeg, 160, 120);
    Image expected = test::gradient(160, 120);
    EXPECT_LT(test::meanDifference(small, expected), 4.0);
}

TEST(Render, TransparentEdgesDoNotDarkenWhenScaled) {
    // White opaque square on a fully transparent black surround.
    Image img = test::makeImage(40, 40, [](int x, int y) {
        bool in = x >= 10 && x < 30 && y >= 10 && y < 30;
        return in ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0};
    });
    Image out = render(encodePng(img), PictureType::Png, 17, 17);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 17; ++x) {
            Rgba p = pixel(out, x, y);
            if (p.a > 20) {
                EXPECT_GT(p.r, 200) << x << "," << y;
            }
        }
}

TEST(Raster, IsDrawnOnWhite) {
    Image img = test::makeImage(3, 1, [](int x, int) {
        if (x == 0) return Rgba{255, 0, 0, 255};
        if (x == 1) return Rgba{0, 0, 0, 0};
        return Rgba{0, 0, 255, 128};
    });
    platform::Raster r = toRaster(img);
    ASSERT_EQ(r.width, 3);
    EXPECT_EQ(r.at(0, 0), platform::rgb(255, 0, 0));
    EXPECT_EQ(r.at(1, 0), platform::rgb(255, 255, 255));
    EXPECT_EQ(r.at(2, 0), platform::rgb(127, 127, 255));
    EXPECT_TRUE(toRaster(Image{}).empty());
}

}  // namespace
}  // namespace kelvaran::imaging
