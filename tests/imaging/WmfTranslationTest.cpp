// Windows metafiles translated into enhanced metafiles: the records that come
// out, and what they draw.

#include "imaging/ByteReader.h"
#include "imaging/EmfBuilder.h"
#include "imaging/FontFaces.h"
#include "imaging/Imaging.h"
#include "imaging/Metafile.h"
#include "tests/imaging/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

namespace kelvaran::imaging {
namespace {

using test::Bytes;
using test::appendWmfRecord;
using test::pixel;

constexpr std::uint32_t kEmrStretchDiBits = 81, kEmrExtTextOutW = 84, kEmrRectangle = 43,
                        kEmrExtCreateFont = 82, kEmrPolygon16 = 86, kEmrPolyPolygon16 = 91, kEmrAlphaBlend = 114;

struct EmfRecord {
    std::uint32_t type = 0;
    std::string_view bytes;  // the whole record
};

std::vector<EmfRecord> recordsOf(std::string_view emf) {
    std::vector<EmfRecord> out;
    ByteReader in(checkedEmf(emf));
    for (std::size_t at = 0; in.has(at, 8);) {
        const std::uint32_t size = in.u32(at + 4);
        out.push_back({in.u32(at), emf.substr(at, size)});
        if (in.u32(at) == 14) break;
        at += size;
    }
    return out;
}

std::vector<EmfRecord> recordsOfType(std::string_view emf, std::uint32_t type) {
    std::vector<EmfRecord> found;
    for (const EmfRecord& r : recordsOf(emf))
        if (r.type == type) found.push_back(r);
    return found;
}

// The UTF-16 text of an EMR_EXTTEXTOUTW record.
std::u16string textOf(const EmfRecord& record) {
    ByteReader in(record.bytes);
    const std::uint32_t chars = in.u32(44), offset = in.u32(48);
    std::u16string text;
    for (std::uint32_t i = 0; i < chars; ++i) text.push_back(static_cast<char16_t>(in.u16(offset + 2 * i)));
    return text;
}

// The face name of an EMR_EXTCREATEFONTINDIRECTW record.
std::u16string faceOf(const EmfRecord& record) {
    ByteReader in(record.bytes);
    std::u16string face;
    for (std::size_t at = 12 + 28; at < 12 + 92; at += 2) {
        const char16_t c = static_cast<char16_t>(in.u16(at));
        if (c == 0) break;
        face.push_back(c);
    }
    return face;
}

std::uint16_t word(std::int32_t v) { return static_cast<std::uint16_t>(v); }

// Brush (slot 0) and null pen (slot 1) of a colour, selected; the two slots
// must be free.
void solidBrush(Bytes& records, std::uint32_t colour) {
    appendWmfRecord(records, 0x02FC, {0, word(colour & 0xFFFF), word(colour >> 16), 0});
    appendWmfRecord(records, 0x012D, {0});
    appendWmfRecord(records, 0x02FA, {5, 0, 0, 0, 0});
    appendWmfRecord(records, 0x012D, {1});
}

// A font record: height in logical units, weight, charset, face name bytes.
void font(Bytes& records, std::int16_t height, std::uint8_t charset, const std::string& face) {
    Bytes fields;
    fields.i16(height).i16(0).i16(0).i16(0).i16(400);
    fields.u8(0).u8(0).u8(0).u8(charset).u8(0).u8(0).u8(0).u8(0);
    std::string name = face;
    name.resize(32, '\0');
    appendWmfRecord(records, 0x02FB, {}, fields.data + name);
}

void textOut(Bytes& records, const std::string& bytes, std::int16_t x, std::int16_t y) {
    std::string padded = bytes;
    if (padded.size() % 2) padded.push_back('\0');
    Bytes tail;
    tail.raw(padded).i16(y).i16(x);
    appendWmfRecord(records, 0x0521, {word(static_cast<std::int32_t>(bytes.size()))}, tail.data);
}

// Sum of (255 - grey) over a region: how much ink is drawn there.
long inkIn(const Image& img, int x0, int y0, int x1, int y1) {
    long ink = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const test::Rgba p = pixel(img, x, y);
            const int grey = (p.r + p.g + p.b) / 3;
            ink += (255 - grey) * p.a / 255;
        }
    return ink;
}

TEST(WmfTranslation, ShapesBecomeTheirEnhancedRecordsAndDrawInPlace) {
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {1000, 2000});  // window: 2000 x 1000
    solidBrush(records, 0x0000FF);                     // red
    appendWmfRecord(records, 0x041B, {500, 1000, 0, 0});  // rectangle: left half of the top half
    appendWmfRecord(records, 0x01F0, {0});                 // free both slots for the next pair
    appendWmfRecord(records, 0x01F0, {1});
    solidBrush(records, 0xFF0000);                         // blue
    // Triangle in the bottom-right quarter.
    appendWmfRecord(records, 0x0324, {3, 1000, 500, 2000, 500, 2000, 1000});
    const std::string wmf = test::placeableWmf(2000, 1000, 1000, records);  // 2 x 1 inch

    const std::string emf = wmfToEmf(wmf);
    EXPECT_EQ(recordsOfType(emf, kEmrRectangle).size(), 1u);
    EXPECT_EQ(recordsOfType(emf, kEmrPolygon16).size(), 1u);
    EXPECT_TRUE(recordsOfType(emf, kEmrStretchDiBits).empty()) << "a drawing must not become a bitmap";
    const PixelSize size = pictureSize(emf, PictureType::Emf);
    EXPECT_EQ(size.width, 192);
    EXPECT_EQ(size.height, 96);

