// Macintosh PICT pictures (QuickDraw opcode streams, versions 1 and 2)
// rewritten as enhanced metafiles, so that they are drawn, measured and
// stored like every other metafile.
//
// No library on the system reads PICT, so the opcodes are read here.  What
// is drawn: lines, rectangles, rounded rectangles, ovals, arcs and wedges,
// polygons, the bounding boxes of regions, text, and the bitmaps (1-bit
// bitmaps, indexed and direct-colour pixel maps, packed or not).  Patterns
// are drawn as their mean colour; transfer modes other than copy are drawn as
// copy; QuickTime-compressed pictures are left out.

#include "imaging/ByteReader.h"
#include "imaging/EmfBuilder.h"
#include "imaging/FontFaces.h"
#include "imaging/Metafile.h"
#include "imaging/PixelBudget.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace kelvaran::imaging {
namespace {

constexpr std::size_t kFileHeader = 512;

struct Rect {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;
};

struct Colour {
    std::uint8_t r = 0, g = 0, b = 0;
    std::uint32_t ref() const { return r | (g << 8) | (static_cast<std::uint32_t>(b) << 16); }
};

// The old eight colours of QuickDraw, by their numbers.
Colour oldColour(std::uint32_t code) {
    switch (code) {
    case 30: return {255, 255, 255};
    case 69: return {252, 243, 5};
    case 137: return {242, 8, 132};
    case 205: return {221, 8, 6};
    case 273: return {2, 171, 234};
    case 341: return {0, 128, 17};
    case 409: return {0, 0, 212};
    default: return {0, 0, 0};
    }
}

// A pattern's share of set (foreground) bits.
double patternShare(std::string_view pattern) {
    int bits = 0;
    for (unsigned char c : pattern)
        for (int i = 0; i < 8; ++i) bits += (c >> i) & 1;
    return pattern.empty() ? 1.0 : bits / (8.0 * static_cast<double>(pattern.size()));
}

Colour mix(Colour fg, Colour bg, double share) {
    auto blend = [&](std::uint8_t f, std::uint8_t b) {
        return static_cast<std::uint8_t>(std::lround(f * share + b * (1 - share)));
    };
    return {blend(fg.r, bg.r), blend(fg.g, bg.g), blend(fg.b, bg.b)};
}

// Unpacks one row of PackBits data into `out`, at most `want` bytes.
void unpackBits(std::string_view in, std::string& out, std::size_t want) {
    std::size_t i = 0;
    while (i < in.size() && out.size() < want) {
        const int n = static_cast<signed char>(in[i++]);
        if (n >= 0) {
            const std::size_t count = static_cast<std::size_t>(n) + 1;
            out.append(in.substr(i, count));
            i += count;
        } else if (n != -128) {
            if (i >= in.size()) break;
            out.append(static_cast<std::size_t>(1 - n), in[i++]);
        }
    }
    out.resize(want, '\0');
}

// Unpacks one row of 16-bit PackBits data (counts are of words).
void unpackWords(std::string_view in, std::string& out, std::size_t want) {
    std::size_t i = 0;
    while (i < in.size() && out.size() < want) {
        const int n = static_cast<signed char>(in[i++]);
        if (n >= 0) {
            const std::size_t count = (static_cast<std::size_t>(n) + 1) * 2;
            out.append(in.substr(i, count));
            i += count;
        } else if (n != -128) {
            if (i + 2 > in.size()) break;
            for (int k = 0; k < 1 - n; ++k) out.append(in.substr(i, 2));
            i += 2;
        }
    }
    out.resize(want, '\0');
}

class PictReader {
public:
    PictReader(std::string_view pict, std::size_t start) : in_(pict), at_(start) {}

    Rect frame() const { return frame_; }
    bool readHeader();
    // The picture's size in hundredths of a millimetre.
    std::string translate(std::int32_t widthMm100, std::int32_t heightMm100);
    void rangeOpcode(std::uint16_t op);

private:
    std::uint16_t u16() {
        const std::uint16_t v = in_.u16be(at_);
        at_ += 2;
        return v;
    }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::uint8_t u8() { return in_.u8(at_++); }
    std::uint32_t u32() {
        const std::uint32_t v = in_.u32be(at_);
        at_ += 4;
        return v;
    }
    Rect rect() {
        Rect r;
        r.top = i16();
        r.left = i16();
        r.bottom = i16();
        r.right = i16();
        return r;
    }
    void skip(std::size_t n) { at_ += n; }
    bool more() const { return at_ < in_.size(); }

