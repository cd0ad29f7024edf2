#pragma once

// The bridge between the document model's pictures and the imaging library.

#include "formats/model/PictureData.h"
#include "imaging/Imaging.h"
#include "office/native/RenderAhead.h"
#include "platform/Clipboard.h"

#include <optional>

namespace kelvaran::office::native {

imaging::PictureType toImagingType(formats::model::PictureFormat type);
formats::model::PictureFormat toModelType(imaging::PictureType type);

// Pixels for a length in points at 96 pixels per inch, at least one.
int pointsToPixels(double points);

// The pixel size of the rendering that goes to the clipboard with a shape
// displayed at widthPt x heightPt: its size at 96 pixels per inch, scaled
// down (aspect kept) to fit the largest page Word allows when it is larger.
// `fitted` tells whether it was scaled down.
struct RenderingSize {
    int width = 1;
    int height = 1;
    bool fitted = false;
};
RenderingSize clipboardRenderingSize(double widthPt, double heightPt);

// The picture as it is displayed at widthPx x heightPx: crop applied, then
// scaled to that size.  Throws OfficeError when the picture cannot be drawn.
imaging::Image renderDisplayed(const formats::model::PictureData& picture, int widthPx, int heightPx);

// The top-left part, at most cornerWidth x cornerHeight pixels, of
// renderDisplayed(picture, widthPx, heightPx): the same pixels, computed only
// as far as the corner needs where the decoder allows.
imaging::Image renderDisplayedCorner(const formats::model::PictureData& picture, int widthPx, int heightPx,
                                     int cornerWidth, int cornerHeight);

// What LazyRendering(picture, widthPx, heightPx).jpeg(quality) draws when it
// stores the picture straight as JPEG: nothing when it would not (a crop to
// apply, a picture that is no raster libvips decodes).
std::optional<JpegDrawing> straightJpegDrawing(const formats::model::PictureData& picture, int widthPx,
                                               int heightPx, int quality);

// A picture's rendering at a pixel size, drawn when it is first needed and
// then kept.  Its corner alone is drawn without the rest while the whole has
// not been asked for.  Both throw OfficeError as renderDisplayed does; a
// failed drawing is tried again at the next call.
class LazyRendering {
public:
    LazyRendering(formats::model::PictureData picture, int widthPx, int heightPx);

    const imaging::Image& image();
    imaging::Image corner(int cornerWidth, int cornerHeight);
    // The rendering stored as JPEG straight from the picture, the same bytes
    // as encoding image(), while the rendering is not drawn yet and the
    // picture is one drawn that way (see imaging::renderJpeg); nothing else.
    // Taken from `ahead` when it was drawn there.
    std::optional<std::string> jpeg(int quality, RenderAhead* ahead = nullptr);

    const int width;
    const int height;

private:
    formats::model::PictureData picture_;
    std::optional<imaging::Image> image_;
};

// The picture as a document keeps it.  Neither document format has a GIF
// type, so a GIF becomes a PNG of exactly the same pixels (as Word stores
// them); every other picture stays as it is.  Throws OfficeError when a GIF
// cannot be read.
formats::model::PictureData storedInDocument(const formats::model::PictureData& picture);

// What the run's clipboard tells of a single stored picture: its encoding,
// bytes and pixel size.
platform::ContentSummary summaryOf(const formats::model::PictureData& picture);

}  // namespace kelvaran::office::native
