#pragma once

#include <string>
#include <string_view>

namespace kelvaran::formats::doc {

// Text conversions used by the reader: UTF-16 to UTF-8 and the 8-bit text of
// compressed pieces (code page 1252 with Word's substitutions).
struct TextCodec {
    static std::string utf16ToUtf8(std::u16string_view s);
    static char16_t fromCompressed(unsigned char c);
};

}  // namespace kelvaran::formats::doc