    std::uint16_t opcode() {
        if (version_ == 1) return u8();
        if ((at_ - base_) % 2) ++at_;  // version 2 opcodes stand on even offsets of the picture
        return u16();
    }

    // Drawing helpers.
    void useBrush(std::optional<Colour> fill);
    void usePen(bool visible);
    void shape(std::uint16_t op, const Rect& r);
    void polygon(std::uint16_t verb);
    void arc(std::uint16_t verb, const Rect& r, std::int16_t start, std::int16_t extent);
    void text(std::string_view bytes);
    void bits(std::uint16_t op);
    void line(std::int32_t h0, std::int32_t v0, std::int32_t h1, std::int32_t v1);
    std::optional<Colour> fillFor(std::uint16_t verb) const;
    void selectFont();
    std::string_view take(std::size_t n) {
        if (!in_.has(at_, n)) {
            at_ = in_.size();
            return {};
        }
        const std::string_view v = in_.view().substr(at_, n);
        at_ += n;
        return v;
    }

    ByteReader in_;
    std::size_t at_;
    std::size_t base_ = 0;
    int version_ = 1;
    Rect frame_;
    EmfBuilder* emf_ = nullptr;

    Colour fg_{0, 0, 0}, bg_{255, 255, 255};
    double penShare_ = 1, fillShare_ = 1, bkShare_ = 0;
    std::int32_t penW_ = 1, penH_ = 1;
    std::int32_t penH0_ = 0, penV0_ = 0;  // pen location
    std::int32_t textH_ = 0, textV_ = 0;
    std::int32_t ovalW_ = 0, ovalH_ = 0;
    Rect lastRect_, lastRRect_, lastOval_, lastArc_;
    std::vector<std::int16_t> lastPoly_;
    int fontId_ = 0, fontSize_ = 12, face_ = 0;
    std::string fontName_ = "Times";
    bool fontDirty_ = true;
    // Object slots: 1 pen, 2 brush, 3 font; recreated on change.
    bool hasPen_ = false, hasBrush_ = false, hasFont_ = false;
};

bool PictReader::readHeader() {
    base_ = at_;
    skip(2);  // picture size: unreliable in version 2
    frame_ = rect();
    if (in_.u8(at_) == 0x11 && in_.u8(at_ + 1) == 0x01) {
        version_ = 1;
        at_ += 2;
        return true;
    }
    if (in_.u16be(at_) == 0x0011 && in_.u16be(at_ + 2) == 0x02FF) {
        version_ = 2;
        at_ += 4;
        return true;
    }
    return false;
}

std::optional<Colour> PictReader::fillFor(std::uint16_t verb) const {
    switch (verb) {
    case 1: return mix(fg_, bg_, penShare_);    // paint: the pen's pattern
    case 2: return mix(fg_, bg_, bkShare_);     // erase: the background pattern
    case 4: return mix(fg_, bg_, fillShare_);   // fill: the fill pattern
    default: return std::nullopt;               // frame and invert: no fill
    }
}

void PictReader::useBrush(std::optional<Colour> fill) {
    if (hasBrush_) emf_->simple(emr::DELETEOBJECT, {2});
    const std::size_t at = emf_->begin(emr::CREATEBRUSHINDIRECT);
    emf_->w.u32(2);
    emf_->w.u32(fill ? 0 : 1);  // solid, or hollow
    emf_->w.u32(fill ? fill->ref() : 0);
    emf_->w.u32(0);
    emf_->end(at);
    emf_->simple(emr::SELECTOBJECT, {2});
    hasBrush_ = true;
}

void PictReader::usePen(bool visible) {
    if (hasPen_) emf_->simple(emr::DELETEOBJECT, {1});
    const std::size_t at = emf_->begin(emr::CREATEPEN);
    emf_->w.u32(1);
    emf_->w.u32(visible ? 6 : 5);  // inside frame (QuickDraw draws inside), or none
    emf_->w.i32(std::max(penW_, penH_));
    emf_->w.i32(0);
    emf_->w.u32(mix(fg_, bg_, penShare_).ref());
    emf_->end(at);
    emf_->simple(emr::SELECTOBJECT, {1});
    hasPen_ = true;
}

void PictReader::shape(std::uint16_t op, const Rect& r) {
    const std::uint16_t verb = op & 7;
    if (verb == 3) return;  // invert: not drawn
    const auto fill = fillFor(verb);
    useBrush(fill);
    usePen(verb == 0);
    std::uint32_t type = emr::RECTANGLE;
    if (op >= 0x40 && op < 0x50) type = emr::ROUNDRECT;
    else if (op >= 0x50 && op < 0x60) type = emr::ELLIPSE;
    const std::size_t at = emf_->begin(type);
    emf_->w.rect(r.left, r.top, r.right, r.bottom);
    if (type == emr::ROUNDRECT) {
        emf_->w.i32(ovalW_);
        emf_->w.i32(ovalH_);
    }
    emf_->end(at);
}

void PictReader::arc(std::uint16_t verb, const Rect& r, std::int16_t start, std::int16_t extent) {
    if (verb == 3) return;
    // QuickDraw angles start at twelve o'clock and run clockwise; the
    // enhanced metafile's arcs run counterclockwise from a start radial.
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    const double rx = (r.right - r.left) / 2.0, ry = (r.bottom - r.top) / 2.0;
    auto at = [&](double degrees) {
        const double a = degrees * 3.14159265358979 / 180.0;
        return std::pair<std::int32_t, std::int32_t>{static_cast<std::int32_t>(std::lround(cx + rx * std::sin(a))),
                                                      static_cast<std::int32_t>(std::lround(cy - ry * std::cos(a)))};
    };
    const double from = extent >= 0 ? start + extent : start;
    const double to = extent >= 0 ? start : start + extent;
    const auto p0 = at(from), p1 = at(to);
    const auto fill = fillFor(verb);
    useBrush(fill);
    usePen(verb == 0);
    const std::size_t rec = emf_->begin(verb == 0 ? emr::ARC : emr::PIE);
    emf_->w.rect(r.left, r.top, r.right, r.bottom);
    emf_->w.i32(p0.first);
    emf_->w.i32(p0.second);
    emf_->w.i32(p1.first);
    emf_->w.i32(p1.second);
    emf_->end(rec);
}

void PictReader::polygon(std::uint16_t verb) {
    if (verb == 3 || lastPoly_.size() < 4) return;
    const auto fill = fillFor(verb);
    useBrush(fill);
    usePen(verb == 0);
    const std::size_t count = lastPoly_.size() / 2;
    const std::size_t at = emf_->begin(verb == 0 ? emr::POLYLINE16 : emr::POLYGON16);
    emf_->bounds();
    emf_->w.u32(static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        emf_->w.u16(static_cast<std::uint16_t>(lastPoly_[2 * i + 1]));  // h
        emf_->w.u16(static_cast<std::uint16_t>(lastPoly_[2 * i]));      // v
    }
    emf_->end(at);
}

void PictReader::line(std::int32_t h0, std::int32_t v0, std::int32_t h1, std::int32_t v1) {
    usePen(true);
    emf_->simple(emr::MOVETOEX, {h0, v0});
    emf_->simple(emr::LINETO, {h1, v1});
    penH0_ = h1;
    penV0_ = v1;
}

void PictReader::selectFont() {
    if (!fontDirty_) return;
    if (hasFont_) emf_->simple(emr::DELETEOBJECT, {3});
    std::string name = fontName_;
    if (name.empty()) {
        switch (fontId_) {
        case 0:
        case 1:
        case 3: name = "Geneva"; break;
        case 2: name = "New York"; break;
        case 4: name = "Monaco"; break;
        case 20: name = "Times"; break;
        case 21: name = "Helvetica"; break;
        case 22: name = "Courier"; break;
        case 23: name = "Symbol"; break;
        default: name = "Times"; break;
        }
    }
    const std::size_t at = emf_->begin(emr::EXTCREATEFONTINDIRECTW);
    emf_->w.u32(3);
    emf_->w.i32(-std::max(1, fontSize_));
    emf_->w.i32(0);
    emf_->w.i32(0);
    emf_->w.i32(0);
    emf_->w.i32((face_ & 1) ? 700 : 400);
    emf_->w.u8((face_ & 2) ? 1 : 0);
    emf_->w.u8((face_ & 4) ? 1 : 0);
    emf_->w.u8(0);
    emf_->w.u8(name == "Symbol" ? kSymbolCharset : kAnsiCharset);
    for (int i = 0; i < 4; ++i) emf_->w.u8(0);
    std::u16string units;
    for (unsigned char c : decodeText(name, 77, {})) units.push_back(c);  // font names are plain ASCII
    units.resize(31);
    for (char16_t c : units) emf_->w.u16(c);
    emf_->w.u16(0);
    emf_->end(at);
    emf_->simple(emr::SELECTOBJECT, {3});
    hasFont_ = true;
    fontDirty_ = false;
}

void PictReader::text(std::string_view bytes) {
    if (bytes.empty()) return;
    selectFont();
    std::u16string units;
    if (fontName_ == "Symbol" || (fontName_.empty() && fontId_ == 23)) {
        for (unsigned char c : bytes) units.push_back(static_cast<char16_t>(0xF000 + c));
    } else {
        const std::string utf8 = decodeText(bytes, 77, {});  // Mac Roman
        for (std::size_t k = 0; k < utf8.size();) {
            const unsigned char c = static_cast<unsigned char>(utf8[k]);
            char32_t cp = c;
            std::size_t n = 1;
            if (c >= 0xE0 && k + 2 < utf8.size()) {
                cp = ((c & 0x0Fu) << 12) | ((utf8[k + 1] & 0x3Fu) << 6) | (utf8[k + 2] & 0x3Fu);
                n = 3;
            } else if (c >= 0xC0 && k + 1 < utf8.size()) {
                cp = ((c & 0x1Fu) << 6) | (utf8[k + 1] & 0x3Fu);
                n = 2;
            }
            k += n;
            if (cp == '\r' || cp == '\n') continue;
            units.push_back(static_cast<char16_t>(cp));
        }
    }
    if (units.empty()) return;
    emf_->simple(emr::SETTEXTCOLOR, {static_cast<std::int32_t>(fg_.ref())});
    const std::uint32_t chars = static_cast<std::uint32_t>(units.size());
    const std::size_t at = emf_->begin(emr::EXTTEXTOUTW);
    emf_->bounds();
    emf_->w.u32(1);
    emf_->w.f32(0);
    emf_->w.f32(0);
    emf_->w.i32(textH_);
    emf_->w.i32(textV_);
    emf_->w.u32(chars);
    emf_->w.u32(76);
    emf_->w.u32(0);
    emf_->w.rect(0, 0, -1, -1);
    emf_->w.u32(0);
    for (char16_t c : units) emf_->w.u16(c);
    emf_->end(at);
}

// The bitmap opcodes: a bitmap or pixel map, its colours, source and
// destination rectangles, a transfer mode, a mask region for the Rgn forms,
// then the rows.
void PictReader::bits(std::uint16_t op) {
    const bool direct = op == 0x9A || op == 0x9B;
    const bool packed = op != 0x90 && op != 0x91;
    const bool withRegion = op & 1;
    if (direct) skip(4);  // base address
    const std::uint16_t rowField = u16();
    const bool pixMap = direct || (rowField & 0x8000) != 0;
    const std::size_t rowBytes = rowField & 0x3FFF;
    const Rect bounds = rect();
    int pixelSize = 1, packType = 0, cmpCount = 1;
    std::vector<Colour> palette;
    if (pixMap) {
        skip(2);  // version
        packType = u16();
        skip(4 + 4 + 4 + 2);  // pack size, resolutions, pixel type
        pixelSize = u16();
        cmpCount = u16();
        skip(2 + 4 + 4 + 4);  // component size, plane bytes, table, reserved
        if (!direct) {
            skip(4);  // seed
            const std::uint16_t flags = u16();
            const int entries = static_cast<int>(static_cast<std::int16_t>(u16())) + 1;
            if (entries < 0 || entries > 256) throw ImagingError("the PICT colour table is damaged");
            palette.assign(256, Colour{0, 0, 0});
            for (int i = 0; i < entries; ++i) {
                const std::uint16_t value = u16();
                const Colour c{static_cast<std::uint8_t>(u16() >> 8), static_cast<std::uint8_t>(u16() >> 8),
                               static_cast<std::uint8_t>(u16() >> 8)};
                const std::size_t index = (flags & 0x8000) ? static_cast<std::size_t>(i) : value;
                if (index < palette.size()) palette[index] = c;
            }
        }
    } else {
        palette = {bg_, fg_};  // a 1-bit bitmap: set bits in the foreground colour
    }
    const Rect src = rect();
    const Rect dst = rect();
    skip(2);  // transfer mode
    if (withRegion) skip(std::max<std::size_t>(2, u16()) - 2 + 0);
    const std::int64_t width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    checkPixelBudget(width, height, "the PICT bitmap");
    if (pixelSize != 1 && pixelSize != 2 && pixelSize != 4 && pixelSize != 8 && pixelSize != 16 && pixelSize != 32)
        throw ImagingError("the PICT bitmap has an unsupported depth");

    // Rows, unpacked, then turned into a 24-bit bottom-up DIB.
    const std::size_t unpackedRow =
        pixelSize == 32 && packType == 2 ? static_cast<std::size_t>(width) * 3
        : pixelSize == 32 && packType != 1 && packType != 2 && rowBytes >= 8 ? static_cast<std::size_t>(width) * cmpCount
                                                                              : rowBytes;
    if (unpackedRow == 0) throw ImagingError("the PICT bitmap has no rows");
    std::vector<std::string> rows;
    rows.reserve(static_cast<std::size_t>(height));
    for (std::int64_t y = 0; y < height && more(); ++y) {
        std::string row;
        if (!packed || rowBytes < 8 || packType == 1 || (pixelSize == 32 && packType == 2)) {
            row = std::string(take(unpackedRow));
            row.resize(unpackedRow, '\0');
        } else {
            const std::size_t count = rowBytes > 250 ? u16() : u8();
            const std::string_view data = take(count);
            if (pixelSize == 16) unpackWords(data, row, unpackedRow);
            else unpackBits(data, row, unpackedRow);
        }
        rows.push_back(std::move(row));
    }
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::string dib;
    ByteWriter info;
    info.u32(40);
    info.i32(static_cast<std::int32_t>(width));
    info.i32(static_cast<std::int32_t>(height));
    info.u16(1);
    info.u16(24);
    info.u32(0);
    info.u32(static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height)));
    info.i32(2835);
    info.i32(2835);
    info.u32(0);
    info.u32(0);
    dib.reserve(stride * static_cast<std::size_t>(height));
    for (std::int64_t y = height - 1; y >= 0; --y) {
        const std::string empty;
        const std::string& row = static_cast<std::size_t>(y) < rows.size() ? rows[static_cast<std::size_t>(y)] : empty;
        auto byteAt = [&](std::size_t i) { return i < row.size() ? static_cast<std::uint8_t>(row[i]) : std::uint8_t{0}; };
        std::size_t written = 0;
        for (std::int64_t x = 0; x < width; ++x) {
            Colour c;
            const std::size_t ux = static_cast<std::size_t>(x);
            if (pixelSize <= 8) {
                const std::size_t bit = ux * static_cast<std::size_t>(pixelSize);
                const int shift = 8 - pixelSize - static_cast<int>(bit % 8);
                const std::size_t index = (byteAt(bit / 8) >> shift) & ((1u << pixelSize) - 1);
                c = index < palette.size() ? palette[index] : Colour{};
            } else if (pixelSize == 16) {
                const std::uint16_t v = static_cast<std::uint16_t>((byteAt(ux * 2) << 8) | byteAt(ux * 2 + 1));
                auto wide = [](unsigned five) { return static_cast<std::uint8_t>((five << 3) | (five >> 2)); };
                c = {wide((v >> 10) & 31), wide((v >> 5) & 31), wide(v & 31)};
            } else if (packType == 2) {
                c = {byteAt(ux * 3), byteAt(ux * 3 + 1), byteAt(ux * 3 + 2)};
            } else if (packType == 1 || rowBytes < 8 || !packed) {
                c = {byteAt(ux * 4 + 1), byteAt(ux * 4 + 2), byteAt(ux * 4 + 3)};  // x, r, g, b
            } else {
                // Planar: each component's row in turn (alpha first when there are four).
                const std::size_t w = static_cast<std::size_t>(width);
                const std::size_t skipAlpha = cmpCount >= 4 ? w : 0;
                c = {byteAt(skipAlpha + ux), byteAt(skipAlpha + w + ux), byteAt(skipAlpha + 2 * w + ux)};
            }
            dib.push_back(static_cast<char>(c.b));
            dib.push_back(static_cast<char>(c.g));
            dib.push_back(static_cast<char>(c.r));
            written += 3;
        }
        dib.append(stride - written, '\0');
    }
    // The source rectangle is in the bounds' coordinates.
    const std::int32_t sx = src.left - bounds.left, sy = src.top - bounds.top;
    const std::int32_t sw = src.right - src.left, sh = src.bottom - src.top;
    const std::size_t at = emf_->begin(emr::STRETCHDIBITS);
    emf_->bounds();
    emf_->w.i32(dst.left);
    emf_->w.i32(dst.top);
    emf_->w.i32(sx);
    emf_->w.i32(static_cast<std::int32_t>(height) - sy - sh);  // rows count from the bottom
    emf_->w.i32(sw);
    emf_->w.i32(sh);
    emf_->w.u32(80);
    emf_->w.u32(40);
    emf_->w.u32(120);
    emf_->w.u32(static_cast<std::uint32_t>(dib.size()));
    emf_->w.u32(0);
    emf_->w.u32(0x00CC0020);
    emf_->w.i32(dst.right - dst.left);
    emf_->w.i32(dst.bottom - dst.top);
    emf_->w.raw(info.text());
    emf_->w.raw(dib);
    emf_->end(at);
}

