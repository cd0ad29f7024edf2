#pragma once

// Checks slimmed copies one after another against their inputs, with
// LibreOffice as the reader: a work folder of its own in the temporary
// folder (LibreOffice's profile included) lives as long as the verifier.

#include "app/verify/PageCheck.h"

#include <filesystem>
#include <string>

namespace kelvaran::verify {

class CopyVerifier {
public:
    // Throws std::runtime_error when the work folder cannot be made.
    CopyVerifier();
    ~CopyVerifier();
    CopyVerifier(const CopyVerifier&) = delete;
    CopyVerifier& operator=(const CopyVerifier&) = delete;

    // Renders the input and the copy, both under the input's own file name,
    // and compares them as the corpus check does.  A document LibreOffice
    // cannot read fails the check with the reason.
    CheckResult check(const std::filesystem::path& input, const std::filesystem::path& copy);

    const std::filesystem::path& workFolder() const { return work_; }

private:
    std::filesystem::path work_;
    LibreOfficeRenderer renderer_;
};

}  // namespace kelvaran::verify
