#include "app/run/InputList.h"

#include "platform/Conversions.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace kelvaran::app {

namespace {

std::string trimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

bool IsBlankInput(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

std::vector<std::string> SplitInputText(const std::string& text) {
    std::vector<std::string> entries(1);
    for (const char c : text) {
        std::string& current = entries.back();
        if (current.empty() && (c == ' ' || c == '\r' || c == '\n')) continue;
        if (c == '\r') {
            current = trimSpaces(current);
            entries.emplace_back();
            continue;
        }
        current.push_back(c);
    }
    entries.back() = trimSpaces(entries.back());
    if (entries.back().empty()) entries.pop_back();
    return entries;
}

std::optional<InputRefusal> FindRefusal(const std::vector<std::string>& entries, platform::FileSystem& fileSystem) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        if (fileSystem.folderExists(entry)) return InputRefusal{i, texts::kFolderGiven + entry};
        if (!fileSystem.FileExists(entry)) return InputRefusal{i, texts::kMissingFile + entry};
        const auto extension = platform::asciiLower(fileSystem.GetExtensionName(entry));
        if (extension == "doc" || extension == "rtf") continue;
        if (extension == "docx") return InputRefusal{i, texts::kDocxGiven + entry};
        return InputRefusal{i, texts::kNotWordFile + entry};
    }
    return std::nullopt;
}

std::optional<std::string> ValidateInputFiles(const std::vector<std::string>& entries,
                                              platform::FileSystem& fileSystem) {
    if (auto refusal = FindRefusal(entries, fileSystem)) return refusal->message;
    return std::nullopt;
}

namespace {

std::string identityOf(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto absolute = fs::absolute(path, ec);
    if (ec) return path;
    const auto canonical = fs::weakly_canonical(absolute, ec);
    if (ec) return absolute.lexically_normal().string();
    return canonical.string();
}

bool isWordFileName(const std::filesystem::path& path) {
    const auto extension = platform::asciiLower(path.extension().string());
    return extension == ".doc" || extension == ".rtf";
}

}  // namespace

std::string PathIdentity(const std::string& path) { return identityOf(path); }

bool SamePath(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec) && !ec) return true;
    return identityOf(a) == identityOf(b);
}

std::vector<std::string> ReadFileList(const std::string& content, bool nulSeparated) {
    std::vector<std::string> names;
    const char separator = nulSeparated ? '\0' : '\n';
    std::size_t begin = 0;
    while (begin <= content.size()) {
        auto end = content.find(separator, begin);
        if (end == std::string::npos) end = content.size();
        std::string name = content.substr(begin, end - begin);
        if (!nulSeparated && !name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) names.push_back(std::move(name));
        begin = end + 1;
    }
    return names;
}

std::vector<std::string> DropDuplicateEntries(const std::vector<std::string>& entries) {
    std::vector<std::string> kept;
    std::set<std::string> seen;
    for (const auto& entry : entries) {
        if (seen.insert(identityOf(entry)).second) kept.push_back(entry);
    }
    return kept;
}

std::vector<std::string> ExpandFolders(const std::vector<std::string>& entries) {
    namespace fs = std::filesystem;
    std::vector<std::string> result;
    for (const auto& entry : entries) {
        std::error_code ec;
        if (!fs::is_directory(entry, ec)) {
            result.push_back(entry);
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(entry, fs::directory_options::none, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError) && isWordFileName(it->path())) found.push_back(it->path().string());
        }
        if (ec) throw platform::FileSystemError("cannot read the folder " + entry + ": " + ec.message());
        std::sort(found.begin(), found.end());
        result.insert(result.end(), found.begin(), found.end());
    }
    return result;
}

std::string SlimmedCopyPath(const std::string& inputPath, double inputBytes, const std::string& srcExt,
                            const std::string& outputFolder, platform::FileSystem& fileSystem) {
    std::string output = OutputPathFor(inputPath, inputBytes, srcExt, fileSystem);
    if (outputFolder.empty()) return output;
    std::string folder = outputFolder;
    NormalizeFolderPath(folder);
    return folder + fileSystem.GetBaseName(output) + "." + srcExt;
}

