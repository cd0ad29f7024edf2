#include "platform/qt/QtEventPump.h"

#include <QCoreApplication>

namespace kelvaran::platform::qt {

void QtEventPump::processEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace kelvaran::platform::qt
