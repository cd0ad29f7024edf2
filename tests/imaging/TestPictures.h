#pragma once

// Small pictures built in memory for the imaging tests: raster images with a
// known pattern, bitmaps and metafiles written field by field, and the
// comparisons the round-trip tests use.

#include "imaging/Imaging.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kelvaran::imaging::test {

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

Image makeImage(int width, int height, const std::function<Rgba(int x, int y)>& colour);
Rgba pixel(const Image& image, int x, int y);

// Smooth colour ramps: what lossy encoders keep well.
Image gradient(int width, int height);

// Largest difference of any channel over the pixels whose alpha is at least
// minAlpha in a (alpha differences always count).
int maxDifference(const Image& a, const Image& b, int minAlpha = 1);
double meanDifference(const Image& a, const Image& b);

// Little-endian byte writer.
class Bytes {
public:
    Bytes& u8(std::uint32_t v);
    Bytes& u16(std::uint32_t v);
    Bytes& u32(std::uint32_t v);
    Bytes& i16(std::int32_t v) { return u16(static_cast<std::uint16_t>(v)); }
    Bytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Bytes& raw(const std::string& s) { data += s; return *this; }
    void put32(std::size_t at, std::uint32_t v);
    void put16(std::size_t at, std::uint32_t v);
    std::size_t size() const { return data.size(); }
    std::string data;
};

// An EMF of widthPx x heightPx (at 96 dpi) that fills the rectangle
// (left, top)-(right, bottom) with colour (0x00BBGGRR) and paints nothing else.
std::string emfWithRectangle(int widthPx, int heightPx, int left, int top, int right, int bottom, std::uint32_t colour);

// The same as a placeable WMF in twips.
std::string wmfWithRectangle(int widthPx, int heightPx, int left, int top, int right, int bottom, std::uint32_t colour,
                             bool placeable = true);

// A placeable WMF of widthPx x heightPx in twips whose only drawing is
// `dib` (as dibFrom makes it) stretched over the whole picture.
std::string wmfWithBitmap(int widthPx, int heightPx, const std::string& dib);

// Appends a WMF record: its 16-bit parameters, then `tail` (padded to a
// whole word).
void appendWmfRecord(Bytes& records, std::uint16_t function, std::initializer_list<std::uint16_t> params,
                     const std::string& tail = "");

// A placeable WMF whose logical box is (0, 0)-(boxW, boxH) at unitsPerInch,
// holding `records` and then the end record.
std::string placeableWmf(int boxW, int boxH, int unitsPerInch, const Bytes& records);

// A bare bitmap (info header, colour table, rows) of the given depth holding
// image, which must use at most 2^bits colours for the palette depths.
// topDown writes a negative height.
std::string dibFrom(const Image& image, int bits, bool topDown = false);

// A .bmp file around dibFrom(image, 24).
std::string bmpFileFrom(const Image& image);

}  // namespace kelvaran::imaging::test
