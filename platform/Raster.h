#pragma once

#include <cstdint>
#include <vector>

namespace kelvaran::platform {

// A picture as pixels, the form in which the clipboard's metafile rendering is
// read back.  Colours are 0x00BBGGRR, so 0 is black.
struct Raster {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // row by row, width * height entries

    Raster() = default;
    Raster(int w, int h, std::uint32_t fill = 0x00FFFFFF)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

    bool empty() const { return width <= 0 || height <= 0; }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    void set(int x, int y, std::uint32_t colour) { pixels[static_cast<std::size_t>(y) * width + x] = colour; }
};

constexpr std::uint32_t rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
           (static_cast<std::uint32_t>(b) << 16);
}

}  // namespace kelvaran::platform
