#pragma once

#include <QDialog>

#include <string>

class QGroupBox;
class QLabel;
class QPushButton;

namespace kelvaran::web {

// Which program and which version is running.  Opened modeless from the main
// window's help menu; closing it, by its button or its close box, discards
// it, and the next opening builds it afresh from the main window's current
// title (which carries the office mode after a run) and icon.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    // applicationTitle is the plain program name that precedes the version.
    AboutDialog(const std::string& applicationTitle, QWidget* mainWindow);

    // The picture of the dialog: 32 x 32, 24 bits per pixel.
    static QImage picture();

    QGroupBox* Frame1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* OKButton = nullptr;
    QLabel* Label2 = nullptr;
};

// The maker's notice line under the button.
inline const char* const kMakerNotice = "Copyright (C) Quelto Co., Ltd.";

}  // namespace kelvaran::web
