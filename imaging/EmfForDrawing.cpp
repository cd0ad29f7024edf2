// Enhanced metafiles made ready for the converter that draws them.  Only the
// copy that is drawn is changed; the stored metafile keeps its records.

#include "imaging/EmfForDrawing.h"

#include "imaging/ByteReader.h"
#include "imaging/ByteWriter.h"
#include "imaging/Dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace kelvaran::imaging {
namespace {

// The converter draws every bitmap as a plain copy.  Icons are drawn in two
// passes with raster operations instead: a mask ANDed onto the page (white
// where the page shows through), then the picture ORed or XORed over it
// (black where the page shows through).  For drawing, each such bitmap
// becomes an alpha-blended one that is transparent exactly where the
// operation leaves the page alone.  The stored metafile keeps its records.
std::string withRasterOpsResolved(std::string_view emf) {
    constexpr std::uint32_t kStretchDiBits = 81, kAlphaBlend = 114;
    constexpr std::uint32_t kSrcAnd = 0x008800C6, kSrcPaint = 0x00EE0086, kSrcInvert = 0x00660046;
    ByteReader in(emf);
    std::string out;
    bool changed = false;
    for (std::size_t at = 0; in.has(at, 8);) {
        const std::uint32_t type = in.u32(at), size = in.u32(at + 4);
        if (size < 8 || !in.has(at, size)) break;
        const std::uint32_t rop = type == kStretchDiBits && size >= 80 ? in.u32(at + 68) : 0;
        if (rop != kSrcAnd && rop != kSrcPaint && rop != kSrcInvert) {
            out.append(emf.substr(at, size));
            at += size;
            continue;
        }
        const std::uint32_t offBmi = in.u32(at + 48), cbBmi = in.u32(at + 52);
        const std::uint32_t offBits = in.u32(at + 56), cbBits = in.u32(at + 60);
        Image bitmap;
        try {
            if (offBmi < 80 || std::uint64_t{offBmi} + cbBmi > size || offBits < 80 ||
                std::uint64_t{offBits} + cbBits > size)
                throw ImagingError("bad offsets");
            const std::string dib = std::string(emf.substr(at + offBmi, cbBmi)) + std::string(emf.substr(at + offBits, cbBits));
            bitmap = decodeDib(dib, cbBmi);
        } catch (const ImagingError&) {
            out.append(emf.substr(at, size));
            at += size;
            continue;
        }
        // Premultiplied, bottom-up rows; transparent where the page stays.
        std::string bits;
        bits.reserve(bitmap.rgba.size());
        for (int y = bitmap.height - 1; y >= 0; --y) {
            const std::uint8_t* p = bitmap.rgba.data() + static_cast<std::size_t>(y) * bitmap.width * 4;
            for (int x = 0; x < bitmap.width; ++x, p += 4) {
                const bool white = p[0] > 250 && p[1] > 250 && p[2] > 250;
                const bool black = p[0] < 5 && p[1] < 5 && p[2] < 5;
                const bool clear = rop == kSrcAnd ? white : black;
                if (clear) {
                    bits.append(4, '\0');
                } else {
                    bits.push_back(static_cast<char>(p[2]));
                    bits.push_back(static_cast<char>(p[1]));
                    bits.push_back(static_cast<char>(p[0]));
                    bits.push_back(static_cast<char>(0xFF));
                }
            }
        }
        const std::int32_t ySrcBottom = in.i32(at + 36), cySrc = in.i32(at + 44);
        ByteWriter w;
        const std::uint32_t total = 108 + 40 + static_cast<std::uint32_t>(bits.size());
        w.u32(kAlphaBlend);
        w.u32(total);
        w.raw(emf.substr(at + 8, 16));  // bounds
        w.i32(in.i32(at + 24));          // destination x, y, cx, cy
        w.i32(in.i32(at + 28));
        w.i32(in.i32(at + 72));
        w.i32(in.i32(at + 76));
        w.u32(0x01FF0000);               // per-pixel alpha
        w.i32(in.i32(at + 32));          // source x, and y counted from the top
        w.i32(bitmap.height - ySrcBottom - cySrc);
        for (float f : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) w.f32(f);
        w.u32(0);
        w.u32(0);
        w.u32(108);
        w.u32(40);
        w.u32(148);
        w.u32(static_cast<std::uint32_t>(bits.size()));
        w.i32(in.i32(at + 40));          // source cx, cy
        w.i32(cySrc);
        w.u32(40);
        w.i32(bitmap.width);
        w.i32(bitmap.height);
        w.u16(1);
        w.u16(32);
        w.u32(0);
        w.u32(static_cast<std::uint32_t>(bits.size()));
        w.i32(0);
        w.i32(0);
        w.u32(0);
        w.u32(0);
        w.raw(bits);
        out += w.text();
        changed = true;
        at += size;
    }
    if (!changed) return std::string(emf);
    // The header's byte count follows the new records.
    ByteWriter patch;
    patch.u32(static_cast<std::uint32_t>(out.size()));
    out.replace(48, 4, patch.text());
    return out;
}

// The converter draws every pen of EMR_CREATEPEN, and every cosmetic pen,
// one device unit wide, and takes the width of a geometric pen, which is in
// logical units, for device units.  A metafile on a fine reference device
// (the translations made here count hundredths of a millimetre) would lose
// its lines, one with large logical units would get them far too heavy.
// For drawing, each pen becomes a geometric pen as wide in device units as
// its own width under the mapping in force where it is made, and never
// narrower than one pixel of the rendering, as players draw pens.
std::string withPensForDrawing(std::string_view emf, int width) {
    constexpr std::uint32_t kCreatePen = 38, kExtCreatePen = 95, kSetMapMode = 17, kSetWindowExt = 9,
                            kSetViewportExt = 11, kScaleViewportExt = 31, kScaleWindowExt = 32, kSaveDc = 33,
                            kRestoreDc = 34;
    constexpr std::uint32_t kNullPen = 5, kGeometric = 0x00010000;
    ByteReader in(emf);
    const double boundsW = static_cast<double>(in.i32(16)) - in.i32(8) + 1;
    const double devicePx = in.i32(72), deviceMm = in.i32(80);
    const double pxPerMm = devicePx > 0 && deviceMm > 0 ? devicePx / deviceMm : 96.0 / 25.4;
    // Device units of one pixel of the rendering.
    const double pixel = boundsW > 0 && width > 0 ? boundsW / width : 1.0;

    struct Mapping {
        std::uint32_t mode = 1;
        double windowX = 1, viewportX = 1;
    };
    Mapping now;
    std::vector<Mapping> saved;
    const auto scale = [&]() -> double {
        switch (now.mode) {
        case 2: return pxPerMm * 0.1;
        case 3: return pxPerMm * 0.01;
        case 4: return pxPerMm * 0.254;
        case 5: return pxPerMm * 0.0254;
        case 6: return pxPerMm * 25.4 / 1440.0;
        case 7:
        case 8: return now.windowX != 0 ? std::abs(now.viewportX / now.windowX) : 1.0;
        default: return 1.0;
        }
    };
    const auto deviceWidth = [&](double logical, bool cosmetic) {
        const double wanted = cosmetic ? pixel : std::max(pixel, std::abs(logical) * scale());
        return static_cast<std::uint32_t>(std::clamp(std::lround(wanted), 1L, 1L << 24));
    };

    std::string out;
    out.reserve(emf.size() + 1024);
    for (std::size_t at = 0; in.has(at, 8);) {
        const std::uint32_t type = in.u32(at), size = in.u32(at + 4);
        if (size < 8 || !in.has(at, size)) break;
        const std::string_view record = emf.substr(at, size);
        at += size;
        switch (type) {
        case kSetMapMode: now.mode = in.u32(at - size + 8); break;
        case kSetWindowExt: now.windowX = in.i32(at - size + 8); break;
        case kSetViewportExt: now.viewportX = in.i32(at - size + 8); break;
        case kScaleViewportExt:
        case kScaleWindowExt: {
            const double num = in.i32(at - size + 8), denom = in.i32(at - size + 12);
            if (denom != 0) (type == kScaleWindowExt ? now.windowX : now.viewportX) *= num / denom;
            break;
        }
        case kSaveDc: saved.push_back(now); break;
        case kRestoreDc: {
            const std::int32_t which = in.i32(at - size + 8);
            if (which < 0 && static_cast<std::size_t>(-static_cast<std::int64_t>(which)) <= saved.size()) {
                saved.resize(saved.size() - static_cast<std::size_t>(-static_cast<std::int64_t>(which)) + 1);
                now = saved.back();
                saved.pop_back();
            }
            break;
        }
        default: break;
        }
        if (type == kCreatePen && size >= 28 && (in.u32(at - size + 12) & 0xFF) != kNullPen) {
            const std::size_t base = at - size;
            const std::uint32_t style = in.u32(base + 12);
            const std::int32_t logical = in.i32(base + 16);
            ByteWriter w;
            w.u32(kExtCreatePen);
            w.u32(52);
            w.u32(in.u32(base + 8));  // the pen's slot
            for (int i = 0; i < 4; ++i) w.u32(0);  // no bitmap
            w.u32(kGeometric | (style & 0xFFFF));
            w.u32(deviceWidth(logical, logical <= 1));
            w.u32(0);  // solid brush
            w.u32(in.u32(base + 24));
            w.u32(0);
            w.u32(0);
            out += w.text();
            continue;
        }
        if (type == kExtCreatePen && size >= 52 && (in.u32(at - size + 28) & 0xFF) != kNullPen) {
            const std::size_t base = at - size;
            const std::uint32_t style = in.u32(base + 28);
            const bool cosmetic = (style & 0x000F0000) != kGeometric;
            std::string copy(record);
            ByteWriter fields;
            fields.u32(kGeometric | (style & 0xFFFF));
            fields.u32(deviceWidth(in.i32(base + 32), cosmetic));
            copy.replace(28, 8, fields.text());
            out += copy;
            continue;
        }
        out.append(record);
    }
    // Every pen record keeps or grows its size: the header's byte count follows.
    ByteWriter total;
    total.u32(static_cast<std::uint32_t>(out.size()));
    if (out.size() >= 52) out.replace(48, 4, total.text());
    return out;
}

// Alpha blending with per-pixel alpha takes premultiplied colours (a pixel
// of half alpha stores half its colour); the converter draws them as they
// stand, so every soft edge came out darker.  For drawing, the colours of
// such bitmaps are divided by their alpha again.
std::string withStraightAlphaForDrawing(std::string emf) {
    constexpr std::uint32_t kAlphaBlend = 114, kSourceAlpha = 0x01000000;
    ByteReader in(emf);
    for (std::size_t at = 0; in.has(at, 8);) {
        const std::uint32_t type = in.u32(at), size = in.u32(at + 4);
        if (size < 8 || !in.has(at, size)) break;
        if (type == kAlphaBlend && size >= 108 && (in.u32(at + 40) & 0xFF000000) == kSourceAlpha) {
            const std::uint32_t offBmi = in.u32(at + 84), offBits = in.u32(at + 92), cbBits = in.u32(at + 96);
            const std::size_t info = at + offBmi;
            const std::uint32_t compression = in.u32(info + 16);
            if (offBmi >= 108 && in.has(info, 40) && in.u16(info + 14) == 32 && (compression == 0 || compression == 3) &&
                offBits >= 108 && std::uint64_t{offBits} + cbBits <= size) {
                for (std::size_t p = at + offBits; p + 4 <= at + offBits + cbBits; p += 4) {
                    const unsigned a = static_cast<unsigned char>(emf[p + 3]);
                    if (a == 0 || a == 255) continue;
                    for (std::size_t c = 0; c < 3; ++c) {
                        const unsigned v = static_cast<unsigned char>(emf[p + c]);
                        emf[p + c] = static_cast<char>(std::min(255u, (v * 255 + a / 2) / a));
                    }
                }
            }
        }
        at += size;
    }
    return emf;
}

}  // namespace

std::string emfForDrawing(std::string_view emf, int width) {
    return withPensForDrawing(withStraightAlphaForDrawing(withRasterOpsResolved(emf)), width);
}

}  // namespace kelvaran::imaging
