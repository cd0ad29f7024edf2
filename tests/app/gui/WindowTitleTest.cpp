// What the window system is told: the titles as X11 receives them, and Qt's
// own texts in Japanese.  Runs on a virtual X display (xvfb-run), the way
// the program meets a desktop, since the offscreen platform shows no titles.
#include "app/gui/ApplicationSetup.h"
#include "app/gui/frmMain.h"
#include "app/run/AppTitle.h"
#include "office/OfficeControl.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "settings/RegAccess.h"
#include "tests/app/gui/FakeOffice.h"
#include "web/AboutDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kelvaran::app::gui {
namespace {

struct RecordedMessages : platform::MessageBoxes {
    std::vector<std::string> shown;
    void show(const std::string& text, platform::MessageIcon) override { shown.push_back(text); }
};

xcb_connection_t* xConnection() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The title a window manager reads from the window: its _NET_WM_NAME, in UTF-8.
std::string shownTitle(QWidget& window) {
    QApplication::processEvents();
    xcb_connection_t* connection = xConnection();
    if (!connection) return "<no X connection>";
    xcb_flush(connection);
    const auto cookie = xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.winId()),
                                         atom(connection, "_NET_WM_NAME"), atom(connection, "UTF8_STRING"), 0, 4096);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply) return "<no title>";
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

class WindowTitleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        ASSERT_NE(xConnection(), nullptr) << "these tests need an X display";
        registry_ = std::make_unique<settings::RegAccess>(config_.path().toStdString());
    }

    std::unique_ptr<frmMain> makeWindow() {
        frmMainServices services;
        services.registry = registry_.get();
        services.exceptionListPath = QDir(config_.path()).filePath(QStringLiteral("ole.ini")).toStdString();
        services.registerBackends = [this](office::OfficeFactory& factory) { office_.registerWith(factory); };
        services.fileSystem = &fileSystem_;
        services.messages = &messages_;
        auto window = std::make_unique<frmMain>(services);
        window->quitApplication = [] {};
        window->endAtOnce = [] {};
        return window;
    }

    QTemporaryDir config_;
    std::unique_ptr<settings::RegAccess> registry_;
    testing::FakeOffice office_;
    platform::StdFileSystem fileSystem_;
    RecordedMessages messages_;
};

TEST_F(WindowTitleTest, TheWindowSystemShowsTheTitleWithTheOfficeModeAndNothingElse) {
    auto window = makeWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(shownTitle(*window), "Quelto MSケルヴァラン");

    struct Case {
        std::string version;
        std::string title;
    };
    const Case cases[] = {
        {"9.0", "Quelto MSケルヴァラン [Office 2000モード]"},
        {"11.0", "Quelto MSケルヴァラン [Office XP/2003モード]"},
        {"12.0", "Quelto MSケルヴァラン [Office 2007 (2003互換)モード]"},
        // A second check leaves one mode text, not two.
        {"14.0", "Quelto MSケルヴァラン [Office 2007 (2003互換)モード]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        office_.version = c.version;
        ASSERT_TRUE(window->officeControl().CheckEnvironment());
        EXPECT_EQ(window->windowTitle().toStdString(), c.title);
        EXPECT_EQ(shownTitle(*window), c.title);
    }
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(WindowTitleTest, DialogsShowTheirOwnTitlesOnly) {
    auto window = makeWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto* about = new web::AboutDialog(kApplicationTitle, window.get());
    about->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    EXPECT_EQ(shownTitle(*about), about->windowTitle().toStdString());
    EXPECT_EQ(shownTitle(*about), "Quelto MSケルヴァラン");

    QFileDialog dialog(window.get(), QStringLiteral("ファイルを開く"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(shownTitle(dialog), "ファイルを開く");
    dialog.hide();
}

TEST(QtTextsTest, StandardButtonsAndTheOpenFileDialogSpeakJapanese) {
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Open);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    EXPECT_NE(buttons.button(QDialogButtonBox::Open)->text(), QStringLiteral("&Open"));

    QFileDialog dialog(nullptr, QStringLiteral("ファイルを開く"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The labels of Qt's own dialog come from the loaded Japanese texts.
    EXPECT_NE(dialog.labelText(QFileDialog::FileName), QStringLiteral("File &name:"));
    EXPECT_NE(dialog.labelText(QFileDialog::Reject), QStringLiteral("Cancel"));
}

}  // namespace
}  // namespace kelvaran::app::gui

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication application(argc, argv);
    const bool japanese = kelvaran::app::gui::setUpApplication(application);
    ::testing::InitGoogleTest(&argc, argv);
    if (!japanese) std::fprintf(stderr, "Qt's Japanese texts did not load\n");
    return RUN_ALL_TESTS();
}
