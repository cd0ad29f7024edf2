// Windows metafiles rewritten as enhanced metafiles, record by record.
//
// No library on the system writes an enhanced metafile from a Windows one
// (the converters only draw them, into SVG or pixels), so the translation is
// done here.  Most WMF records have an EMF counterpart with the same meaning
// and wider fields; the rest (mostly state the EMF keeps elsewhere) are
// followed here and written out as the records that give the same state.

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

namespace kelvaran::imaging {
namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22, kWmfHeaderSize = 18;

enum class Slot { Free, Pen, Brush, Font, Region, Other };

// A region: rectangles (left, top, right, bottom) in logical units.
using Rects = std::vector<std::array<std::int32_t, 4>>;

// The stock objects of enhanced metafiles.
constexpr std::uint32_t kWhiteBrush = 0x80000000u, kBlackPen = 0x80000007u, kNullPen = 0x80000008u;

// UTF-8 text (as the decoders give it) appended as UTF-16 units.
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

bool knowsSymbolGlyphs(const std::string& face) {
    std::string key = face;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key == "symbol" || key.starts_with("wingdings") || key == "webdings";
}

// One character of text in the font's character set: its bytes.
std::size_t characterLength(std::string_view bytes, std::size_t at, int charset) {
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    bool lead = false;
    switch (charset) {
    case 128: lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); break;
    case 129:
    case 130:
    case 134:
    case 136: lead = c >= 0x81 && c <= 0xFE; break;
    default: break;
    }
    return lead && at + 1 < bytes.size() ? 2 : 1;
}

// The advances, in logical units, of text that states none: what a player
// measures with the font, taken from the installed face that stands in for
// it, with the spacing the state adds.  Windows records such advances with
// every text of an enhanced metafile, and readers that are given none
// measure with faces and resolutions of their own.  Empty when the face is
// installed neither itself nor as a stand-in of the same metrics, has no
// glyph for a character, or the font has no height.
// `heightToWidth` is the length along x, in logical units, of one logical
// unit of height: fonts are sized in the one and advance in the other.
// `fine` is the number of logical units written per unit of the WMF.
std::vector<std::int32_t> naturalAdvances(const State& state, std::u32string_view characters, double heightToWidth,
                                          std::int32_t fine) {
    const FontInfo& font = state.font;
    if (font.height == 0 || characters.empty()) return {};
    // A font given a width of its own is left to the reader, unless spacing
    // has to be added: readers size such fonts each their own way, and
    // advances measured here would space their glyphs apart or together.
    if (font.width != 0 && state.charExtra == 0 && state.breakExtra == 0) return {};
    const bool bold = font.weight >= 600;
    if (!hasSameMetrics(font.face, bold, font.italic)) return {};  // a reader measures better with its own stand-in
    const InstalledFace face = installedFace(font.face, bold, font.italic);
    const std::shared_ptr<const FaceMetrics> metrics = faceMetrics(face.file);
    if (!metrics || metrics->unitsPerEm <= 0) return {};
    // A negative height is the em; a positive one the cell.
    double em = std::abs(static_cast<double>(font.height));
    if (font.height > 0 && metrics->cellHeight > 0) em = font.height * metrics->unitsPerEm / metrics->cellHeight;
    // Face units to logical units along the line.
    const double perUnit = em / metrics->unitsPerEm * heightToWidth * fine;
    // A width (in logical units along the line) squeezes or stretches the
    // face to that average character width.
    const double scaleX = font.width != 0 && metrics->averageWidth > 0
                              ? std::abs(static_cast<double>(font.width)) * fine / (metrics->averageWidth * perUnit)
                              : 1.0;
    const std::vector<double> widths = metrics->advances(characters);
    std::vector<std::int32_t> out;
    out.reserve(widths.size());
    const std::int32_t breaks =
        state.breakCount > 0 ? static_cast<std::int32_t>(std::count(characters.begin(), characters.end(), U' ')) : 0;
    std::int32_t breakLeft = state.breakExtra * fine, breaksLeft = std::min(breaks, state.breakCount);
    double exact = 0;
    std::int64_t placed = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        if (widths[i] <= 0 && characters[i] != U' ') return {};
        exact += widths[i] * perUnit * scaleX + static_cast<double>(state.charExtra) * fine;
        if (characters[i] == U' ' && breaksLeft > 0) {
            const std::int32_t share = breakLeft / breaksLeft;
            exact += share;
            breakLeft -= share;
            --breaksLeft;
        }
        // Rounded as a running sum, so the line keeps its length.
        const std::int64_t next = std::llround(exact);
        out.push_back(static_cast<std::int32_t>(next - placed));
        placed = next;
    }
    return out;
}