    const Image img = render(emf, PictureType::Emf, 192, 96);
    const test::Rgba red = pixel(img, 40, 20), blue = pixel(img, 185, 55), empty = pixel(img, 40, 80);
    EXPECT_GT(red.r, 200);
    EXPECT_LT(red.b, 60);
    EXPECT_GT(blue.b, 200);
    EXPECT_LT(blue.r, 60);
    EXPECT_TRUE(empty.a < 30 || (empty.r > 200 && empty.g > 200 && empty.b > 200));
}

// Rows of column x darker than mid-grey.
int darkRows(const Image& img, int x) {
    int rows = 0;
    for (int y = 0; y < img.height; ++y) {
        const test::Rgba p = pixel(img, x, y);
        if (p.a > 128 && (p.r + p.g + p.b) / 3 < 128) ++rows;
    }
    return rows;
}

TEST(WmfTranslation, PensAreDrawnAsWideAsTheirLogicalWidth) {
    // A window of 1000 x 1000 units on one inch: a pen 50 units wide is
    // about 5 pixels at 96 per inch, a pen of width 0 one pixel at any size.
    for (const std::uint16_t width : {50, 0}) {
        Bytes records;
        appendWmfRecord(records, 0x0103, {8});
        appendWmfRecord(records, 0x020B, {0, 0});
        appendWmfRecord(records, 0x020C, {1000, 1000});
        appendWmfRecord(records, 0x02FA, {0, width, 0, 0, 0});  // black pen
        appendWmfRecord(records, 0x012D, {0});
        appendWmfRecord(records, 0x0214, {500, 100});          // move to (100, 500)
        appendWmfRecord(records, 0x0213, {500, 900});          // line to (900, 500)
        const std::string wmf = test::placeableWmf(1000, 1000, 1000, records);
        for (int scale : {1, 3}) {
            const Image img = render(wmf, PictureType::Wmf, 96 * scale, 96 * scale);
            const int rows = darkRows(img, 48 * scale);
            if (width == 0) {
                EXPECT_GE(rows, 1) << "a hairline is drawn at scale " << scale;
                EXPECT_LE(rows, 2) << "a hairline stays one pixel at scale " << scale;
            } else {
                EXPECT_GE(rows, 4 * scale) << "at scale " << scale;
                EXPECT_LE(rows, 6 * scale) << "at scale " << scale;
            }
        }
    }
}

TEST(WmfTranslation, CoarseUnitsAreWrittenFinerSoSmallShapesKeepTheirForm) {
    // A chart drawn in screen pixels: its circle markers are six units
    // across.  Readers that round to whole logical units would make them
    // octagons, so the translation writes finer units (about a hundredth of
    // a millimetre each), and every coordinate and length with them.
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {100, 100});
    appendWmfRecord(records, 0x02FA, {0, 1, 0, 0, 0});           // black pen, one unit
    appendWmfRecord(records, 0x012D, {0});
    appendWmfRecord(records, 0x0418, {56, 16, 50, 10});          // circle: bottom, right, top, left
    appendWmfRecord(records, 0x0324, {3, 30, 30, 90, 30, 60, 90});  // triangle
    const std::string wmf = test::placeableWmf(100, 100, 96, records);  // 100 pixels
    const std::string emf = wmfToEmf(wmf);

    const auto windows = recordsOfType(emf, 9);  // EMR_SETWINDOWEXTEX
    ASSERT_FALSE(windows.empty());
    const std::int32_t fine = ByteReader(windows.back().bytes).i32(8) / 100;
    EXPECT_GE(fine, 16) << "a unit of the WMF is about 26 hundredths of a millimetre";
    EXPECT_EQ(ByteReader(windows.back().bytes).i32(12), 100 * fine);
    const auto circles = recordsOfType(emf, 42);
    ASSERT_EQ(circles.size(), 1u);
    ByteReader circle(circles[0].bytes);
    EXPECT_EQ(circle.i32(8), 10 * fine);
    EXPECT_EQ(circle.i32(16), 16 * fine);
    const auto pens = recordsOfType(emf, 38);
    ASSERT_EQ(pens.size(), 1u);
    EXPECT_EQ(ByteReader(pens[0].bytes).i32(16), fine) << "the pen keeps its width";
    const auto triangles = recordsOfType(emf, kEmrPolygon16);
    ASSERT_EQ(triangles.size(), 1u);
    EXPECT_EQ(ByteReader(triangles[0].bytes).i16(28 + 2), 30 * fine) << "the first point's y";

    // Drawn in place: the triangle's inside takes the default white brush,
    // its edge and the circle's are inked.
    const Image img = render(emf, PictureType::Emf, 100, 100);
    EXPECT_GT(inkIn(img, 9, 49, 18, 58), 800);
    EXPECT_GT(inkIn(img, 40, 28, 80, 33), 2000);
    EXPECT_LT(inkIn(img, 55, 40, 65, 50), 200);
}

// A region object of scans: each scan a band (top, bottom) and its spans.
std::string regionObject(const std::vector<std::tuple<std::int16_t, std::int16_t, std::vector<std::int16_t>>>& scans) {
    Bytes body;
    for (const auto& [top, bottom, spans] : scans) {
        body.u16(static_cast<std::uint16_t>(spans.size())).i16(top).i16(bottom);
        for (std::int16_t v : spans) body.i16(v);
        body.u16(static_cast<std::uint16_t>(spans.size()));
    }
    Bytes head;
    head.u16(0).u16(6).u32(0).u16(static_cast<std::uint16_t>(22 + body.data.size()));
    head.u16(static_cast<std::uint16_t>(scans.size())).u16(0);
    head.i16(0).i16(0).i16(100).i16(100);  // bounding rectangle
    return head.data + body.data;
}

