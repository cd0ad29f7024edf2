#include "office/native/excel/DrawAheadGuess.h"

#include "office/native/PictureRendering.h"
#include "office/native/excel/SheetState.h"

#include <algorithm>

namespace kelvaran::office::native {

namespace {

// The sheet draws at 96 pixels to the inch: a picture's own pixels are this
// many points each.
constexpr double kPointsPerPixel = 72.0 / 96.0;

}  // namespace

void DrawAheadGuess::pasted(const formats::model::PictureData& picture, double widthPt, double heightPt,
                            std::optional<NearbyPicture> before, std::optional<NearbyPicture> after) {
    if (before_ && before_->picture.bytes == picture.bytes) backward_ = true;
    if (after_ && after_->picture.bytes == picture.bytes) backward_ = false;
    pastedBytes_ = picture.bytes;
    pastedWidthPt_ = widthPt;
    pastedHeightPt_ = heightPt;
    before_ = std::move(before);
    after_ = std::move(after);
    cutSeen_ = false;
}

void DrawAheadGuess::cut(const formats::model::PictureData& picture, double widthPt, double heightPt) {
    // Only the first cut of the picture just pasted tells the size it is
    // drawn at; later cuts are of its conversions.
    if (cutSeen_ || !pastedBytes_ || picture.bytes != pastedBytes_) return;
    cutSeen_ = true;
    if (!(pastedWidthPt_ > 0) || !(pastedHeightPt_ > 0)) return;
    const platform::ContentSummary own = summaryOf(picture);
    if ((own.visibleWidth > 0 && widthPt == own.visibleWidth * kPointsPerPixel) ||
        (own.visibleHeight > 0 && heightPt == own.visibleHeight * kPointsPerPixel)) {
        // Kept within its own pixels: the ratio says nothing of the next.
        capped_ = true;
        return;
    }
    ratioX_ = widthPt / pastedWidthPt_;
    ratioY_ = heightPt / pastedHeightPt_;
}

std::optional<JpegDrawing> DrawAheadGuess::nextDrawing(int quality) const {
    const std::optional<NearbyPicture>& coming = backward_ ? before_ : after_;
    if (!coming || !(ratioX_ > 0) || !(ratioY_ > 0)) return std::nullopt;
    const NearbyPicture& next = *coming;
    double widthPt = next.widthPt * ratioX_;
    double heightPt = next.heightPt * ratioY_;
    if (capped_) {
        const platform::ContentSummary own = summaryOf(next.picture);
        if (own.visibleWidth > 0) widthPt = std::min(widthPt, own.visibleWidth * kPointsPerPixel);
        if (own.visibleHeight > 0) heightPt = std::min(heightPt, own.visibleHeight * kPointsPerPixel);
    }
    if (!(widthPt > 0 && heightPt > 0 && widthPt <= kLargestSheetShapePt && heightPt <= kLargestSheetShapePt)) {
        return std::nullopt;
    }
    // Cut at that size, a shape larger than the largest page goes to the
    // clipboard without the rendering a JPEG is stored from.
    const RenderingSize size = clipboardRenderingSize(widthPt, heightPt);
    if (size.fitted) return std::nullopt;
    return straightJpegDrawing(next.picture, size.width, size.height, quality);
}

}  // namespace kelvaran::office::native
