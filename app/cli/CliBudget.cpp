#include "app/cli/CliBudget.h"

#include "app/cli/CliRun.h"
#include "app/run/RunReport.h"
#include "platform/Conversions.h"
#include "platform/Failure.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <sstream>

namespace kelvaran::app {

namespace {

std::string ratioText(double ratio) {
    std::ostringstream text;
    text << ratio;
    return text.str();
}

// The size of the copy one trial would write: the input's when it writes
// none; nothing when the document failed, was refused or the run stopped.
std::optional<double> trialBytes(const std::string& report) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        if (record.is_discarded() || record.value("record", "") != "document") continue;
        const std::string outcome = record.value("outcome", "");
        if (outcome == "slimmed" && record["bytes_after"].is_number()) return record["bytes_after"].get<double>();
        if (outcome == "unchanged" && record["bytes_before"].is_number()) return record["bytes_before"].get<double>();
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::vector<BudgetStep> BudgetLadder(const std::string& ratio) {
    double own = kBudgetFloorRatio;
    try {
        own = platform::textToDouble(ratio);
    } catch (const platform::Failure&) {
    }
    std::vector<BudgetStep> ladder = {{ratio, 0}};
    double lowest = own;
    for (double step : {1.0, 0.75, kBudgetFloorRatio}) {
        if (step < lowest) {
            ladder.push_back({ratioText(step), 0});
            lowest = step;
        }
    }
    for (int quality : {70, 55, kBudgetFloorJpegQuality}) ladder.push_back({ladder.back().ratio, quality});
    return ladder;
}

std::optional<std::uint64_t> ParseSizeBudget(const std::string& text) {
    std::string number = text;
    if (number.find_first_of(" \t\r\n") != std::string::npos) return std::nullopt;
    double unit = 1;
    if (!number.empty()) {
        switch (std::tolower(static_cast<unsigned char>(number.back()))) {
            case 'k': unit = 1024; break;
            case 'm': unit = 1024.0 * 1024; break;
            case 'g': unit = 1024.0 * 1024 * 1024; break;
            default: break;
        }
        if (unit != 1) number.pop_back();
    }
    double value = 0;
    try {
        value = platform::textToDouble(number);
    } catch (const platform::Failure&) {
        return std::nullopt;
    }
    const double bytes = std::floor(value * unit);
    if (!std::isfinite(bytes) || bytes < 1 || bytes > 1e15) return std::nullopt;
    return static_cast<std::uint64_t>(bytes);
}

std::vector<BudgetChoice> ChooseWithinBudget(const BatchSettings& settings, const std::vector<std::string>& entries,
                                             const CliEnvironment& environment) {
    const auto ladder = BudgetLadder(settings.values.ratio);
    std::vector<BudgetChoice> choices;
    for (const auto& entry : entries) {
        BudgetChoice best{ladder.front(), false, 0, false};
        for (const auto& step : ladder) {
            if (environment.interrupted && environment.interrupted->load()) break;
            BatchSettings trial = settings;
            trial.values.ratio = step.ratio;
            trial.values.jpegQuality = step.jpegQuality;
            trial.targetBytes = 0;
            trial.dryRun = true;
            // A trial writes no copy to check and no page to show.
            trial.verify = false;
            trial.htmlFolder.clear();
            trial.quiet = true;
            trial.verbose = false;
            trial.progress = false;
            trial.progressFd = -1;
            trial.openingLines.clear();
            std::ostringstream records;
            std::ostringstream silent;
            ReportSink sink("-", records);
            runBatch(trial, {entry}, environment, silent, silent, &sink);
            const auto bytes = trialBytes(records.str());
            if (!bytes) break;  // it fails under any conditions: the real run says why
            if (!best.tried || *bytes < best.bytes) best = {step, false, *bytes, true};
            if (*bytes <= static_cast<double>(settings.targetBytes)) {
                best.met = true;
                break;
            }
        }
        choices.push_back(best);
    }
    return choices;
}

}  // namespace kelvaran::app
