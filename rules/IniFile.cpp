#include "rules/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/Conversions.h"
#include "platform/Failure.h"
#include "rules/Cp932.h"

#include <filesystem>
#include <system_error>

namespace kelvaran::rules {

namespace {

namespace fs = std::filesystem;

// A value is read into a 1,024-byte buffer with its terminating NUL.
constexpr std::size_t kValueBytes = 1023;
// Files larger than this are not read, and never overwritten.
constexpr std::uintmax_t kMaxFileBytes = 16u * 1024u * 1024u;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string nameKey(std::string_view utf8) { return platform::asciiLower(trim(utf8)); }

struct Stamp {
    bool exists = false;
    bool regular = false;
    std::uintmax_t size = 0;
    std::int64_t time = -1;
};

Stamp stampOf(const std::string& path) {
    Stamp s;
    std::error_code ec;
    auto status = fs::status(path, ec);
    if (ec || !fs::exists(status)) return s;
    s.exists = true;
    s.regular = fs::is_regular_file(status);
    if (!s.regular) return s;
    s.size = fs::file_size(path, ec);
    auto t = fs::last_write_time(path, ec);
    if (!ec) s.time = static_cast<std::int64_t>(t.time_since_epoch().count());
    return s;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

IniFile::~IniFile() = default;

IniFile::Section* IniFile::findSection(const std::string& nameLower) {
    auto it = sectionIndex_.find(nameLower);
    return it == sectionIndex_.end() ? nullptr : it->second;
}

void IniFile::parse(const std::string& input) {
    sections_.clear();
    sectionIndex_.clear();
    std::string converted;
    std::string_view bytes = input;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        // Saved by an editor as UTF-8: take it over in the file's own code page.
        converted = utf8ToCp932(bytes.substr(3));
        bytes = converted;
        pending_ = true;
    }
    sections_.push_back(std::make_unique<Section>());
    Section* current = sections_.back().get();
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view rawLine = bytes.substr(pos, end - pos);
        if (!rawLine.empty() && rawLine.back() == '\r') rawLine.remove_suffix(1);
        pos = end + 1;

        Line line;
        line.raw = std::string(rawLine);
        std::string_view t = trim(rawLine);
        if (!t.empty() && t.front() == '[') {
            std::size_t close = t.find(']');
            std::string_view name = close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1);
            sections_.push_back(std::make_unique<Section>());
            current = sections_.back().get();
            current->hasHeader = true;
            current->nameLower = nameKey(cp932ToUtf8(name));
            current->lines.push_back(std::move(line));
            sectionIndex_.emplace(current->nameLower, current);  // the first of a name wins
            continue;
        }
        std::size_t eq = rawLine.find('=');
        if (eq != std::string_view::npos && current->hasHeader) {
            line.isKey = true;
            line.keyLower = nameKey(cp932ToUtf8(rawLine.substr(0, eq)));
            line.value = std::string(trim(rawLine.substr(eq + 1)));
            current->keyIndex.emplace(line.keyLower, current->lines.size());
        }
        current->lines.push_back(std::move(line));
    }
}

void IniFile::ensureLoaded() {
    if (held_ && loaded_) return;
    Stamp now = stampOf(path_);
    if (loaded_ && !pending_ && now.size == stampSize_ && now.time == stampTime_) return;
    if (loaded_ && pending_) return;  // unwritten changes stay until they are written
    loaded_ = true;
    writable_ = true;
    stampSize_ = now.size;
    stampTime_ = now.time;
    std::string bytes;
    if (now.exists) {
        if (!now.regular || now.size > kMaxFileBytes) {
            writable_ = false;
        } else {
            try {
                bytes = platform::readWholeFile(path_);
            } catch (const platform::Failure&) {
                bytes.clear();
            }
        }
    }
    parse(bytes);
}

std::string IniFile::ReadIni(const std::string& section, const std::string& key, const std::string& defaultValue) {
    ensureLoaded();
    Section* s = findSection(nameKey(section));
    if (!s) return defaultValue;
    auto it = s->keyIndex.find(nameKey(key));
    if (it == s->keyIndex.end()) return defaultValue;
    std::string_view value = s->lines[it->second].value;
    value = value.substr(0, cp932PrefixLength(value, kValueBytes));
    value = value.substr(0, value.find('\0'));
    if (value.empty()) return defaultValue;
    return cp932ToUtf8(value);
}

void IniFile::WriteIni(const std::string& section, const std::string& key, const std::string& value) {
    ensureLoaded();
    std::string clean = value;
    for (char& c : clean) {
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    }
    std::string sectionName = std::string(trim(section));
    std::string keyName = std::string(trim(key));
    Section* s = findSection(nameKey(sectionName));
    if (!s) {
        // A new section at the end, after a blank line when the file has content.
        Section& last = *sections_.back();
        if (!last.lines.empty() && !trim(last.lines.back().raw).empty()) last.lines.push_back(Line{});
        sections_.push_back(std::make_unique<Section>());
        s = sections_.back().get();
        s->hasHeader = true;
        s->nameLower = nameKey(sectionName);
        Line header;
        header.raw = "[" + utf8ToCp932(sectionName) + "]";
        s->lines.push_back(std::move(header));
        sectionIndex_.emplace(s->nameLower, s);
    }
    std::string bytesValue = utf8ToCp932(std::string(trim(clean)));
    std::string lower = nameKey(keyName);
    auto it = s->keyIndex.find(lower);
    if (it != s->keyIndex.end()) {
        Line& line = s->lines[it->second];
        std::size_t eq = line.raw.find('=');
        line.raw = std::string(trim(std::string_view(line.raw).substr(0, eq))) + "=" + bytesValue;
        line.value = bytesValue;
    } else {
        Line line;
        line.isKey = true;
        line.keyLower = lower;
        line.value = bytesValue;
        line.raw = utf8ToCp932(keyName) + "=" + bytesValue;
        // after the last line of the section that is not blank
        std::size_t at = s->lines.size();
        while (at > 1 && trim(s->lines[at - 1].raw).empty()) --at;
        s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
        s->keyIndex.emplace(lower, at);
    }
    pending_ = true;
    if (!held_) write();
}

void IniFile::holdWrites() { held_ = true; }

bool IniFile::flush() {
    held_ = false;
    if (!pending_) return true;
    return write();
}

bool IniFile::write() {
    if (!writable_) {
        pending_ = false;
        loaded_ = false;
        return false;
    }
    std::string out;
    for (const auto& section : sections_) {
        for (const Line& line : section->lines) {
            out += line.raw;
            out += "\r\n";
        }
    }
    try {
        std::error_code ec;
        fs::path parent = fs::path(path_).parent_path();
        if (!parent.empty()) fs::create_directories(parent, ec);
        platform::writeFileAtomically(path_, out);
    } catch (const platform::Failure&) {
        // Nothing is reported; the next read sees what the file holds.
        pending_ = false;
        loaded_ = false;
        return false;
    }
    pending_ = false;
    Stamp now = stampOf(path_);
    stampSize_ = now.size;
    stampTime_ = now.time;
    return true;
}

}  // namespace kelvaran::rules
