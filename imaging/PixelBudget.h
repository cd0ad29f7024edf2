#pragma once

// The budgets every decoding and drawing path checks before it allocates:
// the pixels a picture may declare, and the bytes a picture may take at once
// in memory.  Both come before any allocation, from the sizes a header
// declares; what a header declares is checked against the data actually
// present by each decoder.  Long loops also check the time of the work in
// hand (platform/Deadline.h) as they go.

#include "imaging/Imaging.h"
#include "platform/Deadline.h"

#include <cstdint>
#include <string>

namespace kelvaran::imaging {

// Most bytes one picture may take at once in memory: its pixels decoded whole
// (8-bit RGBA), a rendering of it, or a decoder's buffer for the whole
// picture (the coefficients of a progressive JPEG, the rows of an interlaced
// PNG, the frame of a GIF).  With the copies a conversion keeps (the
// rendering, the clipboard's rendering, the encoder's buffer) one picture
// stays well within 512 MB.
inline constexpr std::int64_t kMaxPictureBytes = 192'000'000;

// The most pixels a picture decoded or drawn whole may have: 48 megapixels.
inline constexpr std::int64_t kMaxImagePixels = kMaxPictureBytes / 4;

// Throws ImagingError unless width x height is a positive size within
// kMaxPixels, the most a picture streamed through the decoders may declare.
// what names the size in the message ("the picture", ...).
inline void checkPixelBudget(std::int64_t width, std::int64_t height, const char* what) {
    if (width <= 0 || height <= 0)
        throw ImagingError(std::string(what) + " has no size (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels)");
    if (width > kMaxPixels || height > kMaxPixels || width * height > kMaxPixels)
        throw ImagingError(std::string(what) + " is too large (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels; at most " + std::to_string(kMaxPixels / 1000000) +
                           " megapixels are handled)");
}

// The same for a picture held whole in memory (a decoded bitmap, a
// rendering): at most kMaxImagePixels.
inline void checkImageBudget(std::int64_t width, std::int64_t height, const char* what) {
    checkPixelBudget(width, height, what);
    if (width * height > kMaxImagePixels)
        throw ImagingError(std::string(what) + " is too large to draw (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels; at most " +
                           std::to_string(kMaxImagePixels / 1000000) + " megapixels are drawn at once)");
}

// Metafiles drawn through the converter libraries: the most records an
// enhanced metafile may hold, and the most elements the drawing made of it
// may have.  The libraries take time and memory in proportion (some 4 KB and
// 35 microseconds an element to read the drawing) and cannot be stopped
// while they read it.
inline constexpr std::int64_t kMaxMetafileRecords = 200'000;
inline constexpr std::int64_t kMaxDrawingElements = 50'000;

// Throws ImagingError when a decoder would need more than kMaxPictureBytes
// at once for a picture (bytes as the header lets it be worked out).
inline void checkByteBudget(std::int64_t bytes, const char* what) {
    if (bytes > kMaxPictureBytes)
        throw ImagingError(std::string(what) + " would need " + std::to_string(bytes / 1'000'000) +
                           " MB to decode; at most " + std::to_string(kMaxPictureBytes / 1'000'000) + " MB are used");
}

}  // namespace kelvaran::imaging
