#pragma once

// The machine-readable report of a command-line run: JSON Lines, one record
// per document, one per replaced object and one for the whole run.  The
// records are described by app/run/report.schema.json.

#include "app/run/BatchRun.h"
#include "engine/Conditions.h"
#include "engine/ObjectObserver.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <iosfwd>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::platform {
class AtomicFileWriter;
}

namespace kelvaran::app {

// An object line of the log, as the engine writes it for each replacement.
struct ReplacedObject {
    long long page = 0;
    std::string kind;       // "Picture" or the application key of an embedded object
    std::string placement;  // "inline", "layout_frame", "text_frame" or "floating"
    long long displayedWidth = 0;
    long long displayedHeight = 0;
    std::string format;  // the format label of the new picture
    long long kbBefore = 0;
    long long kbAfter = 0;
};

// The object line read back; nothing for any other line of the log.
std::optional<ReplacedObject> ParseObjectLine(const std::string& line);

// What became of a document, in the words of the report.
struct DocumentOutcome {
    std::string outcome;  // "slimmed", "unchanged", "refused", "unverified", "failed" or "stopped"
    std::string reason;   // empty for "slimmed" and "unchanged"
};
DocumentOutcome ClassifyDocument(const DocumentResult& result, bool dryRun);

// The reason of a document some of whose objects failed: how many, and why
// the first one did.
std::string ObjectsFailedReason(int count, const std::string& firstReason);

// Where the records go.  "-" is the given stream (standard output), flushed
// after every record; any other name is a file written through a temporary
// file beside it and renamed into place by finish(), so a reader never sees
// half a report.  Without finish() the temporary file is removed.
class ReportSink {
public:
    // Throws platform::FileSystemError when the file cannot be created.
    ReportSink(const std::string& target, std::ostream& standardOutput);
    ~ReportSink();
    ReportSink(const ReportSink&) = delete;
    ReportSink& operator=(const ReportSink&) = delete;

    bool toStandardOutput() const { return !file_; }
    void write(const nlohmann::ordered_json& record);
    // Throws platform::FileSystemError when the file cannot be put in place.
    void finish();

private:
    std::ostream& out_;
    std::unique_ptr<platform::AtomicFileWriter> file_;
};

// The conditions a run was made with, as each document record states them:
// min_size, ratio, format, expect_rate, pixel_size, objects, recompress and
// the options of the command line alone.
nlohmann::ordered_json OptionsRecord(const engine::ConditionValues& values, bool dropUnused,
                                     std::uint64_t targetBytes = 0);

// Builds the records from what the batch run tells and writes.  Object
// records come from the engine's decisions when it tells them; from a walk
// that does not, they are read back from the object lines of the log (which
// name only the replaced objects).
class RunRecorder : public engine::ObjectObserver {
public:
    // `options` goes into every document record (OptionsRecord).
    RunRecorder(ReportSink& sink, bool dryRun, nlohmann::ordered_json options = nlohmann::ordered_json::object());

    void objectDecided(const engine::ObjectDecision& decision) override;

    void documentStarted(const std::string& path);
    // The options the next document records state, and whether it met its
    // size budget (nothing: there is none); they hold until changed.
    void setDocumentOptions(nlohmann::ordered_json options, std::optional<bool> budgetMet);
    // Every text the log receives; object lines become object records.
    void logAppended(const std::string& text);
    void documentDone(const DocumentResult& result);
    // The closing records: every entry of the run that got no document
    // record gets one saying why it was not reached, then the run record.
    void runEnded(const BatchRun& run);

    int documentsDone() const { return documentsDone_; }
    double bytesSaved() const { return bytesSaved_; }

private:
    using Clock = std::chrono::steady_clock;
    static double secondsSince(Clock::time_point start);

    ReportSink& sink_;
    bool dryRun_;
    nlohmann::ordered_json options_;
    std::optional<bool> budgetMet_;
    Clock::time_point runStart_;
    Clock::time_point documentStart_;
    std::string currentDocument_;
    std::string pendingLog_;
    int objectsReplaced_ = 0;
    int objectsFailed_ = 0;
    std::string firstFailure_;
    bool decisionsTold_ = false;
    int documentsDone_ = 0;
    int slimmed_ = 0;
    double bytesSaved_ = 0;
    std::vector<std::string> recorded_;
};

}  // namespace kelvaran::app
