#include "rules/frmObject.h"
#include "tests/settings/TempFolder.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QtTest>

#include <memory>

namespace kelvaran::rules {

class FrmObjectTest : public QObject {
    Q_OBJECT

private:
    static void clickEntry(frmObject& dialog, int row) {
        QListWidget* list = dialog.lstException;
        QListWidgetItem* item = list->item(row);
        QVERIFY(item);
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(item).center());
    }
    static void clickOption(frmObject& dialog, int index) {
        QRadioButton* option = dialog.optFormat[static_cast<std::size_t>(index)];
        QTest::mouseClick(option, Qt::LeftButton, Qt::NoModifier, QPoint(6, option->height() / 2));
    }
    static int checkedOption(const frmObject& dialog) {
        for (std::size_t i = 0; i < dialog.optFormat.size(); ++i) {
            if (dialog.optFormat[i]->isChecked()) return static_cast<int>(i);
        }
        return -1;
    }

private slots:
    void controlsTextsAndPositions() {
        ExceptionList list;
        frmObject dialog(list);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("アプリケーション毎に画像変換形式を指定する"));
        QVERIFY(!dialog.isModal());
        QCOMPARE(dialog.size(), QSize(324, 395));
        QCOMPARE(dialog.lstException->geometry(), QRect(8, 12, 213, 364));
        const char* captions[] = {"ﾒﾀﾋﾟｸﾁｬ", "JPEG", "PNG", "GIF", "変換しない"};
        for (int i = 0; i < 5; ++i) {
            QRadioButton* option = dialog.optFormat[static_cast<std::size_t>(i)];
            QCOMPARE(option->text(), QString::fromUtf8(captions[i]));
            QCOMPARE(option->geometry(), QRect(228, 16 + 20 * i, 77, 17));
            QVERIFY(!option->isChecked());
        }
        QCOMPARE(dialog.optFormat[0]->toolTip(), QStringLiteral("デフォルトはメタピクチャ形式"));
        QCOMPARE(dialog.chkTwice->text(), QStringLiteral("再圧縮あり"));
        QCOMPARE(dialog.chkTwice->toolTip(), QStringLiteral("画像変換後にJPEGで再圧縮する"));
        QCOMPARE(dialog.chkTwice->geometry(), QRect(228, 144, 81, 25));
        QVERIFY(!dialog.chkTwice->isChecked());
        QCOMPARE(dialog.btnOK->text(), QStringLiteral("閉じる"));
        QCOMPARE(dialog.btnOK->geometry(), QRect(228, 340, 89, 33));
        QCOMPARE(dialog.lstExceptionValue->geometry(), QRect(228, 240, 57, 88));
        QVERIFY(!dialog.lstExceptionValue->isEnabled());
    }

    void iconIsTheOwnersAndTheValueListFollowsTheSelection() {
        QWidget owner;
        QPixmap picture(16, 16);
        picture.fill(Qt::darkMagenta);
        owner.setWindowIcon(QIcon(picture));
        ExceptionList list;
        AddDefaultExceptions(list);
        QPointer<frmObject> dialog = new frmObject(list, &owner);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->windowIcon().pixmap(16, 16).toImage(), owner.windowIcon().pixmap(16, 16).toImage());
        clickEntry(*dialog, 12);
        QCOMPARE(dialog->lstExceptionValue->currentRow(), 12);
        QListWidgetItem* value = dialog->lstExceptionValue->item(12);
        QVERIFY(dialog->lstExceptionValue->viewport()->rect().intersects(
            dialog->lstExceptionValue->visualItemRect(value)));
    }

    void tabOrder() {
        ExceptionList list;
        frmObject dialog(list);
        QList<QWidget*> expected = {dialog.lstException, dialog.optFormat[0], dialog.optFormat[1],
                                    dialog.optFormat[2], dialog.optFormat[3], dialog.optFormat[4],
                                    dialog.chkTwice,     dialog.btnOK,        dialog.lstExceptionValue};
        for (int i = 0; i + 1 < expected.size(); ++i) {
            // the next one of ours in the focus chain
            QWidget* w = expected[i]->nextInFocusChain();
            while (w != expected[i] && !expected.contains(w)) w = w->nextInFocusChain();
            QCOMPARE(w, expected[i + 1]);
        }
    }

    void listsShowKeysAndValuesInStep() {
        ExceptionList list;
        AddDefaultExceptions(list);
        frmObject dialog(list);
        QCOMPARE(dialog.lstException->count(), 13);
        QCOMPARE(dialog.lstExceptionValue->count(), 13);
        QCOMPARE(dialog.lstException->item(10)->text(), QStringLiteral("mplayer"));
        QCOMPARE(dialog.lstExceptionValue->item(10)->text(), QStringLiteral("変換しない"));
        std::string value = "False";
        list.AddToExceptionList("Visio", value);
        QCOMPARE(dialog.lstException->count(), 14);
        QCOMPARE(dialog.lstException->item(13)->text(), QStringLiteral("visio"));
        QCOMPARE(dialog.lstExceptionValue->item(13)->text(), QStringLiteral("ﾒﾀﾋﾟｸﾁｬ"));
    }

    void clickingAnEntryThenAFormatStoresIt() {
        ExceptionList list;
        AddDefaultExceptions(list);
        frmObject dialog(list);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        clickEntry(dialog, 10);  // mplayer, "変換しない"
        QCOMPARE(checkedOption(dialog), 4);
        QCOMPARE(list.entries()[10].oleValue, std::string("変換しない"));
        clickOption(dialog, 2);
        QCOMPARE(list.entries()[10].oleValue, std::string("PNG"));
        QCOMPARE(list.ObjToImage("MPlayer"), std::string("PNG"));
        QCOMPARE(dialog.lstExceptionValue->item(10)->text(), QStringLiteral("PNG"));
        // the other entries are untouched
        QCOMPARE(list.entries()[11].oleValue, std::string("変換しない"));
        QCOMPARE(list.entries()[0].oleValue, std::string("ﾒﾀﾋﾟｸﾁｬ"));

        // the keyboard moves the selection the same way
        dialog.lstException->setFocus();
        QTest::keyClick(dialog.lstException, Qt::Key_Up);
        QCOMPARE(dialog.lstException->currentRow(), 9);
        QCOMPARE(checkedOption(dialog), 0);
    }

    void choosingTheOptionAlreadyOnStoresItForANewEntry() {
        ExceptionList list;
        std::string png = "PNG";
        list.AddToExceptionList("first", png);
        std::string odd = "BMP";
        list.AddToExceptionList("second", odd);
        frmObject dialog(list);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        clickEntry(dialog, 0);
        QCOMPARE(checkedOption(dialog), 2);
        // a value that matches no caption leaves the options as they were
        clickEntry(dialog, 1);
        QCOMPARE(checkedOption(dialog), 2);
        QCOMPARE(list.entries()[1].oleValue, std::string("BMP"));
        clickOption(dialog, 2);
        QCOMPARE(list.entries()[1].oleValue, std::string("PNG"));
    }

    void choosingWithoutASelectionStoresNothing() {
        ExceptionList list;
        AddDefaultExceptions(list);
        frmObject dialog(list);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.lstException->setFocus();  // may make an entry current, not selected
        clickOption(dialog, 1);
        QVERIFY(dialog.optFormat[1]->isChecked());
        for (const ExceptionEntry& entry : list.entries()) {
            QVERIFY(entry.oleValue != "JPEG");
        }
    }

    void closeHidesAndKeepsEverything() {
        ExceptionList list;
        AddDefaultExceptions(list);
        QPointer<frmObject> dialog = new frmObject(list);
        dialog->setAttribute(Qt::WA_DeleteOnClose);  // even so, closing must not destroy it
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        clickEntry(*dialog, 0);
        clickOption(*dialog, 3);
        dialog->chkTwice->setChecked(true);
        QVERIFY(!dialog->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialog);
        QVERIFY(dialog->isHidden());

        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->lstException->currentRow(), 0);
        QVERIFY(dialog->lstException->item(0)->isSelected());
        QCOMPARE(checkedOption(*dialog), 3);
        QVERIFY(dialog->chkTwice->isChecked());
        QCOMPARE(list.ObjToImage("excel"), std::string("GIF"));

        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        QVERIFY(dialog->isHidden());
        QVERIFY(dialog);
        delete dialog.data();
        // the list outlives the dialog and no longer calls into it
        std::string value = "False";
        list.AddToExceptionList("later", value);
        list.setValue(0, "PNG");
        QCOMPARE(list.size(), std::size_t{14});
    }

    void dialogMayOutliveTheList() {
        // as a child of a window that holds the list as a member
        auto list = std::make_unique<ExceptionList>();
        AddDefaultExceptions(*list);
        QPointer<frmObject> dialog = new frmObject(*list);
        list.reset();
        delete dialog.data();
        QVERIFY(!dialog);
    }

    void scanAddsInstalledServers() {
        testing::TempFolder dir;
        dir.write("HKEY_CLASSES_ROOT.reg",
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CLASSES_ROOT\\Excel.Sheet.8\\Insertable]\r\n@=\"\"\r\n\r\n"
                  "[HKEY_CLASSES_ROOT\\NoDefault.App\\Insertable]\r\n\r\n"
                  "[HKEY_CLASSES_ROOT\\Standalone\\Insertable]\r\n@=\"\"\r\n");
        settings::RegAccess reg(dir.path());
        ExceptionList list;
        AddDefaultExceptions(list);
        frmObject dialog(list);
        dialog.ShowInstalledInsertable(reg);
        QCOMPARE(dialog.lstException->count(), 14);
        QCOMPARE(dialog.lstException->item(13)->text(), QStringLiteral("standalone"));
        QCOMPARE(dialog.lstExceptionValue->item(13)->text(), QStringLiteral("ﾒﾀﾋﾟｸﾁｬ"));
        QCOMPARE(dialog.ObjToImage("NoDefault"), std::string("ﾒﾀﾋﾟｸﾁｬ"));
        QCOMPARE(list.size(), std::size_t{14});
    }
};

}  // namespace kelvaran::rules

QTEST_MAIN(kelvaran::rules::FrmObjectTest)
#include "FrmObjectTest.moc"
