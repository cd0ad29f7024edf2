#include "platform/Deadline.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <time.h>

namespace kelvaran::platform {
namespace {

// Nanoseconds of the process's processor time at which the deadline passes;
// 0: none.
std::atomic<std::int64_t> deadlineAt{0};
// The failure's message for the deadline in force.  Work beside the thread
// that sets deadlines (pictures drawn ahead) checks them too, so the message
// is read and written under a lock.
std::mutex messageLock;
std::string deadlineMessage;

// The processor time the process has used, all its threads together: what
// a picture costs, however busy the machine is with other work.
std::int64_t now() {
    timespec time{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec + 1;
}

std::string secondsText(double seconds) {
    std::ostringstream text;
    text.precision(3);
    text << seconds;
    return text.str();
}

}  // namespace

double pictureSecondsBudget() {
    if (const char* text = std::getenv("KELVARAN_PICTURE_SECONDS")) {
        char* end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end != text && *end == '\0' && std::isfinite(seconds) && seconds > 0) return seconds;
    }
    return kDefaultPictureSeconds;
}

Deadline::Deadline(double seconds, std::string what) : previousAt_(deadlineAt.load()) {
    const double nanoseconds = std::clamp(seconds, 0.0, 1.0e7) * 1.0e9;
    const std::int64_t at = now() + static_cast<std::int64_t>(nanoseconds);
    const std::lock_guard lock(messageLock);
    previousMessage_ = deadlineMessage;
    if (previousAt_ != 0 && previousAt_ <= at) return;
    deadlineMessage = what + " took longer than " + secondsText(seconds) + " s";
    deadlineAt.store(at);
}

Deadline::~Deadline() {
    {
        const std::lock_guard lock(messageLock);
        deadlineMessage = previousMessage_;
    }
    deadlineAt.store(previousAt_);
}

DeadlinePause::DeadlinePause() : start_(now()) {}

DeadlinePause::~DeadlinePause() {
    const std::int64_t at = deadlineAt.load();
    if (at != 0) deadlineAt.store(at + (now() - start_));
}

bool deadlineInForce() { return deadlineAt.load(std::memory_order_relaxed) != 0; }

bool deadlinePassed() {
    const std::int64_t at = deadlineAt.load(std::memory_order_relaxed);
    return at != 0 && now() >= at;
}

void checkDeadline() {
    if (!deadlinePassed()) return;
    std::string message;
    {
        const std::lock_guard lock(messageLock);
        message = deadlineMessage;
    }
    throw DeadlineExceeded(message);
}

}  // namespace kelvaran::platform
