#include "app/gui/frmMain.h"

#include "app/gui/ButtonPictures.h"
#include "app/gui/InterfaceFont.h"
#include "app/gui/MainWindowAutomation.h"
#include "app/gui/SourceBox.h"
#include "app/gui/Twips.h"
#include "app/gui/WindowConditions.h"
#include "app/run/AppTitle.h"
#include "office/OfficeControl.h"
#include "platform/FileSystem.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/QtTimer.h"
#include "rules/ExceptionListFile.h"
#include "rules/frmObject.h"
#include "settings/RegAccess.h"
#include "settings/StoredSettings.h"
#include "web/AboutDialog.h"
#include "web/WebPages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTextCursor>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace kelvaran::app::gui {

namespace {

// Designed client area.
constexpr int kClientWidth = 8190;
constexpr int kClientHeight = 7695;
// Distances the resize keeps to the bottom edge of the window.
constexpr int kStatusBottomMargin = 900;
constexpr int kLogBottomMargin = 1200;
// The log box's top, which the resize measures its height from.
constexpr int kLogTop = 4260;

QString qt(const std::string& utf8) { return QString::fromStdString(utf8); }

template <typename Step>
void silently(Step&& body) {
    try {
        body();
    } catch (const std::exception&) {
        // Skipped.
    }
}

// Places a control at its designed position.  Texts in this font are taller
// than the designed rows of labels and check boxes; those keep their left
// edge and centre line and grow to the size their text needs, so nothing is
// cut off.
void place(QWidget* widget, int left, int top, int width, int height) {
    QRect rect = rectFromTwips(left, top, width, height);
    if (qobject_cast<QLabel*>(widget) || qobject_cast<QCheckBox*>(widget)) {
        const QSize needed = widget->sizeHint();
        if (needed.height() > rect.height()) {
            const int centre = rect.top() * 2 + rect.height();
            rect.setHeight(needed.height());
            rect.moveTop((centre - needed.height()) / 2);
        }
        if (needed.width() > rect.width()) rect.setWidth(needed.width());
    }
    widget->setGeometry(rect);
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* result = new QLabel(text, parent);
    result->setObjectName(QString::fromLatin1(name));
    return result;
}

QComboBox* list(QWidget* parent, const char* name, bool editable, const QString& tooltip) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(editable);
    if (editable) {
        // Any typed text is taken as it stands: no completion from the list
        // items ("5" must not turn into "50") and nothing is added to them.
        box->setCompleter(nullptr);
        box->setInsertPolicy(QComboBox::NoInsert);
    }
    box->setToolTip(tooltip);
    // The designed lists are narrow: a slimmer drop-down button leaves room
    // for four digits.
    box->setStyleSheet(QStringLiteral("QComboBox { padding-left: 0px; } QComboBox::drop-down { width: 12px; }"));
    return box;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, const QString& tooltip) {
    auto* result = new QPushButton(text, parent);
    result->setObjectName(QString::fromLatin1(name));
    result->setToolTip(tooltip);
    result->setAutoDefault(false);
    return result;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, const QString& tooltip) {
    auto* result = new QCheckBox(text, parent);
    result->setObjectName(QString::fromLatin1(name));
    result->setToolTip(tooltip);
    return result;
}

void fill(QComboBox* box, std::initializer_list<const char16_t*> items) {
    for (const char16_t* item : items) box->addItem(QString::fromUtf16(item));
}

void setText(QComboBox* box, const std::string& text) {
    if (box->isEditable()) {
        box->setEditText(qt(text));
        box->lineEdit()->setCursorPosition(0);
    } else {
        const int index = box->findText(qt(text));
        if (index >= 0) box->setCurrentIndex(index);
    }
}

}  // namespace

