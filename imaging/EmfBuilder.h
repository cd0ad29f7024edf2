#pragma once

// Writes an enhanced metafile record by record: the header for a picture of
// a given size on a 96-dpi reference device, records whose sizes are filled
// in when they end, and the end record.  For the metafiles translated here
// from other formats.

#include "imaging/ByteWriter.h"
#include "imaging/Imaging.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

namespace kelvaran::imaging {

namespace emr {
enum : std::uint32_t {
    HEADER = 1,
    SETWINDOWEXTEX = 9,
    SETWINDOWORGEX = 10,
    SETVIEWPORTEXTEX = 11,
    SETVIEWPORTORGEX = 12,
    EOF_ = 14,
    SETMAPMODE = 17,
    SETBKMODE = 18,
    SETPOLYFILLMODE = 19,
    SETROP2 = 20,
    SETSTRETCHBLTMODE = 21,
    SETTEXTALIGN = 22,
    SETTEXTCOLOR = 24,
    SETBKCOLOR = 25,
    OFFSETCLIPRGN = 26,
    MOVETOEX = 27,
    EXCLUDECLIPRECT = 29,
    INTERSECTCLIPRECT = 30,
    SAVEDC = 33,
    RESTOREDC = 34,
    SELECTOBJECT = 37,
    CREATEPEN = 38,
    CREATEBRUSHINDIRECT = 39,
    DELETEOBJECT = 40,
    POLYGON = 3,
    POLYLINE = 4,
    POLYPOLYGON = 8,
    ELLIPSE = 42,
    RECTANGLE = 43,
    ROUNDRECT = 44,
    ARC = 45,
    CHORD = 46,
    PIE = 47,
    LINETO = 54,
    FRAMERGN = 72,
    INVERTRGN = 73,
    BEGINPATH = 59,
    ENDPATH = 60,
    SELECTCLIPPATH = 67,
    EXTSELECTCLIPRGN = 75,
    BITBLT = 76,
    STRETCHDIBITS = 81,
    EXTCREATEFONTINDIRECTW = 82,
    EXTTEXTOUTW = 84,
    POLYGON16 = 86,
    POLYLINE16 = 87,
    POLYPOLYGON16 = 91,
};
}  // namespace emr

class EmfBuilder {
public:
    // A picture of widthMm100 x heightMm100 hundredths of a millimetre.
    // The reference device counts in those hundredths (100 pixels per
    // millimetre, about 2540 per inch): readers that draw in device pixels
    // keep small shapes round and thin lines thin, and readers that place
    // everything on a grid of hundredths of a millimetre (as the office
    // suites do with Windows metafiles) put each point where the source's
    // own reading puts it.  width() and height() are the picture's size in
    // device pixels, which the drawing's viewport has to fill.  The frame
    // covers exactly those pixels: its right and bottom edges are the last
    // hundredth inside the picture.
    EmfBuilder(std::int32_t widthMm100, std::int32_t heightMm100)
        : destW_(std::max<std::int32_t>(1, widthMm100)), destH_(std::max<std::int32_t>(1, heightMm100)) {
        w.u32(emr::HEADER);
        w.u32(108);
        bounds();
        w.rect(0, 0, destW_ - 1, destH_ - 1);
        w.u32(0x464D4520);
        w.u32(0x00010000);
        w.u32(0);  // bytes, records and handles: filled in by finish()
        w.u32(0);
        w.u16(0);
        w.u16(0);
        w.u32(0);  // no description
        w.u32(0);
        w.u32(0);  // no palette
        w.i32(kDevicePixels);
        w.i32(kDevicePixels);
        w.i32(kDeviceMillimetres);
        w.i32(kDeviceMillimetres);
        w.u32(0);
        w.u32(0);
        w.u32(0);
        w.i32(kDeviceMillimetres * 1000);
        w.i32(kDeviceMillimetres * 1000);
        records_ = 1;
    }

    static constexpr std::int32_t kDevicePixels = 25400, kDeviceMillimetres = 254;
    // Hundredths of a millimetre (device pixels) for a length in 96-dpi pixels.
    static std::int32_t fromPixels(double px) {
        return std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(px * 2540.0 / 96.0)));
    }

    std::size_t begin(std::uint32_t type) {
        const std::size_t at = w.size();
        w.u32(type);
        w.u32(0);
        return at;
    }
    void end(std::size_t at) {
        w.pad4();
        w.patch32(at + 4, static_cast<std::uint32_t>(w.size() - at));
        ++records_;
    }
    // The bounds field of drawing records: the whole picture.
    void bounds() { w.rect(0, 0, destW_ - 1, destH_ - 1); }
    void simple(std::uint32_t type, std::initializer_list<std::int32_t> values) {
        const std::size_t at = begin(type);
        for (std::int32_t v : values) w.i32(v);
        end(at);
    }
    std::int32_t width() const { return destW_; }
    std::int32_t height() const { return destH_; }

    // Adds the end record and fills in the header; `handles` counts the
    // object slots used, the reserved one not included.
    std::string finish(std::size_t handles) {
        const std::size_t eof = begin(emr::EOF_);
        w.u32(0);
        w.u32(16);
        w.u32(20);
        end(eof);
        std::string& bytes = w.text();
        if (bytes.size() > 0xFFFFFFF0u) throw ImagingError("the metafile is too large");
        w.patch32(48, static_cast<std::uint32_t>(bytes.size()));
        w.patch32(52, records_);
        const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::size_t>(handles + 1, 0xFFFF));
        bytes[56] = static_cast<char>(count & 0xFF);
        bytes[57] = static_cast<char>((count >> 8) & 0xFF);
        return std::move(bytes);
    }

    ByteWriter w;

private:
    std::int32_t destW_, destH_;
    std::uint32_t records_ = 0;
};

}  // namespace kelvaran::imaging
