#include "platform/qt/QtTimer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace kelvaran::platform::qt {

void QtTimer::sleep(int milliseconds) {
    if (milliseconds <= 0) return;
    if (!QCoreApplication::instance()) {
        Timer::sleep(milliseconds);
        return;
    }
    // A local loop that ends when the single-shot timer fires; events are
    // handled while it runs, and no processor time is spent on polling.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(milliseconds);
    loop.exec(QEventLoop::AllEvents);
}

}  // namespace kelvaran::platform::qt
