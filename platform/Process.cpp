#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kelvaran::platform {

namespace {

int waitFor(pid_t pid, int options, int* status) {
    for (;;) {
        const pid_t r = ::waitpid(pid, status, options);
        if (r >= 0 || errno != EINTR) return static_cast<int>(r);
    }
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::string& outputFile) {
    ProcessResult result;
    if (argv.empty()) return result;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const std::string sink = outputFile.empty() ? std::string("/dev/null") : outputFile;

    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are made.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return result;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        const int in = ::open("/dev/null", O_RDONLY);
        int out = ::open(sink.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // Never the caller's own output: it may be a report being written.
        if (out < 0) out = ::open("/dev/null", O_WRONLY);
        if (in >= 0) ::dup2(in, 0);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        ::execvp(args[0], args.data());
        const char failed = 1;
        [[maybe_unused]] auto w = ::write(pipeFds[1], &failed, 1);
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    ::close(pipeFds[1]);
    char failed = 0;
    const bool execFailed = ::read(pipeFds[0], &failed, 1) == 1;
    ::close(pipeFds[0]);
    result.started = !execFailed;

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const int r = waitFor(pid, WNOHANG, &status);
        if (r == pid) break;
        if (r < 0) return result;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            waitFor(pid, 0, &status);
            result.timedOut = true;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Whatever the program left running in its group goes with it.
    ::kill(-pid, SIGKILL);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    return result;
}

bool programOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::stringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty()) continue;
        const auto candidate = std::filesystem::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
    }
    return false;
}

}  // namespace kelvaran::platform
