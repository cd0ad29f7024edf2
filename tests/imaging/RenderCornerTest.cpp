#include "imaging/Imaging.h"
#include "tests/imaging/TestPictures.h"

#include <gtest/gtest.h>
#include <vips/vips8>

#include <atomic>

#include <algorithm>
#include <cstdlib>

namespace kelvaran::imaging {
namespace {

using test::Rgba;

// A busy picture: neighbouring pixels differ, so a corner taken from the
// wrong place or filtered with the wrong neighbours shows.
Image busy(int width, int height, bool transparent = false) {
    return test::makeImage(width, height, [&](int x, int y) {
        const auto wave = static_cast<std::uint8_t>((x * 37 + y * 91 + (x * y) % 53) & 0xFF);
        const auto alpha = static_cast<std::uint8_t>(transparent ? (x + y) % 256 : 255);
        return Rgba{wave, static_cast<std::uint8_t>(255 - wave), static_cast<std::uint8_t>(x * 3), alpha};
    });
}

void expectSamePixels(const Image& expected, const Image& actual) {
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    EXPECT_TRUE(actual.rgba == expected.rgba) << "largest difference " << test::maxDifference(expected, actual);
}

// The corner drawn alone holds exactly the pixels of the whole rendering's
// corner, whichever way the picture is drawn: a JPEG shrunk while loading
// and resampled, one only resampled, a transparent PNG (resampled with its
// alpha), a bitmap, a metafile, and a tall, narrow picture averaged down.
TEST(RenderCorner, TheCornerAloneEqualsTheCornerOfTheWhole) {
    struct Case {
        const char* name;
        std::string bytes;
        PictureType type;
        int width, height;
    };
    const std::string photo = encodeJpeg(busy(900, 700), 90);
    const Case cases[] = {
        {"JPEG shrunk on load", photo, PictureType::Jpeg, 300, 230},
        {"JPEG resampled", photo, PictureType::Jpeg, 600, 470},
        {"JPEG enlarged", photo, PictureType::Jpeg, 1000, 800},
        {"transparent PNG", encodePng(busy(400, 300, true)), PictureType::Png, 250, 190},
        {"bitmap", test::dibFrom(busy(200, 150), 24), PictureType::Dib, 130, 100},
        {"metafile", test::emfWithRectangle(200, 150, 10, 20, 150, 120, 0x000000FF), PictureType::Emf, 300, 225},
        {"tall and narrow", encodePng(busy(20, 5000)), PictureType::Png, 10, 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Image whole = render(c.bytes, c.type, c.width, c.height);
        expectSamePixels(cornerOf(whole, 96, 96), renderCorner(c.bytes, c.type, c.width, c.height, 96, 96));
        expectSamePixels(cornerOf(whole, 7, 130), renderCorner(c.bytes, c.type, c.width, c.height, 7, 130));
    }
}

TEST(RenderCorner, ACornerLargerThanTheRenderingIsTheWholeRendering) {
    const std::string png = encodePng(busy(120, 80));
    const Image whole = render(png, PictureType::Png, 60, 40);
    expectSamePixels(whole, renderCorner(png, PictureType::Png, 60, 40, 96, 96));
    expectSamePixels(whole, cornerOf(whole, 60, 4000));
    const Image strip = cornerOf(whole, 3, 2);
    ASSERT_EQ(strip.rgba.size(), 3u * 2u * 4u);
    // The second row starts where the whole's second row starts.
    EXPECT_TRUE(std::equal(strip.rgba.begin() + 12, strip.rgba.end(), whole.rgba.begin() + 60 * 4));
}

TEST(RenderCorner, HostileAndDamagedInputIsRefusedAsTheWholeRenderingIs) {
    const std::string photo = encodeJpeg(busy(64, 48), 90);
    EXPECT_THROW(renderCorner(photo.substr(0, photo.size() / 3), PictureType::Jpeg, 32, 24, 96, 96), ImagingError);
    EXPECT_THROW(renderCorner(photo, PictureType::Jpeg, 100000, 100000, 96, 96), ImagingError);
    EXPECT_THROW(renderCorner(photo, PictureType::Jpeg, 32, 24, 0, 96), ImagingError);
    Image broken = busy(4, 4);
    broken.rgba.resize(10);
    EXPECT_THROW(cornerOf(broken, 2, 2), ImagingError);
}

// A JPEG written straight from the picture is byte for byte the JPEG of its
// rendering; pictures not drawn that way are left to the two calls.
TEST(RenderJpeg, TheSameBytesAsTheRenderingEncodedOrNothing) {
    const std::string photo = encodeJpeg(busy(900, 700), 92);
    struct Case {
        const char* name;
        std::string bytes;
        PictureType type;
        int width, height;
    };
    const Case drawn[] = {
        {"JPEG shrunk on load", photo, PictureType::Jpeg, 300, 230},
        {"JPEG resampled", photo, PictureType::Jpeg, 640, 500},
        {"opaque PNG", encodePng(busy(300, 200)), PictureType::Png, 200, 130},
    };
    for (const auto& c : drawn) {
        SCOPED_TRACE(c.name);
        for (int quality : {85, 40}) {
            const auto direct = renderJpeg(c.bytes, c.type, c.width, c.height, quality);
            ASSERT_TRUE(direct.has_value());
            EXPECT_TRUE(*direct == encodeJpeg(render(c.bytes, c.type, c.width, c.height), quality));
        }
    }
    const Case left[] = {
        {"transparent PNG", encodePng(busy(300, 200, true)), PictureType::Png, 200, 130},
        {"bitmap", test::dibFrom(busy(200, 150), 24), PictureType::Dib, 130, 100},
        {"metafile", test::emfWithRectangle(200, 150, 10, 20, 150, 120, 0x000000FF), PictureType::Emf, 300, 225},
        {"tall and narrow", encodePng(busy(20, 5000)), PictureType::Png, 10, 400},
    };
    for (const auto& c : left) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(renderJpeg(c.bytes, c.type, c.width, c.height, 85).has_value());
    }
}

TEST(RenderJpeg, AStopFlagRaisedStopsTheDrawingAndOneLoweredChangesNothing) {
    const std::string photo = encodeJpeg(busy(400, 300), 90);
    std::atomic<bool> stop{false};
    const auto free = renderJpeg(photo, PictureType::Jpeg, 200, 150, 85);
    const auto watched = renderJpeg(photo, PictureType::Jpeg, 200, 150, 85, &stop);
    ASSERT_TRUE(free && watched);
    EXPECT_EQ(*watched, *free);
    stop = true;
    EXPECT_THROW(renderJpeg(photo, PictureType::Jpeg, 200, 150, 85, &stop), ImagingError);
}

TEST(RenderJpeg, APictureTheDecoderWouldHoldBeyondALimitIsLeft) {
    const Image image = busy(400, 300);
    const std::string baseline = encodeJpeg(image, 90);
    const auto streamed = renderJpeg(baseline, PictureType::Jpeg, 200, 150, 85, nullptr, 0);
    ASSERT_TRUE(streamed.has_value());
    EXPECT_EQ(*streamed, *renderJpeg(baseline, PictureType::Jpeg, 200, 150, 85));

    // A progressive JPEG keeps every coefficient while it is decoded: two
    // bytes a sample, of the picture as loaded (shrunk by 2 on loading here).
    void* data = nullptr;
    std::size_t size = 0;
    vips::VImage::new_from_memory(const_cast<std::uint8_t*>(image.rgba.data()), image.rgba.size(), image.width,
                                  image.height, 4, VIPS_FORMAT_UCHAR)
        .extract_band(0, vips::VImage::option()->set("n", 3))
        .write_to_buffer(".jpg[interlace]", &data, &size);
    const std::string progressive(static_cast<const char*>(data), size);
    g_free(data);
    EXPECT_TRUE(renderJpeg(progressive, PictureType::Jpeg, 200, 150, 85).has_value());
    EXPECT_TRUE(renderJpeg(progressive, PictureType::Jpeg, 200, 150, 85, nullptr, 200 * 150 * 3 * 2).has_value());
    EXPECT_FALSE(renderJpeg(progressive, PictureType::Jpeg, 200, 150, 85, nullptr, 200 * 150 * 3 * 2 - 1).has_value());
}

TEST(RenderJpeg, ADamagedPictureFailsWithTheReasonTheRenderingGives) {
    const std::string photo = encodeJpeg(busy(400, 300), 90);
    const std::string cut = photo.substr(0, photo.size() / 2);
    std::string viaRendering, direct;
    try {
        render(cut, PictureType::Jpeg, 200, 150);
    } catch (const ImagingError& error) {
        viaRendering = error.what();
    }
    try {
        renderJpeg(cut, PictureType::Jpeg, 200, 150, 85);
    } catch (const ImagingError& error) {
        direct = error.what();
    }
    EXPECT_FALSE(viaRendering.empty());
    EXPECT_EQ(direct, viaRendering);
    EXPECT_THROW(renderJpeg(photo, PictureType::Jpeg, 200, 150, 0), ImagingError);
    EXPECT_THROW(renderJpeg(photo, PictureType::Jpeg, 100000, 100000, 85), ImagingError);
}

}  // namespace
}  // namespace kelvaran::imaging
