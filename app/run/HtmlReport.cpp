#include "app/run/HtmlReport.h"

#include "app/run/RunReport.h"
#include "imaging/Imaging.h"
#include "platform/AtomicFile.h"
#include "platform/Failure.h"

#include <fmt/format.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

namespace kelvaran::app {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

// Marks a folder as a report of ours; its content says which program wrote it.
const char* const kMarker = ".kelvaran-report";

[[noreturn]] void fail(const std::string& what) {
    throw platform::FileSystemError(what + ": " + std::strerror(errno));
}

std::string makeTemporaryFolder(const fs::path& beside, const std::string& kind) {
    fs::path absolute = fs::absolute(beside).lexically_normal();
    if (absolute.filename().empty()) absolute = absolute.parent_path();
    std::string pattern = (absolute.parent_path() / ("." + absolute.filename().string() + "." + kind + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) fail("cannot create a folder beside " + beside.string());
    return pattern;
}

imaging::PictureType typeNamed(const std::string& name, const std::string& bytes) {
    using imaging::PictureType;
    for (PictureType type : {PictureType::Jpeg, PictureType::Png, PictureType::Gif, PictureType::Bmp, PictureType::Dib,
                             PictureType::Tiff, PictureType::Emf, PictureType::Wmf, PictureType::Pict}) {
        if (name == imaging::typeName(type)) return type;
    }
    return imaging::sniff(bytes);
}

std::string escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string text(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    return {};
}

// 153600 -> "153,600".
std::string bytesText(const json& value) {
    if (!value.is_number()) return "&ndash;";
    std::string digits = std::to_string(value.get<long long>());
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

std::string fileName(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    return name.empty() ? path : name;
}

const char* kStyle = R"(body{font-family:sans-serif;margin:1.5em;color:#222}
h1{font-size:1.4em}h2{font-size:1.1em;margin-top:2em}
table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #ccc;padding:.3em .5em;vertical-align:top;text-align:left}
th{background:#f3f3f3}td.n{text-align:right;font-variant-numeric:tabular-nums}
.slimmed{color:#17692a}.unverified,.failed,.refused{color:#a61b1b}.stopped{color:#8a5a00}
img{border:1px solid #ddd;background:#fff;max-width:240px}.why{color:#555;font-size:.9em}
svg text{font-size:12px;font-family:sans-serif})";

// A horizontal bar per document: the input's size in grey, the copy's over
// it in green, and what was saved.
std::string savingsChart(const json& documents) {
    double largest = 1;
    for (const auto& d : documents) largest = std::max(largest, d.value("bytes_before", 0.0));
    const int rowHeight = 22;
    const int labelWidth = 280;
    const int barWidth = 420;
    const int height = rowHeight * static_cast<int>(documents.size()) + 8;
    std::string svg = fmt::format(R"(<svg xmlns="http://www.w3.org/2000/svg" width="{}" height="{}" role="img" )"
                                  R"(aria-label="Savings per document">)",
                                  labelWidth + barWidth + 80, height);
    int y = 4;
    for (const auto& d : documents) {
        const double before = d.value("bytes_before", 0.0);
        const double after = d["bytes_after"].is_number() ? d["bytes_after"].get<double>() : before;
        const double wBefore = barWidth * before / largest;
        const double wAfter = barWidth * after / largest;
        std::string label = fileName(text(d["input"]));
        if (label.size() > 44) label = label.substr(0, 41) + "...";
        const std::string saved =
            d["bytes_after"].is_number() && before > 0 ? fmt::format("-{:.0f} %", 100.0 * (before - after) / before)
                                                       : text(d["outcome"]);
        svg += fmt::format(R"(<text x="0" y="{}">{}</text>)", y + 14, escape(label));
        svg += fmt::format(R"(<rect x="{}" y="{}" width="{:.1f}" height="16" fill="#c8c8c8"/>)", labelWidth, y + 2,
                           wBefore);
        svg += fmt::format(R"(<rect x="{}" y="{}" width="{:.1f}" height="16" fill="#3c9a4e"/>)", labelWidth, y + 2,
                           wAfter);
        svg += fmt::format(R"(<text x="{:.1f}" y="{}">{}</text>)", labelWidth + wBefore + 6, y + 14, escape(saved));
        y += rowHeight;
    }
    return svg + "</svg>\n";
}

std::string verifyCell(const json& verify) {
    if (!verify.is_object()) return "&ndash;";
    if (verify.value("passed", false)) {
        const int pages = verify.value("pages", 0);
        return fmt::format("passed ({} page{}, worst tile {:.0f}/255)", pages, pages == 1 ? "" : "s",
                           verify.value("worst_tile", 0.0));
    }
    return "failed: " + escape(text(verify["why"]));
}

std::string documentRows(const json& documents) {
    std::string rows =
        "<table class=\"documents\"><tr><th>Input</th><th>Output</th><th>Bytes before</th><th>Bytes after</th>"
        "<th>Outcome</th><th>Verified</th></tr>\n";
    int index = 0;
    for (const auto& d : documents) {
        const std::string outcome = text(d["outcome"]);
        const std::string input = escape(text(d["input"]));
        rows += "<tr><td>" +
                (d["objects"].empty() ? input : fmt::format("<a href=\"#doc{}\">{}</a>", index, input)) + "</td><td>" +
                escape(text(d["output"])) + "</td><td class=\"n\">" + bytesText(d["bytes_before"]) +
                "</td><td class=\"n\">" + bytesText(d["bytes_after"]) + "</td><td class=\"" + escape(outcome) + "\">" +
                escape(outcome) +
                (d["reason"].is_string() ? "<div class=\"why\">" + escape(text(d["reason"])) + "</div>" : "") +
                "</td><td>" + verifyCell(d["verify"]) + "</td></tr>\n";
        ++index;
    }
    return rows + "</table>\n";
}

std::string thumbnailCell(const json& object, const char* key) {
    if (object[key].is_string()) {
        const std::string src = escape(text(object[key]));
        return fmt::format(R"(<td><img src="{}" alt="{}" width="{}"></td>)", src, src, kThumbnailWidth);
    }
    return "<td class=\"why\">" + escape(object.value("thumbnail_failure", std::string("not offered"))) + "</td>";
}

std::string objectSection(const json& d, int index) {
    std::string replaced;
    std::string leftAlone;
    for (const auto& o : d["objects"]) {
        const std::string where = fmt::format("page {}, {}, {}&times;{} pt", o.value("page", 0),
                                              escape(text(o["kind"])), o.value("displayed_width", 0LL),
                                              o.value("displayed_height", 0LL));
        if (o["decision"] == "replaced") {
            replaced += "<tr>" + thumbnailCell(o, "before") + thumbnailCell(o, "after") + "<td class=\"n\">" +
                        std::to_string(o.value("page", 0)) + "</td><td>" + escape(text(o["kind"])) + " (" +
                        escape(text(o["placement"])) + ")</td><td>" +
                        fmt::format("{}&times;{} pt", o.value("displayed_width", 0LL), o.value("displayed_height", 0LL)) +
                        "</td><td>" + escape(o["original_type"].is_string() ? text(o["original_type"]) : "?") +
                        " &rarr; " + escape(text(o["format"])) + "</td><td class=\"n\">" + bytesText(o["bytes_before"]) +
                        " &rarr; " + bytesText(o["bytes_after"]) + "</td></tr>\n";
        } else {
            leftAlone += "<li>" + where + ": " + escape(text(o["decision"])) +
                         (o["reason"].is_string() ? " (" + escape(text(o["reason"])) + ")" : "") + "</li>\n";
        }
    }
    std::string html = fmt::format("<section id=\"doc{}\"><h2>{}</h2>\n", index, escape(text(d["input"])));
    if (!replaced.empty()) {
        html +=
            "<table class=\"objects\"><tr><th>Before</th><th>After</th><th>Page</th><th>Kind</th><th>Displayed</th>"
            "<th>Formats</th><th>Bytes</th></tr>\n" +
            replaced + "</table>\n";
    }
    if (!leftAlone.empty()) html += "<p>Left alone:</p><ul>\n" + leftAlone + "</ul>\n";
    return html + "</section>\n";
}

}  // namespace

std::optional<std::string> HtmlReportFolder::refusal(const std::string& target) {
    std::error_code ec;
    const auto status = fs::symlink_status(target, ec);
    if (ec || status.type() == fs::file_type::not_found) return std::nullopt;
    if (status.type() != fs::file_type::directory) return target + " exists and is not a folder";
    if (fs::is_empty(target, ec) && !ec) return std::nullopt;
    if (fs::is_regular_file(fs::path(target) / kMarker, ec)) return std::nullopt;
    return target + " is not empty and holds no earlier report of kelvaran-cli";
}

HtmlReportFolder::HtmlReportFolder(std::string target)
    : target_(std::move(target)), work_(makeTemporaryFolder(target_, "tmp")) {}

HtmlReportFolder::~HtmlReportFolder() {
    if (committed_) return;
    std::error_code ec;
    fs::remove_all(work_, ec);
}

void HtmlReportFolder::commit() {
    if (const auto why = refusal(target_)) throw platform::FileSystemError("the report is not put in place: " + *why);
    platform::writeFileAtomically((fs::path(work_) / kMarker).string(), "kelvaran-cli --html-report\n");
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(target_, ec))) {
        if (::rename(work_.c_str(), target_.c_str()) != 0) fail("cannot put the report in place at " + target_);
        committed_ = true;
        return;
    }
    // The earlier report goes aside first and comes back if the new one
    // cannot take its place.
    const std::string aside = makeTemporaryFolder(target_, "old");
    if (::rename(target_.c_str(), aside.c_str()) != 0) {
        const int error = errno;
        fs::remove(aside, ec);
        errno = error;
        fail("cannot replace the earlier report " + target_);
    }
    if (::rename(work_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        ::rename(aside.c_str(), target_.c_str());
        errno = error;
        fail("cannot put the report in place at " + target_);
    }
    committed_ = true;
    fs::remove_all(aside, ec);
}

std::string Thumbnail(const std::string& bytes, const std::string& type, double displayWidth, double displayHeight) {
    const imaging::PictureType picture = typeNamed(type, bytes);
    double width = displayWidth;
    double height = displayHeight;
    if (!(width > 0 && height > 0)) {
        const auto size = imaging::pictureSize(bytes, picture);
        width = size.width;
        height = size.height;
    }
    if (!(width > 0 && height > 0)) throw imaging::ImagingError("the picture has no size");
    const int rows = std::clamp(static_cast<int>(std::lround(kThumbnailWidth * height / width)), 1, 4 * kThumbnailWidth);
    return imaging::encodePng(imaging::render(bytes, picture, kThumbnailWidth, rows));
}

HtmlReportCollector::HtmlReportCollector(std::string folder, std::string prefix, bool dryRun)
    : folder_(std::move(folder)), prefix_(std::move(prefix)), dryRun_(dryRun) {}

void HtmlReportCollector::documentStarted(const std::string& path) {
    current_ = path;
    objects_ = json::array();
}

std::string HtmlReportCollector::thumbnail(const std::shared_ptr<const std::string>& picture, const std::string& type,
                                           const engine::ObjectDecision& decision, const char* side,
                                           std::string& failure) {
    if (!picture || picture->empty()) {
        failure = "the office did not offer the picture";
        return {};
    }
    try {
        const std::string png = Thumbnail(*picture, type, decision.displayWidth, decision.displayHeight);
        const std::string name = fmt::format("{}o{}-{}.png", prefix_, serial_, side);
        platform::writeFileAtomically((fs::path(folder_) / name).string(), png);
        return name;
    } catch (const std::exception& e) {
        failure = std::string("cannot be drawn: ") + e.what();
        return {};
    }
}

void HtmlReportCollector::objectDecided(const engine::ObjectDecision& decision) {
    json object = {{"page", decision.page},
                   {"kind", decision.kind},
                   {"placement", decision.placement},
                   {"displayed_width", std::llround(decision.displayWidth)},
                   {"displayed_height", std::llround(decision.displayHeight)},
                   {"original_type", decision.originalType.empty() ? json(nullptr) : json(decision.originalType)},
                   {"format", decision.format.empty() ? json(nullptr) : json(decision.format)},
                   {"bytes_before", decision.bytesBefore > 0 ? json(std::llround(decision.bytesBefore)) : json(nullptr)},
                   {"bytes_after", decision.bytesAfter > 0 ? json(std::llround(decision.bytesAfter)) : json(nullptr)},
                   {"decision", decision.decision},
                   {"reason", decision.reason.empty() ? json(nullptr) : json(decision.reason)}};
    if (decision.decision == "replaced") {
        // Drawn now: the pictures are let go of when the call returns.
        ++serial_;
        std::string failure;
        const std::string before = thumbnail(decision.originalPicture, decision.originalType, decision, "before", failure);
        const std::string after = thumbnail(decision.newPicture, decision.newType, decision, "after", failure);
        object["before"] = before.empty() ? json(nullptr) : json(before);
        object["after"] = after.empty() ? json(nullptr) : json(after);
        if (!failure.empty()) object["thumbnail_failure"] = failure;
    }
    objects_.push_back(std::move(object));
}

void HtmlReportCollector::documentDone(const DocumentResult& result) {
    const auto outcome = ClassifyDocument(result, dryRun_);
    json verify = nullptr;
    if (result.check) {
        verify = {{"passed", result.check->passed},
                  {"pages", result.check->pages},
                  {"worst_tile", result.check->worstTile},
                  {"page", result.check->page},
                  {"why", result.check->why.empty() ? json(nullptr) : json(result.check->why)}};
    }
    const bool slimmed = outcome.outcome == "slimmed";
    documents_.push_back({{"input", result.path},
                          {"output", result.outputPath.empty() ? json(nullptr) : json(result.outputPath)},
                          {"bytes_before", std::llround(std::max(0.0, result.inputBytes))},
                          {"bytes_after", slimmed ? json(std::llround(std::max(0.0, result.outputBytes))) : json(nullptr)},
                          {"outcome", outcome.outcome},
                          {"reason", outcome.reason.empty() ? json(nullptr) : json(outcome.reason)},
                          {"verify", verify},
                          {"objects", result.stopped ? json::array() : objects_}});
    objects_ = json::array();
    current_.clear();
}

void HtmlReportCollector::notReached(const BatchRun& run, const std::string& outcome, const std::string& why) {
    for (const auto& entry : run.inputFiles()) {
        const bool done = std::any_of(documents_.begin(), documents_.end(),
                                      [&](const json& d) { return d["input"] == entry; });
        if (done) continue;
        std::error_code ec;
        const auto size = fs::file_size(entry, ec);
        documents_.push_back({{"input", entry},
                              {"output", nullptr},
                              {"bytes_before", ec ? 0 : static_cast<long long>(size)},
                              {"bytes_after", nullptr},
                              {"outcome", outcome},
                              {"reason", why},
                              {"verify", nullptr},
                              {"objects", json::array()}});
    }
}

void HtmlReportCollector::writePart(int index) const {
    platform::writeFileAtomically((fs::path(folder_) / fmt::format("part-{}.json", index)).string(),
                                  documents_.dump(-1, ' ', false, json::error_handler_t::replace));
}

void WriteHtmlPage(const std::string& folder) {
    std::map<int, fs::path> parts;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int index = 0;
        if (std::sscanf(name.c_str(), "part-%d.json", &index) == 1) parts[index] = it->path();
    }
    json documents = json::array();
    for (const auto& [index, path] : parts) {
        try {
            for (auto& d : json::parse(platform::readWholeFile(path.string()))) documents.push_back(std::move(d));
        } catch (const json::exception&) {
            // A part that a job left unfinished: its documents are missing from the page.
        }
    }
    platform::writeFileAtomically((fs::path(folder) / "index.html").string(), HtmlPage(documents));
    for (const auto& [index, path] : parts) fs::remove(path, ec);
}

std::string HtmlPage(const json& documents) {
    long long before = 0;
    long long saved = 0;
    int slimmed = 0;
    for (const auto& d : documents) {
        before += d.value("bytes_before", 0LL);
        if (d["bytes_after"].is_number()) {
            ++slimmed;
            saved += d.value("bytes_before", 0LL) - d["bytes_after"].get<long long>();
        }
    }
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta name=\"generator\" content=\"kelvaran-cli --html-report\">\n<title>Kelvaran report</title>\n<style>" +
        std::string(kStyle) + "</style></head><body>\n<h1>Kelvaran report</h1>\n";
    html += fmt::format("<p>{} documents, {} slimmed, {} of {} bytes saved.</p>\n", documents.size(), slimmed,
                        bytesText(saved), bytesText(before));
    html += savingsChart(documents);
    html += documentRows(documents);
    int index = 0;
    for (const auto& d : documents) {
        if (!d["objects"].empty()) html += objectSection(d, index);
        ++index;
    }
    return html + "</body></html>\n";
}

}  // namespace kelvaran::app
