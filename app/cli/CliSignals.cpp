#include "app/cli/CliSignals.h"

#include <cerrno>
#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

namespace kelvaran::app {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// As many as --jobs allows.
constexpr int kMaxJobs = 64;

std::atomic<bool> stopped{false};
std::atomic<pid_t> jobs[kMaxJobs];

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "the signal handler needs lock-free flags");

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kStopSignals) sigaddset(&set, signal);
    return set;
}

extern "C" void onStopSignal(int signal) {
    const int savedErrno = errno;
    for (auto& job : jobs) {
        const pid_t pid = job.load();
        if (pid > 0) ::kill(pid, signal);
    }
    if (stopped.exchange(true)) {
        // The second one: the usual way.  The signal is blocked while its
        // handler runs, so it arrives as soon as the handler returns.
        struct sigaction usual {};
        usual.sa_handler = SIG_DFL;
        sigemptyset(&usual.sa_mask);
        ::sigaction(signal, &usual, nullptr);
        ::raise(signal);
    }
    errno = savedErrno;
}

}  // namespace

std::atomic<bool>& stopSignalFlag() { return stopped; }

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    // Reads, writes and waits go on after the handler: the run looks at the
    // flag where it can stop cleanly.
    action.sa_flags = SA_RESTART;
    action.sa_mask = stopSignalSet();
    for (const int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
}

void passStopSignalsTo(pid_t job) {
    for (auto& slot : jobs) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, job)) return;
    }
}

void forgetJob(pid_t job) {
    for (auto& slot : jobs) {
        pid_t expected = job;
        slot.compare_exchange_strong(expected, 0);
    }
}

HeldStopSignals::HeldStopSignals() {
    const sigset_t set = stopSignalSet();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

HeldStopSignals::~HeldStopSignals() {
    const sigset_t set = stopSignalSet();
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void becomeJob(pid_t parent) {
    for (auto& slot : jobs) slot.store(0);
    ::setpgid(0, 0);
    // Out of the terminal's foreground group, a write to the terminal (a
    // library's warning) would otherwise stop the job where the terminal
    // asks background writers to wait.
    ::signal(SIGTTOU, SIG_IGN);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // A parent that died before the line above is not told of again.
    if (::getppid() != parent) ::raise(SIGTERM);
    const sigset_t set = stopSignalSet();
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace kelvaran::app
