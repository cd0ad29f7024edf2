// The command-line front end end to end over the office doubles: what it
// refuses before any document is opened, where its input comes from, what it
// writes, its report and its progress line.

#include "app/cli/CliApp.h"

#include "Version.h"
#include "app/cli/CliConsole.h"
#include "app/run/InputList.h"
#include "app/run/RunReport.h"
#include "engine/ObjectObserver.h"
#include "settings/RegAccess.h"
#include "settings/StoredSettings.h"
#include "tests/app/cli/SchemaCheck.h"
#include "tests/app/run/BatchFixture.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <sstream>

namespace kelvaran::app::testing {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// The line the engine writes for each replacement.
std::string objectLine(int page, const std::string& kind, const std::string& format, const std::string& placement,
                       int kbBefore, int kbAfter) {
    return "ページ " + std::to_string(page) + "\t" + kind + " (表示ｻｲｽﾞ=200x100) を" + format + placement +
           std::to_string(kbBefore) + "KB->" + std::to_string(kbAfter) + "KB)  \r\n";
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<json> recordsOf(const std::string& text) {
    std::vector<json> records;
    for (const auto& line : linesOf(text)) records.push_back(json::parse(line));
    return records;
}

class CliTest : public BatchFixture {
protected:
    CliTest() { slimmedBytes = 1000; }

    // Stands in for the engine inside the command line: `walk` gets the
    // document's index and the run the engine would be built from.
    struct CliWalker : engine::Walker {
        CliWalker(CliTest& test, RunAssembly& run) : test_(test), run_(run) {}
        std::string WalkDocument(const office::word::ShapePtr&, bool) override {
            const int index = test_.walks++;
            if (test_.walk) test_.walk(index, run_);
            return {};
        }
        CliTest& test_;
        RunAssembly& run_;
    };

    CliResult cli(const std::vector<std::string>& args, const std::string& input = {}) {
        std::vector<const char*> argv{"kelvaran-cli"};
        for (const auto& arg : args) argv.push_back(arg.c_str());
        CliEnvironment environment;
        environment.registerBackends = [this](office::OfficeFactory& factory) {
            provideWord(factory);
            provideExcel(factory);
        };
        environment.makeWalker = [this](RunAssembly& run) -> std::unique_ptr<engine::Walker> {
            return std::make_unique<CliWalker>(*this, run);
        };
        environment.configFolder = (root_ / "config").string();
        environment.interrupted = &interrupted;
        std::istringstream standardInput(input);
        environment.standardInput = &standardInput;
        environment.errorIsTerminal = terminal;
        std::ostringstream out;
        std::ostringstream err;
        CliResult result;
        result.status = runCli(static_cast<int>(argv.size()), argv.data(), environment, out, err);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    // Every document the office was asked to open, in order.
    std::vector<std::string> opened() const {
        std::vector<std::string> paths;
        for (const auto& e : events) {
            if (e.rfind("docs.Open ", 0) == 0) paths.push_back(e.substr(10, e.size() - 13));
        }
        return paths;
    }
    std::vector<std::string> docsFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root_ / "docs")) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    void convertEveryDocument() {
        walk = [](int, RunAssembly& run) {
            run.display().appendLog(objectLine(1, "Picture", "JPEG", "にｲﾝﾗｲﾝ変換 (", 60, 12));
            run.state().docConverted = true;
        };
    }
    static void expectValidReport(const std::vector<json>& records) {
        const auto schema = loadSchema(KELVARAN_REPORT_SCHEMA);
        for (const auto& record : records) {
            EXPECT_THAT(schemaProblems(schema, record), ElementsAre()) << record.dump();
        }
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back()["record"], "run");
    }
    static std::vector<json> ofKind(const std::vector<json>& records, const std::string& kind) {
        std::vector<json> found;
        for (const auto& record : records) {
            if (record["record"] == kind) found.push_back(record);
        }
        return found;
    }

    std::function<void(int, RunAssembly&)> walk;
    int walks = 0;
    std::atomic<bool> interrupted{false};
    bool terminal = false;
};

// ---- Bad input: exit status 2, one line, no office started ---------------

struct BadInputCase {
    std::string name;
    std::vector<std::string> args;  // "@doc" is a real document, "@docs" its folder, "@file" a plain file
    std::string expected;           // part of the one line
};

void PrintTo(const BadInputCase& c, std::ostream* os) {
    *os << c.name;
}

class CliBadInput : public CliTest, public ::testing::WithParamInterface<BadInputCase> {};

