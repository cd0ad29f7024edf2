#include "app/InputList.h"

#include "platform/Conversions.h"
#include "platform/FileSystem.h"

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

std::optional<std::string> ValidateInputFiles(const std::vector<std::string>& entries,
                                              platform::FileSystem& fileSystem) {
    for (const auto& entry : entries) {
        if (fileSystem.folderExists(entry)) return texts::kFolderGiven + entry;
        if (!fileSystem.FileExists(entry)) return texts::kMissingFile + entry;
        const auto extension = platform::asciiLower(fileSystem.GetExtensionName(entry));
        if (extension == "doc" || extension == "rtf") continue;
        if (extension == "docx") return texts::kDocxGiven + entry;
        return texts::kNotWordFile + entry;
    }
    return std::nullopt;
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
