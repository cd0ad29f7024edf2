#include "app/cli/CliOptions.h"

#include "Version.h"
#include "app/cli/CliBudget.h"
#include "app/run/HtmlReport.h"
#include "app/run/InputList.h"
#include "app/run/RunReport.h"
#include "app/verify/PageCheck.h"
#include "engine/Conditions.h"
#include "engine/RunState.h"
#include "platform/AtomicFile.h"
#include "platform/Conversions.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "settings/RegAccess.h"
#include "settings/StoredSettings.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <istream>
#include <algorithm>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace kelvaran::app {

namespace {

const std::map<std::string, int> kFormatNames = {
    {"recommended", 0}, {"jpeg", 1}, {"png", 2}, {"gif", 3}, {"emf", 4}};

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

std::string onOff(bool value) {
    return value ? "on" : "off";
}

std::string formatNameOf(int index) {
    for (const auto& [name, value] : kFormatNames) {
        if (value == index) return name;
    }
    return std::to_string(index);
}

// What the command line says, over the stored settings.
struct Options {
    engine::ConditionValues values;
    std::int32_t waitXP = 0;
    std::int32_t wait2000 = 0;
    std::vector<std::string> files;
    std::string format;
    std::string filesFrom;
    bool nulSeparated = false;
    std::string outputDir;
    bool recursive = false;
    bool dryRun = false;
    bool dropUnused = false;
    std::string targetSize;
    bool verify = false;
    std::string reportTarget;
    std::string htmlReport;
    bool quiet = false;
    bool verbose = false;
    int jobs = 1;
};

// The stored settings first, then the defaults; the command line overrides
// both.
Options storedOptions(const std::string& configFolder) {
    Options options;
    engine::ConditionValues& values = options.values;
    engine::RunState state;
    try {
        settings::RegAccess registry(configFolder);
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
    options.waitXP = state.waitXP;
    options.wait2000 = state.wait2000;
    return options;
}

void addInputOptions(CLI::App& cli, Options& o) {
    cli.add_option("FILE", o.files, "Word documents to slim (.doc or .rtf)")->group("Input");
    cli.add_option("--files-from", o.filesFrom,
                   "Also slim the documents named in LIST, one a line (\"-\": standard input)")
        ->type_name("LIST")
        ->group("Input");
    cli.add_flag("-0,--null", o.nulSeparated, "Names in LIST are separated by NUL characters (find -print0)")
        ->group("Input");
    cli.add_flag("-r,--recursive", o.recursive, "Take every .doc and .rtf file under a folder given as input")
        ->group("Input");
}

void addOutputOptions(CLI::App& cli, Options& o) {
    cli.add_option("-o,--output-dir", o.outputDir, "Write the slimmed copies into DIR instead of beside each input")
        ->type_name("DIR")
        ->group("Output");
    cli.add_flag("-n,--dry-run", o.dryRun,
                 "Convert and measure, write no document (each copy is measured in a temporary file, removed at once)")
        ->group("Output");
    cli.add_flag("--verify", o.verify,
                 "Render every copy written and its input with LibreOffice and compare their pages; a copy that "
                 "differs is removed (outcome unverified, exit status 1)")
        ->group("Output");
    cli.add_option("--report", o.reportTarget,
                   "Write a JSON Lines report to FILE (\"-\": standard output, the log then goes to standard error)")
        ->type_name("FILE")
        ->group("Output");
    cli.add_option("--html-report", o.htmlReport,
                   "Write a report to look at into DIR (index.html and a thumbnail before and after of every "
                   "replaced picture); DIR must be new, empty or an earlier report, which is replaced")
        ->type_name("DIR")
        ->group("Output");
    cli.add_flag("-q,--quiet", o.quiet, "Show only errors: no log, no status, no progress")->group("Output");
    cli.add_flag("-v,--verbose", o.verbose, "Also show one line per document with its outcome")->group("Output");
    cli.add_option("-j,--jobs", o.jobs,
                   "Slim up to N documents at once, each in a process of its own (default 1: one after another); "
                   "the log and the report keep the input order")
        ->type_name("N")
        ->check(CLI::Range(1, 64))
        ->capture_default_str()
        ->group("Output");
}

void addConditionOptions(CLI::App& cli, Options& o) {
    cli.add_option("--min-size", o.values.fileSize, "Convert pictures of at least this many KB")
        ->check([](const std::string& t) { return numberCheck(t, 0, 1e12, true, "a size of 0 KB or more"); })
        ->capture_default_str()
        ->group("Conditions");
    cli.add_option("--ratio", o.values.ratio, "Resolution of the new picture relative to its displayed size")
        ->check([](const std::string& t) { return numberCheck(t, 0, 100, false, "a ratio above 0 and up to 100"); })
        ->capture_default_str()
        ->group("Conditions");
    auto* formatOption = cli.add_option("--format", o.format, "Target format: recommended, jpeg, png, gif or emf")
                             ->check(CLI::IsMember({"recommended", "jpeg", "png", "gif", "emf"}, CLI::ignore_case))
                             ->group("Conditions");
    for (const auto& [name, index] : kFormatNames) {
        if (index == o.values.format) formatOption->default_str(name);
    }
    cli.add_option("--expect-rate", o.values.expectRate,
                   "Replace only when the new picture is below this percentage of the old (1 to 100)")
        ->check([](const std::string& t) { return numberCheck(t, 1, 100, true, "a percentage from 1 to 100"); })
        ->capture_default_str()
        ->group("Conditions");
    cli.add_option("--pixel-size", o.values.pixelSize,
                   "Take groups apart only when larger than this many pixels both ways (9999: never)")
        ->check([](const std::string& t) {
            return numberCheck(t, 0, 2147483647.0, true, "a whole number of pixels, 0 or more");
        })
        ->capture_default_str()
        ->group("Conditions");
    cli.add_flag("--objects,!--no-objects", o.values.convertObjects,
                 "Also convert embedded objects of other applications")
        ->group("Conditions");
    cli.add_flag("--recompress,!--no-recompress", o.values.recompress,
                 "Recompress with JPEG after an object's conversion")
        ->group("Conditions");
    cli.add_flag("--slow,!--no-slow", o.values.slowMode, "Slow mode: pause between office operations")
        ->group("Conditions");
}

// Savings the window does not offer; off unless given.
void addCommandLineOnlyOptions(CLI::App& cli, Options& o) {
    cli.add_flag("--no-enlarge", o.values.noEnlarge,
                 "Never redraw a bitmap with more pixels, either way, than its displayed part has (metafiles are "
                 "not affected)")
        ->group("Further savings");
    cli.add_flag("--headers", o.values.headers,
                 "Also convert the pictures and objects of headers and footers (RTF only: those of a .doc "
                 "file are left as they are)")
        ->group("Further savings");
    cli.add_flag("--drop-unused", o.dropUnused,
                 "Leave out the second copy of each picture an RTF file keeps for readers older than Word 97 "
                 "({\\nonshppict}), and the pictures a .doc file still stores although nothing shows them; a "
                 "document only that makes smaller is written too")
        ->group("Further savings");
    cli.add_option("--target-size", o.targetSize,
                   "Bring each copy to SIZE or under (300k, 10M): lower the ratio down to 0.5, then the JPEG "
                   "quality down to 40; when even that is too large, write the smallest copy and say so")
        ->type_name("SIZE")
        ->check([](const std::string& t) {
            return ParseSizeBudget(t) ? std::string() : "not a size above zero (300k, 10M): " + t;
        })
        ->group("Further savings");
}

// The documents of the run in the order given, each once, after the checks
// that need no document opened.  Throws UsageError.
std::vector<std::string> gatherEntries(const Options& o, const CliEnvironment& environment,
                                       platform::FileSystem& fileSystem) {
    if (o.quiet && o.verbose) throw UsageError("--quiet and --verbose exclude each other");
    if (o.files.empty() && o.filesFrom.empty()) throw UsageError("no document given: name FILE or --files-from LIST");
    if (o.nulSeparated && o.filesFrom.empty()) throw UsageError("-0 needs --files-from");
    if (!o.outputDir.empty()) requireWritableFolder(o.outputDir);
    if (o.verify && o.dryRun) throw UsageError("--verify checks the copies written; a dry run writes none");
    if (o.verify && !verify::LibreOfficeRenderer::available()) {
        throw UsageError("--verify needs LibreOffice (soffice) to render the pages: apt install libreoffice-writer-nogui");
    }
    std::vector<std::string> entries = o.files;
    if (!o.filesFrom.empty()) {
        const auto listed = ReadFileList(readList(o.filesFrom, environment.standardInput), o.nulSeparated);
        entries.insert(entries.end(), listed.begin(), listed.end());
    }
    if (o.recursive) {
        try {
            entries = ExpandFolders(entries);
        } catch (const std::exception& e) {
            throw UsageError(std::string("--recursive: ") + e.what());
        }
    }
    entries = DropDuplicateEntries(entries);
    if (auto clash = FindOutputClash(entries, o.outputDir, fileSystem)) throw UsageError(*clash);
    return entries;
}

// The report asked for, checked against the inputs; null when none was.
// Throws UsageError.
std::unique_ptr<ReportSink> openReport(const std::string& target, const std::vector<std::string>& entries,
                                       std::ostream& out) {
    if (target.empty()) return nullptr;
    if (target != "-") {
        for (const auto& entry : entries) {
            if (SamePath(entry, target)) throw UsageError("--report would overwrite the input " + entry);
        }
        std::error_code ec;
        if (std::filesystem::is_directory(target, ec)) throw UsageError("--report: " + target + " is a folder");
    }
    try {
        return std::make_unique<ReportSink>(target, out);
    } catch (const std::exception& e) {
        throw UsageError(std::string("--report: ") + e.what());
    }
}

// The folder the HTML report is built in, checked against the target, the
// output folder and the inputs; null when none was asked for.  Throws
// UsageError.
std::unique_ptr<HtmlReportFolder> openHtmlReport(const Options& o, const std::vector<std::string>& entries) {
    if (o.htmlReport.empty()) return nullptr;
    if (const auto why = HtmlReportFolder::refusal(o.htmlReport)) throw UsageError("--html-report: " + *why);
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(fs::absolute(o.htmlReport), ec);
    auto inside = [&](const std::string& path) {
        std::error_code ignored;
        const fs::path full = fs::weakly_canonical(fs::absolute(path), ignored);
        const auto [end, rest] = std::mismatch(target.begin(), target.end(), full.begin(), full.end());
        return end == target.end();
    };
    // The folder is replaced whole when the run ends: nothing of value may be in it.
    if (!o.outputDir.empty() && inside(o.outputDir)) {
        throw UsageError("--html-report: the slimmed copies would be written into the report folder");
    }
    for (const auto& entry : entries) {
        if (inside(entry)) throw UsageError("--html-report: the input " + entry + " lies in the report folder");
    }
    try {
        return std::make_unique<HtmlReportFolder>(o.htmlReport);
    } catch (const std::exception& e) {
        throw UsageError(std::string("--html-report: ") + e.what());
    }
}

// The lines said before the first document.
std::vector<std::string> openingLines(const Options& o, std::size_t documents) {
    std::vector<std::string> lines;
    const engine::ConditionValues& values = o.values;
    if (o.verbose) {
        lines.push_back(
            "kelvaran-cli " + std::string(kVersionDotted) + ": " + std::to_string(documents) +
            " document(s); min-size " + values.fileSize + " KB, ratio " + values.ratio + ", format " +
            formatNameOf(values.format) + ", expect-rate " + values.expectRate + "%, pixel-size " + values.pixelSize +
            ", objects " + onOff(values.convertObjects) + ", recompress " + onOff(values.recompress) + ", slow " +
            onOff(values.slowMode) + (values.noEnlarge ? ", no-enlarge" : "") + (values.headers ? ", headers" : "") +
            (o.dropUnused ? ", drop-unused" : "") + (o.targetSize.empty() ? "" : ", target-size " + o.targetSize) + (o.jobs > 1 ? ", " + std::to_string(o.jobs) + " jobs" : ""));
    }
    if (o.dryRun && !o.quiet) {
        lines.push_back(
            "kelvaran-cli: dry run: no slimmed copy is written; each converted document is saved to a temporary "
            "file to measure it, and that file is removed at once");
    }
    return lines;
}

}  // namespace

CliRequest::CliRequest() = default;
CliRequest::~CliRequest() = default;
CliRequest::CliRequest(CliRequest&&) noexcept = default;
CliRequest& CliRequest::operator=(CliRequest&&) noexcept = default;

std::optional<int> readCommandLine(int argc, const char* const* argv, const CliEnvironment& environment,
                                   std::ostream& out, std::ostream& err, CliRequest& request) {
    Options o = storedOptions(environment.configFolder);
    CLI::App cli{
        "Makes Word documents (.doc, .rtf) smaller by recompressing their pictures and objects.\n"
        "Writes NAME-slimmed-NNNk.EXT beside each input (or into --output-dir) whose pictures\n"
        "could be made smaller.  The conditions default to the ones the main window stored.\n"
        "SIGINT (Ctrl-C), SIGTERM and SIGHUP stop the run as the stop button does: the document\n"
        "being converted is not saved, the report is written; a second signal ends it at once.\n"
        "Exit status: 0 completed, every document opened and every copy written; 1 a document\n"
        "could not be opened or its copy not written, or the run was stopped, refused or broken\n"
        "off; 2 bad command line or input.",
        "kelvaran-cli"};
    cli.set_version_flag("--version", std::string(kVersionDotted), "Print the version and exit");
    addInputOptions(cli, o);
    addOutputOptions(cli, o);
    addConditionOptions(cli, o);
    addCommandLineOnlyOptions(cli, o);

    try {
        cli.parse(argc, argv);
        if (!o.format.empty()) o.values.format = kFormatNames.at(platform::asciiLower(o.format));
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
    try {
        request.entries = gatherEntries(o, environment, fileSystem);
        request.report = openReport(o.reportTarget, request.entries, out);
        request.html = openHtmlReport(o, request.entries);
    } catch (const UsageError& e) {
        err << "kelvaran-cli: " << e.what() << std::endl;
        return kExitUsage;
    }

    BatchSettings& settings = request.settings;
    settings.values = o.values;
    settings.waitXP = o.waitXP;
    settings.wait2000 = o.wait2000;
    settings.outputDir = o.outputDir;
    settings.dryRun = o.dryRun;
    settings.dropUnused = o.dropUnused;
    if (!o.targetSize.empty()) settings.targetBytes = *ParseSizeBudget(o.targetSize);
    settings.verify = o.verify;
    if (request.html) settings.htmlFolder = request.html->work();
    settings.quiet = o.quiet;
    settings.verbose = o.verbose;
    settings.logToError = request.report && request.report->toStandardOutput();
    settings.progress = environment.errorIsTerminal;
    settings.openingLines = openingLines(o, request.entries.size());
    request.jobs = o.jobs;
    return std::nullopt;
}

}  // namespace kelvaran::app
