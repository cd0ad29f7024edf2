#pragma once

// Fonts named by metafiles, matched to installed faces through fontconfig,
// and the text of metafiles decoded from the character set of its font.
// Documents from Windows name faces that Linux machines do not have (Times
// New Roman, Arial, MS Mincho, Symbol ...); each is drawn with its usual
// metric-compatible stand-in when one is installed.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaran::imaging {

struct InstalledFace {
    std::string family;  // as fontconfig names it ("Liberation Serif")
    std::string file;    // the font file, empty when fontconfig has none at all
};

// The installed face that stands in for `name` (UTF-8) in the given weight
// and slant.  Never throws; falls back to fontconfig's default face.
InstalledFace installedFace(std::string_view name, bool bold = false, bool italic = false);

// The n-th best face for the request (0 = installedFace); used where two
// requests must not share a file.  Empty file when there are fewer faces.
InstalledFace installedFaceCandidate(std::string_view name, bool bold, bool italic, int n);

// True when the face installed for `name` is the face itself or a stand-in
// made to advance every character exactly as it does (Liberation Serif for
// Times New Roman, IPA Mincho for MS Mincho ...): the advances measured with
// it are those the named face gives.
bool hasSameMetrics(std::string_view name, bool bold = false, bool italic = false);

// Horizontal metrics of an installed face (read with FreeType), in the
// face's own units: what text that states no spacing of its own advances by.
class FaceMetrics {
public:
    virtual ~FaceMetrics() = default;
    double unitsPerEm = 0;
    // The cell Windows measures a positive font height by (ascent plus
    // descent) and the average character width a font's width is given in.
    double cellHeight = 0;
    double averageWidth = 0;
    // The advance of each character, 0 where the face has no glyph for it.
    virtual std::vector<double> advances(std::u32string_view text) const = 0;
};

// The metrics of a face file, read once; null when the file cannot be read.
std::shared_ptr<const FaceMetrics> faceMetrics(const std::string& file);

// True for the symbol faces whose text codes are not characters but glyph
// positions (Symbol, and the Wingdings family).
bool isSymbolFace(std::string_view name);

// Windows character-set numbers of a font (LOGFONT lfCharSet).
inline constexpr int kAnsiCharset = 0, kSymbolCharset = 2, kShiftJisCharset = 128;

// Text bytes of a metafile in a font of `charset` as UTF-8.  Text in the
// Symbol face comes out as the Unicode characters its glyphs show (π for
// 0x70); bytes that do not decode become U+FFFD.
std::string decodeText(std::string_view bytes, int charset, std::string_view faceName);

// A face name as stored in a metafile (bytes in its font's character set,
// NUL-padded) in UTF-8.
std::string decodeFaceName(std::string_view bytes, int charset);

// The Unicode character a glyph position of the Symbol face shows, or 0.
char32_t symbolGlyphToUnicode(unsigned code);

// Appends a code point to UTF-8 text.
void appendUtf8(std::string& out, char32_t c);

}  // namespace kelvaran::imaging