TEST_P(CliBadInput, RefusedBeforeAnyDocumentIsOpened) {
    const auto document = doc("a.doc", 2048);
    writeBytes(root_ / "plain.txt", 10);
    std::vector<std::string> args;
    for (const auto& arg : GetParam().args) {
        if (arg == "@doc") {
            args.push_back(document);
        } else if (arg == "@docs") {
            args.push_back(docsFolder());
        } else if (arg == "@file") {
            args.push_back((root_ / "plain.txt").string());
        } else if (arg == "@missing") {
            args.push_back((root_ / "missing" / "x").string());
        } else {
            args.push_back(arg);
        }
    }
    const auto result = cli(args);
    EXPECT_EQ(result.status, kExitUsage);
    EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_THAT(result.err, StartsWith("kelvaran-cli: "));
    EXPECT_THAT(result.err, HasSubstr(GetParam().expected));
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(wordsCreated, 0);
    EXPECT_TRUE(events.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliBadInput,
    ::testing::Values(
        BadInputCase{"UnknownOption", {"--frobnicate", "@doc"}, "--frobnicate"},
        BadInputCase{"NegativeMinimumSize", {"--min-size", "-1", "@doc"}, "--min-size"},
        BadInputCase{"MinimumSizeNotANumber", {"--min-size", "big", "@doc"}, "not a number"},
        BadInputCase{"NegativePixelSize", {"--pixel-size", "-3", "@doc"}, "--pixel-size"},
        BadInputCase{"RateZero", {"--expect-rate", "0", "@doc"}, "--expect-rate"},
        BadInputCase{"RateAboveHundred", {"--expect-rate", "100.5", "@doc"}, "--expect-rate"},
        BadInputCase{"RatioZero", {"--ratio", "0", "@doc"}, "--ratio"},
        BadInputCase{"UnknownFormat", {"--format", "webp", "@doc"}, "--format"},
        BadInputCase{"NoDocument", {}, "no document given"},
        BadInputCase{"QuietAndVerbose", {"-q", "-v", "@doc"}, "exclude each other"},
        BadInputCase{"NulWithoutList", {"-0", "@doc"}, "-0 needs --files-from"},
        BadInputCase{"ListMissing", {"--files-from", "@missing"}, "cannot read the list"},
        BadInputCase{"ListIsAFolder", {"--files-from", "@docs"}, "is a folder"},
        BadInputCase{"OutputFolderMissing", {"--output-dir", "@missing", "@doc"}, "no such folder"},
        BadInputCase{"OutputFolderIsAFile", {"--output-dir", "@file", "@doc"}, "not a folder"},
        BadInputCase{"ReportIntoMissingFolder", {"--report", "@missing", "@doc"}, "--report"},
        BadInputCase{"ReportIsAFolder", {"--report", "@docs", "@doc"}, "is a folder"},
        BadInputCase{"ReportOverAnInput", {"--report", "@doc", "@doc"}, "would overwrite the input"},
        BadInputCase{"HtmlReportIntoAFolderOfOtherFiles", {"--html-report", "@docs", "@doc"}, "holds no earlier report"},
        BadInputCase{"HtmlReportOverAFile", {"--html-report", "@file", "@doc"}, "not a folder"},
        BadInputCase{"HtmlReportInAMissingFolder", {"--html-report", "@missing", "@doc"}, "--html-report"},
        BadInputCase{"VerifyInADryRun", {"--verify", "--dry-run", "@doc"}, "a dry run writes none"},
        BadInputCase{"NoJobs", {"--jobs", "0", "@doc"}, "--jobs"},
        BadInputCase{"JobsNotANumber", {"--jobs", "two", "@doc"}, "--jobs"},
        BadInputCase{"TargetSizeZero", {"--target-size", "0", "@doc"}, "--target-size"},
        BadInputCase{"TargetSizeZeroKilobytes", {"--target-size", "0k", "@doc"}, "--target-size"},
        BadInputCase{"TargetSizeNotASize", {"--target-size", "small", "@doc"}, "not a size"},
        BadInputCase{"TargetSizeUnknownUnit", {"--target-size", "10x", "@doc"}, "not a size"},
        BadInputCase{"TargetSizeEmpty", {"--target-size", "", "@doc"}, "--target-size"}),
    [](const ::testing::TestParamInfo<BadInputCase>& info) { return info.param.name; });

TEST_F(CliTest, OutputFolderThatCannotBeWrittenIsRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write into any folder";
    fs::create_directories(root_ / "locked");
    ::chmod((root_ / "locked").c_str(), 0555);
    const auto result = cli({"--output-dir", (root_ / "locked").string(), doc("a.doc", 10)});
    ::chmod((root_ / "locked").c_str(), 0755);
    EXPECT_EQ(result.status, kExitUsage);
    EXPECT_THAT(result.err, HasSubstr("cannot write into"));
    EXPECT_EQ(wordsCreated, 0);
}

TEST_F(CliTest, HtmlReportFolderThatWouldSwallowCopiesOrInputsIsRefused) {
    const auto document = doc("a.doc", 10);
    fs::create_directories(root_ / "report");
    auto result = cli({"--output-dir", (root_ / "report").string(), "--html-report", (root_ / "report").string(),
                       document});
    EXPECT_EQ(result.status, kExitUsage);
    EXPECT_THAT(result.err, HasSubstr("into the report folder"));
    // An earlier report of ours that someone put a document into.
    fs::create_directories(root_ / "old");
    writeBytes(root_ / "old" / ".kelvaran-report", 3);
    writeBytes(root_ / "old" / "b.doc", 2048);
    result = cli({"--html-report", (root_ / "old").string(), (root_ / "old" / "b.doc").string()});
    EXPECT_EQ(result.status, kExitUsage);
    EXPECT_THAT(result.err, HasSubstr("lies in the report folder"));
    EXPECT_TRUE(fs::exists(root_ / "old" / "b.doc"));
    EXPECT_EQ(wordsCreated, 0);
    // Nothing is left beside the folders refused.
    for (const auto& entry : fs::directory_iterator(root_)) {
        EXPECT_THAT(entry.path().filename().string(), Not(StartsWith("."))) << entry.path();
    }
}

TEST_F(CliTest, VerifyWithoutLibreOfficeSaysWhatToInstall) {
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    fs::create_directories(root_ / "empty-bin");
    ::setenv("PATH", (root_ / "empty-bin").c_str(), 1);
    const auto result = cli({"--verify", doc("a.doc", 10)});
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(result.status, kExitUsage);
    EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_THAT(result.err, HasSubstr("apt install libreoffice-writer-nogui"));
    EXPECT_EQ(wordsCreated, 0);
}

TEST_F(CliTest, InputThatIsAnotherInputsSlimmedCopyIsRefused) {
    const auto input = doc("report.doc", 2048);
    const auto copy = doc("report-slimmed-2k.doc", 700);
    auto result = cli({input, copy});
    EXPECT_EQ(result.status, kExitUsage);
    EXPECT_THAT(result.err, HasSubstr(copy));
    EXPECT_EQ(linesOf(result.err).size(), 1u);
    EXPECT_EQ(wordsCreated, 0);

    // The same through the output folder: there the copy would land on an input.
    fs::create_directories(root_ / "out");
    writeBytes(root_ / "out" / "report-slimmed-2k.doc", 700);
    result = cli({"--output-dir", (root_ / "out").string(), input, (root_ / "out" / "report-slimmed-2k.doc").string()});
    EXPECT_EQ(result.status, kExitUsage);
    EXPECT_EQ(readAll(root_ / "out" / "report-slimmed-2k.doc"), std::string(700, 'x'));
    EXPECT_EQ(wordsCreated, 0);
}

TEST_F(CliTest, EntriesTheBatchRunRefusesKeepItsMessageAndExitOne) {
    const auto result = cli({doc("a.doc", 10), (root_ / "docs" / "gone.doc").string()});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_EQ(result.err, "入力ファイルが存在しません：" + (root_ / "docs" / "gone.doc").string() + "\n");
    EXPECT_TRUE(opened().empty());
}

// ---- Where the inputs come from ------------------------------------------

TEST_F(CliTest, ListFileOneNameALineWithBlankLinesAndCrLf) {
    const auto a = doc("a.doc", 10);
    const auto b = doc("b c.rtf", 10);  // a blank inside a name stays
    writeBytes(root_ / "list.txt", 0);
    {
        std::ofstream list(root_ / "list.txt", std::ios::binary);
        list << a << "\r\n\n" << b << "\n";
    }
    const auto first = doc("first.doc", 10);
    const auto result = cli({first, "--files-from", (root_ / "list.txt").string()});
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_THAT(opened(), ElementsAre(first, a, b));
}

TEST_F(CliTest, NulSeparatedListFromStandardInputKeepsLineBreaksInNames) {
    const auto odd = doc("two\nlines.doc", 10);
    const auto plain = doc("plain.rtf", 10);
    const auto result = cli({"--files-from", "-", "-0"}, odd + std::string(1, '\0') + plain + std::string(1, '\0'));
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_THAT(opened(), ElementsAre(odd, plain));
}

TEST_F(CliTest, ListFromStandardInputOneNameALine) {
    const auto a = doc("a.doc", 10);
    const auto b = doc("b.doc", 10);
    const auto result = cli({"--files-from", "-"}, b + "\n" + a);
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_THAT(opened(), ElementsAre(b, a));
}

TEST_F(CliTest, NamesOnTheCommandLineAreTakenExactly) {
    // Blanks around a name belong to it: a different file may have the trimmed name.
    doc("  spaced.doc", 10);
    doc("spaced.doc", 10);
    const auto cwd = fs::current_path();
    fs::current_path(root_ / "docs");
    const auto result = cli({"  spaced.doc"});
    fs::current_path(cwd);
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_THAT(opened(), ElementsAre("  spaced.doc"));
}

TEST_F(CliTest, StoredConditionsApplyAndUnreadableOnesTakeTheDefaults) {
    {
        settings::RegAccess registry((root_ / "config").string());
        settings::SettingsToStore stored;
        stored.fileSize = "lots";
        stored.expectRate = "80";
        stored.ratio = "2";
        stored.pixelSize = "300";
        stored.save(registry);
    }
    const auto result = cli({"--verbose", "--ratio", "1.25", doc("a.doc", 10)});
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_THAT(result.err, HasSubstr("min-size 50 KB, ratio 1.25, format recommended, expect-rate 80%, "
                                      "pixel-size 300"));
}

TEST_F(CliTest, EmptyListIsTheBatchRunsEmptyInput) {
    const auto result = cli({"--files-from", "-"}, "\n\n");
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_EQ(result.err, "ワードファイルを指定してください\n");
    EXPECT_EQ(wordsCreated, 0);
}

TEST_F(CliTest, DuplicatesAreSlimmedOnce) {
    const auto a = doc("a.doc", 2048);
    const auto b = doc("b.doc", 2048);
    const std::string spelledOtherwise = (root_ / "docs" / "." / "a.doc").string();
    convertEveryDocument();
    const auto result = cli({a, b, "--files-from", "-"}, spelledOtherwise + "\n" + b + "\n");
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_THAT(opened(), ElementsAre(a, b));
    EXPECT_EQ(countEvents("src.SaveAs"), 2);
}

TEST_F(CliTest, FoldersAreRefusedUnlessRecursive) {
    fs::create_directories(root_ / "docs" / "sub" / "deeper");
    const auto top = doc("top.RTF", 10);
    const auto inner = doc("sub/inner.doc", 10);
    const auto deep = doc("sub/deeper/deep.Doc", 10);
    doc("sub/notes.txt", 10);
    doc("sub/new.docx", 10);

    auto result = cli({docsFolder()});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_EQ(result.err, "フォルダ名は指定できません：" + docsFolder() + "\n");
    EXPECT_TRUE(opened().empty());

    result = cli({"--recursive", docsFolder()});
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_THAT(opened(), ElementsAre(deep, inner, top));
}

// ---- What is written ------------------------------------------------------

TEST_F(CliTest, OutputFolderReceivesTheCopiesAndTheInputFolderStaysAsItWas) {
    const auto a = doc("a.rtf", 5120);
    fs::create_directories(root_ / "out");
    convertEveryDocument();
    const auto result = cli({"--output-dir", (root_ / "out").string(), a});
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_EQ(fs::file_size(root_ / "out" / "a-slimmed-5k.rtf"), slimmedBytes);
    EXPECT_THAT(docsFiles(), ElementsAre("a.rtf"));
    EXPECT_THAT(result.out, HasSubstr("▲終了▲ 5KB->1KB"));
}

TEST_F(CliTest, DryRunWritesNothingAndReportsTheSizeARealRunWrites) {
    const auto a = doc("a.rtf", 5120);
    const auto b = doc("b.doc", 4096);
    convertEveryDocument();
    const auto report = (root_ / "dry.jsonl").string();
    const auto dry = cli({"--dry-run", "--report", report, a, b});
    EXPECT_EQ(dry.status, kExitCompleted) << dry.err;
    EXPECT_THAT(docsFiles(), ElementsAre("a.rtf", "b.doc"));
    EXPECT_TRUE(tmpFiles().empty());
    EXPECT_THAT(dry.err, HasSubstr("dry run"));
    const auto dryRecords = ofKind(recordsOf(readAll(report)), "document");

    const auto real = cli({"--report", (root_ / "real.jsonl").string(), a, b});
    EXPECT_EQ(real.status, kExitCompleted) << real.err;
    const auto realRecords = ofKind(recordsOf(readAll(root_ / "real.jsonl")), "document");
    ASSERT_EQ(dryRecords.size(), 2u);
    ASSERT_EQ(realRecords.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(dryRecords[i]["outcome"], "slimmed");
        EXPECT_TRUE(dryRecords[i]["output"].is_null());
        EXPECT_TRUE(dryRecords[i]["dry_run"].get<bool>());
        EXPECT_EQ(dryRecords[i]["bytes_after"], realRecords[i]["bytes_after"]);
        EXPECT_EQ(realRecords[i]["bytes_after"], fs::file_size(realRecords[i]["output"].get<std::string>()));
    }
}

// ---- The report -----------------------------------------------------------

TEST_F(CliTest, ReportHasARecordForEveryDocumentAndReplacedObject) {
    const auto slim = doc("slim.doc", 4096);
    const auto same = doc("same.rtf", 3072);
    const auto broken = doc("broken.doc", 2048);
    failOpen.insert(broken);
    walk = [](int index, RunAssembly& run) {
        if (index != 0) return;
        run.display().appendLog(objectLine(2, "Picture", "JPEG", "にｼｪｰﾌﾟ変換 (", 60, 12));
        run.display().appendLog(objectLine(1, "Excel", "ﾒﾀﾋﾟｸﾁｬ", "にﾃｷｽﾄ枠内変換 (", 30, 9));
        run.state().docConverted = true;
    };
    const auto report = (root_ / "report.jsonl").string();
    const auto result = cli({"--report", report, slim, same, broken});
    // The run completed, but a document could not be opened.
    EXPECT_EQ(result.status, kExitFailed) << result.err;
    // The log is the batch run's, unchanged.
    EXPECT_THAT(result.out, HasSubstr("▼開始▼ " + slim + "\n"));

    const auto records = recordsOf(readAll(report));
    expectValidReport(records);
    const auto objects = ofKind(records, "object");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["document"], slim);
    EXPECT_EQ(objects[0]["placement"], "floating");
    EXPECT_EQ(objects[0]["story"], "body");
    EXPECT_EQ(objects[0]["page"], 2);
    EXPECT_EQ(objects[0]["kb_before"], 60);
    EXPECT_EQ(objects[1]["kind"], "Excel");
    EXPECT_EQ(objects[1]["placement"], "text_frame");
    EXPECT_EQ(objects[1]["story"], "text_box");
    EXPECT_EQ(objects[1]["format"], "ﾒﾀﾋﾟｸﾁｬ");

    const auto documents = ofKind(records, "document");
    ASSERT_EQ(documents.size(), 3u);
    EXPECT_EQ(documents[0]["input"], slim);
    EXPECT_EQ(documents[0]["outcome"], "slimmed");
    EXPECT_EQ(documents[0]["output"], (root_ / "docs" / "slim-slimmed-4k.doc").string());
    EXPECT_EQ(documents[0]["bytes_before"], 4096);
    EXPECT_EQ(documents[0]["bytes_after"], slimmedBytes);
    EXPECT_EQ(documents[0]["objects_replaced"], 2);
    // The conditions in force: the defaults, none of the further savings.
    const auto& options = documents[0]["options"];
    EXPECT_EQ(options["ratio"], 1.5);
    EXPECT_EQ(options["format"], "recommended");
    EXPECT_EQ(options["objects"], false);
    EXPECT_EQ(options["no_enlarge"], false);
    EXPECT_EQ(options["headers"], false);
    EXPECT_EQ(options["drop_unused"], false);
    EXPECT_TRUE(options["target_size"].is_null());
    EXPECT_TRUE(documents[0]["budget_met"].is_null());
    EXPECT_EQ(documents[1]["outcome"], "unchanged");
    EXPECT_TRUE(documents[1]["bytes_after"].is_null());
    EXPECT_EQ(documents[2]["outcome"], "failed");
    EXPECT_THAT(documents[2]["reason"].get<std::string>(), HasSubstr("not a Word document"));

    const auto run = records.back();
    EXPECT_EQ(run["outcome"], "completed");
    EXPECT_EQ(run["documents"], 3);
    EXPECT_EQ(run["slimmed"], 1);
    EXPECT_EQ(run["bytes_saved"], 4096 - static_cast<int>(slimmedBytes));
    EXPECT_EQ(run["version"], kVersionDotted);
    // Nothing but the report beside it.
    for (const auto& entry : fs::directory_iterator(root_)) {
        EXPECT_THAT(entry.path().filename().string(), Not(StartsWith(".kelvaran-")));
    }
}

