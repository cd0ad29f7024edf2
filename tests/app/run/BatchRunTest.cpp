#include "app/run/BatchRun.h"

#include "app/run/InputList.h"
#include "app/run/RunReport.h"
#include "tests/app/run/BatchFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <chrono>

namespace kelvaran::app::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class BatchRunTest : public BatchFixture {};

TEST_F(BatchRunTest, NothingReplacedLeavesNoOutputAndLogsZero) {
    const auto a = doc("a.doc", 1536);
    const auto b = doc("B.RTF", 3584);
    start({a, b});

    EXPECT_EQ(display_.log, "▼開始▼ " + a + "\r\n▲終了▲ 2KB->0KB\r\n\r\n▼開始▼ " + b + "\r\n▲終了▲ 4KB->0KB\r\n\r\n");
    EXPECT_THAT(display_.statuses, ElementsAre(texts::kChecking, texts::kCheckOk, texts::kProcessing,
                                               texts::kProcessing, texts::kCompleted));
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Completed);
    EXPECT_EQ(run_.inputCount(), 2);
    EXPECT_EQ(countEvents("src.SaveAs"), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(docsFolder()), fs::directory_iterator()), 2);
    EXPECT_TRUE(tmpFiles().empty());
    EXPECT_TRUE(host_.startEnabled);
    EXPECT_FALSE(host_.stopEnabled);
    EXPECT_EQ(host_.beeps, 2);
    // One Word for the check, one reused for both documents.
    EXPECT_EQ(wordsCreated, 2);
    EXPECT_EQ(excelsCreated, 2);
    EXPECT_FALSE(state_.appWORD);
    EXPECT_FALSE(state_.appEXCEL);
    EXPECT_FALSE(state_.srcDoc);
    EXPECT_FALSE(state_.scratchDoc);
    EXPECT_FALSE(state_.scratchBook);
}

TEST_F(BatchRunTest, OneDocumentFollowsTheOfficeCallOrder) {
    const auto a = doc("a.DOC", 2048);
    start({a});

    const auto run = eventsFrom("books.add");
    ASSERT_GE(run.size(), 10u);
    // The temporary names are fresh; take them from the calls.
    const auto saveAt = std::find_if(run.begin(), run.end(),
                                     [](const std::string& e) { return e.rfind("scratch.SaveAs ", 0) == 0; });
    ASSERT_NE(saveAt, run.end());
    const std::string pathB = saveAt->substr(std::string("scratch.SaveAs ").size());
    EXPECT_EQ(fs::path(pathB).parent_path(), root_ / "tmp");
    EXPECT_THAT(pathB, ::testing::EndsWith(".doc"));
    EXPECT_EQ(state_.scratchPathB, pathB);
    EXPECT_NE(state_.scratchPathA, pathB);
    EXPECT_EQ(fs::path(state_.scratchPathA).parent_path(), root_ / "tmp");
    EXPECT_EQ(state_.srcExt, "doc");
    EXPECT_EQ(state_.emptyDocSize, static_cast<double>(emptyDocBytes));

    EXPECT_THAT(run, ElementsAre("books.add", "book.Worksheets 1", "excel.WindowState -4140", "excel.Visible 1",
                                 "word.create", "docs.add", "scratch.Saved 1", "scratch.SaveAs " + pathB,
                                 "word.WindowState 2", "word.Visible 1", "docs.Open " + a + " ro", "src.Saved 1",
                                 "clipboard.Clear", "scratch.Saved 1", "scratch.Close", "delete " + pathB,
                                 "delete " + state_.scratchPathA, "src.Saved 1", "src.Close", "clipboard.Clear",
                                 "excel.Quit", "word.Quit"));
    // The check before it: Word started and quit, then Excel.
    EXPECT_THAT(std::vector<std::string>(events.begin(), events.begin() + 5),
                ElementsAre("word.create", "word.Quit", "excel.create", "excel.Quit", "excel.create"));
    EXPECT_EQ(display_.clears, 1);
}