TEST(WmfTranslation, RegionsAreFilledPaintedFramedAndClippedTo) {
    // An L: the left half of the top half, and the whole bottom half.
    const std::string lShape = regionObject({{0, 50, {0, 50}}, {50, 100, {0, 100}}});
    const auto picture = [&](const std::function<void(Bytes&)>& draw) {
        Bytes records;
        appendWmfRecord(records, 0x0103, {8});
        appendWmfRecord(records, 0x020B, {0, 0});
        appendWmfRecord(records, 0x020C, {100, 100});
        appendWmfRecord(records, 0x06FF, {}, lShape);                        // slot 0: the region
        appendWmfRecord(records, 0x02FC, {0, 0x00FF, 0x0000, 0});            // slot 1: red brush
        draw(records);
        return test::placeableWmf(100, 100, 96, records);
    };
    const auto looksLikeTheL = [](const Image& img, const char* how) {
        const test::Rgba inside = pixel(img, 25, 25), below = pixel(img, 75, 75), outside = pixel(img, 75, 25);
        EXPECT_GT(inside.r, 200) << how;
        EXPECT_LT(inside.b, 60) << how;
        EXPECT_GT(below.r, 200) << how;
        EXPECT_TRUE(outside.a < 30 || (outside.g > 200 && outside.b > 200)) << how << ": the top-right quarter";
    };

    const std::string filled = picture([](Bytes& r) { appendWmfRecord(r, 0x0228, {0, 1}); });
    looksLikeTheL(render(wmfToEmf(filled), PictureType::Emf, 100, 100), "filled");

    const std::string painted = picture([](Bytes& r) {
        appendWmfRecord(r, 0x012D, {1});
        appendWmfRecord(r, 0x012B, {0});
    });
    looksLikeTheL(render(wmfToEmf(painted), PictureType::Emf, 100, 100), "painted");

    // Clipped to the region, a rectangle over everything shows the L.
    const std::string clipped = picture([](Bytes& r) {
        appendWmfRecord(r, 0x012D, {1});
        appendWmfRecord(r, 0x02FA, {5, 0, 0, 0, 0});  // slot 2: null pen
        appendWmfRecord(r, 0x012D, {2});
        appendWmfRecord(r, 0x012C, {0});
        appendWmfRecord(r, 0x041B, {100, 100, 0, 0});
    });
    // The region becomes a clipping path of its rectangles (logical units,
    // which every reader maps alike), made the clip.
    const std::string clippedEmf = wmfToEmf(clipped);
    const auto records = recordsOf(clippedEmf);
    const auto beginPath = std::find_if(records.begin(), records.end(), [](const EmfRecord& r) { return r.type == 59; });
    ASSERT_NE(beginPath, records.end());
    ASSERT_GE(records.end() - beginPath, 4);
    const EmfRecord& shapes = *(beginPath + 1);
    EXPECT_TRUE(shapes.type == kEmrPolyPolygon16 || shapes.type == 8);
    EXPECT_EQ(ByteReader(shapes.bytes).u32(24), 2u) << "two rectangles";
    EXPECT_EQ((beginPath + 2)->type, 60u);
    EXPECT_EQ((beginPath + 3)->type, 67u);
    EXPECT_EQ(ByteReader((beginPath + 3)->bytes).u32(8), 5u) << "the path replaces the clip";
    // Cleared again by selecting no region.
    const std::string cleared = picture([](Bytes& r) {
        appendWmfRecord(r, 0x012C, {0});
        appendWmfRecord(r, 0x012C, {1});
    });
    EXPECT_EQ(recordsOfType(wmfToEmf(cleared), 75).size(), 1u);

    // Frames and inversions become their own records, in the units written.
    const std::string framed = picture([](Bytes& r) {
        appendWmfRecord(r, 0x0429, {0, 1, 3, 4});
        appendWmfRecord(r, 0x012A, {0});
    });
    const std::string framedEmf = wmfToEmf(framed);
    const auto frames = recordsOfType(framedEmf, 72);
    ASSERT_EQ(frames.size(), 1u);
    const std::int32_t fine = ByteReader(recordsOfType(framedEmf, 9).back().bytes).i32(8) / 100;
    EXPECT_EQ(ByteReader(frames[0].bytes).i32(32), 4 * fine) << "the frame's width";
    EXPECT_EQ(recordsOfType(framedEmf, 73).size(), 1u);

    // A damaged region (a scan claiming more edges than it holds) is empty.
    Bytes damaged;
    damaged.u16(0).u16(6).u32(0).u16(40).u16(1).u16(0).i16(0).i16(0).i16(10).i16(10).u16(40).i16(0).i16(5);
    const std::string bad = picture([&](Bytes& r) {
        appendWmfRecord(r, 0x06FF, {}, damaged.data);
        appendWmfRecord(r, 0x0228, {2, 1});
    });
    EXPECT_NO_THROW(checkedEmf(wmfToEmf(bad)));
}