TEST_F(CliTest, EngineDecisionsBecomeObjectRecordsOfEveryKind) {
    const auto a = doc("a.doc", 4096);
    walk = [](int, RunAssembly& run) {
        ASSERT_NE(run.observer(), nullptr);
        for (const std::string decision : {"below_minimum", "not_smaller", "blackened", "excluded", "failed"}) {
            engine::ObjectDecision told{"Excel", "inline", 1, 20.5, 10, 0, 0, {}, decision};
            if (decision == "failed") told.reason = "converting the object took longer than 5 s";
            run.observer()->objectDecided(told);
        }
        run.observer()->objectDecided({"Picture", "floating", 3, 200, 100, 61440, 12288, "JPEG", "replaced"});
        // The engine's log line of the same replacement is not a second record.
        run.display().appendLog(objectLine(3, "Picture", "JPEG", "にｼｪｰﾌﾟ変換 (", 60, 12));
        run.state().docConverted = true;
    };
    const auto report = (root_ / "report.jsonl").string();
    const auto result = cli({"--report", report, a});
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    const auto records = recordsOf(readAll(report));
    expectValidReport(records);
    const auto objects = ofKind(records, "object");
    ASSERT_EQ(objects.size(), 6u);
    EXPECT_EQ(objects[0]["decision"], "below_minimum");
    EXPECT_EQ(objects[0]["displayed_width"], 20);
    EXPECT_TRUE(objects[0]["bytes_before"].is_null());
    EXPECT_TRUE(objects[0]["format"].is_null());
    EXPECT_EQ(objects[4]["decision"], "failed");
    EXPECT_EQ(objects[4]["reason"], "converting the object took longer than 5 s");
    EXPECT_TRUE(objects[0]["reason"].is_null());
    EXPECT_EQ(objects[5]["decision"], "replaced");
    EXPECT_EQ(objects[5]["bytes_before"], 61440);
    EXPECT_EQ(objects[5]["kb_after"], 12);
    EXPECT_EQ(objects[5]["document"], a);
    EXPECT_EQ(ofKind(records, "document")[0]["objects_replaced"], 1);
}

