// The measuring steps and the conversion pass on the scratch sheet, shared by
// the inline and the floating conversion.

#include "engine/Checked.h"
#include "engine/Engine.h"
#include "platform/Conversions.h"
#include "platform/Deadline.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

#include <algorithm>

namespace kelvaran::engine {

namespace word = office::word;
namespace excel = office::excel;

std::string Engine::pasteFormatFor(const std::string& formatName) {
    if (formatName == kFormatJpeg) return excel::formats::kJpeg;
    if (formatName == kFormatPng) return excel::formats::kPng;
    if (formatName == kFormatGif) return excel::formats::kGif;
    if (formatName == kFormatMetafile) return excel::formats::kMetafile;
    return {};
}

// Pastes the clipboard's content alone into the empty scratch document, saves
// that under `path` and returns the growth of the file over the empty one.
// When the office can tell the size the file would have without writing it,
// that size stands for the saved file's: the same number without a file for
// every object.
//
// Every later measurement relies on the scratch document being empty, so a
// failure on the way empties it before it travels on.
double Engine::measureClipboard(const std::string& path, bool loadReference) {
    auto& scratch = obj(state_.scratchDoc);
    double size = 0;
    try {
        obj(scratch.Range(0)).Paste();
        if (const auto told = scratch.SizeIfSaved()) {
            size = *told - state_.emptyDocSize;
        } else {
            scratch.SaveAs(path);
            if (!state_.fileSystem) throw platform::FileSystemError("no file system");
            size = state_.fileSystem->GetFile(scratch.FullName()).Size - state_.emptyDocSize;
        }
    } catch (...) {
        emptyScratchDocument();
        throw;
    }
    if (loadReference) LoadReferencePicture();
    obj(scratch.Range(0)).Delete();
    platform::checkDeadline();
    return size;
}

platform::Deadline Engine::objectDeadline() {
    return platform::Deadline(platform::pictureSecondsBudget(), "converting the object");
}

void Engine::emptyScratchDocument() {
    attempt([&] { obj(obj(state_.scratchDoc).Range(0)).Delete(); });
}

double Engine::fileSizeThreshold() { return platform::textToDouble(conditions_.FileSizeText()) * 1024; }

std::string Engine::mainFormatName(bool useMetafile) {
    switch (conditions_.FormatIndex()) {
        case 0: return useMetafile ? kFormatMetafile : kFormatJpeg;
        case 1: return kFormatJpeg;
        case 2: return kFormatPng;
        case 3: return kFormatGif;
        case 4: return kFormatMetafile;
        default: throw platform::Failure("no main format at this list position");
    }
}

bool Engine::fallbackApplies(const std::string& formatLabel) {
    return conditions_.FormatIndex() == 0 && formatLabel == kFormatJpeg && IsPictureBlackened(0.05);
}

bool Engine::recompressionApplies(const std::string& objectKind) {
    return conditions_.Recompress() && conditions_.FormatIndex() == 0 && objectKind != kPicture;
}

bool Engine::accepted(double oldSize, double newSize) {
    if (oldSize == 0) throw platform::Failure("the old object has no measurable size");
    const double rate = newSize / oldSize * 100;
    return platform::textToDouble(conditions_.ExpectRateText()) > rate;
}

void Engine::emptyScratchSheet() {
    attempt([&] {
        auto shapes = obj(state_.scratchSheet).Shapes();
        const std::int32_t left = obj(shapes).count();
        for (std::int32_t k = 0; k < left; ++k) obj(obj(shapes).item(1)).Delete();
    });
}

void Engine::conversionPass(const std::string& objectKind, double displayWidth, double displayHeight,
                            bool useMetafile, std::string& formatLabel, PassTiming timing) {
    auto& sheet = obj(state_.scratchSheet);
    auto firstShape = [&] { return need(obj(sheet.Shapes()).item(1)); };
    auto pasteAs = [&](const std::string& name) {
        const std::string format = pasteFormatFor(name);
        if (format == excel::formats::kJpeg && conditions_.JpegQuality() > 0) {
            obj(state_.appEXCEL).setJpegQuality(conditions_.JpegQuality());
        }
        // An exception list can name a format the table does not know: then
        // there is nothing to paste and the object stays as it is.
        if (format.empty()) throw platform::Failure("unknown image format \"" + name + "\"");
        sheet.PasteSpecial(format, false, false);
        formatLabel = name;
    };
    try {
        if (objectKind == kPicture) {
            sheet.Paste(false);
        } else {
            pasteAs(rules_.ObjToImage(objectKind));
        }
        if (timing == PassTiming::Floating) SlowModeWait();

        // Drawn at the resolution it has on the largest page Word allows at
        // most: a larger object (which no page shows whole) is drawn at that
        // page's size, aspect kept, and still takes its displayed size below.
        const double ratio =
            platform::textToDouble(conditions_.RatioText()) * word::largestPageScale(displayWidth, displayHeight);
        double drawnWidth = ratio * displayWidth;
        double drawnHeight = ratio * displayHeight;
        keepWithinSourcePixels(drawnWidth, drawnHeight);
        firstShape()->setWidth(drawnWidth);
        firstShape()->setHeight(drawnHeight);
        firstShape()->Cut();
        if (timing == PassTiming::Inline) {
            timer_.pauseForOffice(100);
            SlowModeWait();
        }

        if (objectKind != kPicture) {
            sheet.Paste(false);
        } else {
            pasteAs(mainFormatName(useMetafile));
        }
        if (timing == PassTiming::Inline) timer_.pauseForOffice(100);
        SlowModeWait();

        firstShape()->setWidth(displayWidth);
        firstShape()->setHeight(displayHeight);
        firstShape()->Cut();
        obj(state_.scratchBook).setSaved(true);
        passesTried_.push_back(formatLabel);
        candidate_ = clipboard_.summary();
        passBytes_.push_back(candidate_ ? static_cast<double>(candidate_->bytes) : 0.0);
        platform::checkDeadline();
    } catch (...) {
        // The next pass works on item 1 of the sheet: leave nothing behind.
        emptyScratchSheet();
        throw;
    }
}

// The scratch sheet draws a shape at 96 pixels to the inch, so a size of
// N * 72 / 96 points is drawn N pixels wide.  Without a pixel size of the
// source (a metafile, or a picture the office could not describe) nothing
// is capped.
void Engine::keepWithinSourcePixels(double& widthPt, double& heightPt) {
    if (!conditions_.NoEnlarge() || !original_) return;
    constexpr double kPointsPerPixel = 72.0 / 96.0;
    if (original_->visibleWidth > 0) widthPt = std::min(widthPt, original_->visibleWidth * kPointsPerPixel);
    if (original_->visibleHeight > 0) heightPt = std::min(heightPt, original_->visibleHeight * kPointsPerPixel);
}

void Engine::writeLogLine(std::int32_t pageNumber, const std::string& objectKind, double displayWidth,
                          double displayHeight, const std::string& formatLabel, const std::string& verb,
                          double oldSize, double newSize) {
    std::string line = "ページ ";
    line += std::to_string(pageNumber);
    line += '\t';
    line += objectKind;
    line += " (表示ｻｲｽﾞ=";
    line += std::to_string(platform::roundHalfEven(displayWidth));
    line += "x";
    line += std::to_string(platform::roundHalfEven(displayHeight));
    line += ") を";
    line += formatLabel;
    line += verb;
    line += std::to_string(platform::roundHalfEven(oldSize / 1024));
    line += "KB->";
    line += std::to_string(platform::roundHalfEven(newSize / 1024));
    line += "KB)  \r\n";
    display_.appendLog(line);
}

}  // namespace kelvaran::engine
