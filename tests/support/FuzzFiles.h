#pragma once

// The files of a fuzz target's seed corpus or crash folder, for the tests
// that replay them through the target's entry function.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace kelvaran::test {

inline const std::filesystem::path kFuzzFolder = std::filesystem::path(KELVARAN_SOURCE_DIR) / "fuzz";

// Name -> bytes of the regular files in `folder`: every file but hidden ones
// and notes (*.md), so that a reproducer saved under any name is replayed.
// A missing folder gives none.
inline std::map<std::string, std::string> fuzzFilesIn(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    if (!std::filesystem::is_directory(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.starts_with(".")) continue;
        if (entry.path().extension() == ".md") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[name] = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

}  // namespace kelvaran::test
