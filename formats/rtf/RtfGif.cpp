#include "formats/rtf/RtfGif.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace kelvaran::formats::rtf {

namespace {

constexpr int kMaxSide = 16384;
constexpr std::size_t kMaxPixels = std::size_t{64} << 20;

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    bool has(std::size_t n) const { return at_ + n <= bytes_.size(); }
    std::uint8_t byte() { return has(1) ? static_cast<std::uint8_t>(bytes_[at_++]) : (failed_ = true, 0); }
    int word() {
        const int low = byte();
        return low | byte() << 8;
    }
    void skip(std::size_t n) { has(n) ? at_ += n : (failed_ = true, at_ = bytes_.size()); }
    // Sub-blocks up to the terminator, appended to `out` when given.
    void blocks(std::string* out) {
        for (;;) {
            const std::uint8_t length = byte();
            if (failed_ || length == 0) return;
            if (!has(length)) {
                failed_ = true;
                return;
            }
            if (out) out->append(bytes_.substr(at_, length));
            at_ += length;
        }
    }
    bool failed() const { return failed_; }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

// Variable-width LZW as GIF uses it: codes least significant bit first.
bool decodeLzw(const std::string& data, int minimumSize, std::vector<std::uint8_t>& out, std::size_t pixels) {
    if (minimumSize < 2 || minimumSize > 8) return false;
    const int clear = 1 << minimumSize;
    const int end = clear + 1;
    std::array<std::uint16_t, 4096> prefix{};
    std::array<std::uint8_t, 4096> suffix{};
    for (int i = 0; i < clear; ++i) suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    int width = minimumSize + 1;
    int next = end + 1;
    int previous = -1;
    std::uint32_t buffer = 0;
    int bits = 0;
    std::vector<std::uint8_t> string;
    out.reserve(pixels);
    for (unsigned char c : data) {
        buffer |= static_cast<std::uint32_t>(c) << bits;
        bits += 8;
        while (bits >= width) {
            const int code = static_cast<int>(buffer & ((1u << width) - 1));
            buffer >>= width;
            bits -= width;
            if (code == clear) {
                width = minimumSize + 1;
                next = end + 1;
                previous = -1;
                continue;
            }
            if (code == end) return true;
            if (previous < 0) {
                // The first code after a clear is a single index.
                if (code >= clear) return false;
                out.push_back(static_cast<std::uint8_t>(code));
                previous = code;
                if (out.size() >= pixels) return true;
                continue;
            }
            if (code > next) return false;
            // The string of the code (or, for the code not yet in the table,
            // of the previous one) from its last index back to its first.
            string.clear();
            for (int k = code < next ? code : previous;;) {
                string.push_back(suffix[static_cast<std::size_t>(k)]);
                if (k < clear) break;
                k = prefix[static_cast<std::size_t>(k)];
                if (string.size() > 4096) return false;
            }
            const std::uint8_t first = string.back();
            for (auto it = string.rbegin(); it != string.rend() && out.size() < pixels; ++it) out.push_back(*it);
            if (code == next && out.size() < pixels) out.push_back(first);
            if (next < 4096) {
                prefix[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(previous);
                suffix[static_cast<std::size_t>(next)] = first;
                ++next;
                if (next == (1 << width) && width < 12) ++width;
            }
            previous = code;
            if (out.size() >= pixels) return true;
        }
    }
    return !out.empty();
}

void chunk(std::string& png, const char* type, const std::string& data) {
    auto put32 = [&png](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((v >> shift) & 0xFF);
    };
    put32(static_cast<std::uint32_t>(data.size()));
    std::string body(type, 4);
    body += data;
    png += body;
    put32(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

std::optional<std::string> gifToPng(std::string_view gif) {
    if (gif.size() < 13 || (gif.substr(0, 6) != "GIF87a" && gif.substr(0, 6) != "GIF89a")) return std::nullopt;
    Reader in(gif.substr(6));
    const int width = in.word();
    const int height = in.word();
    const std::uint8_t flags = in.byte();
    const std::uint8_t background = in.byte();
    in.byte();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > kMaxPixels) {
        return std::nullopt;
    }
    std::string palette;
    auto readPalette = [&in](std::uint8_t packed, std::string& into) {
        const std::size_t entries = std::size_t{2} << (packed & 7);
        into.clear();
        for (std::size_t i = 0; i < entries * 3; ++i) into += static_cast<char>(in.byte());
    };
    if (flags & 0x80) readPalette(flags, palette);
    int transparent = -1;
    for (int guard = 0; guard < 100000 && !in.failed(); ++guard) {
        const std::uint8_t kind = in.byte();
        if (kind == 0x3B || in.failed()) return std::nullopt;  // no image before the end
        if (kind == 0x21) {
            const std::uint8_t label = in.byte();
            if (label == 0xF9) {
                std::string control;
                in.blocks(&control);
                if (control.size() >= 4 && (static_cast<unsigned char>(control[0]) & 1)) {
                    transparent = static_cast<unsigned char>(control[3]);
                }
            } else {
                in.blocks(nullptr);
            }
            continue;
        }
        if (kind != 0x2C) return std::nullopt;
        const int left = in.word();
        const int top = in.word();
        const int frameWidth = in.word();
        const int frameHeight = in.word();
        const std::uint8_t frameFlags = in.byte();
        if (frameFlags & 0x80) readPalette(frameFlags, palette);
        const int minimumSize = in.byte();
        std::string data;
        in.blocks(&data);
        if (in.failed() || palette.empty() || frameWidth <= 0 || frameHeight <= 0 || frameWidth > kMaxSide ||
            frameHeight > kMaxSide || static_cast<std::size_t>(frameWidth) * static_cast<std::size_t>(frameHeight) > kMaxPixels) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> indexes;
        const std::size_t pixels = static_cast<std::size_t>(frameWidth) * static_cast<std::size_t>(frameHeight);
        if (!decodeLzw(data, minimumSize, indexes, pixels)) return std::nullopt;
        indexes.resize(pixels, transparent >= 0 ? static_cast<std::uint8_t>(transparent) : background);
        // Frame rows in their real order (interlaced GIFs store them in four passes).
        std::vector<int> rowOf(static_cast<std::size_t>(frameHeight));
        if (frameFlags & 0x40) {
            int stored = 0;
            for (const auto& [start, step] : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}}) {
                for (int y = start; y < frameHeight; y += step) rowOf[static_cast<std::size_t>(stored++)] = y;
            }
        } else {
            for (int y = 0; y < frameHeight; ++y) rowOf[static_cast<std::size_t>(y)] = y;
        }
        const std::uint8_t fill = transparent >= 0 ? static_cast<std::uint8_t>(transparent) : background;
        std::string raw(static_cast<std::size_t>(width + 1) * static_cast<std::size_t>(height), '\0');
        for (int y = 0; y < height; ++y) {
            std::fill_n(raw.begin() + static_cast<std::ptrdiff_t>(y) * (width + 1) + 1, width, static_cast<char>(fill));
        }
        for (int stored = 0; stored < frameHeight; ++stored) {
            const int y = top + rowOf[static_cast<std::size_t>(stored)];
            if (y < 0 || y >= height) continue;
            for (int x = 0; x < frameWidth; ++x) {
                const int column = left + x;
                if (column < 0 || column >= width) continue;
                raw[static_cast<std::size_t>(y) * (width + 1) + 1 + static_cast<std::size_t>(column)] =
                    static_cast<char>(indexes[static_cast<std::size_t>(stored) * frameWidth + static_cast<std::size_t>(x)]);
            }
        }
        const std::size_t entries = palette.size() / 3;
        for (char& c : raw) {
            // Indexes beyond the palette would make the PNG invalid.
            if (static_cast<unsigned char>(c) >= entries) c = 0;
        }
        for (int y = 0; y < height; ++y) raw[static_cast<std::size_t>(y) * (width + 1)] = 0;  // filter: none

        uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
        std::string packed(packedSize, '\0');
        if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                      static_cast<uLong>(raw.size()), 9) != Z_OK) {
            return std::nullopt;
        }
        packed.resize(packedSize);
        std::string png("\x89PNG\r\n\x1a\n", 8);
        std::string header;
        for (int v : {width, height}) {
            for (int shift = 24; shift >= 0; shift -= 8) header += static_cast<char>((v >> shift) & 0xFF);
        }
        header += std::string("\x08\x03\x00\x00\x00", 5);
        chunk(png, "IHDR", header);
        chunk(png, "PLTE", palette);
        if (transparent >= 0 && static_cast<std::size_t>(transparent) < entries) {
            std::string alpha(static_cast<std::size_t>(transparent) + 1, '\xFF');
            alpha.back() = '\0';
            chunk(png, "tRNS", alpha);
        }
        chunk(png, "IDAT", packed);
        chunk(png, "IEND", {});
        return png;
    }
    return std::nullopt;
}

}  // namespace kelvaran::formats::rtf
