// The desktop program as another program sees it over the bus: started by
// hand and started by the bus for a call, its window state set through
// kelvaran-ctl, and Quit ending it without saving anything.
#include "tests/automation/BusCalls.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include <csignal>
#include <sys/types.h>

namespace kelvaran::automation {

using namespace testing;

namespace {

const QString kName = QStringLiteral("Kelvaran.MSKelvaran");

// An exception list as a user might have left it, in a layout of its own: a
// program that saved on its way out would rewrite it.
const QByteArray kOleIni = "; kept by hand\r\n[name]\r\n0=excel\r\n[value]\r\n0=PNG\r\n";

// Every file of the folder with its content.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        QFile file(folder + QLatin1Char('/') + name);
        if (file.open(QIODevice::ReadOnly)) files.insert(name, file.readAll());
    }
    return files;
}

bool processGone(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0; }

bool waitUntilGone(qint64 pid) {
    for (int attempt = 0; attempt < 600 && !processGone(pid); ++attempt) QTest::qWait(100);
    return processGone(pid);
}

}  // namespace

class AutomationProgramTest : public QObject {
    Q_OBJECT

private:
    QDBusConnection bus_{QString()};

    void prepareConfig(const QTemporaryDir& config) {
        QFile ini(config.filePath(QStringLiteral("ole.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(kOleIni);
    }

private slots:
    void initTestCase() {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        bus_ = QDBusConnection::sessionBus();
        QVERIFY2(bus_.isConnected(), "run under dbus-run-session");
        QVERIFY(!nameHasOwner(bus_, kName));
    }

    void aRunningProgramIsDrivenAndQuitsWithoutSaving() {
        QTemporaryDir config;
        QVERIFY(config.isValid());
        prepareConfig(config);
        const QMap<QString, QByteArray> before = snapshot(config.path());

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KELVARAN_CONFIG_DIR"), config.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(KELVARAN_PROGRAM), QStringList());
        QVERIFY(program.waitForStarted());
        QVERIFY(waitForName(bus_, kName, true));

        CtlRun version = runCtl({QStringLiteral("getVersion")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral(KELVARAN_EXPECTED_VERSION "\n"));

        QCOMPARE(runCtl({QStringLiteral("getMainWindowState")}).out, QStringLiteral("0\n"));
        QCOMPARE(runCtl({QStringLiteral("setMainWindowState"), QStringLiteral("1")}).exitCode, 0);
        QCOMPARE(runCtl({QStringLiteral("getMainWindowState")}).out, QStringLiteral("1\n"));
        CtlRun refused = runCtl({QStringLiteral("setMainWindowState"), QStringLiteral("5")});
        QCOMPARE(refused.exitCode, 1);
        QCOMPARE(runCtl({QStringLiteral("getMainWindowState")}).out, QStringLiteral("1\n"));
        QCOMPARE(runCtl({QStringLiteral("setMainWindowState"), QStringLiteral("2")}).exitCode, 0);
        QCOMPARE(runCtl({QStringLiteral("getMainWindowState")}).out, QStringLiteral("2\n"));
        QCOMPARE(runCtl({QStringLiteral("setMainWindowState"), QStringLiteral("0")}).exitCode, 0);
        QCOMPARE(runCtl({QStringLiteral("getMainWindowState")}).out, QStringLiteral("0\n"));

        CtlRun quit = runCtl({QStringLiteral("Quit")});
        QCOMPARE(quit.exitCode, 0);
        // The program may be gone already, seen while the client's reply was
        // awaited; waitForFinished() then answers false although all is well.
        QVERIFY(program.state() == QProcess::NotRunning || program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(waitForName(bus_, kName, false));
        // neither the conditions nor the exception list were written
        QCOMPARE(snapshot(config.path()), before);
    }

    void aCallOnTheNameStartsTheProgram() {
        QTemporaryDir config;
        QVERIFY(config.isValid());
        prepareConfig(config);
        const QMap<QString, QByteArray> before = snapshot(config.path());
        // what the bus hands to the programs it starts
        QDBusMessage update = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"));
        QMap<QString, QString> values{{QStringLiteral("KELVARAN_CONFIG_DIR"), config.path()},
                                      {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen")}};
        update << QVariant::fromValue(values);
        QCOMPARE(callAndWait(bus_, update).type(), QDBusMessage::ReplyMessage);

        QVERIFY(!nameHasOwner(bus_, kName));
        CtlRun version = runCtl({QStringLiteral("getVersion")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral(KELVARAN_EXPECTED_VERSION "\n"));
        QVERIFY(nameHasOwner(bus_, kName));
        const QDBusReply<uint> pid = bus_.interface()->servicePid(kName);
        QVERIFY(pid.isValid());

        QCOMPARE(runCtl({QStringLiteral("setMainWindowState"), QStringLiteral("1")}).exitCode, 0);
        QCOMPARE(runCtl({QStringLiteral("getMainWindowState")}).out, QStringLiteral("1\n"));
        QCOMPARE(runCtl({QStringLiteral("Quit")}).exitCode, 0);
        QVERIFY(waitUntilGone(pid.value()));
        QVERIFY(waitForName(bus_, kName, false));
        QCOMPARE(snapshot(config.path()), before);
    }
};

}  // namespace kelvaran::automation

QTEST_GUILESS_MAIN(kelvaran::automation::AutomationProgramTest)
#include "AutomationProgramTest.moc"
