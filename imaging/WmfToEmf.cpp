// Windows metafiles rewritten as enhanced metafiles, record by record.
//
// No library on the system writes an enhanced metafile from a Windows one
// (the converters only draw them, into SVG or pixels), so the translation is
// done here.  Most WMF records have an EMF counterpart with the same meaning
// and wider fields; the rest (mostly state the EMF keeps elsewhere) are
// followed here and written out as the records that give the same state.

#include "imaging/WmfToEmfImpl.h"

#include <algorithm>
#include <cmath>

namespace kelvaran::imaging::wmf_translation {

void appendUtf16(std::u16string& out, std::string_view utf8) {
    for (std::size_t k = 0; k < utf8.size();) {
        const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(utf8[i]) & 0x3F); };
        const unsigned char c = static_cast<unsigned char>(utf8[k]);
        char32_t cp = c;
        std::size_t n = 1;
        if (c >= 0xF0 && k + 3 < utf8.size()) {
            cp = ((c & 0x07u) << 18) | (byte(k + 1) << 12) | (byte(k + 2) << 6) | byte(k + 3);
            n = 4;
        } else if (c >= 0xE0 && k + 2 < utf8.size()) {
            cp = ((c & 0x0Fu) << 12) | (byte(k + 1) << 6) | byte(k + 2);
            n = 3;
        } else if (c >= 0xC0 && k + 1 < utf8.size()) {
            cp = ((c & 0x1Fu) << 6) | byte(k + 1);
            n = 2;
        }
        k += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
}

void Translator::writePoints(std::uint32_t type16, std::uint32_t type32, std::size_t firstWord, std::size_t count,
                             std::initializer_list<std::uint32_t> head, const std::vector<std::uint32_t>& counts) {
    bool narrow = true;
    for (std::size_t i = 0; i < count * 2 && narrow; ++i) {
        const std::int32_t v = L(p(firstWord + i));
        narrow = v >= -32768 && v <= 32767;
    }
    const std::size_t at = begin(narrow ? type16 : type32);
    bounds();
    for (std::uint32_t h : head) out_.u32(h);
    for (std::uint32_t c : counts) out_.u32(c);
    for (std::size_t i = 0; i < count * 2; ++i) {
        if (narrow) out_.u16(static_cast<std::uint16_t>(L(p(firstWord + i))));
        else out_.i32(L(p(firstWord + i)));
    }
    end(at);
}


void Translator::points(std::uint32_t type16, std::uint32_t type32) {
    if (params() < 1) return;
    const std::size_t count = std::min<std::size_t>(pu(0), (params() - 1) / 2);
    writePoints(type16, type32, 1, count, {static_cast<std::uint32_t>(count)}, {});
}

void Translator::polyPolygon() {
    const std::size_t polygons = pu(0);
    if (polygons == 0 || polygons + 1 > params()) return;
    std::vector<std::uint32_t> counts;
    std::size_t total = 0;
    for (std::size_t i = 0; i < polygons; ++i) {
        counts.push_back(pu(1 + i));
        total += counts.back();
    }
    if (1 + polygons + total * 2 > params()) return;  // damaged: more points than the record holds
    writePoints(emr::POLYPOLYGON16, emr::POLYPOLYGON, 1 + polygons, total,
                {static_cast<std::uint32_t>(polygons), static_cast<std::uint32_t>(total)}, counts);
}

// Records whose parameters are bottom, right, top, left.
void Translator::box(std::uint32_t type) {
    if (params() < 4) return;
    const std::size_t base = type == emr::ROUNDRECT ? 2 : 0;
    if (params() < base + 4) return;
    const std::size_t at = begin(type);
    out_.rect(L(p(base + 3)), L(p(base + 2)), L(p(base + 1)), L(p(base + 0)));
    if (type == emr::ROUNDRECT) {
        out_.i32(L(p(1)));  // corner width, then height
        out_.i32(L(p(0)));
    }
    end(at);
}

void Translator::arc(std::uint32_t type) {
    if (params() < 8) return;
    const std::size_t at = begin(type);
    out_.rect(L(p(7)), L(p(6)), L(p(5)), L(p(4)));
    out_.i32(L(p(3)));  // start x, y
    out_.i32(L(p(2)));
    out_.i32(L(p(1)));  // end x, y
    out_.i32(L(p(0)));
    end(at);
}

