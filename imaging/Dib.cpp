#include "imaging/Dib.h"

#include "imaging/ByteReader.h"
#include "imaging/PixelBudget.h"

#include <array>
#include <bit>
#include <string>

namespace kelvaran::imaging {
namespace {

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5, kAlphaBitFields = 6;

// A run-length bitmap of more pixels than this must hold runs that can paint
// at least one kRunLengthSlack-th of them.
constexpr std::int64_t kRunLengthFreePixels = 4'000'000;
constexpr std::int64_t kRunLengthSlack = 64;

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        bits = std::popcount(mask >> shift);
        if (bits > 8) {  // keep the top 8 bits of wide fields
            shift += bits - 8;
            bits = 8;
        }
    }
    std::uint8_t take(std::uint32_t value) const {
        if (mask == 0) return 0;
        std::uint32_t v = (value >> shift) & ((1u << bits) - 1u);
        if (bits == 8) return static_cast<std::uint8_t>(v);
        // Widen by repeating the bit pattern so full scale maps to 255.
        std::uint32_t out = 0;
        int filled = 0;
        while (filled < 8) {
            out = (out << bits) | v;
            filled += bits;
        }
        return static_cast<std::uint8_t>(out >> (filled - 8));
    }
};

struct Layout {
    DibHeader header;
    std::uint32_t masksSize = 0;  // bit masks stored after a 40-byte header
    std::array<Channel, 4> channels;  // r, g, b, a
    std::vector<std::array<std::uint8_t, 4>> palette;
    std::size_t tableEnd = 0;  // end of header + masks + colour table
};

Layout readLayout(std::string_view dib) {
    ByteReader in(dib);
    Layout l;
    l.header = readDibHeader(dib);
    const DibHeader& h = l.header;
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        std::uint32_t r = 0, g = 0, b = 0, a = 0;
        if (h.headerSize == 40) {
            l.masksSize = h.compression == kAlphaBitFields ? 16 : 12;
            if (!in.has(40, l.masksSize)) throw ImagingError("the bitmap's colour masks are missing");
        } else if (h.headerSize < 52) {
            throw ImagingError("the bitmap's colour masks are missing");
        }
        r = in.u32(40);
        g = in.u32(44);
        b = in.u32(48);
        if (h.compression == kAlphaBitFields || h.headerSize >= 56) a = in.u32(52);
        if (h.headerSize == 40 && h.compression == kBitFields) a = 0;
        l.channels = {Channel(r), Channel(g), Channel(b), Channel(a)};
    } else if (h.bitCount == 16) {
        l.channels = {Channel(0x7C00), Channel(0x03E0), Channel(0x001F), Channel(0)};
    } else if (h.bitCount == 24 || h.bitCount == 32) {
        l.channels = {Channel(0x00FF0000), Channel(0x0000FF00), Channel(0x000000FF), Channel(0)};
    }

    const bool core = h.headerSize == 12;
    const std::size_t entrySize = core ? 3 : 4;
    std::size_t entries = h.coloursUsed;
    if (h.bitCount <= 8 && (entries == 0 || core)) entries = std::size_t{1} << h.bitCount;
    const std::size_t tableStart = h.headerSize + l.masksSize;
    // A colour table longer than the buffer cannot be right; a table that is
    // merely cut short leaves the missing entries black.
    if (entries > 65536) throw ImagingError("the bitmap's colour table is implausibly large");
    std::size_t available = in.has(tableStart, 0) ? (dib.size() - tableStart) / entrySize : 0;
    std::size_t stored = std::min(entries, available);
    if (h.bitCount <= 8) {
        std::size_t used = std::min<std::size_t>(stored, std::size_t{1} << h.bitCount);
        l.palette.assign(std::size_t{1} << h.bitCount, {0, 0, 0, 255});
        for (std::size_t i = 0; i < used; ++i) {
            std::size_t at = tableStart + i * entrySize;
            l.palette[i] = {in.u8(at + 2), in.u8(at + 1), in.u8(at), 255};
        }
    }
    l.tableEnd = tableStart + entries * entrySize;
    return l;
}

void putPixel(Image& img, std::int64_t x, std::int64_t row, const Layout& l, const std::array<std::uint8_t, 4>& px) {
    const std::int64_t y = l.header.topDown ? row : l.header.height - 1 - row;
    std::uint8_t* p = img.rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(img.width) +
                                         static_cast<std::size_t>(x)) * 4;
    p[0] = px[0];
    p[1] = px[1];
    p[2] = px[2];
    p[3] = px[3];
}

