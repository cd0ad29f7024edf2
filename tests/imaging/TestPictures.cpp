#include "tests/imaging/TestPictures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace kelvaran::imaging::test {

Image makeImage(int width, int height, const std::function<Rgba(int x, int y)>& colour) {
    Image img;
    img.width = width;
    img.height = height;
    img.rgba.resize(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Rgba c = colour(x, y);
            std::uint8_t* p = &img.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = c.a;
        }
    return img;
}

Rgba pixel(const Image& image, int x, int y) {
    const std::uint8_t* p = &image.rgba.at((static_cast<std::size_t>(y) * image.width + x) * 4);
    return {p[0], p[1], p[2], p[3]};
}

Image gradient(int width, int height) {
    return makeImage(width, height, [&](int x, int y) {
        return Rgba{static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)),
                    static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1)),
                    static_cast<std::uint8_t>(128 + 100 * std::sin(3.0 * x / width + 3.0 * y / height)), 255};
    });
}

int maxDifference(const Image& a, const Image& b, int minAlpha) {
    if (a.width != b.width || a.height != b.height) return 1000;
    int worst = 0;
    for (std::size_t i = 0; i < a.rgba.size(); i += 4) {
        worst = std::max(worst, std::abs(a.rgba[i + 3] - b.rgba[i + 3]));
        if (a.rgba[i + 3] < minAlpha) continue;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a.rgba[i + c] - b.rgba[i + c]));
    }
    return worst;
}

double meanDifference(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height || a.rgba.empty()) return 1000;
    double sum = 0;
    for (std::size_t i = 0; i < a.rgba.size(); ++i) sum += std::abs(a.rgba[i] - b.rgba[i]);
    return sum / static_cast<double>(a.rgba.size());
}

