#include "office/native/excel/NativeSheetShapes.h"

#include "office/OfficeError.h"
#include "office/native/excel/NativeSheetShape.h"

namespace kelvaran::office::native {

std::int32_t NativeSheetShapes::count() {
    session_->checkRunning();
    return static_cast<std::int32_t>(sheet_->pictures.size());
}

excel::ShapePtr NativeSheetShapes::item(std::int16_t index) {
    session_->checkRunning();
    if (index < 1 || index > static_cast<std::int32_t>(sheet_->pictures.size())) {
        throw OfficeError("the sheet has no shape " + std::to_string(index));
    }
    return std::make_shared<NativeSheetShape>(session_, sheet_, sheet_->pictures[static_cast<std::size_t>(index - 1)]);
}

}  // namespace kelvaran::office::native
