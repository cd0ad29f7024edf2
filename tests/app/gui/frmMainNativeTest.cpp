// The window over the in-process office and the real conversion engine, on
// real documents.
#include "app/gui/SourceBox.h"
#include "app/gui/frmMain.h"
#include "office/OfficeFactory.h"
#include "office/native/NativeBackend.h"
#include "platform/Clipboard.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "settings/RegAccess.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kelvaran::app::gui {
namespace {

struct RecordedMessages : platform::MessageBoxes {
    std::vector<std::string> shown;
    void show(const std::string& text, platform::MessageIcon) override { shown.push_back(text); }
};

class NativeRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        ASSERT_TRUE(work_.isValid());
        registry_ = std::make_unique<settings::RegAccess>(config_.path().toStdString());
        office::native::registerNativeBackend(factory_);
        frmMainServices services;
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

}  // namespace
}  // namespace kelvaran::app::gui

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
