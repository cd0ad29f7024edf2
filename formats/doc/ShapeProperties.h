#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvaran::formats::doc {

// The property table of one FOPT (or secondary/tertiary FOPT) record.
class ShapeProperties {
public:
    struct Property {
        std::uint32_t value = 0;
        bool isBlip = false;
        bool isComplex = false;
        std::size_t valueOffset = 0;   // of the 4-byte value in the parsed buffer
        std::string complexData;        // complex properties only (clamped to the record)
    };

    // Adds the properties of the FOPT record whose body is [body, body+length) in `b`;
    // later tables override earlier ones for the same id.
    void addTable(std::string_view b, std::size_t body, std::uint32_t length, std::uint16_t count);

    const Property* find(std::uint16_t id) const;
    std::optional<std::uint32_t> value(std::uint16_t id) const;
    // A flag of a boolean property set (0x03BF, 0x033F, ...): bit `bit` of the
    // value, counted only when its companion bit (`bit` + 16) says it is set.
    bool flag(std::uint16_t id, int bit) const;
    // A complex UTF-16 string property as UTF-8, without the terminating NUL.
    std::string text(std::uint16_t id) const;
    const std::map<std::uint16_t, Property>& all() const { return props_; }

private:
    std::map<std::uint16_t, Property> props_;
};

}  // namespace kelvaran::formats::doc
