#pragma once

#include "app/cli/CliApp.h"
#include "engine/Conditions.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace kelvaran::app {

class ReportSink;

// What a batch run of the command line is made with, once the command line
// has been read and checked.
struct BatchSettings {
    engine::ConditionValues values;
    std::int32_t waitXP = 200;
    std::int32_t wait2000 = 500;
    std::string outputDir;
    bool dryRun = false;
    bool dropUnused = false;  // --drop-unused
    // --target-size in bytes; 0: no budget.
    std::uint64_t targetBytes = 0;
    // Every copy written is rendered with LibreOffice beside its input and
    // removed again when a reader could tell them apart.
    bool verify = false;
    bool quiet = false;
    bool verbose = false;
    bool logToError = false;  // the report has standard output
    bool progress = false;    // standard error is a terminal
    // A job of a parallel run tells the parent here of every document it
    // has done ("saved-bytes\n"); -1 when it runs alone.
    int progressFd = -1;
    std::vector<std::string> openingLines;
    // The folder the HTML report is built in (empty: none), and the number
    // of this run's part of it.
    std::string htmlFolder;
    int htmlPart = 0;
    // The entries before this run's own in a --jobs run (see
    // BatchRun::setEarlierEntries).
    std::vector<std::string> earlierEntries;
};

// One batch run over `entries`, as the window's start button runs it, with
// the front end's channels around it.  The report, when there is one, is
// finished here.  The exit status is kExitFailed also when the run went to
// its end but a document could not be opened or its copy not written.
int runBatch(const BatchSettings& settings, const std::vector<std::string>& entries, const CliEnvironment& environment,
             std::ostream& out, std::ostream& err, ReportSink* report);

}  // namespace kelvaran::app
