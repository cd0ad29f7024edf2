// The desktop program: the main window over the in-process office backend.
#include "app/run/AppTitle.h"
#include "app/gui/InterfaceFont.h"
#include "app/gui/SourceBox.h"
#include "app/gui/frmMain.h"
#include "office/OfficeFactory.h"
#include "office/native/NativeBackend.h"
#include "platform/FileSystem.h"
#include "rules/ExceptionListFile.h"
#include "settings/RegAccess.h"
#ifdef KELVARAN_HAVE_ENGINE
#include "engine/Engine.h"
#endif
#ifdef KELVARAN_HAVE_AUTOMATION
#include "automation/MainWindowControl.h"
#endif

#include <QApplication>
#include <QStringList>

#include <exception>
#include <memory>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvaran"));
    QApplication::setApplicationDisplayName(QString::fromStdString(kelvaran::app::kApplicationTitle));
    QApplication::setFont(kelvaran::app::gui::interfaceFont());
    // The window closes the format dialog and ends the program itself.
    QApplication::setQuitOnLastWindowClosed(false);

    // The file-system service; without it the first run breaks off.
    std::unique_ptr<kelvaran::platform::FileSystem> fileSystem;
    try {
        fileSystem = std::make_unique<kelvaran::platform::StdFileSystem>();
    } catch (const std::exception&) {
    }

    kelvaran::settings::RegAccess registry(kelvaran::settings::RegAccess::defaultFolder());
    kelvaran::office::OfficeFactory factory;
    kelvaran::office::native::registerNativeBackend(factory);

    kelvaran::app::gui::frmMainServices services;
    services.registry = &registry;
    services.exceptionListPath = kelvaran::rules::exceptionListPath();
    services.factory = &factory;
    services.fileSystem = fileSystem.get();
#ifdef KELVARAN_HAVE_ENGINE
    services.makeWalker = [](const kelvaran::app::WalkerParts& p) -> std::unique_ptr<kelvaran::engine::Walker> {
        return std::make_unique<kelvaran::engine::Engine>(p.state, p.conditions, p.rules, p.display, p.clipboard,
                                                          p.events, p.timer);
    };
#endif

    kelvaran::app::gui::frmMain window(services);
    window.show();
    // Files handed over on the command line ("open with" of a file manager)
    // go into the input box, one a line, as a drop of them would; Qt has
    // already taken its own options out of the arguments.
    const QStringList files = QApplication::arguments().mid(1);
    for (const QString& file : files) {
        window.txtSource->insertAtCaret(file + QStringLiteral("\r\n"));
    }
#ifdef KELVARAN_HAVE_AUTOMATION
    // Without a session bus the program runs without its automation service.
    kelvaran::automation::publishAutomationService(window.automationControl());
#endif
    return QApplication::exec();
}
