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
    // A picture drawn as large as the largest shape would be refused by the
    // pixel budget anyway.
    if (!std::isfinite(points) || points <= 0 || points > kLargestSheetShapePt) {
        throw OfficeError("the size is out of range");
    }
    return points;
}

bool isMetafile(const formats::model::PictureData& picture) {
    return picture.type == formats::model::PictureFormat::Emf || picture.type == formats::model::PictureFormat::Wmf ||
           picture.type == formats::model::PictureFormat::Pict ||
           (picture.type == formats::model::PictureFormat::Unknown && !picture.empty());
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
    session_->guess.cut(current.picture, current.widthPt, current.heightPt);
    SheetClip clip;
    clip.picture = current.picture;
    clip.widthPt = current.widthPt;
    clip.heightPt = current.heightPt;
    // The clipboard's rendering shows the shape at most as large as the
    // largest page.  A shape that fits is drawn at most once, and a paste on
    // the sheet takes its pixels from that drawing; a larger one is drawn at
    // its own size only when it is pasted on the sheet again.  Nothing is
    // drawn here: a comparison needs only the rendering's corner, and a paste
    // draws what it takes.  A metafile is drawn at once all the same, so that
    // one that cannot be drawn fails the cut and not later.
    const RenderingSize size = clipboardRenderingSize(current.widthPt, current.heightPt);
    auto rendering = std::make_shared<LazyRendering>(current.picture, size.width, size.height);
    if (isMetafile(current.picture)) whileWorking(session_->events, [&] { rendering->image(); });
    if (!size.fitted) clip.rendering = rendering;
    platform::ContentSummary summary = summaryOf(current.picture);
    platform::EventPump* events = session_->events;
    auto whole = [rendering, events]() -> std::optional<platform::Raster> {
        std::optional<platform::Raster> raster;
        whileWorking(events, [&] { raster = imaging::toRaster(rendering->image()); });
        return raster;
    };
    auto corner = [rendering, events](int width, int height) -> std::optional<platform::Raster> {
        std::optional<platform::Raster> raster;
        whileWorking(events, [&] { raster = imaging::toRaster(rendering->corner(width, height)); });
        return raster;
    };
    session_->clipboard.setOnly(kSheetClipFormat, std::move(clip));
    session_->clipboard.setMetafileRenderingDrawers(std::move(whole), std::move(corner));
    session_->clipboard.setSummary(std::move(summary));
    remove();
}

void NativeSheetShape::Delete() {
    picture();
    remove();
}

}  // namespace kelvaran::office::native
