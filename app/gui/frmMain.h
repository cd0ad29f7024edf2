#pragma once

#include "app/run/BatchRun.h"
#include "app/run/RunAssembly.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "platform/Clipboard.h"
#include "rules/ExceptionList.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace kelvaran::automation {
class MainWindowControl;
}
namespace kelvaran::office {
class OfficeControl;
}
namespace kelvaran::platform {
class FileSystem;
class MessageBoxes;
namespace qt {
class QtEventPump;
class QtMessageBoxes;
class QtTimer;
}  // namespace qt
}  // namespace kelvaran::platform
namespace kelvaran::rules {
class frmObject;
}
namespace kelvaran::settings {
class RegAccess;
}
namespace kelvaran::web {
class ProgramStarter;
}

namespace kelvaran::app::gui {

class MainWindowAutomation;
class SourceBox;
class WindowConditions;

// What the main window is built with.  Everything pointed to must outlive it.
struct frmMainServices {
    settings::RegAccess* registry = nullptr;        // the stored conditions and the installed servers
    std::string exceptionListPath;                  // ole.ini
    BackendRegistration registerBackends = registerInProcessBackends;  // Word and Excel
    platform::FileSystem* fileSystem = nullptr;     // null when it could not be created
    platform::MessageBoxes* messages = nullptr;     // null: Qt message boxes
    web::ProgramStarter* starter = nullptr;         // starts the browser; null: a detached process
    // Stands in for the engine (tests); empty: the engine.
    RunAssembly::WalkerFactory makeWalker;
};

// The main window: the input box, the conditions, the start and stop
// buttons, the log and the status line, and the menus.  Constructing it
// loads it (lists, stored conditions, exception list); closing it stores the
// conditions and the exception list and ends the program.  It drives the
// batch run as its host and is the run's log and status line; the
// conditions are read from its controls whenever the run needs them.
class frmMain : public QMainWindow, public BatchHost, public engine::RunDisplay {
public:
    explicit frmMain(frmMainServices services, QWidget* parent = nullptr);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Controls, named as the handlers and the tests know them.
    QLabel* Label8 = nullptr;
    SourceBox* txtSource = nullptr;
    QPushButton* btnOpen = nullptr;
    QPushButton* btnClear = nullptr;
    QGroupBox* Frame1 = nullptr;
    QComboBox* combFileSize = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* combRatio = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* combFormat = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* combExpectRate = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* combPixelSize = nullptr;
    QLabel* Label7 = nullptr;
    QCheckBox* chkObject = nullptr;
    QPushButton* btnObject = nullptr;
    QCheckBox* ChkSlow = nullptr;
    QPushButton* btnReset = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QLabel* Label9 = nullptr;
    QPlainTextEdit* txtLog = nullptr;
    QLabel* lblMsg = nullptr;
    QLabel* picCheck = nullptr;
    QLabel* picCompare = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuQuit = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuUpdate = nullptr;
    QAction* mnuSupport = nullptr;
    QAction* mnuBar = nullptr;
    QAction* mnuAbout = nullptr;

    // The format dialog, loaded hidden with the window.
    rules::frmObject* formatDialog() const { return formatDialog_; }

    // Hooks of the surroundings.  Each has a working default.
    // The open-file dialog: the chosen files, full paths; empty when cancelled.
    std::function<QStringList()> chooseFiles;
    std::function<void()> showAbout;
    std::function<void()> openSupportPage;
    std::function<void()> openUpdatePage;
    // Ends the program after the unload when no run is going on.
    std::function<void()> quitApplication;
    // Ends the process at once, nothing else runs (a close during a run, the
    // automation's Quit, an office that cannot start).
    std::function<void()> endAtOnce;

    // The outer height of the window (title bar, menu and borders included),
    // in twips: the figure the resize works with and the one that is stored.
    int windowHeightTwips() const;
    void setWindowHeightTwips(int twips);

    // Event handlers.
    void btnStart_Click();
    void btnStop_Click();
    void btnOpen_Click();
    void btnClear_Click();
    void btnReset_Click();
    void btnObject_Click();
    void chkObject_Click();
    void mnuQuit_Click();
    void mnuAbout_Click();
    void mnuSupport_Click();
    void mnuUpdate_Click();

    // BatchHost
    std::string inputText() override;
    void setStartEnabled(bool enabled) override;
    void setStopEnabled(bool enabled) override;
    void beep() override;
    // RunDisplay
    void appendLog(const std::string& text) override;
    void clearLog() override;
    std::string statusText() override;
    void setStatus(const std::string& text) override;

    engine::RunState& runState() { return assembly_.state(); }
    BatchRun& batchRun() { return assembly_.batch(); }
    office::OfficeControl& officeControl() { return assembly_.office(); }
    rules::ExceptionList& exceptionList() { return assembly_.exceptions(); }
    engine::Conditions& conditions();
    platform::Clipboard& clipboard() { return assembly_.clipboard(); }
    automation::MainWindowControl& automationControl();
    bool unloaded() const { return unloaded_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createControls();
    void createMenus();
    void setTabOrder();
    void connectHandlers();
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void applyPendingHeight();
    void discardScratchFiles();

    frmMainServices services_;
    std::unique_ptr<platform::qt::QtMessageBoxes> ownMessages_;
    platform::MessageBoxes* messages_ = nullptr;
    std::unique_ptr<platform::qt::QtEventPump> pump_;
    std::unique_ptr<web::ProgramStarter> ownStarter_;
    web::ProgramStarter* starter_ = nullptr;
    std::unique_ptr<platform::qt::QtTimer> timer_;
    std::unique_ptr<WindowConditions> conditions_;
    // The run state, the clipboard, the exception list, the office, the
    // batch run and the engine.
    RunAssembly assembly_;
    engine::RunState& state_ = assembly_.state();
    platform::Clipboard& clipboard_ = assembly_.clipboard();
    rules::ExceptionList& exceptions_ = assembly_.exceptions();
    std::unique_ptr<MainWindowAutomation> automation_;
    rules::frmObject* formatDialog_ = nullptr;
    // The outer height asked for before the window manager had framed the
    // window; applied again once the frame is known, so that a stored height
    // does not grow by the title bar at every start.
    std::optional<int> pendingOuterHeight_;
    bool unloaded_ = false;
};

}  // namespace kelvaran::app::gui
