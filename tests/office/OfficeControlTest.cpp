#include "office/OfficeControl.h"

#include "office/OfficeError.h"
#include "platform/Clipboard.h"
#include "platform/Host.h"
#include "tests/mocks/OfficeMocks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace kelvaran::office {
namespace {

using ::testing::NiceMock;
using ::testing::Return;
using ::testing::Throw;
using testing::MockExcelApplication;
using testing::MockExcelWorkbooks;
using testing::MockWordApplication;
using testing::MockWordDocuments;

struct RecordedMessages : platform::MessageBoxes {
    std::vector<std::pair<std::string, platform::MessageIcon>> shown;
    void show(const std::string& text, platform::MessageIcon icon) override { shown.emplace_back(text, icon); }
};

const std::string kTitle = "Quelto MSケルヴァラン";

class OfficeControlTest : public ::testing::Test {
protected:
    OfficeControlTest() : control_(factory_, state_, clipboard_, messages_, kTitle) {
        control_.setCaption = [this](const std::string& text) {
            caption_ = text;
            ++captionChanges_;
        };
        control_.endProgram = [this] { ++endRequests_; };
    }

    // Each creation hands out a fresh Word of the given version.
    void provideWord(const std::string& version) {
        factory_.registerWord(kWordClassName, [this, version](const OfficeContext& context) {
            EXPECT_EQ(context.clipboard, &clipboard_);
            ++wordsCreated_;
            auto app = std::make_shared<NiceMock<MockWordApplication>>();
            ON_CALL(*app, Version()).WillByDefault(Return(version));
            ON_CALL(*app, Name()).WillByDefault(Return("Microsoft Word"));
            lastWord_ = app;
            return app;
        });
    }
    void provideExcel(std::int32_t openWorkbooks = 0) {
        factory_.registerExcel(kExcelClassName, [this, openWorkbooks](const OfficeContext&) {
            ++excelsCreated_;
            auto app = std::make_shared<NiceMock<MockExcelApplication>>();
            auto books = std::make_shared<NiceMock<MockExcelWorkbooks>>();
            ON_CALL(*books, count()).WillByDefault(Return(openWorkbooks));
            ON_CALL(*app, Workbooks()).WillByDefault(Return(books));
            ON_CALL(*app, Name()).WillByDefault(Return("Microsoft Excel"));
            lastExcel_ = app;
            return app;
        });
    }
    void failExcel() {
        factory_.registerExcel(kExcelClassName, [](const OfficeContext&) -> excel::ApplicationPtr {
            throw OfficeError("no Excel here");
        });
    }