void decodeRle(std::string_view data, Image& img, const Layout& l, bool four) {
    const std::int64_t w = l.header.width, hgt = l.header.height;
    std::size_t i = 0;
    std::int64_t x = 0, row = 0;
    auto emit = [&](std::uint8_t index) {
        if (x < w && row < hgt) putPixel(img, x, row, l, l.palette[index]);
        ++x;
    };
    for (std::size_t runs = 0; i + 1 < data.size() && row < hgt; ++runs) {
        if (runs % 4096 == 0) platform::checkDeadline();
        const auto count = static_cast<std::uint8_t>(data[i]);
        const auto value = static_cast<std::uint8_t>(data[i + 1]);
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && x < w; ++k)
                emit(four ? static_cast<std::uint8_t>((k % 2 == 0) ? (value >> 4) : (value & 0x0F)) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++row;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move right and up
            if (i + 1 >= data.size()) break;
            x += static_cast<std::uint8_t>(data[i]);
            row += static_cast<std::uint8_t>(data[i + 1]);
            i += 2;
        } else {  // literal run
            const std::size_t bytes = four ? (value + 1u) / 2u : value;
            if (i + bytes > data.size()) throw ImagingError("the bitmap's compressed rows are cut short");
            for (int k = 0; k < value; ++k) {
                std::uint8_t b = static_cast<std::uint8_t>(data[i + (four ? k / 2 : k)]);
                emit(four ? static_cast<std::uint8_t>((k % 2 == 0) ? (b >> 4) : (b & 0x0F)) : b);
            }
            i += (bytes + 1) & ~std::size_t{1};
        }
    }
}

}  // namespace

bool isDibHeaderSize(std::uint32_t size) {
    switch (size) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124: return true;
    default: return false;
    }
}

DibHeader readDibHeader(std::string_view bytes) {
    ByteReader in(bytes);
    DibHeader h;
    h.headerSize = in.u32(0);
    if (!isDibHeaderSize(h.headerSize)) throw ImagingError("not a bitmap: unknown header size " + std::to_string(h.headerSize));
    if (!in.has(0, h.headerSize)) throw ImagingError("the bitmap header is cut short");
    std::int64_t height = 0;
    int planes = 0;
    if (h.headerSize == 12) {
        h.width = in.u16(4);
        height = in.u16(6);
        planes = in.u16(8);
        h.bitCount = in.u16(10);
    } else {
        h.width = in.i32(4);
        height = in.i32(8);
        planes = in.u16(12);
        h.bitCount = in.u16(14);
        if (h.headerSize >= 20) h.compression = in.u32(16);
        if (h.headerSize >= 24) h.imageSize = in.u32(20);
        if (h.headerSize >= 36) h.coloursUsed = in.u32(32);
    }
    if (planes != 1) throw ImagingError("the bitmap header is damaged (planes " + std::to_string(planes) + ")");
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    checkPixelBudget(h.width, h.height, "the bitmap");
    switch (h.compression) {
    case kRgb:
        if (h.bitCount != 1 && h.bitCount != 2 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16 &&
            h.bitCount != 24 && h.bitCount != 32)
            throw ImagingError("unsupported bitmap depth of " + std::to_string(h.bitCount) + " bits");
        break;
    case kRle8:
        if (h.bitCount != 8) throw ImagingError("8-bit run-length bitmap with a depth of " + std::to_string(h.bitCount));
        break;
    case kRle4:
        if (h.bitCount != 4) throw ImagingError("4-bit run-length bitmap with a depth of " + std::to_string(h.bitCount));
        break;
    case kBitFields:
    case kAlphaBitFields:
        if (h.bitCount != 16 && h.bitCount != 32)
            throw ImagingError("bit-field bitmap with a depth of " + std::to_string(h.bitCount));
        break;
    case kJpeg:
    case kPng:
        break;
    default:
        throw ImagingError("unsupported bitmap compression " + std::to_string(h.compression));
    }
    return h;
}

std::optional<EmbeddedPicture> dibEmbeddedPicture(std::string_view dib) {
    DibHeader h = readDibHeader(dib);
    if (h.compression != kJpeg && h.compression != kPng) return std::nullopt;
    std::string_view payload = dib.substr(h.headerSize);
    if (h.imageSize > 0 && h.imageSize < payload.size()) payload = payload.substr(0, h.imageSize);
    return EmbeddedPicture{h.compression == kJpeg ? PictureType::Jpeg : PictureType::Png, payload};
}

