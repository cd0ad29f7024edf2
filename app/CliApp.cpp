#include "app/CliApp.h"

#include "Version.h"
#include "app/AppTitle.h"
#include "app/BatchRun.h"
#include "app/CliConsole.h"
#include "app/InputList.h"
#include "app/RunReport.h"
#include "engine/Conditions.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "engine/Walker.h"
#include "office/OfficeControl.h"
#include "office/OfficeFactory.h"
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

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
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

    cli.add_option("FILE", files, "Word documents to slim (.doc or .rtf)")->group("Input");
    cli.add_option("--files-from", filesFrom, "Also slim the documents named in LIST, one a line (\"-\": standard input)")
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

    const bool reportOnStandardOutput = report && report->toStandardOutput();
    CliConsole console(err, environment.errorIsTerminal && !quiet);
    std::ostream* logStream = quiet ? nullptr : (reportOnStandardOutput ? &err : &out);

    state.fileSystem = &fileSystem;
    platform::Clipboard clipboard;
    StreamMessageBoxes messages(console);
    engine::FixedConditions conditions(values);
    CliEventPump pump(environment.interrupted);
    CliDisplay display(logStream, console, !quiet, pump);
    platform::Timer timer;
    CliHost host(entries);

    rules::ExceptionList exceptions;
    try {
        rules::LoadExceptionList(exceptions, environment.configFolder + "/ole.ini", {});
    } catch (const std::exception&) {
        // The built-in table stays.
    }
    if (exceptions.size() == 0) rules::AddDefaultExceptions(exceptions);

    office::OfficeFactory factory;
    if (environment.registerBackends) environment.registerBackends(factory);
    office::OfficeControl office(factory, state, clipboard, messages, kApplicationTitle);
    office.setCaption = [](const std::string&) {};

    BatchRun run(state, office, clipboard, messages, conditions, display, host);
    run.setOutputFolder(outputDir);
    run.setDryRun(dryRun);
    pump.attach(&run);

    std::unique_ptr<RunRecorder> recorder;
    if (report) {
        recorder = std::make_unique<RunRecorder>(*report, dryRun);
        display.onLog = [&recorder](const std::string& text) { recorder->logAppended(text); };
    }
    const int count = static_cast<int>(entries.size());
    double saved = 0;
    auto documentStart = std::chrono::steady_clock::now();
    run.onDocumentStarted = [&](const std::string& path, int index) {
        documentStart = std::chrono::steady_clock::now();
        if (recorder) recorder->documentStarted(path);
        console.setProgress(ProgressText(index + 1, count, saved, path));
    };
    run.onDocumentDone = [&](const DocumentResult& result) {
        if (recorder) recorder->documentDone(result);
        const auto outcome = ClassifyDocument(result, dryRun);
        if (outcome.outcome == "slimmed") saved += std::max(0.0, result.inputBytes - result.outputBytes);
        if (verbose) {
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

    if (verbose) {
        console.line("kelvaran-cli " + std::string(kVersionDotted) + ": " + std::to_string(count) +
                     " document(s); min-size " + values.fileSize + " KB, ratio " + values.ratio + ", format " +
                     formatOption->get_default_str() + (format.empty() ? "" : " -> " + platform::asciiLower(format)) +
                     ", expect-rate " + values.expectRate + "%, pixel-size " + values.pixelSize + ", objects " +
                     onOff(values.convertObjects) + ", recompress " + onOff(values.recompress) + ", slow " +
                     onOff(values.slowMode));
    }
    if (dryRun && !quiet) {
        console.line("kelvaran-cli: dry run: no slimmed copy is written; each converted document is saved to a "
                     "temporary file to measure it, and that file is removed at once");
    }

    std::unique_ptr<engine::Walker> walker;
    if (environment.makeWalker) {
        walker = environment.makeWalker(WalkerParts{state, conditions, exceptions, display, clipboard, pump, timer});
    }
    run.setWalker(walker.get());
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

}  // namespace kelvaran::app
