#pragma once

#include "app/run/InputList.h"
#include "engine/RunState.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kelvaran::engine {
class Conditions;
class RunDisplay;
class Walker;
}  // namespace kelvaran::engine
namespace kelvaran::office {
class OfficeControl;
namespace word {
class Document;
}
}  // namespace kelvaran::office
namespace kelvaran::platform {
class Clipboard;
class MessageBoxes;
}  // namespace kelvaran::platform

namespace kelvaran::app {

// What the batch run needs from the front end that drives it: the input text
// and the two buttons.
class BatchHost {
public:
    virtual ~BatchHost() = default;
    virtual std::string inputText() = 0;
    virtual void setStartEnabled(bool enabled) = 0;
    virtual void setStopEnabled(bool enabled) = 0;
    virtual void beep() {}
    // The input files as a ready list.  A front end that has its names
    // already apart (the command line) returns them here and they are taken
    // exactly as given, blanks included; nothing means the input text is
    // split line by line.  The entries are validated either way.
    virtual std::optional<std::vector<std::string>> inputEntries() { return std::nullopt; }
};

// What an independent reader saw when it compared a slimmed copy with its
// input page by page.
struct CopyCheck {
    bool passed = false;
    int pages = 0;
    double worstTile = 0;  // mean grey difference of the worst tile, out of 255
    int page = 0;          // the page of the worst tile (1-based); 0 when none was compared
    std::string why;       // the first difference found; empty when passed
};

// What became of one entry of the input list, for front ends that report on
// every document.
struct DocumentResult {
    std::string path;        // the entry of the input list
    std::string outputPath;  // the slimmed copy written; empty when none was
    double inputBytes = 0;
    double outputBytes = 0;  // of the copy written (in a dry run: that it would have)
    bool skipped = false;    // Word could not be brought up; nothing was done
    bool opened = false;     // Word opened the document
    bool converted = false;  // at least one object was replaced
    bool stopped = false;    // a stop was requested while it was processed
    bool outputRefused = false;  // the copy's name is an input's, or an earlier input's copy's: not written
    std::string reason;      // why it could not be opened or saved; empty otherwise
    // The check of the copy written, when copies are checked; a copy that
    // failed it has been removed again.
    std::optional<CopyCheck> check;
};

// The batch run over the input files: splitting and validating the input,
// the environment check, the scratch objects, one document after another,
// and the finishing steps.  The GUI and the command line both drive it.
// Everything passed in must outlive it.  Single-threaded.
class BatchRun {
public:
    enum class Outcome { None, Refused, CheckFailed, Completed, Interrupted };

    BatchRun(engine::RunState& state, office::OfficeControl& office, platform::Clipboard& clipboard,
             platform::MessageBoxes& messages, engine::Conditions& conditions, engine::RunDisplay& display,
             BatchHost& host);

    // The walk over each document; may be null (nothing is converted then).
    void setWalker(engine::Walker* walker) { walker_ = walker; }

    // Told when a document cannot be opened, with the office error's text.
    std::function<void(const std::string& path, const std::string& reason)> onOpenFailed;
    // Told when a slimmed copy could not be written, and why.
    std::function<void(const std::string& path, const std::string& reason)> onSaveFailed;
    // Told before every entry of the input list is taken up, with its index
    // from 0, and after it, processed or skipped.
    std::function<void(const std::string& path, int index)> onDocumentStarted;
    std::function<void(const DocumentResult&)> onDocumentDone;
    // Checks every slimmed copy as soon as it is written (input, copy); a
    // copy that does not pass is removed and the document counts as having
    // no copy.  Unset: copies are not checked.
    std::function<CopyCheck(const std::string& input, const std::string& copy)> checkCopy;
    // Called with the converted document just before its copy is saved.
    // Only tests set it, to make a copy that differs on purpose.
    std::function<void(office::word::Document&)> beforeSave;

    // Where the slimmed copies go; empty (the default) means beside each input.
    void setOutputFolder(std::string folder) { outputFolder_ = std::move(folder); }
    // A dry run saves each converted document to a temporary file only, to
    // learn the size of its slimmed copy, and removes it again.
    void setDryRun(bool dryRun) { dryRun_ = dryRun; }
    // Each copy leaves out data no current reader needs (the office's
    // setDropUnusedData), and a document whose copy only that makes smaller
    // is written too.  Off by default; the window never sets it.
    void setDropUnused(bool drop) { dropUnused_ = drop; }
    // Entries of the same run that come before this run's own and are taken
    // up elsewhere (the parts of a --jobs run before this one): a copy whose
    // name theirs take is refused here too.
    void setEarlierEntries(std::vector<std::string> entries) { earlierEntries_ = std::move(entries); }

    // The start button.  Does nothing while a run is going on.
    void StartRun();
    // The stop button.
    void StopRun();
    // Processes one input file; false when a stop was requested.
    bool ProcessDocument(const std::string& path);

    bool running() const { return running_; }
    Outcome lastOutcome() const { return outcome_; }
    const std::vector<std::string>& inputFiles() const { return inputFiles_; }
    // Why the last run broke off before its first document was cleaned up
    // (the failing step's error); empty when it did not.  The status line
    // does not tell: it may read "変換完了" all the same.
    const std::string& breakOffReason() const { return breakOffReason_; }
    // The entry that refused the last run, when validation refused it.
    const std::optional<InputRefusal>& refusal() const { return refusal_; }
    int inputCount() const { return static_cast<int>(inputFiles_.size()); }

private:
    void runDocuments();
    void prepareDocument(const std::string& path);
    void cleanUpDocument();
    void finish();
    void discardScratchFiles();
    bool isAnInput(const std::string& path) const;
    void findCopyNameClashes();
    void removeLeftovers();
    bool refuseClashingCopy(const std::string& path, DocumentResult& result);
    void saveSlimmedCopy(const std::string& path, DocumentResult& result);
    bool droppingShrinks(double inputBytes);
    void checkSlimmedCopy(const std::string& path, DocumentResult& result);
    // Runs a step: before the first document's clean-up a failure breaks off
    // the run (it propagates); from then on it is skipped.
    template <typename Step>
    void step(Step&& body);

    engine::RunState& state_;
    office::OfficeControl& office_;
    platform::Clipboard& clipboard_;
    platform::MessageBoxes& messages_;
    engine::Conditions& conditions_;
    engine::RunDisplay& display_;
    BatchHost& host_;
    engine::Walker* walker_ = nullptr;

    std::vector<std::string> inputFiles_;
    std::string breakOffReason_;
    std::optional<InputRefusal> refusal_;
    std::string outputFolder_;
    std::vector<std::string> earlierEntries_;
    // Refusals of copies whose names earlier entries' copies take, by the
    // entry's position; and the copies this run has written.
    std::map<std::size_t, std::string> nameClashes_;
    std::set<std::string> written_;
    std::size_t currentIndex_ = 0;
    bool dryRun_ = false;
    bool dropUnused_ = false;
    bool scratchFilesPending_ = false;
    DocumentResult current_;
    bool running_ = false;
    bool tolerant_ = false;
    bool completed_ = false;
    Outcome outcome_ = Outcome::None;
};

}  // namespace kelvaran::app
