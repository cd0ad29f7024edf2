#include "imaging/Imaging.h"

#include "imaging/Dib.h"
#include "imaging/Metafile.h"
#include "imaging/PixelBudget.h"
#include "imaging/VipsSupport.h"

#include <algorithm>
#include <cstdint>

namespace kelvaran::imaging {
namespace {

// The resampler works row by row at some microseconds a row however narrow
// the row: a bitmap a few pixels wide and a million rows tall took seconds to
// draw at any size.  A picture in memory much larger than its rendering is
// first averaged down in blocks (colour weighted by alpha) to at most twice
// the rendering on each side; the filter does the rest.
Image averagedDown(Image img, int width, int height) {
    const int kx = std::max(1, img.width / (2 * width));
    const int ky = std::max(1, img.height / (2 * height));
    if (kx == 1 && ky == 1) return img;
    platform::checkDeadline();
    Image out;
    out.width = (img.width + kx - 1) / kx;
    out.height = (img.height + ky - 1) / ky;
    out.rgba.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 4);
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(out.width) * 4);
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(out.width));
    for (int oy = 0; oy < out.height; ++oy) {
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
        const int lastRow = std::min(img.height, (oy + 1) * ky);
        for (int y = oy * ky; y < lastRow; ++y) {
            const std::uint8_t* p = img.rgba.data() + static_cast<std::size_t>(y) * img.width * 4;
            for (int x = 0; x < img.width; ++x, p += 4) {
                const std::size_t o = static_cast<std::size_t>(x / kx);
                const std::uint32_t a = p[3];
                sums[o * 4] += p[0] * a;
                sums[o * 4 + 1] += p[1] * a;
                sums[o * 4 + 2] += p[2] * a;
                sums[o * 4 + 3] += a;
                ++counts[o];
            }
        }
        std::uint8_t* q = out.rgba.data() + static_cast<std::size_t>(oy) * out.width * 4;
        for (int ox = 0; ox < out.width; ++ox, q += 4) {
            const std::uint64_t* s = &sums[static_cast<std::size_t>(ox) * 4];
            for (int c = 0; c < 3; ++c) q[c] = static_cast<std::uint8_t>(s[3] == 0 ? 0 : (s[c] + s[3] / 2) / s[3]);
            q[3] = static_cast<std::uint8_t>((s[3] + counts[ox] / 2) / counts[ox]);
        }
        if ((oy & 255) == 0) platform::checkDeadline();
    }
    return out;
}

// A picture drawn from pixels in memory at exactly width x height.
Image resampled(Image img, int width, int height) {
    if (img.width == width && img.height == height) return img;
    return toImage(resizeExact(fromImage(averagedDown(std::move(img), width, height)), width, height));
}

// Narrower than this, a raster picture many times taller than its rendering
// is decoded whole first and averaged down (see averagedDown); wider rows
// cost the resampler little beside their pixels.
constexpr int kNarrowRows = 256;

// Whether render() decodes this picture whole and averages it down rather
// than resampling it while it is read: the one-pass paths must not take it.
bool averagedWhole(const vips::VImage& image, int heightPx) {
    return image.width() < kNarrowRows && image.height() > 4 * heightPx;
}

bool isVipsRaster(PictureType type) {
    return type == PictureType::Jpeg || type == PictureType::Png || type == PictureType::Gif ||
           type == PictureType::Tiff;
}

[[noreturn]] void unsupported(PictureType type) {
    throw ImagingError(std::string("the data is not a picture that can be read (") + typeName(type) + ")");
}

// A bare or file-wrapped bitmap at its own size, or the compressed picture
// it carries.
Image decodeBitmap(std::string_view bytes, PictureType type, int minWidth, int minHeight, bool exact) {
    std::size_t offset = 0;
    std::string_view dib = type == PictureType::Bmp ? bmpFileDib(bytes, &offset) : bytes;
    if (auto inner = dibEmbeddedPicture(dib)) {
        if (exact) return render(inner->bytes, inner->type, minWidth, minHeight);
        return decode(inner->bytes, inner->type);
    }
    Image img = decodeDib(dib, offset);
    if (exact) return resampled(std::move(img), minWidth, minHeight);
    return img;
}

}  // namespace

PixelSize pictureSize(std::string_view bytes, PictureType type) {
    switch (type) {
    case PictureType::Jpeg:
    case PictureType::Png:
    case PictureType::Gif:
    case PictureType::Tiff: {
        vips::VImage header = openRaster(bytes, type);  // reads the header only
        return {header.width(), header.height()};
    }
    case PictureType::Bmp: {
        std::string_view dib = bmpFileDib(bytes, nullptr);
        DibHeader h = readDibHeader(dib);
        return {static_cast<int>(h.width), static_cast<int>(h.height)};
    }
    case PictureType::Dib: {
        DibHeader h = readDibHeader(bytes);
        return {static_cast<int>(h.width), static_cast<int>(h.height)};
    }
    case PictureType::Emf: return emfNaturalSize(bytes);
    case PictureType::Wmf: return wmfNaturalSize(bytes);
    case PictureType::Pict: return pictNaturalSize(bytes);
    case PictureType::Unknown: break;
    }
    unsupported(type);
}

Image render(std::string_view bytes, PictureType type, int widthPx, int heightPx) {
    checkImageBudget(widthPx, heightPx, "the requested rendering");
    if (isVipsRaster(type)) {
        vips::VImage image = openRaster(bytes, type, widthPx, heightPx);
        if (averagedWhole(image, heightPx))
            return resampled(toImage(toSrgba(image)), widthPx, heightPx);
        return toImage(resizeExact(toSrgba(image), widthPx, heightPx));
    }
    switch (type) {
    case PictureType::Bmp:
    case PictureType::Dib: return decodeBitmap(bytes, type, widthPx, heightPx, true);
    case PictureType::Emf: return renderEmf(bytes, widthPx, heightPx);
    case PictureType::Wmf: return renderWmf(bytes, widthPx, heightPx);
    case PictureType::Pict: return renderEmf(pictToEmf(bytes), widthPx, heightPx);
    default: break;
    }
    unsupported(type);
}

