// The translation of Windows metafiles into enhanced ones: the translator
// shared by the files that implement it (records, text, regions).

#pragma once

#include "imaging/ByteReader.h"
#include "imaging/ByteWriter.h"
#include "imaging/Dib.h"
#include "imaging/EmfBuilder.h"
#include "imaging/FontFaces.h"
#include "imaging/Metafile.h"
#include "imaging/PixelBudget.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::imaging::wmf_translation {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22, kWmfHeaderSize = 18;

enum class Slot { Free, Pen, Brush, Font, Region, Other };

// A region: rectangles (left, top, right, bottom) in logical units.
using Rects = std::vector<std::array<std::int32_t, 4>>;

// The stock objects of enhanced metafiles.
constexpr std::uint32_t kWhiteBrush = 0x80000000u, kBlackPen = 0x80000007u, kNullPen = 0x80000008u;

// UTF-8 text (as the decoders give it) appended as UTF-16 units.
void appendUtf16(std::u16string& out, std::string_view utf8);

struct FontInfo {
    int charset = kAnsiCharset;
    std::string face;
    std::int32_t height = 0, width = 0, weight = 400;
    bool italic = false;
};

// What a saved state holds that the translation itself needs.
struct State {
    std::int32_t windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    FontInfo font;
    // Spacing added to text: to every character, and spread over the
    // break characters (spaces) of each line.
    std::int32_t charExtra = 0, breakExtra = 0, breakCount = 0;
    // The handles selected, for the records that borrow a pen or brush.
    std::uint32_t pen = kBlackPen, brush = kWhiteBrush;
};

class Translator {
public:
    Translator(std::string_view wmf, std::int32_t destW, std::int32_t destH, const VisiblePart& visible)
        : in_(wmf), visible_(visible), emf_(destW, destH), out_(emf_.w) {}

    std::string run();

private:
    // Output records.
    std::size_t begin(std::uint32_t type) { return emf_.begin(type); }
    void end(std::size_t at) { emf_.end(at); }
    void bounds() { emf_.bounds(); }
    void simple(std::uint32_t type, std::initializer_list<std::int32_t> values) { emf_.simple(type, values); }
    void setWindow() {
        simple(emr::SETWINDOWORGEX, {L(state_.windowOrgX), L(state_.windowOrgY)});
        simple(emr::SETWINDOWEXTEX, {L(state_.windowExtX), L(state_.windowExtY)});
    }
    // A length or coordinate of the WMF in the finer logical units written.
    std::int32_t L(std::int32_t v) const { return v * fine_; }
    // The records of points: the 16-bit form when every point fits.
    void writePoints(std::uint32_t type16, std::uint32_t type32, std::size_t firstWord, std::size_t count,
                     std::initializer_list<std::uint32_t> head, const std::vector<std::uint32_t>& counts);

    // Input fields of the record at `at_` (parameters are 16-bit words).
    std::int16_t p(std::size_t i) const { return in_.i16(at_ + 6 + 2 * i); }
    std::uint16_t pu(std::size_t i) const { return in_.u16(at_ + 6 + 2 * i); }
    std::uint32_t pu32(std::size_t i) const { return in_.u32(at_ + 6 + 2 * i); }
    std::size_t params() const { return size_ >= 6 ? (size_ - 6) / 2 : 0; }
    std::string_view paramBytes(std::size_t fromWord) const {
        const std::size_t from = at_ + 6 + 2 * fromWord;
        if (from > at_ + size_) return {};
        return in_.view().substr(from, at_ + size_ - from);
    }

    int takeSlot(Slot kind) {
        auto free = std::find(slots_.begin(), slots_.end(), Slot::Free);
        if (free == slots_.end()) {
            slots_.push_back(kind);
            return static_cast<int>(slots_.size()) - 1;
        }
        *free = kind;
        return static_cast<int>(free - slots_.begin());
    }
    Slot slotKind(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return Slot::Free;
        return slots_[static_cast<std::size_t>(index)];
    }
    static std::uint32_t handle(int slot) { return static_cast<std::uint32_t>(slot) + 1; }

    void translate(std::uint16_t function);
    bool translateState(std::uint16_t function);
    void createRegion();
    const Rects* regionAt(std::size_t param) const;
    void regionPolygons(const Rects& rects);
    void regionShapes(const Rects& rects);
    void regionData(const Rects& rects);
    void regionRecord(std::uint32_t type, const Rects& rects, std::initializer_list<std::uint32_t> fields);
    void selectClipRegion();
    void intersectVisible();
    void points(std::uint32_t type16, std::uint32_t type32);
    void polyPolygon();
    void box(std::uint32_t type);
    void arc(std::uint32_t type);
    void clipRect(std::uint32_t type);
    void createPen();
    void createBrush();
    void createPatternBrush();
    void createFont();
    void textOut();
    void extTextOut();
    void text(std::int32_t x, std::int32_t y, std::uint32_t options, const std::optional<std::array<std::int16_t, 4>>& rect,
              std::string_view bytes, const std::vector<std::int16_t>& dx);
    void stretchDib(std::uint32_t rop, std::int32_t xDest, std::int32_t yDest, std::int32_t wDest, std::int32_t hDest,
                    std::int32_t xSrc, std::int32_t ySrc, std::int32_t wSrc, std::int32_t hSrc, std::uint32_t usage,
                    std::string_view dib);
    void patBlt(std::uint32_t rop, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);
    void restore(std::int16_t which);
    void chooseFineUnits(std::size_t start);
    // Logical units along x of one logical unit along y, on the frame.
    double heightToWidth() const {
        if (state_.windowExtX == 0 || state_.windowExtY == 0 || viewportW_ <= 0 || viewportH_ <= 0) return 1.0;
        const double deviceX = viewportW_ / std::abs(static_cast<double>(state_.windowExtX));
        const double deviceY = viewportH_ / std::abs(static_cast<double>(state_.windowExtY));
        return deviceY / deviceX;
    }

    ByteReader in_;
    VisiblePart visible_;
    EmfBuilder emf_;
    ByteWriter& out_;
    std::size_t at_ = 0, size_ = 0;
    std::vector<Slot> slots_;
    std::vector<FontInfo> fonts_;  // by slot
    std::vector<Rects> regions_;   // by slot
    State state_;
    std::vector<State> saved_;
    double viewportW_ = 0, viewportH_ = 0;  // the frame, in device units, the window maps onto
    std::optional<std::array<std::int32_t, 4>> visibleClip_;  // a crop, in the logical units written
    // Logical units written per logical unit of the WMF.  Readers round to
    // whole logical units on the way (small circles of chart markers,
    // six units across, came out as octagons); finer units keep the shapes.
    std::int32_t fine_ = 1;
};

}  // namespace kelvaran::imaging::wmf_translation
