#include "app/CliApp.h"

#include "Version.h"
#include "app/run/AppTitle.h"
#include "app/run/BatchRun.h"
#include "app/CliConsole.h"
#include "app/run/InputList.h"
#include "app/run/RunAssembly.h"
#include "app/run/RunReport.h"
#include "engine/Conditions.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "office/OfficeControl.h"
#include "platform/AtomicFile.h"
#include "platform/Clipboard.h"
#include "platform/Conversions.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "rules/ExceptionList.h"
#include "rules/ExceptionListFile.h"
#include "settings/RegAccess.h"
#include "settings/StoredSettings.h"

#include <CLI/CLI.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <istream>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace kelvaran::app {

namespace {

const std::map<std::string, int> kFormatNames = {
    {"recommended", 0}, {"jpeg", 1}, {"png", 2}, {"gif", 3}, {"emf", 4}};

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

// A bad command line or bad input: one line, exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string numberCheck(const std::string& text, double lowest, double highest, bool lowestIncluded,
                        const std::string& range) {
    double value = 0;
    try {
        value = platform::textToDouble(text);
    } catch (const platform::Failure&) {
        return "not a number: " + text;
    }
    if (!std::isfinite(value) || value > highest || value < lowest || (!lowestIncluded && value == lowest)) {
        return text + " is not " + range;
    }
    return {};
}

// Stored texts that are not numbers take the built-in defaults, as the
// window does with values it cannot read.
void replaceUnreadableNumbers(engine::ConditionValues& values) {
    const engine::ConditionValues defaults;
    auto keep = [](std::string& text, const std::string& fallback) {
        try {
            platform::textToDouble(text);
        } catch (const platform::Failure&) {
            text = fallback;
        }
    };
    keep(values.fileSize, defaults.fileSize);
    keep(values.ratio, defaults.ratio);
    keep(values.expectRate, defaults.expectRate);
    keep(values.pixelSize, defaults.pixelSize);
    if (values.format < 0 || values.format > 4) values.format = defaults.format;
}

void requireWritableFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(folder, ec)) throw UsageError("--output-dir: no such folder: " + folder);
    if (!fs::is_directory(folder, ec)) throw UsageError("--output-dir: not a folder: " + folder);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        throw UsageError("--output-dir: cannot write into " + folder + ": " + std::strerror(errno));
    }
}

std::string readList(const std::string& name, std::istream* standardInput) {
    if (name == "-") {
        if (!standardInput) throw UsageError("--files-from: no standard input to read the list from");
        std::ostringstream buffer;
        buffer << standardInput->rdbuf();
        if (standardInput->bad()) throw UsageError("--files-from: cannot read the list from standard input");
        return buffer.str();
    }
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) throw UsageError("--files-from: " + name + " is a folder");
    try {
        return platform::readWholeFile(name);
    } catch (const std::exception&) {
        throw UsageError("--files-from: cannot read the list " + name + ": " + std::strerror(errno));
    }
}

std::string kilobytes(double bytes) {
    return std::to_string(SizeInKB(std::max(0.0, bytes))) + " KB";
}

std::string onOff(bool value) {
    return value ? "on" : "off";
}

std::string formatNameOf(int index) {
    for (const auto& [name, value] : kFormatNames) {
        if (value == index) return name;
    }
    return std::to_string(index);
}

// Passes the engine's decisions on to the report and counts them for the
// progress line.
class ObjectCounter : public engine::ObjectObserver {
public:
    explicit ObjectCounter(engine::ObjectObserver* next) : next_(next) {}

    void objectsAhead(std::int32_t count) override {
        ahead_ = count;
        decided_ = 0;
        if (next_) next_->objectsAhead(count);
        if (changed) changed();
    }
    void objectDecided(const engine::ObjectDecision& decision) override {
        ++decided_;
        if (next_) next_->objectDecided(decision);
        if (changed) changed();
    }
    void reset() {
        ahead_ = 0;
        decided_ = 0;
    }
    int ahead() const { return ahead_; }
    int decided() const { return decided_; }

