#include "formats/doc/CompObj.h"

#include "formats/doc/Bytes.h"

namespace kelvaran::formats::doc {
namespace {

// A length-prefixed ANSI string (length includes the NUL); false when it does not fit.
bool ansiString(std::string_view b, std::size_t& at, std::string& out)
{
    if (!fits(b.size(), at, 4))
        return false;
    const std::uint32_t n = u32At(b, at);
    at += 4;
    if (n > 0x10000 || !fits(b.size(), at, n))
        return false;
    out.assign(b.substr(at, n));
    while (!out.empty() && out.back() == '\0')
        out.pop_back();
    at += n;
    return true;
}

}  // namespace

CompObj CompObj::parse(std::string_view b)
{
    CompObj c;
    std::size_t at = 28;
    if (!ansiString(b, at, c.userType))
        return c;
    if (!fits(b.size(), at, 4))
        return c;
    const std::uint32_t marker = u32At(b, at);
    if (marker == 0xFFFFFFFF || marker == 0xFFFFFFFE) {
        at += 8;
    } else {
        std::string ignored;
        if (!ansiString(b, at, ignored))
            return c;
    }
    ansiString(b, at, c.progId);
    return c;
}

}  // namespace kelvaran::formats::doc