TEST_F(BatchRunTest, ReplacedObjectSavesSlimmedCopyNamedAfterInputSize) {
    const auto input = doc("report.DOC", 153600);
    const std::string before = readAll(input);
    walker_.body = [this](int) { state_.docConverted = true; };
    start({input});

    const auto output = root_ / "docs" / "report-slimmed-150k.doc";
    ASSERT_TRUE(fs::exists(output));
    EXPECT_EQ(fs::file_size(output), slimmedBytes);
    EXPECT_THAT(display_.log, HasSubstr("▲終了▲ 150KB->50KB\r\n\r\n"));
    EXPECT_EQ(readAll(input), before);
    EXPECT_EQ(countEvents("docs.Open " + input + " ro"), 1);
}

TEST_F(BatchRunTest, EarlierCopyOfTheSameNameIsReplacedByTheSaveItself) {
    const auto input = doc("r.rtf", 2048);
    writeBytes(root_ / "docs" / "r-slimmed-2k.rtf", 10, 'o');
    walker_.body = [this](int) { state_.docConverted = true; };
    start({input});
    EXPECT_EQ(fs::file_size(root_ / "docs" / "r-slimmed-2k.rtf"), slimmedBytes);
    // Not deleted first: the rename that ends the save replaces it whole.
    EXPECT_EQ(countEvents("delete " + (root_ / "docs" / "r-slimmed-2k.rtf").string()), 0);
}

TEST_F(BatchRunTest, EarlierCopyStaysWhenTheNewOneCannotBeWrittenAndEndLineShowsZero) {
    const auto input = doc("r.rtf", 2048);
    const auto old = (root_ / "docs" / "r-slimmed-2k.rtf").string();
    writeBytes(old, 10, 'o');
    failSave = true;
    std::vector<std::string> reasons;
    run_.onSaveFailed = [&](const std::string&, const std::string& reason) { reasons.push_back(reason); };
    walker_.body = [this](int) { state_.docConverted = true; };
    start({input});
    EXPECT_EQ(readAll(old), std::string(10, 'o'));
    EXPECT_THAT(display_.log, HasSubstr("▲終了▲ 2KB->0KB"));
    EXPECT_EQ(countEvents("src.SaveAs"), 1);
    EXPECT_EQ(reasons, std::vector<std::string>{"disk full"});
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Completed);
}

TEST_F(BatchRunTest, FailedSaveGivesZeroAndTheRunGoesOn) {
    const auto a = doc("a.doc", 2048);
    const auto b = doc("b.doc", 2048);
    failSave = true;
    walker_.body = [this](int) { state_.docConverted = true; };
    start({a, b});
    EXPECT_EQ(display_.log, "▼開始▼ " + a + "\r\n▲終了▲ 2KB->0KB\r\n\r\n▼開始▼ " + b + "\r\n▲終了▲ 2KB->0KB\r\n\r\n");
    EXPECT_EQ(display_.statuses.back(), texts::kCompleted);
}

TEST_F(BatchRunTest, StopDuringWalkDiscardsThatDocumentAndEndsTheRun) {
    const auto a = doc("a.doc", 2048);
    const auto b = doc("b.doc", 4096);
    const auto c = doc("c.doc", 4096);
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    walker_.body = [this](int index) {
        state_.docConverted = true;
        if (index == 1) {
            run_.StopRun();
            EXPECT_FALSE(host_.stopEnabled);
            // What the walk does when it sees the request.
            state_.docConverted = false;
        }
    };
    start({a, b, c});

    EXPECT_TRUE(fs::exists(root_ / "docs" / "a-slimmed-2k.doc"));
    EXPECT_FALSE(fs::exists(root_ / "docs" / "b-slimmed-4k.doc"));
    EXPECT_THAT(display_.log, HasSubstr("▼開始▼ " + b + "\r\n▲終了▲ 4KB->0KB\r\n\r\n"));
    EXPECT_THAT(display_.log, ::testing::Not(HasSubstr(c)));
    EXPECT_EQ(countEvents("docs.Open " + c), 0);
    EXPECT_NE(std::find(display_.statuses.begin(), display_.statuses.end(), texts::kStopping),
              display_.statuses.end());
    EXPECT_EQ(display_.statuses.back(), texts::kInterrupted);
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Interrupted);
    // The stopped document was still cleaned up, and everything quit.
    EXPECT_EQ(countEvents("src.Close"), 2);
    EXPECT_EQ(countEvents("word.Quit"), 2);
    EXPECT_TRUE(tmpFiles().empty());
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[0].stopped);
    EXPECT_TRUE(results[1].stopped);
    EXPECT_FALSE(results[1].converted);
}

