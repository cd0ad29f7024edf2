#include "office/native/excel/NativeWorkbook.h"

#include "office/OfficeError.h"
#include "office/native/excel/NativeWorksheet.h"

namespace kelvaran::office::native {

NativeWorkbook::NativeWorkbook(std::shared_ptr<ExcelSession> session)
    : session_(std::move(session)), sheet_(std::make_shared<SheetState>()) {}

excel::WorksheetPtr NativeWorkbook::Worksheets(std::int16_t index) {
    session_->checkRunning();
    if (index != 1) throw OfficeError("the scratch workbook has one worksheet");
    return std::make_shared<NativeWorksheet>(session_, sheet_);
}

bool NativeWorkbook::Saved() {
    session_->checkRunning();
    return sheet_->saved;
}

void NativeWorkbook::setSaved(bool saved) {
    session_->checkRunning();
    sheet_->saved = saved;
}

}  // namespace kelvaran::office::native