frmMain::frmMain(frmMainServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)), assembly_(services_.registerBackends) {
    setObjectName(QStringLiteral("frmMain"));
    state_.fileSystem = services_.fileSystem;
    if (services_.messages) {
        messages_ = services_.messages;
    } else {
        ownMessages_ = std::make_unique<platform::qt::QtMessageBoxes>(kApplicationTitle, this);
        messages_ = ownMessages_.get();
    }
    pump_ = std::make_unique<platform::qt::QtEventPump>();
    if (services_.starter) {
        starter_ = services_.starter;
    } else {
        ownStarter_ = std::make_unique<web::DetachedProgramStarter>();
        starter_ = ownStarter_.get();
    }
    timer_ = std::make_unique<platform::qt::QtTimer>();

    chooseFiles = [this] {
        QFileDialog dialog(this, QStringLiteral("ファイルを開く"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setNameFilters({QStringLiteral("WORDファイル (*.doc)"), QStringLiteral("RTFファイル (*.rtf)")});
        dialog.selectNameFilter(QStringLiteral("WORDファイル (*.doc)"));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
    };
    showAbout = [this] { mnuAbout_Click(); };
    openSupportPage = [this] { mnuSupport_Click(); };
    openUpdatePage = [this] { mnuUpdate_Click(); };
    quitApplication = [] { QCoreApplication::quit(); };
    endAtOnce = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };

    setFont(interfaceFont());
    createMenus();
    createControls();
    setTabOrder();

    // The format dialog is loaded with the window and lives as long as it.
    formatDialog_ = new rules::frmObject(exceptions_, this);
    formatDialog_->hide();

    conditions_ = std::make_unique<WindowConditions>(WindowConditions::Controls{
        combFileSize, combRatio, combFormat, combExpectRate, combPixelSize, chkObject, ChkSlow,
        formatDialog_->chkTwice});
    automation_ = std::make_unique<MainWindowAutomation>(this, [this] {
        discardScratchFiles();
        if (endAtOnce) endAtOnce();
    });

    assembly_.assemble({*conditions_, *this, *this, *messages_, *pump_, *timer_}, services_.makeWalker);
    officeControl().setCaption = [this](const std::string& caption) { setWindowTitle(qt(caption)); };
    officeControl().endProgram = [this] {
        discardScratchFiles();
        if (endAtOnce) endAtOnce();
    };

    connectHandlers();
    Form_Load();
}

frmMain::~frmMain() {
    // The dialog works on the exception list, a member: let it go first.
    delete formatDialog_;
    formatDialog_ = nullptr;
}

engine::Conditions& frmMain::conditions() { return *conditions_; }

automation::MainWindowControl& frmMain::automationControl() { return *automation_; }

void frmMain::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    Label8 = label(client, "Label8", QStringLiteral(u"入力ﾌｧｲﾙ ( .doc )  \u3000\u3000\u3000改行で複数指定可"));
    txtSource = new SourceBox(client);
    txtSource->setObjectName(QStringLiteral("txtSource"));
    txtSource->setFileSystem(services_.fileSystem);
    btnOpen = button(client, "btnOpen", QStringLiteral("参照..."), QStringLiteral("ダイアログを開く"));
    btnClear = button(client, "btnClear", QStringLiteral("クリア"), QStringLiteral("クリア"));

    Frame1 = new QGroupBox(QStringLiteral("条件設定"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));

    combFileSize = list(Frame1, "combFileSize", true,
                        QStringLiteral("指定したﾌｧｲﾙｻｲｽﾞ以上の画像が変換対象となります"));
    Label5 = label(Frame1, "Label5", QStringLiteral("KB以上の画像を"));
    combRatio = list(Frame1, "combRatio", true,
                     QStringLiteral("1倍画質は表示ﾋﾟｸｾﾙ数と等しいﾋﾟｸｾﾙ数の画像を作成します"));
    Label1 = label(Frame1, "Label1", QStringLiteral("倍画質の"));
    combFormat = list(Frame1, "combFormat", false,
                      QStringLiteral("推奨形式はJPEGを主体とし適宜ﾒﾀﾋﾟｸﾁｬをﾐｯｸｽさせる形式です"));
    Label2 = label(Frame1, "Label2", QStringLiteral("に内部変換する"));
    Label3 = label(Frame1, "Label3", QStringLiteral("ﾌｧｲﾙｻｲｽﾞを"));
    combExpectRate = list(Frame1, "combExpectRate", true,
                          QStringLiteral("ﾌｧｲﾙｻｲｽﾞが指定の大きさ以下に圧縮できた画像のみ変換します"));
    Label4 = label(Frame1, "Label4", QStringLiteral("％以下に減らせる画像のみ変換する"));
    Label6 = label(Frame1, "Label6", QStringLiteral("表示ｻｲｽﾞが"));
    combPixelSize = list(Frame1, "combPixelSize", true,
                         QStringLiteral("指定された表示ｻｲｽﾞより小さいｵﾌﾞｼﾞｪｸﾄを分解しないことで処理を高速化します"
                                        "(9999はｵﾌﾞｼﾞｪｸﾄを分解しません)"));
    Label7 = label(Frame1, "Label7", QStringLiteral("ﾋﾟｸｾﾙ以下のｵﾌﾞｼﾞｪｸﾄは分解しない"));
    chkObject = checkBox(Frame1, "chkObject", QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝｵﾌﾞｼﾞｪｸﾄを画像に変換する"),
                         QStringLiteral("他ｱﾌﾟﾘｹｰｼｮﾝで作成されたｵﾌﾞｼﾞｪｸﾄを画像に変換する"));
    btnObject = button(Frame1, "btnObject", QStringLiteral("画像形式"),
                       QStringLiteral("アプリケーション毎に画像変換形式を指定する"));
    ChkSlow = checkBox(Frame1, "ChkSlow", QStringLiteral("低速"),
                       QStringLiteral("低速ﾓｰﾄﾞ （誤動作回避用：通常は低速ﾓｰﾄﾞにする必要はありません）"));
    btnReset = button(Frame1, "btnReset", QStringLiteral("設定リセット"), QStringLiteral("設定リセット"));

    btnStart = button(client, "btnStart", QString(), QStringLiteral("変換処理開始"));
    btnStart->setIcon(startButtonPicture());
    btnStart->setIconSize(QSize(16, 16));
    btnStart->setAccessibleName(QStringLiteral("変換処理開始"));
    btnStop = button(client, "btnStop", QString(), QStringLiteral("停止"));
    btnStop->setIcon(stopButtonPicture());
    btnStop->setIconSize(QSize(16, 16));
    btnStop->setAccessibleName(QStringLiteral("停止"));

    Label9 = label(client, "Label9", QStringLiteral("ﾛｸﾞ"));
    txtLog = new QPlainTextEdit(client);
    txtLog->setObjectName(QStringLiteral("txtLog"));
    txtLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtLog->setTabChangesFocus(true);
    txtLog->setUndoRedoEnabled(false);
    lblMsg = label(client, "lblMsg", QString());
    picCheck = label(client, "picCheck", QString());
    picCompare = label(client, "picCompare", QString());

    place(Label8, 120, 180, 3285, 180);
    place(txtSource, 120, 420, 7095, 990);
    place(btnOpen, 7320, 420, 735, 435);
    place(btnClear, 7320, 960, 735, 435);
    place(Frame1, 120, 1620, 6795, 2175);
    place(btnStart, 7020, 1740, 1035, 1035);
    place(btnStop, 7020, 3180, 1035, 495);
    place(Label9, 120, 4020, 240, 180);
    place(txtLog, 120, 4260, 7935, 3015);
    place(lblMsg, 120, 7380, 495, 180);
    place(picCheck, 8400, 360, 1500, 1500);
    place(picCompare, 8400, 2100, 1500, 1500);

    place(combFileSize, 240, 360, 795, 300);
    place(Label5, 1140, 420, 1275, 180);
    place(combRatio, 2460, 360, 675, 300);
    place(Label1, 3240, 420, 720, 180);
    place(combFormat, 4020, 360, 1275, 300);
    place(Label2, 5400, 420, 1215, 180);
    place(Label3, 240, 900, 960, 180);
    place(combExpectRate, 1260, 840, 735, 300);
    place(Label4, 2100, 900, 2775, 180);
    place(Label6, 240, 1320, 930, 180);
    place(combPixelSize, 1260, 1260, 735, 300);
    place(Label7, 2100, 1320, 2700, 180);
    place(chkObject, 180, 1740, 3255, 255);
    place(btnObject, 3480, 1680, 975, 375);
    place(ChkSlow, 4620, 1770, 675, 195);
    place(btnReset, 5400, 1560, 1275, 495);

    const QSize designed(pixelsFromTwips(kClientWidth), pixelsFromTwips(kClientHeight));
    client->setMinimumSize(0, 0);
    resize(designed.width(), designed.height() + menuBar()->sizeHint().height());
}

