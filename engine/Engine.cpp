#include "engine/Engine.h"

#include "engine/Checked.h"
#include "platform/Failure.h"
#include "platform/Host.h"

namespace kelvaran::engine {

namespace word = office::word;
namespace excel = office::excel;

const std::string Engine::kPicture = "Picture";

Engine::Engine(RunState& state, Conditions& conditions, ExceptionRules& rules, RunDisplay& display,
               platform::Clipboard& clipboard, platform::EventPump& events, platform::Timer& timer)
    : state_(state),
      conditions_(conditions),
      rules_(rules),
      display_(display),
      clipboard_(clipboard),
      events_(events),
      timer_(timer),
      helpers_(state, clipboard, events, timer) {}

// Each window state is read first and written only when it differs, so an
// office that is already minimised is not disturbed.
void Engine::keepWordMinimised() {
    auto& app = obj(state_.appWORD);
    if (app.WindowState() != word::constants::wdWindowStateMinimize) {
        app.setWindowState(word::constants::wdWindowStateMinimize);
    }
}

void Engine::keepExcelMinimised() {
    auto& app = obj(state_.appEXCEL);
    if (app.WindowState() != excel::constants::xlMinimized) {
        app.setWindowState(excel::constants::xlMinimized);
    }
}

void Engine::keepMinimisedTolerant() {
    attempt([&] { keepWordMinimised(); });
    attempt([&] { keepExcelMinimised(); });
}

void Engine::beginObject() {
    passesTried_.clear();
    passBytes_.clear();
    original_.reset();
    candidate_.reset();
}

void Engine::noteOriginal() { original_ = clipboard_.summary(); }

void Engine::tell(ObjectDecision decision) {
    if (decision.story.empty()) decision.story = story_;
    decision.passes = std::move(passesTried_);
    decision.passBytes = std::move(passBytes_);
    decision.progId = progId_;
    if (original_) {
        decision.originalType = original_->pictureType;
        decision.originalBytes = static_cast<double>(original_->bytes);
        decision.pixelWidth = original_->pixelWidth;
        decision.pixelHeight = original_->pixelHeight;
        decision.originalPicture = original_->picture;
    }
    if (candidate_ && !decision.passes.empty()) {
        decision.newType = candidate_->pictureType;
        decision.newPicture = candidate_->picture;
    }
    beginObject();
    if (!observer_) return;
    try {
        observer_->objectDecided(decision);
    } catch (const std::exception&) {
        // A report that cannot take the decision does not change the conversion.
    }
}

bool Engine::pumpAndCheckStop() {
    events_.processEvents();
    if (state_.stopRequested) {
        state_.docConverted = false;
        return true;
    }
    return false;
}

}  // namespace kelvaran::engine
