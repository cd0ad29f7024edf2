#pragma once

// The report to look at: a folder with index.html and a before and an after
// thumbnail of every replaced object.  A run (or each job of a parallel run)
// collects its documents and draws the thumbnails as the decisions arrive,
// so no picture is held longer than its decision; it leaves its part as
// part-K.json in the folder being built, and the page is assembled from the
// parts at the end.  The folder is built beside the target under a temporary
// name and put in place whole.

#include "app/run/BatchRun.h"
#include "engine/ObjectObserver.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace kelvaran::app {

// Width of the thumbnails, in pixels.
inline constexpr int kThumbnailWidth = 240;

// The folder of an HTML report: created empty under a temporary name beside
// `target`; commit() puts it in place of the target.  Without commit() the
// temporary folder is removed.
class HtmlReportFolder {
public:
    // Why `target` may not take a report: it exists and is not a folder, or
    // it is a folder with something in it that is not an earlier report of
    // ours.  Nothing when it may.
    static std::optional<std::string> refusal(const std::string& target);

    // Throws platform::FileSystemError when the folder cannot be created.
    explicit HtmlReportFolder(std::string target);
    ~HtmlReportFolder();
    HtmlReportFolder(const HtmlReportFolder&) = delete;
    HtmlReportFolder& operator=(const HtmlReportFolder&) = delete;

    const std::string& work() const { return work_; }
    const std::string& target() const { return target_; }
    // Marks the folder as ours and puts it in place; an earlier report (or
    // an empty folder) of that name is replaced whole.  Throws
    // platform::FileSystemError.
    void commit();

private:
    std::string target_;
    std::string work_;
    bool committed_ = false;
};

// A PNG about kThumbnailWidth pixels wide of a stored picture ("JPEG", "EMF"...
// as the report names encodings; metafiles are drawn), its height after the
// displayed size, else the picture's own.  Throws imaging::ImagingError.
std::string Thumbnail(const std::string& bytes, const std::string& type, double displayWidth, double displayHeight);

// Collects one run's documents for the page.  `prefix` keeps the file names
// of several jobs apart.
class HtmlReportCollector : public engine::ObjectObserver {
public:
    HtmlReportCollector(std::string folder, std::string prefix, bool dryRun);

    void objectDecided(const engine::ObjectDecision& decision) override;
    void documentStarted(const std::string& path);
    void documentDone(const DocumentResult& result);
    // Entries of the run that got no document (not reached after a stop).
    void notReached(const BatchRun& run, const std::string& outcome, const std::string& why);

    const nlohmann::json& documents() const { return documents_; }
    // Writes the documents as part-`index`.json into the folder.
    void writePart(int index) const;

private:
    std::string thumbnail(const std::shared_ptr<const std::string>& picture, const std::string& type,
                          const engine::ObjectDecision& decision, const char* side, std::string& failure);

    std::string folder_;
    std::string prefix_;
    bool dryRun_;
    std::string current_;
    nlohmann::json objects_ = nlohmann::json::array();
    nlohmann::json documents_ = nlohmann::json::array();
    int serial_ = 0;
};

// Assembles index.html in `folder` from its part-K.json files in the order
// of K, and removes them.  Throws platform::FileSystemError.
void WriteHtmlPage(const std::string& folder);

// The page itself for a list of documents as the collector gives them.
std::string HtmlPage(const nlohmann::json& documents);

}  // namespace kelvaran::app