void frmMain::createMenus() {
    mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuQuit = mnuFile->addAction(QStringLiteral("終了(&Q)"));
    mnuQuit->setObjectName(QStringLiteral("mnuQuit"));

    mnuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuUpdate = mnuHelp->addAction(QStringLiteral("最新バージョンチェック(&U)"));
    mnuUpdate->setObjectName(QStringLiteral("mnuUpdate"));
    mnuSupport = mnuHelp->addAction(QStringLiteral("サポート(&S)"));
    mnuSupport->setObjectName(QStringLiteral("mnuSupport"));
    mnuBar = mnuHelp->addSeparator();
    mnuBar->setObjectName(QStringLiteral("mnuBar"));
    mnuAbout = mnuHelp->addAction(QStringLiteral("バージョン情報(&A)"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
}

void frmMain::setTabOrder() {
    // Labels, the frame, the status line and the picture boxes take no focus.
    const QWidget* const order[] = {txtSource,  btnOpen, btnClear, combFileSize, combRatio,
                                    combFormat, combExpectRate, combPixelSize, chkObject, btnObject,
                                    ChkSlow,    btnReset, btnStart, btnStop, txtLog};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    }
}

void frmMain::connectHandlers() {
    connect(btnStart, &QPushButton::clicked, this, [this] { btnStart_Click(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { btnStop_Click(); });
    connect(btnOpen, &QPushButton::clicked, this, [this] { btnOpen_Click(); });
    connect(btnClear, &QPushButton::clicked, this, [this] { btnClear_Click(); });
    connect(btnReset, &QPushButton::clicked, this, [this] { btnReset_Click(); });
    connect(btnObject, &QPushButton::clicked, this, [this] { btnObject_Click(); });
    connect(chkObject, &QCheckBox::clicked, this, [this] { chkObject_Click(); });
    // The state may also change without a click (load, reset): the button follows it.
    connect(chkObject, &QCheckBox::toggled, btnObject, &QWidget::setVisible);
    connect(mnuQuit, &QAction::triggered, this, [this] { mnuQuit_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] {
        if (showAbout) showAbout();
    });
    connect(mnuSupport, &QAction::triggered, this, [this] {
        if (openSupportPage) openSupportPage();
    });
    connect(mnuUpdate, &QAction::triggered, this, [this] {
        if (openUpdatePage) openUpdatePage();
    });
}

void frmMain::Form_Load() {
    setWindowTitle(qt(kApplicationTitle));

    fill(combFormat, {u"推奨形式", u"JPEG", u"PNG", u"GIF", u"ﾒﾀﾋﾟｸﾁｬ"});
    fill(combRatio, {u"1", u"1.5", u"2", u"3", u"4", u"5", u"10"});
    fill(combFileSize, {u"10", u"50", u"100", u"500", u"1000"});
    fill(combExpectRate, {u"95", u"75", u"50", u"25", u"10"});
    fill(combPixelSize, {u"10", u"50", u"100", u"9999"});

    settings::StoredSettings stored;
    if (services_.registry) {
        try {
            stored = settings::StoredSettings::load(*services_.registry);
        } catch (const std::exception&) {
            stored = settings::StoredSettings{};
        }
    }
    ChkSlow->setChecked(stored.slow);
    state_.waitXP = stored.waitXP;
    state_.wait2000 = stored.wait2000;
    combFormat->setCurrentIndex(stored.format);
    setText(combRatio, stored.ratio);
    setText(combFileSize, stored.fileSize);
    setText(combExpectRate, stored.expectRate);
    setText(combPixelSize, stored.pixelSize);
    if (stored.formHeight) setWindowHeightTwips(*stored.formHeight);
    chkObject->setChecked(stored.ole.value_or(false));
    btnObject->setVisible(chkObject->isChecked());
    formatDialog_->chkTwice->setChecked(stored.twice.value_or(false));

    picCheck->hide();
    picCompare->hide();

    setStatus("OK");
    btnStart->setEnabled(true);
    btnStop->setEnabled(false);

    silently([&] {
        rules::LoadExceptionList(exceptions_, services_.exceptionListPath, [this] {
            if (services_.registry) formatDialog_->ShowInstalledInsertable(*services_.registry);
        });
    });
    if (exceptions_.size() == 0) silently([&] { rules::AddDefaultExceptions(exceptions_); });
}

int frmMain::windowHeightTwips() const {
    const int frameExtra = frameGeometry().height() - geometry().height();
    const int inner = (isMinimized() || isMaximized()) ? normalGeometry().height() : height();
    return twipsFromPixels((inner > 0 ? inner : height()) + frameExtra);
}

void frmMain::setWindowHeightTwips(int twips) {
    // A height that cannot be a window leaves the window as it is.
    if (twips <= 0) return;
    int outer = pixelsFromTwips(twips);
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const int available = screen->availableGeometry().height();
        if (available > 0 && outer > available) outer = available;
    }
    const int frameExtra = frameGeometry().height() - geometry().height();
    if (frameExtra <= 0) pendingOuterHeight_ = outer;
    resize(width(), std::max(1, outer - frameExtra));
}

void frmMain::applyPendingHeight() {
    if (!pendingOuterHeight_) return;
    const int frameExtra = frameGeometry().height() - geometry().height();
    if (frameExtra <= 0) return;
    const int outer = *pendingOuterHeight_;
    pendingOuterHeight_.reset();
    resize(width(), std::max(1, outer - frameExtra));
}

bool frmMain::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Move || event->type() == QEvent::Show || event->type() == QEvent::Resize) {
        applyPendingHeight();
    }
    return handled;
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::Form_Resize() {
    if (!lblMsg || !txtLog) return;
    if (isMinimized()) return;
    const int height = windowHeightTwips();
    const int statusTop = height - twipsFromPixels(lblMsg->height()) - kStatusBottomMargin;
    lblMsg->move(lblMsg->x(), pixelsFromTwips(statusTop));
    const int logHeight = height - kLogTop - kLogBottomMargin;
    if (logHeight >= 0) txtLog->resize(txtLog->width(), pixelsFromTwips(logHeight));
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (unloaded_) {
        event->accept();
        return;
    }
    Form_Unload();
    event->accept();
    if (batchRun().running()) {
        // A run is going on in the handler of the start button: the program
        // ends here, the conversion with it.
        discardScratchFiles();
        if (endAtOnce) endAtOnce();
        return;
    }
    if (formatDialog_) formatDialog_->hide();
    if (quitApplication) quitApplication();
}

void frmMain::Form_Unload() {
    unloaded_ = true;
    silently([&] { clipboard_.Clear(); });
    if (services_.registry) {
        settings::SettingsToStore values;
        values.slow = ChkSlow->isChecked();
        values.waitXP = state_.waitXP;
        values.wait2000 = state_.wait2000;
        values.format = combFormat->currentIndex() < 0 ? 0 : combFormat->currentIndex();
        values.ratio = combRatio->currentText().toStdString();
        values.fileSize = combFileSize->currentText().toStdString();
        values.expectRate = combExpectRate->currentText().toStdString();
        values.pixelSize = combPixelSize->currentText().toStdString();
        values.formHeight = windowHeightTwips();
        values.ole = chkObject->isChecked();
        values.twice = formatDialog_->chkTwice->isChecked();
        silently([&] { values.save(*services_.registry); });
    }
    silently([&] { rules::SaveExceptionList(exceptions_, services_.exceptionListPath); });
}

void frmMain::discardScratchFiles() {
    if (!state_.fileSystem) return;
    for (const std::string* path : {&state_.scratchPathA, &state_.scratchPathB}) {
        silently([&] {
            if (!path->empty() && state_.fileSystem->FileExists(*path)) state_.fileSystem->deletefile(*path);
        });
    }
}

void frmMain::btnStart_Click() {
    batchRun().StartRun();
}

void frmMain::btnStop_Click() {
    batchRun().StopRun();
}

void frmMain::btnOpen_Click() {
    if (!chooseFiles) return;
    const QStringList chosen = chooseFiles();
    if (chosen.isEmpty()) return;
    QTextCursor caret = txtSource->textCursor();
    caret.movePosition(QTextCursor::End);
    txtSource->setTextCursor(caret);
    QString inserted;
    for (const QString& file : chosen) inserted += file + QStringLiteral("\r\n");
    txtSource->insertAtCaret(inserted);
}

void frmMain::btnClear_Click() {
    txtSource->clear();
    txtSource->setFocus();
}

void frmMain::btnReset_Click() {
    combFormat->setCurrentIndex(0);
    combRatio->setEditText(QStringLiteral("1.5"));
    combFileSize->setEditText(QStringLiteral("50"));
    combExpectRate->setEditText(QStringLiteral("75"));
    combPixelSize->setEditText(QStringLiteral("9999"));
    chkObject->setChecked(false);
    btnObject->setVisible(false);
}

void frmMain::btnObject_Click() {
    formatDialog_->show();
    formatDialog_->raise();
    formatDialog_->activateWindow();
}

void frmMain::chkObject_Click() { btnObject->setVisible(chkObject->isChecked()); }

void frmMain::mnuQuit_Click() { close(); }

void frmMain::mnuAbout_Click() {
    // Modeless, and discarded when closed: each opening shows the title as it is now.
    auto* about = new web::AboutDialog(kApplicationTitle, this);
    about->show();
}

void frmMain::mnuSupport_Click() {
    if (!services_.registry) {
        messages_->show(web::kCannotOpenMessage, platform::MessageIcon::None);
        return;
    }
    web::OpenWebPage(web::kSupportPath, *services_.registry, *messages_, *pump_, *starter_);
}

void frmMain::mnuUpdate_Click() {
    if (!services_.registry) {
        messages_->show(web::kCannotOpenMessage, platform::MessageIcon::None);
        return;
    }
    web::OpenWebPage(web::kUpdatePath, *services_.registry, *messages_, *pump_, *starter_);
}

std::string frmMain::inputText() { return txtSource->text(); }

void frmMain::setStartEnabled(bool enabled) { btnStart->setEnabled(enabled); }

void frmMain::setStopEnabled(bool enabled) { btnStop->setEnabled(enabled); }

void frmMain::beep() { QApplication::beep(); }

void frmMain::appendLog(const std::string& text) {
    QTextCursor caret = txtLog->textCursor();
    caret.movePosition(QTextCursor::End);
    caret.insertText(qt(text));
    txtLog->setTextCursor(caret);
    txtLog->ensureCursorVisible();
}

void frmMain::clearLog() { txtLog->clear(); }

std::string frmMain::statusText() { return lblMsg->text().toStdString(); }

void frmMain::setStatus(const std::string& text) {
    lblMsg->setText(qt(text));
    // Sized to its text; the row keeps its height.
    lblMsg->resize(lblMsg->sizeHint().width(), lblMsg->height());
}

}  // namespace kelvaran::app::gui
