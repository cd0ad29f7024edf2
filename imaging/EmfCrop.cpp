// Enhanced metafiles cut to their visible part, as drawings.
//
// The header's frame (what readers fit into the picture's box) becomes the
// visible part of the old one, and a clip rectangle keeps what lies outside
// from being drawn.  The metafile's own records may widen the clip again
// (selecting a new clipping region or path replaces it); after each such
// record the visible part is intersected anew, in the logical units then in
// force, which every reader applies the same way.  EMF+ records, which
// readers that know them draw instead of the plain ones, would escape the
// clip: a dual file keeps its plain records only; a file of EMF+ records
// alone cannot be cut here.

#include "imaging/ByteReader.h"
#include "imaging/ByteWriter.h"
#include "imaging/Metafile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace kelvaran::imaging {
namespace {

constexpr std::uint32_t kHeader = 1, kEof = 14, kSetWindowExt = 9, kSetWindowOrg = 10, kSetViewportExt = 11,
                        kSetViewportOrg = 12, kSetMapMode = 17, kScaleViewportExt = 31, kScaleWindowExt = 32,
                        kSaveDc = 33, kRestoreDc = 34, kSetWorldTransform = 35, kModifyWorldTransform = 36,
                        kIntersectClipRect = 30, kSelectClipPath = 67, kComment = 70, kExtSelectClipRgn = 75;
constexpr std::uint32_t kEmfPlus = 0x2B464D45, kRgnAnd = 1, kRgnDiff = 4;

// The state that maps logical units onto the reference device.
struct Mapping {
    std::uint32_t mode = 1;  // MM_TEXT
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    double viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
    std::array<double, 6> world{1, 0, 0, 1, 0, 0};  // eM11 eM12 eM21 eM22 eDx eDy
};

class Cropper {
public:
    Cropper(std::string_view emf, const VisiblePart& visible) : emf_(emf), in_(emf), visible_(visible) {}
    std::string run();

private:
    // Device units per logical unit of the page (before the world transform).
    void pageScale(double& sx, double& sy) const;
    // The visible part, in device units, as a rectangle in logical units.
    std::array<std::int32_t, 4> visibleInLogicalUnits() const;
    void follow(std::uint32_t type, std::size_t at, std::uint32_t size);
    void intersectVisible();

