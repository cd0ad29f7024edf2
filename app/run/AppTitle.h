#pragma once

#include <string>

namespace kelvaran::app {

// The caption of the main window and of every message box.
inline const std::string kApplicationTitle = "Quelto MSケルヴァラン";

}  // namespace kelvaran::app
