#pragma once

// Little-endian field access over a byte buffer.  Every read is bounds
// checked: reading past the end gives zero and marks the reader as short, so
// header parsers can read a whole structure and test once.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kelvaran::imaging {

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    bool has(std::size_t offset, std::size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }

    std::uint8_t u8(std::size_t offset) const {
        if (!has(offset, 1)) return 0;
        return static_cast<std::uint8_t>(bytes_[offset]);
    }
    std::uint16_t u16(std::size_t offset) const {
        if (!has(offset, 2)) return 0;
        return static_cast<std::uint16_t>(u8(offset) | (u8(offset + 1) << 8));
    }
    std::uint32_t u32(std::size_t offset) const {
        if (!has(offset, 4)) return 0;
        return static_cast<std::uint32_t>(u8(offset)) | (static_cast<std::uint32_t>(u8(offset + 1)) << 8) |
               (static_cast<std::uint32_t>(u8(offset + 2)) << 16) |
               (static_cast<std::uint32_t>(u8(offset + 3)) << 24);
    }
    std::int16_t i16(std::size_t offset) const { return static_cast<std::int16_t>(u16(offset)); }
    std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }

    std::uint16_t u16be(std::size_t offset) const {
        if (!has(offset, 2)) return 0;
        return static_cast<std::uint16_t>((u8(offset) << 8) | u8(offset + 1));
    }
    std::uint32_t u32be(std::size_t offset) const {
        if (!has(offset, 4)) return 0;
        return (static_cast<std::uint32_t>(u8(offset)) << 24) | (static_cast<std::uint32_t>(u8(offset + 1)) << 16) |
               (static_cast<std::uint32_t>(u8(offset + 2)) << 8) | static_cast<std::uint32_t>(u8(offset + 3));
    }

    std::string_view view() const { return bytes_; }

private:
    std::string_view bytes_;
};

}  // namespace kelvaran::imaging
