#pragma once

#include <string>
#include <vector>

namespace kelvaran::platform {
class EventPump;
class MessageBoxes;
}  // namespace kelvaran::platform
namespace kelvaran::settings {
class RegAccess;
}

namespace kelvaran::web {

// The maker's site: scheme and host, no trailing slash.  Every address the
// program opens starts with it.
inline const std::string kSiteBase = "https://www.quelto.co.jp";
inline const std::string kSupportPath = "/service/servlet/support";
inline const std::string kUpdatePath = "/service/servlet/update";

// Where the system keeps the command that opens web addresses, below
// HKEY_CLASSES_ROOT, and this desktop's own way when nothing is kept there.
inline const std::string kBrowserCommandKey = "http\\shell\\open\\command";
inline const std::string kDesktopBrowserCommand = "xdg-open \"%1\"";

// What the user is told when the browser cannot be started.
inline const std::string kCannotOpenMessage =
    "アプリケーション上からQueltoサイトにアクセスできません。\r\nネットワークの状態を確認して下さい。";

// Starts a program with arguments in a new process with a normal window.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual bool start(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

// Starts the program as an independent process that outlives this one.
class DetachedProgramStarter : public ProgramStarter {
public:
    bool start(const std::string& program, const std::vector<std::string>& arguments) override;
};

// The full address of a page: site base, path and the query that names the
// program and its version.
std::string pageAddress(const std::string& path);

// The command that opens web addresses: the default value of
// "http\shell\open\command"; this desktop's default when that value does not
// exist.  A value that is there but holds no text yields "".
std::string browserCommand(settings::RegAccess& registry);

// The program of a command line: the quoted part when the command starts with
// a double quote, otherwise its first blank-separated word; switches and the
// "%1" placeholder after it are not part of it.  "" when there is none.
std::string browserProgram(const std::string& command);

// Opens a page of the maker's site in the browser; tells the user itself when it cannot.
void OpenWebPage(const std::string& path, settings::RegAccess& registry, platform::MessageBoxes& messages,
                 platform::EventPump& events, ProgramStarter& starter);

}  // namespace kelvaran::web
