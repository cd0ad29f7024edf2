#pragma once

#include "automation/MainWindowControl.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace kelvaran::app::gui {

// The main window as the automation service sees it: its window state and
// the immediate end of the program.
class MainWindowAutomation : public automation::MainWindowControl {
public:
    MainWindowAutomation(QWidget* window, std::function<void()> endAtOnce);

    int windowState() override;
    void setWindowState(int state) override;
    void quitNow() override;

private:
    QPointer<QWidget> window_;
    std::function<void()> endAtOnce_;
};

}  // namespace kelvaran::app::gui
