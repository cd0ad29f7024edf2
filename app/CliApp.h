#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

namespace kelvaran::engine {
struct RunState;
class ObjectObserver;
class Conditions;
class ExceptionRules;
class RunDisplay;
class Walker;
}  // namespace kelvaran::engine
namespace kelvaran::office {
class OfficeFactory;
}
namespace kelvaran::platform {
class Clipboard;
class EventPump;
class Timer;
}  // namespace kelvaran::platform

namespace kelvaran::app {

// The services of a run, as the engine is built from them.
struct WalkerParts {
    engine::RunState& state;
    engine::Conditions& conditions;
    engine::ExceptionRules& rules;
    engine::RunDisplay& display;
    platform::Clipboard& clipboard;
    platform::EventPump& events;
    platform::Timer& timer;
    // Wants to hear what became of each object (the report); may be null.
    engine::ObjectObserver* observer = nullptr;
};

// What the command-line front end is built with.
struct CliEnvironment {
    // Registers the office backends with the factory of the run.
    std::function<void(office::OfficeFactory&)> registerBackends;
    // Builds the document walk; may return null (nothing is converted then).
    std::function<std::unique_ptr<engine::Walker>(const WalkerParts&)> makeWalker;
    // Where the stored settings and ole.ini are read from (never written).
    std::string configFolder;
    // Raised by the interrupt signal; acts as the stop button.  May be null.
    std::atomic<bool>* interrupted = nullptr;
    // Where "--files-from -" reads from; null: standard input is not offered.
    std::istream* standardInput = nullptr;
    // A terminal gets a progress line on the error stream.
    bool errorIsTerminal = false;
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