Bytes& Bytes::u8(std::uint32_t v) {
    data.push_back(static_cast<char>(v & 0xFF));
    return *this;
}
Bytes& Bytes::u16(std::uint32_t v) { return u8(v).u8(v >> 8); }
Bytes& Bytes::u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
void Bytes::put32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Bytes::put16(std::size_t at, std::uint32_t v) {
    data[at] = static_cast<char>(v & 0xFF);
    data[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

std::string emfWithRectangle(int widthPx, int heightPx, int left, int top, int right, int bottom, std::uint32_t colour) {
    Bytes b;
    b.u32(1).u32(88);
    b.i32(0).i32(0).i32(widthPx - 1).i32(heightPx - 1);  // bounds, device pixels
    b.i32(0).i32(0).i32(static_cast<int>(std::lround(widthPx * 2540.0 / 96)))
        .i32(static_cast<int>(std::lround(heightPx * 2540.0 / 96)));  // frame, 0.01 mm
    b.u32(0x464D4520).u32(0x10000);
    b.u32(0);  // bytes, patched
    b.u32(6);  // records
    b.u16(2).u16(0);
    b.u32(0).u32(0).u32(0);
    b.i32(1920).i32(1080).i32(508).i32(286);
    // Solid brush in handle 1, selected; the null pen; the rectangle.
    b.u32(39).u32(24).u32(1).u32(0).u32(colour).u32(0);
    b.u32(37).u32(12).u32(1);
    b.u32(37).u32(12).u32(0x80000008);
    b.u32(43).u32(24).i32(left).i32(top).i32(right).i32(bottom);
    b.u32(14).u32(20).u32(0).u32(16).u32(20);
    b.put32(48, static_cast<std::uint32_t>(b.size()));
    return b.data;
}

namespace {

// Logical units of the test metafiles are twips: 15 per pixel at 96 dpi.
constexpr int kTwipsPerPixel = 15;

// Appends a WMF record of 16-bit parameters.
void wmfRecord(Bytes& records, std::uint16_t function, std::initializer_list<std::uint16_t> params) {
    records.u32(static_cast<std::uint32_t>(3 + params.size())).u16(function);
    for (std::uint16_t p : params) records.u16(p);
}

// The records that map a window of widthPx x heightPx onto the picture.
Bytes wmfWindow(int widthPx, int heightPx) {
    Bytes records;
    wmfRecord(records, 0x0103, {8});  // anisotropic mapping
    wmfRecord(records, 0x020B, {0, 0});
    wmfRecord(records, 0x020C, {static_cast<std::uint16_t>(heightPx * kTwipsPerPixel),
                                static_cast<std::uint16_t>(widthPx * kTwipsPerPixel)});
    return records;
}

// A whole WMF around `records` (the end record included): the placeable
// header when asked for, then the metafile header.
std::string wmfFile(int widthPx, int heightPx, const Bytes& records, bool placeable, std::uint16_t objects,
                    std::uint32_t largestRecordWords) {
    Bytes b;
    if (placeable) {
        b.u32(0x9AC6CDD7).u16(0).i16(0).i16(0).i16(widthPx * kTwipsPerPixel).i16(heightPx * kTwipsPerPixel);
        b.u16(1440).u32(0);
        std::uint16_t sum = 0;
        for (int i = 0; i < 10; ++i)
            sum ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(b.data[2 * i]) |
                                              (static_cast<std::uint8_t>(b.data[2 * i + 1]) << 8));
        b.u16(sum);
    }
    const std::uint32_t words = static_cast<std::uint32_t>((18 + records.size()) / 2);
    b.u16(1).u16(9).u16(0x0300).u32(words).u16(objects).u32(largestRecordWords).u16(0);
    b.raw(records.data);
    return b.data;
}

std::uint16_t le16At(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
}

}  // namespace

std::string wmfWithRectangle(int widthPx, int heightPx, int left, int top, int right, int bottom, std::uint32_t colour,
                             bool placeable) {
    const int tw = kTwipsPerPixel;
    Bytes rec = wmfWindow(widthPx, heightPx);
    wmfRecord(rec, 0x02FC, {0, static_cast<std::uint16_t>(colour & 0xFFFF), static_cast<std::uint16_t>(colour >> 16), 0});
    wmfRecord(rec, 0x012D, {0});
    wmfRecord(rec, 0x02FA, {5, 0, 0, 0, 0});  // null pen
    wmfRecord(rec, 0x012D, {1});
    wmfRecord(rec, 0x041B, {static_cast<std::uint16_t>(bottom * tw), static_cast<std::uint16_t>(right * tw),
                            static_cast<std::uint16_t>(top * tw), static_cast<std::uint16_t>(left * tw)});
    wmfRecord(rec, 0x0000, {});
    return wmfFile(widthPx, heightPx, rec, placeable, 2, 8);
}

std::string wmfWithBitmap(int widthPx, int heightPx, const std::string& dib) {
    const int tw = kTwipsPerPixel;
    Bytes rec = wmfWindow(widthPx, heightPx);
    // The bitmap's own size comes from its info header.
    const std::uint16_t bitmapWidth = le16At(dib, 4);
    const std::uint16_t bitmapHeight = le16At(dib, 8);
    std::string bits = dib;
    if (bits.size() % 2) bits.push_back('\0');
    // Stretched copy: raster operation SRCCOPY, RGB colours, source and
    // destination rectangles, then the bitmap.
    const auto words = static_cast<std::uint32_t>(3 + 11 + bits.size() / 2);
    rec.u32(words).u16(0x0F43);
    rec.u16(0x0020).u16(0x00CC).u16(0);
    rec.u16(bitmapHeight).u16(bitmapWidth).u16(0).u16(0);
    rec.u16(static_cast<std::uint16_t>(heightPx * tw)).u16(static_cast<std::uint16_t>(widthPx * tw)).u16(0).u16(0);
    rec.raw(bits);
    wmfRecord(rec, 0x0000, {});
    return wmfFile(widthPx, heightPx, rec, true, 1, words);
}

void appendWmfRecord(Bytes& records, std::uint16_t function, std::initializer_list<std::uint16_t> params,
                     const std::string& tail) {
    std::string padded = tail;
    if (padded.size() % 2) padded.push_back('\0');
    records.u32(static_cast<std::uint32_t>(3 + params.size() + padded.size() / 2)).u16(function);
    for (std::uint16_t p : params) records.u16(p);
    records.raw(padded);
}

std::string placeableWmf(int boxW, int boxH, int unitsPerInch, const Bytes& records) {
    Bytes b;
    b.u32(0x9AC6CDD7).u16(0).i16(0).i16(0).i16(boxW).i16(boxH);
    b.u16(static_cast<std::uint32_t>(unitsPerInch)).u32(0);
    std::uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(b.data[2 * i]) |
                                          (static_cast<std::uint8_t>(b.data[2 * i + 1]) << 8));
    b.u16(sum);
    Bytes all = records;
    appendWmfRecord(all, 0x0000, {});
    const std::uint32_t words = static_cast<std::uint32_t>((18 + all.size()) / 2);
    b.u16(1).u16(9).u16(0x0300).u32(words).u16(8).u32(words).u16(0);
    b.raw(all.data);
    return b.data;
}

