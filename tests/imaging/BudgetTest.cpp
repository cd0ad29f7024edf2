// The budgets of the decoding and drawing paths: sizes a picture declares
// are refused before anything is allocated for them, and work that runs past
// the deadline in force stops with DeadlineExceeded.

#include "imaging/Imaging.h"
#include "imaging/Metafile.h"
#include "imaging/PixelBudget.h"
#include "platform/Deadline.h"
#include "tests/imaging/TestPictures.h"

#include <vips/vips8>
#include <zlib.h>

#include <gtest/gtest.h>

namespace kelvaran::imaging {
namespace {

using test::Bytes;

std::string failureOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const ImagingError& refused) {
        return refused.what();
    }
    return "(accepted)";
}

// An 8-bit run-length bitmap of width x height, white where its rows (run-length
// codes, end of bitmap appended) paint nothing and red (index 1) where they do.
std::string runLengthBitmap(std::int32_t width, std::int32_t height, const std::string& rows) {
    Bytes dib;
    dib.u32(40).i32(width).i32(height).u16(1).u16(8).u32(1).u32(0).i32(0).i32(0).u32(2).u32(0);
    dib.u32(0x00FFFFFF).u32(0x00FF0000);  // white, red
    dib.raw(rows).u8(0).u8(1);
    return dib.data;
}

std::string bigEndian32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A PNG with the width and height of its header changed (checksum mended).
std::string pngDeclaring(std::string png, std::uint32_t width, std::uint32_t height) {
    png.replace(16, 4, bigEndian32(width));
    png.replace(20, 4, bigEndian32(height));
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17));
    png.replace(29, 4, bigEndian32(crc));
    return png;
}

