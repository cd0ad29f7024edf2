#pragma once

// A time limit on one piece of work: the engine gives one to every object it
// converts.  The steps that can run long (decoding, drawing and encoding
// pictures) check it as they go and give up with DeadlineExceeded once it has
// passed, and the engine leaves that object as it was.
//
// Time is the processor time the process uses, all its threads together: a
// picture is held to what it costs, not to how busy the machine is with other
// work (a wait costs nothing).  There is one deadline for the whole process:
// the work it limits runs on one thread, and the helper threads of the
// picture libraries, and pictures drawn ahead beside it, look at the same
// deadline (deadlinePassed() and checkDeadline() may be called from any
// thread; the rest belongs to the thread that set the deadline).

#include "platform/Failure.h"

#include <cstdint>
#include <string>

namespace kelvaran::platform {

class DeadlineExceeded : public Failure {
public:
    using Failure::Failure;
};

// Seconds one object may take to convert: KELVARAN_PICTURE_SECONDS when it
// holds a positive number (fractions allowed), else kDefaultPictureSeconds.
inline constexpr double kDefaultPictureSeconds = 5;
double pictureSecondsBudget();

// Sets the deadline `seconds` from now for as long as it lives.  `what` names
// the work in the failure's message: "converting the object" gives
// "converting the object took longer than 5 s".  A deadline already set stays
// in force when it is the earlier one, and is restored at the end.
class Deadline {
public:
    Deadline(double seconds, std::string what);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    std::int64_t previousAt_;
    std::string previousMessage_;
};

// A deliberate wait that does not count against the deadline (events that
// run meanwhile included): the deadline moves on by the time used while this
// lives.
class DeadlinePause {
public:
    DeadlinePause();
    ~DeadlinePause();
    DeadlinePause(const DeadlinePause&) = delete;
    DeadlinePause& operator=(const DeadlinePause&) = delete;

private:
    std::int64_t start_;
};

// True while a deadline is set.
bool deadlineInForce();

// True once the deadline in force has passed; false when none is set.
bool deadlinePassed();

// Throws DeadlineExceeded once the deadline in force has passed.
void checkDeadline();

}  // namespace kelvaran::platform
