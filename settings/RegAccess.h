#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvaran::settings {

// The predefined roots.  Each is kept as one hive file in the registry-export
// (.reg) text format, REG_SZ and REG_DWORD values, in the configuration folder.
enum class Root { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

// The key of the stored conditions, under HKEY_LOCAL_MACHINE (and "AccessKey"
// under HKEY_CURRENT_USER).
inline const std::string kSettingsKey = "SOFTWARE\\QUELTO\\kelvaran\\param";

// The registry access module over the file-backed hives of one folder.
// Key paths use "\" between their parts, as in the registry.
class RegAccess {
public:
    explicit RegAccess(std::string folder);
    ~RegAccess();
    RegAccess(const RegAccess&) = delete;
    RegAccess& operator=(const RegAccess&) = delete;

    const std::string& folder() const;
    // Where the program keeps its hives: the configuration folder.
    static std::string defaultFolder();

    // True when the key and the value exist and the value fits into 1,024
    // bytes (a string's terminating NUL counted); then `text` receives it
    // (REG_DWORD as the decimal text of the unsigned 32-bit value; other types
    // leave `text` as it was).  False otherwise, and `text` becomes empty.
    // An empty value name is the key's default value.
    bool ReadRegValue(Root root, const std::string& keyPath, const std::string& valueName, std::string& text);
    // Stores the text as REG_SZ; creates the key when missing.  Silent on failure.
    void WriteRegValue(Root root, const std::string& keyPath, const std::string& valueName,
                       const std::string& value);
    void WriteRegValue(Root root, const std::string& keyPath, const std::string& valueName, std::int64_t value);
    // Creates the key and its parents; on success also writes "AccessKey" = "0"
    // under the settings key of HKEY_CURRENT_USER.
    bool CreateRegKey(Root root, const std::string& keyPath);
    // Names of the direct subkeys of a root, in enumeration order (the order
    // of the hive file, keys added later at the end).
    std::vector<std::string> ListRegSubKeys(Root root);
    bool RegValueReadable(Root root, const std::string& keyPath, const std::string& valueName);

private:
    struct Members;
    Members* m_;
};

}  // namespace kelvaran::settings
