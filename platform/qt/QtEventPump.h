#pragma once

#include "platform/Host.h"

namespace kelvaran::platform::qt {

// Lets the pending window events of the user-interface thread run.
class QtEventPump : public EventPump {
public:
    void processEvents() override;
    // Called on the user-interface thread, runs `work` on a worker thread and
    // handles the window's events as they come until it ends; anywhere else
    // it runs `work` in place.
    void whileWorking(const std::function<void()>& work) override;
};

}  // namespace kelvaran::platform::qt
