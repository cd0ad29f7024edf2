// The HTML report: which folders it may take, how it is put in place, its
// thumbnails and the page assembled from the parts of several jobs.

#include "app/run/HtmlReport.h"

#include "imaging/Imaging.h"
#include "platform/AtomicFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace kelvaran::app::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// A picture of two halves, red on the left and blue on the right.
imaging::Image halves(int width, int height) {
    imaging::Image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = x < width / 2 ? 220 : 10;
            p[2] = x < width / 2 ? 10 : 220;
            p[3] = 255;
        }
    }
    return image;
}

class HtmlReportTest : public ::testing::Test {
protected:
    HtmlReportTest() : root_(fs::temp_directory_path() / ("kelvaran-html-" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~HtmlReportTest() override { fs::remove_all(root_); }
    void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    std::vector<std::string> names(const fs::path& folder) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path().filename());
        std::sort(found.begin(), found.end());
        return found;
    }
    fs::path root_;
};

TEST_F(HtmlReportTest, OnlyANewAnEmptyOrAnEarlierReportFolderIsTaken) {
    EXPECT_EQ(HtmlReportFolder::refusal((root_ / "new").string()), std::nullopt);
    fs::create_directories(root_ / "empty");
    EXPECT_EQ(HtmlReportFolder::refusal((root_ / "empty").string()), std::nullopt);
    write(root_ / "theirs" / "notes.txt", "mine");
    ASSERT_TRUE(HtmlReportFolder::refusal((root_ / "theirs").string()).has_value());
    EXPECT_THAT(*HtmlReportFolder::refusal((root_ / "theirs").string()), HasSubstr("not empty"));
    write(root_ / "file", "x");
    EXPECT_THAT(HtmlReportFolder::refusal((root_ / "file").string()).value_or(""), HasSubstr("not a folder"));

    // A report of ours is taken, and replaced whole.
    {
        HtmlReportFolder first((root_ / "report").string());
        write(fs::path(first.work()) / "index.html", "first");
        write(fs::path(first.work()) / "p0-o1-before.png", "old");
        first.commit();
    }
    EXPECT_EQ(HtmlReportFolder::refusal((root_ / "report").string()), std::nullopt);
    {
        HtmlReportFolder second((root_ / "report").string());
        write(fs::path(second.work()) / "index.html", "second");
        second.commit();
    }
    EXPECT_EQ(platform::readWholeFile((root_ / "report" / "index.html").string()), "second");
    EXPECT_FALSE(fs::exists(root_ / "report" / "p0-o1-before.png"));
    // Nothing is left beside it, and an empty folder is replaced too.
    {
        HtmlReportFolder third((root_ / "empty").string());
        third.commit();
    }
    EXPECT_THAT(names(root_), ::testing::ElementsAre("empty", "file", "report", "theirs"));
}

TEST_F(HtmlReportTest, UnfinishedReportLeavesNothingAndAFolderFilledMeanwhileIsKept) {
    {
        HtmlReportFolder abandoned((root_ / "a").string());
        write(fs::path(abandoned.work()) / "index.html", "x");
    }
    EXPECT_TRUE(names(root_).empty());
    HtmlReportFolder late((root_ / "b").string());
    write(root_ / "b" / "someone-elses.doc", "precious");
    EXPECT_THROW(late.commit(), platform::FileSystemError);
    EXPECT_EQ(platform::readWholeFile((root_ / "b" / "someone-elses.doc").string()), "precious");
}

TEST_F(HtmlReportTest, ThumbnailsAreAboutTwoHundredFortyPixelsWideAfterTheDisplayedShape) {
    const std::string png = imaging::encodePng(halves(800, 400));
    // Displayed at 300 x 100 points: the thumbnail has that shape.
    const auto wide = imaging::decode(Thumbnail(png, "PNG", 300, 100), imaging::PictureType::Png);
    EXPECT_EQ(wide.width, kThumbnailWidth);
    EXPECT_EQ(wide.height, 80);
    // Left red, right blue: the picture is drawn, not a blank.
    EXPECT_GT(wide.rgba[(40 * 240 + 10) * 4 + 0], 150);
    EXPECT_GT(wide.rgba[(40 * 240 + 230) * 4 + 2], 150);
    // Without a displayed size the picture's own shape.
    const auto own = imaging::decode(Thumbnail(png, "PNG", 0, 0), imaging::PictureType::Png);
    EXPECT_EQ(own.height, 120);
    // Metafiles are drawn as well; an unknown label is sniffed.
    const std::string emf = imaging::encodeEmfFromImage(halves(200, 100), 150, 75);
    const auto drawn = imaging::decode(Thumbnail(emf, "unknown", 150, 75), imaging::PictureType::Png);
    EXPECT_EQ(drawn.height, 120);
    EXPECT_GT(drawn.rgba[(60 * 240 + 230) * 4 + 2], 150);
    EXPECT_THROW(Thumbnail("not a picture", "JPEG", 10, 10), imaging::ImagingError);
}

