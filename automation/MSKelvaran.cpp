#include "automation/MSKelvaran.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QVariantList>

#include "Version.h"
#include "automation/BusNames.h"
#include "automation/MainWindowControl.h"

namespace kelvaran::automation {

MSKelvaran::MSKelvaran(MainWindowControl& window, QObject* parent) : QObject(parent), window_(window) {}

QDBusVariant MSKelvaran::emptyVariant() { return QDBusVariant(QVariant(QVariantList())); }

void MSKelvaran::Quit() {
    if (calledFromDBus()) {
        // The process is about to end without any further event processing,
        // so answer now and make sure the answer has left: a blocking call to
        // the bus on the same connection returns only after the bus has read
        // everything sent before it, the reply included.  Errors are ignored,
        // as they would not stop the quit anyway.
        setDelayedReply(true);
        QDBusConnection bus = connection();
        bus.send(message().createReply());
        QDBusMessage ping = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
        bus.call(ping, QDBus::Block, 5000);
    }
    window_.quitNow();
}

QString MSKelvaran::getVersion() { return QString::fromLatin1(kelvaran::kVersionUnderscored); }

void MSKelvaran::setMainWindowState(int Status) {
    if (Status != kStateNormal && Status != kStateMinimised && Status != kStateMaximised) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::InvalidArgs,
                           QStringLiteral("Status must be 0 (normal), 1 (minimised) or 2 (maximised), not %1.")
                               .arg(Status));
        return;
    }
    window_.setWindowState(Status);
}

int MSKelvaran::getMainWindowState() { return window_.windowState(); }

QDBusVariant MSKelvaran::SetOptions(const QString& /*action*/, int /*value*/, const QString& /*ValueStr*/,
                                    int /*RetVal*/, const QString& /*RetValueStr*/) {
    return emptyVariant();
}

}  // namespace kelvaran::automation