    std::function<void()> changed;

private:
    engine::ObjectObserver* next_;
    int ahead_ = 0;
    int decided_ = 0;
};

// What a batch run of the command line is made with, once the command line
// has been read and checked.
struct BatchSettings {
    engine::ConditionValues values;
    std::int32_t waitXP = 200;
    std::int32_t wait2000 = 500;
    std::string outputDir;
    bool dryRun = false;
    bool quiet = false;
    bool verbose = false;
    bool logToError = false;  // the report has standard output
    bool progress = false;    // standard error is a terminal
    // A job of a parallel run tells the parent here of every document it
    // has done ("saved-bytes\n"); -1 when it runs alone.
    int progressFd = -1;
    std::vector<std::string> openingLines;
};

// One batch run over `entries`, as the window's start button runs it, with
// the front end's channels around it.  The report, when there is one, is
// finished here.
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
    if (report) {
        recorder = std::make_unique<RunRecorder>(*report, dryRun);
        display.onLog = [&recorder](const std::string& text) { recorder->logAppended(text); };
    }
    ObjectCounter counter(recorder.get());

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
    // The progress line counts the decisions on their way to the report.
    engine::ObjectObserver* observer =
        console.showsProgress() ? &counter : static_cast<engine::ObjectObserver*>(recorder.get());
    assembly.assemble({conditions, display, host, messages, pump, timer, observer}, environment.makeWalker);

    office::OfficeControl& office = assembly.office();
    office.setCaption = [](const std::string&) {};
    BatchRun& run = assembly.batch();
    run.setOutputFolder(settings.outputDir);
    run.setDryRun(dryRun);
    pump.attach(&run);

    const int count = static_cast<int>(entries.size());
    double saved = 0;
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
        if (recorder) recorder->documentStarted(path);
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
        const auto outcome = ClassifyDocument(result, dryRun);
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
            if (!outcome.reason.empty()) line << ": " << outcome.reason;
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

    int status = run.lastOutcome() == BatchRun::Outcome::Completed ? kExitCompleted : kExitFailed;
    if (!run.breakOffReason().empty()) {
        console.line("kelvaran-cli: the run broke off: " + run.breakOffReason());
        status = kExitFailed;
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

// A temporary file of the worker processes, in the temporary folder, removed
// when it goes out of scope.
class ScratchFile {
public:
    ScratchFile() {
        platform::StdFileSystem fileSystem;
        std::string pattern = fileSystem.GetSpecialFolder(2) + "/kelvaran-job-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            throw platform::FileSystemError("cannot create a temporary file: " + std::string(std::strerror(errno)));
        }
        ::close(fd);
        path_ = pattern;
    }
    ~ScratchFile() { ::unlink(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return path_; }
    std::string read() const {
        try {
            return platform::readWholeFile(path_);
        } catch (const std::exception&) {
            return {};
        }
    }

private:
    std::string path_;
};

// True while the process has no thread but this one.  A process copied by
// fork() keeps only the calling thread, so locks that other threads held at
// that moment (a picture library's worker pool, say) would never be released
// in the copy.
bool singleThreaded() {
    std::error_code ec;
    std::size_t threads = 0;
    for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end; it.increment(ec)) {
        ++threads;
    }
    return !ec && threads == 1;
}

struct Worker {
    std::vector<std::string> entries;
    ScratchFile out, err, report;
    pid_t pid = -1;
    int status = kExitFailed;
};