TEST_F(BatchRunTest, StopWhileTheCopyIsWrittenKeepsItAndSaysSo) {
    const auto a = doc("a.doc", 2048);
    const auto b = doc("b.doc", 2048);
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    walker_.body = [this](int) { state_.docConverted = true; };
    duringSave = [this] { run_.StopRun(); };
    start({a, b});

    // The complete copy exists and the document's record says so; the run
    // stops after it.
    EXPECT_TRUE(fs::exists(root_ / "docs" / "a-slimmed-2k.doc"));
    EXPECT_THAT(display_.log, HasSubstr("▲終了▲ 2KB->50KB"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].stopped);
    EXPECT_EQ(results[0].outputPath, (root_ / "docs" / "a-slimmed-2k.doc").string());
    EXPECT_EQ(ClassifyDocument(results[0], false).outcome, "slimmed");
    EXPECT_EQ(countEvents("docs.Open " + b), 0);
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Interrupted);
}

TEST_F(BatchRunTest, StopBeforeTheWalkLeavesTheDocumentUnwalked) {
    const auto a = doc("a.doc", 2048);
    display_.onAppend = [this] {
        if (display_.log.find("▼開始▼") != std::string::npos && !state_.stopRequested) run_.StopRun();
    };
    walker_.body = [this](int) { state_.docConverted = true; };
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    start({a});
    EXPECT_EQ(walker_.calls, 0);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].stopped);
    EXPECT_EQ(ClassifyDocument(results[0], false).outcome, "stopped");
}

// ---- Two inputs, one copy name -------------------------------------------

TEST_F(BatchRunTest, SecondInputWhoseCopyWouldHaveTheSameNameIsRefused) {
    fs::create_directories(root_ / "docs" / "one");
    fs::create_directories(root_ / "docs" / "two");
    fs::create_directories(root_ / "out");
    const auto first = doc("one/x.doc", 2048);
    const auto second = doc("two/x.doc", 2100);  // 2 KB as well
    const auto other = doc("two/y.doc", 2048);
    run_.setOutputFolder((root_ / "out").string());
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    std::vector<std::string> refusals;
    run_.onSaveFailed = [&](const std::string& path, const std::string&) { refusals.push_back(path); };
    walker_.body = [this](int) { state_.docConverted = true; };
    start({first, second, other});

    EXPECT_EQ(walker_.calls, 2);
    EXPECT_EQ(countEvents("src.SaveAs"), 2);
    EXPECT_EQ(refusals, std::vector<std::string>{second});
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[1].outputRefused);
    EXPECT_THAT(results[1].reason, HasSubstr((root_ / "out" / "x-slimmed-2k.doc").string()));
    EXPECT_THAT(results[1].reason, HasSubstr(first));
    EXPECT_EQ(ClassifyDocument(results[1], false).outcome, "refused");
    // Its lines are as for any document not written.
    EXPECT_THAT(display_.log, HasSubstr("▼開始▼ " + second + "\r\n▲終了▲ 2KB->0KB\r\n\r\n"));
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Completed);
}

TEST_F(BatchRunTest, NamesThatDifferOnlyInTheExtensionsCaseShareACopyName) {
    const auto lower = doc("r.doc", 2048);
    const auto upper = doc("r.DOC", 2048);
    walker_.body = [this](int) { state_.docConverted = true; };
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    start({lower, upper});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].outputPath, (root_ / "docs" / "r-slimmed-2k.doc").string());
    EXPECT_TRUE(results[1].outputRefused);
}

