#pragma once

// Little-endian field writer for the metafiles made here.

#include <cstdint>
#include <cstring>
#include <string>

namespace kelvaran::imaging {

class ByteWriter {
public:
    void u8(std::uint32_t v) { out_.push_back(static_cast<char>(v & 0xFF)); }
    void u16(std::uint32_t v) {
        out_.push_back(static_cast<char>(v & 0xFF));
        out_.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f32(float v) {
        std::uint32_t bits = 0;
        static_assert(sizeof bits == sizeof v);
        std::memcpy(&bits, &v, sizeof bits);
        u32(bits);
    }
    void rect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
        i32(l);
        i32(t);
        i32(r);
        i32(b);
    }
    void raw(std::string_view bytes) { out_.append(bytes.data(), bytes.size()); }
    void pad4() {
        while (out_.size() % 4 != 0) out_.push_back('\0');
    }
    void patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    std::size_t size() const { return out_.size(); }
    std::string& text() { return out_; }

private:
    std::string out_;
};

}  // namespace kelvaran::imaging
