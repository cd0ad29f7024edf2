#include "imaging/Imaging.h"
#include "imaging/PixelBudget.h"
#include "imaging/VipsSupport.h"

#include <cstring>
#include <unordered_set>

namespace kelvaran::imaging {
namespace {

std::string blobText(VipsBlob* blob) {
    std::size_t size = 0;
    const void* data = vips_blob_get(blob, &size);
    std::string out(static_cast<const char*>(data), size);
    vips_area_unref(VIPS_AREA(blob));
    return out;
}

// Number of distinct RGBA values, counting stops at limit + 1.  Fully
// transparent pixels all count as one colour, whatever their RGB.
std::size_t countColours(const Image& image, std::size_t limit) {
    std::unordered_set<std::uint32_t> seen;
    seen.reserve(limit * 2 + 2);
    const std::uint8_t* p = image.rgba.data();
    const std::size_t n = image.rgba.size() / 4;
    for (std::size_t i = 0; i < n; ++i, p += 4) {
        std::uint32_t key = p[3] == 0 ? 0 : (p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
        if (seen.insert(key).second && seen.size() > limit) break;
    }
    return seen.size();
}

// The bands to save: RGB when nothing is transparent, RGBA otherwise.
vips::VImage saveBands(const Image& image, bool transparent) {
    vips::VImage v = fromImage(image);
    return transparent ? v : v.extract_band(0, vips::VImage::option()->set("n", 3));
}

bool samePixels(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size()) return false;
    for (std::size_t i = 0; i < a.rgba.size(); i += 4) {
        if (a.rgba[i + 3] != b.rgba[i + 3]) return false;
        if (a.rgba[i + 3] != 0 && std::memcmp(&a.rgba[i], &b.rgba[i], 3) != 0) return false;
    }
    return true;
}

void checkImage(const Image& image) {
    checkImageBudget(image.width, image.height, "the picture to encode");
    if (image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
        throw ImagingError("the picture to encode has a pixel buffer of the wrong size");
}

}  // namespace

std::string jpegBytes(vips::VImage image, int quality) {
    VipsBlob* blob = image.jpegsave_buffer(vips::VImage::option()
                                               ->set("Q", quality)
                                               ->set("optimize_coding", TRUE)
                                               ->set("interlace", FALSE)
                                               ->set("subsample_mode", VIPS_FOREIGN_SUBSAMPLE_ON)
                                               ->set("strip", TRUE));
    return blobText(blob);
}

bool Image::hasTransparency() const {
    for (std::size_t i = 3; i < rgba.size(); i += 4)
        if (rgba[i] != 255) return true;
    return false;
}

std::string encodeJpeg(const Image& image, int quality) {
    checkImage(image);
    if (quality < 1 || quality > 100) throw ImagingError("a JPEG quality must lie between 1 and 100");
    return withVips("the JPEG picture cannot be written", [&] {
        // No transparency in JPEG: what is transparent comes out black.
        vips::VImage flat = image.hasTransparency()
                                ? fromImage(image).flatten(
                                      vips::VImage::option()->set("background", std::vector<double>{0, 0, 0}))
                                : saveBands(image, false);
        return jpegBytes(watched(flat.cast(VIPS_FORMAT_UCHAR)), quality);
    });
}

std::string encodePng(const Image& image) {
    checkImage(image);
    const bool transparent = image.hasTransparency();
    const std::size_t colours = countColours(image, 256);
    return withVips("the PNG picture cannot be written", [&] {
        vips::VImage bands = watched(saveBands(image, transparent));
        auto truecolour = [&] {
            return blobText(bands.pngsave_buffer(
                vips::VImage::option()->set("compression", 9)->set("strip", TRUE)->set("interlace", FALSE)));
        };
        if (colours > 256) return truecolour();
        const int depth = colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
        std::string indexed = blobText(bands.pngsave_buffer(vips::VImage::option()
                                                                ->set("compression", 9)
                                                                ->set("strip", TRUE)
                                                                ->set("interlace", FALSE)
                                                                ->set("palette", TRUE)
                                                                ->set("Q", 100)
                                                                ->set("dither", 0.0)
                                                                ->set("effort", 10)
                                                                ->set("bitdepth", depth)));
        // The quantiser is not bound to keep every colour of a small
        // palette; a palette that lost one is not worth the bytes saved.
        if (!samePixels(decode(indexed, PictureType::Png), image)) return truecolour();
        return indexed;
    });
}

std::string encodeGif(const Image& image) {
    checkImage(image);
    const bool transparent = image.hasTransparency();
    return withVips("the GIF picture cannot be written", [&] {
        vips::VImage bands = watched(saveBands(image, transparent));
        VipsBlob* blob = bands.gifsave_buffer(vips::VImage::option()
                                                  ->set("dither", 1.0)
                                                  ->set("effort", 7)
                                                  ->set("bitdepth", 8)
                                                  ->set("strip", TRUE));
        return blobText(blob);
    });
}

}  // namespace kelvaran::imaging
