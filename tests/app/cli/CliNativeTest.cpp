// The command-line front end over the in-process office and the real engine,
// on the bundled sample documents: what a dry run measures is what a real
// run writes, and several jobs write what one job writes.

#include "tests/support/ScopedTmpDir.h"
#include "app/cli/CliApp.h"
#include "app/verify/PageCheck.h"
#include "office/Word.h"

#include "tests/app/cli/SchemaCheck.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace kelvaran::app::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::ElementsAre;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliNativeTest : public ::testing::Test {
protected:
    CliNativeTest() {
        root_ = fs::temp_directory_path() / ("kelvaran-cli-native-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "tmp");
        fs::create_directories(root_ / "docs");
        tmpdir_.emplace(root_ / "tmp");
        for (const char* name : KELVARAN_SAMPLES) {
            fs::copy_file(fs::path(KELVARAN_SAMPLE_DIR) / name, root_ / "docs" / name);
            inputs_.push_back((root_ / "docs" / name).string());
        }
    }
    ~CliNativeTest() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    int cli(std::vector<std::string> args, std::string* err = nullptr, bool terminal = false) {
        args.insert(args.end(), inputs_.begin(), inputs_.end());
        std::vector<const char*> argv{"kelvaran-cli"};
        for (const auto& arg : args) argv.push_back(arg.c_str());
        CliEnvironment environment;
        environment.configFolder = (root_ / "config").string();
        environment.errorIsTerminal = terminal;
        environment.beforeSave = beforeSave_;
        std::ostringstream out;
        std::ostringstream errors;
        const int status = runCli(static_cast<int>(argv.size()), argv.data(), environment, out, errors);
        if (err) *err = errors.str();
        out_ = out.str();
        return status;
    }
    std::vector<json> report(const std::string& name) const {
        std::vector<json> records;
        std::istringstream in(readAll(root_ / name));
        const auto schema = loadSchema(KELVARAN_REPORT_SCHEMA);
        for (std::string line; std::getline(in, line);) {
            records.push_back(json::parse(line));
            EXPECT_THAT(schemaProblems(schema, records.back()), ElementsAre()) << line;
        }
        return records;
    }
    std::vector<json> documents(const std::vector<json>& records) const {
        std::vector<json> found;
        for (const auto& record : records) {
            if (record["record"] == "document") found.push_back(record);
        }
        return found;
    }
    std::vector<std::string> filesIn(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path root_;
    std::optional<test::ScopedTmpDir> tmpdir_;
    std::vector<std::string> inputs_;
    std::function<void(office::word::Document&)> beforeSave_;
    std::string out_;  // the log of the last run
};

TEST_F(CliNativeTest, DryRunMeasuresExactlyWhatARealRunWrites) {
    std::vector<std::string> before;
    for (const auto& input : inputs_) before.push_back(readAll(input));

    std::string err;
    ASSERT_EQ(cli({"--dry-run", "--report", (root_ / "dry.jsonl").string()}, &err), kExitCompleted) << err;
    EXPECT_EQ(filesIn(root_ / "docs").size(), inputs_.size());
    EXPECT_TRUE(filesIn(root_ / "tmp").empty());
    const auto dry = documents(report("dry.jsonl"));

    ASSERT_EQ(cli({"--report", (root_ / "real.jsonl").string()}, &err), kExitCompleted) << err;
    const auto real = documents(report("real.jsonl"));
    ASSERT_EQ(dry.size(), inputs_.size());
    ASSERT_EQ(real.size(), inputs_.size());
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        // The samples have pictures worth replacing.
        ASSERT_EQ(real[i]["outcome"], "slimmed") << real[i].dump();
        EXPECT_EQ(dry[i]["outcome"], "slimmed");
        EXPECT_EQ(dry[i]["bytes_after"], real[i]["bytes_after"]);
        EXPECT_EQ(real[i]["bytes_after"], fs::file_size(real[i]["output"].get<std::string>()));
        EXPECT_LT(real[i]["bytes_after"].get<long long>(), real[i]["bytes_before"].get<long long>());
        EXPECT_EQ(readAll(inputs_[i]), before[i]);
    }
    EXPECT_TRUE(filesIn(root_ / "tmp").empty());
}

