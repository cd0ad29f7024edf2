#include "app/gui/ApplicationSetup.h"

#include "app/gui/InterfaceFont.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kelvaran::app::gui {

bool setUpApplication(QApplication& application) {
    QApplication::setApplicationName(QStringLiteral("kelvaran"));
    QApplication::setDesktopFileName(QStringLiteral("kelvaran"));
    QApplication::setFont(interfaceFont());
    // The interface is Japanese whatever the desktop's language, and so are
    // the texts Qt draws itself.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(&application);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder) || !QApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

}  // namespace kelvaran::app::gui
