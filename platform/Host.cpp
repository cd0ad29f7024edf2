#include "platform/Host.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace kelvaran::platform {

void Timer::sleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void Timer::pauseForOffice(int /*milliseconds*/) {
    // Nothing to wait for: see the class comment.
}

void StderrMessageBoxes::show(const std::string& text, MessageIcon /*icon*/) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace kelvaran::platform