    std::string_view emf_;
    ByteReader in_;
    VisiblePart visible_;
    ByteWriter out_;
    std::uint32_t records_ = 0;
    double pxPerMm_ = 1;
    double deviceX0_ = 0, deviceY0_ = 0, deviceX1_ = 0, deviceY1_ = 0;  // the visible part on the device
    Mapping now_;
    std::vector<Mapping> saved_;
};

void Cropper::pageScale(double& sx, double& sy) const {
    switch (now_.mode) {
    case 2: sx = sy = pxPerMm_ * 0.1; sy = -sy; return;               // MM_LOMETRIC: y grows upwards
    case 3: sx = pxPerMm_ * 0.01; sy = -sx; return;                   // MM_HIMETRIC
    case 4: sx = pxPerMm_ * 0.254; sy = -sx; return;                  // MM_LOENGLISH
    case 5: sx = pxPerMm_ * 0.0254; sy = -sx; return;                 // MM_HIENGLISH
    case 6: sx = pxPerMm_ * 25.4 / 1440.0; sy = -sx; return;          // MM_TWIPS
    case 7:
    case 8:
        sx = now_.windowExtX != 0 ? now_.viewportExtX / now_.windowExtX : 1;
        sy = now_.windowExtY != 0 ? now_.viewportExtY / now_.windowExtY : 1;
        if (now_.mode == 7) {  // isotropic: the smaller scale both ways, signs kept
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
        return;
    default: sx = sy = 1; return;
    }
}

std::array<std::int32_t, 4> Cropper::visibleInLogicalUnits() const {
    double sx = 1, sy = 1;
    pageScale(sx, sy);
    if (sx == 0) sx = 1;
    if (sy == 0) sy = 1;
    const auto& m = now_.world;
    const double det = m[0] * m[3] - m[1] * m[2];
    double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
    for (const auto& [dx, dy] : {std::pair{deviceX0_, deviceY0_}, std::pair{deviceX1_, deviceY0_},
                                 std::pair{deviceX0_, deviceY1_}, std::pair{deviceX1_, deviceY1_}}) {
        // Device to page, then page to world.
        const double px = (dx - now_.viewportOrgX) / sx + now_.windowOrgX;
        const double py = (dy - now_.viewportOrgY) / sy + now_.windowOrgY;
        double wx = px, wy = py;
        if (std::abs(det) > 1e-12) {
            const double tx = px - m[4], ty = py - m[5];
            wx = (tx * m[3] - ty * m[2]) / det;
            wy = (ty * m[0] - tx * m[1]) / det;
        }
        minX = std::min(minX, wx);
        maxX = std::max(maxX, wx);
        minY = std::min(minY, wy);
        maxY = std::max(maxY, wy);
    }
    const auto clamp = [](double v) { return static_cast<std::int32_t>(std::clamp(v, -2.0e9, 2.0e9)); };
    // Outward to whole units: the clip never cuts into the visible part.
    return {clamp(std::floor(minX)), clamp(std::floor(minY)), clamp(std::ceil(maxX)), clamp(std::ceil(maxY))};
}

void Cropper::intersectVisible() {
    const auto r = visibleInLogicalUnits();
    out_.u32(kIntersectClipRect);
    out_.u32(24);
    out_.rect(r[0], r[1], r[2], r[3]);
    ++records_;
}

void Cropper::follow(std::uint32_t type, std::size_t at, std::uint32_t size) {
    const auto f32 = [&](std::size_t offset) {
        const std::uint32_t bits = in_.u32(offset);
        float v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return std::isfinite(v) ? static_cast<double>(v) : 0.0;
    };
    switch (type) {
    case kSetMapMode: now_.mode = in_.u32(at + 8); break;
    case kSetWindowExt: now_.windowExtX = in_.i32(at + 8), now_.windowExtY = in_.i32(at + 12); break;
    case kSetWindowOrg: now_.windowOrgX = in_.i32(at + 8), now_.windowOrgY = in_.i32(at + 12); break;
    case kSetViewportExt: now_.viewportExtX = in_.i32(at + 8), now_.viewportExtY = in_.i32(at + 12); break;
    case kSetViewportOrg: now_.viewportOrgX = in_.i32(at + 8), now_.viewportOrgY = in_.i32(at + 12); break;
    case kScaleViewportExt:
    case kScaleWindowExt: {
        const double xn = in_.i32(at + 8), xd = in_.i32(at + 12), yn = in_.i32(at + 16), yd = in_.i32(at + 20);
        if (xd == 0 || yd == 0) break;
        double& ex = type == kScaleWindowExt ? now_.windowExtX : now_.viewportExtX;
        double& ey = type == kScaleWindowExt ? now_.windowExtY : now_.viewportExtY;
        ex = ex * xn / xd;
        ey = ey * yn / yd;
        break;
    }
    case kSaveDc: saved_.push_back(now_); break;
    case kRestoreDc: {
        const std::int32_t which = in_.i32(at + 8);
        if (which < 0 && static_cast<std::size_t>(-static_cast<std::int64_t>(which)) <= saved_.size()) {
            saved_.resize(saved_.size() - static_cast<std::size_t>(-static_cast<std::int64_t>(which)) + 1);
            now_ = saved_.back();
            saved_.pop_back();
        }
        break;
    }
    case kSetWorldTransform:
        if (size >= 32)
            for (std::size_t i = 0; i < 6; ++i) now_.world[i] = f32(at + 8 + 4 * i);
        break;
    case kModifyWorldTransform: {
        if (size < 36) break;
        std::array<double, 6> x{};
        for (std::size_t i = 0; i < 6; ++i) x[i] = f32(at + 8 + 4 * i);
        const std::uint32_t mode = in_.u32(at + 32);
        const auto times = [](const std::array<double, 6>& a, const std::array<double, 6>& b) {
            // a then b, as GDI composes them (row vectors).
            return std::array<double, 6>{a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3],
                                         a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3],
                                         a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]};
        };
        if (mode == 1) now_.world = {1, 0, 0, 1, 0, 0};
        else if (mode == 2) now_.world = times(x, now_.world);
        else if (mode == 3) now_.world = times(now_.world, x);
        else if (mode == 4) now_.world = x;
        break;
    }
    default: break;
    }
}

