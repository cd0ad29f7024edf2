// The desktop program: the main window over the in-process office.
#include "app/gui/ApplicationSetup.h"
#include "app/gui/SourceBox.h"
#include "app/gui/frmMain.h"
#include "automation/MainWindowControl.h"
#include "imaging/Imaging.h"
#include "platform/FileSystem.h"
#include "platform/LargeBuffers.h"
#include "rules/ExceptionListFile.h"
#include "settings/RegAccess.h"

#include <QApplication>
#include <QStringList>

#include <exception>
#include <memory>

int main(int argc, char** argv) {
    kelvaran::platform::shareMemoryArenas();
    kelvaran::imaging::keepToBuiltInCodecs();
    QApplication application(argc, argv);
    // Without Qt's Japanese texts the program still runs, with English ones.
    kelvaran::app::gui::setUpApplication(application);
    // The window closes the format dialog and ends the program itself.
    QApplication::setQuitOnLastWindowClosed(false);

    // The file-system service; without it the first run breaks off.
    std::unique_ptr<kelvaran::platform::FileSystem> fileSystem;
    try {
        fileSystem = std::make_unique<kelvaran::platform::StdFileSystem>();
    } catch (const std::exception&) {
    }

    kelvaran::settings::RegAccess registry(kelvaran::settings::RegAccess::defaultFolder());

    kelvaran::app::gui::frmMainServices services;
    services.registry = &registry;
    services.exceptionListPath = kelvaran::rules::exceptionListPath();
    services.fileSystem = fileSystem.get();

    kelvaran::app::gui::frmMain window(services);
    window.show();
    // Files handed over on the command line ("open with" of a file manager)
    // go into the input box, one a line, as a drop of them would; Qt has
    // already taken its own options out of the arguments.
    const QStringList files = QApplication::arguments().mid(1);
    for (const QString& file : files) {
        window.txtSource->insertAtCaret(file + QStringLiteral("\r\n"));
    }
    // Without a session bus the program runs without its automation service.
    kelvaran::automation::publishAutomationService(window.automationControl());
    return QApplication::exec();
}