    OfficeFactory factory_;
    OfficeState state_;
    platform::Clipboard clipboard_;
    RecordedMessages messages_;
    OfficeControl control_;
    std::string caption_;
    int captionChanges_ = 0;
    int endRequests_ = 0;
    int wordsCreated_ = 0;
    int excelsCreated_ = 0;
    std::shared_ptr<NiceMock<MockWordApplication>> lastWord_;
    std::shared_ptr<NiceMock<MockExcelApplication>> lastExcel_;
};

struct ModeCase {
    std::string version;
    bool xp;
    bool is2007;
    std::string suffix;
};

class OfficeModeTest : public OfficeControlTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(OfficeModeTest, VersionSetsFlagsAndTitle) {
    const auto& mode = GetParam();
    provideWord(mode.version);
    provideExcel();
    // Flags from an earlier check must be overwritten, not kept.
    state_.wordIsXP = !mode.xp;
    state_.wordIs2007 = !mode.is2007;
    ASSERT_TRUE(control_.CheckEnvironment());
    EXPECT_EQ(state_.wordIsXP, mode.xp);
    EXPECT_EQ(state_.wordIs2007, mode.is2007);
    EXPECT_EQ(caption_, kTitle + mode.suffix);
    EXPECT_TRUE(messages_.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Versions, OfficeModeTest,
                         ::testing::Values(ModeCase{"9.0", false, false, " [Office 2000モード]"},
                                           ModeCase{"10.0", true, false, " [Office XP/2003モード]"},
                                           ModeCase{"11.0", true, false, " [Office XP/2003モード]"},
                                           ModeCase{"12.0", true, true, " [Office 2007 (2003互換)モード]"},
                                           ModeCase{"14.0", true, true, " [Office 2007 (2003互換)モード]"}));

TEST_F(OfficeControlTest, TwoChecksLeaveExactlyOneModeText) {
    provideWord("11.0");
    provideExcel();
    ASSERT_TRUE(control_.CheckEnvironment());
    ASSERT_TRUE(control_.CheckEnvironment());
    EXPECT_EQ(caption_, kTitle + kModeXP2003);
    EXPECT_EQ(captionChanges_, 2);
}

TEST_F(OfficeControlTest, SuccessfulCheckQuitsAndReleasesBoth) {
    provideWord("12.0");
    provideExcel();
    state_.scratchDoc = std::make_shared<NiceMock<testing::MockWordDocument>>();
    state_.scratchBook = std::make_shared<NiceMock<testing::MockExcelWorkbook>>();
    bool wordQuit = false;
    bool excelQuit = false;
    factory_.registerWord(kWordClassName, [&](const OfficeContext&) {
        auto app = std::make_shared<NiceMock<MockWordApplication>>();
        ON_CALL(*app, Version()).WillByDefault(Return("12.0"));
        EXPECT_CALL(*app, Quit()).WillOnce([&] { wordQuit = true; });
        return app;
    });
    factory_.registerExcel(kExcelClassName, [&](const OfficeContext&) {
        auto app = std::make_shared<NiceMock<MockExcelApplication>>();
        EXPECT_CALL(*app, Quit()).WillOnce([&] { excelQuit = true; });
        return app;
    });
    ASSERT_TRUE(control_.CheckEnvironment());
    EXPECT_TRUE(wordQuit);
    EXPECT_TRUE(excelQuit);
    EXPECT_FALSE(state_.appWORD);
    EXPECT_FALSE(state_.appEXCEL);
    EXPECT_FALSE(state_.scratchDoc);
    EXPECT_FALSE(state_.scratchBook);
}

TEST_F(OfficeControlTest, UnreadableVersionSkipsRestOfWordStageAndKeepsFlags) {
    factory_.registerWord(kWordClassName, [](const OfficeContext&) {
        auto app = std::make_shared<NiceMock<MockWordApplication>>();
        ON_CALL(*app, Version()).WillByDefault(Throw(OfficeError("gone")));
        EXPECT_CALL(*app, Quit()).Times(0);
        return app;
    });
    provideExcel();
    state_.wordIsXP = true;
    state_.wordIs2007 = false;
    EXPECT_TRUE(control_.CheckEnvironment());
    EXPECT_TRUE(state_.wordIsXP);
    EXPECT_FALSE(state_.wordIs2007);
    EXPECT_EQ(captionChanges_, 0);
    // Word stays held because the stage was left before its quit.
    EXPECT_TRUE(state_.appWORD);
}

TEST_F(OfficeControlTest, MissingExcelShowsBothMessagesInOrderAndDoesNotEndProgram) {
    provideWord("12.0");
    failExcel();
    EXPECT_FALSE(control_.CheckEnvironment());
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[0].first, "エクセルを起動できません。");
    EXPECT_EQ(messages_.shown[0].second, platform::MessageIcon::Exclamation);
    EXPECT_EQ(messages_.shown[1].first, "エクセルを起動できません。終了します。");
    EXPECT_EQ(messages_.shown[1].second, platform::MessageIcon::Stop);
    EXPECT_EQ(endRequests_, 0);
    EXPECT_EQ(control_.lastCreationError(), "no Excel here");
}

TEST_F(OfficeControlTest, MissingWordShowsBothMessagesAndEndsProgram) {
    factory_.registerWord(kWordClassName, [](const OfficeContext&) -> word::ApplicationPtr {
        throw OfficeError("no Word here");
    });
    provideExcel();
    EXPECT_FALSE(control_.CheckEnvironment());
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[0].first, "ワードを起動できません。");
    EXPECT_EQ(messages_.shown[0].second, platform::MessageIcon::Exclamation);
    EXPECT_EQ(messages_.shown[1].first, "ワードを起動できません。終了します。");
    EXPECT_EQ(messages_.shown[1].second, platform::MessageIcon::Stop);
    EXPECT_EQ(endRequests_, 1);
    EXPECT_EQ(excelsCreated_, 0);
}

TEST_F(OfficeControlTest, NoBackendRegisteredIsACreationFailure) {
    EXPECT_FALSE(control_.EnsureWord());
    EXPECT_FALSE(control_.EnsureExcel());
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[0].first, "ワードを起動できません。");
    EXPECT_EQ(messages_.shown[1].first, "エクセルを起動できません。");
    EXPECT_FALSE(state_.appWORD);
}