TEST(WmfTranslation, AnMmTextPlaceableFileStaysInItsFrame) {
    // Written in MM_TEXT, with no window: its units are those of the
    // placeable box, which fills the picture (200 units on 2 inches).
    Bytes records;
    appendWmfRecord(records, 0x0103, {1});
    solidBrush(records, 0x00FF00);
    appendWmfRecord(records, 0x041B, {200, 100, 0, 0});  // the left half
    const std::string wmf = test::placeableWmf(200, 200, 100, records);
    const std::string emf = wmfToEmf(wmf);
    for (const EmfRecord& r : recordsOfType(emf, 17))
        EXPECT_EQ(ByteReader(r.bytes).u32(8), 8u) << "the window stays mapped onto the frame";
    const Image img = render(emf, PictureType::Emf, 192, 192);
    EXPECT_GT(pixel(img, 48, 150).g, 200);
    EXPECT_LT(pixel(img, 48, 150).r, 60);
    const test::Rgba right = pixel(img, 150, 100);
    EXPECT_TRUE(right.a < 30 || (right.r > 200 && right.b > 200)) << "the right half stays empty";
}

TEST(WmfTranslation, TheWindowTheFileSetsWinsOverThePlaceableBox) {
    // An icon whose placeable box is in twips while its own window is in
    // pixels: the drawing fills the picture, not one corner of it.
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {81, 96});
    solidBrush(records, 0x00FF00);
    appendWmfRecord(records, 0x041B, {81, 96, 0, 0});
    const std::string wmf = test::placeableWmf(1440, 1215, 1440, records);
    for (int scale : {1, 3}) {
        const Image img = render(wmf, PictureType::Wmf, 96 * scale, 81 * scale);
        for (auto [x, y] : {std::pair{5, 5}, std::pair{90, 75}, std::pair{48, 40}}) {
            const test::Rgba seen = pixel(img, x * scale, y * scale);
            EXPECT_GT(seen.g, 200) << x << "," << y << " at scale " << scale;
            EXPECT_GT(seen.a, 200) << x << "," << y << " at scale " << scale;
        }
    }
}

TEST(WmfTranslation, BitmapsKeepTheirBitsAndPlace) {
    const Image halves = test::makeImage(8, 8, [](int x, int) {
        return x < 4 ? test::Rgba{220, 20, 20, 255} : test::Rgba{20, 20, 220, 255};
    });
    const std::string dib = test::dibFrom(halves, 24);
    const std::string wmf = test::wmfWithBitmap(40, 40, dib);
    const std::string emf = wmfToEmf(wmf);
    const auto bitmaps = recordsOfType(emf, kEmrStretchDiBits);
    ASSERT_EQ(bitmaps.size(), 1u);
    ByteReader in(bitmaps[0].bytes);
    // The bitmap info and the bits travel unchanged.
    const std::string_view info = bitmaps[0].bytes.substr(in.u32(48), in.u32(52));
    const std::string_view bits = bitmaps[0].bytes.substr(in.u32(56), in.u32(60));
    EXPECT_EQ(std::string(info) + std::string(bits), dib);
    EXPECT_EQ(in.u32(68), 0x00CC0020u);  // the raster operation

    const Image img = render(emf, PictureType::Emf, 80, 80);
    EXPECT_GT(pixel(img, 20, 40).r, 180);
    EXPECT_GT(pixel(img, 60, 40).b, 180);
    EXPECT_GT(pixel(img, 5, 75).r, 180);
    EXPECT_GT(pixel(img, 75, 5).b, 180);
}

TEST(WmfTranslation, IconsDrawnWithMaskBitmapsShowThePageThroughTheMask) {
    // The way icons are drawn: a mask ANDed onto the page (white where the
    // page shows), then the picture XORed over it (black there).  Over a red
    // page: the left half stays red, the right half is the icon's blue.
    const Image mask = test::makeImage(8, 8, [](int x, int) {
        return x < 4 ? test::Rgba{255, 255, 255, 255} : test::Rgba{0, 0, 0, 255};
    });
    const Image icon = test::makeImage(8, 8, [](int x, int) {
        return x < 4 ? test::Rgba{0, 0, 0, 255} : test::Rgba{20, 20, 220, 255};
    });
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {80, 80});
    solidBrush(records, 0x0000FF);
    appendWmfRecord(records, 0x041B, {80, 80, 0, 0});
    appendWmfRecord(records, 0x0B41, {0x00C6, 0x0088, 8, 8, 0, 0, 80, 80, 0, 0}, test::dibFrom(mask, 1));
    appendWmfRecord(records, 0x0B41, {0x0046, 0x0066, 8, 8, 0, 0, 80, 80, 0, 0}, test::dibFrom(icon, 24));
    const std::string wmf = test::placeableWmf(80, 80, 96, records);
    const Image img = render(wmf, PictureType::Wmf, 80, 80);
    const test::Rgba left = pixel(img, 20, 40), right = pixel(img, 60, 40);
    EXPECT_GT(left.r, 200) << "the page shows through the mask";
    EXPECT_LT(left.b, 60);
    EXPECT_GT(right.b, 180) << "the icon's own colour";
    EXPECT_LT(right.r, 60);
    // The stored translation keeps both raster operations for readers that
    // apply them.
    const std::string emf = wmfToEmf(wmf);  // the records point into it
    const auto bitmaps = recordsOfType(emf, kEmrStretchDiBits);
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(ByteReader(bitmaps[0].bytes).u32(68), 0x008800C6u);
    EXPECT_EQ(ByteReader(bitmaps[1].bytes).u32(68), 0x00660046u);
}