// Up to `jobs` batch runs at once over consecutive parts of the input list,
// each in a process of its own with its own office.  Their log, messages and
// report records are passed on part after part once all have ended, so
// nothing of two documents is ever mixed and the input order is kept.
int runParallel(int jobs, const BatchSettings& settings, const std::vector<std::string>& entries,
                const CliEnvironment& environment, std::ostream& out, std::ostream& err, ReportSink* report) {
    // A list the batch run refuses is refused once, by one run.
    platform::StdFileSystem fileSystem;
    if (FindRefusal(entries, fileSystem)) return runBatch(settings, entries, environment, out, err, report);
    if (!singleThreaded()) {
        err << "kelvaran-cli: --jobs: this process already runs other threads; the documents are slimmed one "
               "after another"
            << std::endl;
        return runBatch(settings, entries, environment, out, err, report);
    }

    const auto started = std::chrono::steady_clock::now();
    const std::size_t parts = std::min(entries.size(), static_cast<std::size_t>(jobs));
    std::vector<std::unique_ptr<Worker>> workers;
    std::size_t next = 0;
    for (std::size_t k = 0; k < parts; ++k) {
        auto worker = std::make_unique<Worker>();
        const std::size_t size = entries.size() / parts + (k < entries.size() % parts ? 1 : 0);
        const auto first = entries.begin() + static_cast<long>(next);
        worker->entries.assign(first, first + static_cast<long>(size));
        next += size;
        workers.push_back(std::move(worker));
    }

    CliConsole console(err, settings.progress && !settings.quiet);
    for (const auto& line : settings.openingLines) console.line(line);
    BatchSettings part = settings;
    part.openingLines.clear();
    part.progress = false;
    // The jobs tell of each document done through one pipe, for the
    // progress line; without a terminal there is none.
    int notes[2] = {-1, -1};
    if (console.showsProgress() && ::pipe(notes) != 0) notes[0] = notes[1] = -1;
    part.progressFd = notes[1];

    out.flush();
    err.flush();
    std::cout.flush();
    std::cerr.flush();
    for (auto& worker : workers) {
        worker->pid = ::fork();
        if (worker->pid == 0) {
            if (notes[0] >= 0) ::close(notes[0]);
            // The cores are shared out between the jobs: picture threads of
            // several jobs competing for one core only slow each other down.
            if (!std::getenv("KELVARAN_PICTURE_THREADS")) {
                const long cores = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
                const long share = std::max(1L, cores / static_cast<long>(parts));
                ::setenv("KELVARAN_PICTURE_THREADS", std::to_string(share).c_str(), 1);
            }
            int status = kExitFailed;
            {
                std::ofstream partOut(worker->out.path(), std::ios::binary);
                std::ofstream partErr(worker->err.path(), std::ios::binary);
                try {
                    std::unique_ptr<ReportSink> partReport;
                    if (report) partReport = std::make_unique<ReportSink>(worker->report.path(), partOut);
                    status = runBatch(part, worker->entries, environment, partOut, partErr, partReport.get());
                } catch (const std::exception& e) {
                    partErr << "kelvaran-cli: " << e.what() << '\n';
                }
            }
            // Straight out: the parent's objects are the parent's to clean up.
            ::_exit(status);
        }
        if (worker->pid < 0) {
            console.line(std::string("kelvaran-cli: cannot start a job: ") + std::strerror(errno));
            worker->status = kExitFailed;
        }
    }
    if (notes[1] >= 0) ::close(notes[1]);
    if (notes[0] >= 0) {
        // Until every job has closed its end: document k of N, what was
        // saved, and the time the rest will take at the pace so far.
        const int count = static_cast<int>(entries.size());
        int done = 0;
        double saved = 0;
        std::string pending;
        auto redraw = [&] {
            double left = -1;
            if (done > 0) {
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                left = elapsed / done * (count - done);
            }
            console.setProgress(ProgressText(std::min(done + 1, count), count, saved, left,
                                             std::to_string(parts) + " jobs"));
        };
        redraw();
        char buffer[256];
        for (;;) {
            const ssize_t got = ::read(notes[0], buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            pending.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                ++done;
                saved += std::strtod(pending.substr(0, end).c_str(), nullptr);
            }
            redraw();
        }
        ::close(notes[0]);
        console.endProgress();
    }
    for (auto& worker : workers) {
        if (worker->pid <= 0) continue;
        int raw = 0;
        while (::waitpid(worker->pid, &raw, 0) < 0 && errno == EINTR) {
        }
        worker->status = WIFEXITED(raw) ? WEXITSTATUS(raw) : kExitFailed;
        if (WIFSIGNALED(raw)) {
            console.line("kelvaran-cli: the job for " + worker->entries.front() + " and after ended by signal " +
                         std::to_string(WTERMSIG(raw)));
        }
    }

    int status = kExitCompleted;
    nlohmann::ordered_json run = {{"record", "run"},    {"version", kVersionDotted}, {"outcome", "completed"},
                                  {"reason", nullptr},  {"documents", 0},          {"slimmed", 0},
                                  {"bytes_saved", 0},   {"seconds", 0.0},          {"dry_run", settings.dryRun}};
    for (auto& worker : workers) {
        out << worker->out.read();
        out.flush();
        err << worker->err.read();
        err.flush();
        status = std::max(status, worker->status);
        if (!report) continue;
        std::vector<std::string> recorded;
        bool ended = false;
        std::istringstream lines(worker->report.read());
        for (std::string line; std::getline(lines, line);) {
            nlohmann::ordered_json record;
            try {
                record = nlohmann::ordered_json::parse(line);
            } catch (const std::exception&) {
                continue;
            }
            if (record.value("record", "") != "run") {
                if (record.value("record", "") == "document") recorded.push_back(record.value("input", ""));
                report->write(record);
                continue;
            }
            ended = true;
            for (const char* sum : {"documents", "slimmed", "bytes_saved"}) {
                run[sum] = run[sum].get<long long>() + record.value(sum, 0LL);
            }
            if (run["outcome"] == "completed" && record.value("outcome", "") != "completed") {
                run["outcome"] = record["outcome"];
                run["reason"] = record["reason"];
            }
        }
        if (!ended) {
            // A job that did not end its report: its documents are accounted for all the same.
            for (const auto& entry : worker->entries) {
                if (std::find(recorded.begin(), recorded.end(), entry) != recorded.end()) continue;
                report->write({{"record", "document"},
                               {"input", entry},
                               {"output", nullptr},
                               {"bytes_before", 0},
                               {"bytes_after", nullptr},
                               {"outcome", "failed"},
                               {"reason", "the job that took this document ended abnormally"},
                               {"seconds", 0.0},
                               {"dry_run", settings.dryRun},
                               {"objects_replaced", 0}});
            }
            if (run["outcome"] == "completed") {
                run["outcome"] = "broken_off";
                run["reason"] = "a job ended abnormally";
            }
        }
    }
    if (report) {
        run["seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        try {
            report->write(run);
            report->finish();
        } catch (const std::exception& e) {
            console.line(std::string("kelvaran-cli: the report could not be written: ") + e.what());
            status = kExitFailed;
        }
    }
    return status;
}

}  // namespace

