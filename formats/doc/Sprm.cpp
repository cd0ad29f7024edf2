#include "formats/doc/Sprm.h"

#include "formats/doc/Bytes.h"

namespace kelvaran::formats::doc {

std::optional<std::size_t> Sprm::operandLength(std::uint16_t opcode, std::string_view b, std::size_t at,
                                               std::size_t end)
{
    std::size_t n = 0;
    switch (opcode >> 13) {
    case 0:
    case 1: n = 1; break;
    case 2:
    case 4:
    case 5: n = 2; break;
    case 3: n = 4; break;
    case 7: n = 3; break;
    default:
        if (opcode == 0xD608 || opcode == 0xD606) {
            if (at + 2 > end)
                return std::nullopt;
            const std::size_t cb = u16At(b, at);
            n = 2 + (cb > 0 ? cb - 1 : 0);
        } else {
            if (at + 1 > end)
                return std::nullopt;
            const std::size_t cb = u8At(b, at);
            if (opcode == 0xC615 && cb == 255) {
                // Tab changes in the long form: deletions with their tolerances, then additions.
                if (at + 2 > end)
                    return std::nullopt;
                const std::size_t del = u8At(b, at + 1);
                const std::size_t addAt = at + 2 + 4 * del;
                if (addAt + 1 > end)
                    return std::nullopt;
                n = 2 + 4 * del + 1 + 3 * std::size_t(u8At(b, addAt));
            } else {
                n = 1 + cb;
            }
        }
    }
    if (at + n > end)
        return std::nullopt;
    return n;
}

std::vector<Sprm> Sprm::list(std::string_view b, std::size_t begin, std::size_t end)
{
    std::vector<Sprm> out;
    if (end > b.size())
        end = b.size();
    std::size_t o = begin;
    while (o + 2 <= end) {
        Sprm s;
        s.opcode = u16At(b, o);
        s.operand = o + 2;
        const auto n = operandLength(s.opcode, b, s.operand, end);
        if (!n)
            break;
        s.length = *n;
        out.push_back(s);
        o = s.operand + s.length;
    }
    return out;
}

}  // namespace kelvaran::formats::doc
