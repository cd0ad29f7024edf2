#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kelvaran::rules {

// A private-profile (INI) file in the Japanese ANSI code page (CP932).
// Texts passed in and out are UTF-8.  Section and key names are compared
// without regard to ASCII letter case and blanks around names and values are
// ignored; the first section of a name and its first key of a name count.
// Everything else in the file (other sections, comments, keys not written)
// stays as it was.  The file is read when first needed and again when it
// changed on disk; every write replaces it through a temporary file and a
// rename, and creates it (and its folder) when missing.  Failures are silent.
class IniFile {
public:
    explicit IniFile(std::string path);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    const std::string& path() const { return path_; }

    // The value of a key, at most its first 1,023 bytes; `defaultValue` when
    // the key is missing or its value empty.
    std::string ReadIni(const std::string& section, const std::string& key, const std::string& defaultValue);
    // Sets a key, adding the section and the key when missing.  A line break
    // or NUL in the value would break the file and is stored as a space.
    void WriteIni(const std::string& section, const std::string& key, const std::string& value);

    // While held, writes change the file's image in memory only; flush()
    // writes them all at once.  Returns false when the file could not be written.
    void holdWrites();
    bool flush();

private:
    struct Line {
        std::string raw;       // the bytes of the line as they stand in the file
        bool isKey = false;
        std::string keyLower;  // decoded, lower-case, trimmed
        std::string value;     // CP932 bytes of the value, trimmed
    };
    struct Section {
        std::string nameLower;  // empty for the lines before the first section
        bool hasHeader = false;
        std::vector<Line> lines;  // the header first when there is one
        std::unordered_map<std::string, std::size_t> keyIndex;
    };

    void ensureLoaded();
    void parse(const std::string& bytes);
    bool write();
    Section* findSection(const std::string& nameLower);

    std::string path_;
    bool loaded_ = false;
    bool held_ = false;
    bool pending_ = false;
    bool writable_ = true;
    std::uintmax_t stampSize_ = 0;
    std::int64_t stampTime_ = -1;
    std::vector<std::unique_ptr<Section>> sections_;
    std::unordered_map<std::string, Section*> sectionIndex_;
};

}  // namespace kelvaran::rules
