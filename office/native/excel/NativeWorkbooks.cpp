#include "office/native/excel/NativeWorkbooks.h"

#include "office/native/excel/NativeWorkbook.h"

namespace kelvaran::office::native {

excel::WorkbookPtr NativeWorkbooks::add() {
    session_->checkRunning();
    ++session_->workbooks;
    return std::make_shared<NativeWorkbook>(session_);
}

std::int32_t NativeWorkbooks::count() {
    session_->checkRunning();
    return session_->workbooks;
}

}  // namespace kelvaran::office::native
