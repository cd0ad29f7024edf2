// Renders the format dialog and the About dialog as the program opens them
// from its main window into two PNG files, each under a strip that shows the
// window title (a bare X server draws no title bars).  The settings are read
// from and written to a scratch folder, never the user's.
#include "app/gui/InterfaceFont.h"
#include "app/gui/frmMain.h"
#include "rules/frmObject.h"
#include "settings/RegAccess.h"
#include "web/AboutDialog.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool saveWithTitle(QWidget* window, const char* path) {
    const QPixmap body = window->grab();
    const int strip = 24;
    QPixmap shot(body.width(), body.height() + strip);
    shot.fill(QColor(0x2b, 0x4f, 0x8c));
    QPainter painter(&shot);
    painter.setPen(Qt::white);
    painter.setFont(window->font());
    painter.drawText(QRect(8, 0, body.width() - 16, strip), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
    painter.drawPixmap(0, strip, body);
    painter.end();
    if (shot.save(QString::fromLocal8Bit(path))) return true;
    std::fprintf(stderr, "cannot write %s\n", path);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FORMAT-DIALOG.png ABOUT-DIALOG.png\n", argv[0]);
        return 2;
    }
    QApplication::setFont(kelvaran::app::gui::interfaceFont());
    QTemporaryDir folder;
    kelvaran::settings::RegAccess registry(folder.path().toStdString());
    kelvaran::app::gui::frmMainServices services;
    services.registry = &registry;
    services.exceptionListPath = QDir(folder.path()).filePath(QStringLiteral("ole.ini")).toStdString();
    kelvaran::app::gui::frmMain window(services);
    window.quitApplication = [] {};
    window.show();

    window.btnObject_Click();
    kelvaran::rules::frmObject* format = window.formatDialog();
    format->lstException->setCurrentRow(10);
    QApplication::processEvents();
    if (!saveWithTitle(format, argv[1])) return 1;
    format->hide();

    window.mnuAbout->trigger();
    const auto abouts = window.findChildren<kelvaran::web::AboutDialog*>();
    if (abouts.size() != 1) {
        std::fprintf(stderr, "the About dialog did not open\n");
        return 1;
    }
    QApplication::processEvents();
    return saveWithTitle(abouts.front(), argv[2]) ? 0 : 1;
}