std::string dibFrom(const Image& image, int bits, bool topDown) {
    std::map<std::uint32_t, int> palette;
    std::vector<std::uint32_t> order;
    if (bits <= 8) {
        for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
            std::uint32_t key = image.rgba[i] | (image.rgba[i + 1] << 8) | (image.rgba[i + 2] << 16);
            if (palette.emplace(key, static_cast<int>(order.size())).second) order.push_back(key);
        }
        if (order.size() > (1u << bits)) throw std::invalid_argument("too many colours for the depth");
    }
    const std::size_t stride = ((static_cast<std::size_t>(image.width) * bits + 31) / 32) * 4;
    Bytes b;
    b.u32(40).i32(image.width).i32(topDown ? -image.height : image.height).u16(1).u16(bits).u32(0);
    b.u32(static_cast<std::uint32_t>(stride * image.height)).i32(3780).i32(3780);
    b.u32(bits <= 8 ? static_cast<std::uint32_t>(order.size()) : 0).u32(0);
    for (std::uint32_t c : order) b.u8(c >> 16).u8(c >> 8).u8(c).u8(0);
    for (int row = 0; row < image.height; ++row) {
        const int y = topDown ? row : image.height - 1 - row;
        std::string line(stride, '\0');
        for (int x = 0; x < image.width; ++x) {
            Rgba p = pixel(image, x, y);
            if (bits == 24) {
                line[x * 3] = static_cast<char>(p.b);
                line[x * 3 + 1] = static_cast<char>(p.g);
                line[x * 3 + 2] = static_cast<char>(p.r);
            } else if (bits == 32) {
                line[x * 4] = static_cast<char>(p.b);
                line[x * 4 + 1] = static_cast<char>(p.g);
                line[x * 4 + 2] = static_cast<char>(p.r);
                line[x * 4 + 3] = 0;
            } else {
                const int index = palette.at(p.r | (p.g << 8) | (p.b << 16));
                const std::size_t bit = static_cast<std::size_t>(x) * bits;
                line[bit / 8] = static_cast<char>(static_cast<std::uint8_t>(line[bit / 8]) |
                                                  (index << (8 - bits - static_cast<int>(bit % 8))));
            }
        }
        b.raw(line);
    }
    return b.data;
}

std::string bmpFileFrom(const Image& image) {
    std::string dib = dibFrom(image, 24);
    Bytes b;
    b.u8('B').u8('M').u32(static_cast<std::uint32_t>(14 + dib.size())).u32(0).u32(14 + 40);
    return b.data + dib;
}

}  // namespace kelvaran::imaging::test
