#pragma once

namespace kelvaran::automation {

// What the automation service may do with the main window.
class MainWindowControl {
public:
    virtual ~MainWindowControl() = default;
    // 0 normal, 1 minimised, 2 maximised.
    virtual int windowState() = 0;
    virtual void setWindowState(int state) = 0;
    // Ends the process at once: no unload steps, nothing saved.
    virtual void quitNow() = 0;
};

// Publishes the automation class on the session bus for this process.  Returns
// false (and the program goes on without it) when the bus or the name is not
// available.
bool publishAutomationService(MainWindowControl& window);

}  // namespace kelvaran::automation
