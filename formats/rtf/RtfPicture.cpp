#include "formats/rtf/RtfPicture.h"

#include "formats/model/FormatError.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelvaran::formats::rtf {

namespace model = formats::model;

namespace {

std::uint32_t le32(std::string_view b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint32_t be32(std::string_view b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3]));
}
unsigned u8(std::string_view b, std::size_t at) { return at < b.size() ? static_cast<unsigned char>(b[at]) : 0u; }

void put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;

long twips(double points) { return std::lround(points * 20); }

}  // namespace

model::PictureFormat sniffPicture(std::string_view b) {
    if (b.size() >= 8 && b.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8)) return model::PictureFormat::Png;
    if (b.size() >= 3 && u8(b, 0) == 0xFF && u8(b, 1) == 0xD8 && u8(b, 2) == 0xFF) return model::PictureFormat::Jpeg;
    if (b.size() >= 6 && (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a")) return model::PictureFormat::Gif;
    if (b.size() >= 44 && le32(b, 0) == 1 && le32(b, 40) == 0x464D4520) return model::PictureFormat::Emf;
    if (b.size() >= 22 && le32(b, 0) == kPlaceableKey) return model::PictureFormat::Wmf;
    if (b.size() >= 18 && (le32(b, 0) == 0x00090001 || le32(b, 0) == 0x00090002)) return model::PictureFormat::Wmf;
    if (b.size() >= 26 && b.substr(0, 2) == "BM") return model::PictureFormat::Bmp;
    if (b.size() >= 40 && (le32(b, 0) == 40 || le32(b, 0) == 108 || le32(b, 0) == 124)) return model::PictureFormat::Dib;
    if (b.size() >= 4 && (b.substr(0, 4) == std::string_view("II*\0", 4) || b.substr(0, 4) == std::string_view("MM\0*", 4))) {
        return model::PictureFormat::Tiff;
    }
    return model::PictureFormat::Unknown;
}

bool picturePixelSize(model::PictureFormat type, std::string_view b, int& width, int& height) {
    switch (type) {
        case model::PictureFormat::Png:
            if (b.size() < 24 || b.substr(12, 4) != "IHDR") return false;
            width = static_cast<int>(be32(b, 16));
            height = static_cast<int>(be32(b, 20));
            return width > 0 && height > 0;
        case model::PictureFormat::Gif:
            if (b.size() < 10) return false;
            width = static_cast<int>(u8(b, 6) | u8(b, 7) << 8);
            height = static_cast<int>(u8(b, 8) | u8(b, 9) << 8);
            return width > 0 && height > 0;
        case model::PictureFormat::Bmp:
            if (b.size() < 26) return false;
            return picturePixelSize(model::PictureFormat::Dib, b.substr(14), width, height);
        case model::PictureFormat::Dib: {
            const std::uint32_t header = le32(b, 0);
            if (header == 12 && b.size() >= 12) {
                width = static_cast<int>(u8(b, 4) | u8(b, 5) << 8);
                height = static_cast<int>(u8(b, 6) | u8(b, 7) << 8);
            } else if (header >= 40 && b.size() >= 12) {
                width = static_cast<int>(le32(b, 4));
                height = std::abs(static_cast<int>(le32(b, 8)));
            } else {
                return false;
            }
            return width > 0 && height > 0;
        }
        case model::PictureFormat::Jpeg: {
            // Walk the markers up to the first start-of-frame.
            std::size_t at = 2;
            while (at + 9 < b.size()) {
                if (u8(b, at) != 0xFF) return false;
                const unsigned marker = u8(b, at + 1);
                if (marker == 0xFF) {
                    ++at;
                    continue;
                }
                const std::size_t length = u8(b, at + 2) << 8 | u8(b, at + 3);
                if ((marker >= 0xC0 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
                    height = static_cast<int>(u8(b, at + 5) << 8 | u8(b, at + 6));
                    width = static_cast<int>(u8(b, at + 7) << 8 | u8(b, at + 8));
                    return width > 0 && height > 0;
                }
                if (length < 2) return false;
                at += 2 + length;
            }
            return false;
        }
        default: return false;
    }
}

std::string withPlaceableHeader(std::string_view metafile, std::int64_t widthTwips, std::int64_t heightTwips) {
    // The bounding box is in units of `inch` per inch; twips unless the size
    // does not fit the header's 16-bit fields.
    widthTwips = std::max<std::int64_t>(1, widthTwips);
    heightTwips = std::max<std::int64_t>(1, heightTwips);
    std::int64_t inch = 1440;
    std::int64_t w = widthTwips;
    std::int64_t h = heightTwips;
    while ((w > 32767 || h > 32767) && inch > 1) {
        inch /= 2;
        w = std::max<std::int64_t>(1, w / 2);
        h = std::max<std::int64_t>(1, h / 2);
    }
    w = std::min<std::int64_t>(w, 32767);
    h = std::min<std::int64_t>(h, 32767);
    std::string header;
    header.reserve(22 + metafile.size());
    put16(header, 0xCDD7);
    put16(header, 0x9AC6);
    put16(header, 0);  // handle
    put16(header, 0);  // left
    put16(header, 0);  // top
    put16(header, static_cast<std::uint16_t>(w));
    put16(header, static_cast<std::uint16_t>(h));
    put16(header, static_cast<std::uint16_t>(inch));
    put16(header, 0);
    put16(header, 0);  // reserved
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2) {
        checksum ^= static_cast<std::uint16_t>(u8(header, i) | u8(header, i + 1) << 8);
    }
    put16(header, checksum);
    header.append(metafile);
    return header;
}

std::string_view withoutPlaceableHeader(std::string_view metafile) {
    if (metafile.size() >= 22 && le32(metafile, 0) == kPlaceableKey) return metafile.substr(22);
    return metafile;
}

void appendHex(std::string_view bytes, std::string& out) {
    static constexpr char digits[] = "0123456789abcdef";
    // Lines of 64 bytes, each after a line break, and a break at the end.
    const std::size_t lines = (bytes.size() + 63) / 64;
    const std::size_t start = out.size();
    out.resize(start + bytes.size() * 2 + lines * 2 + 2);
    char* to = out.data() + start;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 64 == 0) {
            *to++ = '\r';
            *to++ = '\n';
        }
        const auto byte = static_cast<unsigned char>(bytes[i]);
        *to++ = digits[byte >> 4];
        *to++ = digits[byte & 0x0F];
    }
    *to++ = '\r';
    *to++ = '\n';
}