TEST_F(CliTest, ObjectsThatFailedAreToldOfWithTheirReason) {
    const auto a = doc("a.doc", 4096);
    walk = [](int, RunAssembly& run) {
        for (int k = 0; k < 2; ++k) {
            engine::ObjectDecision failed{"Picture", "inline", 1, 20, 10, 0, 0, {}, "failed"};
            failed.reason = "the temporary folder is full (TMPDIR): cannot write /tmp/x: No space left on device";
            run.observer()->objectDecided(failed);
        }
    };
    const auto report = (root_ / "report.jsonl").string();
    const auto result = cli({"--verbose", "--report", report, a});
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    const auto records = recordsOf(readAll(report));
    expectValidReport(records);
    const auto objects = ofKind(records, "object");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_THAT(objects[0]["reason"].get<std::string>(), StartsWith("the temporary folder is full"));
    const auto document = ofKind(records, "document").at(0);
    EXPECT_EQ(document["outcome"], "unchanged");
    EXPECT_EQ(document["objects_failed"], 2);
    EXPECT_THAT(document["reason"].get<std::string>(),
                HasSubstr("2 objects were left as they were after a failure; the first: the temporary folder is full"));
    EXPECT_THAT(result.err, HasSubstr(": unchanged (4 KB, "));
    EXPECT_THAT(result.err, HasSubstr("2 objects were left as they were after a failure"));
}

