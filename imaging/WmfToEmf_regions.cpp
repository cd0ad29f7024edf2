// Region objects of Windows metafiles: filled, painted, framed, inverted
// and used for clipping, as enhanced-metafile records.

#include "imaging/WmfToEmfImpl.h"

namespace kelvaran::imaging::wmf_translation {

// A region object: its scans, each a band of rows holding pairs of left and
// right edges.  Damaged scans end the region where they start.
void Translator::createRegion() {
    const int slot = takeSlot(Slot::Region);
    if (regions_.size() <= static_cast<std::size_t>(slot)) regions_.resize(static_cast<std::size_t>(slot) + 1);
    Rects& rects = regions_[static_cast<std::size_t>(slot)];
    rects.clear();
    if (params() < 11) return;
    const std::size_t scans = pu(5);
    std::size_t word = 11;  // after the header and the bounding rectangle
    for (std::size_t s = 0; s < scans && word + 3 <= params(); ++s) {
        const std::size_t count = pu(word);
        const std::int16_t top = p(word + 1), bottom = p(word + 2);
        if (count % 2 != 0 || word + 3 + count + 1 > params()) break;
        for (std::size_t i = 0; i + 1 < count; i += 2) {
            const std::int16_t left = p(word + 3 + i), right = p(word + 4 + i);
            if (left < right && top < bottom) rects.push_back({left, top, right, bottom});
        }
        word += 3 + count + 1;  // the scan repeats its count at its end
        if (rects.size() > 100000) break;
    }
}

const Rects* Translator::regionAt(std::size_t param) const {
    if (params() <= param) return nullptr;
    const int slot = pu(param);
    if (slotKind(slot) != Slot::Region || static_cast<std::size_t>(slot) >= regions_.size()) return nullptr;
    return &regions_[static_cast<std::size_t>(slot)];
}

// The region's rectangles filled with the brush selected and no outline.
void Translator::regionPolygons(const Rects& rects) {
    if (rects.empty()) return;
    simple(emr::SELECTOBJECT, {static_cast<std::int32_t>(kNullPen)});
    regionShapes(rects);
    simple(emr::SELECTOBJECT, {static_cast<std::int32_t>(state_.pen)});
}

// The region's rectangles as one record of polygons.
void Translator::regionShapes(const Rects& rects) {
    bool narrow = true;
    for (const auto& r : rects)
        for (std::int32_t v : r) narrow = narrow && L(v) >= -32768 && L(v) <= 32767;
    const std::size_t at = begin(narrow ? emr::POLYPOLYGON16 : emr::POLYPOLYGON);
    bounds();
    out_.u32(static_cast<std::uint32_t>(rects.size()));
    out_.u32(static_cast<std::uint32_t>(rects.size() * 4));
    for (std::size_t i = 0; i < rects.size(); ++i) out_.u32(4);
    for (const auto& r : rects) {
        for (auto [x, y] : {std::pair{r[0], r[1]}, std::pair{r[2], r[1]}, std::pair{r[2], r[3]}, std::pair{r[0], r[3]}}) {
            if (narrow) {
                out_.u16(static_cast<std::uint16_t>(L(x)));
                out_.u16(static_cast<std::uint16_t>(L(y)));
            } else {
                out_.i32(L(x));
                out_.i32(L(y));
            }
        }
    }
    end(at);
}

// Region data: a header and the rectangles, in the logical units written.
void Translator::regionData(const Rects& rects) {
    const auto x = [&](std::int32_t v) { return L(v); };
    const auto y = [&](std::int32_t v) { return L(v); };
    std::vector<std::array<std::int32_t, 4>> mapped;
    std::int32_t l = 0, t = 0, r = 0, b = 0;
    for (const auto& rect : rects) {
        std::array<std::int32_t, 4> m{x(rect[0]), y(rect[1]), x(rect[2]), y(rect[3])};
        if (m[0] > m[2]) std::swap(m[0], m[2]);
        if (m[1] > m[3]) std::swap(m[1], m[3]);
        if (mapped.empty()) l = m[0], t = m[1], r = m[2], b = m[3];
        l = std::min(l, m[0]), t = std::min(t, m[1]), r = std::max(r, m[2]), b = std::max(b, m[3]);
        mapped.push_back(m);
    }
    out_.u32(32);  // header size
    out_.u32(1);   // rectangles
    out_.u32(static_cast<std::uint32_t>(mapped.size()));
    out_.u32(static_cast<std::uint32_t>(mapped.size() * 16));
    out_.rect(l, t, r, b);
    for (const auto& m : mapped) out_.rect(m[0], m[1], m[2], m[3]);
}

// A record of bounds, the region data's size, some fields, the region data.
void Translator::regionRecord(std::uint32_t type, const Rects& rects, std::initializer_list<std::uint32_t> fields) {
    if (rects.empty()) return;
    const std::size_t at = begin(type);
    bounds();
    out_.u32(static_cast<std::uint32_t>(32 + rects.size() * 16));
    for (std::uint32_t f : fields) out_.u32(f);
    regionData(rects);
    end(at);
}

// A region selected for clipping replaces the clip; any other object (the
// writers' way of clearing it) leaves no clipping.  The region is given as a
// clipping path, in logical units: clipping regions of enhanced metafiles are
// in device units, which readers do not all take as such.  A crop's clip
// holds either way.
void Translator::selectClipRegion() {
    const Rects* region = regionAt(0);
    if (region && !region->empty()) {
        simple(emr::BEGINPATH, {});
        regionShapes(*region);
        simple(emr::ENDPATH, {});
        simple(emr::SELECTCLIPPATH, {5});  // copy
    } else {
        const std::size_t at = begin(emr::EXTSELECTCLIPRGN);
        out_.u32(0);
        out_.u32(5);
        end(at);
    }
    intersectVisible();
}

void Translator::intersectVisible() {
    if (visibleClip_)
        simple(emr::INTERSECTCLIPRECT, {(*visibleClip_)[0], (*visibleClip_)[1], (*visibleClip_)[2], (*visibleClip_)[3]});
}

}  // namespace kelvaran::imaging::wmf_translation
