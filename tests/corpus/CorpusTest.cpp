// Every real document of the shared corpus, slimmed under three sets of
// conditions and read back by LibreOffice: either no copy is written (nothing
// worth replacing, or a refusal LibreOffice shares), or the copy shows the
// same pages, text and picture frames as its input.  The objects the report
// lists must be the ones LibreOffice shows in the body.  One test per
// document, so that LibreOffice renders each input once.

#include "app/verify/PageCheck.h"
#include "platform/AtomicFile.h"
#include "platform/Process.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::corpus {
namespace {

namespace fs = std::filesystem;
using verify::CheckResult;
using verify::Frame;
using verify::Rendering;

fs::path corpusFolder() {
    if (const char* env = std::getenv("KELVARAN_CORPUS")) return env;
    return fs::path(KELVARAN_SOURCE_DIR) / "../shared/corpus";
}

std::vector<fs::path> corpusDocuments() {
    std::vector<fs::path> files;
    for (const char* kind : {"doc", "rtf"}) {
        const fs::path folder = corpusFolder() / kind;
        std::error_code error;
        if (!fs::is_directory(folder, error)) continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct ConditionSet {
    const char* name;
    std::vector<std::string> options;
};

const std::vector<ConditionSet>& conditionSets() {
    static const std::vector<ConditionSet> sets = {
        {"defaults", {}},
        {"objects", {"--objects"}},
        {"aggressive", {"--objects", "--min-size", "10", "--pixel-size", "10"}},
    };
    return sets;
}

// Where LibreOffice draws the input wrongly and the copy right, the copy's
// pages cannot match the input's.  Each exception names the document, the
// worst tile it may show, and why; one that names a condition set and a page
// allows only that tile of that page under that set.
struct KnownDifference {
    const char* document;  // folder/name in the corpus
    double maxTile;
    const char* why;
    const char* set = nullptr;  // every set when none
    int page = 0;               // 1-based; every tile of every page when 0
    double xMm = 0, yMm = 0;    // the tile's top left corner, as the check reports it
};

const std::vector<KnownDifference>& knownDifferences() {
    static const std::vector<KnownDifference> known = {
        {"doc/wps-written-ole-packages-emf.doc", 64,
         "LibreOffice draws the input's DOC and DOCX package icons on black squares (their presentations "
         "alpha-blend bitmaps described by bit masks); the converted pictures show the icons as they look"},
        {"rtf/word97-ole-equation-excel-chart-wmf-cropped.rtf", 64,
         "LibreOffice puts the input's Word.Picture.8 object of page 22 (Figure 15) into its PDF as a 72 dpi JPEG "
         "of the object's WMF presentation, so the chart's thin lines and small text come out pale and soft; the "
         "picture the object becomes is drawn as vectors, as the same WMF is drawn as a picture"},
        {"doc/word2003-japanese-floating-rotated-cropped-png-excel.doc", 53,
         "LibreOffice puts the input's stretched Excel object of page 7 into its PDF as a 194 x 39 pixel JPEG of the "
         "object's EMF presentation, so the sheet's grid and text come out pale and soft; the picture the object "
         "becomes holds the same EMF byte for byte and is drawn as vectors, with darker text",
         "aggressive", 7, 125, 92},
    };
    return known;
}

// Objects LibreOffice does not show at all (no frame, no picture, no text),
// so that the report lists more than LibreOffice sees.  Each names the
// document, the objects' class, and why.
struct UnshownObjects {
    const char* document;  // folder/name in the corpus
    const char* progId;
    const char* why;
};

const std::vector<UnshownObjects>& unshownObjects() {
    static const std::vector<UnshownObjects> unshown = {
        {"rtf/word97-ole-equation-excel-chart-wmf-cropped.rtf", "Equation.3",
         "LibreOffice 7.4 drops the 20 Equation 3.0 objects of this file while reading it; with their class "
         "renamed it shows all 20 by their result pictures, as Word does"},
    };
    return unshown;
}

std::string corpusName(const fs::path& document) {
    return document.parent_path().filename().string() + "/" + document.filename().string();
}

verify::CheckLimits limitsFor(const fs::path& document, const std::string& set) {
    verify::CheckLimits limits;
    const std::string name = corpusName(document);
    for (const auto& k : knownDifferences()) {
        if (name != k.document || (k.set && set != k.set)) continue;
        if (k.page > 0) {
            limits.allowances.push_back({k.page, k.xMm, k.yMm, k.maxTile});
        } else {
            limits.maxTileDifference = k.maxTile;
        }
    }
    return limits;
}

// A copy that LibreOffice reads otherwise than its input for a reason outside
// the copy: the document, the set, the exact difference the check finds, and
// why.  Any other difference still fails.
struct KnownFailure {
    const char* document;  // folder/name in the corpus
    const char* set;
    const char* difference;
    const char* why;
};

const std::vector<KnownFailure>& knownFailures() {
    static const std::vector<KnownFailure> known;  // none at present
    return known;
}

const KnownFailure* knownFailure(const fs::path& document, const std::string& set, const std::string& difference) {
    for (const auto& k : knownFailures()) {
        if (corpusName(document) == k.document && set == k.set && difference == k.difference) return &k;
    }
    return nullptr;
}

struct Slimming {
    int exitStatus = -1;
    std::string log;
    std::optional<fs::path> copy;
    nlohmann::json document;               // the report's document record
    std::vector<nlohmann::json> objects;   // its object records
};

class CorpusTest : public ::testing::TestWithParam<fs::path> {
protected:
    void SetUp() override {
        work = fs::temp_directory_path() / fmt::format("kelvaran-corpus-{}-{}", ::getpid(), name());
        fs::remove_all(work);
        fs::create_directories(work);
    }
    void TearDown() override {
        if (!HasFailure() || !std::getenv("KELVARAN_KEEP_CORPUS_WORK")) fs::remove_all(work);
    }

    std::string name() const { return GetParam().parent_path().filename().string() + "-" + GetParam().filename().string(); }

    Slimming slim(const ConditionSet& set) {
        const fs::path out = work / set.name;
        fs::create_directories(out / "copy");
        std::vector<std::string> argv = {KELVARAN_CLI, "--verbose", "--output-dir", (out / "copy").string(),
                                         "--report", (out / "report.jsonl").string()};
        argv.insert(argv.end(), set.options.begin(), set.options.end());
        argv.push_back(GetParam().string());
        const auto run = platform::runProcess(argv, std::chrono::minutes(10), (out / "log.txt").string());
        Slimming s;
        s.exitStatus = run.exitStatus;
        s.log = platform::readWholeFile((out / "log.txt").string());
        for (const auto& entry : fs::directory_iterator(out / "copy")) s.copy = entry.path();
        std::ifstream report(out / "report.jsonl");
        for (std::string line; std::getline(report, line);) {
            auto record = nlohmann::json::parse(line, nullptr, false);
            if (record.is_discarded()) continue;
            if (record.value("record", "") == "document") s.document = record;
            if (record.value("record", "") == "object") s.objects.push_back(record);
        }
        return s;
    }

    const Rendering& input() {
        if (!inputRendering) inputRendering = renderer().render(GetParam(), GetParam().filename().string());
        return *inputRendering;
    }

    verify::LibreOfficeRenderer& renderer() {
        if (!lo) lo.emplace(work / "lo");
        return *lo;
    }

    fs::path work;
    std::optional<verify::LibreOfficeRenderer> lo;
    std::optional<Rendering> inputRendering;
};

std::string describe(const Slimming& s) {
    const auto& d = s.document;
    std::string reason = d.contains("reason") && d["reason"].is_string() ? d["reason"].get<std::string>() : "";
    return fmt::format("{}{}{}", d.value("outcome", "(no report)"), reason.empty() ? "" : ": ", reason);
}

// The objects the report lists against the pictures and objects LibreOffice
// shows in the body, text boxes and frames (header and footer pictures
// aside); given the slimming under the set that takes groups apart, so that
// every member is visited.
void expectReportListsWhatLibreOfficeShows(const Slimming& s, const Rendering& input, const fs::path& document) {
    int shown = 0;
    for (const Frame& f : input.content.frames) {
        if (f.where == "body" && (f.kind == Frame::Kind::Picture || f.kind == Frame::Kind::Object)) ++shown;
    }
    int listed = 0;
    for (const auto& o : s.objects) {
        const std::string story = o.value("story", "");
        if (story == "header" || story == "footer") continue;
        const std::string progId = o.contains("prog_id") && o["prog_id"].is_string() ? o["prog_id"].get<std::string>() : "";
        const bool unshown = std::any_of(unshownObjects().begin(), unshownObjects().end(), [&](const UnshownObjects& u) {
            return corpusName(document) == u.document && progId == u.progId;
        });
        if (!unshown) ++listed;
    }
    EXPECT_EQ(listed, shown) << "objects in the report against pictures and objects LibreOffice shows ("
                             << describe(s) << ")";
}

TEST_P(CorpusTest, ComesOutWhole) {
    ASSERT_TRUE(verify::LibreOfficeRenderer::available()) << "LibreOffice is needed: run scripts/setup.sh";
    std::map<std::string, Rendering> rendered;  // copies byte for byte alike are rendered once
    for (const auto& set : conditionSets()) {
        SCOPED_TRACE(set.name);
        const Slimming s = slim(set);
        ASSERT_FALSE(s.document.is_null()) << "no report record:\n" << s.log;
        const std::string outcome = s.document.value("outcome", "");
        if (&set == &conditionSets().back() && input().opened) {
            expectReportListsWhatLibreOfficeShows(s, input(), GetParam());
        }
        if (!s.copy) {
            std::cout << fmt::format("[{}] {}: no copy ({})\n", set.name, name(), describe(s));
            EXPECT_TRUE(outcome == "unchanged" || outcome == "refused" || outcome == "failed") << describe(s);
            if (outcome != "unchanged") {
                // Refused or failed: only when LibreOffice cannot read it either.
                EXPECT_FALSE(input().opened) << "refused although LibreOffice reads it: " << describe(s);
            }
            continue;
        }
        EXPECT_EQ(outcome, "slimmed") << describe(s);
        EXPECT_LT(fs::file_size(*s.copy), fs::file_size(GetParam()));
        const std::string bytes = platform::readWholeFile(s.copy->string());
        auto copy = rendered.find(bytes);
        if (copy == rendered.end()) {
            ASSERT_TRUE(input().opened) << "LibreOffice cannot read the input although it was slimmed: "
                                        << input().failure;
            copy = rendered.emplace(bytes, renderer().render(*s.copy, GetParam().filename().string())).first;
        }
        const CheckResult r = verify::compareRenderings(input(), copy->second, limitsFor(GetParam(), set.name));
        const KnownFailure* excused = r.passed ? nullptr : knownFailure(GetParam(), set.name, r.why);
        std::cout << fmt::format("[{}] {}: {} -> {} bytes, {}{}\n", set.name, name(), fs::file_size(GetParam()),
                                 bytes.size(),
                                 r.passed ? fmt::format("same (worst tile {:.0f}/255)", r.worstTile) : r.why,
                                 excused ? " (known: LibreOffice's reading)" : "");
        EXPECT_TRUE(r.passed || excused) << r.why;
    }
}

std::string testName(const ::testing::TestParamInfo<fs::path>& info) {
    std::string n = info.param.parent_path().filename().string() + "_" + info.param.filename().string();
    for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTest, ::testing::ValuesIn(corpusDocuments()), testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusTest);

}  // namespace
}  // namespace kelvaran::corpus