void Translator::clipRect(std::uint32_t type) {
    if (params() < 4) return;
    const std::size_t at = begin(type);
    out_.rect(L(p(3)), L(p(2)), L(p(1)), L(p(0)));
    end(at);
}

void Translator::createPen() {
    const int slot = takeSlot(Slot::Pen);
    const std::size_t at = begin(emr::CREATEPEN);
    out_.u32(handle(slot));
    out_.u32(pu(0));       // style
    out_.i32(L(p(1)));     // width (x; y is unused)
    out_.i32(0);
    out_.u32(pu32(3));     // colour
    end(at);
}

void Translator::createBrush() {
    const int slot = takeSlot(Slot::Brush);
    const std::size_t at = begin(emr::CREATEBRUSHINDIRECT);
    out_.u32(handle(slot));
    out_.u32(pu(0));    // style
    out_.u32(pu32(1));  // colour
    out_.u32(pu(3));    // hatch
    end(at);
}

// A brush of a bitmap pattern (the bitmap follows the style and usage words)
// becomes a solid brush of the pattern's mean colour: readers draw pattern
// brushes of enhanced metafiles unevenly or not at all, while the small
// patterns of old drawings (grey dithers, mostly) read as their mean colour.
void Translator::createPatternBrush() {
    const int slot = takeSlot(Slot::Brush);
    std::uint32_t colour = 0x00808080;
    if (pu(1) == 0) {  // colours given as RGB values, not palette indexes
        try {
            const Image pattern = decodeDib(paramBytes(2));
            std::uint64_t sum[3] = {0, 0, 0};
            const std::size_t pixels = pattern.rgba.size() / 4;
            for (std::size_t i = 0; i < pattern.rgba.size(); i += 4)
                for (int c = 0; c < 3; ++c) sum[c] += pattern.rgba[i + static_cast<std::size_t>(c)];
            if (pixels > 0) {
                colour = static_cast<std::uint32_t>((sum[0] + pixels / 2) / pixels) |
                         (static_cast<std::uint32_t>((sum[1] + pixels / 2) / pixels) << 8) |
                         (static_cast<std::uint32_t>((sum[2] + pixels / 2) / pixels) << 16);
            }
        } catch (const ImagingError&) {
            // a pattern that cannot be read stays mid-grey
        }
    }
    const std::size_t at = begin(emr::CREATEBRUSHINDIRECT);
    out_.u32(handle(slot));
    out_.u32(0);  // solid
    out_.u32(colour);
    out_.u32(0);
    end(at);
}

void Translator::createFont() {
    const int slot = takeSlot(Slot::Font);
    const std::size_t base = at_ + 6;
    const int charset = in_.u8(base + 13);
    std::string_view faceBytes = in_.view().substr(std::min(in_.size(), base + 18));
    faceBytes = faceBytes.substr(0, std::min<std::size_t>(faceBytes.size(), std::min<std::size_t>(32, size_ >= 24 ? size_ - 24 : 0)));
    const std::string face = decodeFaceName(faceBytes, charset);
    if (fonts_.size() <= static_cast<std::size_t>(slot)) fonts_.resize(static_cast<std::size_t>(slot) + 1);
    fonts_[static_cast<std::size_t>(slot)] =
        FontInfo{charset, face, in_.i16(base + 0), in_.i16(base + 2), in_.i16(base + 8), in_.u8(base + 10) != 0};

    const std::size_t at = begin(emr::EXTCREATEFONTINDIRECTW);
    out_.u32(handle(slot));
    out_.i32(L(in_.i16(base + 0)));   // height
    out_.i32(L(in_.i16(base + 2)));   // width
    out_.i32(in_.i16(base + 4));   // escapement
    out_.i32(in_.i16(base + 6));   // orientation
    out_.i32(in_.i16(base + 8));   // weight
    for (std::size_t i = 10; i < 18; ++i) out_.u8(in_.u8(base + i));  // italic ... pitch and family
    // The face name in UTF-16, 32 units with the terminating zero.
    std::u16string name;
    appendUtf16(name, face);
    name.resize(31);
    for (char16_t c : name) out_.u16(c);
    out_.u16(0);
    end(at);
}