TEST_F(OfficeControlTest, EnsureWordReusesLiveWordAndReplacesDeadOne) {
    provideWord("12.0");
    ASSERT_TRUE(control_.EnsureWord());
    ASSERT_TRUE(control_.EnsureWord());
    EXPECT_EQ(wordsCreated_, 1);

    // The user closed it by hand: its Name no longer answers.
    ON_CALL(*lastWord_, Name()).WillByDefault(Throw(OfficeError("closed")));
    const auto dead = state_.appWORD;
    ASSERT_TRUE(control_.EnsureWord());
    EXPECT_EQ(wordsCreated_, 2);
    EXPECT_NE(state_.appWORD, dead);
}

TEST_F(OfficeControlTest, EnsureExcelReusesLiveExcelAndReplacesDeadOne) {
    provideExcel();
    ASSERT_TRUE(control_.EnsureExcel());
    ASSERT_TRUE(control_.EnsureExcel());
    EXPECT_EQ(excelsCreated_, 1);
    ON_CALL(*lastExcel_, Name()).WillByDefault(Throw(OfficeError("closed")));
    ASSERT_TRUE(control_.EnsureExcel());
    EXPECT_EQ(excelsCreated_, 2);
}

TEST_F(OfficeControlTest, AliveIsFalseForEmptyMembers) {
    EXPECT_FALSE(control_.WordAlive());
    EXPECT_FALSE(control_.ExcelAlive());
}

TEST_F(OfficeControlTest, OpenDocumentsCountsRefuseWithMessage) {
    auto app = std::make_shared<NiceMock<MockWordApplication>>();
    auto docs = std::make_shared<NiceMock<MockWordDocuments>>();
    ON_CALL(*app, Documents()).WillByDefault(Return(docs));
    ON_CALL(*docs, count()).WillByDefault(Return(1));
    state_.appWORD = app;
    EXPECT_FALSE(control_.NoWordDocumentsOpen());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].first, "起動中のワードをすべて終了してください。");

    ON_CALL(*docs, count()).WillByDefault(Return(0));
    EXPECT_TRUE(control_.NoWordDocumentsOpen());
    ON_CALL(*docs, count()).WillByDefault(Throw(OfficeError("no count")));
    EXPECT_TRUE(control_.NoWordDocumentsOpen());
    // A collection that is not handed out cannot be counted either.
    ON_CALL(*app, Documents()).WillByDefault(Return(nullptr));
    EXPECT_TRUE(control_.NoWordDocumentsOpen());
    state_.appWORD.reset();
    EXPECT_TRUE(control_.NoWordDocumentsOpen());
    EXPECT_TRUE(control_.NoExcelWorkbooksOpen());
    auto excel = std::make_shared<NiceMock<MockExcelApplication>>();
    state_.appEXCEL = excel;
    EXPECT_TRUE(control_.NoExcelWorkbooksOpen());
    EXPECT_EQ(messages_.shown.size(), 1u);
}

TEST_F(OfficeControlTest, ExcelWithOpenWorkbooksFailsCheckAndStaysRunning) {
    provideWord("12.0");
    provideExcel(2);
    EXPECT_FALSE(control_.CheckEnvironment());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].first, "起動中のエクセルをすべて終了してください。");
    EXPECT_TRUE(state_.appEXCEL);
}

TEST_F(OfficeControlTest, WordWithOpenDocumentsFailsCheckAndStaysRunning) {
    factory_.registerWord(kWordClassName, [](const OfficeContext&) {
        auto app = std::make_shared<NiceMock<MockWordApplication>>();
        auto docs = std::make_shared<NiceMock<MockWordDocuments>>();
        ON_CALL(*app, Version()).WillByDefault(Return("12.0"));
        ON_CALL(*app, Documents()).WillByDefault(Return(docs));
        ON_CALL(*docs, count()).WillByDefault(Return(3));
        EXPECT_CALL(*app, Quit()).Times(0);
        return app;
    });
    provideExcel();
    EXPECT_FALSE(control_.CheckEnvironment());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].first, "起動中のワードをすべて終了してください。");
    EXPECT_TRUE(state_.appWORD);
    EXPECT_EQ(excelsCreated_, 0);
}

}  // namespace
}  // namespace kelvaran::office
