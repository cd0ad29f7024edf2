#pragma once

class QApplication;

namespace kelvaran::app::gui {

// Readies the application object for the desktop program: its name, the
// interface font and Qt's own texts in Japanese (the open-file dialog, the
// standard buttons).  No display name is set: Qt would append it to every
// window title, and the main window's title must read exactly as the
// program sets it.  Returns false when Qt's Japanese texts could not be
// loaded; the program then runs with Qt's English ones.
bool setUpApplication(QApplication& application);

}  // namespace kelvaran::app::gui
