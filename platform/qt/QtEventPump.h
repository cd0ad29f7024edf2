#pragma once

#include "platform/Host.h"

namespace kelvaran::platform::qt {

// Lets the pending window events of the user-interface thread run.
class QtEventPump : public EventPump {
public:
    void processEvents() override;
};

}  // namespace kelvaran::platform::qt