std::string Cropper::run() {
    const std::string_view emf = checkedEmf(emf_);
    const double keptW = 1.0 - visible_.left - visible_.right;
    const double keptH = 1.0 - visible_.top - visible_.bottom;
    if (!(keptW > 0.01 && keptW <= 100) || !(keptH > 0.01 && keptH <= 100))
        throw ImagingError("the visible part of the metafile is empty");

    // Dual files keep their plain records; EMF+ alone cannot be clipped here.
    bool plusOnly = false;
    for (std::size_t at = 0; in_.has(at, 8);) {
        const std::uint32_t type = in_.u32(at), size = in_.u32(at + 4);
        if (type == kComment && size >= 28 && in_.u32(at + 12) == kEmfPlus && in_.u16(at + 16) == 0x4001)
            plusOnly = (in_.u16(at + 18) & 1) == 0;  // the EMF+ header's flags: not dual
        if (type == kEof || size < 8) break;
        at += size;
    }
    if (plusOnly) throw ImagingError("an enhanced metafile of EMF+ records only cannot be cut as a drawing");

    const double frameL = in_.i32(24), frameT = in_.i32(28), frameR = in_.i32(32), frameB = in_.i32(36);
    const double deviceW = in_.i32(72), deviceH = in_.i32(76), mmW = in_.i32(80), mmH = in_.i32(84);
    if (!(frameR > frameL && frameB > frameT) || deviceW <= 0 || deviceH <= 0 || mmW <= 0 || mmH <= 0)
        throw ImagingError("the enhanced metafile states no frame to cut");
    pxPerMm_ = deviceW / mmW;
    const double pxPerMmY = deviceH / mmH;
    const double fw = frameR - frameL, fh = frameB - frameT;
    const double newL = frameL + visible_.left * fw, newR = frameR - visible_.right * fw;
    const double newT = frameT + visible_.top * fh, newB = frameB - visible_.bottom * fh;
    // The visible part on the reference device (the frame is in hundredths
    // of a millimetre).
    deviceX0_ = newL / 100.0 * pxPerMm_;
    deviceX1_ = newR / 100.0 * pxPerMm_;
    deviceY0_ = newT / 100.0 * pxPerMmY;
    deviceY1_ = newB / 100.0 * pxPerMmY;

    const std::uint32_t headerSize = in_.u32(4);
    std::string header(emf.substr(0, headerSize));
    {
        ByteWriter fields;
        const auto round = [](double v) { return static_cast<std::int32_t>(std::lround(v)); };
        // Bounds: what the drawing covers, within the visible part.
        fields.rect(std::max(in_.i32(8), static_cast<std::int32_t>(std::floor(deviceX0_))),
                    std::max(in_.i32(12), static_cast<std::int32_t>(std::floor(deviceY0_))),
                    std::min(in_.i32(16), static_cast<std::int32_t>(std::ceil(deviceX1_))),
                    std::min(in_.i32(20), static_cast<std::int32_t>(std::ceil(deviceY1_))));
        fields.rect(round(newL), round(newT), round(newR), round(newB));
        header.replace(8, 32, fields.text());
    }
    out_.raw(header);
    records_ = 1;
    intersectVisible();  // in device units: the mapping is still the identity

    for (std::size_t at = headerSize; in_.has(at, 8);) {
        const std::uint32_t type = in_.u32(at), size = in_.u32(at + 4);
        if (size < 8 || !in_.has(at, size)) break;
        const bool plus = type == kComment && size >= 16 && in_.u32(at + 12) == kEmfPlus;
        if (!plus) {
            out_.raw(emf.substr(at, size));
            ++records_;
        }
        follow(type, at, size);
        // A new clipping region or path may reach beyond the visible part.
        if (type == kExtSelectClipRgn && size >= 16) {
            const std::uint32_t mode = in_.u32(at + 12);
            if (mode != kRgnAnd && mode != kRgnDiff) intersectVisible();
        } else if (type == kSelectClipPath && size >= 12) {
            const std::uint32_t mode = in_.u32(at + 8);
            if (mode != kRgnAnd && mode != kRgnDiff) intersectVisible();
        }
        at += size;
        if (type == kEof) break;
    }
    std::string& out = out_.text();
    if (out.size() > 0xFFFFFFF0u) throw ImagingError("the metafile is too large");
    out_.patch32(48, static_cast<std::uint32_t>(out.size()));
    out_.patch32(52, records_);
    return std::move(out);
}

}  // namespace

std::string croppedEmf(std::string_view emf, const VisiblePart& visible) {
    return Cropper(emf, visible).run();
}

}  // namespace kelvaran::imaging