TEST_F(BatchRunTest, CopyNameOfAnEarlierPartOfTheRunIsKeptForIt) {
    fs::create_directories(root_ / "docs" / "one");
    fs::create_directories(root_ / "out");
    const auto earlier = doc("one/x.doc", 2048);
    const auto mine = doc("x.doc", 2048);
    run_.setOutputFolder((root_ / "out").string());
    run_.setEarlierEntries({earlier});
    walker_.body = [this](int) { state_.docConverted = true; };
    start({mine});
    EXPECT_EQ(walker_.calls, 0);
    EXPECT_FALSE(fs::exists(root_ / "out" / "x-slimmed-2k.doc"));
}

// ---- Leftovers of a killed run --------------------------------------------

TEST_F(BatchRunTest, LeftoversOlderThanADayAreRemovedAtTheStart) {
    fs::create_directories(root_ / "out");
    const auto a = doc("a.doc", 2048);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(25);
    const std::vector<fs::path> stale = {root_ / "tmp" / "rad0F9E8.tmp.doc", root_ / "tmp" / ".kelvaran-aB3dE5",
                                         root_ / "tmp" / "kelvaran-job-Q1w2E3", root_ / "docs" / ".kelvaran-x9Y8z7"};
    // Old as well, but of another name, not a scratch file's place, or in a
    // folder this run does not write into (without an output folder the
    // copies go beside the inputs).
    const std::vector<fs::path> passedBy = {root_ / "tmp" / "rad0F9E8.tmp.txt", root_ / "docs" / "rad0F9E8.tmp.doc",
                                            root_ / "out" / ".kelvaran-q1w2e3"};
    // A partial copy of a run that may still be going on.
    const fs::path young = root_ / "docs" / ".kelvaran-young1";
    for (const auto& path : stale) writeBytes(path, 3);
    for (const auto& path : passedBy) writeBytes(path, 3);
    writeBytes(young, 3);
    for (const auto& path : stale) fs::last_write_time(path, old);
    for (const auto& path : passedBy) fs::last_write_time(path, old);
    start({a});
    for (const auto& path : stale) EXPECT_FALSE(fs::exists(path)) << path;
    for (const auto& path : passedBy) EXPECT_TRUE(fs::exists(path)) << path;
    EXPECT_TRUE(fs::exists(young));
}

TEST_F(BatchRunTest, BlankInputIsRefusedWithoutStartingAnything) {
    host_.text = "   ";
    run_.StartRun();
    EXPECT_THAT(messages_.shown, ElementsAre("ワードファイルを指定してください"));
    EXPECT_EQ(messages_.icons[0], platform::MessageIcon::Exclamation);
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Refused);
    EXPECT_TRUE(display_.statuses.empty());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(host_.beeps, 0);
}

TEST_F(BatchRunTest, MissingThirdEntryRefusesBeforeAnyDocumentIsTouched) {
    const auto a = doc("a.doc", 10);
    const auto b = doc("b.doc", 10);
    const auto missing = (root_ / "docs" / "gone.doc").string();
    start({a, b, missing});
    EXPECT_THAT(messages_.shown, ElementsAre("入力ファイルが存在しません：" + missing));
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(display_.statuses.empty());
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Refused);
}

TEST_F(BatchRunTest, OnlyLineBreaksEndsInterruptedWithoutTouchingOffice) {
    host_.text = " \r\n\r\n  \r";
    run_.StartRun();
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(wordsCreated, 0);
    EXPECT_EQ(excelsCreated, 0);
    EXPECT_THAT(display_.statuses, ElementsAre(texts::kInterrupted));
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Interrupted);
    EXPECT_TRUE(host_.startEnabled);
    EXPECT_FALSE(run_.running());
}

TEST_F(BatchRunTest, FailedCheckRestoresButtonsAndDoesNotStart) {
    const auto a = doc("a.doc", 10);
    failExcelCreation = {1};
    start({a});
    EXPECT_THAT(display_.statuses, ElementsAre(texts::kChecking, texts::kCheckFailed));
    EXPECT_THAT(messages_.shown, ElementsAre("エクセルを起動できません。", "エクセルを起動できません。終了します。"));
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::CheckFailed);
    EXPECT_TRUE(host_.startEnabled);
    EXPECT_FALSE(host_.stopEnabled);
    EXPECT_EQ(countEvents("docs.Open"), 0);
    EXPECT_EQ(display_.clears, 0);
}

