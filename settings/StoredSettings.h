#pragma once

#include "settings/RegAccess.h"

#include <optional>
#include <string>

namespace kelvaran::settings {

// The eleven stored values as the program uses them, read in table order.
// A blank stored value (nothing left after StripBlanks) takes its default;
// the texts are kept as stored.  Values that cannot be applied stay empty
// (std::nullopt) so the caller leaves the control as designed.
struct StoredSettings {
    bool slow = false;
    int waitXP = 200;
    int wait2000 = 500;
    int format = 0;
    std::string ratio = "1.5";
    std::string fileSize = "50";
    std::string expectRate = "75";
    std::string pixelSize = "9999";
    std::optional<int> formHeight;  // twips; nullopt: the designed height (7000)
    std::optional<bool> ole;        // nullopt: unchecked
    std::optional<bool> twice;      // nullopt: unchecked

    static StoredSettings load(RegAccess& registry);
};

// What the unload writes: texts of the four boxes are written only when not empty.
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
