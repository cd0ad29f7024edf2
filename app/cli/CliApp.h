#pragma once

#include "app/run/RunAssembly.h"

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>

namespace kelvaran::office::word {
class Document;
}

namespace kelvaran::app {

// What the command-line front end is built with.
struct CliEnvironment {
    // The office backends of every run.
    BackendRegistration registerBackends = registerInProcessBackends;
    // Stands in for the engine (tests); empty: the engine.
    RunAssembly::WalkerFactory makeWalker;
    // Where the stored settings and ole.ini are read from (never written).
    std::string configFolder;
    // Raised by the interrupt signal; acts as the stop button.  May be null.
    std::atomic<bool>* interrupted = nullptr;
    // Where "--files-from -" reads from; null: standard input is not offered.
    std::istream* standardInput = nullptr;
    // A terminal gets a progress line on the error stream.
    bool errorIsTerminal = false;
    // Tests only: changes each converted document just before its copy is
    // saved, to make a copy that differs from its input on purpose.
    std::function<void(office::word::Document&)> beforeSave;
};

// Exit codes.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 1;  // stopped, refused by the batch run, broken off, check failed
inline constexpr int kExitUsage = 2;   // bad command line or bad input, before any document is opened

// Runs `kelvaran-cli [OPTIONS] FILE...`: the log lines go to `out` as they
// are written (to `err` when the report takes `out`), the status texts,
// messages and reasons to `err`.
int runCli(int argc, const char* const* argv, const CliEnvironment& environment, std::ostream& out,
           std::ostream& err);

}  // namespace kelvaran::app
