#include "app/gui/frmMain.h"

#include "Version.h"
#include "app/gui/SourceBox.h"
#include "app/gui/Twips.h"
#include "app/run/AppTitle.h"
#include "automation/MainWindowControl.h"
#include "engine/Conditions.h"
#include "engine/Walker.h"
#include "office/OfficeFactory.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "rules/frmObject.h"
#include "settings/RegAccess.h"
#include "tests/app/gui/FakeOffice.h"
#include "web/AboutDialog.h"
#include "web/WebPages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kelvaran::app::gui {
namespace {

using settings::kSettingsKey;
using settings::Root;

struct RecordedMessages : platform::MessageBoxes {
    std::vector<std::pair<std::string, platform::MessageIcon>> shown;
    void show(const std::string& text, platform::MessageIcon icon) override { shown.emplace_back(text, icon); }
};

struct RecordingStarter : web::ProgramStarter {
    bool succeeds = true;
    std::vector<std::pair<std::string, std::vector<std::string>>> started;
    bool start(const std::string& program, const std::vector<std::string>& arguments) override {
        started.emplace_back(program, arguments);
        return succeeds;
    }
};

// The walk as the window's run calls it; what it does is up to each test.
class ScriptedWalker : public engine::Walker {
public:
    explicit ScriptedWalker(std::function<void()>& body) : body_(body) {}
    std::string WalkDocument(const office::word::ShapePtr&, bool) override {
        if (body_) body_();
        return {};
    }

private:
    std::function<void()>& body_;
};

QString q(const std::string& text) { return QString::fromStdString(text); }

// Drags `data` onto the box and lets go, as the desktop delivers it; true
// when the box took the drop.
bool dragAndDrop(SourceBox* box, QMimeData* data, QPoint at) {
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &drop);
    return drop.isAccepted();
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        ASSERT_TRUE(work_.isValid());
        registry_ = std::make_unique<settings::RegAccess>(config_.path().toStdString());
    }

    std::unique_ptr<frmMain> makeWindow() {
        frmMainServices services;
        services.registry = registry_.get();
        services.exceptionListPath = iniPath();
        services.registerBackends = [this](office::OfficeFactory& factory) { office_.registerWith(factory); };
        services.fileSystem = &fileSystem_;
        services.messages = &messages_;
        services.starter = &starter_;
        services.makeWalker = [this](RunAssembly&) -> std::unique_ptr<engine::Walker> {
            return std::make_unique<ScriptedWalker>(walk_);
        };
        auto window = std::make_unique<frmMain>(services);
        window->quitApplication = [this] { ++quits_; };
        window->endAtOnce = [this] { ++immediateEnds_; };
        window->chooseFiles = [this] { return chosen_; };
        return window;
    }

    std::string iniPath() const { return QDir(config_.path()).filePath(QStringLiteral("ole.ini")).toStdString(); }

    std::string stored(const std::string& name, Root root = Root::HKEY_LOCAL_MACHINE) {
        std::string text;
        settings::RegAccess fresh(config_.path().toStdString());
        fresh.ReadRegValue(root, kSettingsKey, name, text);
        return text;
    }
    void store(const std::string& name, const std::string& value) {
        registry_->WriteRegValue(Root::HKEY_LOCAL_MACHINE, kSettingsKey, name, value);
    }

    // A copy of a test document in the scratch folder.
    std::string copyOfDocument(const QString& name, const QString& as) {
        const QString target = QDir(work_.path()).filePath(as);
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(QStringLiteral(KELVARAN_GUI_TEST_DATA "/") + name, target));
        return target.toStdString();
    }

    QTemporaryDir config_;
    QTemporaryDir work_;
    std::unique_ptr<settings::RegAccess> registry_;
    testing::FakeOffice office_;
    platform::StdFileSystem fileSystem_;
    RecordedMessages messages_;
    RecordingStarter starter_;
    std::function<void()> walk_;
    QStringList chosen_;
    int quits_ = 0;
    int immediateEnds_ = 0;
};

struct Designed {
    const char* name;
    QRect twips;
    const char* parent;
    QString text;
    QString tooltip;
};

