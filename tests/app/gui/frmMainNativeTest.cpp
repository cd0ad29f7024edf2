// The window over the in-process office and the real conversion engine, on
// real documents.
#include "app/gui/SourceBox.h"
#include "app/gui/frmMain.h"
#include "office/OfficeFactory.h"
#include "office/native/NativeBackend.h"
#include "office/native/excel/NativeExcelApplication.h"
#include "platform/Clipboard.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "settings/RegAccess.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kelvaran::app::gui {
namespace {

struct RecordedMessages : platform::MessageBoxes {
    std::vector<std::string> shown;
    void show(const std::string& text, platform::MessageIcon) override { shown.push_back(text); }
};

// The window's pump, with a picture library that takes its time: the first
// piece of picture work waits until the test lets it go (or ten seconds
// pass) before it runs.
class SlowPictureWork : public platform::EventPump {
public:
    platform::EventPump* window = nullptr;
    std::function<void()> whileHeld;  // runs on the worker while the work is held
    std::atomic<bool> release{false};
    std::atomic<bool> held{false};
    bool releasedInTime = false;

    void processEvents() override { window->processEvents(); }
    void whileWorking(const std::function<void()>& work) override {
        window->whileWorking([&] {
            if (!held.exchange(true)) {
                if (whileHeld) whileHeld();
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (!release.load() && std::chrono::steady_clock::now() < giveUp) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                releasedInTime = release.load();
            }
            work();
        });
    }
};

class NativeRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        ASSERT_TRUE(work_.isValid());
        registry_ = std::make_unique<settings::RegAccess>(config_.path().toStdString());
        office::native::registerNativeBackend(factory_);
        frmMainServices services;
        services.registerBackends = [this](office::OfficeFactory& factory) {
            office::native::registerNativeBackend(factory);
            factory.registerExcel(office::kExcelClassName, [this](const office::OfficeContext& context) {
                slow_.window = context.events;
                platform::EventPump* events = context.events && slowPictures_ ? &slow_ : context.events;
                return std::make_shared<office::native::NativeExcelApplication>(*context.clipboard, events);
            });
        };
        services.registry = registry_.get();
        services.exceptionListPath = QDir(config_.path()).filePath(QStringLiteral("ole.ini")).toStdString();
        services.fileSystem = &fileSystem_;
        services.messages = &messages_;
        window_ = std::make_unique<frmMain>(services);
        window_->quitApplication = [] {};
        window_->endAtOnce = [] { FAIL() << "the program would have ended"; };
        window_->show();
    }

    // Whether the in-process Word saves a new document in this format; the
    // run needs that for its scratch document.
    bool backendWrites(const std::string& extension) {
        platform::Clipboard clipboard;
        try {
            auto word = factory_.createWord(office::kWordClassName, office::OfficeContext{&clipboard});
            auto document = word->Documents()->add();
            const QString path = QDir(work_.path()).filePath(QStringLiteral("probe.") + QString::fromStdString(extension));
            document->SaveAs(path.toStdString());
            document->Close();
            word->Quit();
            return QFile::remove(path);
        } catch (const std::exception&) {
            return false;
        }
    }

    QString copy(const QString& name) {
        const QString target = QDir(work_.path()).filePath(name);
        EXPECT_TRUE(QFile::copy(QStringLiteral(KELVARAN_GUI_TEST_DATA "/") + name, target));
        return target;
    }

    QTemporaryDir config_;
    QTemporaryDir work_;
    std::unique_ptr<settings::RegAccess> registry_;
    office::OfficeFactory factory_;
    platform::StdFileSystem fileSystem_;
    RecordedMessages messages_;
    SlowPictureWork slow_;
    bool slowPictures_ = false;
    std::unique_ptr<frmMain> window_;
};

