// The automation class on a private session bus, with a stand-in for the
// main window: the interface the bus reports, every method called over the
// bus from a second connection and through kelvaran-ctl, and the errors.
#include "automation/AutomationService.h"
#include "automation/MSKelvaran.h"
#include "automation/MainWindowControl.h"
#include "tests/automation/BusCalls.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QXmlStreamReader>
#include <QtTest/QtTest>

#include <memory>

namespace kelvaran::automation {

using namespace testing;

namespace {

class FakeWindow : public MainWindowControl {
public:
    int state = 0;
    int setCalls = 0;
    int quitCalls = 0;
    int windowState() override { return state; }
    void setWindowState(int value) override {
        ++setCalls;
        state = value;
    }
    void quitNow() override { ++quitCalls; }
};

const QString kName = QStringLiteral("Kelvaran.MSKelvaran");
const QString kInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

struct Method {
    QString name;
    QString dispatchId;
    QStringList in;   // signatures of the input arguments, in order
    QStringList out;
};

// The methods of one interface in an introspection text, in document order.
QList<Method> methodsOf(const QString& xml, const QString& interfaceName, bool* found) {
    QList<Method> methods;
    QXmlStreamReader reader(xml);
    bool inside = false;
    *found = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const auto name = reader.name();
            const QXmlStreamAttributes attributes = reader.attributes();
            if (name == QLatin1String("interface")) {
                inside = attributes.value(QLatin1String("name")) == interfaceName;
                *found = *found || inside;
            } else if (inside && name == QLatin1String("method")) {
                methods.append(Method{attributes.value(QLatin1String("name")).toString(), {}, {}, {}});
            } else if (inside && name == QLatin1String("arg") && !methods.isEmpty()) {
                const QString type = attributes.value(QLatin1String("type")).toString();
                if (attributes.value(QLatin1String("direction")) == QLatin1String("out"))
                    methods.back().out.append(type);
                else
                    methods.back().in.append(type);
            } else if (inside && name == QLatin1String("annotation") && !methods.isEmpty() &&
                       attributes.value(QLatin1String("name")) == QLatin1String("Kelvaran.DispatchId")) {
                methods.back().dispatchId = attributes.value(QLatin1String("value")).toString();
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("interface")) {
            inside = false;
        }
    }
    return methods;
}

}  // namespace

class AutomationServiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeWindow> window_;
    std::unique_ptr<AutomationService> service_;
    // A second connection, as another program would have.
    QDBusConnection client_{QString()};