// ---- Exit status ----------------------------------------------------------

TEST_F(CliTest, ACompletedRunEndsWithOneWhenADocumentCouldNotBeOpenedOrItsCopyWritten) {
    const auto good = doc("good.doc", 2048);
    const auto bad = doc("bad.doc", 2048);
    convertEveryDocument();
    EXPECT_EQ(cli({good}).status, kExitCompleted);
    failOpen.insert(bad);
    EXPECT_EQ(cli({good, bad}).status, kExitFailed);
    failOpen.clear();
    failSave = true;
    const auto result = cli({good});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_THAT(result.err, HasSubstr("kelvaran-cli: no slimmed copy of " + good + ": disk full"));
    EXPECT_THAT(result.err, HasSubstr("変換完了"));
}

// ---- Two inputs, one copy name -------------------------------------------

TEST_F(CliTest, TwoInputsOfOneNameIntoOneOutputFolderWriteOneCopy) {
    fs::create_directories(root_ / "docs" / "one");
    fs::create_directories(root_ / "docs" / "two");
    fs::create_directories(root_ / "out");
    const auto first = doc("one/x.doc", 2048);
    const auto second = doc("two/x.doc", 2048);
    convertEveryDocument();
    const auto report = (root_ / "report.jsonl").string();
    const auto result = cli({"-o", (root_ / "out").string(), "--report", report, first, second});
    EXPECT_EQ(result.status, kExitFailed);
    const std::string copy = (root_ / "out" / "x-slimmed-2k.doc").string();
    EXPECT_THAT(result.err, HasSubstr("kelvaran-cli: no slimmed copy of " + second + ": no slimmed copy of " + second +
                                      ": " + copy + " is the name of the copy of " + first));
    EXPECT_THAT(opened(), ElementsAre(first, second));
    EXPECT_EQ(walks, 1);
    const auto documents = ofKind(recordsOf(readAll(report)), "document");
    ASSERT_EQ(documents.size(), 2u);
    EXPECT_EQ(documents[0]["outcome"], "slimmed");
    EXPECT_EQ(documents[0]["output"], copy);
    EXPECT_EQ(documents[1]["outcome"], "refused");
    EXPECT_TRUE(documents[1]["output"].is_null());
}

