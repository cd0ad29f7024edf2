#pragma once

#include "imaging/Imaging.h"

#include <cstdint>
#include <string>

namespace kelvaran::imaging {

// Throws ImagingError unless width x height is a positive size within
// kMaxPixels.  what names the size in the message ("the picture", ...).
inline void checkPixelBudget(std::int64_t width, std::int64_t height, const char* what) {
    if (width <= 0 || height <= 0)
        throw ImagingError(std::string(what) + " has no size (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels)");
    if (width > kMaxPixels || height > kMaxPixels || width * height > kMaxPixels)
        throw ImagingError(std::string(what) + " is too large (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels; at most " + std::to_string(kMaxPixels / 1000000) +
                           " megapixels are handled)");
}

}  // namespace kelvaran::imaging
