#include "settings/StoredSettings.h"

#include "platform/Conversions.h"
#include "platform/Failure.h"

#include <cmath>
#include <limits>

namespace kelvaran::settings {

namespace {

// The stored text, or nullopt when it is blank (or missing: a missing value
// reads as empty text).
std::optional<std::string> readStored(RegAccess& registry, const char* name) {
    std::string text;
    registry.ReadRegValue(Root::HKEY_LOCAL_MACHINE, kSettingsKey, name, text);
    if (platform::StripBlanks(text).empty()) return std::nullopt;
    return text;
}

// The text as a whole number; blanks and line breaks around it are allowed.
std::optional<int> wholeNumber(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    try {
        double value = platform::textToDouble(std::string_view(text).substr(begin, end - begin));
        if (value != std::floor(value) || value < std::numeric_limits<int>::min() ||
            value > std::numeric_limits<int>::max()) {
            return std::nullopt;
        }
        return static_cast<int>(value);
    } catch (const platform::Failure&) {
        return std::nullopt;
    }
}

std::optional<bool> checkState(const std::string& text) {
    std::optional<int> n = wholeNumber(text);
    if (n == 0) return false;
    if (n == 1) return true;
    return std::nullopt;
}

}  // namespace

StoredSettings StoredSettings::load(RegAccess& registry) {
    StoredSettings s;
    if (auto text = readStored(registry, "Slow")) {
        if (auto state = checkState(*text)) s.slow = *state;
    }
    if (auto text = readStored(registry, "WaitXP")) {
        if (auto n = wholeNumber(*text); n && *n >= 0) s.waitXP = *n;
    }
    if (auto text = readStored(registry, "Wait2000")) {
        if (auto n = wholeNumber(*text); n && *n >= 0) s.wait2000 = *n;
    }
    if (auto text = readStored(registry, "Format")) {
        if (auto n = wholeNumber(*text); n && *n >= 0 && *n <= 4) s.format = *n;
    }
    if (auto text = readStored(registry, "Ratio")) s.ratio = *text;
    if (auto text = readStored(registry, "FileSize")) s.fileSize = *text;
    if (auto text = readStored(registry, "ExpectRate")) s.expectRate = *text;
    if (auto text = readStored(registry, "PixelSize")) s.pixelSize = *text;
    if (auto text = readStored(registry, "FormHeight")) {
        std::optional<int> n = wholeNumber(*text);
        s.formHeight = n && *n > 0 ? n : std::nullopt;
    }
    if (auto text = readStored(registry, "OLE")) s.ole = checkState(*text);
    if (auto text = readStored(registry, "Twice")) s.twice = checkState(*text);
    return s;
}

void SettingsToStore::save(RegAccess& registry) const {
    auto put = [&](const char* name, const std::string& text) {
        registry.WriteRegValue(Root::HKEY_LOCAL_MACHINE, kSettingsKey, name, text);
    };
    auto putIfNotEmpty = [&](const char* name, const std::string& text) {
        if (!text.empty()) put(name, text);
    };
    put("Slow", slow ? "1" : "0");
    put("WaitXP", std::to_string(waitXP));
    put("Wait2000", std::to_string(wait2000));
    put("Format", std::to_string(format));
    putIfNotEmpty("Ratio", ratio);
    putIfNotEmpty("FileSize", fileSize);
    putIfNotEmpty("ExpectRate", expectRate);
    putIfNotEmpty("PixelSize", pixelSize);
    put("FormHeight", std::to_string(formHeight));
    put("OLE", ole ? "1" : "0");
    put("Twice", twice ? "1" : "0");
}

}  // namespace kelvaran::settings
