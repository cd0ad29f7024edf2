#include "imaging/Imaging.h"
#include "tests/imaging/TestPictures.h"

#include <gtest/gtest.h>

namespace kelvaran::imaging {
namespace {

using test::Bytes;
using test::pixel;
using test::Rgba;

// Four colours in quadrants: any row or column flip shows.
Image quadrants(int w, int h) {
    return test::makeImage(w, h, [&](int x, int y) {
        if (y < h / 2) return x < w / 2 ? Rgba{255, 0, 0, 255} : Rgba{0, 255, 0, 255};
        return x < w / 2 ? Rgba{0, 0, 255, 255} : Rgba{255, 255, 0, 255};
    });
}

TEST(Bitmap, TwentyFourBitBottomUpDecodesRowsInOrder) {
    Image img = quadrants(7, 5);  // odd width: rows are padded
    std::string dib = test::dibFrom(img, 24);
    ASSERT_EQ(sniff(dib), PictureType::Dib);
    PixelSize size = pictureSize(dib, PictureType::Dib);
    EXPECT_EQ(size.width, 7);
    EXPECT_EQ(size.height, 5);
    EXPECT_EQ(test::maxDifference(img, decode(dib, PictureType::Dib)), 0);
}

TEST(Bitmap, TopDownRowsAreNotFlipped) {
    Image img = quadrants(6, 4);
    EXPECT_EQ(test::maxDifference(img, decode(test::dibFrom(img, 24, true), PictureType::Dib)), 0);
    EXPECT_EQ(test::maxDifference(img, decode(test::dibFrom(img, 8, true), PictureType::Dib)), 0);
}

TEST(Bitmap, PaletteDepthsDecode) {
    Image img = quadrants(9, 6);
    for (int bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        Image source = bits == 1 ? test::makeImage(9, 6, [](int x, int y) {
            return (x + y) % 2 ? Rgba{10, 20, 30, 255} : Rgba{240, 230, 220, 255};
        })
                                 : img;
        EXPECT_EQ(test::maxDifference(source, decode(test::dibFrom(source, bits), PictureType::Dib)), 0);
    }
}

TEST(Bitmap, ThirtyTwoBitWithoutAlphaIsOpaque) {
    Image img = quadrants(4, 4);
    Image back = decode(test::dibFrom(img, 32), PictureType::Dib);
    EXPECT_EQ(test::maxDifference(img, back), 0);
    EXPECT_FALSE(back.hasTransparency());
}

TEST(Bitmap, BitFieldsWithAnAlphaMaskKeepTransparency) {
    // V5-style masks in a 40-byte header with the alpha-bit-fields compression.
    Bytes b;
    b.u32(40).i32(2).i32(-1).u16(1).u16(32).u32(6).u32(8).i32(0).i32(0).u32(0).u32(0);
    b.u32(0x00FF0000).u32(0x0000FF00).u32(0x000000FF).u32(0xFF000000);
    b.u32(0xFF102030).u32(0x00405060);  // opaque, then fully transparent
    Image back = decode(b.data, PictureType::Dib);
    EXPECT_EQ(pixel(back, 0, 0).r, 0x10);
    EXPECT_EQ(pixel(back, 0, 0).b, 0x30);
    EXPECT_EQ(pixel(back, 0, 0).a, 255);
    EXPECT_EQ(pixel(back, 1, 0).a, 0);
}

TEST(Bitmap, SixteenBit565BitFields) {
    Bytes b;
    b.u32(40).i32(2).i32(1).u16(1).u16(16).u32(3).u32(4).i32(0).i32(0).u32(0).u32(0);
    b.u32(0xF800).u32(0x07E0).u32(0x001F);
    b.u16(0xF800).u16(0x07E0);  // pure red, pure green
    Image back = decode(b.data, PictureType::Dib);
    EXPECT_EQ(pixel(back, 0, 0).r, 255);
    EXPECT_EQ(pixel(back, 0, 0).g, 0);
    EXPECT_EQ(pixel(back, 1, 0).g, 255);
    EXPECT_EQ(pixel(back, 1, 0).r, 0);
}

TEST(Bitmap, RunLengthEightBit) {
    // 4 x 2, bottom-up: bottom row 4 x index 1; top row a literal 0,1,0,1.
    Bytes b;
    b.u32(40).i32(4).i32(2).u16(1).u16(8).u32(1).u32(0).i32(0).i32(0).u32(2).u32(0);
    b.u32(0x00000000).u32(0x00FFFFFF);  // black, white
    b.u8(4).u8(1).u8(0).u8(0);          // run, end of line
    b.u8(0).u8(4).u8(0).u8(1).u8(0).u8(1);  // literal of four
    b.u8(0).u8(1);                      // end of bitmap
    Image back = decode(b.data, PictureType::Dib);
    EXPECT_EQ(pixel(back, 2, 1).r, 255);  // bottom row white
    EXPECT_EQ(pixel(back, 0, 0).r, 0);
    EXPECT_EQ(pixel(back, 1, 0).r, 255);
}

TEST(Bitmap, BmpFileHeaderIsHonoured) {
    Image img = quadrants(5, 3);
    std::string bmp = test::bmpFileFrom(img);
    ASSERT_EQ(sniff(bmp), PictureType::Bmp);
    PixelSize size = pictureSize(bmp, PictureType::Bmp);
    EXPECT_EQ(size.width, 5);
    EXPECT_EQ(size.height, 3);
    EXPECT_EQ(test::maxDifference(img, decode(bmp, PictureType::Bmp)), 0);
    Image big = render(bmp, PictureType::Bmp, 50, 30);
    EXPECT_EQ(big.width, 50);
    EXPECT_GT(pixel(big, 5, 5).r, 200);
    EXPECT_LT(pixel(big, 5, 5).g, 50);
}

TEST(Bitmap, PngInsideABitmapIsDecoded) {
    Image img = quadrants(8, 8);
    std::string png = encodePng(img);
    Bytes b;
    b.u32(40).i32(8).i32(8).u16(1).u16(0).u32(5).u32(static_cast<std::uint32_t>(png.size())).i32(0).i32(0).u32(0).u32(0);
    b.raw(png);
    EXPECT_EQ(test::maxDifference(img, decode(b.data, PictureType::Dib)), 0);
}

TEST(Bitmap, DamagedHeadersAreRefused) {
    Image img = quadrants(4, 4);
    std::string dib = test::dibFrom(img, 24);
    // Cut short in the rows.
    EXPECT_THROW(decode(dib.substr(0, dib.size() - 20), PictureType::Dib), ImagingError);
    // Cut short in the header.
    EXPECT_THROW(decode(dib.substr(0, 20), PictureType::Dib), ImagingError);
    // Zero width, zero height, impossible depth, wrong planes.
    for (auto [offset, value] : {std::pair{4, 0u}, std::pair{8, 0u}}) {
        std::string bad = dib;
        Bytes patch;
        patch.data = bad;
        patch.put32(offset, value);
        EXPECT_THROW(decode(patch.data, PictureType::Dib), ImagingError) << offset;
        EXPECT_THROW(pictureSize(patch.data, PictureType::Dib), ImagingError) << offset;
    }
    Bytes depth;
    depth.data = dib;
    depth.put16(14, 7);
    EXPECT_THROW(decode(depth.data, PictureType::Dib), ImagingError);
    Bytes planes;
    planes.data = dib;
    planes.put16(12, 3);
    EXPECT_THROW(decode(planes.data, PictureType::Dib), ImagingError);
    // A run-length compression on a 24-bit bitmap.
    Bytes rle;
    rle.data = dib;
    rle.put32(16, 1);
    EXPECT_THROW(decode(rle.data, PictureType::Dib), ImagingError);
}

TEST(Bitmap, HugeClaimedSizeIsRefusedBeforeDecoding) {
    Bytes b;
    b.u32(40).i32(60000).i32(60000).u16(1).u16(24).u32(0).u32(0).i32(0).i32(0).u32(0).u32(0);
    b.raw(std::string(64, '\x11'));
    EXPECT_THROW(pictureSize(b.data, PictureType::Dib), ImagingError);
    EXPECT_THROW(decode(b.data, PictureType::Dib), ImagingError);
    EXPECT_THROW(render(b.data, PictureType::Dib, 10, 10), ImagingError);
    // Within the budget but with far too little data: refused, not padded.
    Bytes shortRows;
    shortRows.u32(40).i32(5000).i32(5000).u16(1).u16(24).u32(0).u32(0).i32(0).i32(0).u32(0).u32(0);
    shortRows.raw(std::string(64, '\x11'));
    EXPECT_THROW(decode(shortRows.data, PictureType::Dib), ImagingError);
}

TEST(Bitmap, RunLengthThatRunsOffTheBitmapIsClipped) {
    // Runs past the row end and moves past the bottom never write outside.
    Bytes b;
    b.u32(40).i32(3).i32(2).u16(1).u16(8).u32(1).u32(0).i32(0).i32(0).u32(2).u32(0);
    b.u32(0x00000000).u32(0x00FFFFFF);
    b.u8(255).u8(1).u8(0).u8(2).u8(200).u8(200).u8(10).u8(1);
    Image back = decode(b.data, PictureType::Dib);
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.rgba.size(), 3u * 2 * 4);
    EXPECT_EQ(pixel(back, 0, 1).r, 255);
}

}  // namespace
}  // namespace kelvaran::imaging
