#include "office/native/PictureRendering.h"

#include "office/OfficeError.h"
#include "office/Word.h"
#include "platform/Conversions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelvaran::office::native {

namespace model = formats::model;

imaging::PictureType toImagingType(model::PictureFormat type) {
    switch (type) {
        case model::PictureFormat::Jpeg: return imaging::PictureType::Jpeg;
        case model::PictureFormat::Png: return imaging::PictureType::Png;
        case model::PictureFormat::Gif: return imaging::PictureType::Gif;
        case model::PictureFormat::Bmp: return imaging::PictureType::Bmp;
        case model::PictureFormat::Dib: return imaging::PictureType::Dib;
        case model::PictureFormat::Tiff: return imaging::PictureType::Tiff;
        case model::PictureFormat::Emf: return imaging::PictureType::Emf;
        case model::PictureFormat::Wmf: return imaging::PictureType::Wmf;
        case model::PictureFormat::Pict: return imaging::PictureType::Pict;
        case model::PictureFormat::Unknown: break;
    }
    return imaging::PictureType::Unknown;
}

model::PictureFormat toModelType(imaging::PictureType type) {
    switch (type) {
        case imaging::PictureType::Jpeg: return model::PictureFormat::Jpeg;
        case imaging::PictureType::Png: return model::PictureFormat::Png;
        case imaging::PictureType::Gif: return model::PictureFormat::Gif;
        case imaging::PictureType::Bmp: return model::PictureFormat::Bmp;
        case imaging::PictureType::Dib: return model::PictureFormat::Dib;
        case imaging::PictureType::Tiff: return model::PictureFormat::Tiff;
        case imaging::PictureType::Emf: return model::PictureFormat::Emf;
        case imaging::PictureType::Wmf: return model::PictureFormat::Wmf;
        case imaging::PictureType::Pict: return model::PictureFormat::Pict;
        case imaging::PictureType::Unknown: break;
    }
    return model::PictureFormat::Unknown;
}

int pointsToPixels(double points) {
    if (!std::isfinite(points) || points <= 0) return 1;
    // Sizes beyond any page are refused further down by the pixel budget;
    // clamping here only keeps the conversion defined.
    const double pixels = std::min(points * 96.0 / 72.0, 1.0e6);
    return std::max(1, platform::toInt32(pixels));
}

RenderingSize clipboardRenderingSize(double widthPt, double heightPt) {
    const double scale = word::largestPageScale(widthPt, heightPt);
    return {pointsToPixels(widthPt * scale), pointsToPixels(heightPt * scale), scale < 1};
}

namespace {

// The picture's type, from its own bytes when the model does not say.
imaging::PictureType drawnType(const model::PictureData& picture, int widthPx, int heightPx) {
    if (picture.empty()) throw OfficeError("the object has no picture to draw");
    if (widthPx <= 0 || heightPx <= 0) throw OfficeError("the picture has no size to draw at");
    const imaging::PictureType type = toImagingType(picture.type);
    return type == imaging::PictureType::Unknown ? imaging::sniff(*picture.bytes) : type;
}

// Whether the crop is one the drawing honours: it keeps some of the picture
// and no side reaches absurdly far outward.
bool drawnCropped(const model::Crop& crop) {
    const double keptX = 1.0 - crop.left - crop.right;
    const double keptY = 1.0 - crop.top - crop.bottom;
    return crop.any() && std::isfinite(keptX) && std::isfinite(keptY) && keptX > 0.01 && keptY > 0.01 &&
           crop.left > -10 && crop.top > -10 && crop.right > -10 && crop.bottom > -10;
}

imaging::Image renderCropped(const model::PictureData& picture, imaging::PictureType type, int widthPx,
                             int heightPx) {
    // Render the whole picture at the scale the visible part is shown at,
    // then cut the visible part out.  Negative crops (a margin around the
    // picture) leave white space.
    const model::Crop& crop = picture.crop;
    const int fullW = std::max(1, platform::toInt32(widthPx / (1.0 - crop.left - crop.right)));
    const int fullH = std::max(1, platform::toInt32(heightPx / (1.0 - crop.top - crop.bottom)));
    const imaging::Image full = imaging::render(*picture.bytes, type, fullW, fullH);
    imaging::Image out;
    out.width = widthPx;
    out.height = heightPx;
    out.rgba.assign(static_cast<std::size_t>(widthPx) * static_cast<std::size_t>(heightPx) * 4, 0);
    const int offsetX = platform::toInt32(crop.left * fullW);
    const int offsetY = platform::toInt32(crop.top * fullH);
    for (int y = 0; y < heightPx; ++y) {
        const int sy = y + offsetY;
        if (sy < 0 || sy >= full.height) continue;
        for (int x = 0; x < widthPx; ++x) {
            const int sx = x + offsetX;
            if (sx < 0 || sx >= full.width) continue;
            std::memcpy(&out.rgba[(static_cast<std::size_t>(y) * widthPx + x) * 4],
                        &full.rgba[(static_cast<std::size_t>(sy) * full.width + sx) * 4], 4);
        }
    }
    return out;
}

// Runs a drawing step, its failures told as the office tells them.
template <typename Fn>
auto drawing(Fn&& fn) -> decltype(fn()) {
    try {
        return fn();
    } catch (const imaging::ImagingError& error) {
        throw OfficeError(error.what());
    } catch (const platform::Failure& error) {
        throw OfficeError(error.what());
    }
}

}  // namespace

