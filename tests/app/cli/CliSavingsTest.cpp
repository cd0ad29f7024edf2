// The savings only the command line offers, over the in-process office and
// the real engine on generated documents: each read back after the run.

#include "tests/support/ScopedTmpDir.h"
#include "app/cli/CliApp.h"
#include "app/cli/CliBudget.h"
#include "formats/doc/DocFormat.h"
#include "formats/rtf/RtfFormat.h"

#include "tests/app/cli/SchemaCheck.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace kelvaran::app::testing {
namespace {

namespace fs = std::filesystem;
namespace model = formats::model;
using nlohmann::json;
using ::testing::ElementsAre;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

model::Document readBack(const fs::path& path) {
    auto bytes = std::make_shared<const std::string>(readAll(path));
    if (path.extension() == ".rtf") return formats::rtf::readRtf(bytes);
    return formats::doc::readDoc(bytes);
}

bool isBitmap(const model::PictureData& picture) {
    return picture.type == model::PictureFormat::Jpeg || picture.type == model::PictureFormat::Png ||
           picture.type == model::PictureFormat::Gif;
}

class CliSavingsTest : public ::testing::Test {
protected:
    CliSavingsTest() {
        root_ = fs::temp_directory_path() / ("kelvaran-cli-savings-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "tmp");
        tmpdir_.emplace(root_ / "tmp");
    }
    ~CliSavingsTest() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // A generated document copied into the work folder (`folder`: another
    // folder of the test data).
    fs::path input(const std::string& name, const std::string& folder = "generated") {
        const fs::path to = root_ / "in" / name;
        fs::create_directories(to.parent_path());
        if (!fs::exists(to)) fs::copy_file(fs::path(KELVARAN_TEST_DATA) / folder / name, to);
        return to;
    }

    // Slims `document` into a folder of its own named `run`; the copy, or
    // nothing when none was written.  Also checks the report against the schema.
    std::optional<fs::path> slim(const std::string& run, const fs::path& document, std::vector<std::string> options) {
        const fs::path out = root_ / run;
        fs::create_directories(out);
        std::vector<std::string> args = {"--output-dir", out.string(), "--report", (root_ / (run + ".jsonl")).string()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(document.string());
        std::vector<const char*> argv{"kelvaran-cli"};
        for (const auto& arg : args) argv.push_back(arg.c_str());
        CliEnvironment environment;
        environment.configFolder = (root_ / "config").string();
        std::ostringstream outText;
        std::ostringstream errText;
        const int status = runCli(static_cast<int>(argv.size()), argv.data(), environment, outText, errText);
        EXPECT_EQ(status, kExitCompleted) << errText.str();
        records_.clear();
        std::istringstream lines(readAll(root_ / (run + ".jsonl")));
        const auto schema = loadSchema(KELVARAN_REPORT_SCHEMA);
        for (std::string line; std::getline(lines, line);) {
            records_.push_back(json::parse(line));
            EXPECT_THAT(schemaProblems(schema, records_.back()), ElementsAre()) << line;
        }
        for (const auto& entry : fs::directory_iterator(out)) return entry.path();
        return std::nullopt;
    }
    json documentRecord() const {
        for (const auto& record : records_) {
            if (record["record"] == "document") return record;
        }
        return nullptr;
    }

    fs::path root_;
    std::optional<test::ScopedTmpDir> tmpdir_;
    std::vector<json> records_;
};

// The generated pictures have 200 x 150 pixels and are shown larger than
// that at the default quality ratio of 1.5.
TEST_F(CliSavingsTest, NoEnlargeNeverDrawsMorePixelsThanTheSourceShows) {
    for (const std::string name : {"gen-inline-pictures.rtf", "gen-inline-pictures.doc"}) {
        SCOPED_TRACE(name);
        const fs::path document = input(name);
        const model::Document original = readBack(document);
        int widest = 0;
        for (const auto& object : original.inlines) {
            if (!isBitmap(object.picture)) continue;
            widest = std::max(widest, object.picture.pixelWidth);
        }
        ASSERT_GT(widest, 0);

        const auto plain = slim("plain-" + name, document, {"--min-size", "10"});
        ASSERT_TRUE(plain);
        int enlarged = 0;
        for (const auto& object : readBack(*plain).inlines) {
            if (object.edit != model::EditState::Deleted && object.picture.pixelWidth > widest) ++enlarged;
        }
        EXPECT_GT(enlarged, 0) << "without the option the pictures are drawn larger than they are";

        const auto capped = slim("capped-" + name, document, {"--min-size", "10", "--no-enlarge"});
        ASSERT_TRUE(capped);
        EXPECT_EQ(documentRecord()["options"]["no_enlarge"], true);
        const model::Document back = readBack(*capped);
        const auto before = original.inlinesOf(0);
        const auto after = back.inlinesOf(0);
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            const auto& source = original.inlines[static_cast<std::size_t>(before[i])].picture;
            const auto& drawn = back.inlines[static_cast<std::size_t>(after[i])].picture;
            ASSERT_TRUE(isBitmap(drawn));
            EXPECT_GT(drawn.pixelWidth, 0);
            EXPECT_LE(drawn.pixelWidth, source.pixelWidth) << "picture " << i;
            EXPECT_LE(drawn.pixelHeight, source.pixelHeight) << "picture " << i;
        }
        // Fewer pixels, fewer bytes.
        EXPECT_LT(fs::file_size(*capped), fs::file_size(*plain));
    }
}

// Drawn at half their displayed size the pictures stay below their own
// pixels: the option changes nothing.
TEST_F(CliSavingsTest, NoEnlargeLeavesPicturesDrawnBelowTheirPixelsAlone) {
    const fs::path document = input("gen-inline-pictures.doc");
    const auto plain = slim("plain", document, {"--min-size", "10", "--ratio", "0.5"});
    const auto capped = slim("capped", document, {"--min-size", "10", "--ratio", "0.5", "--no-enlarge"});
    ASSERT_TRUE(plain);
    ASSERT_TRUE(capped);
    EXPECT_EQ(readAll(*plain), readAll(*capped));
}

// The pictures are too small to convert: only the fallback copies go, and
// the copy is written for that alone.
TEST_F(CliSavingsTest, DropUnusedWritesACopyWithoutTheFallbackPicturesOfRtf) {
    const fs::path document = input("gen-inline-pictures.rtf");
    EXPECT_FALSE(slim("kept", document, {"--min-size", "1000"})) << "nothing to convert: no copy";
    const auto dropped = slim("dropped", document, {"--min-size", "1000", "--drop-unused"});
    ASSERT_TRUE(dropped);
    const json record = documentRecord();
    EXPECT_EQ(record["outcome"], "slimmed");
    EXPECT_EQ(record["objects_replaced"], 0);
    EXPECT_EQ(record["options"]["drop_unused"], true);
    const std::string written = readAll(*dropped);
    EXPECT_EQ(written.find("nonshppict"), std::string::npos);
    EXPECT_LT(written.size(), fs::file_size(document));
    const model::Document original = readBack(document);
    const model::Document back = readBack(*dropped);
    ASSERT_EQ(back.inlines.size(), original.inlines.size());
    for (std::size_t i = 0; i < back.inlines.size(); ++i) {
        EXPECT_EQ(*back.inlines[i].picture.bytes, *original.inlines[i].picture.bytes);
    }
    EXPECT_EQ(back.main().plainText(), original.main().plainText());
}

// A .doc whose stored pictures are all shown holds nothing to drop: no copy
// is written for the option alone, and a converted copy is the same with it
// or without.
TEST_F(CliSavingsTest, DropUnusedChangesNothingInADoc) {
    const fs::path document = input("gen-inline-pictures.doc");
    EXPECT_FALSE(slim("idle", document, {"--min-size", "1000", "--drop-unused"}));
    EXPECT_EQ(documentRecord()["outcome"], "unchanged");
    const auto plain = slim("plain", document, {"--min-size", "10"});
    const auto dropped = slim("dropped", document, {"--min-size", "10", "--drop-unused"});
    ASSERT_TRUE(plain);
    ASSERT_TRUE(dropped);
    EXPECT_EQ(readAll(*plain), readAll(*dropped));
}

// The pictures are too small to convert: the stored picture nothing shows
// goes, the copy is written for that alone, and every shown picture stays.
TEST_F(CliSavingsTest, DropUnusedWritesACopyWithoutThePicturesADocStoresButNeverShows) {
    const fs::path document = input("gen-floating-unused-picture.doc", "formats/doc");
    EXPECT_FALSE(slim("kept", document, {"--min-size", "1000"})) << "nothing to convert: no copy";
    const auto dropped = slim("dropped", document, {"--min-size", "1000", "--drop-unused"});
    ASSERT_TRUE(dropped);
    const json record = documentRecord();
    EXPECT_EQ(record["outcome"], "slimmed");
    EXPECT_EQ(record["objects_replaced"], 0);
    EXPECT_LE(fs::file_size(*dropped) + 60000, fs::file_size(document));
    const model::Document original = readBack(document);
    const model::Document back = readBack(*dropped);
    EXPECT_GT(original.unusedPictureBytes, 0u);
    EXPECT_EQ(back.unusedPictureBytes, 0u);
    ASSERT_EQ(back.shapes.size(), original.shapes.size());
    for (std::size_t i = 0; i < back.shapes.size(); ++i) {
        ASSERT_FALSE(back.shapes[i].picture.empty());
        EXPECT_EQ(*back.shapes[i].picture.bytes, *original.shapes[i].picture.bytes);
    }
    EXPECT_EQ(back.main().plainText(), original.main().plainText());
}

TEST(SizeBudgetTest, SizesReadWithTheirUnitsAndZeroOrNonsenseIsRefused) {
    EXPECT_EQ(ParseSizeBudget("300k"), 300u * 1024);
    EXPECT_EQ(ParseSizeBudget("10M"), 10u * 1024 * 1024);
    EXPECT_EQ(ParseSizeBudget("1.5K"), 1536u);
    EXPECT_EQ(ParseSizeBudget("12345"), 12345u);
    EXPECT_EQ(ParseSizeBudget("2g"), std::uint64_t{2} * 1024 * 1024 * 1024);
    for (const std::string bad : {"", "0", "0k", "-1k", "k", "10x", "ten", "10 k", " 10k", "0.0001", "1e400"}) {
        EXPECT_FALSE(ParseSizeBudget(bad)) << bad;
    }
}

TEST(SizeBudgetTest, TheLadderLowersTheRatioFirstThenTheJpegQualityDownToTheFloor) {
    const auto ladder = BudgetLadder("1.5");
    std::vector<std::pair<std::string, int>> steps;
    for (const auto& step : ladder) steps.emplace_back(step.ratio, step.jpegQuality);
    EXPECT_EQ(steps, (std::vector<std::pair<std::string, int>>{
                         {"1.5", 0}, {"1", 0}, {"0.75", 0}, {"0.5", 0}, {"0.5", 70}, {"0.5", 55}, {"0.5", 40}}));
    EXPECT_EQ(ladder.back().jpegQuality, kBudgetFloorJpegQuality);
    // A ratio below the floor is the run's own choice: it is kept.
    const auto low = BudgetLadder("0.3");
    ASSERT_EQ(low.size(), 4u);
    for (const auto& step : low) EXPECT_EQ(step.ratio, "0.3");
    EXPECT_EQ(low[0].jpegQuality, 0);
}

// Four photos of 55 KB: a budget between what the defaults and the floor
// make is met by loosening the conditions.
TEST_F(CliSavingsTest, TargetSizeMeetsABudgetAPhotoDocumentCanReach) {
    const fs::path document = input("gen-rtf-rotated-floating-photo.rtf");
    const auto plain = slim("plain", document, {"--min-size", "10"});
    const auto floor = slim("floor", document, {"--min-size", "10", "--ratio", "0.5"});
    ASSERT_TRUE(plain);
    ASSERT_TRUE(floor);
    const auto plainBytes = fs::file_size(*plain);
    const auto floorBytes = fs::file_size(*floor);
    ASSERT_LT(floorBytes, plainBytes * 9 / 10);
    const auto budget = (plainBytes + floorBytes) / 2;

    const auto met = slim("met", document, {"--min-size", "10", "--target-size", std::to_string(budget)});
    ASSERT_TRUE(met);
    EXPECT_LE(fs::file_size(*met), budget);
    const json record = documentRecord();
    EXPECT_EQ(record["budget_met"], true);
    EXPECT_EQ(record["options"]["target_size"], budget);
    EXPECT_LT(record["options"]["ratio"].get<double>(), 1.5) << "the conditions were loosened";
    EXPECT_EQ(record["bytes_after"], fs::file_size(*met));
    // Read back whole: every picture is still there.
    EXPECT_EQ(readBack(*met).inlinesOf(0).size(), readBack(document).inlinesOf(0).size());

    // A budget the defaults meet changes nothing.
    const auto easy = slim("easy", document, {"--min-size", "10", "--target-size", std::to_string(plainBytes)});
    ASSERT_TRUE(easy);
    EXPECT_EQ(readAll(*easy), readAll(*plain));
    EXPECT_EQ(documentRecord()["options"]["ratio"], 1.5);
}

TEST_F(CliSavingsTest, TargetSizeOutOfReachWritesTheSmallestCopyAndSaysSo) {
    const fs::path document = input("gen-rtf-rotated-floating-photo.rtf");
    const fs::path out = root_ / "tight";
    fs::create_directories(out);
    const std::vector<std::string> args = {"kelvaran-cli", "--min-size", "10", "--target-size", "1k", "--output-dir",
                                           out.string(), "--report", (root_ / "tight.jsonl").string(),
                                           document.string()};
    std::vector<const char*> argv;
    for (const auto& arg : args) argv.push_back(arg.c_str());
    CliEnvironment environment;
    environment.configFolder = (root_ / "config").string();
    std::ostringstream outText;
    std::ostringstream errText;
    ASSERT_EQ(runCli(static_cast<int>(argv.size()), argv.data(), environment, outText, errText), kExitCompleted);
    EXPECT_THAT(errText.str(), ::testing::HasSubstr("the size budget of 1024 bytes cannot be met"));
    std::optional<fs::path> copy;
    for (const auto& entry : fs::directory_iterator(out)) copy = entry.path();
    ASSERT_TRUE(copy);
    std::istringstream lines(readAll(root_ / "tight.jsonl"));
    json record;
    for (std::string line; std::getline(lines, line);) {
        const auto parsed = json::parse(line);
        if (parsed["record"] == "document") record = parsed;
    }
    EXPECT_EQ(record["budget_met"], false);
    EXPECT_EQ(record["outcome"], "slimmed");
    EXPECT_EQ(record["options"]["jpeg_quality"], kBudgetFloorJpegQuality) << "the floor was reached";
    // The smallest of the tries: no larger than the copy at the floor ratio.
    const auto floor = slim("floor", document, {"--min-size", "10", "--ratio", "0.5"});
    ASSERT_TRUE(floor);
    EXPECT_LE(fs::file_size(*copy), fs::file_size(*floor));
    EXPECT_EQ(readBack(*copy).inlinesOf(0).size(), readBack(document).inlinesOf(0).size());
}

namespace headers {

// The brace-balanced group that starts at `at`.
std::string groupAt(const std::string& text, std::size_t at) {
    int depth = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '{') {
            ++depth;
        } else if (text[i] == '}' && --depth == 0) {
            return text.substr(at, i - at + 1);
        }
    }
    return {};
}

}  // namespace headers