TEST(WmfTranslation, TextKeepsItsFaceAndCharacters) {
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {400, 1600});
    appendWmfRecord(records, 0x012E, {24});  // baseline alignment
    font(records, -300, 0, "Times New Roman");
    appendWmfRecord(records, 0x012D, {0});
    textOut(records, "Caf\xe9 & <x>", 50, 300);
    const std::string wmf = test::placeableWmf(1600, 400, 1440, records);

    const std::string emf = wmfToEmf(wmf);
    const auto fonts = recordsOfType(emf, kEmrExtCreateFont);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(faceOf(fonts[0]), u"Times New Roman");
    const auto texts = recordsOfType(emf, kEmrExtTextOutW);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(textOf(texts[0]), u"Caf\u00e9 & <x>");

    // Drawn: ink where the text stands, nothing below its baseline area.
    const Image img = render(wmf, PictureType::Wmf, 107, 27);
    EXPECT_GT(inkIn(img, 0, 0, 107, 22), 2000);
    const Image viaEmf = render(emf, PictureType::Emf, 107, 27);
    EXPECT_LT(test::meanDifference(img, viaEmf), 1.0) << "one reading for both";
}

// The advances of an EMR_EXTTEXTOUTW record; empty when it states none.
std::vector<std::int32_t> advancesOf(const EmfRecord& record) {
    ByteReader in(record.bytes);
    const std::uint32_t chars = in.u32(44), offset = in.u32(72);
    std::vector<std::int32_t> out;
    if (offset == 0) return out;
    for (std::uint32_t i = 0; i < chars; ++i) out.push_back(in.i32(offset + 4 * i));
    return out;
}

// One line of text in a font of the given height and width, after the
// given state records, in a window of windowW x windowH on a 1 x 1 inch box:
// the advances written, in the WMF's own logical units (the translation may
// write finer ones; the font's height tells by how much).
std::vector<double> advancesFor(const std::string& face, std::int16_t height, std::int16_t width,
                                const std::string& text, std::int16_t windowW = 1000, std::int16_t windowH = 1000,
                                const std::function<void(Bytes&)>& state = {}) {
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {word(windowH), word(windowW)});
    appendWmfRecord(records, 0x012E, {24});
    Bytes fields;
    fields.i16(height).i16(width).i16(0).i16(0).i16(400);
    fields.u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0);
    std::string name = face;
    name.resize(32, '\0');
    appendWmfRecord(records, 0x02FB, {}, fields.data + name);
    appendWmfRecord(records, 0x012D, {0});
    if (state) state(records);
    textOut(records, text, 10, 900);
    const std::string emf = wmfToEmf(test::placeableWmf(1000, 1000, 1000, records));
    const auto texts = recordsOfType(emf, kEmrExtTextOutW);
    const auto fonts = recordsOfType(emf, kEmrExtCreateFont);
    EXPECT_EQ(texts.size(), 1u);
    EXPECT_EQ(fonts.size(), 1u);
    std::vector<double> out;
    if (texts.empty() || fonts.empty()) return out;
    const double finer = std::abs(ByteReader(fonts[0].bytes).i32(12)) / std::abs(static_cast<double>(height));
    for (std::int32_t a : advancesOf(texts[0])) out.push_back(a / finer);
    return out;
}

TEST(WmfTranslation, TextStatesTheAdvancesOfItsFace) {
    // Times New Roman advances H by 0.722 of its em and i by 0.278 (its
    // stand-in Liberation Serif the same); the em here is 1000 units.
    const auto plain = advancesFor("Times New Roman", -1000, 0, "Hi i");
    ASSERT_EQ(plain.size(), 4u);
    EXPECT_NEAR(plain[0], 722, 1);
    EXPECT_NEAR(plain[1], 278, 1);
    EXPECT_NEAR(plain[2], 250, 1);  // the space
    EXPECT_NEAR(plain[3], 278, 1);
    EXPECT_NEAR(plain[0] + plain[1] + plain[2] + plain[3], 722.2 + 277.8 + 250 + 277.8, 1) << "rounded as a whole line";

    // Fonts are sized along y and advance along x: with x units half as
    // long as y units, every advance takes twice the units.
    const auto wide = advancesFor("Times New Roman", -1000, 0, "Hi i", 2000, 1000);
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_NEAR(wide[0], 1444, 2);

    // Character extra goes to every character, justification to the spaces.
    const auto spaced = advancesFor("Times New Roman", -1000, 0, "Hi i", 1000, 1000, [](Bytes& r) {
        appendWmfRecord(r, 0x0108, {100});
        appendWmfRecord(r, 0x020A, {1, 60});  // one break character, 60 units
    });
    ASSERT_EQ(spaced.size(), 4u);
    EXPECT_NEAR(spaced[0], 822, 1);
    EXPECT_NEAR(spaced[1], 378, 1);
    EXPECT_NEAR(spaced[2], 410, 1);
    EXPECT_NEAR(spaced[3], 378, 1);

    // A width of its own scales the face to that average character width
    // (Times New Roman's is 0.401 em): half of it halves every advance,
    // here stated because extra spacing has to be written.
    const auto narrow = advancesFor("Times New Roman", -1000, 201, "Hi", 1000, 1000,
                                    [](Bytes& r) { appendWmfRecord(r, 0x0108, {1}); });
    ASSERT_EQ(narrow.size(), 2u);
    EXPECT_NEAR(narrow[0], 361 + 1, 2);

    // No advances where the reader measures better itself: a font with a
    // width of its own and nothing to add, a face with no stand-in of the
    // same metrics.
    EXPECT_TRUE(advancesFor("Times New Roman", -1000, 300, "Hi").empty());
    EXPECT_TRUE(advancesFor("Palatino", -1000, 0, "Hi").empty());
}

