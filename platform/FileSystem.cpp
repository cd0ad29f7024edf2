#include "platform/FileSystem.h"

#include "platform/Failure.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace kelvaran::platform {

namespace {

std::string lastComponent(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    auto slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

}  // namespace

bool StdFileSystem::folderExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool StdFileSystem::FileExists(const std::string& path) {
    std::error_code ec;
    if (path.empty()) return false;
    auto status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

std::string StdFileSystem::GetExtensionName(const std::string& path) {
    std::string name = lastComponent(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    return name.substr(dot + 1);
}

std::string StdFileSystem::GetSpecialFolder(int which) {
    if (which != 2) throw FileSystemError("unknown special folder " + std::to_string(which));
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = (tmp && *tmp) ? tmp : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string StdFileSystem::GetTempName() {
    // Seeded again in every process: processes forked for parallel jobs
    // would otherwise draw the same names and remove each other's files.
    static std::mt19937 generator;
    static pid_t seededIn = 0;
    if (seededIn != ::getpid()) {
        seededIn = ::getpid();
        std::seed_seq seed{std::random_device{}(), static_cast<unsigned>(seededIn)};
        generator.seed(seed);
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string folder = GetSpecialFolder(2);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = "rad";
        for (int i = 0; i < 5; ++i) name.push_back(digits[generator() % 16]);
        name += ".tmp";
        std::error_code ec;
        if (!fs::exists(folder + "/" + name, ec)) return name;
    }
    throw FileSystemError("no free temporary name in " + folder);
}

FileSystem::File StdFileSystem::GetFile(const std::string& path) {
    std::error_code ec;
    if (!FileExists(path)) throw FileSystemError("file not found: " + path);
    auto size = fs::file_size(path, ec);
    if (ec) throw FileSystemError("cannot read the size of " + path + ": " + ec.message());
    return File{path, static_cast<double>(size)};
}

std::string StdFileSystem::GetParentFolderName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    auto slash = trimmed.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return trimmed.substr(0, slash);
}

std::string StdFileSystem::GetBaseName(const std::string& path) {
    std::string name = lastComponent(path);
    auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void StdFileSystem::deletefile(const std::string& path) {
    std::error_code ec;
    if (!FileExists(path)) throw FileSystemError("file not found: " + path);
    if (!fs::remove(path, ec) || ec) {
        throw FileSystemError("cannot delete " + path + (ec ? ": " + ec.message() : ""));
    }
}

FileSystem::Folder StdFileSystem::getFolder(const std::string& path) {
    std::error_code ec;
    if (!folderExists(path)) throw FileSystemError("folder not found: " + path);
    Folder folder{path, {}};
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        if (it->is_regular_file(statusError)) folder.Files.push_back(it->path().string());
    }
    if (ec) throw FileSystemError("cannot list " + path + ": " + ec.message());
    std::sort(folder.Files.begin(), folder.Files.end());
    return folder;
}

}  // namespace kelvaran::platform
