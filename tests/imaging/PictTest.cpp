// Macintosh PICT pictures: read, drawn and kept as drawings.

#include "imaging/ByteReader.h"
#include "imaging/Imaging.h"
#include "imaging/Metafile.h"
#include "tests/imaging/TestPictures.h"

#include <gtest/gtest.h>

namespace kelvaran::imaging {
namespace {

using test::pixel;

// Big-endian writer for QuickDraw opcode streams.
struct Be {
    std::string data;
    Be& u8(unsigned v) {
        data.push_back(static_cast<char>(v & 0xFF));
        return *this;
    }
    Be& u16(unsigned v) { return u8(v >> 8).u8(v); }
    Be& u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
    Be& rect(int top, int left, int bottom, int right) { return u16(top).u16(left).u16(bottom).u16(right); }
    Be& rgb(unsigned r, unsigned g, unsigned b) { return u16(r).u16(g).u16(b); }
};

// A version 2 picture of 200 x 100 points: a red rectangle top left, a blue
// oval bottom right, a black line, "Hi" in Helvetica, and an 8-bit packed
// bitmap (green left, yellow right) bottom left.
std::string samplePict() {
    Be p;
    p.u16(0).rect(0, 0, 100, 200);
    p.u16(0x0011).u16(0x02FF);
    p.u16(0x0C00).u16(0xFFFE).u16(0).u32(0x00480000).u32(0x00480000).rect(0, 0, 100, 200).u32(0);
    p.u16(0x001A).rgb(0xFFFF, 0, 0);
    p.u16(0x0031).rect(0, 0, 50, 100);  // paint rectangle
    p.u16(0x001A).rgb(0, 0, 0xFFFF);
    p.u16(0x0051).rect(50, 100, 100, 200);  // paint oval
    p.u16(0x001A).rgb(0, 0, 0);
    p.u16(0x0020).u16(98).u16(0).u16(98).u16(90);  // line
    p.u16(0x0003).u16(21);                           // Helvetica
    p.u16(0x000D).u16(24);
    p.u16(0x0028).u16(40).u16(110).u8(2).u8('H').u8('i');
    p.u8(0);                                         // opcodes stand on even offsets
    // Packed indexed pixel map, 10 x 10, two colours.
    p.u16(0x0098).u16(0x8000 | 10).rect(0, 0, 10, 10);
    p.u16(0).u16(0).u32(0).u32(0x00480000).u32(0x00480000).u16(0).u16(8).u16(1).u16(8).u32(0).u32(0).u32(0);
    p.u32(0).u16(0).u16(1);
    p.u16(0).rgb(0, 0xFFFF, 0);
    p.u16(1).rgb(0xFFFF, 0xFFFF, 0);
    p.rect(0, 0, 10, 10).rect(50, 0, 100, 50).u16(0);
    for (int row = 0; row < 10; ++row) p.u8(4).u8(0xFC).u8(0).u8(0xFC).u8(1);
    if (p.data.size() % 2) p.u8(0);
    p.u16(0x00FF);
    return p.data;
}

long inkIn(const Image& img, int x0, int y0, int x1, int y1) {
    long ink = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const test::Rgba c = pixel(img, x, y);
            ink += (255 - (c.r + c.g + c.b) / 3) * c.a / 255;
        }
    return ink;
}

TEST(Pict, ShapesTextAndBitmapsAreDrawnWhereTheyBelong) {
    const std::string pict = samplePict();
    ASSERT_EQ(sniff(pict), PictureType::Pict);
    const PixelSize size = pictureSize(pict, PictureType::Pict);
    EXPECT_EQ(size.width, 267);  // 200 points at 96 pixels per inch
    EXPECT_EQ(size.height, 133);

    for (const std::string& bytes : {pict, std::string(512, '\0') + pict}) {
        const Image img = render(bytes, PictureType::Pict, 200, 100);
        const test::Rgba red = pixel(img, 50, 25), blue = pixel(img, 150, 75);
        const test::Rgba green = pixel(img, 12, 75), yellow = pixel(img, 37, 75);
        EXPECT_GT(red.r, 200);
        EXPECT_LT(red.g + red.b, 80);
        EXPECT_GT(blue.b, 200);
        EXPECT_LT(blue.r + blue.g, 80);
        EXPECT_GT(green.g, 200);
        EXPECT_LT(green.r + green.b, 80);
        EXPECT_GT(yellow.r, 200);
        EXPECT_GT(yellow.g, 200);
        EXPECT_LT(yellow.b, 60);
        EXPECT_GT(inkIn(img, 105, 15, 160, 45), 1500) << "the text";
        EXPECT_GT(inkIn(img, 55, 96, 90, 100), 500) << "the line";
        const test::Rgba empty = pixel(img, 150, 20);
        EXPECT_TRUE(empty.a < 30 || (empty.r > 200 && empty.g > 200 && empty.b > 200));
    }
}

TEST(Pict, TheMetafileFormatKeepsItADrawing) {
    const std::string pict = samplePict();
    const std::string emf = encodeEmf(pict, PictureType::Pict, 800, 400, 600, 300);
    ASSERT_EQ(sniff(emf), PictureType::Emf);
    EXPECT_LT(emf.size(), 4096u) << "not an 800 x 400 bitmap";
    EXPECT_EQ(pictureSize(emf, PictureType::Emf).width, 267);
}

TEST(Pict, DamagedPicturesAreRefusedWithAReason) {
    const std::string pict = samplePict();
    for (std::size_t cut : {std::size_t{14}, std::size_t{40}, pict.size() - 2}) {
        SCOPED_TRACE(cut);
        try {
            render(pict.substr(0, cut), PictureType::Pict, 20, 10);
            FAIL() << "a cut-short PICT was drawn";
        } catch (const ImagingError& e) {
            EXPECT_NE(std::string(e.what()).find("PICT"), std::string::npos) << e.what();
        }
    }
    // A bitmap claiming a hostile size.
    Be p;
    p.u16(0).rect(0, 0, 10, 10).u16(0x0011).u16(0x02FF);
    p.u16(0x0098).u16(0x8000 | 0x3FFF).rect(0, 0, 30000, 30000);
    p.data.append(200, '\0');
    EXPECT_THROW(render(p.data, PictureType::Pict, 10, 10), ImagingError);
}

}  // namespace
}  // namespace kelvaran::imaging