TEST_F(MainWindowTest, ControlsSitAtTheirDesignedPlacesWithTheirTextsAndTooltips) {
    auto window = makeWindow();
    window->show();
    const std::vector<Designed> controls = {
        {"Label8", {120, 180, 3285, 180}, "client", QStringLiteral(u"入力ﾌｧｲﾙ ( .doc )  \u3000\u3000\u3000改行で複数指定可"), {}},
        {"txtSource", {120, 420, 7095, 990}, "client", {}, {}},
        {"btnOpen", {7320, 420, 735, 435}, "client", QStringLiteral("参照..."), QStringLiteral("ダイアログを開く")},
        {"btnClear", {7320, 960, 735, 435}, "client", QStringLiteral("クリア"), QStringLiteral("クリア")},
        {"Frame1", {120, 1620, 6795, 2175}, "client", QStringLiteral("条件設定"), {}},
        {"btnStart", {7020, 1740, 1035, 1035}, "client", {}, QStringLiteral("変換処理開始")},
        {"btnStop", {7020, 3180, 1035, 495}, "client", {}, QStringLiteral("停止")},
        {"Label9", {120, 4020, 240, 180}, "client", QStringLiteral("ﾛｸﾞ"), {}},
        {"picCheck", {8400, 360, 1500, 1500}, "client", {}, {}},
        {"picCompare", {8400, 2100, 1500, 1500}, "client", {}, {}},
        {"combFileSize", {240, 360, 795, 300}, "Frame1", {},
         QStringLiteral("指定したﾌｧｲﾙｻｲｽﾞ以上の画像が変換対象となります")},
        {"Label5", {1140, 420, 1275, 180}, "Frame1", QStringLiteral("KB以上の画像を"), {}},
        {"combRatio", {2460, 360, 675, 300}, "Frame1", {},
         QStringLiteral("1倍画質は表示ﾋﾟｸｾﾙ数と等しいﾋﾟｸｾﾙ数の画像を作成します")},
        {"Label1", {3240, 420, 720, 180}, "Frame1", QStringLiteral("倍画質の"), {}},
        {"combFormat", {4020, 360, 1275, 300}, "Frame1", {},
         QStringLiteral("推奨形式はJPEGを主体とし適宜ﾒﾀﾋﾟｸﾁｬをﾐｯｸｽさせる形式です")},
        {"Label2", {5400, 420, 1215, 180}, "Frame1", QStringLiteral("に内部変換する"), {}},
        {"Label3", {240, 900, 960, 180}, "Frame1", QStringLiteral("ﾌｧｲﾙｻｲｽﾞを"), {}},
        {"combExpectRate", {1260, 840, 735, 300}, "Frame1", {},
         QStringLiteral("ﾌｧｲﾙｻｲｽﾞが指定の大きさ以下に圧縮できた画像のみ変換します")},
        {"Label4", {2100, 900, 2775, 180}, "Frame1", QStringLiteral("％以下に減らせる画像のみ変換する"), {}},
        {"Label6", {240, 1320, 930, 180}, "Frame1", QStringLiteral("表示ｻｲｽﾞが"), {}},
        {"combPixelSize", {1260, 1260, 735, 300}, "Frame1", {},
         QStringLiteral("指定された表示ｻｲｽﾞより小さいｵﾌﾞｼﾞｪｸﾄを分解しないことで処理を高速化します"
                        "(9999はｵﾌﾞｼﾞｪｸﾄを分解しません)")},
        {"Label7", {2100, 1320, 2700, 180}, "Frame1", QStringLiteral("ﾋﾟｸｾﾙ以下のｵﾌﾞｼﾞｪｸﾄは分解しない"), {}},
        {"chkObject", {180, 1740, 3255, 255}, "Frame1", QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝｵﾌﾞｼﾞｪｸﾄを画像に変換する"),
         QStringLiteral("他ｱﾌﾟﾘｹｰｼｮﾝで作成されたｵﾌﾞｼﾞｪｸﾄを画像に変換する")},
        {"btnObject", {3480, 1680, 975, 375}, "Frame1", QStringLiteral("画像形式"),
         QStringLiteral("アプリケーション毎に画像変換形式を指定する")},
        {"ChkSlow", {4620, 1770, 675, 195}, "Frame1", QStringLiteral("低速"),
         QStringLiteral("低速ﾓｰﾄﾞ （誤動作回避用：通常は低速ﾓｰﾄﾞにする必要はありません）")},
        {"btnReset", {5400, 1560, 1275, 495}, "Frame1", QStringLiteral("設定リセット"), QStringLiteral("設定リセット")},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = window->findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(c.parent));
        const QRect designed = rectFromTwips(c.twips.x(), c.twips.y(), c.twips.width(), c.twips.height());
        const QRect actual = widget->geometry();
        if (qobject_cast<QLabel*>(widget) || qobject_cast<QCheckBox*>(widget)) {
            // Rows of text keep their left edge and centre line and may grow.
            EXPECT_EQ(actual.left(), designed.left());
            EXPECT_NEAR(actual.center().y(), designed.center().y(), 1);
            EXPECT_GE(actual.width(), designed.width());
            EXPECT_GE(actual.height(), designed.height());
            EXPECT_GE(actual.width(), widget->sizeHint().width()) << "text cut off";
        } else {
            EXPECT_EQ(actual, designed);
        }
        if (auto* l = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(l->text(), c.text);
        }
        if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(b->text(), c.text);
        }
        if (auto* g = qobject_cast<QGroupBox*>(widget)) {
            EXPECT_EQ(g->title(), c.text);
        }
        EXPECT_EQ(widget->toolTip(), c.tooltip);
    }
    // The log box and the status line follow the window height; their left
    // edges and the log's width are as designed.
    EXPECT_EQ(window->txtLog->x(), 8);
    EXPECT_EQ(window->txtLog->width(), pixelsFromTwips(7935));
    EXPECT_EQ(window->lblMsg->x(), 8);
    EXPECT_EQ(window->centralWidget()->width(), pixelsFromTwips(8190));
    // The start and stop buttons show a picture of 16 x 16 pixels.
    EXPECT_FALSE(window->btnStart->icon().isNull());
    EXPECT_EQ(window->btnStart->iconSize(), QSize(16, 16));
    EXPECT_FALSE(window->btnStop->icon().isNull());
}

