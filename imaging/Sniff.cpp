#include "imaging/ByteReader.h"
#include "imaging/Dib.h"
#include "imaging/Imaging.h"

namespace kelvaran::imaging {
namespace {

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() && bytes.substr(0, prefix.size()) == prefix;
}

// A picture opcode stream: picture size, frame, then the version opcode.
bool pictAt(const ByteReader& in, std::size_t at) {
    if (!in.has(at, 12)) return false;
    const std::uint16_t top = in.u16be(at + 2), left = in.u16be(at + 4);
    const std::uint16_t bottom = in.u16be(at + 6), right = in.u16be(at + 8);
    const bool frame = static_cast<std::int16_t>(bottom) > static_cast<std::int16_t>(top) &&
                       static_cast<std::int16_t>(right) > static_cast<std::int16_t>(left);
    const bool v1 = in.u8(at + 10) == 0x11 && in.u8(at + 11) == 0x01;
    const bool v2 = in.has(at, 14) && in.u16be(at + 10) == 0x0011 && in.u16be(at + 12) == 0x02FF;
    return frame && (v1 || v2);
}

bool bmpFile(const ByteReader& in) {
    if (!in.has(0, 18) || in.u8(0) != 'B' || in.u8(1) != 'M') return false;
    return isDibHeaderSize(in.u32(14));
}

bool bareDib(const ByteReader& in) {
    const std::uint32_t size = in.u32(0);
    if (!isDibHeaderSize(size) || !in.has(0, 16)) return false;
    int bits = 0;
    if (size == 12) {
        if (in.u16(8) != 1 || in.u16(4) == 0 || in.u16(6) == 0) return false;
        bits = in.u16(10);
    } else {
        if (in.u16(12) != 1 || in.i32(4) <= 0 || in.i32(8) == 0) return false;
        bits = in.u16(14);
        const std::uint32_t compression = in.has(0, 20) ? in.u32(16) : 0;
        if (compression > 6 && (compression < 11 || compression > 13)) return false;
    }
    switch (bits) {
    case 0: case 1: case 2: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
    }
}

}  // namespace

const char* typeName(PictureType type) {
    switch (type) {
    case PictureType::Jpeg: return "JPEG";
    case PictureType::Png: return "PNG";
    case PictureType::Gif: return "GIF";
    case PictureType::Bmp: return "BMP";
    case PictureType::Dib: return "DIB";
    case PictureType::Tiff: return "TIFF";
    case PictureType::Emf: return "EMF";
    case PictureType::Wmf: return "WMF";
    case PictureType::Pict: return "PICT";
    case PictureType::Unknown: break;
    }
    return "unknown";
}

PictureType sniff(std::string_view bytes) {
    ByteReader in(bytes);
    if (in.has(0, 3) && in.u8(0) == 0xFF && in.u8(1) == 0xD8 && in.u8(2) == 0xFF) return PictureType::Jpeg;
    if (startsWith(bytes, std::string_view("\x89PNG\r\n\x1a\n", 8))) return PictureType::Png;
    if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return PictureType::Gif;
    if (startsWith(bytes, std::string_view("II*\0", 4)) || startsWith(bytes, std::string_view("MM\0*", 4)))
        return PictureType::Tiff;
    if (in.has(0, 44) && in.u32(0) == 1 && in.u32(40) == 0x464D4520) return PictureType::Emf;
    if (in.u32(0) == 0x9AC6CDD7) return PictureType::Wmf;
    if (in.has(0, 18) && (in.u16(0) == 1 || in.u16(0) == 2) && in.u16(2) == 9 &&
        (in.u16(4) == 0x0100 || in.u16(4) == 0x0300))
        return PictureType::Wmf;
    if (bmpFile(in)) return PictureType::Bmp;
    if (bareDib(in)) return PictureType::Dib;
    if (pictAt(in, 0) || pictAt(in, 512)) return PictureType::Pict;
    return PictureType::Unknown;
}

}  // namespace kelvaran::imaging
