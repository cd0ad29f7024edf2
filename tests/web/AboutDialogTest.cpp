#include "web/AboutDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest/QtTest>

namespace kelvaran::web {

namespace {
const std::string kTitle = "Quelto MSケルヴァラン";
}

class AboutDialogTest : public QObject {
    Q_OBJECT

private:
    static QPixmap iconPicture() {
        QPixmap picture(16, 16);
        picture.fill(Qt::darkCyan);
        return picture;
    }

private slots:
    void controlsAndPositions() {
        QWidget main;
        AboutDialog about(kTitle, &main);
        QCOMPARE(about.size(), QSize(372, 283));
        QCOMPARE(about.Frame1->geometry(), QRect(16, 8, 345, 73));
        QCOMPARE(about.Image1->parentWidget(), about.Frame1);
        QCOMPARE(about.Image1->geometry(), QRect(32, 28, 32, 32));
        QCOMPARE(about.lblVersion->parentWidget(), about.Frame1);
        QCOMPARE(about.lblVersion->pos(), QPoint(88, 36));
        QCOMPARE(about.lblVersion->size(), about.lblVersion->sizeHint());
        QCOMPARE(about.OKButton->text(), QStringLiteral("OK"));
        QCOMPARE(about.OKButton->geometry(), QRect(140, 228, 81, 25));
        QCOMPARE(about.Label2->pos(), QPoint(96, 260));
        QCOMPARE(about.Label2->size(), about.Label2->sizeHint());
        QVERIFY(!about.Label2->text().isEmpty());
        // both texts fit where they were put
        QVERIFY(about.Label2->geometry().right() < about.width());
        QVERIFY(about.lblVersion->geometry().right() < about.Frame1->width());
        QVERIFY(!about.isModal());

        QCOMPARE(about.Image1->pixmap().size(), QSize(32, 32));
        const QImage picture = AboutDialog::picture();
        QCOMPARE(picture.size(), QSize(32, 32));
        QCOMPARE(picture.depth(), 24);
        QVERIFY(!picture.hasAlphaChannel());
        QVERIFY(picture.pixel(0, 0) != picture.pixel(12, 12));  // something is drawn on it
    }

    void titleComesFromTheMainWindowAsItIsNow() {
        QWidget main;
        main.setWindowIcon(QIcon(iconPicture()));
        main.setWindowTitle(QStringLiteral("Quelto MSケルヴァラン"));
        {
            AboutDialog about(kTitle, &main);
            QCOMPARE(about.windowTitle(), QStringLiteral("Quelto MSケルヴァラン"));
        }
        // after a run the title carries the office mode; the version line does not
        main.setWindowTitle(QStringLiteral("Quelto MSケルヴァラン (Office2003モード)"));
        AboutDialog about(kTitle, &main);
        QCOMPARE(about.windowTitle(), QStringLiteral("Quelto MSケルヴァラン (Office2003モード)"));
        QCOMPARE(about.lblVersion->text(),
                 QStringLiteral("Quelto MSケルヴァラン Ver." KELVARAN_EXPECTED_DOTTED_VERSION));
        QCOMPARE(about.windowIcon().pixmap(16, 16).toImage(), main.windowIcon().pixmap(16, 16).toImage());
    }

    void okAndTheCloseBoxDiscardTheDialog() {
        QWidget main;
        QPointer<AboutDialog> byButton = new AboutDialog(kTitle, &main);
        byButton->show();
        QVERIFY(QTest::qWaitForWindowExposed(byButton));
        QTest::mouseClick(byButton->OKButton, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!byButton);

        QPointer<AboutDialog> byCloseBox = new AboutDialog(kTitle, &main);
        byCloseBox->show();
        QVERIFY(QTest::qWaitForWindowExposed(byCloseBox));
        QVERIFY(byCloseBox->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!byCloseBox);
        QVERIFY(main.findChildren<AboutDialog*>().isEmpty());
    }
};

}  // namespace kelvaran::web

QTEST_MAIN(kelvaran::web::AboutDialogTest)
#include "AboutDialogTest.moc"
