#pragma once

#include "settings/RegAccess.h"

#include <optional>
#include <string>

namespace kelvaran::settings {

// The eleven stored values as the program uses them, read in table order.
// A blank stored value (nothing left after StripBlanks) takes its default;
// the texts are kept as stored.  Slow, WaitXP, Wait2000 and Format that are
// not whole numbers (a state other than 0 or 1, a negative pause, a position
// outside 0..4) count as missing.  FormHeight, OLE and Twice that cannot be
// applied stay empty (std::nullopt) so the caller leaves the control as
// designed.
struct StoredSettings {
    bool slow = false;
    int waitXP = 200;
    int wait2000 = 500;
    int format = 0;
    std::string ratio = "1.5";
    std::string fileSize = "50";
    std::string expectRate = "75";
    std::string pixelSize = "9999";
    std::optional<int> formHeight = 7000;  // twips; nullopt: leave the window's designed height
    std::optional<bool> ole = false;       // nullopt: leave unchecked
    std::optional<bool> twice = false;     // nullopt: leave unchecked

    static StoredSettings load(RegAccess& registry);
};

// What the unload writes, in table order, under HKEY_LOCAL_MACHINE: the texts
// of the four boxes only when not empty (an empty box keeps the stored value).
struct SettingsToStore {
    bool slow = false;
    int waitXP = 200;
    int wait2000 = 500;
    int format = 0;
    std::string ratio;
    std::string fileSize;
    std::string expectRate;
    std::string pixelSize;
    int formHeight = 7000;
    bool ole = false;
    bool twice = false;

    void save(RegAccess& registry) const;
};

}  // namespace kelvaran::settings
