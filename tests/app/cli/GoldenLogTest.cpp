// The log lines and the report of a run over a few real documents, compared
// with the expected output committed beside them.  Paths and times are the
// only parts that change from run to run; they are replaced by fixed
// markers before the comparison.  To write the expected files afresh (after
// a deliberate change of what a run does), run this program with
// KELVARAN_UPDATE_GOLDEN=1 and look at the difference before committing it.

#include "tests/support/ScopedTmpDir.h"
#include "app/cli/CliApp.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace kelvaran::app::testing {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A document of the test data and the conditions it is slimmed under.
struct GoldenCase {
    const char* name;      // the expected files are NAME.log and NAME.jsonl
    const char* document;  // under tests/data
    std::vector<std::string> options;
};

std::ostream& operator<<(std::ostream& out, const GoldenCase& c) { return out << c.name; }

class GoldenLogTest : public ::testing::TestWithParam<GoldenCase> {
protected:
    GoldenLogTest() {
        root_ = fs::temp_directory_path() / ("kelvaran-golden-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "tmp");
        fs::create_directories(root_ / "in");
        fs::create_directories(root_ / "out");
        tmpdir_.emplace(root_ / "tmp");
    }
    ~GoldenLogTest() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // The run's own texts with the work folder and the times made fixed.
    std::string normalised(std::string text) const {
        text = replaceAll(std::move(text), root_.string(), "<work>");
        static const std::regex seconds("\"seconds\":[-+0-9.eE]+");
        return std::regex_replace(text, seconds, "\"seconds\":0");
    }

    fs::path root_;
    std::optional<test::ScopedTmpDir> tmpdir_;
};

TEST_P(GoldenLogTest, TheLogAndTheReportAreAsExpected) {
    const GoldenCase& c = GetParam();
    const fs::path source = fs::path(KELVARAN_TEST_DATA) / c.document;
    const fs::path input = root_ / "in" / source.filename();
    fs::copy_file(source, input);
    const std::string before = readAll(input);

    std::vector<std::string> args{"kelvaran-cli", "--output-dir", (root_ / "out").string(), "--report",
                                  (root_ / "report.jsonl").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(input.string());
    std::vector<const char*> argv;
    for (const auto& arg : args) argv.push_back(arg.c_str());
    CliEnvironment environment;
    environment.configFolder = (root_ / "config").string();
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(runCli(static_cast<int>(argv.size()), argv.data(), environment, out, err), kExitCompleted) << err.str();
    EXPECT_EQ(readAll(input), before) << "the input was written";

    const std::string log = normalised(out.str());
    const std::string report = normalised(readAll(root_ / "report.jsonl"));
    const fs::path expected = fs::path(KELVARAN_GOLDEN_DIR) / c.name;
    if (const char* update = std::getenv("KELVARAN_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        writeAll(expected.string() + ".log", log);
        writeAll(expected.string() + ".jsonl", report);
        GTEST_SKIP() << "wrote " << expected.string() << ".log and .jsonl";
    }
    ASSERT_TRUE(fs::exists(expected.string() + ".log")) << "no expected log; run with KELVARAN_UPDATE_GOLDEN=1";
    EXPECT_EQ(log, readAll(expected.string() + ".log"));
    EXPECT_EQ(report, readAll(expected.string() + ".jsonl"));
}

INSTANTIATE_TEST_SUITE_P(RealDocuments, GoldenLogTest,
                         ::testing::Values(
                             // Word 2003 pictures over four pages: replaced, not smaller, below the minimum.
                             GoldenCase{"word2003-inline-jpeg-png-wmf-floating-group",
                                        "app/golden/word2003-inline-jpeg-png-wmf-floating-group.doc",
                                        {"--objects", "--min-size", "10"}},
                             // Linked and small pictures on five pages: nothing replaced.
                             GoldenCase{"word2002-linked-includepicture-dib-png",
                                        "app/golden/word2002-linked-includepicture-dib-png.doc",
                                        {"--min-size", "10"}},
                             // JPEG and PNG pictures of an RTF file that JPEG does not make smaller.
                             GoldenCase{
                                 "phprtflite-jpeg-png", "app/golden/phprtflite-jpeg-png.rtf", {"--min-size", "10"}},
                             // Four objects' pictures of a Word 97 document saved as RTF by
                             // LibreOffice, all replaced as JPEG at their displayed size.
                             GoldenCase{"lo-from-word97-four-ole-objects",
                                        "formats/rtf/lo-from-word97-four-ole-objects.rtf",
                                        {"--objects", "--min-size", "10", "--format", "jpeg", "--ratio", "1",
                                         "--expect-rate", "95", "--pixel-size", "10"}}),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                             std::string name;
                             for (const char ch : std::string(info.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

}  // namespace
}  // namespace kelvaran::app::testing
