// Renders the main window, as it looks after the first start, into a PNG
// file (first argument), for looking at it without a display.  The settings
// are read from and written to a scratch folder, never the user's.
#include "app/gui/ApplicationSetup.h"
#include "app/gui/SourceBox.h"
#include "app/gui/frmMain.h"
#include "settings/RegAccess.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    kelvaran::app::gui::setUpApplication(app);
    QTemporaryDir folder;
    kelvaran::settings::RegAccess registry(folder.path().toStdString());
    kelvaran::app::gui::frmMainServices services;
    services.registry = &registry;
    services.exceptionListPath = QDir(folder.path()).filePath(QStringLiteral("ole.ini")).toStdString();
    kelvaran::app::gui::frmMain window(services);
    window.quitApplication = [] {};
    window.show();
    window.txtSource->setPlainText(QStringLiteral("/home/user/文書/report.doc\n/home/user/文書/slides.rtf"));
    window.appendLog("▼開始▼ /home/user/文書/report.doc\r\n▲終了▲ 150KB->62KB\r\n\r\n");
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
