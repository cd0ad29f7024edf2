#include "office/native/word/NativeWordApplication.h"

#include "office/OfficeError.h"
#include "office/native/word/DocumentState.h"
#include "office/native/word/NativeDocuments.h"
#include "office/native/word/NativeSelection.h"

namespace kelvaran::office::native {

NativeWordApplication::NativeWordApplication(platform::Clipboard& clipboard, std::vector<FileFormat> formats,
                                             platform::EventPump* events)
    : session_(std::make_shared<WordSession>(clipboard, std::move(formats))) {
    session_->events = events;
}

word::DocumentsPtr NativeWordApplication::Documents() {
    session_->checkRunning();
    return std::make_shared<NativeDocuments>(session_);
}

word::SelectionPtr NativeWordApplication::Selection() {
    session_->checkRunning();
    return std::make_shared<NativeSelection>(session_);
}

std::string NativeWordApplication::Version() {
    session_->checkRunning();
    return "12.0";
}

std::string NativeWordApplication::Name() {
    session_->checkRunning();
    return "Word";
}

std::int32_t NativeWordApplication::WindowState() {
    session_->checkRunning();
    return session_->windowState;
}

void NativeWordApplication::setWindowState(std::int32_t state) {
    session_->checkRunning();
    // wdWindowStateNormal 0, wdWindowStateMaximize 1, wdWindowStateMinimize 2
    if (state < 0 || state > 2) throw OfficeError("the window state is out of range");
    session_->windowState = state;
}

bool NativeWordApplication::Visible() {
    session_->checkRunning();
    return session_->visible;
}

void NativeWordApplication::setVisible(bool visible) {
    session_->checkRunning();
    session_->visible = visible;
}

void NativeWordApplication::Quit() {
    session_->checkRunning();
    for (auto& document : session_->documents) document->closed = true;
    session_->documents.clear();
    session_->selection = SelectionState{};
    session_->quit = true;
}

}  // namespace kelvaran::office::native