TEST_F(CliTest, RecursiveRunIntoOneOutputFolderWritesOneCopyPerName) {
    fs::create_directories(root_ / "docs" / "a");
    fs::create_directories(root_ / "docs" / "b" / "c");
    fs::create_directories(root_ / "out");
    const auto first = doc("a/report.rtf", 5000);
    const auto second = doc("b/c/report.rtf", 5100);  // 5 KB as well
    const auto other = doc("b/report.rtf", 9000);     // another size, another name
    convertEveryDocument();
    const auto result = cli({"--recursive", "-o", (root_ / "out").string(), docsFolder()});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_THAT(opened(), ElementsAre(first, second, other));
    EXPECT_EQ(walks, 2);
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(root_ / "out")) written.push_back(entry.path().filename());
    std::sort(written.begin(), written.end());
    EXPECT_THAT(written, ElementsAre("report-slimmed-5k.rtf", "report-slimmed-9k.rtf"));
}

TEST_F(CliTest, JobsKeepTheCopyNameForTheEarlierPart) {
    fs::create_directories(root_ / "docs" / "one");
    fs::create_directories(root_ / "docs" / "two");
    fs::create_directories(root_ / "out");
    const auto first = doc("one/x.doc", 2048);
    const auto second = doc("two/x.doc", 2048);
    convertEveryDocument();
    const auto report = (root_ / "report.jsonl").string();
    const auto result = cli({"--jobs", "2", "-o", (root_ / "out").string(), "--report", report, first, second});
    EXPECT_EQ(result.status, kExitFailed);
    const auto documents = ofKind(recordsOf(readAll(report)), "document");
    ASSERT_EQ(documents.size(), 2u);
    EXPECT_EQ(documents[0]["outcome"], "slimmed");
    EXPECT_EQ(documents[1]["outcome"], "refused");
}

TEST_F(CliTest, ReportOfAStoppedRunIsComplete) {
    const auto a = doc("a.doc", 2048);
    const auto b = doc("b.doc", 2048);
    const auto c = doc("c.doc", 2048);
    walk = [this](int index, RunAssembly& run) {
        run.state().docConverted = true;
        if (index == 1) {
            interrupted = true;
            // The log append lets the interrupt through, as the engine's pump does.
            run.display().appendLog(objectLine(1, "Picture", "PNG", "にｲﾝﾗｲﾝ変換 (", 60, 12));
            ASSERT_TRUE(run.state().stopRequested);
            run.state().docConverted = false;
        }
    };
    const auto report = (root_ / "report.jsonl").string();
    const auto result = cli({"--report", report, a, b, c});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_THAT(result.err, HasSubstr("変換中断"));

    const auto records = recordsOf(readAll(report));
    expectValidReport(records);
    const auto documents = ofKind(records, "document");
    ASSERT_EQ(documents.size(), 3u);
    EXPECT_EQ(documents[0]["outcome"], "slimmed");
    EXPECT_EQ(documents[1]["outcome"], "stopped");
    EXPECT_TRUE(documents[1]["output"].is_null());
    EXPECT_EQ(documents[2]["input"], c);
    EXPECT_EQ(documents[2]["outcome"], "stopped");
    EXPECT_THAT(documents[2]["reason"].get<std::string>(), HasSubstr("not reached"));
    EXPECT_EQ(records.back()["outcome"], "stopped");
    EXPECT_FALSE(fs::exists(root_ / "docs" / "b-slimmed-2k.doc"));
}

TEST_F(CliTest, HtmlReportOfAStoppedRunHasARowForEveryDocumentAndReplacesTheEarlierOne) {
    const auto a = doc("a.doc", 2048);
    const auto b = doc("b.doc", 2048);
    const auto c = doc("c.doc", 2048);
    const auto folder = root_ / "html";
    // An earlier report of ours is there.
    fs::create_directories(folder);
    writeBytes(folder / ".kelvaran-report", 3);
    writeBytes(folder / "stale.png", 3);
    walk = [this](int index, RunAssembly& run) {
        run.state().docConverted = true;
        if (index == 1) {
            interrupted = true;
            run.display().appendLog(objectLine(1, "Picture", "PNG", "にｲﾝﾗｲﾝ変換 (", 60, 12));
            run.state().docConverted = false;
        }
    };
    const auto result = cli({"--html-report", folder.string(), a, b, c});
    EXPECT_EQ(result.status, kExitFailed);
    const std::string page = readAll(folder / "index.html");
    EXPECT_FALSE(fs::exists(folder / "stale.png"));
    EXPECT_TRUE(fs::exists(folder / ".kelvaran-report"));
    for (const auto& name : {a, b, c}) EXPECT_THAT(page, HasSubstr(name));
    EXPECT_THAT(page, HasSubstr("a-slimmed-2k.doc"));
    EXPECT_THAT(page, HasSubstr("not reached: the run was stopped"));
    // Nothing of the work is left beside it.
    for (const auto& entry : fs::directory_iterator(root_)) {
        EXPECT_THAT(entry.path().filename().string(), Not(StartsWith("."))) << entry.path();
    }
}

TEST_F(CliTest, ReportOnStandardOutputHoldsOnlyRecordsAndTheLogMovesToStandardError) {
    const auto a = doc("a.doc", 2048);
    convertEveryDocument();
    const auto result = cli({"--report", "-", a});
    EXPECT_EQ(result.status, kExitCompleted) << result.err;
    const auto records = recordsOf(result.out);
    expectValidReport(records);
    EXPECT_EQ(ofKind(records, "document").size(), 1u);
    EXPECT_THAT(result.err, HasSubstr("▼開始▼ " + a + "\n"));
    EXPECT_THAT(result.err, HasSubstr("ページ 1\tPicture"));
}

