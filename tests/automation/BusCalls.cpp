#include "tests/automation/BusCalls.h"

#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace kelvaran::automation::testing {

namespace {
// Long enough for a program that the bus has to start first.
constexpr int kCallTimeoutMs = 60000;
}  // namespace

QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& call) {
    QDBusPendingCall pending = connection.asyncCall(call, kCallTimeoutMs);
    QDBusPendingCallWatcher watcher(pending);
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return watcher.reply();
}

QDBusMessage callService(const QDBusConnection& connection, const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("Kelvaran.MSKelvaran"),
                                                       QStringLiteral("/MSKelvaran"),
                                                       QStringLiteral("Kelvaran._MSKelvaran"), method);
    call.setArguments(arguments);
    return callAndWait(connection, call);
}

bool nameHasOwner(const QDBusConnection& connection, const QString& name) {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("/org/freedesktop/DBus"),
                                                       QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("NameHasOwner"));
    call << name;
    const QDBusMessage reply = callAndWait(connection, call);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().front().toBool();
}

bool waitForName(const QDBusConnection& connection, const QString& name, bool owned) {
    for (int attempt = 0; attempt < 600; ++attempt) {
        if (nameHasOwner(connection, name) == owned) return true;
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return false;
}

CtlRun runCtl(const QStringList& arguments) {
    CtlRun run;
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    process.start(QStringLiteral(KELVARAN_CTL), arguments);
    QTimer::singleShot(2 * kCallTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit && process.error() != QProcess::FailedToStart;
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

}  // namespace kelvaran::automation::testing
