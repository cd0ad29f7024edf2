#pragma once

#include "office/Excel.h"
#include "office/native/excel/SheetState.h"

#include <memory>

namespace kelvaran::office::native {

// The pictures of the scratch sheet, in the order they were pasted.
class NativeSheetShapes : public excel::Shapes {
public:
    NativeSheetShapes(std::shared_ptr<ExcelSession> session, std::shared_ptr<SheetState> sheet)
        : session_(std::move(session)), sheet_(std::move(sheet)) {}

    std::int32_t count() override;
    excel::ShapePtr item(std::int16_t index) override;

private:
    std::shared_ptr<ExcelSession> session_;
    std::shared_ptr<SheetState> sheet_;
};

}  // namespace kelvaran::office::native
