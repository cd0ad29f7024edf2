#include "office/native/excel/NativeWorksheet.h"

#include "office/OfficeError.h"
#include "office/native/ClipboardItems.h"
#include "office/native/LongWork.h"
#include "office/native/PictureRendering.h"
#include "office/native/excel/NativeSheetShapes.h"
#include "platform/Conversions.h"

#include <any>
#include <optional>

namespace kelvaran::office::native {

namespace model = formats::model;

namespace {

// What a paste starts from: a picture, its displayed size and, when the
// clipboard brought one, its rendering at that size.
struct Source {
    model::PictureData picture;
    double widthPt = 0;
    double heightPt = 0;
    std::shared_ptr<LazyRendering> rendering;
    // Around a picture copied from Word: the pictures before and after it.
    std::optional<NearbyPicture> pictureBefore;
    std::optional<NearbyPicture> pictureAfter;
};

Source sourceOnClipboard(const platform::Clipboard& clipboard) {
    const std::any sheetData = clipboard.data(kSheetClipFormat);
    if (const auto* sheet = std::any_cast<SheetClip>(&sheetData)) {
        return Source{sheet->picture, sheet->widthPt, sheet->heightPt, sheet->rendering, std::nullopt, std::nullopt};
    }
    const std::any wordData = clipboard.data(kWordClipFormat);
    if (const auto* word = std::any_cast<WordClip>(&wordData)) {
        for (const auto& object : word->inlines) {
            if (!object.picture.empty()) {
                return Source{object.picture, object.widthPt, object.heightPt, nullptr, word->pictureBefore,
                              word->pictureAfter};
            }
        }
        for (const auto& shape : word->shapes) {
            if (!shape.shape.picture.empty()) {
                return Source{shape.shape.picture, shape.shape.widthPt, shape.shape.heightPt, nullptr, std::nullopt,
                              std::nullopt};
            }
        }
        throw OfficeError("the copied object has no picture to paste");
    }
    throw OfficeError("the clipboard holds nothing that can be pasted on the sheet");
}

// The source drawn at its displayed size, 96 pixels per inch: the cut's
// rendering when it brought one, otherwise drawn into `own`.
const imaging::Image& renderingOf(const Source& source, std::optional<imaging::Image>& own) {
    if (source.rendering) return source.rendering->image();
    own = renderDisplayed(source.picture, pointsToPixels(source.widthPt), pointsToPixels(source.heightPt));
    return *own;
}

SheetPicture encoded(int width, int height, imaging::PictureType type, std::string bytes) {
    SheetPicture picture;
    picture.picture.type = toModelType(type);
    picture.picture.bytes = model::shareBytes(std::move(bytes));
    picture.picture.pixelWidth = width;
    picture.picture.pixelHeight = height;
    picture.widthPt = width * 72.0 / 96.0;
    picture.heightPt = height * 72.0 / 96.0;
    picture.picture.naturalWidthPt = picture.widthPt;
    picture.picture.naturalHeightPt = picture.heightPt;
    return picture;
}

SheetPicture encoded(const imaging::Image& image, imaging::PictureType type, std::string bytes) {
    return encoded(image.width, image.height, type, std::move(bytes));
}

// Metafiles stay drawings, cropped ones too: an EMF as it is, a WMF and a
// PICT translated.
bool isVectorMetafile(const model::PictureData& picture) {
    if (picture.empty()) return false;
    return picture.type == model::PictureFormat::Emf || picture.type == model::PictureFormat::Pict ||
           picture.type == model::PictureFormat::Wmf;
}

// Stores a rendering in one of the four sheet formats.  An enhanced metafile
// made from a vector metafile source keeps the drawing.
SheetPicture store(const Source& source, const imaging::Image& image, imaging::PictureType format,
                   int jpegQuality = imaging::kDefaultJpegQuality) {
    try {
        switch (format) {
            case imaging::PictureType::Jpeg: return encoded(image, format, imaging::encodeJpeg(image, jpegQuality));
            case imaging::PictureType::Png: return encoded(image, format, imaging::encodePng(image));
            case imaging::PictureType::Gif: return encoded(image, format, imaging::encodeGif(image));
            case imaging::PictureType::Emf: {
                const double widthPt = image.width * 72.0 / 96.0;
                const double heightPt = image.height * 72.0 / 96.0;
                if (isVectorMetafile(source.picture)) {
                    const model::Crop& crop = source.picture.crop;
                    return encoded(image, format,
                                   imaging::encodeEmf(*source.picture.bytes, toImagingType(source.picture.type),
                                                      image.width, image.height, widthPt, heightPt,
                                                      {crop.left, crop.top, crop.right, crop.bottom}));
                }
                return encoded(image, format, imaging::encodeEmfFromImage(image, widthPt, heightPt));
            }
            default: break;
        }
    } catch (const platform::Failure& failure) {
        throw OfficeError(std::string("the picture cannot be stored: ") + failure.what());
    }
    throw OfficeError("the sheet cannot store pictures of that format");
}

imaging::PictureType formatNamed(const std::string& name) {
    if (name == excel::formats::kJpeg) return imaging::PictureType::Jpeg;
    if (name == excel::formats::kPng) return imaging::PictureType::Png;
    if (name == excel::formats::kGif) return imaging::PictureType::Gif;
    if (name == excel::formats::kMetafile) return imaging::PictureType::Emf;
    throw OfficeError("the clipboard offers no format named \"" + name + "\"");
}

}  // namespace

NativeWorksheet::NativeWorksheet(std::shared_ptr<ExcelSession> session, std::shared_ptr<SheetState> sheet)
    : session_(std::move(session)), sheet_(std::move(sheet)) {}

void NativeWorksheet::place(SheetPicture picture) {
    sheet_->pictures.push_back(std::make_shared<SheetPicture>(std::move(picture)));
    sheet_->saved = false;
}

void NativeWorksheet::Paste(bool link) {
    session_->checkRunning();
    if (link) throw OfficeError("pasting a link is not available on the scratch sheet");
    const Source source = sourceOnClipboard(session_->clipboard);
    if (!session_->clipboard.hasFormat(kSheetClipFormat)) {
        // A Word object arrives as it is: its own picture at its displayed size.
        session_->guess.pasted(source.picture, source.widthPt, source.heightPt, source.pictureBefore,
                               source.pictureAfter);
        place(SheetPicture{source.picture, source.widthPt, source.heightPt});
        return;
    }
    // A cut sheet picture comes back from its rendering, stored again in its
    // own format (an enhanced metafile for either metafile; PNG for the
    // other bitmap kinds), so its pixels are those of the size it was cut at.
    imaging::PictureType format = imaging::PictureType::Png;
    switch (source.picture.type) {
        case model::PictureFormat::Jpeg: format = imaging::PictureType::Jpeg; break;
        case model::PictureFormat::Gif: format = imaging::PictureType::Gif; break;
        case model::PictureFormat::Emf:
        case model::PictureFormat::Wmf:
        case model::PictureFormat::Pict: format = imaging::PictureType::Emf; break;
        default: break;
    }
    SheetPicture picture;
    whileWorking(session_->events, [&] {
        std::optional<imaging::Image> own;
        picture = store(source, renderingOf(source, own), format);
    });
    picture.widthPt = source.widthPt;
    picture.heightPt = source.heightPt;
    place(std::move(picture));
}

void NativeWorksheet::PasteSpecial(const std::string& Format, bool link, bool DisplayAsIcon) {
    session_->checkRunning();
    if (link) throw OfficeError("pasting a link is not available on the scratch sheet");
    if (DisplayAsIcon) throw OfficeError("pictures cannot be shown as icons on the scratch sheet");
    const imaging::PictureType format = formatNamed(Format);
    const Source source = sourceOnClipboard(session_->clipboard);
    SheetPicture picture;
    const int quality = session_->jpegQuality;
    whileWorking(session_->events, [&] {
        // A photo cut from the sheet goes from its bytes to the JPEG in one
        // pass, without its rendering held in between: the same bytes.  The
        // next picture of the document is drawn meanwhile on another core,
        // and this one may have been drawn so while the one before was.
        if (format == imaging::PictureType::Jpeg && source.rendering) {
            if (auto next = session_->guess.nextDrawing(quality)) session_->ahead.start(std::move(*next));
            if (auto bytes = source.rendering->jpeg(quality, &session_->ahead)) {
                picture = encoded(source.rendering->width, source.rendering->height, format, std::move(*bytes));
                return;
            }
        }
        std::optional<imaging::Image> own;
        picture = store(source, renderingOf(source, own), format, quality);
    });
    place(std::move(picture));
}

excel::ShapesPtr NativeWorksheet::Shapes() {
    session_->checkRunning();
    return std::make_shared<NativeSheetShapes>(session_, sheet_);
}

}  // namespace kelvaran::office::native
