#include "app/run/RunReport.h"

#include "Version.h"
#include "app/run/InputList.h"
#include "platform/AtomicFile.h"
#include "platform/Conversions.h"
#include "imaging/Imaging.h"
#include "platform/Failure.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ostream>

namespace kelvaran::app {

using json = nlohmann::ordered_json;

namespace {

// The placements the engine names in its object lines, by the words that
// follow the format label.
struct Placement {
    const char* words;
    const char* name;
};
constexpr Placement kPlacements[] = {
    {"にｼｪｰﾌﾟ変換 (", "floating"},
    {"にｲﾝﾗｲﾝ変換 (", "inline"},
    {"にﾚｲｱｳﾄ枠内変換 (", "layout_frame"},
    {"にﾃｷｽﾄ枠内変換 (", "text_frame"},
};

const std::string kPagePrefix = "ページ ";
const std::string kSizeOpen = " (表示ｻｲｽﾞ=";
const std::string kSizeClose = ") を";

bool readWhole(const std::string& text, long long& value) {
    if (text.empty() || text.find_first_not_of("-0123456789") != std::string::npos) return false;
    try {
        std::size_t used = 0;
        value = std::stoll(text, &used);
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

long long wholeBytes(double bytes) {
    if (!std::isfinite(bytes) || bytes < 0) return 0;
    return static_cast<long long>(std::llround(bytes));
}

// The size of an entry that the batch run did not measure.
long long fileBytes(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return 0;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<long long>(size);
}

// The story an object stands in: the body, the text of a text box, or (with
// --headers) a header or footer.
std::string storyOf(const std::string& placement, const std::string& story = {}) {
    if (!story.empty()) return story;
    return placement == "text_frame" ? "text_box" : "body";
}

json textOrNull(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

}  // namespace

std::optional<ReplacedObject> ParseObjectLine(const std::string& rawLine) {
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    // The line ends in "KB)" and two spaces.
    const std::string tail = "KB)  ";
    if (line.rfind(kPagePrefix, 0) != 0 || line.size() < tail.size() ||
        line.compare(line.size() - tail.size(), tail.size(), tail) != 0) {
        return std::nullopt;
    }
    line.erase(line.size() - tail.size());

    ReplacedObject object;
    const auto tab = line.find('\t');
    if (tab == std::string::npos || !readWhole(line.substr(kPagePrefix.size(), tab - kPagePrefix.size()), object.page))
        return std::nullopt;
    const auto sizeOpen = line.find(kSizeOpen, tab);
    if (sizeOpen == std::string::npos) return std::nullopt;
    object.kind = line.substr(tab + 1, sizeOpen - tab - 1);
    const auto sizeClose = line.find(kSizeClose, sizeOpen);
    if (sizeClose == std::string::npos) return std::nullopt;
    const std::string size = line.substr(sizeOpen + kSizeOpen.size(), sizeClose - sizeOpen - kSizeOpen.size());
    const auto x = size.find('x');
    if (x == std::string::npos || !readWhole(size.substr(0, x), object.displayedWidth) ||
        !readWhole(size.substr(x + 1), object.displayedHeight)) {
        return std::nullopt;
    }

    const std::string rest = line.substr(sizeClose + kSizeClose.size());
    for (const auto& placement : kPlacements) {
        const std::string words = placement.words;
        const auto at = rest.rfind(words);
        if (at == std::string::npos) continue;
        object.format = rest.substr(0, at);
        object.placement = placement.name;
        const std::string sizes = rest.substr(at + words.size());
        const auto arrow = sizes.find("KB->");
        if (arrow == std::string::npos || !readWhole(sizes.substr(0, arrow), object.kbBefore) ||
            !readWhole(sizes.substr(arrow + 4), object.kbAfter)) {
            return std::nullopt;
        }
        return object;
    }
    return std::nullopt;
}

DocumentOutcome ClassifyDocument(const DocumentResult& result, bool dryRun) {
    if (result.skipped) {
        return {"failed", "Word could not be started" + (result.reason.empty() ? "" : ": " + result.reason)};
    }
    if (!result.opened) {
        // The office's own text often begins by saying the same: it is said once.
        std::string why = result.reason;
        for (const std::string said : {"the document cannot be opened: ", "the document could not be opened: "}) {
            if (why.rfind(said, 0) == 0) why.erase(0, said.size());
        }
        return {"failed", "the document could not be opened" + (why.empty() ? "" : ": " + why)};
    }
    if (result.outputRefused) return {"refused", result.reason};
    if (result.stopped) return {"stopped", "the run was stopped while this document was converted; it was not saved"};
    if (!result.converted) return {"unchanged", ""};
    if (result.check && !result.check->passed) {
        return {"unverified", "the copy did not pass the page check: " + result.reason};
    }
    if (!result.outputPath.empty() || (dryRun && result.reason.empty())) return {"slimmed", ""};
    return {"failed", "the slimmed copy could not be written" + (result.reason.empty() ? "" : ": " + result.reason)};
}

std::string ObjectsFailedReason(int count, const std::string& firstReason) {
    std::string text =
        std::to_string(count) + (count == 1 ? " object was" : " objects were") + " left as they were after a failure";
    if (!firstReason.empty()) text += (count == 1 ? ": " : "; the first: ") + firstReason;
    return text;
}

ReportSink::ReportSink(const std::string& target, std::ostream& standardOutput) : out_(standardOutput) {
    if (target != "-") file_ = std::make_unique<platform::AtomicFileWriter>(target);
}

ReportSink::~ReportSink() = default;

void ReportSink::write(const json& record) {
    // Invalid UTF-8 in a file name is replaced rather than ending the report.
    const std::string line = record.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    if (file_) {
        file_->write(line);
    } else {
        out_ << line << std::flush;
    }
}

void ReportSink::finish() {
    if (file_) file_->commit();
}

nlohmann::ordered_json OptionsRecord(const engine::ConditionValues& values, bool dropUnused,
                                     std::uint64_t targetBytes) {
    static const char* const kFormats[] = {"recommended", "jpeg", "png", "gif", "emf"};
    auto number = [](const std::string& text) -> json {
        try {
            return platform::textToDouble(text);
        } catch (const platform::Failure&) {
            return nullptr;
        }
    };
    const bool knownFormat = values.format >= 0 && values.format < 5;
    return {{"min_size", number(values.fileSize)},
            {"ratio", number(values.ratio)},
            {"format", knownFormat ? json(kFormats[values.format]) : json(nullptr)},
            {"expect_rate", number(values.expectRate)},
            {"pixel_size", number(values.pixelSize)},
            {"objects", values.convertObjects},
            {"recompress", values.recompress},
            {"no_enlarge", values.noEnlarge},
            {"headers", values.headers},
            {"drop_unused", dropUnused},
            {"jpeg_quality", values.jpegQuality > 0 ? values.jpegQuality : imaging::kDefaultJpegQuality},
            {"target_size", targetBytes > 0 ? json(targetBytes) : json(nullptr)}};
}

RunRecorder::RunRecorder(ReportSink& sink, bool dryRun, nlohmann::ordered_json options)
    : sink_(sink), dryRun_(dryRun), options_(std::move(options)), runStart_(Clock::now()), documentStart_(runStart_) {}

double RunRecorder::secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void RunRecorder::setDocumentOptions(nlohmann::ordered_json options, std::optional<bool> budgetMet) {
    options_ = std::move(options);
    budgetMet_ = budgetMet;
}

void RunRecorder::documentStarted(const std::string& path) {
    currentDocument_ = path;
    documentStart_ = Clock::now();
    objectsReplaced_ = 0;
    objectsFailed_ = 0;
    firstFailure_.clear();
    pendingLog_.clear();
}

void RunRecorder::logAppended(const std::string& text) {
    pendingLog_ += text;
    std::size_t end = 0;
    while ((end = pendingLog_.find("\r\n")) != std::string::npos) {
        const std::string line = pendingLog_.substr(0, end);
        pendingLog_.erase(0, end + 2);
        if (decisionsTold_) continue;
        const auto object = ParseObjectLine(line);
        if (!object) continue;
        ++objectsReplaced_;
        sink_.write({{"record", "object"},
                     {"document", currentDocument_},
                     {"page", object->page},
                     {"kind", object->kind},
                     {"placement", object->placement},
                     {"story", storyOf(object->placement)},
                     {"displayed_width", object->displayedWidth},
                     {"displayed_height", object->displayedHeight},
                     {"format", textOrNull(object->format)},
                     {"kb_before", object->kbBefore},
                     {"kb_after", object->kbAfter},
                     {"bytes_before", nullptr},
                     {"bytes_after", nullptr},
                     {"decision", "replaced"}});
    }
}

void RunRecorder::objectDecided(const engine::ObjectDecision& decision) {
    // The object lines of the log say no more than this.
    decisionsTold_ = true;
    if (decision.decision == "replaced") ++objectsReplaced_;
    if (decision.decision == "failed") {
        if (objectsFailed_++ == 0) firstFailure_ = decision.reason;
    }
    auto bytesOrNull = [](double bytes) { return bytes > 0 ? json(wholeBytes(bytes)) : json(nullptr); };
    json candidates = json::array();
    for (std::size_t k = 0; k < decision.passes.size(); ++k) {
        const double bytes = k < decision.passBytes.size() ? decision.passBytes[k] : 0;
        candidates.push_back({{"format", decision.passes[k]}, {"bytes", bytesOrNull(bytes)}});
    }
    sink_.write({{"record", "object"},
                 {"document", currentDocument_},
                 {"page", decision.page},
                 {"kind", decision.kind},
                 {"placement", decision.placement},
                 {"story", storyOf(decision.placement, decision.story)},
                 {"prog_id", textOrNull(decision.progId)},
                 {"displayed_width", platform::roundHalfEven(decision.displayWidth)},
                 {"displayed_height", platform::roundHalfEven(decision.displayHeight)},
                 {"format", textOrNull(decision.format)},
                 {"kb_before", SizeInKB(std::max(0.0, decision.bytesBefore))},
                 {"kb_after", SizeInKB(std::max(0.0, decision.bytesAfter))},
                 {"bytes_before", bytesOrNull(decision.bytesBefore)},
                 {"bytes_after", bytesOrNull(decision.bytesAfter)},
                 {"decision", decision.decision},
                 {"reason", textOrNull(decision.reason)},
                 {"passes", decision.passes},
                 {"candidates", candidates},
                 {"original_type", textOrNull(decision.originalType)},
                 {"original_bytes", bytesOrNull(decision.originalBytes)},
                 {"pixel_width", decision.pixelWidth > 0 ? json(decision.pixelWidth) : json(nullptr)},
                 {"pixel_height", decision.pixelHeight > 0 ? json(decision.pixelHeight) : json(nullptr)}});
}

void RunRecorder::documentDone(const DocumentResult& result) {
    auto outcome = ClassifyDocument(result, dryRun_);
    // Objects that failed are told of also when the document came through.
    if (outcome.reason.empty() && objectsFailed_ > 0)
        outcome.reason = ObjectsFailedReason(objectsFailed_, firstFailure_);
    const bool slimmed = outcome.outcome == "slimmed";
    const long long before = wholeBytes(result.inputBytes);
    json record = {{"record", "document"},
                   {"input", result.path},
                   {"output", textOrNull(result.outputPath)},
                   {"bytes_before", before},
                   {"bytes_after", slimmed ? json(wholeBytes(result.outputBytes)) : json(nullptr)},
                   {"outcome", outcome.outcome},
                   {"reason", textOrNull(outcome.reason)},
                   {"seconds", secondsSince(documentStart_)},
                   {"dry_run", dryRun_},
                   {"objects_replaced", result.stopped ? 0 : objectsReplaced_},
                   {"objects_failed", objectsFailed_},
                   {"options", options_},
                   {"budget_met", budgetMet_ ? json(*budgetMet_) : json(nullptr)}};
    if (result.check) {
        record["verify"] = {{"passed", result.check->passed},
                            {"pages", result.check->pages},
                            {"worst_tile", std::round(result.check->worstTile * 10) / 10},
                            {"page", result.check->page},
                            {"why", textOrNull(result.check->why)}};
    }
    sink_.write(record);
    recorded_.push_back(result.path);
    ++documentsDone_;
    if (slimmed) {
        ++slimmed_;
        bytesSaved_ += std::max(0.0, result.inputBytes - result.outputBytes);
    }
    currentDocument_.clear();
}

void RunRecorder::runEnded(const BatchRun& run) {
    const auto& entries = run.inputFiles();
    std::string outcome;
    std::string reason = run.breakOffReason();
    std::string notReached;
    std::string notReachedOutcome = "failed";
    switch (run.lastOutcome()) {
        case BatchRun::Outcome::Refused:
            outcome = "refused";
            if (run.refusal()) {
                reason = run.refusal()->message;
                if (run.refusal()->index < entries.size()) {
                    sink_.write({{"record", "document"},
                                 {"input", entries[run.refusal()->index]},
                                 {"output", nullptr},
                                 {"bytes_before", fileBytes(entries[run.refusal()->index])},
                                 {"bytes_after", nullptr},
                                 {"outcome", "refused"},
                                 {"reason", reason},
                                 {"seconds", 0.0},
                                 {"dry_run", dryRun_},
                                 {"objects_replaced", 0},
                                 {"objects_failed", 0},
                                 {"options", options_},
                                 {"budget_met", nullptr}});
                }
            } else {
                reason = "there was no document to slim";
            }
            break;
        case BatchRun::Outcome::CheckFailed:
            outcome = "check_failed";
            reason = "the office environment check failed";
            break;
        case BatchRun::Outcome::Interrupted:
            outcome = reason.empty() ? "stopped" : "broken_off";
            notReached = "not reached: the run was stopped";
            notReachedOutcome = reason.empty() ? "stopped" : "failed";
            break;
        case BatchRun::Outcome::Completed:
        case BatchRun::Outcome::None:
            outcome = reason.empty() ? "completed" : "broken_off";
            if (!reason.empty()) notReached = "not reached: the run broke off";
            break;
    }
    if (!notReached.empty()) {
        // Entries the run never came to: after a stop, or after a break-off.
        std::vector<std::string> done = recorded_;
        for (const auto& entry : entries) {
            const auto seen = std::find(done.begin(), done.end(), entry);
            if (seen != done.end()) {
                done.erase(seen);
                continue;
            }
            const bool started = entry == currentDocument_;
            std::string why = notReached;
            if (!reason.empty()) {
                why = (started ? "the run broke off while this document was prepared: "
                               : "not reached: the run broke off: ") +
                      reason;
            }
            sink_.write({{"record", "document"},
                         {"input", entry},
                         {"output", nullptr},
                         {"bytes_before", fileBytes(entry)},
                         {"bytes_after", nullptr},
                         {"outcome", notReachedOutcome},
                         {"reason", why},
                         {"seconds", started ? secondsSince(documentStart_) : 0.0},
                         {"dry_run", dryRun_},
                         {"objects_replaced", 0},
                         {"objects_failed", 0},
                         {"options", options_},
                         {"budget_met", nullptr}});
        }
    }
    sink_.write({{"record", "run"},
                 {"version", kVersionDotted},
                 {"outcome", outcome},
                 {"reason", textOrNull(reason)},
                 {"documents", documentsDone_},
                 {"slimmed", slimmed_},
                 {"bytes_saved", wholeBytes(bytesSaved_)},
                 {"seconds", secondsSince(runStart_)},
                 {"dry_run", dryRun_}});
}

}  // namespace kelvaran::app
