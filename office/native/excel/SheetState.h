#pragma once

#include "formats/model/PictureData.h"
#include "imaging/Imaging.h"
#include "office/native/RenderAhead.h"
#include "office/native/excel/DrawAheadGuess.h"
#include "platform/Clipboard.h"
#include "platform/Host.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kelvaran::office::native {

// Excel's largest shape is a little over 169,000 points a side.
inline constexpr double kLargestSheetShapePt = 169056;

// A picture on the scratch sheet: its stored picture and its displayed size.
struct SheetPicture {
    formats::model::PictureData picture;
    double widthPt = 0;
    double heightPt = 0;
};

// The pictures of one worksheet, front-most last.
struct SheetState {
    std::vector<std::shared_ptr<SheetPicture>> pictures;
    bool saved = true;  // the workbook's Saved
};

// What the in-process Excel shares with its workbooks and sheets.
struct ExcelSession {
    explicit ExcelSession(platform::Clipboard& board);
    ExcelSession(const ExcelSession&) = delete;
    ExcelSession& operator=(const ExcelSession&) = delete;

    platform::Clipboard& clipboard;
    platform::EventPump* events = nullptr;  // runs the picture work; may be null
    std::int32_t windowState = -4143;  // xlNormal
    bool visible = false;
    bool quit = false;
    std::int32_t workbooks = 0;
    int jpegQuality = imaging::kDefaultJpegQuality;
    DrawAheadGuess guess;
    RenderAhead ahead;

    void checkRunning() const;
};

}  // namespace kelvaran::office::native