void Translator::stretchDib(std::uint32_t rop, std::int32_t xDest, std::int32_t yDest, std::int32_t wDest,
                            std::int32_t hDest, std::int32_t xSrc, std::int32_t ySrc, std::int32_t wSrc,
                            std::int32_t hSrc, std::uint32_t usage, std::string_view dib) {
    std::size_t infoSize = 0;
    try {
        const DibHeader header = readDibHeader(dib);
        std::size_t colours = header.coloursUsed;
        if (header.bitCount <= 8 && (colours == 0 || header.headerSize == 12)) colours = std::size_t{1} << header.bitCount;
        if (header.bitCount > 8 && header.headerSize == 12) colours = 0;
        const std::size_t entry = header.headerSize == 12 ? 3 : (usage == 1 ? 2 : 4);
        const std::size_t masks = header.headerSize == 40 && (header.compression == 3 || header.compression == 6)
                                      ? (header.compression == 3 ? 12 : 16)
                                      : 0;
        infoSize = header.headerSize + masks + colours * entry;
    } catch (const ImagingError&) {
        return;  // a bitmap that cannot be read is left out, as a player does
    }
    if (infoSize > dib.size()) return;
    const std::uint32_t infoPadded = static_cast<std::uint32_t>((infoSize + 3) & ~std::size_t{3});
    const std::size_t at = begin(emr::STRETCHDIBITS);
    bounds();
    out_.i32(L(xDest));
    out_.i32(L(yDest));
    out_.i32(xSrc);
    out_.i32(ySrc);
    out_.i32(wSrc);
    out_.i32(hSrc);
    out_.u32(80);  // bitmap info right after the fixed part
    out_.u32(static_cast<std::uint32_t>(infoSize));
    out_.u32(80 + infoPadded);
    out_.u32(static_cast<std::uint32_t>(dib.size() - infoSize));
    out_.u32(usage);
    out_.u32(rop);
    out_.i32(L(wDest));
    out_.i32(L(hDest));
    out_.raw(dib.substr(0, infoSize));
    out_.pad4();
    out_.raw(dib.substr(infoSize));
    end(at);
}

// A raster operation without a source bitmap: the brush over a rectangle.
void Translator::patBlt(std::uint32_t rop, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
    const std::size_t at = begin(emr::BITBLT);
    bounds();
    out_.i32(L(x));
    out_.i32(L(y));
    out_.i32(L(w));
    out_.i32(L(h));
    out_.u32(rop);
    out_.i32(0);  // source x, y
    out_.i32(0);
    for (float f : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) out_.f32(f);
    out_.u32(0);  // background colour
    out_.u32(0);  // usage
    for (int i = 0; i < 4; ++i) out_.u32(0);  // no bitmap
    end(at);
}

void Translator::restore(std::int16_t which) {
    if (saved_.empty()) return;
    std::size_t keep = saved_.size();
    if (which < 0) {
        const std::size_t back = static_cast<std::size_t>(-static_cast<std::int32_t>(which));
        if (back > saved_.size()) return;
        keep = saved_.size() - back;
    } else if (which > 0) {
        if (static_cast<std::size_t>(which) > saved_.size()) return;
        keep = static_cast<std::size_t>(which) - 1;
    } else {
        return;
    }
    state_ = saved_[keep];
    saved_.resize(keep);
    simple(emr::RESTOREDC, {static_cast<std::int32_t>(which)});
}

