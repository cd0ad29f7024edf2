#include "app/run/BatchRun.h"

#include "app/run/InputList.h"
#include "engine/Conditions.h"
#include "engine/RunDisplay.h"
#include "engine/Walker.h"
#include "office/OfficeControl.h"
#include "platform/Clipboard.h"
#include "platform/Conversions.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "platform/StaleFiles.h"

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
    breakOffReason_.clear();
    refusal_.reset();
    try {
        auto entries = host_.inputEntries();
        const std::string text = entries ? std::string() : host_.inputText();
        if (entries ? entries->empty() : IsBlankInput(text)) {
            messages_.show(texts::kNoInput, platform::MessageIcon::Exclamation);
            outcome_ = Outcome::Refused;
            running_ = false;
            return;
        }
        inputFiles_ = entries ? std::move(*entries) : SplitInputText(text);
        if (auto refusal = FindRefusal(inputFiles_, fileSystemOf(state_))) {
            refusal_ = refusal;
            messages_.show(refusal->message, platform::MessageIcon::Exclamation);
            outcome_ = Outcome::Refused;
            running_ = false;
            return;
        }
        // Line breaks without a name leave nothing to do.
        if (inputFiles_.empty()) throw platform::Failure("no input file");
        removeLeftovers();
        findCopyNameClashes();

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
    } catch (const std::exception& e) {
        // Broken off: straight to the finishing steps.  The reason is kept for
        // front ends that can tell it; the window's status line cannot.
        breakOffReason_ = *e.what() ? e.what() : "an unnamed failure";
    }
    finish();
}