TEST_F(CliTest, RefusedRunReportsTheRefusedEntry) {
    const auto a = doc("a.doc", 10);
    const auto text = doc("notes.txt", 10);
    const auto report = (root_ / "report.jsonl").string();
    const auto result = cli({"--report", report, a, text});
    EXPECT_EQ(result.status, kExitFailed);
    const auto records = recordsOf(readAll(report));
    expectValidReport(records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["input"], text);
    EXPECT_EQ(records[0]["outcome"], "refused");
    EXPECT_EQ(records[0]["reason"], "ワードファイルではありません：" + text);
    EXPECT_EQ(records[1]["outcome"], "refused");
}

// ---- Many documents at once ----------------------------------------------

TEST_F(CliTest, TwoJobsWriteWhatOneJobWritesInTheSameOrder) {
    std::vector<std::string> inputs;
    for (const char* name : {"a.doc", "b.rtf", "c.doc", "d.doc", "e.rtf"}) inputs.push_back(doc(name, 3072));
    failOpen.insert(inputs[3]);
    // What the walk does depends on the document only: each job counts its own walks.
    walk = [](int, RunAssembly& run) {
        const bool doc = run.state().srcExt == "doc";
        run.display().appendLog(objectLine(doc ? 1 : 2, "Picture", "PNG", "にｲﾝﾗｲﾝ変換 (", 60, 12));
        run.state().docConverted = doc;
    };
    auto runWith = [&](const std::string& jobs, const std::string& report) {
        std::vector<std::string> args{"--jobs", jobs, "--report", (root_ / report).string()};
        args.insert(args.end(), inputs.begin(), inputs.end());
        return cli(args);
    };
    auto withoutTimes = [](std::vector<json> records) {
        for (auto& record : records) record.erase("seconds");
        return records;
    };

    const auto one = runWith("1", "one.jsonl");
    const auto files = docsFiles();
    for (const auto& name : files) {
        if (name.find("-slimmed-") != std::string::npos) fs::remove(root_ / "docs" / name);
    }
    const auto two = runWith("2", "two.jsonl");

    // d.doc could not be opened, in either run.
    EXPECT_EQ(one.status, kExitFailed) << one.err;
    EXPECT_EQ(two.status, kExitFailed) << two.err;
    EXPECT_EQ(two.out, one.out);
    EXPECT_EQ(docsFiles(), files);
    const auto oneRecords = recordsOf(readAll(root_ / "one.jsonl"));
    const auto twoRecords = recordsOf(readAll(root_ / "two.jsonl"));
    expectValidReport(twoRecords);
    EXPECT_EQ(withoutTimes(twoRecords), withoutTimes(oneRecords));
    EXPECT_EQ(ofKind(twoRecords, "document").size(), 5u);
    EXPECT_THAT(docsFiles(), ::testing::Contains("c-slimmed-3k.doc"));
    // Each job checked its own office, and nothing was left behind.
    const auto lines = linesOf(two.err);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "動作環境チェック中...OK"), 2);
    EXPECT_TRUE(tmpFiles().empty());
}

TEST_F(CliTest, JobsOverARefusedListRefuseOnce) {
    const auto result = cli({"--jobs", "3", doc("a.doc", 10), doc("b.txt", 10), doc("c.doc", 10)});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_EQ(result.err, "ワードファイルではありません：" + (root_ / "docs" / "b.txt").string() + "\n");
}

// ---- Breaking off, version, channels --------------------------------------

TEST_F(CliTest, BreakOffIsExplainedOnStandardErrorAndExitsNonZero) {
    const auto a = doc("a.doc", 10);
    failScratchAdd = {1};
    const auto report = (root_ / "report.jsonl").string();
    const auto result = cli({"--report", report, a});
    EXPECT_EQ(result.status, kExitFailed);
    // The batch run's own lines are as they were: no log, "変換完了" on the status.
    EXPECT_TRUE(result.out.empty());
    EXPECT_THAT(linesOf(result.err), ElementsAre("動作環境チェック中...", "動作環境チェック中...OK", "変換完了",
                                                 "kelvaran-cli: the run broke off: no new document"));
    const auto records = recordsOf(readAll(report));
    expectValidReport(records);
    EXPECT_EQ(records.back()["outcome"], "broken_off");
    EXPECT_EQ(records.back()["reason"], "no new document");
    ASSERT_EQ(ofKind(records, "document").size(), 1u);
    EXPECT_EQ(ofKind(records, "document")[0]["outcome"], "failed");
    EXPECT_EQ(ofKind(records, "document")[0]["reason"],
              "the run broke off while this document was prepared: no new document");
}

TEST_F(CliTest, VersionAndHelp) {
    auto result = cli({"--version"});
    EXPECT_EQ(result.status, kExitCompleted);
    EXPECT_EQ(result.out, "1.7.1\n");
    result = cli({"--help"});
    EXPECT_EQ(result.status, kExitCompleted);
    EXPECT_THAT(result.out, StartsWith("Makes Word documents"));
    for (const char* option : {"--files-from", "--output-dir", "--recursive", "--dry-run", "--report", "--quiet",
                               "--verbose", "--min-size", "--expect-rate", "--version"}) {
        EXPECT_THAT(result.out, HasSubstr(option));
    }
    EXPECT_EQ(wordsCreated, 0);
}

