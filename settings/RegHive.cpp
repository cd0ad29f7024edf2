#include "settings/RegHive.h"

#include "platform/Conversions.h"

#include <cstdio>

namespace kelvaran::settings {

namespace {

using platform::asciiLower;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (isBlank(s.front()) || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && asciiLower(s.substr(0, prefix.size())) == prefix;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// UTF-16LE code units to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    auto unit = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8);
    };
    while (i + 1 < bytes.size()) {
        std::uint32_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
            std::uint32_t low = unit(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        appendUtf8(out, u);
    }
    return out;
}

// UTF-8 to UTF-16LE; bytes that do not form a character are taken one by one
// as U+FFFD.
std::string utf8ToUtf16le(std::string_view text) {
    std::string out;
    auto put = [&](std::uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else {
            std::size_t need = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
            bool ok = need != 0 && i + need <= text.size();
            std::uint32_t v = need == 2 ? (c & 0x1F) : need == 3 ? (c & 0x0F) : (c & 0x07);
            for (std::size_t k = 1; ok && k < need; ++k) {
                unsigned char t = static_cast<unsigned char>(text[i + k]);
                if ((t & 0xC0) != 0x80) ok = false;
                v = (v << 6) | (t & 0x3F);
            }
            if (ok) {
                cp = v;
                len = need;
            }
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

// "hex(N):" or "hex:" data, comma-separated byte pairs.  Returns false when a
// pair is not hexadecimal.
bool parseHexBytes(std::string_view data, std::string& bytes) {
    bytes.clear();
    std::size_t i = 0;
    while (i < data.size()) {
        while (i < data.size() && (isBlank(data[i]) || data[i] == ',')) ++i;
        if (i >= data.size()) break;
        std::size_t start = i;
        while (i < data.size() && !isBlank(data[i]) && data[i] != ',') ++i;
        std::string_view pair = data.substr(start, i - start);
        if (pair.empty() || pair.size() > 2) return false;
        unsigned value = 0;
        for (char c : pair) {
            value <<= 4;
            if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
            else return false;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return true;
}

// A quoted text starting at s[0] == '"'.  Only \\ and \" are escapes; any
// other backslash stands for itself.  Returns the position after the closing
// quote, or npos when there is none.
std::size_t parseQuoted(std::string_view s, std::string& out) {
    out.clear();
    std::size_t i = 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out.push_back(s[i + 1]);
            i += 2;
            continue;
        }
        if (c == '"') return i + 1;
        out.push_back(c);
        ++i;
    }
    return std::string_view::npos;
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string hexBytes(std::string_view bytes) {
    std::string out;
    char buffer[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i) out.push_back(',');
        out += buffer;
    }
    return out;
}

bool fitsQuoted(std::string_view text) {
    for (char c : text) {
        if (c == '\0' || c == '\r' || c == '\n') return false;
    }
    return true;
}

enum class DataKind { Store, Delete, Skip };

// The value part of a line, after the "=".  Fills `value` for Store; Delete
// for "-"; Skip for a text whose closing quote is missing.
DataKind parseData(std::string_view data, RegHive::Value& value) {
    data = trim(data);
    if (data == "-") return DataKind::Delete;
    if (!data.empty() && data.front() == '"') {
        std::string text;
        if (parseQuoted(data, text) == std::string_view::npos) return DataKind::Skip;
        value.type = RegHive::ValueType::String;
        value.byteCount = text.size() + 1;
        value.text = std::move(text);
        return DataKind::Store;
    } else if (startsWithNoCase(data, "dword:")) {
        std::string_view digits = trim(data.substr(6));
        bool ok = !digits.empty() && digits.size() <= 8;
        std::uint32_t v = 0;
        for (char c : digits) {
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<std::uint32_t>(c - 'A' + 10);
            else ok = false;
        }
        if (ok) {
            value.type = RegHive::ValueType::Dword;
            value.dword = v;
            value.byteCount = 4;
            return DataKind::Store;
        }
    } else if (startsWithNoCase(data, "hex")) {
        std::size_t colon = data.find(':');
        std::string kind = colon == std::string_view::npos ? "" : asciiLower(data.substr(0, colon));
        std::string bytes;
        if (colon != std::string_view::npos && parseHexBytes(data.substr(colon + 1), bytes)) {
            if (kind == "hex(1)") {
                // A string in UTF-16LE with its terminating NUL.
                std::string text = utf16leToUtf8(bytes);
                if (!text.empty() && text.back() == '\0') text.pop_back();
                value.type = RegHive::ValueType::String;
                value.byteCount = text.size() + 1;
                value.text = std::move(text);
                return DataKind::Store;
            }
            if (kind == "hex(4)" && bytes.size() == 4) {
                value.type = RegHive::ValueType::Dword;
                value.dword = 0;
                for (int k = 3; k >= 0; --k) {
                    value.dword = (value.dword << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(k)]);
                }
                value.byteCount = 4;
                return DataKind::Store;
            }
            value.type = RegHive::ValueType::Other;
            value.raw = std::string(data);
            value.byteCount = bytes.size();
            return DataKind::Store;
        }
    }
    // Anything else is a type this store does not interpret; keep it as it stood.
    value.type = RegHive::ValueType::Other;
    value.raw = std::string(data);
    value.byteCount = data.size();
    return DataKind::Store;
}

// Splits the text into logical lines: LF or CRLF ends, a hexadecimal value
// continued with a trailing "\" joined to the next line.
std::vector<std::string> logicalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string pending;
    bool continuing = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        std::string_view piece = continuing ? trim(line) : line;
        std::string joined = pending + std::string(piece);
        std::string_view t = trim(joined);
        // A continuation only makes sense after hexadecimal data ("=hex...,\").
        std::size_t eq = joined.find('=');
        bool hexData = eq != std::string::npos && startsWithNoCase(trim(std::string_view(joined).substr(eq + 1)), "hex");
        if (!t.empty() && t.back() == '\\' && hexData) {
            pending = std::string(t.substr(0, t.size() - 1));
            continuing = true;
        } else {
            lines.push_back(std::move(joined));
            pending.clear();
            continuing = false;
        }
        if (end == text.size()) break;
    }
    if (!pending.empty()) lines.push_back(pending);
    return lines;
}

const char* const kRootNames[][2] = {
    {"hkey_local_machine", "hklm"},
    {"hkey_current_user", "hkcu"},
    {"hkey_classes_root", "hkcr"},
    {"hkey_users", "hku"},
    {"hkey_current_config", "hkcc"},
};

bool isAnyRootName(const std::string& lower) {
    for (const auto& names : kRootNames) {
        if (lower == names[0] || lower == names[1]) return true;
    }
    return false;
}

}  // namespace

RegHive::Key* RegHive::Key::child(std::string_view name) const {
    auto it = childByName.find(asciiLower(name));
    return it == childByName.end() ? nullptr : it->second;
}

RegHive::Key& RegHive::Key::addChild(std::string_view name) {
    if (Key* existing = child(name)) return *existing;
    auto key = std::make_unique<Key>();
    key->name = std::string(name);
    Key* raw = key.get();
    children.push_back(std::move(key));
    childByName.emplace(asciiLower(name), raw);
    return *raw;
}

const RegHive::Value* RegHive::Key::value(std::string_view name) const {
    auto it = valueByName.find(asciiLower(name));
    return it == valueByName.end() ? nullptr : &values[it->second];
}

void RegHive::Key::setValue(Value v) {
    std::string lower = asciiLower(v.name);
    auto it = valueByName.find(lower);
    if (it != valueByName.end()) {
        v.name = values[it->second].name;
        values[it->second] = std::move(v);
        return;
    }
    values.push_back(std::move(v));
    valueByName.emplace(std::move(lower), values.size() - 1);
}

void RegHive::Key::removeValue(std::string_view name) {
    auto it = valueByName.find(asciiLower(name));
    if (it == valueByName.end()) return;
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(it->second));
    valueByName.clear();
    for (std::size_t i = 0; i < values.size(); ++i) valueByName.emplace(asciiLower(values[i].name), i);
}

