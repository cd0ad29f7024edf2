#pragma once

// The stored picture of an inline object or a floating shape, as the readers
// find it and the writers emit it.

#include <cstdint>
#include <memory>
#include <string>

namespace kelvaran::formats::model {

// The encoding of picture bytes.  Kept apart from the imaging library's own
// enumeration so that the model depends on nothing; the values correspond.
enum class PictureFormat { Unknown, Jpeg, Png, Gif, Bmp, Dib, Tiff, Emf, Wmf, Pict };

// Crop as fractions of the stored picture's size, positive inward (0.1 on the
// left hides the picture's left tenth).
struct Crop {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;

    bool any() const { return left != 0 || top != 0 || right != 0 || bottom != 0; }
};

struct PictureData {
    PictureFormat type = PictureFormat::Unknown;
    // The picture as an image library reads it: a WMF starts with its
    // placeable header (readers of formats that store it without one add it
    // from the stored extents), a DIB is a BITMAPINFOHEADER and its bits
    // without a file header.  Shared and immutable: copying a picture between
    // documents, the clipboard and the scratch sheet never copies megabytes.
    std::shared_ptr<const std::string> bytes;
    // Pixel size when the reader knows it (0 when not).
    int pixelWidth = 0;
    int pixelHeight = 0;
    // Size of the whole stored picture before scaling and cropping, in points
    // (0 when unknown).
    double naturalWidthPt = 0;
    double naturalHeightPt = 0;
    Crop crop;

    bool empty() const { return !bytes || bytes->empty(); }
    std::size_t size() const { return bytes ? bytes->size() : 0; }
};

// Makes shared picture bytes from a buffer.
inline std::shared_ptr<const std::string> shareBytes(std::string bytes) {
    return std::make_shared<const std::string>(std::move(bytes));
}

}  // namespace kelvaran::formats::model
