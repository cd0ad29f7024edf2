// kelvaran-page-check: renders a document and its slimmed copy with
// LibreOffice and says whether a reader could tell their pages apart.
//   kelvaran-page-check [--work DIR] [--name NAME] BEFORE AFTER
//   kelvaran-page-check --show DOCUMENT     (what LibreOffice reads from it)
// Prints "same (...)" and exits 0, or the first difference and exits 1;
// 2 for a bad command line, a document that is not there, or when
// LibreOffice is missing.

#include "app/verify/PageCheck.h"

#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace kelvaran::verify;

int main(int argc, char** argv) {
    std::vector<std::string> files;
    fs::path work;
    std::string name;
    bool dump = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--show") {
            dump = true;
        } else if ((a == "--work" || a == "--name") && i + 1 < argc) {
            if (a == "--work") {
                work = argv[++i];
            } else {
                name = argv[++i];
            }
        } else if (a.starts_with("-")) {
            std::cerr << "usage: kelvaran-page-check [--work DIR] [--name NAME] BEFORE AFTER\n";
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != (dump ? 1u : 2u)) {
        std::cerr << "usage: kelvaran-page-check [--work DIR] [--name NAME] BEFORE AFTER\n";
        return 2;
    }
    for (const auto& file : files) {
        std::error_code error;
        if (!fs::is_regular_file(file, error)) {
            std::cerr << "kelvaran-page-check: there is no document " << file << "\n";
            return 2;
        }
    }
    if (!LibreOfficeRenderer::available()) {
        std::cerr << "kelvaran-page-check: LibreOffice (soffice) is not installed\n";
        return 2;
    }
    const bool ownWork = work.empty();
    if (ownWork) work = fs::temp_directory_path() / fmt::format("kelvaran-page-check-{}", ::getpid());
    fs::create_directories(work);
    if (name.empty()) name = fs::path(files[0]).filename().string();

    LibreOfficeRenderer renderer(work);
    if (dump) {
        // What LibreOffice reads from one document: its pages, frames and text.
        const Rendering r = renderer.render(files[0], name);
        if (ownWork) fs::remove_all(work);
        if (!r.opened) {
            std::cout << r.failure << "\n";
            return 1;
        }
        std::cout << fmt::format("{} pages\n", r.pages.size());
        for (const Frame& f : r.content.frames) {
            std::cout << fmt::format("{} {} '{}': anchor {}, {:.1f}x{:.1f} mm, wrap '{}', rel '{}'/'{}', rotation {:.1f}{}\n",
                                     f.where, kindName(f.kind), f.name, f.anchor, f.widthMm, f.heightMm, f.wrap,
                                     f.horizontalRel, f.verticalRel, f.rotationDegrees,
                                     f.behindText ? ", behind text" : "");
        }
        std::cout << "--- body text\n" << r.content.bodyText << "--- header text\n" << r.content.headerText;
        return 0;
    }
    const Rendering before = renderer.render(files[0], name);
    const Rendering after = renderer.render(files[1], name);
    const CheckResult r = compareRenderings(before, after);
    if (ownWork) fs::remove_all(work);
    if (r.passed) {
        std::cout << fmt::format("same ({} pages, worst tile {:.0f}/255 on page {})\n", r.pages, r.worstTile,
                                 r.worstPage);
        return 0;
    }
    std::cout << r.why << "\n";
    return 1;
}