// A generated RTF given a header and a footer that show the body's first
// picture (a 200 x 150 PNG drawn larger than that).
class CliHeadersTest : public CliSavingsTest {
protected:
    fs::path documentWithHeaders() {
        const std::string source = readAll(input("gen-inline-pictures.rtf"));
        const std::size_t pictureAt = source.find("{\\*\\shppict");
        const std::size_t sectionAt = source.find("\\sectd");
        EXPECT_NE(pictureAt, std::string::npos);
        EXPECT_NE(sectionAt, std::string::npos);
        picture_ = headers::groupAt(source, pictureAt);
        header_ = "{\\header \\pard\\plain Head " + picture_ + "\\par}";
        footer_ = "{\\footer \\pard\\plain Foot " + picture_ + "\\par}";
        std::string text = source;
        text.insert(sectionAt + 6, header_ + footer_);
        const fs::path to = root_ / "in" / "with-headers.rtf";
        std::ofstream(to, std::ios::binary) << text;
        return to;
    }
    std::vector<json> objectRecords(const std::string& story) const {
        std::vector<json> found;
        for (const auto& record : records_) {
            if (record["record"] == "object" && record["story"] == story) found.push_back(record);
        }
        return found;
    }

    std::string picture_;
    std::string header_;
    std::string footer_;
};

