#include "platform/Conversions.h"

#include "platform/Failure.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace kelvaran::platform {

std::int64_t roundHalfEven(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 9.0e18) {
        throw Failure("number out of range");
    }
    // nearbyint honours the current rounding mode, which is round-to-nearest-even
    // unless somebody changed it; do it by hand so the result never depends on that.
    double floorValue = std::floor(value);
    double diff = value - floorValue;
    double result = floorValue;
    if (diff > 0.5) {
        result = floorValue + 1.0;
    } else if (diff == 0.5) {
        result = std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
    }
    return static_cast<std::int64_t>(result);
}

std::int32_t toInt32(double value) {
    std::int64_t rounded = roundHalfEven(value);
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max()) {
        throw Failure("number out of the 32-bit range");
    }
    return static_cast<std::int32_t>(rounded);
}

double textToDouble(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    std::string_view body = text.substr(begin, end - begin);
    if (!body.empty() && body.front() == '+') body.remove_prefix(1);
    if (body.empty()) throw Failure("not a number: \"" + std::string(text) + "\"");
    double value = 0;
    auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value,
                                     std::chars_format::general);
    if (ec != std::errc() || ptr != body.data() + body.size() || !std::isfinite(value)) {
        throw Failure("not a number: \"" + std::string(text) + "\"");
    }
    return value;
}

std::int32_t textToInt32(std::string_view text) { return toInt32(textToDouble(text)); }

std::string numberToText(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<long long>(value));
    }
    char buffer[64];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return "0";
    return std::string(buffer, ptr);
}

std::string StripBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\0' || c == '\n' || c == '\r' || c == ' ') continue;
        out.push_back(c);
    }
    return out;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace kelvaran::platform
