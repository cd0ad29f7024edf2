#pragma once

// Fonts named by metafiles, matched to installed faces through fontconfig,
// and the text of metafiles decoded from the character set of its font.
// Documents from Windows name faces that Linux machines do not have (Times
// New Roman, Arial, MS Mincho, Symbol ...); each is drawn with its usual
// metric-compatible stand-in when one is installed.

#include <string>
#include <string_view>

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
