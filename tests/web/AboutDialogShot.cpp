// Renders the About dialog over a main window with the office-mode title
// into a PNG file (first argument), for looking at it without a display.
#include "web/AboutDialog.h"

#include <QApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QWidget main;
    main.setWindowTitle(QStringLiteral("Quelto MSケルヴァラン"));
    auto* about = new kelvaran::web::AboutDialog("Quelto MSケルヴァラン", &main);
    about->show();
    QApplication::processEvents();
    if (!about->grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
