#pragma once

#include <functional>
#include <string>

namespace kelvaran::platform {

// Lets pending window events run (Qt's processEvents in the GUI, nothing in the CLI).
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
    // Runs `work` to its end and returns what it throws.  A window's pump
    // runs it on a worker thread and lets window events run until it is
    // done, so that the window answers while pictures are drawn and stored;
    // this one simply calls it.  `work` must touch nothing the window's
    // events may touch.
    virtual void whileWorking(const std::function<void()>& work) { work(); }
};

class NullEventPump : public EventPump {
public:
    void processEvents() override {}
};

// Waiting.
class Timer {
public:
    virtual ~Timer() = default;
    // A real wait of the given milliseconds (the slow mode the user chose).
    virtual void sleep(int milliseconds);
    // The fixed pauses that let an office application that runs in another
    // process finish rendering the clipboard.  The in-process office completes
    // every call before it returns, so this implementation returns at once.
    virtual void pauseForOffice(int milliseconds);
};

enum class MessageIcon { None, Exclamation, Stop };

// Modal message boxes with an OK button, captioned with the application title.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(const std::string& text, MessageIcon icon) = 0;
};

// Message boxes on standard error, for the command line.
class StderrMessageBoxes : public MessageBoxes {
public:
    void show(const std::string& text, MessageIcon icon) override;
};

}  // namespace kelvaran::platform
