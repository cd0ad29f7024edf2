#include "app/verify/CopyVerifier.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace kelvaran::verify {

namespace fs = std::filesystem;

namespace {

fs::path makeWorkFolder() {
    std::string pattern = (fs::temp_directory_path() / "kelvaran-verify-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot make a work folder for LibreOffice: " + std::string(std::strerror(errno)));
    }
    return pattern;
}

}  // namespace

CopyVerifier::CopyVerifier() : work_(makeWorkFolder()), renderer_(work_) {}

CopyVerifier::~CopyVerifier() {
    std::error_code ec;
    fs::remove_all(work_, ec);
}

CheckResult CopyVerifier::check(const fs::path& input, const fs::path& copy) {
    const std::string name = input.filename().string();
    const Rendering before = renderer_.render(input, name);
    const Rendering after = renderer_.render(copy, name);
    // The renderings are read into memory: their files are not kept.
    std::vector<fs::path> renderings;
    std::error_code ec;
    for (fs::directory_iterator it(work_, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().starts_with("render-")) renderings.push_back(it->path());
    }
    for (const auto& folder : renderings) fs::remove_all(folder, ec);
    return compareRenderings(before, after);
}

}  // namespace kelvaran::verify
