#pragma once

// The libvips side of the pipeline: start-up, loading a raster picture from
// memory, bringing it to 8-bit sRGB with alpha, exact-size resampling and the
// conversions between vips images and Image.

#include "imaging/Imaging.h"

#include <vips/vips8>

#include <atomic>
#include <string_view>

namespace kelvaran::imaging {

// Starts libvips once per process (thread-safe); later calls return at once.
void ensureVips();

// Runs fn, turning a vips failure into ImagingError that starts with what.
template <typename Fn>
auto withVips(const char* what, Fn&& fn) -> decltype(fn());

// Opens a JPEG, PNG, GIF or TIFF held in bytes (which must outlive the
// image).  The header is checked against kMaxPixels, and what the loader
// would hold of the whole picture against kMaxPictureBytes, before any pixel
// is decoded.  A JPEG is opened shrunk by 2, 4 or 8 when the result stays at
// least minWidth x minHeight.
vips::VImage openRaster(std::string_view bytes, PictureType type, int minWidth = 0, int minHeight = 0);

// 8-bit sRGB, with an alpha band when the source has one (CMYK and
// greyscale converted).
vips::VImage toSrgba(vips::VImage image);

// Lanczos resampling to exactly width x height, alpha weighted.  Takes and
// gives 8-bit sRGB with or without alpha.
vips::VImage resizeExact(vips::VImage image, int width, int height);

vips::VImage fromImage(const Image& image);

// The bytes the loader needs at once for the whole picture, beyond the rows
// it streams: a progressive JPEG keeps every coefficient (two bytes a sample),
// an interlaced PNG every row, a GIF its whole frame; a TIFF is counted at
// its full size, its layout being free.  0 for a picture streamed.
std::int64_t wholePictureBytes(const vips::VImage& image, PictureType type);

// An 8-bit RGB image stored as baseline JPEG with optimised Huffman tables,
// 4:2:0, no metadata, at quality 1 to 100.
std::string jpegBytes(vips::VImage image, int quality);
Image toImage(vips::VImage image);

// The image with its evaluation watched: once the deadline in force has
// passed (platform/Deadline.h) the library stops, and the call that was
// computing it fails with platform::DeadlineExceeded.  Raising `stop`, when
// given, stops it the same way; the call then fails with ImagingError.  The
// flag must outlive the evaluation.
vips::VImage watched(vips::VImage image, const std::atomic<bool>* stop = nullptr);

[[noreturn]] void rethrowVips(const char* what, const vips::VError& error);

template <typename Fn>
auto withVips(const char* what, Fn&& fn) -> decltype(fn()) {
    ensureVips();
    try {
        return fn();
    } catch (const vips::VError& e) {
        rethrowVips(what, e);
    }
}

}  // namespace kelvaran::imaging