TEST_F(BatchRunTest, DocumentWordCannotOpenStillGetsBothLines) {
    const auto bad = doc("bad.doc", 3072);
    const auto good = doc("good.doc", 2048);
    failOpen.insert(bad);
    std::vector<std::string> failures;
    run_.onOpenFailed = [&](const std::string& path, const std::string& reason) {
        failures.push_back(path + ": " + reason);
    };
    walker_.body = [this](int) { state_.docConverted = true; };
    start({bad, good});
    EXPECT_EQ(display_.log, "▼開始▼ " + bad + "\r\n▲終了▲ 3KB->0KB\r\n\r\n▼開始▼ " + good +
                                "\r\n▲終了▲ 2KB->50KB\r\n\r\n");
    EXPECT_THAT(failures, ElementsAre(bad + ": not a Word document"));
    // Nothing to walk in a document that did not open.
    EXPECT_EQ(walker_.calls, 1);
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Completed);
}

TEST_F(BatchRunTest, FailureBeforeFirstCleanUpBreaksOffToTheFinishingSteps) {
    const auto a = doc("a.doc", 10);
    const auto b = doc("b.doc", 10);
    failScratchAdd = {1};
    start({a, b});
    EXPECT_TRUE(display_.log.empty());
    EXPECT_EQ(countEvents("docs.Open"), 0);
    // The run result had already been set to completed.
    EXPECT_EQ(display_.statuses.back(), texts::kCompleted);
    EXPECT_EQ(countEvents("excel.Quit"), 2);
    EXPECT_EQ(countEvents("word.Quit"), 2);
    EXPECT_TRUE(host_.startEnabled);
}

TEST_F(BatchRunTest, FailureAfterFirstCleanUpIsSkipped) {
    const auto a = doc("a.doc", 10);
    const auto b = doc("b.doc", 10);
    failScratchAdd = {2};
    start({a, b});
    EXPECT_EQ(display_.log, "▼開始▼ " + a + "\r\n▲終了▲ 0KB->0KB\r\n\r\n▼開始▼ " + b + "\r\n▲終了▲ 0KB->0KB\r\n\r\n");
    EXPECT_EQ(countEvents("docs.Open"), 2);
    EXPECT_EQ(display_.statuses.back(), texts::kCompleted);
}

TEST_F(BatchRunTest, LeftoverScratchFileIsRemovedWhenTheRunBreaksOff) {
    const auto a = doc("a.doc", 10);
    failFullName = true;
    start({a});
    EXPECT_EQ(countEvents("scratch.SaveAs"), 1);
    EXPECT_EQ(countEvents("docs.Open"), 0);
    EXPECT_TRUE(tmpFiles().empty());
}

TEST_F(BatchRunTest, WordThatCannotStartSkipsThatFileWithoutLogLine) {
    const auto a = doc("a.doc", 10);
    const auto b = doc("b.doc", 10);
    failWordCreation = {2};
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    start({a, b});
    EXPECT_EQ(display_.log, "▼開始▼ " + b + "\r\n▲終了▲ 0KB->0KB\r\n\r\n");
    EXPECT_THAT(messages_.shown, ElementsAre("ワードを起動できません。"));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].skipped);
    EXPECT_EQ(results[0].reason, "Word refused to start");
    EXPECT_FALSE(results[1].skipped);
    EXPECT_TRUE(results[1].opened);
}

TEST_F(BatchRunTest, ExcelThatCannotStartForTheRunLeavesNoScratchBook) {
    const auto a = doc("a.doc", 10);
    failExcelCreation = {2};
    bool sawBook = true;
    walker_.body = [&](int) { sawBook = state_.scratchBook != nullptr || state_.scratchSheet != nullptr; };
    start({a});
    EXPECT_FALSE(sawBook);
    EXPECT_THAT(messages_.shown, ElementsAre("エクセルを起動できません。"));
    EXPECT_EQ(walker_.calls, 1);
    EXPECT_EQ(display_.statuses.back(), texts::kCompleted);
}

