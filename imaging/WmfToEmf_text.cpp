// Text records of Windows metafiles translated, with the advances readers
// need to place each character as the source did.

#include "imaging/WmfToEmfImpl.h"

namespace kelvaran::imaging::wmf_translation {
namespace {

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

}  // namespace

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


}  // namespace kelvaran::imaging::wmf_translation