TEST_F(CliHeadersTest, HeaderAndFooterPicturesAreReplacedAndReadBack) {
    const fs::path document = documentWithHeaders();
    const model::Document original = readBack(document);
    ASSERT_EQ(original.stories.size(), 3u);
    ASSERT_EQ(original.inlinesOf(1).size(), 1u);
    const std::size_t bodyPictures = original.inlinesOf(0).size();
    const auto& before = original.inlines[static_cast<std::size_t>(original.inlinesOf(1)[0])];

    const auto copy = slim("headers", document, {"--min-size", "1", "--headers"});
    ASSERT_TRUE(copy);
    EXPECT_EQ(documentRecord()["options"]["headers"], true);
    const auto headerRecords = objectRecords("header");
    const auto footerRecords = objectRecords("footer");
    ASSERT_EQ(headerRecords.size(), 1u);
    ASSERT_EQ(footerRecords.size(), 1u);
    EXPECT_EQ(headerRecords[0]["decision"], "replaced");
    EXPECT_EQ(footerRecords[0]["decision"], "replaced");
    EXPECT_EQ(headerRecords[0]["placement"], "inline");
    EXPECT_EQ(objectRecords("body").size(), bodyPictures);

    const std::string written = readAll(*copy);
    EXPECT_EQ(written.find(header_), std::string::npos);
    EXPECT_EQ(written.find(footer_), std::string::npos);
    const model::Document back = readBack(*copy);
    ASSERT_EQ(back.stories.size(), 3u);
    EXPECT_EQ(back.stories[1].kind, model::StoryKind::Header);
    EXPECT_EQ(back.stories[2].kind, model::StoryKind::Footer);
    EXPECT_EQ(back.stories[1].plainText(), original.stories[1].plainText());
    EXPECT_EQ(back.stories[2].plainText(), original.stories[2].plainText());
    ASSERT_EQ(back.inlinesOf(1).size(), 1u);
    ASSERT_EQ(back.inlinesOf(2).size(), 1u);
    const auto& after = back.inlines[static_cast<std::size_t>(back.inlinesOf(1)[0])];
    EXPECT_NEAR(after.widthPt, before.widthPt, 0.1);
    EXPECT_NEAR(after.heightPt, before.heightPt, 0.1);
    EXPECT_LT(after.picture.size(), before.picture.size());
    EXPECT_TRUE(isBitmap(after.picture));
    EXPECT_EQ(back.inlinesOf(0).size(), bodyPictures);
}