TEST_F(CliNativeTest, ObjectRecordsDescribeTheOriginalAndEachCandidate) {
    std::string err;
    ASSERT_EQ(cli({"--dry-run", "--report", (root_ / "objects.jsonl").string()}, &err), kExitCompleted) << err;
    int replaced = 0;
    for (const auto& record : report("objects.jsonl")) {
        if (record["record"] != "object" || record["decision"] != "replaced") continue;
        ++replaced;
        SCOPED_TRACE(record.dump());
        ASSERT_TRUE(record["original_type"].is_string());
        EXPECT_NE(record["original_type"], "unknown");
        ASSERT_TRUE(record["original_bytes"].is_number());
        ASSERT_EQ(record["candidates"].size(), record["passes"].size());
        ASSERT_FALSE(record["candidates"].empty());
        const auto& last = record["candidates"].back();
        EXPECT_EQ(last["format"], record["format"]);
        ASSERT_TRUE(last["bytes"].is_number());
        // The new picture is smaller than the original's stored picture, and
        // a document stores it with some bytes around it.
        EXPECT_LT(last["bytes"].get<long long>(), record["original_bytes"].get<long long>());
        EXPECT_LE(last["bytes"].get<long long>(), record["bytes_after"].get<long long>());
        if (record["original_type"] != "EMF" && record["original_type"] != "WMF") {
            EXPECT_TRUE(record["pixel_width"].is_number());
            EXPECT_TRUE(record["pixel_height"].is_number());
        }
    }
    EXPECT_GT(replaced, 1);
}

TEST_F(CliNativeTest, TwoJobsWriteTheSameCopiesAndReportAsOne) {
    if (inputs_.size() < 2) GTEST_SKIP() << "one sample only";
    const auto threads = std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
    if (threads > 1) GTEST_SKIP() << "an earlier test left threads in this process; run this test alone";
    std::string err;
    fs::create_directories(root_ / "one");
    fs::create_directories(root_ / "two");
    // Two jobs first: the office's picture library starts threads of its own,
    // and a process that has them slims one document after another.
    ASSERT_EQ(cli({"--jobs", "2", "--output-dir", (root_ / "two").string(), "--report",
                   (root_ / "two.jsonl").string()},
                  &err),
              kExitCompleted)
        << err;
    EXPECT_EQ(err.find("one after another"), std::string::npos) << err;
    ASSERT_EQ(cli({"--output-dir", (root_ / "one").string(), "--report", (root_ / "one.jsonl").string()}, &err),
              kExitCompleted)
        << err;
    ASSERT_EQ(filesIn(root_ / "one"), filesIn(root_ / "two"));
    for (const auto& name : filesIn(root_ / "one")) {
        EXPECT_EQ(readAll(root_ / "one" / name), readAll(root_ / "two" / name)) << name;
    }
    auto strip = [](std::vector<json> records) {
        for (auto& record : records) {
            record.erase("seconds");
            if (record.contains("output") && record["output"].is_string()) {
                record["output"] = fs::path(record["output"].get<std::string>()).filename().string();
            }
        }
        return records;
    };
    EXPECT_EQ(strip(report("one.jsonl")), strip(report("two.jsonl")));
}

TEST_F(CliNativeTest, ParallelJobsShowOneProgressLineForTheWholeList) {
    if (inputs_.size() < 2) GTEST_SKIP() << "one sample only";
    const auto threads = std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
    if (threads > 1) GTEST_SKIP() << "an earlier test left threads in this process; run this test alone";
    std::string err;
    ASSERT_EQ(cli({"--jobs", "2", "--quiet"}, &err, true), kExitCompleted) << err;
    EXPECT_TRUE(err.empty()) << "--quiet shows no progress: " << err;
    ASSERT_EQ(cli({"--jobs", "2", "--output-dir", (root_ / "tmp").string()}, &err, true), kExitCompleted) << err;
    EXPECT_EQ(err.find("one after another"), std::string::npos) << err;
    const std::string count = std::to_string(inputs_.size());
    EXPECT_NE(err.find("[1/" + count + "] 0 KB saved so far  2 jobs"), std::string::npos) << err;
    // Every document done is counted once, with what it saved.
    const std::size_t last = err.rfind("[" + count + "/" + count + "] ");
    ASSERT_NE(last, std::string::npos) << err;
    EXPECT_EQ(err.find(" 0 KB saved", last), std::string::npos) << err.substr(last);
}