std::optional<std::string> FindOutputClash(const std::vector<std::string>& entries, const std::string& outputFolder,
                                           platform::FileSystem& fileSystem) {
    for (const auto& entry : entries) {
        std::string output;
        try {
            if (fileSystem.folderExists(entry) || !fileSystem.FileExists(entry)) continue;
            const auto extension = platform::asciiLower(fileSystem.GetExtensionName(entry));
            if (extension != "doc" && extension != "rtf") continue;
            output = SlimmedCopyPath(entry, fileSystem.GetFile(entry).Size, extension, outputFolder, fileSystem);
        } catch (const std::exception&) {
            continue;
        }
        for (const auto& other : entries) {
            if (&other != &entry && SamePath(other, output)) {
                return "the input " + other + " is also where the slimmed copy of " + entry +
                       " would be written; list only one of them";
            }
        }
    }
    return std::nullopt;
}

std::vector<std::pair<std::size_t, std::string>> FindCopyNameClashes(const std::vector<std::string>& earlier,
                                                                     const std::vector<std::string>& entries,
                                                                     const std::string& outputFolder,
                                                                     platform::FileSystem& fileSystem) {
    // The copies' names first, by file name only: most runs have no two
    // alike, and only those that are alike need their folders resolved.
    struct Copy {
        std::size_t position;  // in earlier, then entries
        std::string entry;
        std::string output;
    };
    std::map<std::string, std::vector<Copy>> byName;
    const std::size_t total = earlier.size() + entries.size();
    for (std::size_t k = 0; k < total; ++k) {
        const std::string& entry = k < earlier.size() ? earlier[k] : entries[k - earlier.size()];
        try {
            const auto extension = platform::asciiLower(fileSystem.GetExtensionName(entry));
            if (extension != "doc" && extension != "rtf") continue;
            const double bytes = fileSystem.GetFile(entry).Size;
            std::string output = SlimmedCopyPath(entry, bytes, extension, outputFolder, fileSystem);
            const std::string name = std::filesystem::path(output).filename().string();
            byName[name].push_back({k, entry, std::move(output)});
        } catch (const std::exception&) {
            continue;
        }
    }
    std::vector<std::pair<std::size_t, std::string>> clashes;
    for (const auto& [name, copies] : byName) {
        if (copies.size() < 2) continue;
        std::map<std::string, const Copy*> firstAt;
        for (const auto& copy : copies) {
            const auto [at, fresh] = firstAt.emplace(identityOf(copy.output), &copy);
            if (fresh || copy.position < earlier.size()) continue;
            clashes.emplace_back(copy.position - earlier.size(),
                                 CopyNameClashMessage(copy.entry, at->second->entry, copy.output));
        }
    }
    std::sort(clashes.begin(), clashes.end());
    return clashes;
}

std::string CopyNameClashMessage(const std::string& entry, const std::string& first, const std::string& output) {
    return "no slimmed copy of " + entry + ": " + output + " is the name of the copy of " + first +
           ", which comes first in the list";
}

std::string NormalizeFolderPath(std::string& path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

long long SizeInKB(double bytes) {
    return platform::roundHalfEven(bytes / 1024.0);
}

std::string OutputPathFor(const std::string& inputPath, double inputBytes, const std::string& srcExt,
                          platform::FileSystem& fileSystem) {
    std::string folder = fileSystem.GetParentFolderName(inputPath);
    if (!folder.empty()) NormalizeFolderPath(folder);
    return folder + fileSystem.GetBaseName(inputPath) + "-slimmed-" + std::to_string(SizeInKB(inputBytes)) + "k." +
           srcExt;
}

std::string StartLine(const std::string& entry) {
    return "▼開始▼ " + entry + "\r\n";
}

std::string EndLine(double inputBytes, double outputBytes) {
    return "▲終了▲ " + std::to_string(SizeInKB(inputBytes)) + "KB->" + std::to_string(SizeInKB(outputBytes)) +
           "KB\r\n\r\n";
}

}  // namespace kelvaran::app