private slots:
    void initTestCase() {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        client_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
        QVERIFY(client_.isConnected());
    }

    void init() {
        window_ = std::make_unique<FakeWindow>();
        service_ = std::make_unique<AutomationService>(*window_, QDBusConnection::sessionBus());
        QVERIFY2(service_->publish(), qPrintable(service_->lastError()));
        QVERIFY(service_->published());
        QVERIFY(nameHasOwner(client_, kName));
    }

    void cleanup() {
        service_.reset();
        window_.reset();
    }

    void busReportsTheInterfaceInSlotOrder() {
        QDBusMessage call = QDBusMessage::createMethodCall(kName, QStringLiteral("/MSKelvaran"),
                                                           QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                                           QStringLiteral("Introspect"));
        const QDBusMessage reply = callAndWait(client_, call);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        bool found = false;
        const QList<Method> methods = methodsOf(reply.arguments().value(0).toString(),
                                                QStringLiteral("Kelvaran._MSKelvaran"), &found);
        QVERIFY(found);
        QCOMPARE(methods.size(), 5);
        const char* names[] = {"Quit", "getVersion", "setMainWindowState", "getMainWindowState", "SetOptions"};
        const char* ids[] = {"0x60030000", "0x60030001", "0x60030002", "0x60030003", "0x60030004"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(methods[i].name, QString::fromLatin1(names[i]));
            QCOMPARE(methods[i].dispatchId, QString::fromLatin1(ids[i]));
        }
        QCOMPARE(methods[0].in, QStringList());
        QCOMPARE(methods[0].out, QStringList());
        QCOMPARE(methods[1].out, QStringList{QStringLiteral("s")});
        QCOMPARE(methods[2].in, QStringList{QStringLiteral("i")});
        QCOMPARE(methods[2].out, QStringList());
        QCOMPARE(methods[3].out, QStringList{QStringLiteral("i")});
        QCOMPARE(methods[4].in, (QStringList{QStringLiteral("s"), QStringLiteral("i"), QStringLiteral("s"),
                                             QStringLiteral("i"), QStringLiteral("s")}));
        QCOMPARE(methods[4].out, QStringList{QStringLiteral("v")});
    }

    void getVersionAnswersTheProjectVersion() {
        const QDBusMessage reply = callService(client_, QStringLiteral("getVersion"));
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.signature(), QStringLiteral("s"));
        QCOMPARE(reply.arguments().value(0).toString(), QStringLiteral(KELVARAN_EXPECTED_VERSION));
        QCOMPARE(window_->setCalls + window_->quitCalls, 0);
    }

    void windowStateIsSetAndReadBack() {
        for (int state : {1, 2, 0, 1}) {
            const QDBusMessage set = callService(client_, QStringLiteral("setMainWindowState"), {state});
            QCOMPARE(set.type(), QDBusMessage::ReplyMessage);
            QCOMPARE(set.arguments().size(), 0);
            QCOMPARE(window_->state, state);
            const QDBusMessage get = callService(client_, QStringLiteral("getMainWindowState"));
            QCOMPARE(get.type(), QDBusMessage::ReplyMessage);
            QCOMPARE(get.signature(), QStringLiteral("i"));
            QCOMPARE(get.arguments().value(0).toInt(), state);
        }
        QCOMPARE(window_->setCalls, 4);
    }

    void aStateOutsideTheThreeIsAnErrorAndChangesNothing() {
        window_->state = 2;
        for (int bad : {5, 3, -1, 0x7fffffff}) {
            const QDBusMessage reply = callService(client_, QStringLiteral("setMainWindowState"), {bad});
            QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
            QCOMPARE(reply.errorName(), kInvalidArgs);
            QVERIFY(reply.errorMessage().contains(QString::number(bad)));
        }
        QCOMPARE(window_->setCalls, 0);
        QCOMPARE(window_->state, 2);
        // the wrong type of argument does not reach the window either
        const QDBusMessage text =
            callService(client_, QStringLiteral("setMainWindowState"), {QStringLiteral("1")});
        QCOMPARE(text.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(window_->setCalls, 0);
    }

    void setOptionsAnswersAVariantThatCarriesNothing() {
        window_->state = 1;
        const QDBusMessage reply =
            callService(client_, QStringLiteral("SetOptions"),
                        {QStringLiteral("action"), 7, QStringLiteral("value"), -3, QStringLiteral("result")});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.signature(), QStringLiteral("v"));
        const QDBusVariant result = qvariant_cast<QDBusVariant>(reply.arguments().value(0));
        const QDBusArgument inner = qvariant_cast<QDBusArgument>(result.variant());
        QCOMPARE(inner.currentSignature(), QStringLiteral("av"));
        inner.beginArray();
        QVERIFY(inner.atEnd());
        inner.endArray();
        QCOMPARE(window_->setCalls + window_->quitCalls, 0);
        QCOMPARE(window_->state, 1);
    }

    void quitAnswersAndEndsTheProgram() {
        const QDBusMessage reply = callService(client_, QStringLiteral("Quit"));
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(window_->quitCalls, 1);
        QCOMPARE(window_->setCalls, 0);
    }

    void theNameIsNotTakenOverAndGoesWithTheService() {
        // a second copy of the program on its own connection
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        FakeWindow otherWindow;
        {
            AutomationService second(otherWindow, other);
            QVERIFY(!second.publish());
            QVERIFY(!second.published());
            QVERIFY(second.lastError().contains(kName));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
        // the first one still answers
        const QDBusMessage reply = callService(client_, QStringLiteral("setMainWindowState"), {2});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(window_->state, 2);
        QCOMPARE(otherWindow.setCalls, 0);

        service_->withdraw();
        QVERIFY(!service_->published());
        QVERIFY(!nameHasOwner(client_, kName));
        const QDBusMessage gone = callService(client_, QStringLiteral("getVersion"));
        QCOMPARE(gone.type(), QDBusMessage::ErrorMessage);
        // and may be published again
        QVERIFY(service_->publish());
        QCOMPARE(callService(client_, QStringLiteral("getVersion")).type(), QDBusMessage::ReplyMessage);
    }

    void withoutABusNothingIsPublished() {
        FakeWindow window;
        AutomationService offline(window, QDBusConnection(QStringLiteral("never connected")));
        QVERIFY(!offline.publish());
        QVERIFY(!offline.lastError().isEmpty());
        QVERIFY(!offline.published());
    }

    void ctlCallsEveryMethod() {
        CtlRun version = runCtl({QStringLiteral("getVersion")});
        QVERIFY(version.finished);
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral(KELVARAN_EXPECTED_VERSION "\n"));

        CtlRun minimise = runCtl({QStringLiteral("setMainWindowState"), QStringLiteral("1")});
        QCOMPARE(minimise.exitCode, 0);
        QCOMPARE(window_->state, 1);
        QCOMPARE(minimise.out, QString());

        window_->state = 2;
        CtlRun state = runCtl({QStringLiteral("getMainWindowState")});
        QCOMPARE(state.exitCode, 0);
        QCOMPARE(state.out, QStringLiteral("2\n"));

        CtlRun quit = runCtl({QStringLiteral("Quit")});
        QCOMPARE(quit.exitCode, 0);
        QCOMPARE(window_->quitCalls, 1);
        QCOMPARE(window_->setCalls, 1);
    }

    void ctlReportsErrorsOfTheProgramAndOfTheBus() {
        window_->state = 0;
        CtlRun bad = runCtl({QStringLiteral("setMainWindowState"), QStringLiteral("9")});
        QVERIFY(bad.finished);
        QCOMPARE(bad.exitCode, 1);
        QVERIFY(bad.err.contains(kInvalidArgs));
        QCOMPARE(window_->setCalls, 0);

        service_->withdraw();
        CtlRun absent = runCtl({QStringLiteral("getVersion")});
        QCOMPARE(absent.exitCode, 1);
        QCOMPARE(absent.out, QString());
        QVERIFY(absent.err.contains(QStringLiteral("ServiceUnknown")));
    }

    void ctlRefusesCommandLinesItDoesNotKnow() {
        const QList<QStringList> refused = {
            {},
            {QStringLiteral("setMainWindowState")},
            {QStringLiteral("setMainWindowState"), QStringLiteral("1x")},
            {QStringLiteral("setMainWindowState"), QStringLiteral("")},
            {QStringLiteral("setMainWindowState"), QStringLiteral("4294967297")},
            {QStringLiteral("setMainWindowState"), QStringLiteral("1"), QStringLiteral("2")},
            {QStringLiteral("getVersion"), QStringLiteral("extra")},
            {QStringLiteral("quit")},
            {QStringLiteral("SetOptions")},
        };
        for (const QStringList& arguments : refused) {
            CtlRun run = runCtl(arguments);
            QVERIFY(run.finished);
            QCOMPARE(run.exitCode, 2);
            QVERIFY(run.err.contains(QStringLiteral("usage")));
        }
        QCOMPARE(window_->setCalls + window_->quitCalls, 0);

        CtlRun help = runCtl({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains(QStringLiteral("setMainWindowState N")));
        CtlRun version = runCtl({QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral("kelvaran-ctl " KELVARAN_EXPECTED_DOTTED_VERSION "\n"));
        QCOMPARE(window_->setCalls + window_->quitCalls, 0);
        // a negative number is a number: the program, not the client, refuses it
        CtlRun negative = runCtl({QStringLiteral("setMainWindowState"), QStringLiteral("-1")});
        QCOMPARE(negative.exitCode, 1);
        QVERIFY(negative.err.contains(kInvalidArgs));
    }
};

}  // namespace kelvaran::automation

QTEST_GUILESS_MAIN(kelvaran::automation::AutomationServiceTest)
#include "AutomationServiceTest.moc"
