#include "app/cli/CliParallel.h"

#include "Version.h"
#include "app/cli/CliConsole.h"
#include "app/cli/CliSignals.h"
#include "app/run/InputList.h"
#include "app/run/RunReport.h"
#include "platform/AtomicFile.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

#include <nlohmann/json.hpp>

#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <system_error>

namespace kelvaran::app {

namespace {

// A temporary file of the worker processes, in the temporary folder, removed
// when it goes out of scope.  It is held locked while it exists, so that the
// clean-up of stale files at the start of another run passes it by.
class ScratchFile {
public:
    ScratchFile() {
        platform::StdFileSystem fileSystem;
        std::string pattern = fileSystem.GetSpecialFolder(2) + "/kelvaran-job-XXXXXX";
        fd_ = ::mkstemp(pattern.data());
        if (fd_ < 0) {
            throw platform::FileSystemError("cannot create a temporary file: " + std::string(std::strerror(errno)));
        }
        ::flock(fd_, LOCK_EX);
        path_ = pattern;
    }
    ~ScratchFile() {
        ::unlink(path_.c_str());
        ::close(fd_);
    }
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
    int fd_ = -1;
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
    std::size_t first = 0;  // the position of its first entry in the run's list
    ScratchFile out, err, report;
    pid_t pid = -1;
    int status = kExitFailed;
    // A stop came before this job was started: its documents were not reached.
    bool stoppedBeforeStart = false;
};

using Clock = std::chrono::steady_clock;

// The input list in `parts` consecutive parts, the first ones one entry
// longer when it does not divide evenly.
std::vector<std::unique_ptr<Worker>> shareOut(const std::vector<std::string>& entries, std::size_t parts) {
    std::vector<std::unique_ptr<Worker>> workers;
    std::size_t next = 0;
    for (std::size_t k = 0; k < parts; ++k) {
        auto worker = std::make_unique<Worker>();
        const std::size_t size = entries.size() / parts + (k < entries.size() % parts ? 1 : 0);
        const auto first = entries.begin() + static_cast<long>(next);
        worker->entries.assign(first, first + static_cast<long>(size));
        worker->first = next;
        next += size;
        workers.push_back(std::move(worker));
    }
    return workers;
}

// A job, in the forked process: one batch run over its part of the list,
// its output going to the worker's files.  Straight out when it is done:
// the parent's objects are the parent's to clean up.
[[noreturn]] void runJob(const Worker& worker, const std::vector<std::string>& entries, BatchSettings part,
                         std::size_t index, std::size_t parts, bool withReport, const CliEnvironment& environment) {
    // The copies of the parts before this one keep their names.
    part.earlierEntries.assign(entries.begin(), entries.begin() + static_cast<long>(worker.first));
    // The cores are shared out between the jobs: picture threads of
    // several jobs competing for one core only slow each other down.
    if (!std::getenv("KELVARAN_PICTURE_THREADS")) {
        const long cores = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
        const long share = std::max(1L, cores / static_cast<long>(parts));
        ::setenv("KELVARAN_PICTURE_THREADS", std::to_string(share).c_str(), 1);
    }
    int status = kExitFailed;
    {
        std::ofstream partOut(worker.out.path(), std::ios::binary);
        std::ofstream partErr(worker.err.path(), std::ios::binary);
        try {
            std::unique_ptr<ReportSink> partReport;
            if (withReport) partReport = std::make_unique<ReportSink>(worker.report.path(), partOut);
            BatchSettings mine = part;
            mine.htmlPart = static_cast<int>(index);
            status = runBatch(mine, worker.entries, environment, partOut, partErr, partReport.get());
        } catch (const std::exception& e) {
            partErr << "kelvaran-cli: " << e.what() << '\n';
        }
    }
    ::_exit(status);
}

// The progress line while the jobs run, from the notes they write to the
// pipe for each document done, until every job has closed its end: document
// k of N, what was saved, and the time the rest will take at the pace so far.
void followProgress(int notes, CliConsole& console, int count, std::size_t parts, Clock::time_point started) {
    int done = 0;
    double saved = 0;
    std::string pending;
    auto redraw = [&] {
        double left = -1;
        if (done > 0) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
            left = elapsed / done * (count - done);
        }
        console.setProgress(ProgressText(std::min(done + 1, count), count, saved, left,
                                         std::to_string(parts) + " jobs"));
    };
    redraw();
    char buffer[256];
    for (;;) {
        const ssize_t got = ::read(notes, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            ++done;
            saved += std::strtod(pending.substr(0, end).c_str(), nullptr);
        }
        redraw();
    }
    ::close(notes);
    console.endProgress();
}

// Waits for every job that was started and takes its exit status.
void waitForJobs(std::vector<std::unique_ptr<Worker>>& workers, CliConsole& console) {
    for (auto& worker : workers) {
        if (worker->pid <= 0) continue;
        int raw = 0;
        while (::waitpid(worker->pid, &raw, 0) < 0 && errno == EINTR) {
        }
        forgetJob(worker->pid);
        worker->status = WIFEXITED(raw) ? WEXITSTATUS(raw) : kExitFailed;
        if (WIFSIGNALED(raw)) {
            console.line("kelvaran-cli: the job for " + worker->entries.front() + " and after ended by signal " +
                         std::to_string(WTERMSIG(raw)));
        }
    }
}

// The document record of an entry whose job told nothing of it.
nlohmann::ordered_json notReachedRecord(const std::string& entry, const BatchSettings& settings, const char* outcome,
                                        const char* reason) {
    return {{"record", "document"},
            {"input", entry},
            {"output", nullptr},
            {"bytes_before", 0},
            {"bytes_after", nullptr},
            {"outcome", outcome},
            {"reason", reason},
            {"seconds", 0.0},
            {"dry_run", settings.dryRun},
            {"objects_replaced", 0},
            {"objects_failed", 0},
            {"options", OptionsRecord(settings.values, settings.dropUnused, settings.targetBytes)},
            {"budget_met", nullptr}};
}

// Passes on a job's report records and adds its run record into `run`.  A
// job that did not end its report gets a failed record for each of its
// documents that has none, and the run counts as broken off.
void passOnReport(const Worker& worker, const BatchSettings& settings, ReportSink& report, nlohmann::ordered_json& run) {
    if (worker.stoppedBeforeStart) {
        for (const auto& entry : worker.entries) {
            report.write(notReachedRecord(entry, settings, "stopped", "not reached: the run was stopped"));
        }
        if (run["outcome"] == "completed") {
            run["outcome"] = "stopped";
            run["reason"] = nullptr;
        }
        return;
    }
    std::vector<std::string> recorded;
    bool ended = false;
    std::istringstream lines(worker.report.read());
    for (std::string line; std::getline(lines, line);) {
        nlohmann::ordered_json record;
        try {
            record = nlohmann::ordered_json::parse(line);
        } catch (const std::exception&) {
            continue;
        }
        if (record.value("record", "") != "run") {
            if (record.value("record", "") == "document") recorded.push_back(record.value("input", ""));
            report.write(record);
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
        for (const auto& entry : worker.entries) {
            if (std::find(recorded.begin(), recorded.end(), entry) != recorded.end()) continue;
            report.write(notReachedRecord(entry, settings, "failed", "the job that took this document ended abnormally"));
        }
        if (run["outcome"] == "completed") {
            run["outcome"] = "broken_off";
            run["reason"] = "a job ended abnormally";
        }
    }
}

// The jobs' output, part after part, and the report of the whole run.
int passOnResults(const std::vector<std::unique_ptr<Worker>>& workers, const BatchSettings& settings,
                  std::ostream& out, std::ostream& err, ReportSink* report, CliConsole& console,
                  Clock::time_point started) {
    int status = kExitCompleted;
    nlohmann::ordered_json run = {{"record", "run"},    {"version", kVersionDotted}, {"outcome", "completed"},
                                  {"reason", nullptr},  {"documents", 0},          {"slimmed", 0},
                                  {"bytes_saved", 0},   {"seconds", 0.0},          {"dry_run", settings.dryRun}};
    for (const auto& worker : workers) {
        out << worker->out.read();
        out.flush();
        err << worker->err.read();
        err.flush();
        status = std::max(status, worker->status);
        if (report) passOnReport(*worker, settings, *report, run);
    }
    if (report) {
        run["seconds"] = std::chrono::duration<double>(Clock::now() - started).count();
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

    const auto started = Clock::now();
    const std::size_t parts = std::min(entries.size(), static_cast<std::size_t>(jobs));
    std::vector<std::unique_ptr<Worker>> workers = shareOut(entries, parts);

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
    const pid_t parent = ::getpid();
    for (std::size_t k = 0; k < workers.size(); ++k) {
        auto& worker = workers[k];
        // A stop before a job was started leaves its documents alone.
        if (environment.interrupted && environment.interrupted->load()) {
            worker->stoppedBeforeStart = true;
            continue;
        }
        HeldStopSignals held;
        worker->pid = ::fork();
        if (worker->pid == 0) {
            becomeJob(parent);
            if (notes[0] >= 0) ::close(notes[0]);
            runJob(*worker, entries, part, k, parts, report != nullptr, environment);
        }
        if (worker->pid < 0) {
            console.line(std::string("kelvaran-cli: cannot start a job: ") + std::strerror(errno));
            worker->status = kExitFailed;
        } else {
            passStopSignalsTo(worker->pid);
        }
    }
    if (notes[1] >= 0) ::close(notes[1]);
    if (notes[0] >= 0) {
        followProgress(notes[0], console, static_cast<int>(entries.size()), parts, started);
    }
    waitForJobs(workers, console);
    return passOnResults(workers, settings, out, err, report, console, started);
}

}  // namespace kelvaran::app
