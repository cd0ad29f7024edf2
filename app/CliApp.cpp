#include "app/CliApp.h"

#include "Version.h"
#include "app/AppTitle.h"
#include "app/BatchRun.h"
#include "engine/Conditions.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "engine/Walker.h"
#include "office/OfficeControl.h"
#include "office/OfficeFactory.h"
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

#include <map>
#include <ostream>
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
    explicit StreamMessageBoxes(std::ostream& err) : err_(err) {}
    void show(const std::string& text, platform::MessageIcon) override { err_ << text << std::endl; }

private:
    std::ostream& err_;
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
    CliDisplay(std::ostream& out, std::ostream& err, platform::EventPump& pump) : out_(out), err_(err), pump_(pump) {}
    void appendLog(const std::string& text) override {
        out_ << unixLines(text) << std::flush;
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
        if (!progressDot) err_ << text << std::endl;
    }

private:
    std::ostream& out_;
    std::ostream& err_;
    platform::EventPump& pump_;
    std::string status_;
};

class CliHost : public BatchHost {
public:
    explicit CliHost(std::string text) : text_(std::move(text)) {}
    std::string inputText() override { return text_; }
    void setStartEnabled(bool) override {}
    void setStopEnabled(bool) override {}

private:
    std::string text_;
};

void requireNumber(const std::string& option, const std::string& text) {
    try {
        platform::textToDouble(text);
    } catch (const platform::Failure&) {
        throw CLI::ValidationError(option, "not a number: " + text);
    }
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

    CLI::App cli{"Makes Word documents (.doc, .rtf) smaller by recompressing their pictures and objects.\n"
                 "Writes NAME-slimmed-NNNk.EXT beside each input whose pictures could be made smaller.",
                 "kelvaran-cli"};
    std::vector<std::string> files;
    std::string format;
    cli.add_option("FILE", files, "Word documents to slim (.doc or .rtf)")->required();
    cli.add_option("--min-size", values.fileSize, "Convert pictures of at least this many KB")
        ->check([](const std::string& t) { return platform::StripBlanks(t).empty() ? "empty" : std::string(); })
        ->capture_default_str();
    cli.add_option("--ratio", values.ratio, "Resolution of the new picture relative to its displayed size")
        ->capture_default_str();
    auto* formatOption = cli.add_option("--format", format, "Target format: recommended, jpeg, png, gif or emf")
                             ->check(CLI::IsMember({"recommended", "jpeg", "png", "gif", "emf"}, CLI::ignore_case));
    for (const auto& [name, index] : kFormatNames) {
        if (index == values.format) formatOption->default_str(name);
    }
    cli.add_option("--expect-rate", values.expectRate,
                   "Replace only when the new picture is below this percentage of the old")
        ->capture_default_str();
    cli.add_option("--pixel-size", values.pixelSize,
                   "Take groups apart only when larger than this many pixels both ways (9999: never)")
        ->capture_default_str();
    cli.add_flag("--objects,!--no-objects", values.convertObjects,
                 "Also convert embedded objects of other applications");
    cli.add_flag("--recompress,!--no-recompress", values.recompress,
                 "Recompress with JPEG after an object's conversion");
    cli.add_flag("--slow,!--no-slow", values.slowMode, "Slow mode: pause between office operations");
    cli.set_version_flag("--version", std::string(kVersionDotted));

    try {
        cli.parse(argc, argv);
        requireNumber("--min-size", values.fileSize);
        requireNumber("--ratio", values.ratio);
        requireNumber("--expect-rate", values.expectRate);
        requireNumber("--pixel-size", values.pixelSize);
        if (!format.empty()) values.format = kFormatNames.at(platform::asciiLower(format));
    } catch (const CLI::ParseError& e) {
        const int code = cli.exit(e, out, err);
        return code == 0 ? kExitCompleted : kExitUsage;
    }

    std::string inputText;
    for (const auto& file : files) {
        if (!inputText.empty()) inputText += "\r\n";
        inputText += file;
    }

    platform::StdFileSystem fileSystem;
    state.fileSystem = &fileSystem;
    platform::Clipboard clipboard;
    StreamMessageBoxes messages(err);
    engine::FixedConditions conditions(values);
    CliEventPump pump(environment.interrupted);
    CliDisplay display(out, err, pump);
    platform::Timer timer;
    CliHost host(inputText);

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
    pump.attach(&run);
    run.onOpenFailed = [&err](const std::string& path, const std::string& reason) {
        err << "文書を開けません：" << path << " (" << reason << ")" << std::endl;
    };
    office.endProgram = [&err, &office] {
        if (!office.lastCreationError().empty()) err << "(" << office.lastCreationError() << ")" << std::endl;
    };

    std::unique_ptr<engine::Walker> walker;
    if (environment.makeWalker) {
        walker = environment.makeWalker(WalkerParts{state, conditions, exceptions, display, clipboard, pump, timer});
    }
    run.setWalker(walker.get());
    run.StartRun();
    return run.lastOutcome() == BatchRun::Outcome::Completed ? kExitCompleted : kExitFailed;
}

}  // namespace kelvaran::app
