#pragma once

#include <string>
#include <string_view>

namespace kelvaran::rules {

// The Japanese ANSI code page of the INI file.  Bytes that do not form a
// character decode to U+FFFD one at a time; characters the code page lacks
// encode as "?".  Neither ever fails.
std::string cp932ToUtf8(std::string_view bytes);
std::string utf8ToCp932(std::string_view text);

// The longest prefix of CP932 bytes that is at most `limit` bytes and does not
// end inside a double-byte character.
std::size_t cp932PrefixLength(std::string_view bytes, std::size_t limit);

}  // namespace kelvaran::rules
