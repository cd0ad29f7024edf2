#pragma once

#include "engine/RunState.h"
#include "office/OfficeFactory.h"
#include "platform/Clipboard.h"
#include "rules/ExceptionList.h"

#include <functional>
#include <memory>
#include <optional>

namespace kelvaran::engine {
class Conditions;
class ObjectObserver;
class RunDisplay;
class Walker;
}  // namespace kelvaran::engine
namespace kelvaran::office {
class OfficeControl;
}
namespace kelvaran::platform {
class EventPump;
class MessageBoxes;
class Timer;
}  // namespace kelvaran::platform

namespace kelvaran::app {

class BatchHost;
class BatchRun;

// Registers the office backends with the factory of a run.
using BackendRegistration = std::function<void(office::OfficeFactory&)>;

// The product's backends: the in-process Word and Excel.
void registerInProcessBackends(office::OfficeFactory& factory);

// Everything a run is made of, put together in one place: the office
// backends and the office control, the run state and the run's clipboard,
// the exception list, the batch run and the engine that walks each document,
// with the observer that hears its decisions.  The window, the command line
// and the jobs of a parallel run bring only what is theirs: the conditions,
// the log and status line, the buttons, the message boxes, the event loop and
// the timer, and they fill in the callbacks of the office and the batch run.
//
// It is made in two steps.  Constructing it registers the backends and makes
// what a front end may need before its channels exist (the window's format
// dialog works on the exception list); `assemble` then builds the office
// control, the batch run and the engine over the front end's channels.
// Everything handed to `assemble` must outlive the assembly.
class RunAssembly {
public:
    // The front end's channels.
    struct FrontEnd {
        engine::Conditions& conditions;
        engine::RunDisplay& display;
        BatchHost& host;
        platform::MessageBoxes& messages;
        platform::EventPump& events;
        platform::Timer& timer;
        // Hears what became of each object (the report); may be null.
        engine::ObjectObserver* observer = nullptr;
    };
    // Builds the walk over each document from the assembled run; tests stand
    // in for the engine with it.  Empty: the engine.
    using WalkerFactory = std::function<std::unique_ptr<engine::Walker>(RunAssembly&)>;

    explicit RunAssembly(const BackendRegistration& registerBackends = registerInProcessBackends);
    ~RunAssembly();
    RunAssembly(const RunAssembly&) = delete;
    RunAssembly& operator=(const RunAssembly&) = delete;

    // Builds the office control, the batch run and the walk.  Once only.
    void assemble(const FrontEnd& frontEnd, const WalkerFactory& makeWalker = {});

    engine::RunState& state() { return state_; }
    platform::Clipboard& clipboard() { return clipboard_; }
    rules::ExceptionList& exceptions() { return exceptions_; }

    // The parts `assemble` made or was given; only after it.
    office::OfficeControl& office() { return *office_; }
    BatchRun& batch() { return *batch_; }
    engine::Conditions& conditions() { return frontEnd_->conditions; }
    engine::RunDisplay& display() { return frontEnd_->display; }
    platform::EventPump& events() { return frontEnd_->events; }
    platform::Timer& timer() { return frontEnd_->timer; }
    engine::ObjectObserver* observer() { return frontEnd_->observer; }

private:
    engine::RunState state_;
    platform::Clipboard clipboard_;
    rules::ExceptionList exceptions_;
    office::OfficeFactory factory_;
    std::optional<FrontEnd> frontEnd_;
    std::unique_ptr<office::OfficeControl> office_;
    std::unique_ptr<BatchRun> batch_;
    std::unique_ptr<engine::Walker> walker_;
};

}  // namespace kelvaran::app
