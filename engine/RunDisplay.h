#pragma once

#include <string>

namespace kelvaran::engine {

// The log box and the status line as the engine and the batch run write them.
class RunDisplay {
public:
    virtual ~RunDisplay() = default;
    // Appends at the end of the log, whatever the user selected there.
    virtual void appendLog(const std::string& text) = 0;
    virtual void clearLog() = 0;
    virtual std::string statusText() = 0;
    virtual void setStatus(const std::string& text) = 0;
};

}  // namespace kelvaran::engine
