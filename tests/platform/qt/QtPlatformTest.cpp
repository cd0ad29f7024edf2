#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/QtTimer.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace kelvaran::platform::qt {
namespace {

TEST(QtEventPumpTest, DeliversWhatIsPendingAndOnlyThat) {
    int delivered = 0;
    QObject receiver;
    QMetaObject::invokeMethod(&receiver, [&] { ++delivered; }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(&receiver, [&] { ++delivered; }, Qt::QueuedConnection);
    EXPECT_EQ(delivered, 0);
    QtEventPump pump;
    pump.processEvents();
    EXPECT_EQ(delivered, 2);
    pump.processEvents();
    EXPECT_EQ(delivered, 2);
}

TEST(QtTimerTest, ASlowModeWaitKeepsTheEventsRunning) {
    // Events posted before and timers that fire during the wait are handled
    // inside it: the stop button stays usable in slow mode.
    int queued = 0;
    int fired = 0;
    QObject receiver;
    QMetaObject::invokeMethod(&receiver, [&] { ++queued; }, Qt::QueuedConnection);
    QTimer::singleShot(1, &receiver, [&] { ++fired; });
    QtTimer timer;
    timer.sleep(200);
    EXPECT_EQ(queued, 1);
    EXPECT_EQ(fired, 1);
}

TEST(QtTimerTest, NothingToWaitForReturnsWithoutRunningEvents) {
    int queued = 0;
    QObject receiver;
    QMetaObject::invokeMethod(&receiver, [&] { ++queued; }, Qt::QueuedConnection);
    QtTimer timer;
    timer.sleep(0);
    timer.sleep(-5);
    timer.pauseForOffice(500);
    EXPECT_EQ(queued, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(queued, 1);
}

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

// Shows a message and answers the box it opens; what the box showed.
SeenBox showAndAnswer(QtMessageBoxes& boxes, const std::string& text, MessageIcon icon) {
    SeenBox seen;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    answer.start();
    boxes.show(text, icon);
    return seen;
}

TEST(QtMessageBoxesTest, ShowsTheTextUnderTheTitleWithTheRightIconAndOneOkButton) {
    QtMessageBoxes boxes("Quelto MSケルヴァラン");
    const SeenBox refusal = showAndAnswer(boxes, "ワードファイルを指定してください", MessageIcon::Exclamation);
    EXPECT_EQ(refusal.title, QStringLiteral("Quelto MSケルヴァラン"));
    EXPECT_EQ(refusal.text, QStringLiteral("ワードファイルを指定してください"));
    EXPECT_EQ(refusal.icon, QMessageBox::Warning);
    EXPECT_EQ(refusal.buttons, 1);

    const SeenBox stop = showAndAnswer(boxes, "end", MessageIcon::Stop);
    EXPECT_EQ(stop.icon, QMessageBox::Critical);
    const SeenBox plain = showAndAnswer(boxes, "plain", MessageIcon::None);
    EXPECT_EQ(plain.icon, QMessageBox::NoIcon);
    EXPECT_EQ(plain.text, QStringLiteral("plain"));
}

}  // namespace
}  // namespace kelvaran::platform::qt

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