TEST_F(CliHeadersTest, WithoutTheOptionHeadersKeepEveryByte) {
    const fs::path document = documentWithHeaders();
    const auto copy = slim("body-only", document, {"--min-size", "1"});
    ASSERT_TRUE(copy);
    EXPECT_EQ(documentRecord()["options"]["headers"], false);
    EXPECT_TRUE(objectRecords("header").empty());
    EXPECT_TRUE(objectRecords("footer").empty());
    EXPECT_FALSE(objectRecords("body").empty());
    const std::string written = readAll(*copy);
    EXPECT_NE(written.find(header_), std::string::npos);
    EXPECT_NE(written.find(footer_), std::string::npos);
}

// A .doc keeps its header pictures: its writer does not replace them.
TEST_F(CliHeadersTest, DocHeadersAreLeftAsTheyAre) {
    const fs::path document = root_ / "in" / "word2007-header-jpeg-frame.doc";
    fs::create_directories(document.parent_path());
    fs::copy_file(fs::path(KELVARAN_TEST_DATA) / "app" / "headers" / "word2007-header-jpeg-frame.doc", document);
    // Its two JPEGs stand in the header only (inline, in a frame).
    const auto copy = slim("doc", document, {"--min-size", "1", "--objects", "--headers"});
    EXPECT_FALSE(copy);
    EXPECT_TRUE(objectRecords("header").empty());
    EXPECT_TRUE(objectRecords("footer").empty());
    EXPECT_EQ(readAll(document), readAll(fs::path(KELVARAN_TEST_DATA) / "app" / "headers" / "word2007-header-jpeg-frame.doc"));
}

}  // namespace
}  // namespace kelvaran::app::testing
