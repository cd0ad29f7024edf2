#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/QtTimer.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
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

// Work that waits until the user-interface thread has handled an event, and
// gives up after ten seconds: it reports whether the event came first.
bool waitsForAnEvent(const std::atomic<bool>& handled) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!handled.load()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TEST(QtEventPumpTest, EventsRunWhileTheWorkIsGoingOn) {
    QtEventPump pump;
    QObject receiver;
    // One event was queued before the work started, one comes from a timer
    // while it runs; both are handled before the work can end.
    std::atomic<bool> queued{false};
    std::atomic<bool> fired{false};
    QMetaObject::invokeMethod(&receiver, [&] { queued = true; }, Qt::QueuedConnection);
    QTimer::singleShot(50, &receiver, [&] { fired = true; });
    bool sawQueued = false;
    bool sawFired = false;
    std::thread::id workThread;
    pump.whileWorking([&] {
        workThread = std::this_thread::get_id();
        sawQueued = waitsForAnEvent(queued);
        sawFired = waitsForAnEvent(fired);
    });
    EXPECT_TRUE(sawQueued);
    EXPECT_TRUE(sawFired);
    EXPECT_NE(workThread, std::this_thread::get_id());
}

TEST(QtEventPumpTest, TheWorksResultAndFailureComeBackToTheCaller) {
    QtEventPump pump;
    int result = 0;
    pump.whileWorking([&] { result = 6 * 7; });
    EXPECT_EQ(result, 42);
    EXPECT_THROW(pump.whileWorking([] { throw std::runtime_error("the picture cannot be stored"); }),
                 std::runtime_error);
    // A work that ends before any event arrives does not leave the wait hanging.
    for (int i = 0; i < 20; ++i) pump.whileWorking([] {});
}

TEST(QtEventPumpTest, AwayFromTheWindowsThreadTheWorkRunsInPlace) {
    QtEventPump pump;
    std::thread::id caller;
    std::thread::id worker;
    std::thread other([&] {
        caller = std::this_thread::get_id();
        pump.whileWorking([&] { worker = std::this_thread::get_id(); });
    });
    other.join();
    EXPECT_EQ(worker, caller);
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