RegHive::RegHive(std::string rootName) : rootName_(std::move(rootName)) {}

void RegHive::clear() {
    root_ = Key{};
}

RegHive::Key* RegHive::find(std::string_view path) {
    Key* key = &root_;
    std::size_t pos = 0;
    while (key && pos <= path.size()) {
        std::size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(pos, end - pos);
        if (!part.empty()) key = key->child(part);
        pos = end + 1;
    }
    return key;
}

RegHive::Key& RegHive::create(std::string_view path) {
    Key* key = &root_;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(pos, end - pos);
        if (!part.empty()) key = &key->addChild(part);
        pos = end + 1;
    }
    return *key;
}

bool RegHive::parse(std::string_view fileText) {
    clear();
    std::string decoded;
    if (fileText.size() >= 2 && static_cast<unsigned char>(fileText[0]) == 0xFF &&
        static_cast<unsigned char>(fileText[1]) == 0xFE) {
        decoded = utf16leToUtf8(fileText.substr(2));
        fileText = decoded;
    } else if (fileText.size() >= 3 && fileText.substr(0, 3) == "\xEF\xBB\xBF") {
        fileText.remove_prefix(3);
    }

    const std::string ownRoot = asciiLower(rootName_);
    std::string ownShort;
    for (const auto& names : kRootNames) {
        if (ownRoot == names[0]) ownShort = names[1];
    }

    bool headerSeen = false;
    bool firstContent = true;
    Key* current = nullptr;  // null: values of this section are not ours
    for (const std::string& line : logicalLines(fileText)) {
        std::string_view t = trim(line);
        if (t.empty() || t.front() == ';') continue;
        if (firstContent) {
            firstContent = false;
            if (t == "Windows Registry Editor Version 5.00" || t == "REGEDIT4") {
                headerSeen = true;
                continue;
            }
        }
        if (t.front() == '[') {
            std::size_t close = t.rfind(']');
            std::string_view path = close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1);
            path = trim(path);
            current = nullptr;
            if (!path.empty() && path.front() == '-') continue;  // a deletion entry: nothing to hold
            std::size_t slash = path.find('\\');
            std::string first = asciiLower(path.substr(0, slash));
            std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
            if (first == ownRoot || (!ownShort.empty() && first == ownShort)) {
                current = &create(rest);
            } else if (!isAnyRootName(first)) {
                current = &create(path);  // written without its root: take it as ours
            }
            continue;
        }
        if (!current) continue;
        Value value;
        std::size_t afterName = 0;
        if (t.front() == '@') {
            afterName = 1;
        } else if (t.front() == '"') {
            afterName = parseQuoted(t, value.name);
            if (afterName == std::string_view::npos) continue;
        } else {
            continue;
        }
        std::string_view rest = t.substr(afterName);
        while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
        if (rest.empty() || rest.front() != '=') continue;
        rest.remove_prefix(1);
        switch (parseData(rest, value)) {
        case DataKind::Store: current->setValue(std::move(value)); break;
        case DataKind::Delete: current->removeValue(value.name); break;
        case DataKind::Skip: break;
        }
    }
    return headerSeen;
}

namespace {

void serializeKey(const RegHive::Key& key, const std::string& path, bool isRoot, std::string& out) {
    if (!isRoot || !key.values.empty()) {
        out += "[" + path + "]\r\n";
        for (const RegHive::Value& v : key.values) {
            out += v.name.empty() ? std::string("@") : quote(v.name);
            out += "=";
            switch (v.type) {
            case RegHive::ValueType::String:
                if (fitsQuoted(v.text)) {
                    out += quote(v.text);
                } else {
                    std::string bytes = utf8ToUtf16le(v.text);
                    bytes.append(2, '\0');
                    out += "hex(1):" + hexBytes(bytes);
                }
                break;
            case RegHive::ValueType::Dword: {
                char buffer[16];
                std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(v.dword));
                out += buffer;
                break;
            }
            case RegHive::ValueType::Other:
                out += v.raw;
                break;
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    for (const auto& child : key.children) serializeKey(*child, path + "\\" + child->name, false, out);
}

}  // namespace

std::string RegHive::serialize() const {
    std::string out = "Windows Registry Editor Version 5.00\r\n\r\n";
    serializeKey(root_, rootName_, true, out);
    return out;
}

}  // namespace kelvaran::settings
