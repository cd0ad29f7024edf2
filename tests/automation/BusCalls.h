#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kelvaran::automation::testing {

// Calls on the bus that keep this thread's event loop running while they
// wait, so that an object served by this same process can answer them.
QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& call);
QDBusMessage callService(const QDBusConnection& connection, const QString& method,
                         const QVariantList& arguments = {});

// Whether some connection owns the name.
bool nameHasOwner(const QDBusConnection& connection, const QString& name);
// Waits, letting events run, until the name is owned (or released); false
// when that did not happen in the generous time the tests allow.
bool waitForName(const QDBusConnection& connection, const QString& name, bool owned);

struct CtlRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs kelvaran-ctl with the arguments to its end, letting events run.
CtlRun runCtl(const QStringList& arguments);

}  // namespace kelvaran::automation::testing