namespace {

// Everything decodeDib checks before it allocates: the header, the rows
// against the data present, the runs against the pixels they declare, the
// drawing budget.  Returns where the rows start and how long one is.
struct CheckedRows {
    std::string_view data;
    std::uint64_t stride = 0;
};

CheckedRows checkRows(std::string_view dib, std::size_t pixelOffset, const Layout& l) {
    const DibHeader& h = l.header;
    if (h.compression == kJpeg || h.compression == kPng)
        throw ImagingError("the bitmap holds a compressed picture that must be decoded on its own");
    std::size_t start = pixelOffset != 0 ? pixelOffset : l.tableEnd;
    if (start > dib.size()) throw ImagingError("the bitmap has no pixel data");
    std::string_view data = dib.substr(start);

    const std::uint64_t stride = ((static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.bitCount) + 31) / 32) * 4;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    if (!rle) {
        // The last row need not be padded out; everything before it must be there.
        const std::uint64_t lastRow = (static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.bitCount) + 7) / 8;
        const std::uint64_t needed = stride * static_cast<std::uint64_t>(h.height - 1) + lastRow;
        if (needed > data.size()) throw ImagingError("the bitmap's pixel data is cut short");
    } else if (h.width * h.height > kRunLengthFreePixels &&
               static_cast<std::int64_t>(data.size() / 2) * 255 * kRunLengthSlack < h.width * h.height) {
        // Each two bytes of runs paint at most 255 pixels; a large bitmap
        // whose runs could not paint a sixty-fourth of it is all background
        // declared to cost memory and time.
        throw ImagingError("the run-length bitmap declares " + std::to_string(h.width) + " x " +
                           std::to_string(h.height) + " pixels, far more than its " + std::to_string(data.size()) +
                           " bytes of runs can paint");
    }

    checkImageBudget(h.width, h.height, "the bitmap");
    return {data, stride};
}

}  // namespace

void checkDib(std::string_view dib) {
    const Layout l = readLayout(dib);
    if (l.header.compression == kJpeg || l.header.compression == kPng) return;
    checkRows(dib, 0, l);
}

Image decodeDib(std::string_view dib, std::size_t pixelOffset) {
    Layout l = readLayout(dib);
    const DibHeader& h = l.header;
    const auto [data, stride] = checkRows(dib, pixelOffset, l);
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    Image img;
    img.width = static_cast<int>(h.width);
    img.height = static_cast<int>(h.height);
    const std::array<std::uint8_t, 4> background = h.bitCount <= 8 ? l.palette[0] : std::array<std::uint8_t, 4>{0, 0, 0, 255};
    img.rgba.resize(static_cast<std::size_t>(h.width) * static_cast<std::size_t>(h.height) * 4);
    for (std::size_t i = 0; i < img.rgba.size(); i += 4)
        for (int c = 0; c < 4; ++c) img.rgba[i + c] = background[c];

    if (rle) {
        decodeRle(data, img, l, h.compression == kRle4);
        return img;
    }

    ByteReader in(data);
    bool anyAlpha = false;
    const bool alphaMasked = l.channels[3].mask != 0;
    for (std::int64_t row = 0; row < h.height; ++row) {
        if (row % 64 == 0) platform::checkDeadline();
        const std::size_t base = static_cast<std::size_t>(row) * stride;
        for (std::int64_t x = 0; x < h.width; ++x) {
            std::array<std::uint8_t, 4> px{0, 0, 0, 255};
            if (h.bitCount <= 8) {
                const std::uint64_t bit = static_cast<std::uint64_t>(x) * h.bitCount;
                const std::uint8_t byte = in.u8(base + bit / 8);
                const int shift = 8 - h.bitCount - static_cast<int>(bit % 8);
                const std::uint8_t index = static_cast<std::uint8_t>((byte >> shift) & ((1 << h.bitCount) - 1));
                px = l.palette[index];
            } else {
                std::uint32_t v = 0;
                if (h.bitCount == 16) v = in.u16(base + static_cast<std::size_t>(x) * 2);
                else if (h.bitCount == 24)
                    v = in.u8(base + x * 3) | (in.u8(base + x * 3 + 1) << 8) | (static_cast<std::uint32_t>(in.u8(base + x * 3 + 2)) << 16);
                else v = in.u32(base + static_cast<std::size_t>(x) * 4);
                px = {l.channels[0].take(v), l.channels[1].take(v), l.channels[2].take(v),
                      alphaMasked ? l.channels[3].take(v) : std::uint8_t{255}};
                if (alphaMasked && px[3] != 0) anyAlpha = true;
            }
            putPixel(img, x, row, l, px);
        }
    }
    // An alpha mask whose every value is zero is a bitmap that never used
    // its alpha: show it opaque rather than invisible.
    if (alphaMasked && !anyAlpha)
        for (std::size_t i = 3; i < img.rgba.size(); i += 4) img.rgba[i] = 255;
    return img;
}

std::string_view bmpFileDib(std::string_view bmp, std::size_t* pixelOffset) {
    ByteReader in(bmp);
    if (!in.has(0, 14 + 12) || bmp[0] != 'B' || bmp[1] != 'M') throw ImagingError("not a BMP file");
    std::string_view dib = bmp.substr(14);
    const std::uint32_t offBits = in.u32(10);
    std::size_t offset = 0;
    // The file header's offset is trusted only when it points past the info
    // header and into the file; writers that leave it zero are common.
    if (offBits >= 14 + ByteReader(dib).u32(0) && offBits < bmp.size()) offset = offBits - 14;
    if (pixelOffset) *pixelOffset = offset;
    return dib;
}

Image decodeBmpFile(std::string_view bmp) {
    std::size_t offset = 0;
    std::string_view dib = bmpFileDib(bmp, &offset);
    return decodeDib(dib, offset);
}

}  // namespace kelvaran::imaging