TEST_F(MainWindowTest, ListsHoldTheirItemsAndOnlyTheFormatListRefusesTyping) {
    auto window = makeWindow();
    auto items = [](QComboBox* box) {
        QStringList all;
        for (int i = 0; i < box->count(); ++i) all << box->itemText(i);
        return all;
    };
    EXPECT_EQ(items(window->combFormat),
              QStringList({QStringLiteral("推奨形式"), "JPEG", "PNG", "GIF", QStringLiteral("ﾒﾀﾋﾟｸﾁｬ")}));
    EXPECT_EQ(items(window->combRatio), QStringList({"1", "1.5", "2", "3", "4", "5", "10"}));
    EXPECT_EQ(items(window->combFileSize), QStringList({"10", "50", "100", "500", "1000"}));
    EXPECT_EQ(items(window->combExpectRate), QStringList({"95", "75", "50", "25", "10"}));
    EXPECT_EQ(items(window->combPixelSize), QStringList({"10", "50", "100", "9999"}));
    EXPECT_FALSE(window->combFormat->isEditable());
    for (QComboBox* box : {window->combRatio, window->combFileSize, window->combExpectRate, window->combPixelSize}) {
        EXPECT_TRUE(box->isEditable()) << box->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, TypedTextIsTakenAsItStands) {
    auto window = makeWindow();
    window->show();
    // "5" is the start of the item "50" but stays "5"; Enter adds no item.
    window->combFileSize->lineEdit()->clear();
    QTest::keyClicks(window->combFileSize->lineEdit(), QStringLiteral("5"));
    QTest::keyClick(window->combFileSize->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(window->combFileSize->currentText(), QStringLiteral("5"));
    EXPECT_EQ(window->combFileSize->count(), 5);
    EXPECT_EQ(window->conditions().FileSizeText(), "5");
}

TEST_F(MainWindowTest, MenusAndTabOrderAreAsDesigned) {
    auto window = makeWindow();
    const auto menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("ファイル(&F)"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("ヘルプ(&H)"));
    ASSERT_EQ(window->mnuFile->actions().size(), 1);
    EXPECT_EQ(window->mnuFile->actions()[0]->text(), QStringLiteral("終了(&Q)"));
    const auto help = window->mnuHelp->actions();
    ASSERT_EQ(help.size(), 4);
    EXPECT_EQ(help[0]->text(), QStringLiteral("最新バージョンチェック(&U)"));
    EXPECT_EQ(help[1]->text(), QStringLiteral("サポート(&S)"));
    EXPECT_TRUE(help[2]->isSeparator());
    EXPECT_TRUE(help[3]->text().contains(QStringLiteral("(&A)")));

    int about = 0, support = 0, update = 0;
    window->showAbout = [&] { ++about; };
    window->openSupportPage = [&] { ++support; };
    window->openUpdatePage = [&] { ++update; };
    window->mnuAbout->trigger();
    window->mnuSupport->trigger();
    window->mnuSupport->trigger();
    window->mnuUpdate->trigger();
    EXPECT_EQ(about, 1);
    EXPECT_EQ(support, 2);
    EXPECT_EQ(update, 1);

    window->chkObject->setChecked(true);  // btnObject takes part only while shown
    window->show();
    const std::vector<QWidget*> expected = {
        window->txtSource,      window->btnOpen,       window->btnClear,  window->combFileSize, window->combRatio,
        window->combFormat,     window->combExpectRate, window->combPixelSize, window->chkObject,
        window->btnObject,      window->ChkSlow,       window->btnReset,  window->btnStart,     window->btnStop,
        window->txtLog};
    std::vector<QWidget*> chain;
    QWidget* w = window->txtSource;
    do {
        // Focus proxies (the line edits of the lists) stand for their list.
        QWidget* shown = w;
        while (shown->parentWidget() && shown->parentWidget()->focusProxy() == shown) shown = shown->parentWidget();
        const bool tabStop = (w->focusPolicy() & Qt::TabFocus) && w->isVisible() &&
                             std::find(expected.begin(), expected.end(), shown) != expected.end();
        if (tabStop && (chain.empty() || chain.back() != shown)) chain.push_back(shown);
        w = w->nextInFocusChain();
    } while (w != window->txtSource && chain.size() < 40);
    EXPECT_EQ(chain, expected);
}

TEST_F(MainWindowTest, FirstStartShowsTheDefaults) {
    auto window = makeWindow();
    window->show();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quelto MSケルヴァラン"));
    EXPECT_EQ(window->combFormat->currentIndex(), 0);
    EXPECT_EQ(window->combRatio->currentText(), QStringLiteral("1.5"));
    EXPECT_EQ(window->combFileSize->currentText(), QStringLiteral("50"));
    EXPECT_EQ(window->combExpectRate->currentText(), QStringLiteral("75"));
    EXPECT_EQ(window->combPixelSize->currentText(), QStringLiteral("9999"));
    EXPECT_FALSE(window->chkObject->isChecked());
    EXPECT_FALSE(window->ChkSlow->isChecked());
    EXPECT_FALSE(window->formatDialog()->chkTwice->isChecked());
    EXPECT_FALSE(window->btnObject->isVisible());
    EXPECT_FALSE(window->formatDialog()->isVisible());
    EXPECT_FALSE(window->picCheck->isVisible());
    EXPECT_FALSE(window->picCompare->isVisible());
    EXPECT_EQ(window->windowHeightTwips(), twipsFromPixels(pixelsFromTwips(7000)));
    EXPECT_EQ(window->runState().waitXP, 200);
    EXPECT_EQ(window->runState().wait2000, 500);
    EXPECT_EQ(window->lblMsg->text(), QStringLiteral("OK"));
    EXPECT_TRUE(window->btnStart->isEnabled());
    EXPECT_FALSE(window->btnStop->isEnabled());
    // The exception list holds the built-in entries when no file exists.
    EXPECT_GT(window->exceptionList().size(), 0u);
}

TEST_F(MainWindowTest, StoredValuesAreRestoredAndBlankOrBrokenOnesTakeTheirDefaults) {
    store("Slow", "1");
    store("WaitXP", "350");
    store("Wait2000", "x");  // not a number: the default
    store("Format", "3");
    store("Ratio", "7");
    store("FileSize", "100");
    store("ExpectRate", " \r\n");  // blank
    store("PixelSize", "50");
    store("FormHeight", "6000");
    store("OLE", "1");
    store("Twice", "1");
    auto window = makeWindow();
    window->show();
    EXPECT_TRUE(window->ChkSlow->isChecked());
    EXPECT_EQ(window->runState().waitXP, 350);
    EXPECT_EQ(window->runState().wait2000, 500);
    EXPECT_EQ(window->combFormat->currentText(), QStringLiteral("GIF"));
    EXPECT_EQ(window->combRatio->currentText(), QStringLiteral("7"));
    EXPECT_EQ(window->combFileSize->currentText(), QStringLiteral("100"));
    EXPECT_EQ(window->combExpectRate->currentText(), QStringLiteral("75"));
    EXPECT_EQ(window->combPixelSize->currentText(), QStringLiteral("50"));
    EXPECT_EQ(window->windowHeightTwips(), 6000);
    EXPECT_TRUE(window->chkObject->isChecked());
    EXPECT_TRUE(window->btnObject->isVisible());
    EXPECT_TRUE(window->formatDialog()->chkTwice->isChecked());
    // The engine reads the same through the live view.
    auto& conditions = window->conditions();
    EXPECT_EQ(conditions.RatioText(), "7");
    EXPECT_EQ(conditions.FormatIndex(), 3);
    EXPECT_TRUE(conditions.ConvertObjects());
    EXPECT_TRUE(conditions.SlowMode());
    EXPECT_TRUE(conditions.Recompress());
}

TEST_F(MainWindowTest, UnreadableHeightAndStatesLeaveTheDesignWhileTheRestLoads) {
    store("FormHeight", "abc");
    store("OLE", "yes");
    store("Ratio", "2");
    auto window = makeWindow();
    const int designedHeight = window->height();
    window->show();
    EXPECT_EQ(window->height(), designedHeight);
    EXPECT_FALSE(window->chkObject->isChecked());
    EXPECT_FALSE(window->btnObject->isVisible());
    EXPECT_EQ(window->combRatio->currentText(), QStringLiteral("2"));
}

TEST_F(MainWindowTest, ClosingStoresTheConditionsAndTheExceptionList) {
    store("Ratio", "3");
    {
        auto window = makeWindow();
        window->show();
        window->ChkSlow->setChecked(true);
        window->combFormat->setCurrentIndex(4);
        window->combRatio->setEditText(QString());  // empty: the stored value stays
        window->combFileSize->setEditText(QStringLiteral("10"));
        window->combPixelSize->setEditText(QStringLiteral("100"));
        window->chkObject->setChecked(true);
        window->formatDialog()->chkTwice->setChecked(true);
        window->setWindowHeightTwips(6300);
        window->clipboard().setData("test", 1);
        window->mnuQuit->trigger();
        EXPECT_TRUE(window->unloaded());
        EXPECT_FALSE(window->clipboard().hasFormat("test"));
        EXPECT_EQ(quits_, 1);
        EXPECT_EQ(immediateEnds_, 0);
    }
    EXPECT_EQ(stored("Slow"), "1");
    EXPECT_EQ(stored("WaitXP"), "200");
    EXPECT_EQ(stored("Wait2000"), "500");
    EXPECT_EQ(stored("Format"), "4");
    EXPECT_EQ(stored("Ratio"), "3");
    EXPECT_EQ(stored("FileSize"), "10");
    EXPECT_EQ(stored("ExpectRate"), "75");
    EXPECT_EQ(stored("PixelSize"), "100");
    EXPECT_EQ(stored("FormHeight"), "6300");
    EXPECT_EQ(stored("OLE"), "1");
    EXPECT_EQ(stored("Twice"), "1");
    EXPECT_EQ(stored("AccessKey", Root::HKEY_CURRENT_USER), "0");
    EXPECT_TRUE(QFile::exists(q(iniPath())));

    // The next start shows what was stored, the kept ratio included.
    auto again = makeWindow();
    again->show();
    EXPECT_EQ(again->combRatio->currentText(), QStringLiteral("3"));
    EXPECT_EQ(again->combFormat->currentIndex(), 4);
    EXPECT_EQ(again->combPixelSize->currentText(), QStringLiteral("100"));
    EXPECT_EQ(again->windowHeightTwips(), 6300);
    EXPECT_TRUE(again->formatDialog()->chkTwice->isChecked());
}

TEST_F(MainWindowTest, ATypedValueOutsideTheListSurvivesARestart) {
    {
        auto window = makeWindow();
        window->combRatio->setEditText(QStringLiteral("7"));
        window->close();
    }
    auto again = makeWindow();
    EXPECT_EQ(again->combRatio->currentText(), QStringLiteral("7"));
}

TEST_F(MainWindowTest, ResetRestoresTheConditionsButNotSlowModeOrRecompression) {
    auto window = makeWindow();
    window->show();
    window->combFormat->setCurrentIndex(2);
    window->combRatio->setEditText(QStringLiteral("4"));
    window->combFileSize->setEditText(QStringLiteral("1000"));
    window->combExpectRate->setEditText(QStringLiteral("10"));
    window->combPixelSize->setEditText(QStringLiteral("10"));
    window->chkObject->click();
    ASSERT_TRUE(window->btnObject->isVisible());
    window->ChkSlow->setChecked(true);
    window->formatDialog()->chkTwice->setChecked(true);
    window->runState().waitXP = 123;

    window->btnReset->click();
    EXPECT_EQ(window->combFormat->currentIndex(), 0);
    EXPECT_EQ(window->combRatio->currentText(), QStringLiteral("1.5"));
    EXPECT_EQ(window->combFileSize->currentText(), QStringLiteral("50"));
    EXPECT_EQ(window->combExpectRate->currentText(), QStringLiteral("75"));
    EXPECT_EQ(window->combPixelSize->currentText(), QStringLiteral("9999"));
    EXPECT_FALSE(window->chkObject->isChecked());
    EXPECT_FALSE(window->btnObject->isVisible());
    EXPECT_TRUE(window->ChkSlow->isChecked());
    EXPECT_TRUE(window->formatDialog()->chkTwice->isChecked());
    EXPECT_EQ(window->runState().waitXP, 123);
}

TEST_F(MainWindowTest, TheObjectButtonFollowsItsCheckBoxAndOpensTheFormatDialog) {
    auto window = makeWindow();
    window->show();
    window->chkObject->click();
    EXPECT_TRUE(window->btnObject->isVisible());
    window->btnObject->click();
    EXPECT_TRUE(window->formatDialog()->isVisible());
    EXPECT_FALSE(window->formatDialog()->isModal());
    window->chkObject->click();
    EXPECT_FALSE(window->btnObject->isVisible());
    // Closing the window ends the program with the dialog.
    window->close();
    EXPECT_FALSE(window->formatDialog()->isVisible());
}

TEST_F(MainWindowTest, ClearEmptiesTheInputBoxAndFocusesIt) {
    auto window = makeWindow();
    window->show();
    window->activateWindow();
    window->txtSource->setPlainText(QStringLiteral("a.doc\nb.doc"));
    window->btnOpen->setFocus();
    window->btnClear->click();
    EXPECT_TRUE(window->txtSource->toPlainText().isEmpty());
    EXPECT_EQ(window->focusWidget(), window->txtSource);
}

TEST_F(MainWindowTest, ResizingMovesTheStatusLineAndStretchesTheLogOnly) {
    auto window = makeWindow();
    window->show();
    const QRect source = window->txtSource->geometry();
    const QRect frame = window->Frame1->geometry();
    const QRect start = window->btnStart->geometry();
    const int logTop = window->txtLog->y();

    window->setWindowHeightTwips(6000);
    QApplication::processEvents();
    EXPECT_EQ(window->lblMsg->y(), pixelsFromTwips(6000 - twipsFromPixels(window->lblMsg->height()) - 900));
    EXPECT_EQ(window->txtLog->height(), pixelsFromTwips(6000 - 4260 - 1200));
    EXPECT_EQ(window->txtLog->y(), logTop);
    EXPECT_EQ(window->txtSource->geometry(), source);
    EXPECT_EQ(window->Frame1->geometry(), frame);
    EXPECT_EQ(window->btnStart->geometry(), start);

    window->setWindowHeightTwips(9000);
    QApplication::processEvents();
    EXPECT_EQ(window->txtLog->height(), pixelsFromTwips(9000 - 4260 - 1200));

    // So small that the log would get a negative height: it stays as it was.
    window->setWindowHeightTwips(4500);
    QApplication::processEvents();
    EXPECT_EQ(window->txtLog->height(), pixelsFromTwips(9000 - 4260 - 1200));
    EXPECT_EQ(window->lblMsg->y(), pixelsFromTwips(4500 - twipsFromPixels(window->lblMsg->height()) - 900));
}

TEST_F(MainWindowTest, AHostileStoredHeightIsKeptWithinTheScreen) {
    store("FormHeight", "2000000000");
    auto window = makeWindow();
    window->show();
    ASSERT_NE(window->screen(), nullptr);
    EXPECT_LE(window->frameGeometry().height(), window->screen()->availableGeometry().height());
}

TEST_F(MainWindowTest, LogLinesLandAtTheEndWhateverIsSelected) {
    auto window = makeWindow();
    window->appendLog("▼開始▼ /tmp/a.doc\r\n");
    // The user selects the first characters of the log.
    QTextCursor selection = window->txtLog->textCursor();
    selection.setPosition(0);
    selection.setPosition(3, QTextCursor::KeepAnchor);
    window->txtLog->setTextCursor(selection);
    window->appendLog("▲終了▲ 2KB->0KB\r\n\r\n");
    EXPECT_EQ(window->txtLog->toPlainText(), QStringLiteral("▼開始▼ /tmp/a.doc\n▲終了▲ 2KB->0KB\n\n"));
    window->clearLog();
    EXPECT_TRUE(window->txtLog->toPlainText().isEmpty());
}

TEST_F(MainWindowTest, StatusLineIsSizedToItsText) {
    auto window = makeWindow();
    window->show();
    const int height = window->lblMsg->height();
    window->setStatus("停止処理中...しばらくお待ちください。");
    EXPECT_EQ(window->statusText(), "停止処理中...しばらくお待ちください。");
    EXPECT_GE(window->lblMsg->width(), window->lblMsg->sizeHint().width());
    EXPECT_EQ(window->lblMsg->height(), height);
    const int longWidth = window->lblMsg->width();
    window->setStatus("OK");
    EXPECT_LT(window->lblMsg->width(), longWidth);
}

TEST_F(MainWindowTest, InputTextTravelsWithCrLfLineBreaks) {
    auto window = makeWindow();
    window->show();
    window->txtSource->setFocus();
    QTest::keyClicks(window->txtSource, QStringLiteral("a.doc"));
    QTest::keyClick(window->txtSource, Qt::Key_Return);
    QTest::keyClicks(window->txtSource, QStringLiteral("b.rtf"));
    EXPECT_EQ(window->inputText(), "a.doc\r\nb.rtf");
    // Tab leaves the box instead of typing a tab into a file name.
    QTest::keyClick(window->txtSource, Qt::Key_Tab);
    EXPECT_EQ(window->inputText(), "a.doc\r\nb.rtf");
}

TEST_F(MainWindowTest, DroppedFilesAndFoldersAreAddedOnePerLineAtTheCaret) {
    auto window = makeWindow();
    window->show();
    QDir work(work_.path());
    ASSERT_TRUE(work.mkpath(QStringLiteral("folder/sub")));
    for (const char* name : {"folder/b.txt", "folder/a.doc", "folder/sub/c.doc", "single.rtf"}) {
        QFile file(work.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    window->txtSource->setPlainText(QStringLiteral("first.doc\nlast.doc"));
    // The caret after "first.doc" and its line break.
    QTextCursor caret = window->txtSource->textCursor();
    caret.setPosition(10);
    window->txtSource->setTextCursor(caret);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(work.filePath(QStringLiteral("single.rtf"))),
                  QUrl::fromLocalFile(work.filePath(QStringLiteral("folder")))});
    // File managers offer the same addresses as text too; the list wins.
    data.setText(QStringLiteral("file:///somewhere/else.doc"));
    EXPECT_TRUE(dragAndDrop(window->txtSource, &data, QPoint(5, 5)));

    const std::string folder = work.filePath(QStringLiteral("folder")).toStdString();
    const std::string expected = "first.doc\r\n" + work.filePath(QStringLiteral("single.rtf")).toStdString() +
                                 "\r\n" + folder + "/a.doc\r\n" + folder + "/b.txt\r\nlast.doc";
    EXPECT_EQ(window->inputText(), expected);
}

TEST_F(MainWindowTest, DroppedTextReplacesTheSelectionAndEndsWithALineBreak) {
    auto window = makeWindow();
    window->show();
    window->txtSource->setPlainText(QStringLiteral("old.doc"));
    QTextCursor selection = window->txtSource->textCursor();
    selection.setPosition(0);
    selection.setPosition(3, QTextCursor::KeepAnchor);
    window->txtSource->setTextCursor(selection);

    QMimeData data;
    data.setText(QStringLiteral("/tmp/typed name.doc"));
    EXPECT_TRUE(dragAndDrop(window->txtSource, &data, QPoint(50, 20)));
    EXPECT_EQ(window->inputText(), "/tmp/typed name.doc\r\n.doc");

    // Nothing usable: nothing changes.
    QMimeData empty;
    empty.setData(QStringLiteral("application/octet-stream"), QByteArray("x"));
    EXPECT_FALSE(dragAndDrop(window->txtSource, &empty, QPoint(5, 5)));
    EXPECT_FALSE(window->txtSource->insertDropped(&empty));
    EXPECT_EQ(window->inputText(), "/tmp/typed name.doc\r\n.doc");
}

TEST_F(MainWindowTest, TheOpenDialogAppendsEachChosenFileAtTheEnd) {
    auto window = makeWindow();
    window->txtSource->setPlainText(QStringLiteral("a.doc\n"));
    QTextCursor caret = window->txtSource->textCursor();
    caret.setPosition(0);
    window->txtSource->setTextCursor(caret);

    chosen_ = {QStringLiteral("/x.doc"), QStringLiteral("/y.doc")};
    window->btnOpen->click();
    EXPECT_EQ(window->inputText(), "a.doc\r\n/x.doc\r\n/y.doc\r\n");

    chosen_.clear();  // cancelled
    window->btnOpen->click();
    EXPECT_EQ(window->inputText(), "a.doc\r\n/x.doc\r\n/y.doc\r\n");
}

TEST_F(MainWindowTest, RefusedInputShowsItsMessageAndLeavesTheWindowIdle) {
    auto window = makeWindow();
    window->show();
    window->txtSource->setPlainText(QStringLiteral("   "));
    window->btnStart->click();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].first, "ワードファイルを指定してください");
    EXPECT_EQ(messages_.shown[0].second, platform::MessageIcon::Exclamation);

    const std::string missing = QDir(work_.path()).filePath(QStringLiteral("missing.doc")).toStdString();
    window->txtSource->setPlainText(q(missing));
    window->btnStart->click();
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[1].first, "入力ファイルが存在しません：" + missing);

    EXPECT_TRUE(window->btnStart->isEnabled());
    EXPECT_FALSE(window->btnStop->isEnabled());
    EXPECT_EQ(window->statusText(), "OK");
}

