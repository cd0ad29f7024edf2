#include "settings/RegAccess.h"

#include "platform/AtomicFile.h"
#include "platform/ConfigDir.h"
#include "platform/Failure.h"
#include "settings/RegHive.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace kelvaran::settings {

namespace {

namespace fs = std::filesystem;

// The largest value a query can receive (the buffer of the readers).
constexpr std::size_t kValueBufferBytes = 1024;
// Key names longer than the enumeration buffer end an enumeration.
constexpr std::size_t kNameBufferChars = 2000;
// A hive file larger than this is not read (and therefore never rewritten).
constexpr std::uintmax_t kMaxHiveFileBytes = 256u * 1024u * 1024u;

const char* rootFileName(Root root) {
    switch (root) {
    case Root::HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case Root::HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case Root::HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    }
    return "HKEY_LOCAL_MACHINE";
}

struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    fs::file_time_type modified{};
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::string& path) {
    FileStamp stamp;
    std::error_code ec;
    auto status = fs::status(path, ec);
    if (ec || !fs::is_regular_file(status)) return stamp;
    stamp.size = fs::file_size(path, ec);
    if (ec) return stamp;
    stamp.modified = fs::last_write_time(path, ec);
    if (ec) return stamp;
    stamp.exists = true;
    return stamp;
}

// The hive files hold one name per line: a name with a line break or a NUL
// cannot be stored.
bool storableName(const std::string& name) {
    return name.find_first_of(std::string("\0\r\n", 3)) == std::string::npos;
}

}  // namespace

struct RegAccess::Members {
    struct Hive {
        explicit Hive(std::string name) : tree(std::move(name)) {}
        RegHive tree;
        bool loaded = false;
        // False when the file exists but could not be read, or does not look
        // like a registry export: such a file is never overwritten.
        bool writable = true;
        FileStamp stamp;
    };

    std::string folder;
    std::array<Hive, 3> hives{Hive("HKEY_CLASSES_ROOT"), Hive("HKEY_CURRENT_USER"), Hive("HKEY_LOCAL_MACHINE")};

    std::string pathOf(Root root) const { return folder + "/" + rootFileName(root) + ".reg"; }

    // The hive, parsed from its file when not yet loaded or when the file
    // changed since it was last read or written.
    Hive& hive(Root root) {
        Hive& h = hives[static_cast<std::size_t>(root)];
        const std::string path = pathOf(root);
        FileStamp now = stampOf(path);
        if (h.loaded && now == h.stamp) return h;
        h.tree.clear();
        h.loaded = true;
        h.writable = true;
        h.stamp = now;
        if (!now.exists) {
            std::error_code ec;
            // Something that is not a plain file in the hive's place must not be replaced.
            if (fs::exists(path, ec) || ec) h.writable = false;
            return h;
        }
        if (now.size > kMaxHiveFileBytes) {
            h.writable = false;
            return h;
        }
        try {
            std::string text = platform::readWholeFile(path);
            bool header = h.tree.parse(text);
            if (!header && !text.empty()) h.writable = false;
        } catch (const platform::Failure&) {
            h.tree.clear();
            h.writable = false;
        }
        return h;
    }

    // Writes the hive back.  On failure the in-memory tree is dropped so the
    // next access sees what the file holds.
    bool persist(Root root) {
        Hive& h = hives[static_cast<std::size_t>(root)];
        if (!h.writable) {
            h.loaded = false;
            return false;
        }
        const std::string path = pathOf(root);
        try {
            std::error_code ec;
            fs::create_directories(folder, ec);
            platform::writeFileAtomically(path, h.tree.serialize());
        } catch (const platform::Failure&) {
            h.loaded = false;
            return false;
        }
        h.stamp = stampOf(path);
        return true;
    }
};

RegAccess::RegAccess(std::string folder) : m_(new Members) { m_->folder = std::move(folder); }

RegAccess::~RegAccess() { delete m_; }

const std::string& RegAccess::folder() const { return m_->folder; }

std::string RegAccess::defaultFolder() { return platform::configDirectory(); }

bool RegAccess::ReadRegValue(Root root, const std::string& keyPath, const std::string& valueName, std::string& text) {
    RegHive::Key* key = m_->hive(root).tree.find(keyPath);
    const RegHive::Value* value = key ? key->value(valueName) : nullptr;
    if (!value || value->byteCount > kValueBufferBytes) {
        text.clear();
        return false;
    }
    switch (value->type) {
    case RegHive::ValueType::String: {
        // The query hands over the bytes with their terminating NUL; the text
        // ends at the first NUL.
        std::size_t nul = value->text.find('\0');
        text = nul == std::string::npos ? value->text : value->text.substr(0, nul);
        break;
    }
    case RegHive::ValueType::Dword:
        text = std::to_string(value->dword);
        break;
    case RegHive::ValueType::Other:
        break;  // left as the caller passed it
    }
    return true;
}

void RegAccess::WriteRegValue(Root root, const std::string& keyPath, const std::string& valueName,
                              const std::string& value) {
    if (!storableName(keyPath) || !storableName(valueName)) return;
    RegHive::Key* key = m_->hive(root).tree.find(keyPath);
    if (!key) {
        if (!CreateRegKey(root, keyPath)) return;
        key = m_->hive(root).tree.find(keyPath);
        if (!key) return;
    }
    RegHive::Value v;
    v.name = valueName;
    v.type = RegHive::ValueType::String;
    v.text = value;
    v.byteCount = value.size() + 1;
    key->setValue(std::move(v));
    m_->persist(root);
}

void RegAccess::WriteRegValue(Root root, const std::string& keyPath, const std::string& valueName,
                              std::int64_t value) {
    WriteRegValue(root, keyPath, valueName, std::to_string(value));
}

bool RegAccess::CreateRegKey(Root root, const std::string& keyPath) {
    if (!storableName(keyPath)) return false;
    m_->hive(root).tree.create(keyPath);
    if (!m_->persist(root)) return false;
    WriteRegValue(Root::HKEY_CURRENT_USER, kSettingsKey, "AccessKey", std::string("0"));
    return true;
}

std::vector<std::string> RegAccess::ListRegSubKeys(Root root) {
    std::vector<std::string> names;
    const RegHive::Key& top = m_->hive(root).tree.root();
    names.reserve(top.children.size());
    for (const auto& child : top.children) {
        if (child->name.size() >= kNameBufferChars) break;  // does not fit: the enumeration ends here
        names.push_back(child->name);
    }
    return names;
}

bool RegAccess::RegValueReadable(Root root, const std::string& keyPath, const std::string& valueName) {
    RegHive::Key* key = m_->hive(root).tree.find(keyPath);
    if (!key) return false;
    const RegHive::Value* value = key->value(valueName);
    return value && value->byteCount <= kValueBufferBytes;
}

}  // namespace kelvaran::settings
