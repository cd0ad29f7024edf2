#include "platform/AtomicFile.h"

#include "platform/Failure.h"
#include "platform/LargeBuffers.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fstream>
#include <sstream>

namespace kelvaran::platform {

namespace {

// The failure of the system call just made, with its errno.
[[noreturn]] void failWithErrno(const std::string& what) {
    const int error = errno;
    throw FileSystemError(what + ": " + std::strerror(error), error);
}

std::string folderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

namespace {
// Pieces are gathered up to this size before they are written.
constexpr std::size_t kBlock = std::size_t{1} << 18;
}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string targetPath, Durability durability)
    : target_(std::move(targetPath)), durability_(durability) {
    std::string pattern = folderOf(target_) + "/.kelvaran-XXXXXX";
    std::string buffer = pattern;
    fd_ = ::mkstemp(buffer.data());
    if (fd_ < 0) failWithErrno("cannot create a temporary file beside " + target_);
    tempPath_ = buffer;
    // Held locked while it is written: the clean-up of stale partial copies
    // at the start of a run passes a locked file by.
    ::flock(fd_, LOCK_EX);
    // mkstemp creates 0600; give the file the usual mode for new files.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void AtomicFileWriter::write(std::string_view bytes) {
    if (pending_.size() + bytes.size() <= kBlock) {
        if (pending_.capacity() < kBlock) pending_.reserve(kBlock);
        pending_.append(bytes);
        return;
    }
    flush();
    if (bytes.size() >= kBlock) {
        writeOut(bytes);
    } else {
        pending_.append(bytes);
    }
}

void AtomicFileWriter::flush() {
    if (pending_.empty()) return;
    writeOut(pending_);
    pending_.clear();
}

void AtomicFileWriter::writeOut(std::string_view bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            failWithErrno("cannot write " + tempPath_);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void AtomicFileWriter::commit() {
    flush();
    if (durability_ == Durability::Synced && ::fsync(fd_) != 0) failWithErrno("cannot flush " + tempPath_);
    if (::close(fd_) != 0) {
        fd_ = -1;
        failWithErrno("cannot close " + tempPath_);
    }
    fd_ = -1;
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        failWithErrno("cannot rename " + tempPath_ + " to " + target_);
    }
    committed_ = true;
}

void writeFileAtomically(const std::string& path, std::string_view content, Durability durability) {
    AtomicFileWriter writer(path, durability);
    writer.write(content);
    writer.commit();
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileSystemError("cannot open " + path);
    // A file of known size is read in one go into a buffer of that size: a
    // document of many megabytes is then neither copied nor grown step by step.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size >= 0 && in) {
        in.seekg(0, std::ios::beg);
        std::string bytes = largeString(static_cast<std::size_t>(size));
        in.read(bytes.data(), size);
        if (in.gcount() != size) throw FileSystemError("cannot read " + path);
        // A file that grew meanwhile is read to its end.
        if (in.peek() != std::char_traits<char>::eof()) {
            std::ostringstream rest;
            rest << in.rdbuf();
            bytes += rest.str();
        }
        if (in.bad()) throw FileSystemError("cannot read " + path);
        return bytes;
    }
    // Not seekable (a pipe, say): read as it comes.
    in.clear();
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw FileSystemError("cannot read " + path);
    return buffer.str();
}

}  // namespace kelvaran::platform