// Opcodes read by their range: the shapes with their verbs (frame, paint,
// erase, invert, fill), and the reserved ranges skipped by their size rules.
void PictReader::rangeOpcode(std::uint16_t op) {
    const std::uint16_t verb = op & 7;
    if (op >= 0x30 && op <= 0x34) { lastRect_ = rect(); shape(op, lastRect_); return; }
    if (op >= 0x38 && op <= 0x3C) { shape(0x30 | verb, lastRect_); return; }
    if (op >= 0x40 && op <= 0x44) { lastRRect_ = rect(); shape(op, lastRRect_); return; }
    if (op >= 0x48 && op <= 0x4C) { shape(0x40 | verb, lastRRect_); return; }
    if (op >= 0x50 && op <= 0x54) { lastOval_ = rect(); shape(op, lastOval_); return; }
    if (op >= 0x58 && op <= 0x5C) { shape(0x50 | verb, lastOval_); return; }
    if (op >= 0x60 && op <= 0x64) {
        lastArc_ = rect();
        const std::int16_t start = i16(), extent = i16();
        arc(verb, lastArc_, start, extent);
        return;
    }
    if (op >= 0x68 && op <= 0x6C) {
        const std::int16_t start = i16(), extent = i16();
        arc(verb, lastArc_, start, extent);
        return;
    }
    if (op >= 0x70 && op <= 0x74) {
        const std::size_t size = u16();
        skip(8);
        lastPoly_.clear();
        for (std::size_t i = 10; i + 4 <= size && more(); i += 4) {
            lastPoly_.push_back(i16());
            lastPoly_.push_back(i16());
        }
        polygon(verb);
        return;
    }
    if (op >= 0x78 && op <= 0x7C) { polygon(verb); return; }
    if (op >= 0x80 && op <= 0x84) {  // regions: their bounding box
        const std::size_t size = u16();
        const Rect r = rect();
        if (size > 10) skip(size - 10);
        shape(0x30 | verb, r);
        return;
    }
    if (op >= 0x88 && op <= 0x8C) return;
    // Opcodes with nothing to draw, by the size rules of their ranges.
    if ((op >= 0x35 && op <= 0x37) || (op >= 0x45 && op <= 0x47) || (op >= 0x55 && op <= 0x57)) { skip(8); return; }
    if (op >= 0x65 && op <= 0x67) { skip(12); return; }
    if (op >= 0x6D && op <= 0x6F) { skip(4); return; }
    if ((op >= 0x3D && op <= 0x3F) || (op >= 0x4D && op <= 0x4F) || (op >= 0x5D && op <= 0x5F) ||
        (op >= 0x7D && op <= 0x7F) || (op >= 0x8D && op <= 0x8F) || (op >= 0xB0 && op <= 0xCF) ||
        (op >= 0x8000 && op <= 0x80FF))
        return;
    if ((op >= 0x75 && op <= 0x77) || (op >= 0x85 && op <= 0x87)) { skip(std::max<std::size_t>(2, u16()) - 2); return; }
    if ((op >= 0x24 && op <= 0x27) || op == 0x2F || (op >= 0x92 && op <= 0x97) || (op >= 0x9C && op <= 0x9F) ||
        (op >= 0xA2 && op <= 0xAF)) {
        skip(u16());
        return;
    }
    if ((op >= 0xD0 && op <= 0xFE) || op >= 0x8100) { skip(u32()); return; }
    if (op >= 0x0100 && op <= 0x7FFF) { skip(static_cast<std::size_t>(op >> 8) * 2); return; }
    throw ImagingError("the PICT picture has an opcode that cannot be read");
}

