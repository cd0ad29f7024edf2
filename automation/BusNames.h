#pragma once

namespace kelvaran::automation {

// Where the automation class lives on the session bus.
inline constexpr const char* kServiceName = "Kelvaran.MSKelvaran";
inline constexpr const char* kObjectPath = "/MSKelvaran";
inline constexpr const char* kInterfaceName = "Kelvaran._MSKelvaran";

// The window states that setMainWindowState accepts and getMainWindowState
// reports.
inline constexpr int kStateNormal = 0;
inline constexpr int kStateMinimised = 1;
inline constexpr int kStateMaximised = 2;

}  // namespace kelvaran::automation
