#pragma once

// Points TMPDIR at a folder of the test's own for as long as it lives, then
// puts back what was there (or unsets it).

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace kelvaran::test {

class ScopedTmpDir {
public:
    explicit ScopedTmpDir(const std::filesystem::path& folder) {
        if (const char* old = std::getenv("TMPDIR")) saved_ = old;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~ScopedTmpDir() {
        if (saved_) {
            ::setenv("TMPDIR", saved_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    ScopedTmpDir(const ScopedTmpDir&) = delete;
    ScopedTmpDir& operator=(const ScopedTmpDir&) = delete;

private:
    std::optional<std::string> saved_;
};

}  // namespace kelvaran::test
