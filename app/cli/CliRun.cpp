#include "app/cli/CliRun.h"

#include "app/cli/CliBudget.h"
#include "app/cli/CliConsole.h"
#include "app/run/BatchRun.h"
#include "app/run/HtmlReport.h"
#include "app/run/RunAssembly.h"
#include "app/run/RunReport.h"
#include "app/verify/CopyVerifier.h"
#include "engine/ObjectObserver.h"
#include "imaging/Imaging.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "office/OfficeControl.h"
#include "platform/Clipboard.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "rules/ExceptionList.h"
#include "rules/ExceptionListFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

namespace kelvaran::app {

namespace {

// Line breaks of the log as the terminal expects them.
std::string unixLines(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        result.push_back(text[i] == '\r' ? '\n' : text[i]);
    }
    return result;
}

class StreamMessageBoxes : public platform::MessageBoxes {
public:
    explicit StreamMessageBoxes(CliConsole& console) : console_(console) {}
    void show(const std::string& text, platform::MessageIcon) override { console_.line(text); }

private:
    CliConsole& console_;
};

// Polls the interrupt flag and turns it into the stop button, once.
class CliEventPump : public platform::EventPump {
public:
    explicit CliEventPump(std::atomic<bool>* flag) : flag_(flag) {}
    void attach(BatchRun* run) { run_ = run; }
    void processEvents() override {
        if (!flag_ || stopped_ || !run_ || !run_->running()) return;
        if (flag_->load()) {
            stopped_ = true;
            run_->StopRun();
        }
    }

private:
    std::atomic<bool>* flag_;
    BatchRun* run_ = nullptr;
    bool stopped_ = false;
};

class CliDisplay : public engine::RunDisplay {
public:
    // `log` is null when the log is not shown; status texts go to the
    // console unless `showStatus` is off.
    CliDisplay(std::ostream* log, CliConsole& console, bool showStatus, platform::EventPump& pump)
        : log_(log), console_(console), showStatus_(showStatus), pump_(pump) {}
    std::function<void(const std::string&)> onLog;

    void appendLog(const std::string& text) override {
        if (onLog) onLog(text);
        if (log_) {
            console_.hideProgress();
            *log_ << unixLines(text) << std::flush;
            console_.showProgress();
        }
        pump_.processEvents();
    }
    void clearLog() override {}
    std::string statusText() override { return status_; }
    void setStatus(const std::string& text) override {
        // The walk appends "." to the status for each object; only whole
        // new texts are worth a line.
        const bool progressDot = text.size() > status_.size() && text.compare(0, status_.size(), status_) == 0 &&
                                 text.find_first_not_of('.', status_.size()) == std::string::npos;
        status_ = text;
        if (!progressDot && showStatus_) console_.line(text);
    }

private:
    std::ostream* log_;
    CliConsole& console_;
    bool showStatus_;
    platform::EventPump& pump_;
    std::string status_;
};

class CliHost : public BatchHost {
public:
    explicit CliHost(std::vector<std::string> entries) : entries_(std::move(entries)) {}
    std::string inputText() override { return {}; }
    // The names are apart already: blanks and line breaks in them are kept.
    std::optional<std::vector<std::string>> inputEntries() override { return entries_; }
    void setStartEnabled(bool) override {}
    void setStopEnabled(bool) override {}

private:
    std::vector<std::string> entries_;
};

std::string kilobytes(double bytes) {
    return std::to_string(SizeInKB(std::max(0.0, bytes))) + " KB";
}

// Passes the engine's decisions on to the report and counts them for the
// progress line.
class ObjectCounter : public engine::ObjectObserver {
public:
    explicit ObjectCounter(std::vector<engine::ObjectObserver*> next) : next_(std::move(next)) {}

    void objectsAhead(std::int32_t count) override {
        ahead_ = count;
        decided_ = 0;
        for (auto* next : next_) {
            if (next) next->objectsAhead(count);
        }
        if (changed) changed();
    }
    void objectDecided(const engine::ObjectDecision& decision) override {
        ++decided_;
        if (decision.decision == "failed" && failed_++ == 0) firstFailure_ = decision.reason;
        for (auto* next : next_) {
            if (next) next->objectDecided(decision);
        }
        if (changed) changed();
    }
    void reset() {
        ahead_ = 0;
        decided_ = 0;
        failed_ = 0;
        firstFailure_.clear();
    }
    int ahead() const { return ahead_; }
    int decided() const { return decided_; }
    int failed() const { return failed_; }
    const std::string& firstFailure() const { return firstFailure_; }

    std::function<void()> changed;

private:
    std::vector<engine::ObjectObserver*> next_;
    int ahead_ = 0;
    int decided_ = 0;
    int failed_ = 0;
    std::string firstFailure_;
};

}  // namespace