Image renderCorner(std::string_view bytes, PictureType type, int widthPx, int heightPx, int cornerWidth,
                   int cornerHeight) {
    checkImageBudget(widthPx, heightPx, "the requested rendering");
    checkPixelBudget(cornerWidth, cornerHeight, "the requested part of the rendering");
    const int w = std::min(widthPx, cornerWidth);
    const int h = std::min(heightPx, cornerHeight);
    if (isVipsRaster(type)) {
        vips::VImage image = openRaster(bytes, type, widthPx, heightPx);
        if (!averagedWhole(image, heightPx)) {
            // Each pixel of the resampled picture depends on its own
            // neighbourhood only, so the corner cut from the pipeline is the
            // corner of the whole rendering.
            return toImage(withVips("the picture cannot be resized",
                                    [&] { return resizeExact(toSrgba(image), widthPx, heightPx).crop(0, 0, w, h); }));
        }
    }
    return cornerOf(render(bytes, type, widthPx, heightPx), w, h);
}

std::optional<std::string> renderJpeg(std::string_view bytes, PictureType type, int widthPx, int heightPx,
                                      int quality, const std::atomic<bool>* stop, std::int64_t heldAtMost) {
    checkImageBudget(widthPx, heightPx, "the requested rendering");
    if (quality < 1 || quality > 100) throw ImagingError("a JPEG quality must lie between 1 and 100");
    if (!isVipsRaster(type)) return std::nullopt;
    if (stop && stop->load()) throw ImagingError("the drawing was stopped");
    const vips::VImage opened = openRaster(bytes, type, widthPx, heightPx);
    if (wholePictureBytes(opened, type) > heldAtMost) return std::nullopt;
    vips::VImage image = toSrgba(opened);
    if (image.bands() != 3 || averagedWhole(image, heightPx)) return std::nullopt;
    // The picture is decoded while the JPEG is written: a damaged one fails
    // here, with the reason render gives.
    return withVips("the picture cannot be decoded", [&] {
        // The resolution a picture in memory has, as encodeJpeg writes it.
        vips::VImage resized = resizeExact(image, widthPx, heightPx)
                                   .copy(vips::VImage::option()->set("xres", 1.0)->set("yres", 1.0));
        return jpegBytes(watched(resized, stop), quality);
    });
}

Image cornerOf(const Image& image, int width, int height) {
    const int w = std::clamp(width, 0, image.width);
    const int h = std::clamp(height, 0, image.height);
    if (w == image.width && h == image.height) return image;
    if (image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
        throw ImagingError("the picture has a pixel buffer of the wrong size");
    Image out;
    out.width = w;
    out.height = h;
    out.rgba.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    for (int y = 0; y < h; ++y) {
        const auto from = image.rgba.begin() + static_cast<std::ptrdiff_t>(y) * image.width * 4;
        std::copy(from, from + static_cast<std::ptrdiff_t>(w) * 4, out.rgba.begin() + static_cast<std::ptrdiff_t>(y) * w * 4);
    }
    return out;
}

Image decode(std::string_view bytes, PictureType type) {
    if (isVipsRaster(type)) return toImage(toSrgba(openRaster(bytes, type)));
    if (type == PictureType::Bmp || type == PictureType::Dib) return decodeBitmap(bytes, type, 0, 0, false);
    if (type == PictureType::Emf || type == PictureType::Wmf || type == PictureType::Pict) {
        PixelSize size = pictureSize(bytes, type);
        return render(bytes, type, size.width, size.height);
    }
    unsupported(type);
}

Image renderForSheet(std::string_view bytes, PictureType type, int widthPx, int heightPx) {
    return render(bytes, type, widthPx, heightPx);
}

std::string encodeEmf(std::string_view bytes, PictureType type, int widthPx, int heightPx, double widthPt,
                      double heightPt, const VisiblePart& visible) {
    if (type == PictureType::Emf) {
        std::string_view emf = checkedEmf(bytes);
        emfNaturalSize(emf);  // refuses a header with a hostile size
        if (!visible.any()) return withPlainAlphaBitmaps(emf);
        try {
            return croppedEmf(withPlainAlphaBitmaps(emf), visible);
        } catch (const ImagingError&) {
            // EMF+ alone, or no frame to cut: drawn and cut as a bitmap below
        }
    }
    if (type == PictureType::Wmf) return wmfToEmf(bytes, visible);
    if (type == PictureType::Pict) return visible.any() ? croppedEmf(pictToEmf(bytes), visible) : pictToEmf(bytes);
    return encodeEmfFromImage(render(bytes, type, widthPx, heightPx), widthPt, heightPt);
}

platform::Raster toRaster(const Image& image) {
    if (image.width <= 0 || image.height <= 0) return {};
    checkImageBudget(image.width, image.height, "the picture");
    if (image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
        throw ImagingError("the picture has a pixel buffer of the wrong size");
    platform::Raster out(image.width, image.height);
    const std::uint8_t* p = image.rgba.data();
    for (std::size_t i = 0; i < out.pixels.size(); ++i, p += 4) {
        const std::uint32_t a = p[3];
        auto over = [a](std::uint32_t c) { return static_cast<std::uint8_t>((c * a + 255 * (255 - a) + 127) / 255); };
        out.pixels[i] = platform::rgb(over(p[0]), over(p[1]), over(p[2]));
    }
    return out;
}

}  // namespace kelvaran::imaging
