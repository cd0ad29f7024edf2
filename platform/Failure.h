#pragma once

#include <stdexcept>
#include <string>

namespace kelvaran::platform {

// Base of every failure that a step of the batch run or the engine may meet
// (the office layer, the file system, a condition text that is not a number).
// The callers catch it exactly where their failure regime says.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file-system operation that did not succeed.
class FileSystemError : public Failure {
public:
    using Failure::Failure;
};

}  // namespace kelvaran::platform
