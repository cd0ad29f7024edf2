#pragma once

#include "office/Excel.h"
#include "office/native/excel/SheetState.h"

#include <memory>

namespace kelvaran::office::native {

class NativeWorkbook : public excel::Workbook {
public:
    explicit NativeWorkbook(std::shared_ptr<ExcelSession> session);

    excel::WorksheetPtr Worksheets(std::int16_t index) override;
    bool Saved() override;
    void setSaved(bool saved) override;

private:
    std::shared_ptr<ExcelSession> session_;
    std::shared_ptr<SheetState> sheet_;
};

}  // namespace kelvaran::office::native
