#pragma once

// Text of an RTF file in UTF-8: bytes of a Windows code page and UTF-16 units.

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvaran::formats::rtf {

// The code page of a font character set (\fcharsetN); 0 when it has none
// of its own (symbol fonts, unknown values).
int codePageOfCharset(int charset);
// True for the double-byte code pages (932, 936, 949, 950).
bool isDoubleByteCodePage(int codePage);
// Whether `byte` starts a two-byte character in `codePage`.
bool isLeadByteIn(int codePage, std::uint8_t byte);
// Appends one character of `codePage` (one byte, or two for a lead byte) to
// `out` as UTF-8; unknown characters become U+FFFD.
void appendCodePageChar(int codePage, std::string_view bytes, std::string& out);
// Appends a Unicode code point as UTF-8.
void appendUtf8(char32_t codePoint, std::string& out);
// The character, in UTF-8, of a control word that stands for one (\tab,
// \emdash...); null for any other word.
const char* specialCharacter(std::string_view word);
// Whether a group that starts with control word `word` holds no text of the
// story it stands in (tables, document information, notes, bookmarks...):
// the reader passes over it.
bool isSkippedDestination(std::string_view word);

}  // namespace kelvaran::formats::rtf
