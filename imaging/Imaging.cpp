#include "imaging/Imaging.h"

#include "imaging/Dib.h"
#include "imaging/Metafile.h"
#include "imaging/PixelBudget.h"
#include "imaging/VipsSupport.h"

namespace kelvaran::imaging {
namespace {

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
    if (exact && (img.width != minWidth || img.height != minHeight))
        return toImage(resizeExact(fromImage(img), minWidth, minHeight));
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
    checkPixelBudget(widthPx, heightPx, "the requested rendering");
    if (isVipsRaster(type)) {
        vips::VImage image = openRaster(bytes, type, widthPx, heightPx);
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
    checkPixelBudget(image.width, image.height, "the picture");
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
