#pragma once

#include "platform/Host.h"

#include <functional>

namespace kelvaran::office::native {

// Drawing, storing and reading pictures can take seconds.  The office runs
// such work through the front end's event pump, which lets the window answer
// meanwhile (stop, log, close); without a pump the work simply runs.  The
// work touches only what the office's caller cannot reach until the call
// returns.
inline void whileWorking(platform::EventPump* events, const std::function<void()>& work) {
    if (events) {
        events->whileWorking(work);
    } else {
        work();
    }
}

}  // namespace kelvaran::office::native
