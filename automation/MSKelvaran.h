#pragma once

#include <QDBusContext>
#include <QDBusVariant>
#include <QObject>
#include <QString>

#include "automation/MSKelvaranIntrospection.h"  // generated from Kelvaran.MSKelvaran.xml

namespace kelvaran::automation {

class MainWindowControl;

// The automation class.  It has no state of its own: every call works on the
// main window it was given or on the program's version.  The bus sees the
// interface exactly as Kelvaran.MSKelvaran.xml describes it; the slots below
// are matched to incoming calls by name and argument types, and the bus
// delivers them on the thread that owns this object (the user-interface
// thread), so they also run while a batch run lets pending events through.
class MSKelvaran : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Kelvaran._MSKelvaran")
    Q_CLASSINFO("D-Bus Introspection", KELVARAN_MSKELVARAN_INTROSPECTION)

public:
    explicit MSKelvaran(MainWindowControl& window, QObject* parent = nullptr);

    // What SetOptions answers: a variant that carries no value.  D-Bus has no
    // variant without a value, and an empty string or a zero would each be a
    // value; a variant holding an array of variants with no elements (av,
    // length 0) is the one form that says "nothing".
    static QDBusVariant emptyVariant();

public slots:
    void Quit();
    QString getVersion();
    void setMainWindowState(int Status);
    int getMainWindowState();
    QDBusVariant SetOptions(const QString& action, int value, const QString& ValueStr, int RetVal,
                            const QString& RetValueStr);

private:
    MainWindowControl& window_;
};

}  // namespace kelvaran::automation