TEST(WmfTranslation, JapaneseTextInMsMinchoIsDecodedFromShiftJis) {
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {400, 1600});
    appendWmfRecord(records, 0x012E, {24});
    // "ＭＳ 明朝" in Shift-JIS, charset 128; text "日本語" in Shift-JIS.
    font(records, -300, 128, "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9");
    appendWmfRecord(records, 0x012D, {0});
    textOut(records, "\x93\xfa\x96\x7b\x8c\xea", 50, 300);
    const std::string wmf = test::placeableWmf(1600, 400, 1440, records);

    const std::string emf = wmfToEmf(wmf);
    const auto fonts = recordsOfType(emf, kEmrExtCreateFont);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(faceOf(fonts[0]), u"\uff2d\uff33 \u660e\u671d");
    const auto texts = recordsOfType(emf, kEmrExtTextOutW);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(textOf(texts[0]), u"\u65e5\u672c\u8a9e");
    EXPECT_EQ(installedFace("\xef\xbc\xad\xef\xbc\xb3 \xe6\x98\x8e\xe6\x9c\x9d").family, "IPAMincho");

    const Image img = render(wmf, PictureType::Wmf, 107, 27);
    EXPECT_GT(inkIn(img, 0, 0, 107, 27), 3000) << "the characters are drawn, not left out";
}

TEST(WmfTranslation, SymbolEquationKeepsItsGlyphCodesAndDrawsTheCharacters) {
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {400, 800});
    appendWmfRecord(records, 0x012E, {24});
    font(records, -300, 2, "Symbol");
    appendWmfRecord(records, 0x012D, {0});
    textOut(records, "p\xb9\xf2", 50, 300);  // π ≠ ∫
    const std::string wmf = test::placeableWmf(800, 400, 1440, records);

    const std::string emf = wmfToEmf(wmf);
    const auto texts = recordsOfType(emf, kEmrExtTextOutW);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(textOf(texts[0]), u"\uf070\uf0b9\uf0f2") << "Windows keeps symbol glyphs in the private-use range";
    EXPECT_EQ(symbolGlyphToUnicode(0xF070), U'\u03c0');
    EXPECT_EQ(symbolGlyphToUnicode(0xB9), U'\u2260');
    EXPECT_EQ(symbolGlyphToUnicode(0xF2), U'\u222b');
    EXPECT_EQ(symbolGlyphToUnicode(0xFE), U'\u23ad');
    EXPECT_EQ(installedFace("Symbol").family, "OpenSymbol");

    const Image img = render(wmf, PictureType::Wmf, 54, 27);
    EXPECT_GT(inkIn(img, 0, 0, 54, 27), 1500);
}

TEST(WmfTranslation, ObjectSlotsAreReusedLikeThePlayerDoes) {
    // Delete the first brush, create a pen that takes its slot, then select
    // slot 1 (the second brush): the fill must be the second brush's.
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {100, 100});
    appendWmfRecord(records, 0x02FC, {0, 0x00FF, 0x0000, 0});  // slot 0: red brush
    appendWmfRecord(records, 0x02FC, {0, 0x0000, 0x00FF, 0});  // slot 1: blue brush
    appendWmfRecord(records, 0x01F0, {0});
    appendWmfRecord(records, 0x02FA, {5, 0, 0, 0, 0});         // slot 0 again: null pen
    appendWmfRecord(records, 0x012D, {0});
    appendWmfRecord(records, 0x012D, {1});
    appendWmfRecord(records, 0x041B, {100, 100, 0, 0});
    const std::string wmf = test::placeableWmf(100, 100, 96, records);
    const Image img = render(wmfToEmf(wmf), PictureType::Emf, 100, 100);
    EXPECT_GT(pixel(img, 50, 50).b, 200);
    EXPECT_LT(pixel(img, 50, 50).r, 60);
}

TEST(WmfTranslation, ACropDrawsOnlyTheVisiblePart) {
    const std::string wmf = test::wmfWithRectangle(100, 50, 0, 0, 50, 50, 0x0000FF);  // red left half
    const std::string right = wmfToEmf(wmf, VisiblePart{0.5, 0, 0, 0});
    EXPECT_EQ(pictureSize(right, PictureType::Emf).width, 50);
    const Image img = render(right, PictureType::Emf, 50, 50);
    const test::Rgba seen = pixel(img, 25, 25);
    EXPECT_TRUE(seen.a < 30 || (seen.r > 200 && seen.g > 200)) << "the red half is cropped away";
    const std::string left = wmfToEmf(wmf, VisiblePart{0, 0, 0.5, 0});
    EXPECT_GT(pixel(render(left, PictureType::Emf, 50, 50), 25, 25).r, 200);
    EXPECT_THROW(wmfToEmf(wmf, VisiblePart{0.6, 0, 0.6, 0}), ImagingError);
}

