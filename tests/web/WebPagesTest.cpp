#include "web/WebPages.h"

#include "platform/Host.h"
#include "settings/RegAccess.h"
#include "tests/settings/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kelvaran::web {
namespace {

const std::string kSupportAddressTail =
    "/service/servlet/support?app=kelvaran&ver=" KELVARAN_EXPECTED_VERSION "&lang=japanese";
const std::string kUpdateAddressTail =
    "/service/servlet/update?app=kelvaran&ver=" KELVARAN_EXPECTED_VERSION "&lang=japanese";

struct RecordingStarter : ProgramStarter {
    bool succeeds = true;
    std::vector<std::pair<std::string, std::vector<std::string>>> started;
    bool start(const std::string& program, const std::vector<std::string>& arguments) override {
        started.emplace_back(program, arguments);
        return succeeds;
    }
};

struct RecordedMessages : platform::MessageBoxes {
    std::vector<std::pair<std::string, platform::MessageIcon>> shown;
    void show(const std::string& text, platform::MessageIcon icon) override { shown.emplace_back(text, icon); }
};

struct CountingPump : platform::EventPump {
    int runs = 0;
    void processEvents() override { ++runs; }
};

TEST(PageAddress, SiteBasePathAndQueryWithNothingBetween) {
    ASSERT_FALSE(kSiteBase.empty());
    EXPECT_EQ(kSiteBase.rfind("https://", 0), 0u);
    EXPECT_NE(kSiteBase.back(), '/');
    EXPECT_EQ(kSiteBase.find('/', 8), std::string::npos) << "scheme and host only";
    EXPECT_EQ(pageAddress(kSupportPath), kSiteBase + kSupportAddressTail);
    EXPECT_EQ(pageAddress(kUpdatePath), kSiteBase + kUpdateAddressTail);
}

TEST(BrowserProgram, QuotedPathIsTakenWholeWithItsBlanksAndHyphens) {
    EXPECT_EQ(browserProgram(R"("C:\Program Files\Web-Browser\browser.exe" -osint -url "%1")"),
              R"(C:\Program Files\Web-Browser\browser.exe)");
    EXPECT_EQ(browserProgram(R"(  "/opt/my-browser/bin/browser" "%1")"), "/opt/my-browser/bin/browser");
    EXPECT_EQ(browserProgram(R"("/usr/bin/browser")"), "/usr/bin/browser");
    // a quote that is never closed takes the rest of the command
    EXPECT_EQ(browserProgram(R"("/opt/web browser/run)"), "/opt/web browser/run");
}

TEST(BrowserProgram, UnquotedCommandGivesItsFirstWord) {
    EXPECT_EQ(browserProgram("xdg-open \"%1\""), "xdg-open");
    EXPECT_EQ(browserProgram("/usr/bin/x-www-browser %1"), "/usr/bin/x-www-browser");
    EXPECT_EQ(browserProgram("\t/usr/bin/browser\t--new-window"), "/usr/bin/browser");
    EXPECT_EQ(browserProgram("/usr/bin/browser"), "/usr/bin/browser");
    EXPECT_EQ(browserProgram("50%-off"), "50%-off");
}

TEST(BrowserProgram, NothingToStart) {
    EXPECT_EQ(browserProgram(""), "");
    EXPECT_EQ(browserProgram("   \t "), "");
    EXPECT_EQ(browserProgram("\"\" %1"), "");
}

class OpenWebPageTest : public ::testing::Test {
protected:
    void registerCommand(const std::string& valueLine) {
        folder_.write("HKEY_CLASSES_ROOT.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                                               "[HKEY_CLASSES_ROOT\\http\\shell\\open\\command]\r\n" +
                                                   valueLine + "\r\n");
    }
    void open(const std::string& path) {
        settings::RegAccess registry(folder_.path());
        OpenWebPage(path, registry, messages_, pump_, starter_);
    }
    void expectFailureMessageOnly() {
        ASSERT_EQ(messages_.shown.size(), 1u);
        EXPECT_EQ(messages_.shown[0].first,
                  "アプリケーション上からQueltoサイトにアクセスできません。\r\nネットワークの状態を確認して下さい。");
        EXPECT_EQ(messages_.shown[0].second, platform::MessageIcon::None);
        EXPECT_EQ(pump_.runs, 0);
    }

    testing::TempFolder folder_;
    RecordingStarter starter_;
    RecordedMessages messages_;
    CountingPump pump_;
};

TEST_F(OpenWebPageTest, QuotedBrowserWithHyphensInItsPathStartsWithTheAddress) {
    registerCommand(R"(@="\"/opt/my-browser/bin/web-browser\" --new-window -- \"%1\"")");
    open(kSupportPath);
    ASSERT_EQ(starter_.started.size(), 1u);
    EXPECT_EQ(starter_.started[0].first, "/opt/my-browser/bin/web-browser");
    EXPECT_EQ(starter_.started[0].second, std::vector<std::string>{kSiteBase + kSupportAddressTail});
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(pump_.runs, 1);
}

TEST_F(OpenWebPageTest, UnquotedBrowserIsItsFirstWord) {
    registerCommand(R"(@="/usr/bin/browser %1")");
    open(kUpdatePath);
    ASSERT_EQ(starter_.started.size(), 1u);
    EXPECT_EQ(starter_.started[0].first, "/usr/bin/browser");
    EXPECT_EQ(starter_.started[0].second, std::vector<std::string>{kSiteBase + kUpdateAddressTail});

    registerCommand(R"(@="/usr/bin/plainbrowser")");
    open(kUpdatePath);
    ASSERT_EQ(starter_.started.size(), 2u);
    EXPECT_EQ(starter_.started[1].first, "/usr/bin/plainbrowser");
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(OpenWebPageTest, WithoutARegisteredCommandTheDesktopOpensThePage) {
    open(kSupportPath);  // no hive at all
    registerCommand(R"("Other"="/usr/bin/browser")");  // the key, but no default value
    open(kSupportPath);
    ASSERT_EQ(starter_.started.size(), 2u);
    for (const auto& [program, arguments] : starter_.started) {
        EXPECT_EQ(program, "xdg-open");
        EXPECT_EQ(arguments, std::vector<std::string>{kSiteBase + kSupportAddressTail});
    }
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(OpenWebPageTest, ABrowserThatCannotStartIsReported) {
    registerCommand(R"(@="\"/no/such/browser\" %1")");
    starter_.succeeds = false;
    open(kSupportPath);
    EXPECT_EQ(starter_.started.size(), 1u);
    expectFailureMessageOnly();
}

TEST_F(OpenWebPageTest, ACommandThatIsNotTextIsReported) {
    registerCommand("@=hex:2f,75,73,72");
    open(kSupportPath);
    EXPECT_TRUE(starter_.started.empty());
    expectFailureMessageOnly();
}

TEST_F(OpenWebPageTest, AnEmptyCommandIsReported) {
    registerCommand(R"(@="  ")");
    open(kSupportPath);
    EXPECT_TRUE(starter_.started.empty());
    expectFailureMessageOnly();
}

TEST(DetachedProgramStarter, StartsTheProgramWithItsArgumentsAndRefusesAMissingOne) {
    testing::TempFolder folder;
    const std::string out = folder.file("address");
    const std::string address = kSiteBase + kSupportAddressTail;
    DetachedProgramStarter starter;
    ASSERT_TRUE(starter.start("/bin/sh", {"-c", "printf %s \"$1\" > \"$2.part\" && mv \"$2.part\" \"$2\"", "sh",
                                          address, out}));
    for (int i = 0; i < 600 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(folder.read("address"), address);

    EXPECT_FALSE(starter.start(folder.file("no-such-browser"), {address}));
}

}  // namespace
}  // namespace kelvaran::web
