// kelvaran-ctl: calls the automation class of a running program (or of one
// that the bus starts for the call) on the session bus.
//
//   kelvaran-ctl getVersion               prints the version text, 1_7_1
//   kelvaran-ctl getMainWindowState       prints 0 (normal), 1 (minimised) or 2 (maximised)
//   kelvaran-ctl setMainWindowState N     sets the main window's state
//   kelvaran-ctl Quit                     ends the program at once, nothing saved
//   kelvaran-ctl --help | --version
//
// Exit status: 0 when the call succeeded, 1 when the bus or the program
// answered an error, 2 for a command line that is not one of the above.
#include "Version.h"
#include "automation/BusNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QStringList>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace {

using namespace kelvaran::automation;

constexpr const char* kUsage =
    "usage: kelvaran-ctl getVersion\n"
    "       kelvaran-ctl getMainWindowState\n"
    "       kelvaran-ctl setMainWindowState N    (0 normal, 1 minimised, 2 maximised)\n"
    "       kelvaran-ctl Quit\n";

void usage() { std::fputs(kUsage, stderr); }

void help() {
    std::printf(
        "Calls the automation service of the Kelvaran desktop program on the session bus.\n"
        "When the program is not running, the bus starts it for the call.\n\n%s\n"
        "  getVersion           print the program's version text (%s)\n"
        "  getMainWindowState   print the main window's state: 0 normal, 1 minimised, 2 maximised\n"
        "  setMainWindowState N set the main window's state; any other N is refused\n"
        "  Quit                 end the program at once; nothing is saved\n"
        "  --help               print this help\n"
        "  --version            print the version of kelvaran-ctl\n\n"
        "Exit status: 0 when the call succeeded, 1 when the bus or the program answered an error,\n"
        "2 for a command line that is none of the above.\n",
        kUsage, kelvaran::kVersionUnderscored);
}

// The whole argument as a 32-bit integer, or nothing: "1x", "" and values out
// of range are not numbers here.
std::optional<std::int32_t> parseInt32(const std::string& text) {
    std::int32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last) return std::nullopt;
    return value;
}

int fail(const QDBusError& error) {
    std::fprintf(stderr, "kelvaran-ctl: %s: %s\n", error.name().toLocal8Bit().constData(),
                 error.message().toLocal8Bit().constData());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        usage();
        return 2;
    }
    const QString method = args.front();
    if (args.size() == 1 && (method == QLatin1String("--help") || method == QLatin1String("-h"))) {
        help();
        return 0;
    }
    if (args.size() == 1 && method == QLatin1String("--version")) {
        std::printf("kelvaran-ctl %s\n", kelvaran::kVersionDotted);
        return 0;
    }
    QVariantList callArguments;
    if (method == QLatin1String("setMainWindowState")) {
        std::optional<std::int32_t> state;
        if (args.size() == 2) state = parseInt32(args[1].toStdString());
        if (!state) {
            usage();
            return 2;
        }
        callArguments << QVariant::fromValue(static_cast<int>(*state));
    } else if (method == QLatin1String("getVersion") || method == QLatin1String("getMainWindowState") ||
               method == QLatin1String("Quit")) {
        if (args.size() != 1) {
            usage();
            return 2;
        }
    } else {
        usage();
        return 2;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return fail(bus.lastError());

    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kServiceName),
                                                       QString::fromLatin1(kObjectPath),
                                                       QString::fromLatin1(kInterfaceName), method);
    call.setArguments(callArguments);
    // A program that is not running is started by the bus for the call.
    call.setAutoStartService(true);
    const QDBusMessage reply = bus.call(call, QDBus::Block);
    if (reply.type() == QDBusMessage::ErrorMessage) return fail(QDBusError(reply));
    if (reply.type() != QDBusMessage::ReplyMessage) return fail(bus.lastError());

    const QVariantList results = reply.arguments();
    if (method == QLatin1String("getVersion") || method == QLatin1String("getMainWindowState")) {
        if (results.size() != 1) {
            std::fputs("kelvaran-ctl: the program answered without a result\n", stderr);
            return 1;
        }
        std::printf("%s\n", results.front().toString().toLocal8Bit().constData());
    }
    return 0;
}