std::string PictReader::translate(std::int32_t widthMm100, std::int32_t heightMm100) {
    EmfBuilder emf(widthMm100, heightMm100);
    emf_ = &emf;
    emf.simple(emr::SETMAPMODE, {8});
    emf.simple(emr::SETWINDOWORGEX, {frame_.left, frame_.top});
    emf.simple(emr::SETWINDOWEXTEX, {frame_.right - frame_.left, frame_.bottom - frame_.top});
    emf.simple(emr::SETVIEWPORTORGEX, {0, 0});
    emf.simple(emr::SETVIEWPORTEXTEX, {emf.width(), emf.height()});
    emf.simple(emr::SETBKMODE, {1});         // text without a background box
    emf.simple(emr::SETTEXTALIGN, {24});     // QuickDraw places text on its baseline
    emf.simple(emr::SETPOLYFILLMODE, {1});

    int guard = 0;
    bool ended = false;
    while (more() && ++guard < 2'000'000) {
        const std::uint16_t op = opcode();
        if (op == 0x00FF) {
            ended = true;
            break;
        }
        if (op == 0x0000 || op == 0x001C || op == 0x001E || (op >= 0x0017 && op <= 0x0019)) continue;
        switch (op) {
        case 0x0001: {  // clip region: its bounding box
            const std::size_t size = u16();
            const Rect r = rect();
            if (size > 10) skip(size - 10);
            const std::size_t at = emf.begin(emr::EXTSELECTCLIPRGN);
            emf.w.u32(0);
            emf.w.u32(5);
            emf.end(at);
            emf.simple(emr::INTERSECTCLIPRECT, {r.left, r.top, r.right, r.bottom});
            continue;
        }
        case 0x0002: bkShare_ = patternShare(take(8)); continue;
        case 0x0003: fontId_ = i16(); fontName_.clear(); fontDirty_ = true; continue;
        case 0x0004: face_ = u8(); if (version_ == 2) skip(1); fontDirty_ = true; continue;
        case 0x0005: skip(2); continue;
        case 0x0006: skip(4); continue;
        case 0x0007: penH_ = i16(); penW_ = i16(); continue;
        case 0x0008: skip(2); continue;
        case 0x0009: penShare_ = patternShare(take(8)); continue;
        case 0x000A: fillShare_ = patternShare(take(8)); continue;
        case 0x000B: ovalH_ = i16(); ovalW_ = i16(); continue;
        case 0x000C: skip(4); continue;  // origin: rare in pictures; not followed
        case 0x000D: fontSize_ = i16(); fontDirty_ = true; continue;
        case 0x000E: fg_ = oldColour(u32()); continue;
        case 0x000F: bg_ = oldColour(u32()); continue;
        case 0x0010: skip(8); continue;
        case 0x0011: skip(version_ == 1 ? 1 : 2); continue;
        case 0x0012:
        case 0x0013:
        case 0x0014: {  // pixel patterns: the colour of their fallback pattern
            const std::uint16_t kind = u16();
            const double share = patternShare(take(8));
            if (op == 0x0013) penShare_ = share;
            else if (op == 0x0014) fillShare_ = share;
            else bkShare_ = share;
            if (kind == 2) {  // dither: an RGB colour
                const Colour c{static_cast<std::uint8_t>(u16() >> 8), static_cast<std::uint8_t>(u16() >> 8),
                               static_cast<std::uint8_t>(u16() >> 8)};
                if (op == 0x0013 || op == 0x0014) {
                    fg_ = c;
                    if (op == 0x0013) penShare_ = 1;
                    else fillShare_ = 1;
                }
                continue;
            }
            throw ImagingError("the PICT picture uses a pixel pattern that is not read");
        }
        case 0x0015: case 0x0016: skip(2); continue;
        case 0x001A: fg_ = {static_cast<std::uint8_t>(u16() >> 8), static_cast<std::uint8_t>(u16() >> 8), static_cast<std::uint8_t>(u16() >> 8)}; continue;
        case 0x001B: bg_ = {static_cast<std::uint8_t>(u16() >> 8), static_cast<std::uint8_t>(u16() >> 8), static_cast<std::uint8_t>(u16() >> 8)}; continue;
        case 0x001D: case 0x001F: skip(6); continue;
        case 0x0020: {
            const std::int32_t v0 = i16(), h0 = i16(), v1 = i16(), h1 = i16();
            line(h0, v0, h1, v1);
            continue;
        }
        case 0x0021: {
            const std::int32_t v1 = i16(), h1 = i16();
            line(penH0_, penV0_, h1, v1);
            continue;
        }
        case 0x0022: {
            const std::int32_t v0 = i16(), h0 = i16();
            const std::int32_t dh = static_cast<std::int8_t>(u8()), dv = static_cast<std::int8_t>(u8());
            line(h0, v0, h0 + dh, v0 + dv);
            continue;
        }
        case 0x0023: {
            const std::int32_t dh = static_cast<std::int8_t>(u8()), dv = static_cast<std::int8_t>(u8());
            line(penH0_, penV0_, penH0_ + dh, penV0_ + dv);
            continue;
        }
        case 0x0028: {
            textV_ = i16();
            textH_ = i16();
            text(take(u8()));
            continue;
        }
        case 0x0029: textH_ += u8(); text(take(u8())); continue;
        case 0x002A: textV_ += u8(); text(take(u8())); continue;
        case 0x002B: {
            textH_ += u8();
            textV_ += u8();
            text(take(u8()));
            continue;
        }
        case 0x002C: {  // font name: data length, font number, name
            const std::size_t size = u16();
            const std::size_t end = at_ + size;
            fontId_ = i16();
            const std::size_t length = u8();
            fontName_ = std::string(take(std::min(length, size >= 3 ? size - 3 : 0)));
            at_ = end;
            fontDirty_ = true;
            continue;
        }
        case 0x002D: case 0x002E: skip(u16()); continue;
        case 0x0090: case 0x0091: case 0x0098: case 0x0099: case 0x009A: case 0x009B: bits(op); continue;
        case 0x00A0: skip(2); continue;
        case 0x00A1: skip(2); skip(u16()); continue;
        case 0x0C00: skip(24); continue;
        default: break;
        }
        rangeOpcode(op);
    }
    if (!ended || at_ > in_.size()) throw ImagingError("the PICT picture is cut short (no end opcode)");
    return emf.finish(3);
}