imaging::Image renderDisplayed(const model::PictureData& picture, int widthPx, int heightPx) {
    const imaging::PictureType type = drawnType(picture, widthPx, heightPx);
    return drawing([&] {
        if (drawnCropped(picture.crop)) return renderCropped(picture, type, widthPx, heightPx);
        return imaging::render(*picture.bytes, type, widthPx, heightPx);
    });
}

imaging::Image renderDisplayedCorner(const model::PictureData& picture, int widthPx, int heightPx,
                                     int cornerWidth, int cornerHeight) {
    const imaging::PictureType type = drawnType(picture, widthPx, heightPx);
    return drawing([&] {
        if (drawnCropped(picture.crop)) {
            return imaging::cornerOf(renderCropped(picture, type, widthPx, heightPx), cornerWidth, cornerHeight);
        }
        return imaging::renderCorner(*picture.bytes, type, widthPx, heightPx, cornerWidth, cornerHeight);
    });
}

LazyRendering::LazyRendering(model::PictureData picture, int widthPx, int heightPx)
    : width(widthPx), height(heightPx), picture_(std::move(picture)) {}

const imaging::Image& LazyRendering::image() {
    if (!image_) image_ = renderDisplayed(picture_, width, height);
    return *image_;
}

std::optional<JpegDrawing> straightJpegDrawing(const model::PictureData& picture, int widthPx, int heightPx,
                                               int quality) {
    if (picture.empty() || widthPx <= 0 || heightPx <= 0 || drawnCropped(picture.crop)) return std::nullopt;
    const imaging::PictureType type = toImagingType(picture.type);
    if (type != imaging::PictureType::Jpeg && type != imaging::PictureType::Png &&
        type != imaging::PictureType::Gif && type != imaging::PictureType::Tiff) {
        return std::nullopt;
    }
    return JpegDrawing{picture.bytes, type, widthPx, heightPx, quality};
}

std::optional<std::string> LazyRendering::jpeg(int quality, RenderAhead* ahead) {
    if (image_ || drawnCropped(picture_.crop)) return std::nullopt;
    const imaging::PictureType type = drawnType(picture_, width, height);
    if (ahead) {
        if (auto bytes = ahead->take(JpegDrawing{picture_.bytes, type, width, height, quality})) return bytes;
    }
    return drawing([&] { return imaging::renderJpeg(*picture_.bytes, type, width, height, quality); });
}

imaging::Image LazyRendering::corner(int cornerWidth, int cornerHeight) {
    if (image_) return imaging::cornerOf(*image_, cornerWidth, cornerHeight);
    return renderDisplayedCorner(picture_, width, height, cornerWidth, cornerHeight);
}

model::PictureData storedInDocument(const model::PictureData& picture) {
    if (picture.type != model::PictureFormat::Gif || picture.empty()) return picture;
    try {
        const imaging::Image image = imaging::decode(*picture.bytes, imaging::PictureType::Gif);
        model::PictureData stored = picture;
        stored.type = model::PictureFormat::Png;
        stored.bytes = model::shareBytes(imaging::encodePng(image));
        stored.pixelWidth = image.width;
        stored.pixelHeight = image.height;
        return stored;
    } catch (const imaging::ImagingError& error) {
        throw OfficeError(std::string("the GIF picture cannot be stored in the document: ") + error.what());
    } catch (const platform::Failure& error) {
        throw OfficeError(std::string("the GIF picture cannot be stored in the document: ") + error.what());
    }
}

platform::ContentSummary summaryOf(const model::PictureData& picture) {
    platform::ContentSummary summary;
    summary.pictureType = imaging::typeName(toImagingType(picture.type));
    summary.bytes = picture.size();
    summary.pixelWidth = picture.pixelWidth;
    summary.pixelHeight = picture.pixelHeight;
    const bool drawing = picture.type == model::PictureFormat::Emf || picture.type == model::PictureFormat::Wmf ||
                         picture.type == model::PictureFormat::Pict;
    if (!drawing && picture.pixelWidth > 0 && picture.pixelHeight > 0) {
        // The crop may reach outward (negative): that adds no pixels.
        auto shown = [](int pixels, double before, double after) {
            const double part = 1.0 - std::clamp(before, 0.0, 1.0) - std::clamp(after, 0.0, 1.0);
            return std::max(1, static_cast<int>(std::floor(pixels * std::max(part, 0.0) + 1e-6)));
        };
        summary.visibleWidth = shown(picture.pixelWidth, picture.crop.left, picture.crop.right);
        summary.visibleHeight = shown(picture.pixelHeight, picture.crop.top, picture.crop.bottom);
    }
    summary.picture = picture.bytes;
    return summary;
}

}  // namespace kelvaran::office::native