std::string borderWords(const model::Borders& borders) {
    static constexpr const char* sides[] = {"\\brdrt", "\\brdrl", "\\brdrb", "\\brdrr"};
    std::string out;
    for (std::size_t i = 0; i < borders.sides.size(); ++i) {
        const auto& side = borders.sides[i];
        if (!side.visible) continue;
        out += sides[i];
        switch (side.style) {
            case 2: out += "\\brdrdot"; break;
            case 3: out += "\\brdrdash"; break;
            case 7: out += "\\brdrdb"; break;
            default: out += "\\brdrs"; break;
        }
        // Eighths of a point to twips: 20 / 8.
        out += "\\brdrw" + std::to_string(std::clamp(side.widthEighths * 5 / 2, 1, 255));
        if (side.colourIndex > 0) out += "\\brdrcf" + std::to_string(side.colourIndex);
    }
    if (!out.empty() && borders.shadow) out += "\\brdrsh";
    return out;
}

std::string pictGroup(const model::PictureData& picture, double widthPt, double heightPt,
                      const model::Borders* borders) {
    if (picture.empty()) throw model::FormatError("a picture without data cannot be written");
    std::string_view data = *picture.bytes;
    std::string type;
    model::PictureFormat format = picture.type;
    if (format == model::PictureFormat::Unknown) format = sniffPicture(data);
    switch (format) {
        case model::PictureFormat::Jpeg: type = "\\jpegblip"; break;
        case model::PictureFormat::Png: type = "\\pngblip"; break;
        case model::PictureFormat::Emf: type = "\\emfblip"; break;
        case model::PictureFormat::Wmf:
            type = "\\wmetafile8";
            data = withoutPlaceableHeader(data);
            break;
        case model::PictureFormat::Dib: type = "\\dibitmap0"; break;
        case model::PictureFormat::Bmp:
            if (data.size() < 14) throw model::FormatError("a BMP picture is too short to be written");
            type = "\\dibitmap0";
            data = data.substr(14);  // RTF keeps the bitmap without its file header
            break;
        case model::PictureFormat::Pict: type = "\\macpict"; break;
        case model::PictureFormat::Gif:
            // The office stores a GIF as a PNG of the same pixels before it
            // reaches a document.
            throw model::FormatError("RTF cannot hold GIF pictures");
        case model::PictureFormat::Tiff: throw model::FormatError("RTF cannot hold TIFF pictures");
        case model::PictureFormat::Unknown: throw model::FormatError("a picture of unknown type cannot be written");
    }
    if (!std::isfinite(widthPt) || !std::isfinite(heightPt) || widthPt <= 0 || heightPt <= 0 || widthPt > 1e5 ||
        heightPt > 1e5) {
        throw model::FormatError("a picture has no usable size");
    }
    // Natural size: the stored picture before crop and scale.
    const auto& crop = picture.crop;
    double naturalW = picture.naturalWidthPt;
    double naturalH = picture.naturalHeightPt;
    const double keptW = 1 - crop.left - crop.right;
    const double keptH = 1 - crop.top - crop.bottom;
    if (!(keptW > 0.001) || !(keptH > 0.001)) throw model::FormatError("a picture is cropped away entirely");
    if (!(naturalW > 0) || !(naturalH > 0)) {
        naturalW = widthPt / keptW;
        naturalH = heightPt / keptH;
    }
    if (!crop.any()) {
        // Without a crop the displayed size is the picture's own size: no
        // scale, nothing lost to rounding.
        naturalW = widthPt;
        naturalH = heightPt;
    }
    const long goalW = std::max(1L, twips(naturalW));
    const long goalH = std::max(1L, twips(naturalH));
    const long cropL = twips(naturalW * crop.left);
    const long cropR = twips(naturalW * crop.right);
    const long cropT = twips(naturalH * crop.top);
    const long cropB = twips(naturalH * crop.bottom);
    const double shownW = std::max(1.0, static_cast<double>(goalW - cropL - cropR));
    const double shownH = std::max(1.0, static_cast<double>(goalH - cropT - cropB));
    const long scaleX = std::max(1L, std::lround(widthPt * 20 * 100 / shownW));
    const long scaleY = std::max(1L, std::lround(heightPt * 20 * 100 / shownH));
    // \picw and \pich: hundredths of a millimetre.
    const long hiW = std::max(1L, std::lround(naturalW * 2540 / 72));
    const long hiH = std::max(1L, std::lround(naturalH * 2540 / 72));

    std::string out = "{\\pict";
    if (borders) out += borderWords(*borders);
    out += "\\picscalex" + std::to_string(scaleX) + "\\picscaley" + std::to_string(scaleY);
    out += "\\piccropl" + std::to_string(cropL) + "\\piccropr" + std::to_string(cropR);
    out += "\\piccropt" + std::to_string(cropT) + "\\piccropb" + std::to_string(cropB);
    out += "\\picw" + std::to_string(hiW) + "\\pich" + std::to_string(hiH);
    out += "\\picwgoal" + std::to_string(goalW) + "\\pichgoal" + std::to_string(goalH);
    out += type;
    appendHex(data, out);
    out += "}";
    return out;
}

}  // namespace kelvaran::formats::rtf
