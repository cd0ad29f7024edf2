#include "imaging/ByteWriter.h"
#include "imaging/Imaging.h"
#include "imaging/PixelBudget.h"
#include "platform/Conversions.h"

#include <cmath>
#include <cstring>

namespace kelvaran::imaging {
namespace {

constexpr std::uint32_t kEmrHeader = 1, kEmrEof = 14, kEmrStretchDiBits = 81, kEmrAlphaBlend = 114;
constexpr std::uint32_t kHeaderSize = 108, kInfoHeaderSize = 40;
constexpr std::uint32_t kStretchDiBitsSize = 80, kAlphaBlendSize = 108, kEofSize = 20;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
// Source-over blending with per-pixel (premultiplied) alpha at full strength.
constexpr std::uint32_t kBlendSourceAlpha = 0x01FF0000;

// The reference device the frame and bounds are stated for: 96 dpi.
constexpr std::int32_t kDeviceW = 1920, kDeviceH = 1080;
constexpr std::int32_t kDeviceMicronsW = 508000, kDeviceMicronsH = 285750;

std::int32_t positive(double value, const char* what) {
    if (!std::isfinite(value) || value <= 0 || value > 1e9)
        throw ImagingError(std::string("the metafile's ") + what + " is not usable");
    return static_cast<std::int32_t>(std::max<std::int64_t>(1, platform::roundHalfEven(value)));
}

}  // namespace

std::string encodeEmfFromImage(const Image& image, double widthPt, double heightPt) {
    checkImageBudget(image.width, image.height, "the picture to encode");
    if (image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
        throw ImagingError("the picture to encode has a pixel buffer of the wrong size");
    const std::int32_t frameW = positive(widthPt * 2540.0 / 72.0, "width");
    const std::int32_t frameH = positive(heightPt * 2540.0 / 72.0, "height");
    // Drawing units are reference-device pixels; the bitmap is stretched
    // onto the frame's size in those units and keeps all its own pixels.
    const std::int32_t destW = positive(widthPt * 96.0 / 72.0, "width");
    const std::int32_t destH = positive(heightPt * 96.0 / 72.0, "height");
    const bool alpha = image.hasTransparency();
    const std::uint32_t bitsSize = static_cast<std::uint32_t>(image.rgba.size());
    const std::uint32_t fixed = alpha ? kAlphaBlendSize : kStretchDiBitsSize;
    const std::uint64_t recordSize = std::uint64_t{fixed} + kInfoHeaderSize + bitsSize;
    if (recordSize + kHeaderSize + kEofSize > 0xFFFFFFF0u) throw ImagingError("the picture is too large for a metafile");

    ByteWriter w;
    w.text().reserve(static_cast<std::size_t>(recordSize) + kHeaderSize + kEofSize);
    // Header.
    w.u32(kEmrHeader);
    w.u32(kHeaderSize);
    w.rect(0, 0, destW - 1, destH - 1);
    w.rect(0, 0, frameW, frameH);
    w.u32(0x464D4520);
    w.u32(0x00010000);
    const std::size_t totalAt = w.text().size();
    w.u32(0);  // total bytes, patched below
    w.u32(3);  // records
    w.u16(1);  // handles: only the reserved one
    w.u16(0);
    w.u32(0);  // no description
    w.u32(0);
    w.u32(0);  // no palette
    w.i32(kDeviceW);
    w.i32(kDeviceH);
    w.i32(kDeviceMicronsW / 1000);
    w.i32((kDeviceMicronsH + 500) / 1000);
    w.u32(0);  // no pixel format
    w.u32(0);
    w.u32(0);  // not OpenGL
    w.i32(kDeviceMicronsW);
    w.i32(kDeviceMicronsH);

    // The bitmap record.
    const std::uint32_t bmiOffset = fixed;
    const std::uint32_t bitsOffset = fixed + kInfoHeaderSize;
    w.u32(alpha ? kEmrAlphaBlend : kEmrStretchDiBits);
    w.u32(static_cast<std::uint32_t>(recordSize));
    w.rect(0, 0, destW - 1, destH - 1);
    if (alpha) {
        w.i32(0);  // destination x, y, cx, cy
        w.i32(0);
        w.i32(destW);
        w.i32(destH);
        w.u32(kBlendSourceAlpha);
        w.i32(0);  // source x, y
        w.i32(0);
        for (float f : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) w.f32(f);  // source transform: identity
        w.u32(0);  // background colour
        w.u32(0);  // colours are RGB values
        w.u32(bmiOffset);
        w.u32(kInfoHeaderSize);
        w.u32(bitsOffset);
        w.u32(bitsSize);
        w.i32(image.width);
        w.i32(image.height);
    } else {
        w.i32(0);  // destination x, y
        w.i32(0);
        w.i32(0);  // source x, y, cx, cy
        w.i32(0);
        w.i32(image.width);
        w.i32(image.height);
        w.u32(bmiOffset);
        w.u32(kInfoHeaderSize);
        w.u32(bitsOffset);
        w.u32(bitsSize);
        w.u32(0);  // colours are RGB values
        w.u32(kSrcCopy);
        w.i32(destW);
        w.i32(destH);
    }
    // Bitmap info: 32 bits per pixel, uncompressed, rows bottom-up.
    w.u32(kInfoHeaderSize);
    w.i32(image.width);
    w.i32(image.height);
    w.u16(1);
    w.u16(32);
    w.u32(0);
    w.u32(bitsSize);
    const double metresW = widthPt / 72.0 * 0.0254, metresH = heightPt / 72.0 * 0.0254;
    w.i32(static_cast<std::int32_t>(std::min(1e9, std::round(image.width / metresW))));
    w.i32(static_cast<std::int32_t>(std::min(1e9, std::round(image.height / metresH))));
    w.u32(0);
    w.u32(0);
    std::string& out = w.text();
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4;
    for (int y = image.height - 1; y >= 0; --y) {
        const std::uint8_t* src = image.rgba.data() + static_cast<std::size_t>(y) * rowBytes;
        for (int x = 0; x < image.width; ++x, src += 4) {
            std::uint32_t r = src[0], g = src[1], b = src[2], a = src[3];
            if (alpha) {  // blending wants premultiplied colour
                r = (r * a + 127) / 255;
                g = (g * a + 127) / 255;
                b = (b * a + 127) / 255;
            } else {
                a = 255;
            }
            out.push_back(static_cast<char>(b));
            out.push_back(static_cast<char>(g));
            out.push_back(static_cast<char>(r));
            out.push_back(static_cast<char>(a));
        }
    }
    // End record.
    w.u32(kEmrEof);
    w.u32(kEofSize);
    w.u32(0);
    w.u32(16);
    w.u32(kEofSize);
    w.patch32(totalAt, static_cast<std::uint32_t>(out.size()));
    return std::move(out);
}

}  // namespace kelvaran::imaging