int runCli(int argc, const char* const* argv, const CliEnvironment& environment, std::ostream& out,
           std::ostream& err) {
    // Stored settings first, then the defaults; the command line overrides both.
    engine::ConditionValues values;
    engine::RunState state;
    try {
        settings::RegAccess registry(environment.configFolder);
        const auto stored = settings::StoredSettings::load(registry);
        values.fileSize = stored.fileSize;
        values.ratio = stored.ratio;
        values.format = stored.format;
        values.expectRate = stored.expectRate;
        values.pixelSize = stored.pixelSize;
        values.convertObjects = stored.ole.value_or(false);
        values.slowMode = stored.slow;
        values.recompress = stored.twice.value_or(false);
        state.waitXP = stored.waitXP;
        state.wait2000 = stored.wait2000;
    } catch (const std::exception&) {
        // Unreadable settings: the defaults apply.
    }
    replaceUnreadableNumbers(values);

    CLI::App cli{"Makes Word documents (.doc, .rtf) smaller by recompressing their pictures and objects.\n"
                 "Writes NAME-slimmed-NNNk.EXT beside each input (or into --output-dir) whose pictures\n"
                 "could be made smaller.  The conditions default to the ones the main window stored.\n"
                 "Exit status: 0 completed, 1 stopped, refused or broken off, 2 bad command line or input.",
                 "kelvaran-cli"};
    cli.set_version_flag("--version", std::string(kVersionDotted), "Print the version and exit");
    std::vector<std::string> files;
    std::string format;
    std::string filesFrom;
    bool nulSeparated = false;
    std::string outputDir;
    bool recursive = false;
    bool dryRun = false;
    std::string reportTarget;
    bool quiet = false;
    bool verbose = false;
    int jobs = 1;

    cli.add_option("FILE", files, "Word documents to slim (.doc or .rtf)")->group("Input");
    cli.add_option("--files-from", filesFrom,
                   "Also slim the documents named in LIST, one a line (\"-\": standard input)")
        ->type_name("LIST")
        ->group("Input");
    cli.add_flag("-0,--null", nulSeparated, "Names in LIST are separated by NUL characters (find -print0)")
        ->group("Input");
    cli.add_flag("-r,--recursive", recursive, "Take every .doc and .rtf file under a folder given as input")
        ->group("Input");
    cli.add_option("-o,--output-dir", outputDir, "Write the slimmed copies into DIR instead of beside each input")
        ->type_name("DIR")
        ->group("Output");
    cli.add_flag("-n,--dry-run", dryRun,
                 "Convert and measure, write no document (each copy is measured in a temporary file, removed at once)")
        ->group("Output");
    cli.add_option("--report", reportTarget,
                   "Write a JSON Lines report to FILE (\"-\": standard output, the log then goes to standard error)")
        ->type_name("FILE")
        ->group("Output");
    cli.add_flag("-q,--quiet", quiet, "Show only errors: no log, no status, no progress")->group("Output");
    cli.add_flag("-v,--verbose", verbose, "Also show one line per document with its outcome")->group("Output");
    cli.add_option("-j,--jobs", jobs,
                   "Slim up to N documents at once, each in a process of its own (default 1: one after another); "
                   "the log and the report keep the input order")
        ->type_name("N")
        ->check(CLI::Range(1, 64))
        ->capture_default_str()
        ->group("Output");

    cli.add_option("--min-size", values.fileSize, "Convert pictures of at least this many KB")
        ->check([](const std::string& t) { return numberCheck(t, 0, 1e12, true, "a size of 0 KB or more"); })
        ->capture_default_str()
        ->group("Conditions");
    cli.add_option("--ratio", values.ratio, "Resolution of the new picture relative to its displayed size")
        ->check([](const std::string& t) { return numberCheck(t, 0, 100, false, "a ratio above 0 and up to 100"); })
        ->capture_default_str()
        ->group("Conditions");
    auto* formatOption = cli.add_option("--format", format, "Target format: recommended, jpeg, png, gif or emf")
                             ->check(CLI::IsMember({"recommended", "jpeg", "png", "gif", "emf"}, CLI::ignore_case))
                             ->group("Conditions");
    for (const auto& [name, index] : kFormatNames) {
        if (index == values.format) formatOption->default_str(name);
    }
    cli.add_option("--expect-rate", values.expectRate,
                   "Replace only when the new picture is below this percentage of the old (1 to 100)")
        ->check([](const std::string& t) { return numberCheck(t, 1, 100, true, "a percentage from 1 to 100"); })
        ->capture_default_str()
        ->group("Conditions");
    cli.add_option("--pixel-size", values.pixelSize,
                   "Take groups apart only when larger than this many pixels both ways (9999: never)")
        ->check([](const std::string& t) {
            return numberCheck(t, 0, 2147483647.0, true, "a whole number of pixels, 0 or more");
        })
        ->capture_default_str()
        ->group("Conditions");
    cli.add_flag("--objects,!--no-objects", values.convertObjects,
                 "Also convert embedded objects of other applications")
        ->group("Conditions");
    cli.add_flag("--recompress,!--no-recompress", values.recompress,
                 "Recompress with JPEG after an object's conversion")
        ->group("Conditions");
    cli.add_flag("--slow,!--no-slow", values.slowMode, "Slow mode: pause between office operations")
        ->group("Conditions");

    try {
        cli.parse(argc, argv);
        if (!format.empty()) values.format = kFormatNames.at(platform::asciiLower(format));
    } catch (const CLI::CallForHelp& e) {
        return cli.exit(e, out, err) == 0 ? kExitCompleted : kExitUsage;
    } catch (const CLI::CallForAllHelp& e) {
        return cli.exit(e, out, err) == 0 ? kExitCompleted : kExitUsage;
    } catch (const CLI::CallForVersion& e) {
        return cli.exit(e, out, err) == 0 ? kExitCompleted : kExitUsage;
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        while (!what.empty() && what.back() == '\n') what.pop_back();
        err << "kelvaran-cli: " << what << " (see kelvaran-cli --help)" << std::endl;
        return kExitUsage;
    }

    platform::StdFileSystem fileSystem;
    std::vector<std::string> entries;
    std::unique_ptr<ReportSink> report;
    try {
        if (quiet && verbose) throw UsageError("--quiet and --verbose exclude each other");
        if (files.empty() && filesFrom.empty()) throw UsageError("no document given: name FILE or --files-from LIST");
        if (nulSeparated && filesFrom.empty()) throw UsageError("-0 needs --files-from");
        if (!outputDir.empty()) requireWritableFolder(outputDir);
        entries = files;
        if (!filesFrom.empty()) {
            const auto listed = ReadFileList(readList(filesFrom, environment.standardInput), nulSeparated);
            entries.insert(entries.end(), listed.begin(), listed.end());
        }
        if (recursive) {
            try {
                entries = ExpandFolders(entries);
            } catch (const std::exception& e) {
                throw UsageError(std::string("--recursive: ") + e.what());
            }
        }
        entries = DropDuplicateEntries(entries);
        if (auto clash = FindOutputClash(entries, outputDir, fileSystem)) throw UsageError(*clash);
        if (!reportTarget.empty() && reportTarget != "-") {
            for (const auto& entry : entries) {
                if (SamePath(entry, reportTarget)) throw UsageError("--report would overwrite the input " + entry);
            }
            std::error_code ec;
            if (std::filesystem::is_directory(reportTarget, ec)) {
                throw UsageError("--report: " + reportTarget + " is a folder");
            }
        }
        if (!reportTarget.empty()) {
            try {
                report = std::make_unique<ReportSink>(reportTarget, out);
            } catch (const std::exception& e) {
                throw UsageError(std::string("--report: ") + e.what());
            }
        }
    } catch (const UsageError& e) {
        err << "kelvaran-cli: " << e.what() << std::endl;
        return kExitUsage;
    }

    BatchSettings settings;
    settings.values = values;
    settings.waitXP = state.waitXP;
    settings.wait2000 = state.wait2000;
    settings.outputDir = outputDir;
    settings.dryRun = dryRun;
    settings.quiet = quiet;
    settings.verbose = verbose;
    settings.logToError = report && report->toStandardOutput();
    settings.progress = environment.errorIsTerminal;
    if (verbose) {
        settings.openingLines.push_back(
            "kelvaran-cli " + std::string(kVersionDotted) + ": " + std::to_string(entries.size()) +
            " document(s); min-size " + values.fileSize + " KB, ratio " + values.ratio + ", format " +
            formatNameOf(values.format) + ", expect-rate " + values.expectRate + "%, pixel-size " + values.pixelSize +
            ", objects " + onOff(values.convertObjects) + ", recompress " + onOff(values.recompress) + ", slow " +
            onOff(values.slowMode) + (jobs > 1 ? ", " + std::to_string(jobs) + " jobs" : ""));
    }
    if (dryRun && !quiet) {
        settings.openingLines.push_back(
            "kelvaran-cli: dry run: no slimmed copy is written; each converted document is saved to a temporary "
            "file to measure it, and that file is removed at once");
    }
    if (jobs > 1 && entries.size() > 1) {
        return runParallel(jobs, settings, entries, environment, out, err, report.get());
    }
    return runBatch(settings, entries, environment, out, err, report.get());
}

}  // namespace kelvaran::app