int runBatch(const BatchSettings& settings, const std::vector<std::string>& entries, const CliEnvironment& environment,
             std::ostream& out, std::ostream& err, ReportSink* report) {
    const bool quiet = settings.quiet;
    const bool dryRun = settings.dryRun;
    platform::StdFileSystem fileSystem;
    CliConsole console(err, settings.progress && !quiet);
    std::ostream* logStream = quiet ? nullptr : (settings.logToError ? &err : &out);
    StreamMessageBoxes messages(console);
    engine::FixedConditions conditions(settings.values);
    CliEventPump pump(environment.interrupted);
    CliDisplay display(logStream, console, !quiet, pump);
    platform::Timer timer;
    CliHost host(entries);
    std::unique_ptr<RunRecorder> recorder;
    // Under a size budget each document is first tried under looser and
    // looser conditions; the run then slims it under the ones chosen.
    std::vector<BudgetChoice> budget;
    if (settings.targetBytes > 0) budget = ChooseWithinBudget(settings, entries, environment);
    if (report) {
        recorder = std::make_unique<RunRecorder>(*report, dryRun,
                                                 OptionsRecord(settings.values, settings.dropUnused, settings.targetBytes));
        display.onLog = [&recorder](const std::string& text) { recorder->logAppended(text); };
    }
    std::unique_ptr<HtmlReportCollector> html;
    if (!settings.htmlFolder.empty()) {
        html = std::make_unique<HtmlReportCollector>(settings.htmlFolder, "p" + std::to_string(settings.htmlPart) + "-",
                                                     dryRun);
    }
    ObjectCounter counter({recorder.get(), html.get()});

    RunAssembly assembly(environment.registerBackends);
    engine::RunState& state = assembly.state();
    state.waitXP = settings.waitXP;
    state.wait2000 = settings.wait2000;
    state.fileSystem = &fileSystem;
    rules::ExceptionList& exceptions = assembly.exceptions();
    try {
        rules::LoadExceptionList(exceptions, environment.configFolder + "/ole.ini", {});
    } catch (const std::exception&) {
        // The built-in table stays.
    }
    if (exceptions.size() == 0) rules::AddDefaultExceptions(exceptions);
    // The progress line and the verbose lines count the decisions on their
    // way to the report.
    assembly.assemble({conditions, display, host, messages, pump, timer, &counter}, environment.makeWalker);

    office::OfficeControl& office = assembly.office();
    office.setCaption = [](const std::string&) {};
    BatchRun& run = assembly.batch();
    run.setOutputFolder(settings.outputDir);
    run.setDryRun(dryRun);
    run.setDropUnused(settings.dropUnused);
    run.beforeSave = environment.beforeSave;
    run.setEarlierEntries(settings.earlierEntries);
    pump.attach(&run);
    std::unique_ptr<verify::CopyVerifier> verifier;
    bool anyUnverified = false;
    if (settings.verify) {
        try {
            verifier = std::make_unique<verify::CopyVerifier>();
        } catch (const std::exception& e) {
            console.line(std::string("kelvaran-cli: --verify: ") + e.what());
            return kExitFailed;
        }
        run.checkCopy = [&](const std::string& input, const std::string& copy) {
            const verify::CheckResult r = verifier->check(input, copy);
            return CopyCheck{r.passed, r.pages, r.worstTile, r.worstPage, r.why};
        };
    }

    const int count = static_cast<int>(entries.size());
    double saved = 0;
    int documentsFailed = 0;
    auto documentStart = std::chrono::steady_clock::now();
    const auto runStart = std::chrono::steady_clock::now();
    std::string progressPath;
    int progressIndex = 0;
    double progressLeft = -1;
    auto redraw = [&] {
        console.setProgress(ProgressText(progressIndex + 1, count, saved, progressLeft, progressPath,
                                         counter.decided() + 1, counter.ahead()));
    };
    counter.changed = redraw;
    run.onDocumentStarted = [&](const std::string& path, int index) {
        documentStart = std::chrono::steady_clock::now();
        if (static_cast<std::size_t>(index) < budget.size()) {
            const BudgetChoice& choice = budget[static_cast<std::size_t>(index)];
            conditions.values().ratio = choice.step.ratio;
            conditions.values().jpegQuality = choice.step.jpegQuality;
            if (recorder) {
                recorder->setDocumentOptions(
                    OptionsRecord(conditions.values(), settings.dropUnused, settings.targetBytes),
                    choice.tried ? std::optional<bool>(choice.met) : std::nullopt);
            }
        }
        if (recorder) recorder->documentStarted(path);
        if (html) html->documentStarted(path);
        // The documents done so far tell how long the rest will take.
        progressLeft = -1;
        if (index > 0) {
            const double elapsed = std::chrono::duration<double>(documentStart - runStart).count();
            progressLeft = elapsed / index * (count - index);
        }
        progressPath = path;
        progressIndex = index;
        counter.reset();
        redraw();
    };
    run.onDocumentDone = [&](const DocumentResult& result) {
        if (recorder) recorder->documentDone(result);
        if (html) html->documentDone(result);
        const auto outcome = ClassifyDocument(result, dryRun);
        if (progressIndex < static_cast<int>(budget.size()) && !quiet) {
            const BudgetChoice& choice = budget[static_cast<std::size_t>(progressIndex)];
            if (choice.tried && !choice.met && (outcome.outcome == "slimmed" || outcome.outcome == "unchanged")) {
                console.line("kelvaran-cli: " + result.path + ": the size budget of " +
                             std::to_string(settings.targetBytes) + " bytes cannot be met; the smallest copy (" +
                             std::to_string(static_cast<long long>(choice.bytes)) + " bytes, ratio " +
                             choice.step.ratio + ", JPEG quality " +
                             std::to_string(choice.step.jpegQuality > 0 ? choice.step.jpegQuality : imaging::kDefaultJpegQuality) +
                             ") is what comes out");
            }
        }
        if (outcome.outcome == "unverified") {
            anyUnverified = true;
            console.line("kelvaran-cli: " + result.path + ": " + outcome.reason);
        }
        if (outcome.outcome == "failed" || outcome.outcome == "refused") ++documentsFailed;
        const double savedHere = outcome.outcome == "slimmed" ? std::max(0.0, result.inputBytes - result.outputBytes) : 0;
        saved += savedHere;
        if (settings.progressFd >= 0) {
            const std::string note = std::to_string(static_cast<long long>(savedHere)) + "\n";
            // Short notes on a pipe are written whole; a parent that went
            // away only loses its progress line.
            while (::write(settings.progressFd, note.data(), note.size()) < 0 && errno == EINTR) {
            }
        }
        if (settings.verbose) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - documentStart).count();
            std::ostringstream line;
            line.precision(2);
            line << std::fixed << "kelvaran-cli: " << result.path << ": " << outcome.outcome << " ("
                 << kilobytes(result.inputBytes);
            if (outcome.outcome == "slimmed") line << " -> " << kilobytes(result.outputBytes);
            line << ", " << seconds << " s)";
            if (!outcome.reason.empty()) {
                line << ": " << outcome.reason;
            } else if (counter.failed() > 0) {
                line << ": " << ObjectsFailedReason(counter.failed(), counter.firstFailure());
            }
            console.line(line.str());
        }
    };
    run.onOpenFailed = [&console](const std::string& path, const std::string& reason) {
        console.line("文書を開けません：" + path + " (" + reason + ")");
    };
    run.onSaveFailed = [&console](const std::string& path, const std::string& reason) {
        console.line("kelvaran-cli: no slimmed copy of " + path + ": " + reason);
    };
    office.endProgram = [&console, &office] {
        if (!office.lastCreationError().empty()) console.line("(" + office.lastCreationError() + ")");
    };

    for (const auto& line : settings.openingLines) console.line(line);

    run.StartRun();
    console.endProgress();

    int status =
        run.lastOutcome() == BatchRun::Outcome::Completed && documentsFailed == 0 ? kExitCompleted : kExitFailed;
    if (!run.breakOffReason().empty()) {
        console.line("kelvaran-cli: the run broke off: " + run.breakOffReason());
        status = kExitFailed;
    }
    if (anyUnverified) status = kExitFailed;
    if (html) {
        try {
            // Every entry has its row, also those the run never came to.
            std::string outcome = "stopped";
            std::string why = "not reached: the run was stopped";
            if (!run.breakOffReason().empty()) {
                outcome = "failed";
                why = "not reached: the run broke off: " + run.breakOffReason();
            }
            if (run.lastOutcome() == BatchRun::Outcome::Refused && run.refusal()) {
                outcome = "refused";
                why = run.refusal()->message;
            }
            if (run.lastOutcome() == BatchRun::Outcome::CheckFailed) {
                outcome = "failed";
                why = "not reached: the office environment check failed";
            }
            html->notReached(run, outcome, why);
            html->writePart(settings.htmlPart);
        } catch (const std::exception& e) {
            console.line(std::string("kelvaran-cli: the HTML report could not be written: ") + e.what());
            status = kExitFailed;
        }
    }
    if (report) {
        try {
            recorder->runEnded(run);
            report->finish();
        } catch (const std::exception& e) {
            console.line(std::string("kelvaran-cli: the report could not be written: ") + e.what());
            status = kExitFailed;
        }
    }
    return status;
}

}  // namespace kelvaran::app
