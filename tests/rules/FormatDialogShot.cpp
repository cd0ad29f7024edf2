// Renders the format dialog with a filled list into a PNG file (first
// argument), for looking at it without a display.
#include "rules/frmObject.h"

#include <QApplication>
#include <QListWidget>
#include <QPixmap>
#include <QRadioButton>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    kelvaran::rules::ExceptionList list;
    kelvaran::rules::AddDefaultExceptions(list);
    kelvaran::rules::frmObject dialog(list);
    dialog.show();
    dialog.lstException->setCurrentRow(10);
    QApplication::processEvents();
    if (!dialog.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