// ---- --verify: LibreOffice reads every copy beside its input ---------------

TEST_F(CliNativeTest, VerifiedCopiesAreKeptWithTheirCheckAlsoInJobs) {
    if (!verify::LibreOfficeRenderer::available()) GTEST_SKIP() << "LibreOffice is not installed";
    std::vector<std::string> before;
    for (const auto& input : inputs_) before.push_back(readAll(input));
    std::string err;
    ASSERT_EQ(cli({"--verify", "--jobs", "2", "--report", (root_ / "verify.jsonl").string()}, &err), kExitCompleted)
        << err;
    const auto records = documents(report("verify.jsonl"));
    ASSERT_EQ(records.size(), inputs_.size());
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        SCOPED_TRACE(records[i].dump());
        EXPECT_EQ(records[i]["outcome"], "slimmed");
        ASSERT_TRUE(records[i].contains("verify"));
        EXPECT_EQ(records[i]["verify"]["passed"], true);
        EXPECT_GE(records[i]["verify"]["pages"].get<int>(), 1);
        EXPECT_TRUE(records[i]["verify"]["why"].is_null());
        EXPECT_TRUE(fs::exists(records[i]["output"].get<std::string>()));
        EXPECT_EQ(readAll(inputs_[i]), before[i]);
    }
    // LibreOffice's work folders and profiles are gone.
    EXPECT_THAT(filesIn(root_ / "tmp"), ElementsAre());
}

// Halves the first picture of the body, or moves the first floating shape
// by an inch: a reader sees the difference.
void movePicture(office::word::Document& document) {
    auto inlines = document.InlineShapes();
    if (inlines && inlines->count() > 0) {
        auto shape = inlines->item(1);
        shape->setWidth(shape->Width() / 2);
        shape->setHeight(shape->Height() / 2);
        return;
    }
    auto shapes = document.Shapes();
    ASSERT_TRUE(shapes && shapes->count() > 0);
    auto shape = shapes->item(1);
    shape->setLeft(shape->Left() + 72);
}

TEST_F(CliNativeTest, CopyWithAMovedPictureFailsVerificationAndIsRemoved) {
    if (!verify::LibreOfficeRenderer::available()) GTEST_SKIP() << "LibreOffice is not installed";
    // The RTF sample: a Word 97-2003 document cannot store a picture resized
    // in place, and its save would fail before any check.
    std::vector<std::string> rtf;
    for (const auto& input : inputs_) {
        if (fs::path(input).extension() == ".rtf") {
            rtf.push_back(input);
        } else {
            fs::remove(input);
        }
    }
    ASSERT_FALSE(rtf.empty());
    inputs_ = rtf;
    std::vector<std::string> before;
    for (const auto& input : inputs_) before.push_back(readAll(input));
    beforeSave_ = movePicture;
    std::string err;
    ASSERT_EQ(cli({"--verify", "--report", (root_ / "moved.jsonl").string()}, &err), kExitFailed) << err;
    const auto records = documents(report("moved.jsonl"));
    ASSERT_EQ(records.size(), inputs_.size());
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        SCOPED_TRACE(records[i].dump());
        EXPECT_EQ(records[i]["outcome"], "unverified");
        EXPECT_TRUE(records[i]["output"].is_null());
        EXPECT_EQ(records[i]["verify"]["passed"], false);
        ASSERT_TRUE(records[i]["verify"]["why"].is_string());
        EXPECT_THAT(records[i]["reason"].get<std::string>(),
                    ::testing::HasSubstr(records[i]["verify"]["why"].get<std::string>()));
        EXPECT_EQ(readAll(inputs_[i]), before[i]);
    }
    // Only the inputs are left; the end lines read as for no copy.
    EXPECT_EQ(filesIn(root_ / "docs").size(), inputs_.size());
    std::size_t zeroEnds = 0;
    for (std::size_t at = 0; (at = out_.find("KB->0KB\n", at)) != std::string::npos; ++at) ++zeroEnds;
    EXPECT_EQ(zeroEnds, inputs_.size()) << out_;
    EXPECT_THAT(err, ::testing::HasSubstr("did not pass the page check"));
    EXPECT_THAT(filesIn(root_ / "tmp"), ElementsAre());
}