TEST_F(CliTest, QuietShowsNoLogNoStatusButStillTheErrors) {
    const auto bad = doc("bad.doc", 10);
    failOpen.insert(bad);
    const auto result = cli({"--quiet", bad});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_TRUE(result.out.empty());
    EXPECT_THAT(linesOf(result.err), ElementsAre("文書を開けません：" + bad + " (not a Word document)"));
}

TEST_F(CliTest, VerboseAddsOneLinePerDocument) {
    const auto a = doc("a.doc", 2048);
    const auto b = doc("b.doc", 2048);
    walk = [](int index, RunAssembly& run) { run.state().docConverted = index == 0; };
    const auto result = cli({"--verbose", a, b});
    EXPECT_EQ(result.status, kExitCompleted);
    EXPECT_THAT(result.err, HasSubstr("kelvaran-cli: " + a + ": slimmed (2 KB -> 1 KB, "));
    EXPECT_THAT(result.err, HasSubstr("kelvaran-cli: " + b + ": unchanged (2 KB, "));
}

TEST_F(CliTest, ProgressLineOnlyOnATerminal) {
    const auto a = doc("a.doc", 4096);
    const auto b = doc("b.doc", 2048);
    convertEveryDocument();
    terminal = true;
    auto result = cli({a, b});
    EXPECT_EQ(result.status, kExitCompleted);
    EXPECT_THAT(result.err, HasSubstr("\r\x1b[K[1/2] 0 KB saved so far  a.doc"));
    // From the second document on the time left is estimated.
    EXPECT_THAT(result.err,
                ::testing::ContainsRegex("\r\x1b\\[K\\[2/2\\] 3 KB saved so far, about [0-9]+ s left  b\\.doc"));
    // Status lines never land on the progress line's row.
    EXPECT_THAT(result.err, HasSubstr("\r\x1b[K処理中\n"));
    EXPECT_THAT(result.err, HasSubstr("\r\x1b[K変換完了\n"));
    // The progress line is taken away at the end.
    EXPECT_THAT(result.err, ::testing::EndsWith("\r\x1b[K"));

    terminal = false;
    result = cli({a, b});
    EXPECT_EQ(result.err.find('\r'), std::string::npos);
    EXPECT_EQ(result.err.find("saved so far"), std::string::npos);

    terminal = true;
    result = cli({"--quiet", a, b});
    EXPECT_TRUE(result.err.empty());
}

TEST(ProgressTextTest, TimeLeftInSecondsThenMinutes) {
    EXPECT_EQ(ProgressText(1, 10, 0, -1, "/a/b.doc"), "[1/10] 0 KB saved so far  b.doc");
    EXPECT_EQ(ProgressText(3, 10, 2048, 4.2, "b.doc"), "[3/10] 2 KB saved so far, about 5 s left  b.doc");
    EXPECT_EQ(ProgressText(3, 10, -5, 300, "x/y z.rtf"), "[3/10] 0 KB saved so far, about 5 min left  y z.rtf");
    // Object j of M once the walk has told M; never past M, never below 1.
    EXPECT_EQ(ProgressText(2, 5, 0, -1, "a.doc", 3, 7), "[2/5] object 3/7, 0 KB saved so far  a.doc");
    EXPECT_EQ(ProgressText(2, 5, 0, -1, "a.doc", 9, 7), "[2/5] object 7/7, 0 KB saved so far  a.doc");
    EXPECT_EQ(ProgressText(2, 5, 0, -1, "a.doc", 0, 7), "[2/5] object 1/7, 0 KB saved so far  a.doc");
    EXPECT_EQ(ProgressText(2, 5, 0, -1, "a.doc", 3, 0), "[2/5] 0 KB saved so far  a.doc");
}

TEST(SchemaCheckTest, NoticesWhatARecordDoesWrong) {
    const auto schema = loadSchema(KELVARAN_REPORT_SCHEMA);
    const json good = {{"record", "document"},   {"input", "a.doc"},       {"output", nullptr},  {"bytes_before", 10},
                       {"bytes_after", nullptr}, {"outcome", "unchanged"}, {"reason", nullptr},  {"seconds", 0.5},
                       {"dry_run", false},       {"objects_replaced", 0},  {"objects_failed", 0},
                       {"options", OptionsRecord({}, false)}, {"budget_met", nullptr}};
    EXPECT_THAT(schemaProblems(schema, good), ElementsAre());
    auto budgeted = good;
    budgeted["options"] = OptionsRecord({}, true, 300 * 1024);
    budgeted["budget_met"] = false;
    EXPECT_THAT(schemaProblems(schema, budgeted), ElementsAre());
    auto bad = good;
    bad.erase("outcome");
    EXPECT_THAT(schemaProblems(schema, bad), Not(ElementsAre()));
    bad = good;
    bad["outcome"] = "great";
    EXPECT_THAT(schemaProblems(schema, bad), Not(ElementsAre()));
    bad = good;
    bad["bytes_before"] = -1;
    EXPECT_THAT(schemaProblems(schema, bad), Not(ElementsAre()));
    bad = good;
    bad["bytes_after"] = "10";
    EXPECT_THAT(schemaProblems(schema, bad), Not(ElementsAre()));
    bad = good;
    bad["extra"] = 1;
    EXPECT_THAT(schemaProblems(schema, bad), Not(ElementsAre()));
    bad = good;
    bad["options"]["jpeg_quality"] = 0;
    EXPECT_THAT(schemaProblems(schema, bad), Not(ElementsAre()));
    bad = good;
    bad["options"].erase("no_enlarge");
    EXPECT_THAT(schemaProblems(schema, bad), Not(ElementsAre()));
    bad = good;
    bad["record"] = "object";
    EXPECT_THAT(schemaProblems(schema, bad), Not(ElementsAre()));
}

}  // namespace
}  // namespace kelvaran::app::testing