// Where the picture's opcodes start: with or without the 512-byte file header.
std::size_t pictStart(std::string_view bytes) {
    for (std::size_t start : {std::size_t{0}, kFileHeader}) {
        PictReader probe(bytes, start);
        if (ByteReader(bytes).has(start, 12) && probe.readHeader()) return start;
    }
    throw ImagingError("not a PICT picture");
}

}  // namespace

PixelSize pictNaturalSize(std::string_view bytes) {
    PictReader reader(bytes, pictStart(bytes));
    reader.readHeader();
    const Rect frame = reader.frame();
    const double w = frame.right - frame.left, h = frame.bottom - frame.top;
    if (!(w > 0 && h > 0)) throw ImagingError("the PICT picture states no size");
    const std::int64_t pw = std::max<std::int64_t>(1, std::llround(w * 96.0 / 72.0));
    const std::int64_t ph = std::max<std::int64_t>(1, std::llround(h * 96.0 / 72.0));
    checkPixelBudget(pw, ph, "the PICT picture");
    return {static_cast<int>(pw), static_cast<int>(ph)};
}

std::string pictToEmf(std::string_view bytes) {
    const PixelSize size = pictNaturalSize(bytes);
    PictReader reader(bytes, pictStart(bytes));
    reader.readHeader();
    return reader.translate(EmfBuilder::fromPixels(size.width), EmfBuilder::fromPixels(size.height));
}

}  // namespace kelvaran::imaging