// An EMF of 200 x 100 pixels in MM_TEXT: red left half, blue right half, a
// green strip over the top drawn after the clip was reset; with EMF+
// comments when `plus` is 1 (a dual file) or 2 (EMF+ records only).
std::string halvesEmf(int plus = 0) {
    EmfBuilder emf(EmfBuilder::fromPixels(200), EmfBuilder::fromPixels(100));
    const std::int32_t w = emf.width(), h = emf.height();
    if (plus != 0) {
        // EMR_COMMENT holding an EMF+ header record (type 0x4001), dual or not.
        const std::size_t at = emf.begin(70);
        emf.w.u32(4 + 28);
        emf.w.u32(0x2B464D45);
        emf.w.u16(0x4001);
        emf.w.u16(plus == 1 ? 1 : 0);
        emf.w.u32(28);
        emf.w.u32(16);
        emf.w.u32(0xDBC01002);
        emf.w.u32(0);
        emf.w.u32(96);
        emf.w.u32(96);
        emf.end(at);
    }
    const auto brush = [&](std::uint32_t handle, std::uint32_t colour) {
        emf.simple(39, {static_cast<std::int32_t>(handle), 0, static_cast<std::int32_t>(colour), 0});
        emf.simple(37, {static_cast<std::int32_t>(handle)});
    };
    emf.simple(37, {static_cast<std::int32_t>(0x80000008u)});  // null pen
    brush(1, 0x0000FF);
    emf.simple(43, {0, 0, w / 2, h});
    brush(2, 0xFF0000);
    emf.simple(43, {w / 2, 0, w, h});
    const std::size_t reset = emf.begin(75);  // EMR_EXTSELECTCLIPRGN: no region, copy
    emf.w.u32(0);
    emf.w.u32(5);
    emf.end(reset);
    brush(3, 0x00FF00);
    emf.simple(43, {0, 0, w, h / 5});
    return emf.finish(3);
}

TEST(EmfCrop, ACroppedEnhancedMetafileStaysADrawingOfItsVisiblePart) {
    const std::string emf = halvesEmf();
    // Keep the right half but for its top fifth.
    const std::string cut = croppedEmf(emf, VisiblePart{0.5, 0.2, 0, 0});
    EXPECT_TRUE(recordsOfType(cut, kEmrStretchDiBits).empty());
    EXPECT_TRUE(recordsOfType(cut, kEmrAlphaBlend).empty());
    EXPECT_LT(cut.size(), emf.size() + 200);
    const PixelSize size = pictureSize(cut, PictureType::Emf);
    EXPECT_NEAR(size.width, 100, 1);
    EXPECT_NEAR(size.height, 80, 1);
    // A clip to the visible part follows the header and the record that
    // reset the clip.
    EXPECT_EQ(recordsOfType(cut, 30).size(), 2u);

    const Image img = render(cut, PictureType::Emf, 100, 80);
    for (auto [x, y] : {std::pair{5, 5}, std::pair{50, 40}, std::pair{95, 75}}) {
        const test::Rgba seen = pixel(img, x, y);
        EXPECT_GT(seen.b, 200) << x << "," << y << ": the blue half, without the green strip";
        EXPECT_LT(seen.r + seen.g, 80) << x << "," << y;
    }

    // The same through the metafile format, and a margin (a negative crop)
    // around the whole picture keeps everything.
    const std::string stored = encodeEmf(emf, PictureType::Emf, 100, 80, 75, 60, VisiblePart{0.5, 0.2, 0, 0});
    EXPECT_TRUE(recordsOfType(stored, kEmrStretchDiBits).empty());
    EXPECT_NEAR(pictureSize(stored, PictureType::Emf).width, 100, 1);
    const std::string wider = croppedEmf(emf, VisiblePart{-0.1, 0, -0.1, 0});
    EXPECT_NEAR(pictureSize(wider, PictureType::Emf).width, 240, 1);
    EXPECT_GT(pixel(render(wider, PictureType::Emf, 240, 100), 40, 50).r, 200) << "the red half is kept";

    EXPECT_THROW(croppedEmf(emf, VisiblePart{0.6, 0, 0.6, 0}), ImagingError);
}

TEST(EmfCrop, DualFilesKeepTheirPlainRecordsAndEmfPlusAloneFallsBackToABitmap) {
    const std::string dual = croppedEmf(halvesEmf(1), VisiblePart{0.5, 0, 0, 0});
    EXPECT_TRUE(recordsOfType(dual, 70).empty()) << "EMF+ records would escape the clip";
    EXPECT_EQ(recordsOfType(dual, 43).size(), 3u);

    const std::string plusOnly = halvesEmf(2);
    EXPECT_THROW(croppedEmf(plusOnly, VisiblePart{0.5, 0, 0, 0}), ImagingError);
    // The metafile format then wraps a rendering, as before.
    const std::string stored = encodeEmf(plusOnly, PictureType::Emf, 100, 100, 75, 75, VisiblePart{0.5, 0, 0, 0});
    EXPECT_EQ(sniff(stored), PictureType::Emf);
}

TEST(WmfTranslation, TheMetafileFormatKeepsVectorsVector) {
    const std::string wmf = test::wmfWithRectangle(400, 300, 0, 0, 200, 150, 0xFF0000);
    const std::string emf = encodeEmf(wmf, PictureType::Wmf, 800, 600, 300, 225);
    EXPECT_EQ(sniff(emf), PictureType::Emf);
    EXPECT_TRUE(recordsOfType(emf, kEmrStretchDiBits).empty());
    EXPECT_TRUE(recordsOfType(emf, kEmrAlphaBlend).empty());
    EXPECT_LT(emf.size(), 4 * wmf.size() + 1024) << "not a bitmap of 800 x 600";
}

