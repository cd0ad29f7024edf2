#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kelvaran::platform {

struct ProcessResult {
    bool started = false;   // the program could be run at all
    bool timedOut = false;  // it ran past its time and was killed, with everything it started
    int exitStatus = -1;    // its exit status when it ended by itself, else -1
};

// Runs a program (looked up on PATH) with its arguments in a process group of
// its own, standard input from /dev/null and standard output and error into
// outputFile (or /dev/null when empty), and waits for it at most `timeout`.
// A program that runs longer is killed together with the processes it started.
ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::string& outputFile = {});

// True when a program of that name is on PATH.
bool programOnPath(const std::string& name);

}  // namespace kelvaran::platform
