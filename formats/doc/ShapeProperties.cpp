#include "formats/doc/ShapeProperties.h"

#include <algorithm>
#include <vector>

#include "formats/doc/Bytes.h"
#include "formats/doc/TextCodec.h"

namespace kelvaran::formats::doc {

void ShapeProperties::addTable(std::string_view b, std::size_t body, std::uint32_t length, std::uint16_t count)
{
    if (!fits(b.size(), body, length))
        return;
    if (std::uint64_t(count) * 6 > length)
        count = static_cast<std::uint16_t>(length / 6);
    std::size_t complexAt = body + std::size_t(count) * 6;
    const std::size_t end = body + length;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = body + 6 * i;
        const std::uint16_t opid = u16At(b, e);
        Property p;
        p.value = u32At(b, e + 2);
        p.isBlip = (opid & 0x4000) != 0;
        p.isComplex = (opid & 0x8000) != 0;
        p.valueOffset = e + 2;
        if (p.isComplex) {
            const std::size_t n = std::min<std::size_t>(p.value, end - complexAt);
            p.complexData.assign(b.substr(complexAt, n));
            complexAt += n;
        }
        props_[opid & 0x3FFF] = std::move(p);
    }
}

const ShapeProperties::Property* ShapeProperties::find(std::uint16_t id) const
{
    auto it = props_.find(id);
    return it == props_.end() ? nullptr : &it->second;
}

std::optional<std::uint32_t> ShapeProperties::value(std::uint16_t id) const
{
    const Property* p = find(id);
    if (!p)
        return std::nullopt;
    return p->value;
}

bool ShapeProperties::flag(std::uint16_t id, int bit) const
{
    const Property* p = find(id);
    if (!p || p->isComplex || bit < 0 || bit > 15)
        return false;
    return ((p->value >> bit) & 1) != 0 && ((p->value >> (bit + 16)) & 1) != 0;
}

std::string ShapeProperties::text(std::uint16_t id) const
{
    const Property* p = find(id);
    if (!p || !p->isComplex)
        return {};
    std::u16string s;
    for (std::size_t i = 0; i + 1 < p->complexData.size(); i += 2) {
        const char16_t c = u16At(p->complexData, i);
        if (c == 0)
            break;
        s.push_back(c);
    }
    return TextCodec::utf16ToUtf8(s);
}

}  // namespace kelvaran::formats::doc
