#include "platform/StaleFiles.h"

#include <cctype>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvaran::platform {

namespace {

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// mkstemp's six letters and digits after `prefix`, and nothing else.
bool isTemporaryName(const std::string& name, const std::string& prefix) {
    if (name.size() != prefix.size() + 6 || !startsWith(name, prefix)) return false;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

}  // namespace

bool isPartialCopyName(const std::string& name) { return isTemporaryName(name, ".kelvaran-"); }

bool isScratchFileName(const std::string& name) {
    if (isTemporaryName(name, "kelvaran-job-")) return true;
    // "radXXXXX.tmp.doc" or "radXXXXX.tmp.rtf".
    if (name.size() != 16 || !startsWith(name, "rad")) return false;
    for (std::size_t i = 3; i < 8; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    const std::string rest = name.substr(8);
    return rest == ".tmp.doc" || rest == ".tmp.rtf";
}

int removeStaleFiles(const std::string& folder, const std::function<bool(const std::string&)>& matches,
                     std::chrono::seconds age) {
    DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!listing) return 0;
    const int folderFd = ::dirfd(listing);
    const std::time_t before = std::time(nullptr) - static_cast<std::time_t>(age.count());
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (!matches(name)) continue;
        const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat status {};
        const bool stale = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
                           status.st_mtime < before;
        // A live run holds its files locked; the lock is ours only when none does.
        if (stale && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat named {};
            // Still the same file under that name.
            if (::fstatat(folderFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == status.st_ino &&
                named.st_dev == status.st_dev && ::unlinkat(folderFd, name.c_str(), 0) == 0) {
                ++removed;
            }
        }
        ::close(fd);
    }
    ::closedir(listing);
    return removed;
}

}  // namespace kelvaran::platform