TEST_F(MainWindowTest, ARunDisablesStartEnablesStopAndLogsEachDocument) {
    auto window = makeWindow();
    window->show();
    const std::string rtf = copyOfDocument(QStringLiteral("gen-text-only.rtf"), QStringLiteral("text.rtf"));
    const std::string doc = copyOfDocument(QStringLiteral("gen-text-only.doc"), QStringLiteral("text.DOC"));
    window->txtSource->setPlainText(q("  " + rtf + "\n\n" + doc + "  "));
    window->appendLog("from an earlier run\r\n");

    std::vector<std::pair<bool, bool>> buttonsDuringWalk;
    std::vector<std::string> statusDuringWalk;
    walk_ = [&] {
        buttonsDuringWalk.emplace_back(window->btnStart->isEnabled(), window->btnStop->isEnabled());
        statusDuringWalk.push_back(window->statusText());
    };
    window->btnStart->click();

    for (const auto& [text, icon] : messages_.shown) ADD_FAILURE() << text;
    ASSERT_EQ(buttonsDuringWalk.size(), 2u);
    for (const auto& [start, stop] : buttonsDuringWalk) {
        EXPECT_FALSE(start);
        EXPECT_TRUE(stop);
    }
    EXPECT_EQ(statusDuringWalk[0], "処理中");
    EXPECT_TRUE(window->btnStart->isEnabled());
    EXPECT_FALSE(window->btnStop->isEnabled());
    EXPECT_EQ(window->statusText(), "変換完了");
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Quelto MSケルヴァラン [Office")));

    const QString log = window->txtLog->toPlainText();
    EXPECT_FALSE(log.contains(QStringLiteral("earlier run")));
    EXPECT_TRUE(log.startsWith(q("▼開始▼ " + rtf + "\n▲終了▲ ")));
    EXPECT_TRUE(log.contains(q("\n\n▼開始▼ " + doc + "\n▲終了▲ ")));
    EXPECT_TRUE(log.endsWith(QStringLiteral("KB->0KB\n\n")));
    // Nothing was converted: no output beside the inputs.
    EXPECT_EQ(QDir(work_.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(MainWindowTest, AConvertedDocumentIsSavedBesideTheInputAndTheSlowModeTakesItsPause) {
    auto window = makeWindow();
    window->show();
    const std::string input = copyOfDocument(QStringLiteral("gen-text-only.rtf"), QStringLiteral("text.RTF"));
    window->txtSource->setPlainText(q(input));
    window->ChkSlow->setChecked(true);
    window->runState().waitXP = 70;
    walk_ = [&] { window->runState().docConverted = true; };
    window->btnStart->click();

    // 2,529 bytes are 2 KB; the fake office writes 2,048 bytes.
    const QString output = QDir(work_.path()).filePath(QStringLiteral("text-slimmed-2k.rtf"));
    EXPECT_TRUE(QFile::exists(output));
    EXPECT_TRUE(window->txtLog->toPlainText().contains(QStringLiteral("▲終了▲ 2KB->2KB\n")));
    EXPECT_EQ(office_.opened, std::vector<std::string>{input});
    EXPECT_EQ(window->runState().waitMs, 70);
    EXPECT_EQ(window->statusText(), "変換完了");
}

TEST_F(MainWindowTest, StopDuringAWalkEndsTheRunAfterThatDocument) {
    auto window = makeWindow();
    window->show();
    const std::string first = copyOfDocument(QStringLiteral("gen-text-only.rtf"), QStringLiteral("one.rtf"));
    const std::string second = copyOfDocument(QStringLiteral("gen-text-only.rtf"), QStringLiteral("two.rtf"));
    window->txtSource->setPlainText(q(first + "\n" + second));

    int walks = 0;
    walk_ = [&] {
        ++walks;
        // The stop button is pressed while the walk lets events through;
        // the walk then gives up what it had converted.
        QTest::mouseClick(window->btnStop, Qt::LeftButton);
        EXPECT_EQ(window->statusText(), "停止処理中...しばらくお待ちください。");
        EXPECT_FALSE(window->btnStop->isEnabled());
        EXPECT_TRUE(window->runState().stopRequested);
    };
    window->btnStart->click();

    EXPECT_EQ(walks, 1);
    EXPECT_EQ(window->statusText(), "変換中断");
    EXPECT_TRUE(window->btnStart->isEnabled());
    EXPECT_FALSE(window->btnStop->isEnabled());
    EXPECT_FALSE(window->txtLog->toPlainText().contains(q(second)));
}

TEST_F(MainWindowTest, ClosingDuringARunStoresTheSettingsAndEndsAtOnce) {
    auto window = makeWindow();
    window->show();
    const std::string rtf = copyOfDocument(QStringLiteral("gen-text-only.rtf"), QStringLiteral("one.rtf"));
    window->txtSource->setPlainText(q(rtf));
    window->combRatio->setEditText(QStringLiteral("4"));
    walk_ = [&] { window->close(); };
    window->btnStart->click();
    EXPECT_EQ(immediateEnds_, 1);
    EXPECT_EQ(quits_, 0);
    EXPECT_EQ(stored("Ratio"), "4");
}

TEST_F(MainWindowTest, AnOfficeThatCannotStartStopsTheProgram) {
    frmMainServices services;
    services.registry = registry_.get();
    services.exceptionListPath = iniPath();
    services.registerBackends = [](office::OfficeFactory&) {};  // no backend: Word cannot be created
    services.fileSystem = &fileSystem_;
    services.messages = &messages_;
    frmMain window(services);
    window.endAtOnce = [this] { ++immediateEnds_; };
    window.txtSource->setPlainText(q(copyOfDocument(QStringLiteral("gen-text-only.rtf"), QStringLiteral("a.rtf"))));
    window.btnStart_Click();
    ASSERT_FALSE(messages_.shown.empty());
    EXPECT_EQ(messages_.shown.back().second, platform::MessageIcon::Stop);
    EXPECT_EQ(immediateEnds_, 1);
    // When the end does not happen (here), the window is usable again.
    EXPECT_EQ(window.statusText(), "動作環境チェック中...失敗");
    EXPECT_TRUE(window.btnStart->isEnabled());
    EXPECT_FALSE(window.btnStop->isEnabled());
}

TEST_F(MainWindowTest, TheAutomationSeesAndSetsTheWindowState) {
    auto window = makeWindow();
    window->show();
    auto& control = window->automationControl();
    EXPECT_EQ(control.windowState(), 0);
    control.setWindowState(2);
    EXPECT_EQ(control.windowState(), 2);
    control.setWindowState(1);
    EXPECT_EQ(control.windowState(), 1);
    control.setWindowState(5);
    EXPECT_EQ(control.windowState(), 1);
    control.setWindowState(0);
    EXPECT_EQ(control.windowState(), 0);

    control.quitNow();
    EXPECT_EQ(immediateEnds_, 1);
    // Nothing was stored.
    EXPECT_EQ(stored("Ratio"), "");
    EXPECT_FALSE(window->unloaded());
}

TEST_F(MainWindowTest, HelpEntriesOpenTheMakersPagesInTheRegisteredBrowser) {
    registry_->WriteRegValue(Root::HKEY_CLASSES_ROOT, "http\\shell\\open\\command", "",
                             std::string("\"/opt/web-browser/bin/browser\" -new-tab \"%1\""));
    auto window = makeWindow();
    window->mnuSupport->trigger();
    window->mnuUpdate->trigger();
    ASSERT_EQ(starter_.started.size(), 2u);
    EXPECT_EQ(starter_.started[0].first, "/opt/web-browser/bin/browser");
    EXPECT_EQ(starter_.started[0].second, std::vector<std::string>{web::pageAddress(web::kSupportPath)});
    EXPECT_EQ(starter_.started[1].second, std::vector<std::string>{web::pageAddress(web::kUpdatePath)});
    EXPECT_NE(starter_.started[1].second[0].find("/service/servlet/update?app=kelvaran&ver="), std::string::npos);
    EXPECT_TRUE(messages_.shown.empty());

    starter_.succeeds = false;
    window->mnuSupport->trigger();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].first, web::kCannotOpenMessage);
    EXPECT_EQ(messages_.shown[0].second, platform::MessageIcon::None);
}

TEST_F(MainWindowTest, AboutShowsTheCurrentTitleAndIsDiscardedWhenClosed) {
    auto window = makeWindow();
    window->show();
    window->mnuAbout->trigger();
    auto dialogs = window->findChildren<web::AboutDialog*>();
    ASSERT_EQ(dialogs.size(), 1);
    QPointer<web::AboutDialog> first = dialogs[0];
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Quelto MSケルヴァラン"));
    EXPECT_EQ(first->lblVersion->text(), q(kApplicationTitle) + QStringLiteral(" Ver.") + kVersionDotted);
    first->OKButton->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());

    // After a run the title carries the office mode, and so does the next About.
    window->setWindowTitle(QStringLiteral("Quelto MSケルヴァラン [Word2003]"));
    window->mnuAbout->trigger();
    dialogs = window->findChildren<web::AboutDialog*>();
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_EQ(dialogs[0]->windowTitle(), QStringLiteral("Quelto MSケルヴァラン [Word2003]"));
    EXPECT_EQ(dialogs[0]->lblVersion->text(), q(kApplicationTitle) + QStringLiteral(" Ver.") + kVersionDotted);
    EXPECT_TRUE(dialogs[0]->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window->findChildren<web::AboutDialog*>().isEmpty());
}

}  // namespace
}  // namespace kelvaran::app::gui

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