TEST_F(BatchRunTest, WhileRunningAnotherStartDoesNothing) {
    const auto a = doc("a.doc", 10);
    walker_.body = [this](int) {
        EXPECT_TRUE(run_.running());
        run_.StartRun();
    };
    start({a});
    EXPECT_EQ(countEvents("docs.Open"), 1);
    EXPECT_FALSE(run_.running());
}

struct PauseCase {
    bool slow;
    std::string version;
    int expected;
};
class SlowModePause : public BatchFixture, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(SlowModePause, FollowsWordVersion) {
    conditions_.values().slowMode = GetParam().slow;
    wordVersion = GetParam().version;
    state_.waitXP = 210;
    state_.wait2000 = 520;
    state_.waitMs = -1;
    start({doc("a.doc", 10)});
    EXPECT_EQ(state_.waitMs, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, SlowModePause,
                         ::testing::Values(PauseCase{false, "12.0", 0}, PauseCase{false, "9.0", 0},
                                           PauseCase{true, "10.0", 210}, PauseCase{true, "9.0", 520}));

TEST_F(BatchRunTest, CopyWhoseNameIsAnInputOfTheRunIsNotWritten) {
    const auto input = doc("report.doc", 2048);
    const auto other = doc("report-slimmed-2k.doc", 700);
    std::vector<std::string> reasons;
    run_.onSaveFailed = [&](const std::string&, const std::string& reason) { reasons.push_back(reason); };
    walker_.body = [this](int index) { state_.docConverted = index == 0; };
    start({input, other});
    EXPECT_EQ(readAll(other), std::string(700, 'i'));
    EXPECT_THAT(display_.log, HasSubstr("▼開始▼ " + input + "\r\n▲終了▲ 2KB->0KB"));
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_THAT(reasons[0], HasSubstr("input"));
}

TEST_F(BatchRunTest, OutputFolderReceivesTheCopy) {
    const auto input = doc("a.rtf", 5120);
    fs::create_directories(root_ / "out");
    run_.setOutputFolder((root_ / "out").string());
    walker_.body = [this](int) { state_.docConverted = true; };
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    start({input});
    EXPECT_TRUE(fs::exists(root_ / "out" / "a-slimmed-5k.rtf"));
    EXPECT_FALSE(fs::exists(root_ / "docs" / "a-slimmed-5k.rtf"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outputPath, (root_ / "out" / "a-slimmed-5k.rtf").string());
    EXPECT_EQ(results[0].outputBytes, static_cast<double>(slimmedBytes));
    EXPECT_EQ(results[0].inputBytes, 5120.0);
}

TEST_F(BatchRunTest, DryRunMeasuresTheCopyButWritesNone) {
    const auto input = doc("a.rtf", 5120);
    run_.setDryRun(true);
    walker_.body = [this](int) { state_.docConverted = true; };
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    start({input});
    EXPECT_FALSE(fs::exists(root_ / "docs" / "a-slimmed-5k.rtf"));
    EXPECT_THAT(display_.log, HasSubstr("▲終了▲ 5KB->50KB"));
    EXPECT_TRUE(tmpFiles().empty());
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].outputPath.empty());
    EXPECT_EQ(results[0].outputBytes, static_cast<double>(slimmedBytes));
}

// ---- Checking each copy as it is written ----------------------------------

TEST_F(BatchRunTest, CopyThatPassesItsCheckIsKeptAndTheCheckIsHandedOn) {
    const auto input = doc("a.rtf", 5120);
    walker_.body = [this](int) { state_.docConverted = true; };
    std::vector<std::pair<std::string, std::string>> asked;
    run_.checkCopy = [&](const std::string& in, const std::string& copy) {
        // The copy is complete on disk when it is checked.
        EXPECT_EQ(fs::file_size(copy), slimmedBytes);
        asked.emplace_back(in, copy);
        return CopyCheck{true, 3, 7.5, 2, ""};
    };
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    start({input});
    const auto copy = (root_ / "docs" / "a-slimmed-5k.rtf").string();
    ASSERT_THAT(asked, ElementsAre(std::make_pair(input, copy)));
    EXPECT_TRUE(fs::exists(copy));
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].check.has_value());
    EXPECT_TRUE(results[0].check->passed);
    EXPECT_EQ(results[0].check->pages, 3);
    EXPECT_EQ(results[0].outputPath, copy);
    EXPECT_THAT(display_.log, HasSubstr("▲終了▲ 5KB->50KB"));
}