// Records of the mapping, the drawing modes and saved states.  False for
// any other record.
bool Translator::translateState(std::uint16_t function) {
    switch (function) {
    case 0x0103:
        // The window is mapped onto the frame whatever the file asks: a
        // player keeps the picture in its box, which MM_TEXT (device
        // pixels) would give up.  Modes of fixed physical units are kept:
        // the reference device counts hundredths of a millimetre, so they
        // keep their sizes too.
        if (pu(0) >= 2 && pu(0) <= 6) simple(emr::SETMAPMODE, {pu(0)});
        break;
    case 0x020B:  // window origin: y, x
        state_.windowOrgY = p(0);
        state_.windowOrgX = p(1);
        simple(emr::SETWINDOWORGEX, {L(state_.windowOrgX), L(state_.windowOrgY)});
        break;
    case 0x020C:  // window extent: y, x
        state_.windowExtY = p(0);
        state_.windowExtX = p(1);
        simple(emr::SETWINDOWEXTEX, {L(state_.windowExtX), L(state_.windowExtY)});
        break;
    case 0x020F:  // offset window origin
        state_.windowOrgY += p(0);
        state_.windowOrgX += p(1);
        setWindow();
        break;
    case 0x0410:  // scale window extent: y denominator, y numerator, x denominator, x numerator
        if (p(0) != 0 && p(2) != 0) {
            state_.windowExtY = state_.windowExtY * p(1) / p(0);
            state_.windowExtX = state_.windowExtX * p(3) / p(2);
            setWindow();
        }
        break;
    // The viewport belongs to the player: it maps the picture onto its frame.
    case 0x020D:
    case 0x020E:
    case 0x0211:
    case 0x0412: break;
    case 0x0201: simple(emr::SETBKCOLOR, {static_cast<std::int32_t>(pu32(0))}); break;
    case 0x0102: simple(emr::SETBKMODE, {pu(0)}); break;
    case 0x0104: simple(emr::SETROP2, {pu(0)}); break;
    case 0x0106: simple(emr::SETPOLYFILLMODE, {pu(0)}); break;
    case 0x0107: simple(emr::SETSTRETCHBLTMODE, {pu(0)}); break;
    case 0x0209: simple(emr::SETTEXTCOLOR, {static_cast<std::int32_t>(pu32(0))}); break;
    case 0x012E: simple(emr::SETTEXTALIGN, {pu(0)}); break;
    case 0x0108: state_.charExtra = p(0); break;          // character extra: in the advances
    case 0x020A:                                          // justification: break count, break extra
        state_.breakCount = p(0);
        state_.breakExtra = p(1);
        break;
    case 0x001E:
        saved_.push_back(state_);
        simple(emr::SAVEDC, {});
        break;
    case 0x0127: restore(p(0)); break;
    default: return false;
    }
    return true;
}

