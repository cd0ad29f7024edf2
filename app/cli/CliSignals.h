#pragma once

#include <atomic>

#include <sys/types.h>

namespace kelvaran::app {

// The signals that act as the stop button: SIGINT (Ctrl-C), SIGTERM and
// SIGHUP.  The first one raises the flag below; the run notices it between
// two objects, leaves the document it was converting unsaved, cleans up,
// writes its report and ends with exit status 1.  A second one ends the
// program at once, the signal's usual way.
std::atomic<bool>& stopSignalFlag();
void catchStopSignals();

// The jobs of a --jobs run.  Every stop signal the parent receives is passed
// on to each registered job, by the signal handler itself, so a signal sent
// to the parent alone stops them all.  A job is registered while the stop
// signals are held back (see HeldStopSignals) so that none arrives between
// the fork and the registration; it is forgotten once it has been waited for,
// before its process id can be used again.
void passStopSignalsTo(pid_t job);
void forgetJob(pid_t job);

// Holds the stop signals back for its lifetime; one that arrives meanwhile
// is delivered when it ends.
class HeldStopSignals {
public:
    HeldStopSignals();
    ~HeldStopSignals();
    HeldStopSignals(const HeldStopSignals&) = delete;
    HeldStopSignals& operator=(const HeldStopSignals&) = delete;
};

// In a job, just after the fork, while the stop signals are held back: the
// parent's list of jobs is not the job's; the job gets a process group of its
// own, so that a Ctrl-C at the terminal reaches only the parent, which passes
// it on once; and the job is sent SIGTERM when the parent dies.
void becomeJob(pid_t parent);

}  // namespace kelvaran::app