TEST_F(HtmlReportTest, CollectorDrawsReplacedObjectsAtOnceAndListsTheOthers) {
    HtmlReportCollector collector(root_.string(), "p3-", false);
    collector.documentStarted("in/<a&b>.doc");
    engine::ObjectDecision replaced;
    replaced.kind = "Picture";
    replaced.placement = "inline";
    replaced.page = 2;
    replaced.displayWidth = 120;
    replaced.displayHeight = 60;
    replaced.bytesBefore = 90000;
    replaced.bytesAfter = 8000;
    replaced.format = "JPEG";
    replaced.decision = "replaced";
    replaced.originalType = "PNG";
    replaced.originalPicture = std::make_shared<const std::string>(imaging::encodePng(halves(400, 200)));
    replaced.newType = "JPEG";
    replaced.newPicture = std::make_shared<const std::string>(imaging::encodeJpeg(halves(240, 120)));
    collector.objectDecided(replaced);
    // The thumbnails exist before the document is done.
    EXPECT_THAT(names(root_), ::testing::ElementsAre("p3-o1-after.png", "p3-o1-before.png"));

    engine::ObjectDecision small;
    small.kind = "Picture";
    small.placement = "floating";
    small.decision = "below_minimum";
    collector.objectDecided(small);
    engine::ObjectDecision broken = replaced;
    broken.newPicture.reset();
    collector.objectDecided(broken);

    DocumentResult result;
    result.path = "in/<a&b>.doc";
    result.opened = true;
    result.converted = true;
    result.inputBytes = 200000;
    result.outputBytes = 120000;
    result.outputPath = "in/<a&b>-slimmed-196k.doc";
    result.check = CopyCheck{true, 2, 11.2, 1, ""};
    collector.documentDone(result);

    const auto& documents = collector.documents();
    ASSERT_EQ(documents.size(), 1u);
    ASSERT_EQ(documents[0]["objects"].size(), 3u);
    EXPECT_EQ(documents[0]["objects"][2]["before"], "p3-o2-before.png");
    EXPECT_TRUE(documents[0]["objects"][2]["after"].is_null());
    EXPECT_THAT(documents[0]["objects"][2]["thumbnail_failure"].get<std::string>(), HasSubstr("did not offer"));

    const std::string page = HtmlPage(documents);
    EXPECT_THAT(page, HasSubstr(R"(<img src="p3-o1-before.png")"));
    EXPECT_THAT(page, HasSubstr(R"(<img src="p3-o1-after.png")"));
    EXPECT_THAT(page, HasSubstr("in/&lt;a&amp;b&gt;.doc"));
    EXPECT_THAT(page, Not(HasSubstr("<a&b>")));
    EXPECT_THAT(page, HasSubstr("below_minimum"));
    EXPECT_THAT(page, HasSubstr("PNG &rarr; JPEG"));
    EXPECT_THAT(page, HasSubstr("90,000 &rarr; 8,000"));
    EXPECT_THAT(page, HasSubstr("passed (2 pages"));
    EXPECT_THAT(page, HasSubstr("<svg"));
    EXPECT_THAT(page, HasSubstr("-40 %"));
    EXPECT_THAT(page, Not(HasSubstr("<script")));
}

TEST_F(HtmlReportTest, PageIsAssembledFromThePartsInJobOrder) {
    auto part = [&](int index, const std::string& input) {
        HtmlReportCollector collector(root_.string(), "p" + std::to_string(index) + "-", false);
        collector.documentStarted(input);
        DocumentResult result;
        result.path = input;
        result.opened = true;
        collector.documentDone(result);
        collector.writePart(index);
    };
    part(10, "tenth.doc");
    part(2, "second.doc");
    write(root_ / "part-5.json", "[{\"input\": unfinished");
    WriteHtmlPage(root_.string());
    const std::string page = platform::readWholeFile((root_ / "index.html").string());
    const auto second = page.find("second.doc");
    const auto tenth = page.find("tenth.doc");
    ASSERT_NE(second, std::string::npos);
    ASSERT_NE(tenth, std::string::npos);
    EXPECT_LT(second, tenth);
    EXPECT_THAT(names(root_), ::testing::ElementsAre("index.html"));
}

}  // namespace
}  // namespace kelvaran::app::testing