void Translator::translate(std::uint16_t function) {
    if (translateState(function)) return;
    switch (function) {
    case 0x0214: simple(emr::MOVETOEX, {L(p(1)), L(p(0))}); break;
    case 0x0213: simple(emr::LINETO, {L(p(1)), L(p(0))}); break;
    case 0x0325: points(emr::POLYLINE16, emr::POLYLINE); break;
    case 0x0324: points(emr::POLYGON16, emr::POLYGON); break;
    case 0x0538: polyPolygon(); break;
    case 0x041B: box(emr::RECTANGLE); break;
    case 0x0418: box(emr::ELLIPSE); break;
    case 0x061C: box(emr::ROUNDRECT); break;
    case 0x0817: arc(emr::ARC); break;
    case 0x081A: arc(emr::PIE); break;
    case 0x0830: arc(emr::CHORD); break;
    case 0x0416: clipRect(emr::INTERSECTCLIPRECT); break;
    case 0x0415: clipRect(emr::EXCLUDECLIPRECT); break;
    case 0x0220: simple(emr::OFFSETCLIPRGN, {L(p(1)), L(p(0))}); break;
    case 0x012C: selectClipRegion(); break;
    case 0x012B:  // paint a region with the brush selected
        if (const Rects* region = regionAt(0)) regionPolygons(*region);
        break;
    case 0x0228:  // fill a region: region, brush
        if (const Rects* region = regionAt(0); region && slotKind(pu(1)) == Slot::Brush) {
            simple(emr::SELECTOBJECT, {static_cast<std::int32_t>(handle(pu(1)))});
            regionPolygons(*region);
            simple(emr::SELECTOBJECT, {static_cast<std::int32_t>(state_.brush)});
        }
        break;
    case 0x0429:  // frame a region: region, brush, height, width
        if (const Rects* region = regionAt(0); region && slotKind(pu(1)) == Slot::Brush && params() >= 4)
            regionRecord(emr::FRAMERGN, *region,
                         {handle(pu(1)), static_cast<std::uint32_t>(L(p(3))), static_cast<std::uint32_t>(L(p(2)))});
        break;
    case 0x012A:  // invert a region
        if (const Rects* region = regionAt(0)) regionRecord(emr::INVERTRGN, *region, {});
        break;
    case 0x02FA: createPen(); break;
    case 0x02FC: createBrush(); break;
    case 0x0142: createPatternBrush(); break;
    case 0x02FB: createFont(); break;
    case 0x01F9:  // old-style pattern brush: grey
    {
        const int slot = takeSlot(Slot::Brush);
        const std::size_t at = begin(emr::CREATEBRUSHINDIRECT);
        out_.u32(handle(slot));
        out_.u32(0);
        out_.u32(0x00808080);
        out_.u32(0);
        end(at);
        break;
    }
    case 0x00F7: takeSlot(Slot::Other); break;  // palettes take a slot and draw nothing here
    case 0x06FF: createRegion(); break;
    case 0x012D: {
        const int slot = pu(0);
        const Slot kind = slotKind(slot);
        if (kind == Slot::Pen || kind == Slot::Brush || kind == Slot::Font) {
            if (kind == Slot::Font && static_cast<std::size_t>(slot) < fonts_.size())
                state_.font = fonts_[static_cast<std::size_t>(slot)];
            if (kind == Slot::Pen) state_.pen = handle(slot);
            if (kind == Slot::Brush) state_.brush = handle(slot);
            simple(emr::SELECTOBJECT, {static_cast<std::int32_t>(handle(slot))});
        } else if (kind == Slot::Region) {
            selectClipRegion();  // selecting a region makes it the clipping region
        }
        break;
    }
    case 0x01F0: {
        const int slot = pu(0);
        const Slot kind = slotKind(slot);
        if (kind == Slot::Free) break;
        if (kind != Slot::Other && kind != Slot::Region)
            simple(emr::DELETEOBJECT, {static_cast<std::int32_t>(handle(slot))});
        slots_[static_cast<std::size_t>(slot)] = Slot::Free;
        break;
    }
    case 0x0521: textOut(); break;
    case 0x0A32: extTextOut(); break;
    case 0x0B41: {  // stretched bitmap: rop, source h, w, y, x, destination h, w, y, x, bitmap
        if (params() < 10) break;
        const std::uint32_t rop = pu32(0);
        if (size_ / 2 == (function >> 8) + 3u) {  // no bitmap: the brush only
            if (params() >= 11) patBlt(rop, p(10), p(9), p(8), p(7));
            break;
        }
        stretchDib(rop, p(9), p(8), p(7), p(6), p(5), p(4), p(3), p(2), 0, paramBytes(10));
        break;
    }
    case 0x0940: {  // bitmap: rop, source y, x, destination h, w, y, x, bitmap
        if (params() < 8) break;
        const std::uint32_t rop = pu32(0);
        if (size_ / 2 == (function >> 8) + 3u) {
            if (params() >= 9) patBlt(rop, p(8), p(7), p(6), p(5));
            break;
        }
        stretchDib(rop, p(7), p(6), p(5), p(4), p(3), p(2), p(5), p(4), 0, paramBytes(8));
        break;
    }
    case 0x0F43: {  // stretched bitmap with colour usage: rop, usage, source h, w, y, x, destination h, w, y, x
        if (params() < 11) break;
        stretchDib(pu32(0), p(10), p(9), p(8), p(7), p(6), p(5), p(4), p(3), pu(2), paramBytes(11));
        break;
    }
    case 0x061D:  // pattern fill: rop, h, w, y, x
        if (params() >= 6) patBlt(pu32(0), p(5), p(4), p(3), p(2));
        break;
    default: break;  // escapes, palettes, regions, old bitmaps: nothing the picture needs
    }
}


// As fine as the device (a hundredth of a millimetre), in powers of two up
// to 64, judged by the window the file draws in.  Files that measure in
// physical units keep theirs: those modes fix the size of a logical unit.
void Translator::chooseFineUnits(std::size_t start) {
    std::int32_t extX = state_.windowExtX, extY = state_.windowExtY;
    bool extentSeen = false;
    for (std::size_t at = start + kWmfHeaderSize; in_.has(at, 8);) {
        const std::size_t size = static_cast<std::size_t>(in_.u32(at)) * 2;
        const std::uint16_t function = in_.u16(at + 4);
        if (function == 0x0103 && in_.u16(at + 6) >= 2 && in_.u16(at + 6) <= 6) return;  // fine_ stays 1
        if (function == 0x020C && !extentSeen && size >= 10) {
            extY = in_.i16(at + 6);
            extX = in_.i16(at + 8);
            extentSeen = true;
        }
        if (function == 0 || size < 6) break;
        at += size;
    }
    if (extX == 0 || extY == 0) return;
    const double perUnit = std::min(viewportW_ / std::abs(static_cast<double>(extX)),
                                    viewportH_ / std::abs(static_cast<double>(extY)));
    while (fine_ < 64 && fine_ * 2 <= perUnit) fine_ *= 2;
}