TEST_F(BatchRunTest, CopyThatFailsItsCheckIsRemovedAndLoggedAsNoCopy) {
    const auto a = doc("a.rtf", 5120);
    const auto b = doc("b.doc", 2048);
    const std::string before = readAll(a);
    walker_.body = [this](int) { state_.docConverted = true; };
    // The first copy differs, the second cannot even be read.
    int checks = 0;
    run_.checkCopy = [&](const std::string&, const std::string&) -> CopyCheck {
        if (checks++ == 0) return CopyCheck{false, 2, 80, 2, "page 2: a picture moved"};
        throw std::runtime_error("LibreOffice took more than 240 s");
    };
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    start({a, b});
    EXPECT_FALSE(fs::exists(root_ / "docs" / "a-slimmed-5k.rtf"));
    EXPECT_FALSE(fs::exists(root_ / "docs" / "b-slimmed-2k.doc"));
    EXPECT_EQ(readAll(a), before);
    EXPECT_EQ(display_.log, "▼開始▼ " + a + "\r\n▲終了▲ 5KB->0KB\r\n\r\n▼開始▼ " + b + "\r\n▲終了▲ 2KB->0KB\r\n\r\n");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].outputPath.empty());
    EXPECT_EQ(results[0].outputBytes, 0.0);
    ASSERT_TRUE(results[0].check.has_value());
    EXPECT_FALSE(results[0].check->passed);
    EXPECT_THAT(results[0].reason, HasSubstr("page 2: a picture moved"));
    EXPECT_THAT(results[0].reason, HasSubstr("removed"));
    ASSERT_TRUE(results[1].check.has_value());
    EXPECT_FALSE(results[1].check->passed);
    EXPECT_THAT(results[1].check->why, HasSubstr("could not be checked: LibreOffice took more than 240 s"));
    EXPECT_EQ(run_.lastOutcome(), BatchRun::Outcome::Completed);
}

TEST_F(BatchRunTest, FailedCopyThatCannotBeRemovedIsNamedInTheReason) {
    const auto input = doc("a.rtf", 5120);
    const auto copy = (root_ / "docs" / "a-slimmed-5k.rtf").string();
    walker_.body = [this](int) { state_.docConverted = true; };
    run_.checkCopy = [&](const std::string&, const std::string&) {
        fileSystem_.undeletable.insert(copy);
        return CopyCheck{false, 1, 90, 1, "page 1: tile differs"};
    };
    std::vector<DocumentResult> results;
    run_.onDocumentDone = [&](const DocumentResult& r) { results.push_back(r); };
    start({input});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outputPath, copy);
    EXPECT_THAT(results[0].reason, HasSubstr("could not be removed"));
}

TEST_F(BatchRunTest, NothingIsCheckedWithoutACopy) {
    const auto input = doc("a.rtf", 5120);
    int checks = 0;
    run_.checkCopy = [&](const std::string&, const std::string&) {
        ++checks;
        return CopyCheck{true, 1, 0, 1, ""};
    };
    walker_.body = [](int) {};
    start({input});
    failSave = true;
    walker_.body = [this](int) { state_.docConverted = true; };
    start({input});
    EXPECT_EQ(checks, 0);
}

TEST_F(BatchRunTest, EntriesFromTheHostAreTakenAsGiven) {
    // A carriage return inside a name would split it into two lines of text.
    const auto spaced = doc("one\rtwo.doc", 10);
    host_.entries = std::vector<std::string>{spaced};
    run_.StartRun();
    EXPECT_EQ(countEvents("docs.Open " + spaced + " ro"), 1);
    host_.entries = std::vector<std::string>{};
    run_.StartRun();
    EXPECT_EQ(messages_.shown.back(), "ワードファイルを指定してください");
}

}  // namespace
}  // namespace kelvaran::app::testing
