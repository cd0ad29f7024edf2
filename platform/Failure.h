#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>

namespace kelvaran::platform {

// Base of every failure that a step of the batch run or the engine may meet
// (the office layer, the file system, a condition text that is not a number).
// The callers catch it exactly where their failure regime says.
class Failure : public std::runtime_error {
public:
    // `errorNumber`: the errno of the system call that failed, 0 when none did.
    explicit Failure(const std::string& what, int errorNumber = 0)
        : std::runtime_error(what), errorNumber_(errorNumber) {}
    explicit Failure(const char* what, int errorNumber = 0) : std::runtime_error(what), errorNumber_(errorNumber) {}

    int errorNumber() const { return errorNumber_; }
    // The disk or the user's quota is full.
    bool storageFull() const { return errorNumber_ == ENOSPC || errorNumber_ == EDQUOT; }

private:
    int errorNumber_ = 0;
};

// A file-system operation that did not succeed.
class FileSystemError : public Failure {
public:
    using Failure::Failure;
};

}  // namespace kelvaran::platform
