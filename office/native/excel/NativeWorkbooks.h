#pragma once

#include "office/Excel.h"
#include "office/native/excel/SheetState.h"

#include <memory>

namespace kelvaran::office::native {

class NativeWorkbooks : public excel::Workbooks {
public:
    explicit NativeWorkbooks(std::shared_ptr<ExcelSession> session) : session_(std::move(session)) {}

    // A new workbook with one empty worksheet.
    excel::WorkbookPtr add() override;
    std::int32_t count() override;

private:
    std::shared_ptr<ExcelSession> session_;
};

}  // namespace kelvaran::office::native
