#include "office/native/excel/NativeSheetShape.h"

#include "office/OfficeError.h"
#include "office/native/ClipboardItems.h"
#include "office/native/LongWork.h"
#include "office/native/PictureRendering.h"

#include <algorithm>
#include <cmath>

namespace kelvaran::office::native {

namespace {

double sheetSize(double points) {
    // Excel's largest shape is a little over 169,000 points; a picture drawn
    // that large would be refused by the pixel budget anyway.
    if (!std::isfinite(points) || points <= 0 || points > 169056) throw OfficeError("the size is out of range");
    return points;
}

}  // namespace

NativeSheetShape::NativeSheetShape(std::shared_ptr<ExcelSession> session, std::shared_ptr<SheetState> sheet,
                                   std::shared_ptr<SheetPicture> picture)
    : session_(std::move(session)), sheet_(std::move(sheet)), picture_(std::move(picture)) {}

SheetPicture& NativeSheetShape::picture() {
    session_->checkRunning();
    if (std::find(sheet_->pictures.begin(), sheet_->pictures.end(), picture_) == sheet_->pictures.end()) {
        throw OfficeError("the shape is no longer on the sheet");
    }
    return *picture_;
}

void NativeSheetShape::remove() {
    sheet_->pictures.erase(std::remove(sheet_->pictures.begin(), sheet_->pictures.end(), picture_),
                           sheet_->pictures.end());
    sheet_->saved = false;
}

double NativeSheetShape::Width() { return picture().widthPt; }

void NativeSheetShape::setWidth(double width) {
    picture().widthPt = sheetSize(width);
    sheet_->saved = false;
}

double NativeSheetShape::Height() { return picture().heightPt; }

void NativeSheetShape::setHeight(double height) {
    picture().heightPt = sheetSize(height);
    sheet_->saved = false;
}

void NativeSheetShape::Cut() {
    const SheetPicture& current = picture();
    std::shared_ptr<const imaging::Image> rendering;
    whileWorking(session_->events, [&] {
        rendering = std::make_shared<const imaging::Image>(
            renderDisplayed(current.picture, pointsToPixels(current.widthPt), pointsToPixels(current.heightPt)));
    });
    SheetClip clip;
    clip.picture = current.picture;
    clip.widthPt = current.widthPt;
    clip.heightPt = current.heightPt;
    clip.rendering = rendering;
    platform::Raster raster = imaging::toRaster(*rendering);
    platform::ContentSummary summary = summaryOf(current.picture);
    session_->clipboard.setOnly(kSheetClipFormat, std::move(clip));
    session_->clipboard.setMetafileRendering(std::move(raster));
    session_->clipboard.setSummary(std::move(summary));
    remove();
}

void NativeSheetShape::Delete() {
    picture();
    remove();
}

}  // namespace kelvaran::office::native