void Translator::text(std::int32_t x, std::int32_t y, std::uint32_t options,
                      const std::optional<std::array<std::int16_t, 4>>& rect, std::string_view bytes,
                      const std::vector<std::int16_t>& dx) {
    const FontInfo& font = state_.font;
    // The faces of symbol sets that readers know (Symbol, Wingdings) get their
    // glyph codes in the private-use range, where Windows puts them; the text
    // of other faces in the symbol character set (the fences of equation
    // editors) keeps its byte values, which is how readers show it when they
    // do not have the face.
    const bool symbol = knowsSymbolGlyphs(font.face) && (font.charset == kSymbolCharset || isSymbolFace(font.face));
    const bool rawBytes = !symbol && font.charset == kSymbolCharset;
    std::u16string units;
    std::u32string characters;                 // one per character of the text
    std::vector<std::size_t> firstUnits;       // where each character's units start
    std::vector<std::int32_t> given;           // each character's advance from the record
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = characterLength(bytes, i, font.charset);
        std::int32_t advance = 0;
        for (std::size_t k = i; k < i + len && k < dx.size(); ++k) advance += dx[k];
        const std::size_t before = units.size();
        if (symbol) {
            // Symbol faces keep their byte codes, in the private-use range
            // where Windows puts them.
            units.push_back(static_cast<char16_t>(0xF000 + static_cast<unsigned char>(bytes[i])));
        } else if (rawBytes) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i])));
        } else {
            appendUtf16(units, decodeText(bytes.substr(i, len), font.charset, font.face));
            if (units.size() == before) units.push_back(u'\uFFFD');
        }
        char32_t c = units[before];
        if (c >= 0xD800 && c < 0xDC00 && before + 1 < units.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (units[before + 1] - 0xDC00);
        characters.push_back(c);
        firstUnits.push_back(before);
        given.push_back(L(advance));
        i += len;
    }
    // Text that states no advances gets those the font gives it (symbol
    // glyph codes and raw bytes excepted: their faces are not known here).
    const std::vector<std::int32_t> measured =
        dx.empty() && !symbol && !rawBytes ? naturalAdvances(state_, characters, heightToWidth(), fine_) : std::vector<std::int32_t>{};
    const std::vector<std::int32_t>& perCharacter = dx.empty() ? measured : given;
    // The character's advance goes with its first unit.
    std::vector<std::int32_t> advances(units.size(), 0);
    for (std::size_t k = 0; k < perCharacter.size() && k < firstUnits.size(); ++k)
        advances[firstUnits[k]] = perCharacter[k];
    if (units.empty()) return;
    const bool withDx = !perCharacter.empty();
    const std::uint32_t chars = static_cast<std::uint32_t>(units.size());
    const std::uint32_t stringOffset = 76;
    const std::uint32_t dxOffset = withDx ? stringOffset + ((chars * 2 + 3) & ~3u) : 0;
    const std::size_t at = begin(emr::EXTTEXTOUTW);
    bounds();
    out_.u32(1);    // compatible graphics mode
    out_.f32(0);    // scales: not used in that mode
    out_.f32(0);
    out_.i32(L(x));
    out_.i32(L(y));
    out_.u32(chars);
    out_.u32(stringOffset);
    out_.u32(options);
    if (rect) out_.rect(L((*rect)[0]), L((*rect)[1]), L((*rect)[2]), L((*rect)[3]));
    else out_.rect(0, 0, -1, -1);
    out_.u32(dxOffset);
    for (char16_t c : units) out_.u16(c);
    out_.pad4();
    if (withDx)
        for (std::int32_t a : advances) out_.i32(a);
    end(at);
}

void Translator::textOut() {
    const std::size_t count = pu(0);
    const std::size_t stringWords = (count + 1) / 2;
    if (params() < 1 + stringWords + 2) return;
    const std::string_view bytes = in_.view().substr(at_ + 8, count);
    text(p(1 + stringWords + 1), p(1 + stringWords), 0, std::nullopt, bytes, {});
}

void Translator::extTextOut() {
    if (params() < 4) return;
    const std::int32_t y = p(0), x = p(1);
    const std::size_t count = pu(2);
    const std::uint16_t options = pu(3);
    std::size_t word = 4;
    std::optional<std::array<std::int16_t, 4>> rect;
    if ((options & 0x0006) != 0 && params() >= 8) {  // opaque or clipped: the rectangle follows
        rect = std::array<std::int16_t, 4>{p(4), p(5), p(6), p(7)};
        word = 8;
    }
    const std::size_t stringStart = at_ + 6 + 2 * word;
    if (stringStart + count > at_ + size_) return;
    const std::string_view bytes = in_.view().substr(stringStart, count);
    std::vector<std::int16_t> dx;
    const std::size_t dxWord = word + (count + 1) / 2;
    if (count > 0 && params() >= dxWord + count) {
        for (std::size_t i = 0; i < count; ++i) dx.push_back(p(dxWord + i));
    }
    text(x, y, options, rect, bytes, dx);
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

void Translator::translate(std::uint16_t function) {
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

}  // namespace

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
    Translator translator(wmf, EmfBuilder::fromPixels(static_cast<double>(w)), EmfBuilder::fromPixels(static_cast<double>(h)),
                          visible);
    return translator.run();
}

}  // namespace kelvaran::imaging
