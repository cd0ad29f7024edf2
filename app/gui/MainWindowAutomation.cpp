#include "app/gui/MainWindowAutomation.h"

namespace kelvaran::app::gui {

namespace {
constexpr int kNormal = 0;
constexpr int kMinimised = 1;
constexpr int kMaximised = 2;
}  // namespace

MainWindowAutomation::MainWindowAutomation(QWidget* window, std::function<void()> endAtOnce)
    : window_(window), endAtOnce_(std::move(endAtOnce)) {}

int MainWindowAutomation::windowState() {
    if (!window_) return kNormal;
    const Qt::WindowStates state = window_->windowState();
    if (state & Qt::WindowMinimized) return kMinimised;
    if (state & Qt::WindowMaximized) return kMaximised;
    return kNormal;
}

void MainWindowAutomation::setWindowState(int state) {
    if (!window_) return;
    Qt::WindowStates wanted = window_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (state) {
        case kNormal:
            break;
        case kMinimised:
            wanted |= Qt::WindowMinimized;
            break;
        case kMaximised:
            wanted |= Qt::WindowMaximized;
            break;
        default:
            return;  // not a state: the window stays as it is
    }
    window_->setWindowState(wanted);
    if (state != kMinimised && window_->isVisible()) window_->activateWindow();
}

void MainWindowAutomation::quitNow() {
    if (endAtOnce_) endAtOnce_();
}

}  // namespace kelvaran::app::gui
