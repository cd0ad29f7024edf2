#include "web/WebPages.h"

#include "Version.h"
#include "platform/Host.h"
#include "settings/RegAccess.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace kelvaran::web {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool DetachedProgramStarter::start(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList args;
    for (const std::string& argument : arguments) args << QString::fromStdString(argument);
    // Reports false when the program cannot be executed at all.
    return QProcess::startDetached(QString::fromStdString(program), args);
}

std::string pageAddress(const std::string& path) {
    return kSiteBase + path + "?app=" + "kelvaran" + "&ver=" + kVersionUnderscored + "&lang=japanese";
}

std::string browserCommand(settings::RegAccess& registry) {
    using settings::Root;
    if (!registry.RegValueReadable(Root::HKEY_CLASSES_ROOT, kBrowserCommandKey, "")) return kDesktopBrowserCommand;
    std::string command;
    if (!registry.ReadRegValue(Root::HKEY_CLASSES_ROOT, kBrowserCommandKey, "", command)) return {};
    return command;
}

std::string browserProgram(const std::string& command) {
    std::size_t begin = 0;
    while (begin < command.size() && blank(command[begin])) ++begin;
    if (begin == command.size()) return {};
    if (command[begin] == '"') {
        // Up to the closing quote; a quote that is never closed takes the rest.
        const std::size_t close = command.find('"', begin + 1);
        return command.substr(begin + 1, close == std::string::npos ? std::string::npos : close - begin - 1);
    }
    std::size_t end = begin;
    while (end < command.size() && !blank(command[end])) ++end;
    return command.substr(begin, end - begin);
}

// Cutting the command at its first "-" or "%", as older versions did, breaks
// every browser whose path holds a "-" (xdg-open among them); the program is
// taken as a command line's first word instead.
void OpenWebPage(const std::string& path, settings::RegAccess& registry, platform::MessageBoxes& messages,
                 platform::EventPump& events, ProgramStarter& starter) {
    bool started = false;
    try {
        const std::string program = browserProgram(browserCommand(registry));
        if (!program.empty()) started = starter.start(program, {pageAddress(path)});
    } catch (const std::exception&) {
        started = false;
    }
    if (!started) {
        messages.show(kCannotOpenMessage, platform::MessageIcon::None);
        return;
    }
    events.processEvents();
}

}  // namespace kelvaran::web
