#pragma once

#include "office/OfficeState.h"

#include <cstdint>
#include <string>

namespace kelvaran::platform {
class FileSystem;
}

namespace kelvaran::engine {

// The process-wide fields shared by the batch run, the office start-up and the
// engine.  They live as long as the program; each run sets them again.
struct RunState : office::OfficeState {
    platform::FileSystem* fileSystem = nullptr;
    std::string scratchPathA;  // where each converted picture is measured
    std::string scratchPathB;  // the empty scratch document, then each old object
    double emptyDocSize = 0;   // bytes
    bool docConverted = false;
    bool stopRequested = false;
    std::int32_t waitMs = 0;  // slow-mode pause, 0 outside slow mode
    std::int32_t waitXP = 200;
    std::int32_t wait2000 = 500;
    std::string srcExt;  // "doc" or "rtf"
};

}  // namespace kelvaran::engine
