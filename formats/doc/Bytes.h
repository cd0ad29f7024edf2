#pragma once

// Little-endian access to byte buffers with bounds checks.  Every read that would
// leave the buffer returns false or throws DocError(Damaged); nothing here trusts
// a length found in a file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/doc/DocError.h"

namespace kelvaran::formats::doc {

inline bool fits(std::size_t size, std::uint64_t offset, std::uint64_t length)
{
    return offset <= size && length <= size - offset;
}

inline std::uint8_t u8At(std::string_view b, std::size_t o)
{
    return static_cast<std::uint8_t>(b[o]);
}

inline std::uint16_t u16At(std::string_view b, std::size_t o)
{
    return static_cast<std::uint16_t>(u8At(b, o) | (u8At(b, o + 1) << 8));
}

inline std::uint32_t u32At(std::string_view b, std::size_t o)
{
    return static_cast<std::uint32_t>(u16At(b, o)) | (static_cast<std::uint32_t>(u16At(b, o + 2)) << 16);
}

inline std::int16_t i16At(std::string_view b, std::size_t o)
{
    return static_cast<std::int16_t>(u16At(b, o));
}

inline std::int32_t i32At(std::string_view b, std::size_t o)
{
    return static_cast<std::int32_t>(u32At(b, o));
}

// Checked reads: throw DocError(Damaged) with `what` in the message when out of range.
inline void requireRange(std::string_view b, std::uint64_t offset, std::uint64_t length, const char* what)
{
    if (!fits(b.size(), offset, length))
        throw DocError(DocError::Kind::Damaged,
                       std::string("the document is damaged (") + what + " lies outside its stream)");
}

inline std::uint16_t readU16(std::string_view b, std::uint64_t o, const char* what)
{
    requireRange(b, o, 2, what);
    return u16At(b, static_cast<std::size_t>(o));
}

inline std::uint32_t readU32(std::string_view b, std::uint64_t o, const char* what)
{
    requireRange(b, o, 4, what);
    return u32At(b, static_cast<std::size_t>(o));
}

inline void putU16(std::string& b, std::size_t o, std::uint16_t v)
{
    b[o] = static_cast<char>(v & 0xFF);
    b[o + 1] = static_cast<char>(v >> 8);
}

inline void putU32(std::string& b, std::size_t o, std::uint32_t v)
{
    putU16(b, o, static_cast<std::uint16_t>(v & 0xFFFF));
    putU16(b, o + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void appendU16(std::string& b, std::uint16_t v)
{
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
}

inline void appendU32(std::string& b, std::uint32_t v)
{
    appendU16(b, static_cast<std::uint16_t>(v & 0xFFFF));
    appendU16(b, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace kelvaran::formats::doc