TEST_F(NativeRunTest, RealDocumentsAreOpenedLoggedAndOnlyPicturesMakeACopy) {
    const QString text = copy(QStringLiteral("gen-text-only.rtf"));
    const QString pictures = copy(QStringLiteral("gen-inline-pictures.doc"));
    const QByteArray picturesBefore = [&] {
        QFile f(pictures);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    if (!backendWrites("rtf") || !backendWrites("doc")) GTEST_SKIP() << "the in-process office cannot write documents yet";
    window_->txtSource->setPlainText(text + QStringLiteral("\n") + pictures);
    window_->combFileSize->setEditText(QStringLiteral("10"));
    window_->btnStart->click();

    for (const auto& message : messages_.shown) ADD_FAILURE() << message;
    EXPECT_EQ(window_->statusText(), "変換完了");
    EXPECT_TRUE(window_->windowTitle().endsWith(QStringLiteral(" [Office 2007 (2003互換)モード]")));
    const QString log = window_->txtLog->toPlainText();
    EXPECT_TRUE(log.startsWith(QStringLiteral("▼開始▼ ") + text + QStringLiteral("\n▲終了▲ 2KB->0KB\n\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("▼開始▼ ") + pictures)) << log.toStdString();

    // The input is untouched; the slimmed copy, if any, is smaller.
    QFile after(pictures);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), picturesBefore);
    const QStringList outputs = QDir(work_.path()).entryList({QStringLiteral("*-slimmed-*")}, QDir::Files);
    for (const QString& output : outputs) {
        EXPECT_TRUE(output.startsWith(QStringLiteral("gen-inline-pictures-slimmed-")));
        EXPECT_LT(QFileInfo(QDir(work_.path()).filePath(output)).size(), picturesBefore.size());
    }
}

TEST_F(NativeRunTest, TheStopButtonTheLogAndACloseAnswerWhileAPictureIsBeingStored) {
    const QString pictures = copy(QStringLiteral("gen-inline-pictures.doc"));
    if (!backendWrites("doc")) GTEST_SKIP() << "the in-process office cannot write documents yet";
    slowPictures_ = true;
    // While the picture work is held on its worker thread, the stop button
    // is pressed, a log line is written and the window is closed, each as an
    // event the window has to handle; the close lets the work go.
    std::string statusAfterStop;
    bool logged = false;
    std::chrono::steady_clock::time_point closePosted;
    std::chrono::steady_clock::time_point closeHandled;
    int ends = 0;
    window_->endAtOnce = [&] {
        ++ends;
        closeHandled = std::chrono::steady_clock::now();
        slow_.release = true;
    };
    slow_.whileHeld = [&] {
        QMetaObject::invokeMethod(window_.get(), [&] {
            window_->btnStop->click();
            statusAfterStop = window_->statusText();
            window_->appendLog("held\r\n");
            logged = window_->txtLog->toPlainText().contains(QStringLiteral("held"));
        }, Qt::QueuedConnection);
        closePosted = std::chrono::steady_clock::now();
        QCoreApplication::postEvent(window_.get(), new QCloseEvent);
    };
    window_->txtSource->setPlainText(pictures);
    window_->combFileSize->setEditText(QStringLiteral("10"));
    window_->btnStart->click();

    ASSERT_TRUE(slow_.held) << "no picture work went through the window's pump";
    EXPECT_TRUE(slow_.releasedInTime) << "the close was not handled while the picture work ran";
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(statusAfterStop, "停止処理中...しばらくお待ちください。");
    EXPECT_TRUE(logged);
    EXPECT_TRUE(window_->unloaded());
    // The stop took effect: the document was not saved.
    EXPECT_TRUE(QDir(work_.path()).entryList({QStringLiteral("*-slimmed-*")}, QDir::Files).isEmpty());
    std::fprintf(stderr, "a close during picture work was handled after %lld ms\n",
                 static_cast<long long>(
                     std::chrono::duration_cast<std::chrono::milliseconds>(closeHandled - closePosted).count()));
}

}  // namespace
}  // namespace kelvaran::app::gui

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