// ---- --html-report: the page and its thumbnails ----------------------------

// The src of every <img> of a page.
std::vector<std::string> imageSources(const std::string& page) {
    std::vector<std::string> sources;
    const std::string open = "<img src=\"";
    for (std::size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        const auto start = at + open.size();
        sources.push_back(page.substr(start, page.find('"', start) - start));
    }
    return sources;
}

TEST_F(CliNativeTest, HtmlReportShowsEveryReplacedPictureBeforeAndAfterAlsoFromJobs) {
    const bool verified = verify::LibreOfficeRenderer::available();
    std::vector<std::string> args = {"--jobs", "2", "--report", (root_ / "r.jsonl").string(), "--html-report",
                                     (root_ / "html").string()};
    if (verified) args.push_back("--verify");
    std::string err;
    ASSERT_EQ(cli(args, &err), kExitCompleted) << err;
    int replaced = 0;
    for (const auto& record : report("r.jsonl")) {
        if (record["record"] == "object" && record["decision"] == "replaced") ++replaced;
    }
    ASSERT_GT(replaced, 1);
    const std::string page = readAll(root_ / "html" / "index.html");
    const auto sources = imageSources(page);
    EXPECT_EQ(sources.size(), 2u * static_cast<std::size_t>(replaced));
    for (const auto& source : sources) {
        SCOPED_TRACE(source);
        ASSERT_TRUE(fs::exists(root_ / "html" / source));
        EXPECT_EQ(readAll(root_ / "html" / source).substr(1, 3), "PNG");
    }
    for (const auto& input : inputs_) EXPECT_NE(page.find(input), std::string::npos) << input;
    EXPECT_NE(page.find("<svg"), std::string::npos);
    if (verified) {
        EXPECT_NE(page.find("passed ("), std::string::npos);
    }
    // The parts of the jobs were put together and are gone.
    for (const auto& name : filesIn(root_ / "html")) EXPECT_EQ(name.find("part-"), std::string::npos) << name;
}

#ifdef KELVARAN_PARALLEL
// A list split over several processes by GNU parallel, as over the machines
// of a cluster, and their reports put together again.
TEST_F(CliNativeTest, ListSplitByGnuParallelAndReportsMerged) {
    std::ostringstream list;
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i) {
        const auto copy = root_ / "docs" / ("copy " + std::to_string(i) + ".rtf");
        fs::copy_file(fs::path(KELVARAN_SAMPLE_DIR) / "sample.rtf", copy);
        list << copy.string() << "\n";
        expected.push_back(copy.string());
    }
    {
        std::ofstream out(root_ / "list.txt");
        out << list.str();
    }
    // As the README shows it: each part's report on standard output, passed on whole.
    const std::string command = "cd '" + root_.string() + "' && KELVARAN_CONFIG_DIR='" + (root_ / "config").string() +
                                "' " KELVARAN_PARALLEL " --will-cite --pipe -N2 -j2 '" KELVARAN_CLI
                                " --quiet --files-from - --report -' < list.txt > report.jsonl 2> errors.txt";
    ASSERT_EQ(std::system(command.c_str()), 0) << readAll(root_ / "errors.txt");

    std::vector<std::string> inputs;
    int runs = 0;
    for (const auto& record : report("report.jsonl")) {
        if (record["record"] == "run") {
            ++runs;
            EXPECT_EQ(record["outcome"], "completed");
        } else if (record["record"] == "document") {
            EXPECT_EQ(record["outcome"], "slimmed") << record.dump();
            inputs.push_back(record["input"]);
        }
    }
    EXPECT_EQ(runs, 3);
    std::sort(inputs.begin(), inputs.end());
    EXPECT_EQ(inputs, expected);
}
#endif

}  // namespace
}  // namespace kelvaran::app::testing
