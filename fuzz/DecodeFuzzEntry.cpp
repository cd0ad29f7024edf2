#include "fuzz/DecodeFuzzEntry.h"

#include "imaging/Imaging.h"

#include <stdexcept>
#include <string>

namespace kelvaran::imaging {
namespace {

void expectShape(const Image& image, int width, int height, const char* step) {
    if (image.width != width || image.height != height ||
        image.rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4)
        throw std::logic_error(std::string(step) + " returned a picture of the wrong shape");
}

}  // namespace

int exerciseDecoders(std::string_view bytes) {
    const PictureType type = sniff(bytes);
    int succeeded = 0;
    bool sized = false;
    try {
        PixelSize size = pictureSize(bytes, type);
        if (size.width <= 0 || size.height <= 0 ||
            static_cast<std::int64_t>(size.width) * size.height > kMaxPixels)
            throw std::logic_error("pictureSize returned a size outside the budget");
        ++succeeded;
        sized = true;
    } catch (const ImagingError&) {
    }
    Image small;
    try {
        small = render(bytes, type, 23, 17);
        expectShape(small, 23, 17, "render");
        ++succeeded;
    } catch (const ImagingError&) {
        return succeeded;
    }
    // Whatever decoded must survive every encoder and decode again.
    const std::string jpeg = encodeJpeg(small);
    expectShape(decode(jpeg, PictureType::Jpeg), 23, 17, "JPEG round trip");
    const std::string png = encodePng(small);
    expectShape(decode(png, PictureType::Png), 23, 17, "PNG round trip");
    const std::string gif = encodeGif(small);
    expectShape(decode(gif, PictureType::Gif), 23, 17, "GIF round trip");
    const std::string emf = encodeEmfFromImage(small, 17.25, 12.75);
    expectShape(render(emf, sniff(emf), 23, 17), 23, 17, "EMF round trip");
    // A metafile's own metafile-format picture (translated or kept) must
    // draw again.
    if (type == PictureType::Wmf || type == PictureType::Emf) {
        std::string stored;
        bool kept = true;
        try {
            stored = encodeEmf(bytes, type, 23, 17, 17.25, 12.75);
        } catch (const ImagingError&) {
            // A metafile whose own size was refused above may be drawn at a
            // size given from outside, but is not kept as it is.
            if (sized) throw;
            kept = false;
        }
        if (kept && sniff(stored) != PictureType::Emf) throw std::logic_error("encodeEmf gave no enhanced metafile");
        try {
            if (kept) expectShape(render(stored, PictureType::Emf, 23, 17), 23, 17, "metafile format");
        } catch (const ImagingError&) {
            // a drawing the converter cannot draw is refused, not a fault
        }
    }
    platform::Raster raster = toRaster(small);
    if (raster.width != 23 || raster.height != 17) throw std::logic_error("toRaster changed the size");
    return succeeded + 4;
}

}  // namespace kelvaran::imaging
