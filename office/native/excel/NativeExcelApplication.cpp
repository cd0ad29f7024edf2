#include "office/native/excel/NativeExcelApplication.h"

#include "office/OfficeError.h"
#include "office/native/excel/NativeWorkbooks.h"

namespace kelvaran::office::native {

ExcelSession::ExcelSession(platform::Clipboard& board) : clipboard(board), ahead(RenderAhead::worthwhile()) {
    // Pictures come only after a document has been opened and read; the
    // library starts meanwhile.  A session that ends first (the check of the
    // environment before a run) does not wait for it.
    if (ahead.enabled()) imaging::startPictureLibraryAside();
}

void ExcelSession::checkRunning() const {
    if (quit) throw OfficeError("Excel has been quit");
}

NativeExcelApplication::NativeExcelApplication(platform::Clipboard& clipboard, platform::EventPump* events)
    : session_(std::make_shared<ExcelSession>(clipboard)) {
    session_->events = events;
}

excel::WorkbooksPtr NativeExcelApplication::Workbooks() {
    session_->checkRunning();
    return std::make_shared<NativeWorkbooks>(session_);
}

std::string NativeExcelApplication::Name() {
    session_->checkRunning();
    return "Excel";
}

std::int32_t NativeExcelApplication::WindowState() {
    session_->checkRunning();
    return session_->windowState;
}

void NativeExcelApplication::setWindowState(std::int32_t state) {
    session_->checkRunning();
    // xlMaximized -4137, xlMinimized -4140, xlNormal -4143
    if (state != -4137 && state != -4140 && state != -4143) throw OfficeError("the window state is out of range");
    session_->windowState = state;
}

bool NativeExcelApplication::Visible() {
    session_->checkRunning();
    return session_->visible;
}

void NativeExcelApplication::setVisible(bool visible) {
    session_->checkRunning();
    session_->visible = visible;
}

void NativeExcelApplication::setJpegQuality(std::int32_t quality) {
    session_->checkRunning();
    if (quality < 1 || quality > 100) throw OfficeError("a JPEG quality lies between 1 and 100");
    session_->jpegQuality = quality;
}

void NativeExcelApplication::Quit() {
    session_->checkRunning();
    session_->quit = true;
    session_->workbooks = 0;
    session_->ahead.clear();
}

}  // namespace kelvaran::office::native
