#include "app/BatchRun.h"

#include "app/InputList.h"
#include "engine/Conditions.h"
#include "engine/RunDisplay.h"
#include "engine/Walker.h"
#include "office/OfficeControl.h"
#include "platform/Clipboard.h"
#include "platform/Conversions.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

#include <exception>
#include <memory>

namespace kelvaran::app {

namespace {

// Runs a step that may fail silently.
template <typename Step>
void silently(Step&& body) {
    try {
        body();
    } catch (const std::exception&) {
        // Skipped: the run goes on with the next step.
    }
}

platform::FileSystem& fileSystemOf(engine::RunState& state) {
    if (!state.fileSystem) throw platform::Failure("no file-system service");
    return *state.fileSystem;
}

// An object the step needs; a missing one fails the step.
template <typename T>
T& must(const std::shared_ptr<T>& object) {
    if (!object) throw platform::Failure("an office object is missing");
    return *object;
}

}  // namespace

BatchRun::BatchRun(engine::RunState& state, office::OfficeControl& office, platform::Clipboard& clipboard,
                   platform::MessageBoxes& messages, engine::Conditions& conditions, engine::RunDisplay& display,
                   BatchHost& host)
    : state_(state),
      office_(office),
      clipboard_(clipboard),
      messages_(messages),
      conditions_(conditions),
      display_(display),
      host_(host) {}

template <typename Step>
void BatchRun::step(Step&& body) {
    if (tolerant_) {
        silently(body);
    } else {
        body();
    }
}

void BatchRun::StartRun() {
    if (running_) return;
    running_ = true;
    tolerant_ = false;
    completed_ = false;
    try {
        const std::string text = host_.inputText();
        if (IsBlankInput(text)) {
            messages_.show(texts::kNoInput, platform::MessageIcon::Exclamation);
            outcome_ = Outcome::Refused;
            running_ = false;
            return;
        }
        inputFiles_ = SplitInputText(text);
        if (auto refusal = ValidateInputFiles(inputFiles_, fileSystemOf(state_))) {
            messages_.show(*refusal, platform::MessageIcon::Exclamation);
            outcome_ = Outcome::Refused;
            running_ = false;
            return;
        }
        // Line breaks without a name leave nothing to do.
        if (inputFiles_.empty()) throw platform::Failure("no input file");

        host_.setStartEnabled(false);
        host_.setStopEnabled(true);
        state_.stopRequested = false;
        display_.setStatus(texts::kChecking);

        if (!office_.CheckEnvironment()) {
            host_.setStartEnabled(true);
            host_.setStopEnabled(false);
            display_.setStatus(texts::kCheckFailed);
            outcome_ = Outcome::CheckFailed;
            running_ = false;
            return;
        }
        display_.setStatus(texts::kCheckOk);

        if (!conditions_.SlowMode()) {
            state_.waitMs = 0;
        } else {
            state_.waitMs = state_.wordIsXP ? state_.waitXP : state_.wait2000;
        }

        completed_ = true;
        display_.clearLog();

        if (office_.EnsureExcel()) {
            state_.scratchBook = must(must(state_.appEXCEL).Workbooks()).add();
            state_.scratchSheet = must(state_.scratchBook).Worksheets(1);
            must(state_.appEXCEL).setWindowState(office::excel::constants::xlMinimized);
            must(state_.appEXCEL).setVisible(true);
        }
        runDocuments();
    } catch (const std::exception&) {
        // Broken off: straight to the finishing steps.
    }
    finish();
}

void BatchRun::runDocuments() {
    for (const auto& path : inputFiles_) {
        bool wordReady = false;
        step([&] { wordReady = office_.EnsureWord(); });
        if (!wordReady) continue;

        prepareDocument(path);

        bool result = true;
        step([&] { result = ProcessDocument(path); });
        completed_ = result;

        cleanUpDocument();
        if (!completed_) break;
    }
}

void BatchRun::prepareDocument(const std::string& path) {
    auto& fs = fileSystemOf(state_);
    step([&] { state_.srcExt = platform::asciiLower(fs.GetExtensionName(path)); });
    step([&] {
        state_.scratchDoc = must(must(state_.appWORD).Documents()).add();
        must(state_.scratchDoc).setSaved(true);
    });
    step([&] {
        state_.scratchPathB = fs.GetSpecialFolder(2) + "/" + fs.GetTempName() + "." + state_.srcExt;
        state_.scratchPathA = fs.GetSpecialFolder(2) + "/" + fs.GetTempName() + "." + state_.srcExt;
    });
    step([&] {
        must(state_.scratchDoc).SaveAs(state_.scratchPathB);
        state_.emptyDocSize = fs.GetFile(must(state_.scratchDoc).FullName()).Size;
    });
    step([&] {
        must(state_.appWORD).setWindowState(office::word::constants::wdWindowStateMinimize);
        must(state_.appWORD).setVisible(true);
    });
}

void BatchRun::cleanUpDocument() {
    // From the first clean-up on, failing steps are skipped.
    tolerant_ = true;
    silently([&] { clipboard_.Clear(); });
    silently([&] {
        if (!state_.scratchDoc) return;
        silently([&] { state_.scratchDoc->setSaved(true); });
        silently([&] { state_.scratchDoc->Close(); });
        state_.scratchDoc.reset();
    });
    silently([&] { fileSystemOf(state_).deletefile(state_.scratchPathB); });
    silently([&] { fileSystemOf(state_).deletefile(state_.scratchPathA); });
    silently([&] {
        if (!state_.srcDoc) return;
        silently([&] { state_.srcDoc->setSaved(true); });
        silently([&] { state_.srcDoc->Close(); });
        state_.srcDoc.reset();
    });
}

bool BatchRun::ProcessDocument(const std::string& path) {
    auto* fs = state_.fileSystem;
    try {
        state_.srcDoc = must(must(state_.appWORD).Documents()).Open(path, true);
    } catch (const std::exception& e) {
        if (onOpenFailed) onOpenFailed(path, e.what());
    }
    double inputBytes = 0;
    silently([&] { inputBytes = fileSystemOf(state_).GetFile(path).Size; });
    silently([&] { display_.appendLog(StartLine(path)); });
    silently([&] { display_.setStatus(texts::kProcessing); });

    state_.docConverted = false;
    silently([&] {
        if (walker_ && state_.srcDoc) walker_->WalkDocument(nullptr, true);
    });
    silently([&] { must(state_.srcDoc).setSaved(true); });

    double outputBytes = 0;
    if (state_.docConverted) {
        silently([&] {
            if (!fs) return;
            const std::string output = OutputPathFor(path, inputBytes, state_.srcExt, *fs);
            // A file of that name that cannot be removed is left alone, and
            // nothing is saved over it.
            if (fs->FileExists(output)) fs->deletefile(output);
            must(state_.srcDoc).SaveAs(output);
            outputBytes = fs->GetFile(output).Size;
        });
    }
    silently([&] { display_.appendLog(EndLine(inputBytes, outputBytes)); });
    return !state_.stopRequested;
}

void BatchRun::StopRun() {
    state_.stopRequested = true;
    host_.setStopEnabled(false);
    display_.setStatus(texts::kStopping);
}

void BatchRun::finish() {
    silently([&] { clipboard_.Clear(); });
    silently([&] {
        if (state_.appEXCEL) state_.appEXCEL->Quit();
    });
    state_.scratchSheet.reset();
    state_.scratchBook.reset();
    state_.appEXCEL.reset();
    silently([&] {
        if (state_.appWORD) state_.appWORD->Quit();
    });
    state_.scratchDoc.reset();
    state_.srcDoc.reset();
    state_.appWORD.reset();

    silently([&] { host_.beep(); });
    silently([&] { host_.setStartEnabled(true); });
    silently([&] { host_.setStopEnabled(false); });
    silently([&] { display_.setStatus(completed_ ? texts::kCompleted : texts::kInterrupted); });
    silently([&] { host_.beep(); });
    outcome_ = completed_ ? Outcome::Completed : Outcome::Interrupted;
    running_ = false;
}

}  // namespace kelvaran::app
