#pragma once

#include <string>
#include <vector>

namespace kelvaran::platform {
class EventPump;
class MessageBoxes;
}
namespace kelvaran::settings {
class RegAccess;
}

namespace kelvaran::web {

inline const std::string kSupportPath = "/service/servlet/support";
inline const std::string kUpdatePath = "/service/servlet/update";

// Starts a program with arguments in a new process with a normal window.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual bool start(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

// The full address of a page: site base, path and query.
std::string pageAddress(const std::string& path);

// Opens a page of the maker's site in the browser; tells the user itself when it cannot.
void OpenWebPage(const std::string& path, settings::RegAccess& registry, platform::MessageBoxes& messages,
                 platform::EventPump& events, ProgramStarter& starter);

}  // namespace kelvaran::web
