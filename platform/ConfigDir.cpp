#include "platform/ConfigDir.h"

#include "platform/Failure.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kelvaran::platform {

std::string configDirectory() {
    if (const char* own = std::getenv("KELVARAN_CONFIG_DIR"); own && *own) return own;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/kelvaran";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/kelvaran";
}

std::string ensureConfigDirectory() {
    std::string dir = configDirectory();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw FileSystemError("cannot create the configuration folder " + dir + ": " + ec.message());
    return dir;
}

}  // namespace kelvaran::platform
