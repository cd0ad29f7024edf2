#pragma once

#include "platform/Host.h"

namespace kelvaran::platform::qt {

// The waits of the desktop program: a slow-mode wait really passes the time,
// but keeps the window alive meanwhile (the stop button, the log and calls of
// the automation service get through).  The pauses for the office keep the
// in-process behaviour of the base class and return at once.
class QtTimer : public Timer {
public:
    void sleep(int milliseconds) override;
};

}  // namespace kelvaran::platform::qt