// A JPEG with the size of its frame header (baseline or progressive) changed.
std::string jpegDeclaring(std::string jpeg, std::uint16_t width, std::uint16_t height) {
    std::size_t sof = jpeg.find("\xFF\xC2", 0, 2);
    if (sof == std::string::npos) sof = jpeg.find("\xFF\xC0", 0, 2);
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

// A GIF whose screen and first frame declare width x height.
std::string gifDeclaring(std::string gif, std::uint16_t width, std::uint16_t height) {
    auto put16 = [&gif](std::size_t at, std::uint16_t value) {
        gif[at] = static_cast<char>(value & 0xFF);
        gif[at + 1] = static_cast<char>(value >> 8);
    };
    put16(6, width);
    put16(8, height);
    const auto flags = static_cast<unsigned char>(gif[10]);
    std::size_t at = 13 + ((flags & 0x80) ? 3u * (2u << (flags & 7)) : 0u);
    while (at < gif.size() && gif[at] == '\x21') {  // extensions: label, then blocks
        at += 2;
        while (at < gif.size() && gif[at] != 0) at += 1 + static_cast<unsigned char>(gif[at]);
        ++at;
    }
    if (at + 9 <= gif.size() && gif[at] == '\x2C') {
        put16(at + 5, width);
        put16(at + 7, height);
    }
    return gif;
}

std::string saved(const Image& image, const char* suffix) {
    void* data = nullptr;
    std::size_t size = 0;
    vips::VImage source = vips::VImage::new_from_memory(const_cast<std::uint8_t*>(image.rgba.data()),
                                                        image.rgba.size(), image.width, image.height, 4,
                                                        VIPS_FORMAT_UCHAR);
    source.extract_band(0, vips::VImage::option()->set("n", 3)).write_to_buffer(suffix, &data, &size);
    std::string bytes(static_cast<const char*>(data), size);
    g_free(data);
    return bytes;
}

TEST(PictureBudget, RunLengthBitmapsDeclaringHugeSizesAreRefusedBeforeDecoding) {
    // A few kilobytes of run-length rows that declare 9999 x 9999 pixels,
    // and 46 bytes that declare 4 x 16.7 million: once 400 and 268 MB of
    // pixels filled in seconds, now refused from the header.
    std::string rows;
    for (int y = 0; y < 9999; y += 3) rows += std::string("\x03\x01\x00\x00", 4);
    const std::string square = runLengthBitmap(9999, 9999, rows);
    EXPECT_NE(failureOf([&] { render(square, PictureType::Dib, 40, 40); }).find("too large to draw"),
              std::string::npos);
    EXPECT_NE(failureOf([&] { decode(square, PictureType::Dib); }).find("too large to draw"), std::string::npos);
    // Runs that cannot paint a sixty-fourth of a large bitmap: refused
    // however few pixels it declares beyond four megapixels.
    const std::string tall = runLengthBitmap(4, 16777215, "");
    EXPECT_EQ(tall.size(), 46u + 4);  // with its two palette entries
    const std::string blank = runLengthBitmap(3000, 3000, std::string(200, '\0'));
    for (const std::string& dib : {tall, blank}) {
        EXPECT_NE(failureOf([&] { render(dib, PictureType::Dib, 40, 40); }).find("bytes of runs can paint"),
                  std::string::npos);
    }
    // A large bitmap with runs enough is drawn.
    std::string painted;
    for (int y = 0; y < 2100; ++y) painted += std::string("\xFF\x01\xFF\x01\x00\x00", 6);
    EXPECT_NO_THROW(render(runLengthBitmap(2000, 2100, painted), PictureType::Dib, 40, 40));

    // Within the budget the same rows decode: white, with three red pixels
    // at the start of every third row (counted from the bottom).
    const std::string small = runLengthBitmap(300, 9, std::string("\x03\x01\x00\x00\x00\x00\x00\x00", 8) +
                                                         std::string("\x03\x01\x00\x00\x00\x00\x00\x00", 8) +
                                                         std::string("\x03\x01\x00\x00\x00\x00\x00\x00", 8));
    const Image image = decode(small, PictureType::Dib);
    ASSERT_EQ(image.width, 300);
    EXPECT_EQ(test::pixel(image, 0, 8).r, 0xFF);
    EXPECT_EQ(test::pixel(image, 2, 8).g, 0);
    EXPECT_EQ(test::pixel(image, 3, 8).g, 0xFF);
    EXPECT_EQ(test::pixel(image, 0, 7).g, 0xFF);
}

TEST(PictureBudget, NarrowPicturesManyRowsTallAreDrawnAsTheAverageOfTheirRows) {
    // A few pixels wide and hundreds of thousands of rows tall (the fuzzer's
    // 60-byte bitmap of 4 x 131072 took seconds): averaged down in blocks
    // before the filter, so the rows still mix evenly.
    std::string rows;
    for (int y = 0; y < 200000; ++y) rows += y % 2 == 0 ? std::string("\x03\x01\x00\x00", 4) : std::string("\x00\x00", 2);
    const Image striped = render(runLengthBitmap(3, 200000, rows), PictureType::Dib, 23, 17);
    ASSERT_EQ(striped.rgba.size(), 23u * 17u * 4u);
    for (std::size_t i = 0; i < striped.rgba.size(); i += 4) {
        SCOPED_TRACE(i / 4);
        EXPECT_GE(striped.rgba[i], 250);  // half red, half white: pink
        EXPECT_NEAR(striped.rgba[i + 1], 128, 6);
        EXPECT_NEAR(striped.rgba[i + 2], 128, 6);
        EXPECT_EQ(striped.rgba[i + 3], 255);
    }
    // The same through the PNG decoder, every other row transparent white:
    // the hidden white must not show.
    Image tall;
    tall.width = 2;
    tall.height = 300000;
    for (int y = 0; y < tall.height; ++y)
        for (int x = 0; x < tall.width; ++x) {
            const std::uint8_t px[4] = {y % 2 ? std::uint8_t{255} : std::uint8_t{0}, y % 2 ? std::uint8_t{255} : std::uint8_t{0},
                                        y % 2 ? std::uint8_t{255} : std::uint8_t{0}, y % 2 ? std::uint8_t{0} : std::uint8_t{255}};
            tall.rgba.insert(tall.rgba.end(), px, px + 4);
        }
    const Image drawn = render(encodePng(tall), PictureType::Png, 5, 7);
    ASSERT_EQ(drawn.rgba.size(), 5u * 7u * 4u);
    for (std::size_t i = 0; i < drawn.rgba.size(); i += 4) {
        SCOPED_TRACE(i / 4);
        EXPECT_LE(drawn.rgba[i], 3);
        EXPECT_LE(drawn.rgba[i + 1], 3);
        EXPECT_NEAR(drawn.rgba[i + 3], 128, 6);
    }
}

TEST(PictureBudget, RenderingsBeyondTheDrawingBudgetAreRefused) {
    const std::string png = encodePng(test::gradient(4, 4));
    EXPECT_NE(failureOf([&] { render(png, PictureType::Png, 7000, 7000); }).find("too large to draw"),
              std::string::npos);
    EXPECT_NO_THROW(render(png, PictureType::Png, 300, 200));
    const std::string emf = test::emfWithRectangle(10, 10, 0, 0, 5, 5, 0);
    EXPECT_NE(failureOf([&] { renderEmf(emf, 8000, 6001); }).find("too large to draw"), std::string::npos);
    EXPECT_NE(failureOf([&] { renderSvg("<svg/>", 60000, 1000); }).find("too large to draw"), std::string::npos);
    Image huge;
    huge.width = 7000;
    huge.height = 7000;  // no pixels: refused before they would be looked at
    EXPECT_NE(failureOf([&] { toRaster(huge); }).find("too large to draw"), std::string::npos);
}

TEST(PictureBudget, DecodersThatHoldTheWholePictureAreHeldToTheByteBudget) {
    const Image small = test::gradient(64, 48);
    // An interlaced PNG is decoded whole: 9000 x 9000 x 3 bytes is too much.
    const std::string adam7 = saved(small, ".png[interlace]");
    EXPECT_NE(failureOf([&] { pictureSize(pngDeclaring(adam7, 9000, 9000), PictureType::Png); }).find("would need"),
              std::string::npos);
    // The same size streamed row by row is within the budget: refused only
    // because its rows are not there.
    const std::string plain = saved(small, ".png");
    EXPECT_NO_THROW(pictureSize(pngDeclaring(plain, 9000, 9000), PictureType::Png));

    // A progressive JPEG keeps every coefficient: 9000 x 9000 x 3 x 2 bytes.
    const std::string progressive = saved(small, ".jpg[interlace]");
    ASSERT_NE(progressive.find("\xFF\xC2", 0, 2), std::string::npos);
    EXPECT_NE(failureOf([&] { render(jpegDeclaring(progressive, 9000, 9000), PictureType::Jpeg, 30, 30); })
                  .find("would need"),
              std::string::npos);
    const std::string baseline = saved(small, ".jpg");
    EXPECT_EQ(failureOf([&] { render(jpegDeclaring(baseline, 9000, 9000), PictureType::Jpeg, 30, 30); })
                  .find("would need"),
              std::string::npos);

    // A GIF's frame: 9000 x 9000 x 4 bytes.
    const std::string gif = gifDeclaring(encodeGif(small), 9000, 9000);
    EXPECT_NE(failureOf([&] { pictureSize(gif, PictureType::Gif); }).find("would need"), std::string::npos);
}

TEST(PictureBudget, DrawingsTooComplexForTheConvertersAreRefusedBeforeTheyRead) {
    // Some 200,000 rectangles: once 12 s and 800 MB before any check could
    // stop the converters.
    const std::string one = test::emfWithRectangle(100, 100, 0, 0, 50, 50, 0xFF);
    const std::string rectangle = one.substr(88 + 24 + 12 + 12, 24);  // the rectangle record
    std::string many = one.substr(0, one.size() - 20);
    for (int i = 0; i < 200'000; ++i) many += rectangle;
    many += one.substr(one.size() - 20);
    Bytes patched;
    patched.data = many;
    patched.put32(48, static_cast<std::uint32_t>(many.size()));
    EXPECT_NE(failureOf([&] { render(patched.data, PictureType::Emf, 50, 50); }).find("too complex to draw"),
              std::string::npos);
    EXPECT_NO_THROW(render(one, PictureType::Emf, 50, 50));

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\">";
    for (int i = 0; i < 50'000; ++i) svg += "<rect width=\"1\" height=\"1\"/>";
    EXPECT_NE(failureOf([&] { renderSvg(svg + "</svg>", 10, 10); }).find("too complex to draw"), std::string::npos);
}

// Whether the step gave up because the time ran out.
bool stoppedLate(const std::function<void()>& step) {
    try {
        step();
    } catch (const platform::DeadlineExceeded&) {
        return true;
    }
    return false;
}

TEST(PictureBudget, EveryLongPathStopsOnceTheDeadlineHasPassed) {
    const Image photo = test::gradient(1600, 1200);
    const std::string dib = test::dibFrom(photo, 24);
    const std::string png = encodePng(photo);
    const std::string emf = test::emfWithRectangle(200, 200, 0, 0, 100, 100, 0xFF);
    const std::string wmf = test::wmfWithRectangle(200, 200, 0, 0, 100, 100, 0xFF);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"100\">";
    for (int i = 0; i < 200; ++i) svg += "<rect x=\"1\" y=\"1\" width=\"90\" height=\"90\" fill=\"red\"/>";
    svg += "</svg>";

    const platform::Deadline deadline(0, "drawing the picture");
    EXPECT_TRUE(stoppedLate([&] { decode(dib, PictureType::Dib); }));              // the rows of a bitmap
    EXPECT_TRUE(stoppedLate([&] { render(png, PictureType::Png, 1500, 1500); }));  // the picture library
    EXPECT_TRUE(stoppedLate([&] { encodeJpeg(photo); }));
    EXPECT_TRUE(stoppedLate([&] { encodePng(photo); }));
    EXPECT_TRUE(stoppedLate([&] { render(emf, PictureType::Emf, 100, 100); }));  // the metafile's records
    EXPECT_TRUE(stoppedLate([&] { render(wmf, PictureType::Wmf, 100, 100); }));
    EXPECT_TRUE(stoppedLate([&] { renderSvg(svg, 100, 100); }));                  // the drawing itself
    try {
        decode(dib, PictureType::Dib);
    } catch (const platform::DeadlineExceeded& late) {
        EXPECT_STREQ(late.what(), "drawing the picture took longer than 0 s");
    }
}

TEST(PictureBudget, WithoutADeadlineTheSamePathsFinish) {
    const Image photo = test::gradient(1600, 1200);
    EXPECT_EQ(decode(test::dibFrom(photo, 24), PictureType::Dib).width, 1600);
    EXPECT_FALSE(encodeJpeg(photo).empty());
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"100\">"
                      "<rect x=\"1\" y=\"1\" width=\"90\" height=\"90\" fill=\"red\"/></svg>";
    EXPECT_EQ(test::pixel(renderSvg(svg, 100, 100), 50, 50).r, 0xFF);
}

}  // namespace
}  // namespace kelvaran::imaging