std::string Translator::run() {
    const std::size_t start = in_.u32(0) == kPlaceableKey ? kPlaceableSize : 0;
    // The player's part: the picture's logical box on the frame.
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    if (start != 0) {
        left = in_.i16(6);
        top = in_.i16(8);
        right = in_.i16(10);
        bottom = in_.i16(12);
    }
    if (right == left || bottom == top) {
        // Without a placeable header the window the file sets first is the box.
        for (std::size_t at = start + kWmfHeaderSize; in_.has(at, 10);) {
            const std::size_t size = static_cast<std::size_t>(in_.u32(at)) * 2;
            const std::uint16_t function = in_.u16(at + 4);
            if (function == 0x020B) {
                top = in_.i16(at + 6);
                left = in_.i16(at + 8);
            } else if (function == 0x020C && right == left) {
                bottom = top + in_.i16(at + 6);
                right = left + in_.i16(at + 8);
            }
            if (function == 0 || size < 6) break;
            at += size;
        }
    }
    if (right == left || bottom == top) throw ImagingError("the Windows metafile states no size");
    state_.windowOrgX = left;
    state_.windowOrgY = top;
    state_.windowExtX = right - left;
    state_.windowExtY = bottom - top;

    // The logical box onto the frame; a visible part (a crop) is what fills
    // the frame, and nothing outside it is drawn.
    const double keptW = 1.0 - visible_.left - visible_.right;
    const double keptH = 1.0 - visible_.top - visible_.bottom;
    const double fullW = emf_.width() / keptW, fullH = emf_.height() / keptH;
    viewportW_ = std::lround(fullW);
    viewportH_ = std::lround(fullH);
    chooseFineUnits(start);
    simple(emr::SETMAPMODE, {8});  // anisotropic
    setWindow();
    simple(emr::SETVIEWPORTORGEX, {static_cast<std::int32_t>(std::lround(-visible_.left * fullW)),
                                  static_cast<std::int32_t>(std::lround(-visible_.top * fullH))});
    simple(emr::SETVIEWPORTEXTEX, {static_cast<std::int32_t>(std::lround(fullW)), static_cast<std::int32_t>(std::lround(fullH))});
    // A player starts with the white brush and the black pen; said so for
    // readers that start otherwise.
    simple(emr::SELECTOBJECT, {static_cast<std::int32_t>(kWhiteBrush)});
    simple(emr::SELECTOBJECT, {static_cast<std::int32_t>(kBlackPen)});
    if (visible_.any()) {
        const double x0 = left + visible_.left * (right - left), x1 = right - visible_.right * (right - left);
        const double y0 = top + visible_.top * (bottom - top), y1 = bottom - visible_.bottom * (bottom - top);
        const auto fine = [this](double v) { return static_cast<std::int32_t>(std::lround(v * fine_)); };
        visibleClip_ = {fine(std::min(x0, x1)), fine(std::min(y0, y1)), fine(std::max(x0, x1)), fine(std::max(y0, y1))};
        intersectVisible();
    }

    for (std::size_t at = start + kWmfHeaderSize; in_.has(at, 6);) {
        const std::uint64_t size = static_cast<std::uint64_t>(in_.u32(at)) * 2;
        const std::uint16_t function = in_.u16(at + 4);
        if (function == 0 || size < 6 || size > in_.size() - at) break;
        at_ = at;
        size_ = static_cast<std::size_t>(size);
        translate(function);
        at += size_;
    }

    return emf_.finish(slots_.size());
}

}  // namespace kelvaran::imaging::wmf_translation

namespace kelvaran::imaging {

std::string wmfToEmf(std::string_view bytes, const VisiblePart& visible) {
    const std::string_view wmf = checkedWmf(bytes);
    const PixelSize natural = wmfNaturalSize(wmf);
    const double keptW = 1.0 - visible.left - visible.right;
    const double keptH = 1.0 - visible.top - visible.bottom;
    if (!(keptW > 0.01 && keptW <= 100) || !(keptH > 0.01 && keptH <= 100))
        throw ImagingError("the visible part of the metafile is empty");
    const std::int64_t w = std::max<std::int64_t>(1, std::llround(natural.width * keptW));
    const std::int64_t h = std::max<std::int64_t>(1, std::llround(natural.height * keptH));
    checkPixelBudget(w, h, "the metafile");
    wmf_translation::Translator translator(wmf, EmfBuilder::fromPixels(static_cast<double>(w)), EmfBuilder::fromPixels(static_cast<double>(h)),
                          visible);
    return translator.run();
}

}  // namespace kelvaran::imaging