void BatchRun::runDocuments() {
    for (std::size_t index = 0; index < inputFiles_.size(); ++index) {
        const std::string& path = inputFiles_[index];
        currentIndex_ = index;
        if (onDocumentStarted) silently([&] { onDocumentStarted(path, static_cast<int>(index)); });
        bool wordReady = false;
        step([&] { wordReady = office_.EnsureWord(); });
        if (!wordReady) {
            if (onDocumentDone) {
                DocumentResult skipped;
                skipped.path = path;
                skipped.skipped = true;
                skipped.reason = office_.lastCreationError();
                silently([&] { onDocumentDone(skipped); });
            }
            continue;
        }

        prepareDocument(path);

        bool result = true;
        step([&] { result = ProcessDocument(path); });
        completed_ = result;

        cleanUpDocument();
        if (onDocumentDone) silently([&] { onDocumentDone(current_); });
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
        scratchFilesPending_ = true;
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
    scratchFilesPending_ = false;
    silently([&] {
        if (!state_.srcDoc) return;
        silently([&] { state_.srcDoc->setSaved(true); });
        silently([&] { state_.srcDoc->Close(); });
        state_.srcDoc.reset();
    });
}

bool BatchRun::ProcessDocument(const std::string& path) {
    current_ = DocumentResult{};
    current_.path = path;
    try {
        state_.srcDoc = must(must(state_.appWORD).Documents()).Open(path, true);
        current_.opened = true;
    } catch (const std::exception& e) {
        current_.reason = e.what();
        if (onOpenFailed) silently([&] { onOpenFailed(path, e.what()); });
    }
    double inputBytes = 0;
    silently([&] { inputBytes = fileSystemOf(state_).GetFile(path).Size; });
    current_.inputBytes = inputBytes;
    silently([&] { display_.appendLog(StartLine(path)); });
    silently([&] { display_.setStatus(texts::kProcessing); });

    state_.docConverted = false;
    if (dropUnused_ && current_.opened) silently([&] { must(state_.srcDoc).setDropUnusedData(true); });
    // A document Word could not open has nothing to walk; one whose copy
    // could not be written is not converted; after a stop nothing more is.
    const bool refused = refuseClashingCopy(path, current_);
    silently([&] {
        if (walker_ && current_.opened && state_.srcDoc && !refused && !state_.stopRequested) {
            walker_->WalkDocument(nullptr, true);
        }
    });
    silently([&] { must(state_.srcDoc).setSaved(true); });
    if (dropUnused_ && current_.opened && !refused && !state_.docConverted && !state_.stopRequested) {
        state_.docConverted = droppingShrinks(inputBytes);
    }

    // A stop during the walk leaves the document unsaved (the walk tells so
    // by clearing docConverted); one that comes while the copy is being
    // written does not undo it, and the run ends after this document.
    current_.stopped = state_.stopRequested;
    current_.converted = state_.docConverted;
    if (state_.docConverted) saveSlimmedCopy(path, current_);
    if (checkCopy && !current_.outputPath.empty()) checkSlimmedCopy(path, current_);
    silently([&] { display_.appendLog(EndLine(inputBytes, current_.outputBytes)); });
    return !state_.stopRequested;
}

// A copy whose name an earlier entry's copy takes is refused before the
// document is converted, so that no two inputs of a run write one file.
bool BatchRun::refuseClashingCopy(const std::string& path, DocumentResult& result) {
    std::string reason;
    const auto clash = nameClashes_.find(currentIndex_);
    if (clash != nameClashes_.end() && currentIndex_ < inputFiles_.size() && inputFiles_[currentIndex_] == path) {
        reason = clash->second;
    } else if (state_.fileSystem && !written_.empty()) {
        // Sizes that changed since the start can still bring two names together.
        silently([&] {
            const std::string output =
                SlimmedCopyPath(path, result.inputBytes, state_.srcExt, outputFolder_, *state_.fileSystem);
            if (written_.count(PathIdentity(output))) {
                reason = "no slimmed copy of " + path + ": " + output + " was written for another input of this run";
            }
        });
    }
    if (reason.empty()) return false;
    result.outputRefused = true;
    result.reason = reason;
    if (onSaveFailed) silently([&] { onSaveFailed(path, reason); });
    return true;
}

// Writes the converted document under its output name.  An earlier copy of
// that name is replaced by the rename that ends the save, once the new copy
// is whole, so a save that fails leaves it as it was.  A copy whose name is
// one of this run's inputs is never written, because that would destroy an
// input.
void BatchRun::saveSlimmedCopy(const std::string& path, DocumentResult& result) {
    auto* fs = state_.fileSystem;
    if (!fs) return;
    std::string output;
    try {
        output = SlimmedCopyPath(path, result.inputBytes, state_.srcExt, outputFolder_, *fs);
    } catch (const std::exception& e) {
        result.reason = e.what();
        if (onSaveFailed) silently([&] { onSaveFailed(path, result.reason); });
        return;
    }
    if (isAnInput(output)) {
        result.outputRefused = true;
        result.reason = "the slimmed copy would replace an input of this run: " + output;
        if (onSaveFailed) silently([&] { onSaveFailed(path, result.reason); });
        return;
    }
    try {
        if (dryRun_) {
            // Measured through a temporary file that is removed at once.
            const std::string probe = fs->GetSpecialFolder(2) + "/" + fs->GetTempName() + "." + state_.srcExt;
            try {
                must(state_.srcDoc).SaveAs(probe);
                result.outputBytes = fs->GetFile(probe).Size;
            } catch (...) {
                silently([&] { fs->deletefile(probe); });
                throw;
            }
            silently([&] { fs->deletefile(probe); });
            return;
        }
        if (beforeSave) beforeSave(must(state_.srcDoc));
        must(state_.srcDoc).SaveAs(output);
        result.outputPath = output;
        silently([&] { written_.insert(PathIdentity(output)); });
        result.outputBytes = fs->GetFile(output).Size;
    } catch (const std::exception& e) {
        result.outputBytes = 0;
        result.reason = e.what();
        if (onSaveFailed) silently([&] { onSaveFailed(path, result.reason); });
    }
}

// Whether a copy with the unused data left out is smaller than the input:
// measured through a temporary file that is removed at once.
bool BatchRun::droppingShrinks(double inputBytes) {
    auto* fs = state_.fileSystem;
    if (!fs || !state_.srcDoc) return false;
    // Saved again as it is, a document may come out a little smaller or
    // larger; without unused data to leave out there is no copy to write.
    bool holds = false;
    silently([&] { holds = state_.srcDoc->HoldsUnusedData(); });
    if (!holds) return false;
    double bytes = inputBytes;
    try {
        const std::string probe = fs->GetSpecialFolder(2) + "/" + fs->GetTempName() + "." + state_.srcExt;
        try {
            state_.srcDoc->SaveAs(probe);
            bytes = fs->GetFile(probe).Size;
        } catch (...) {
            silently([&] { fs->deletefile(probe); });
            throw;
        }
        silently([&] { fs->deletefile(probe); });
    } catch (const std::exception&) {
        return false;
    }
    return bytes < inputBytes;
}

// A copy that a reader could tell apart from its input is not kept: it is
// removed, and the end line of the log reads as for a document without one.
void BatchRun::checkSlimmedCopy(const std::string& path, DocumentResult& result) {
    CopyCheck check;
    try {
        check = checkCopy(path, result.outputPath);
    } catch (const std::exception& e) {
        check = CopyCheck{};
        check.why = std::string("the copy could not be checked: ") + e.what();
    }
    if (!check.passed && check.why.empty()) check.why = "the copy did not pass the page check";
    result.check = check;
    if (check.passed) return;
    result.reason = check.why;
    try {
        state_.fileSystem->deletefile(result.outputPath);
        result.outputPath.clear();
        result.outputBytes = 0;
        result.reason += "; the copy was removed";
    } catch (const std::exception& e) {
        // The copy stays where it is: the reason says so.
        result.reason += "; the copy " + result.outputPath + " could not be removed: " + e.what();
    }
}

bool BatchRun::isAnInput(const std::string& path) const {
    for (const auto& input : inputFiles_) {
        if (SamePath(input, path)) return true;
    }
    return false;
}

void BatchRun::findCopyNameClashes() {
    nameClashes_.clear();
    written_.clear();
    silently([&] {
        for (auto& [index, message] :
             FindCopyNameClashes(earlierEntries_, inputFiles_, outputFolder_, fileSystemOf(state_))) {
            nameClashes_.emplace(index, std::move(message));
        }
    });
}

// Partial copies and scratch files of an earlier run that was killed on its
// way, older than a day, in the temporary folder and where this run writes.
void BatchRun::removeLeftovers() {
    auto* fs = state_.fileSystem;
    if (!fs) return;
    std::set<std::string> folders;
    std::set<std::string> spellings;
    silently([&] {
        const std::string temporary = fs->GetSpecialFolder(2);
        platform::removeStaleFiles(temporary, [](const std::string& name) {
            return platform::isScratchFileName(name) || platform::isPartialCopyName(name);
        });
        folders.insert(PathIdentity(temporary));
    });
    auto sweep = [&](const std::string& folder) {
        if (!spellings.insert(folder).second || !folders.insert(PathIdentity(folder)).second) return;
        platform::removeStaleFiles(folder, platform::isPartialCopyName);
    };
    if (!outputFolder_.empty()) {
        silently([&] { sweep(outputFolder_); });
        return;
    }
    for (const auto& entry : inputFiles_) {
        silently([&] {
            const std::string folder = fs->GetParentFolderName(entry);
            sweep(folder.empty() ? "." : folder);
        });
    }
}

void BatchRun::StopRun() {
    state_.stopRequested = true;
    host_.setStopEnabled(false);
    display_.setStatus(texts::kStopping);
}

// Scratch files of a document whose clean-up was never reached (the run broke
// off before it) are not left behind in the temporary folder.
void BatchRun::discardScratchFiles() {
    if (!scratchFilesPending_) return;
    scratchFilesPending_ = false;
    auto* fs = state_.fileSystem;
    if (!fs) return;
    silently([&] {
        if (fs->FileExists(state_.scratchPathB)) fs->deletefile(state_.scratchPathB);
    });
    silently([&] {
        if (fs->FileExists(state_.scratchPathA)) fs->deletefile(state_.scratchPathA);
    });
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
    discardScratchFiles();

    silently([&] { host_.beep(); });
    silently([&] { host_.setStartEnabled(true); });
    silently([&] { host_.setStopEnabled(false); });
    silently([&] { display_.setStatus(completed_ ? texts::kCompleted : texts::kInterrupted); });
    silently([&] { host_.beep(); });
    outcome_ = completed_ ? Outcome::Completed : Outcome::Interrupted;
    running_ = false;
}

}  // namespace kelvaran::app
