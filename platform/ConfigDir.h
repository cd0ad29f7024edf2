#pragma once

#include <string>

namespace kelvaran::platform {

// The configuration folder: $KELVARAN_CONFIG_DIR if set, else
// $XDG_CONFIG_HOME/kelvaran, else ~/.config/kelvaran.  Not created here.
std::string configDirectory();

// configDirectory(), created with its parents when missing; throws
// FileSystemError when that fails.
std::string ensureConfigDirectory();

}  // namespace kelvaran::platform