TEST(WmfTranslation, DamagedRecordsAreSkippedOrRefused) {
    Bytes records;
    appendWmfRecord(records, 0x0103, {8});
    appendWmfRecord(records, 0x020B, {0, 0});
    appendWmfRecord(records, 0x020C, {100, 100});
    appendWmfRecord(records, 0x0538, {60000, 3});            // polypolygon claiming far more than it holds
    appendWmfRecord(records, 0x0324, {50000, 1, 2});          // polygon claiming 50000 points
    appendWmfRecord(records, 0x0A32, {10, 10, 9000, 0});     // text longer than its record
    appendWmfRecord(records, 0x0B41, {0x0020, 0x00CC, 1, 1, 0, 0, 10, 10, 0, 0}, std::string(8, '\x7f'));  // bad bitmap
    appendWmfRecord(records, 0x012D, {999});                  // no such object
    appendWmfRecord(records, 0x0127, {static_cast<std::uint16_t>(-5)});  // restore past the bottom
    const std::string wmf = test::placeableWmf(100, 100, 96, records);
    std::string emf;
    ASSERT_NO_THROW(emf = wmfToEmf(wmf));
    EXPECT_NO_THROW(checkedEmf(emf));
    EXPECT_NO_THROW(render(wmf, PictureType::Wmf, 50, 50));

    EXPECT_THROW(wmfToEmf(wmf.substr(0, wmf.size() - 10)), ImagingError);  // no end record
    EXPECT_THROW(wmfToEmf(std::string("not a metafile at all")), ImagingError);
}

TEST(EmfAlphaBitmaps, MaskedThirtyTwoBitIconsAreGivenAsPlainRgbForBlending) {
    // An icon as some writers store it: alpha blending of a 32-bit bitmap
    // described by RGB bit masks.  Readers that trust the masks show its
    // transparent parts black; described as plain RGB every reader blends it.
    Bytes e;
    auto frame = [&](std::uint32_t type, std::uint32_t size) { e.u32(type).u32(size); };
    const int w = 2, h = 2;
    frame(1, 108);
    e.i32(0).i32(0).i32(w - 1).i32(h - 1).i32(0).i32(0).i32(53).i32(53);
    e.u32(0x464D4520).u32(0x10000).u32(0).u32(3).u16(1).u16(0).u32(0).u32(0).u32(0);
    e.i32(1920).i32(1080).i32(508).i32(286).u32(0).u32(0).u32(0).i32(508000).i32(285750);
    const std::uint32_t blendSize = 108 + 52 + w * h * 4;
    frame(114, blendSize);
    e.i32(0).i32(0).i32(w - 1).i32(h - 1);
    e.i32(0).i32(0).i32(w).i32(h).u32(0x01FF0000).i32(0).i32(0);
    for (std::uint32_t f : {0x3F800000u, 0u, 0u, 0x3F800000u, 0u, 0u}) e.u32(f);
    e.u32(0).u32(0).u32(108).u32(52).u32(160).u32(w * h * 4).i32(w).i32(h);
    e.u32(40).i32(w).i32(h).u16(1).u16(32).u32(3).u32(w * h * 4).i32(0).i32(0).u32(0).u32(0);
    e.u32(0x00FF0000).u32(0x0000FF00).u32(0x000000FF);
    e.u32(0x00000000).u32(0xFF0000FF).u32(0xFF0000FF).u32(0x00000000);  // two clear, two opaque blue
    frame(14, 20);
    e.u32(0).u32(16).u32(20);
    e.put32(48, static_cast<std::uint32_t>(e.size()));
    const std::string emf = e.data;

    const std::string stored = encodeEmf(emf, PictureType::Emf, 2, 2, 1.5, 1.5);
    const auto blends = recordsOfType(stored, kEmrAlphaBlend);
    ASSERT_EQ(blends.size(), 1u);
    ByteReader in(blends[0].bytes);
    EXPECT_EQ(in.u32(108 + 16), 0u) << "plain RGB, whose fourth byte blending takes as alpha";
    EXPECT_EQ(in.u32(88), 40u);
    // Everything else stays as it was: the same size, the same bits.
    EXPECT_EQ(stored.size(), emf.size());
    EXPECT_EQ(stored.substr(108 + 160), emf.substr(108 + 160));
}

TEST(FontFaces, WindowsFacesHaveTheirMetricCompatibleStandIns) {
    const std::map<std::string, std::string> expected = {
        {"Times New Roman", "Liberation Serif"}, {"Arial", "Liberation Sans"},
        {"Courier New", "Liberation Mono"},     {"MS Mincho", "IPAMincho"},
        {"MS Gothic", "IPAGothic"},             {"\xef\xbc\xad\xef\xbc\xb3 \xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf", "IPAGothic"},
        {"Symbol", "OpenSymbol"}};
    for (const auto& [asked, family] : expected) {
        const InstalledFace face = installedFace(asked);
        EXPECT_EQ(face.family, family) << asked;
        EXPECT_FALSE(face.file.empty()) << asked;
    }
    EXPECT_NE(installedFace("Times New Roman", true, false).file, installedFace("Times New Roman").file);
    EXPECT_FALSE(installedFace("No Such Face Anywhere").file.empty()) << "an unknown face falls back";
}

TEST(FontFaces, TextIsDecodedFromItsFontsCharacterSet) {
    EXPECT_EQ(decodeText("\x93\xfa\x96\x7b", 128, ""), "\xe6\x97\xa5\xe6\x9c\xac");      // 日本
    EXPECT_EQ(decodeText("caf\xe9", 0, "Arial"), "caf\xc3\xa9");
    EXPECT_EQ(decodeText("\xcf\xf0", 204, ""), "\xd0\x9f\xd1\x80");                      // Пр
    EXPECT_EQ(decodeText("a", 2, "Symbol"), "\xce\xb1");                                  // α
    EXPECT_EQ(decodeText("\x93", 128, ""), "\xef\xbf\xbd") << "a lead byte cut off";
}

}  // namespace
}  // namespace kelvaran::imaging
