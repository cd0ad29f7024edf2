#include "rules/Cp932.h"

#include <cerrno>
#include <iconv.h>

namespace kelvaran::rules {

namespace {

// One conversion through iconv; on a byte sequence it cannot take, emits
// `replacement` and steps over `skip(rest)` bytes of the input.
template <typename Skip>
std::string convert(const char* to, const char* from, std::string_view in, std::string_view replacement, Skip skip) {
    std::string out;
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    out.reserve(in.size() * 2);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[4096];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (a sequence cut off at the end): replace and move on.
        std::size_t n = skip(std::string_view(src, srcLeft));
        if (n == 0 || n > srcLeft) n = 1;
        out.append(replacement);
        src += n;
        srcLeft -= n;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    ::iconv_close(cd);
    return out;
}

std::size_t utf8Length(std::string_view rest) {
    unsigned char c = static_cast<unsigned char>(rest[0]);
    std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    for (std::size_t k = 1; k < n; ++k) {
        if (k >= rest.size() || (static_cast<unsigned char>(rest[k]) & 0xC0) != 0x80) return k;
    }
    return n;
}

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

std::string cp932ToUtf8(std::string_view bytes) {
    return convert("UTF-8", "CP932", bytes, "\xEF\xBF\xBD", [](std::string_view) { return std::size_t{1}; });
}

std::string utf8ToCp932(std::string_view text) {
    return convert("CP932", "UTF-8", text, "?", utf8Length);
}

std::size_t cp932PrefixLength(std::string_view bytes, std::size_t limit) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t n = isLeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
        if (i + n > limit) break;
        i += n;
    }
    return i;
}

}  // namespace kelvaran::rules
