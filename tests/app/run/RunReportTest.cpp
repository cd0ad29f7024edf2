#include "app/run/RunReport.h"

#include "platform/Failure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kelvaran::app::testing {
namespace {

namespace fs = std::filesystem;

TEST(ParseObjectLineTest, ReadsEveryPlacementTheEngineWrites) {
    struct Case {
        std::string words;
        std::string placement;
    };
    for (const auto& c : {Case{"にｼｪｰﾌﾟ変換 (", "floating"}, Case{"にｲﾝﾗｲﾝ変換 (", "inline"},
                          Case{"にﾚｲｱｳﾄ枠内変換 (", "layout_frame"}, Case{"にﾃｷｽﾄ枠内変換 (", "text_frame"}}) {
        const auto object = ParseObjectLine("ページ 12\tPowerPoint (表示ｻｲｽﾞ=301x45) をﾒﾀﾋﾟｸﾁｬ" + c.words +
                                            "1234KB->56KB)  \r\n");
        ASSERT_TRUE(object) << c.placement;
        EXPECT_EQ(object->page, 12);
        EXPECT_EQ(object->kind, "PowerPoint");
        EXPECT_EQ(object->placement, c.placement);
        EXPECT_EQ(object->displayedWidth, 301);
        EXPECT_EQ(object->displayedHeight, 45);
        EXPECT_EQ(object->format, "ﾒﾀﾋﾟｸﾁｬ");
        EXPECT_EQ(object->kbBefore, 1234);
        EXPECT_EQ(object->kbAfter, 56);
    }
}

TEST(ParseObjectLineTest, OtherLinesAreNotObjects) {
    for (const std::string line :
         {"▼開始▼ /tmp/a.doc\r\n", "▲終了▲ 2KB->0KB\r\n", "", "ページ x\tPicture (表示ｻｲｽﾞ=1x1) をJPEGにｲﾝﾗｲﾝ変換 (1KB->1KB)  ",
          "ページ 1\tPicture (表示ｻｲｽﾞ=1y1) をJPEGにｲﾝﾗｲﾝ変換 (1KB->1KB)  ",
          "ページ 1\tPicture (表示ｻｲｽﾞ=1x1) をJPEGに変換 (1KB->1KB)  ",
          "ページ 1\tPicture (表示ｻｲｽﾞ=1x1) をJPEGにｲﾝﾗｲﾝ変換 (1KB->1KB)"}) {
        EXPECT_FALSE(ParseObjectLine(line)) << line;
    }
}

TEST(ClassifyDocumentTest, EveryOutcome) {
    DocumentResult result;
    result.path = "a.doc";
    result.skipped = true;
    result.reason = "no Word";
    EXPECT_EQ(ClassifyDocument(result, false).outcome, "failed");
    EXPECT_THAT(ClassifyDocument(result, false).reason, ::testing::HasSubstr("no Word"));

    result = {};
    result.reason = "not a Word document";
    EXPECT_EQ(ClassifyDocument(result, false).outcome, "failed");
    EXPECT_EQ(ClassifyDocument(result, false).reason, "the document could not be opened: not a Word document");
    // The office's text that says the same already is not said twice.
    result.reason = "the document cannot be opened: the file ends inside an open group";
    EXPECT_EQ(ClassifyDocument(result, false).reason,
              "the document could not be opened: the file ends inside an open group");

    result = {};
    result.opened = true;
    EXPECT_EQ(ClassifyDocument(result, false).outcome, "unchanged");
    EXPECT_EQ(ClassifyDocument(result, false).reason, "");

    result.converted = true;
    result.outputPath = "a-slimmed-1k.doc";
    EXPECT_EQ(ClassifyDocument(result, false).outcome, "slimmed");

    result.outputPath.clear();
    result.outputBytes = 10;
    EXPECT_EQ(ClassifyDocument(result, true).outcome, "slimmed");
    EXPECT_EQ(ClassifyDocument(result, false).outcome, "failed");
    result.reason = "disk full";
    EXPECT_EQ(ClassifyDocument(result, true).outcome, "failed");

    result.outputRefused = true;
    EXPECT_EQ(ClassifyDocument(result, false).outcome, "refused");

    result = {};
    result.opened = true;
    result.stopped = true;
    EXPECT_EQ(ClassifyDocument(result, false).outcome, "stopped");
}

class ReportSinkTest : public ::testing::Test {
protected:
    ReportSinkTest() : root_(fs::temp_directory_path() / ("kelvaran-sink-" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~ReportSinkTest() override { fs::remove_all(root_); }
    std::size_t filesIn() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(root_), fs::directory_iterator()));
    }
    fs::path root_;
};

TEST_F(ReportSinkTest, FileAppearsWholeOnlyAfterFinish) {
    const auto target = (root_ / "report.jsonl").string();
    {
        std::ofstream old(target);
        old << "old report\n";
    }
    std::ostringstream unused;
    {
        ReportSink sink(target, unused);
        sink.write({{"record", "run"}, {"name", "bad \xff byte"}});
        std::ifstream in(target);
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first, "old report");
        sink.finish();
    }
    std::ifstream in(target);
    std::string first;
    std::getline(in, first);
    const auto record = nlohmann::json::parse(first);
    EXPECT_EQ(record["record"], "run");
    EXPECT_EQ(filesIn(), 1u);
    EXPECT_TRUE(unused.str().empty());
}

TEST_F(ReportSinkTest, UnfinishedFileLeavesNothingBehind) {
    std::ostringstream unused;
    {
        ReportSink sink((root_ / "report.jsonl").string(), unused);
        sink.write({{"record", "document"}});
    }
    EXPECT_EQ(filesIn(), 0u);
    EXPECT_THROW(ReportSink((root_ / "no" / "report.jsonl").string(), unused), platform::FileSystemError);
}

TEST_F(ReportSinkTest, DashWritesLinesToTheStream) {
    std::ostringstream out;
    ReportSink sink("-", out);
    EXPECT_TRUE(sink.toStandardOutput());
    sink.write({{"a", 1}});
    sink.write({{"b", nullptr}});
    sink.finish();
    EXPECT_EQ(out.str(), "{\"a\":1}\n{\"b\":null}\n");
}

}  // namespace
}  // namespace kelvaran::app::testing
