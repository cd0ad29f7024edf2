#include "app/verify/PageCheck.h"

#include "imaging/VipsSupport.h"
#include "platform/Process.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace kelvaran::verify {

namespace fs = std::filesystem;

LibreOfficeRenderer::LibreOfficeRenderer(fs::path workFolder, std::chrono::seconds timeout)
    : work_(std::move(workFolder)), timeout_(timeout) {}

bool LibreOfficeRenderer::available() { return platform::programOnPath("soffice"); }

namespace {

bool convert(const fs::path& profile, const fs::path& document, const fs::path& outFolder, const char* filter,
             std::chrono::seconds timeout, std::string& failure) {
    const auto log = outFolder / (std::string("soffice-") + filter + ".log");
    const auto result = platform::runProcess(
        {"soffice", "-env:UserInstallation=file://" + profile.string(), "--headless", "--norestore",
         "--convert-to", filter, "--outdir", outFolder.string(), document.string()},
        timeout, log.string());
    if (!result.started) {
        failure = "LibreOffice (soffice) cannot be started";
        return false;
    }
    if (result.timedOut) {
        failure = fmt::format("LibreOffice took more than {} s", timeout.count());
        return false;
    }
    const auto out = outFolder / (document.stem().string() + "." + filter);
    if (!fs::exists(out)) {
        failure = "LibreOffice cannot open the document";
        return false;
    }
    return true;
}

}  // namespace

Rendering LibreOfficeRenderer::render(const fs::path& document, const std::string& nameAs, int dpi) {
    const auto started = std::chrono::steady_clock::now();
    Rendering r;
    const fs::path folder = work_ / fmt::format("render-{}", ++serial_);
    fs::remove_all(folder);
    // Every document is read from the same place, so that a field showing
    // its whole path reads alike too.
    fs::create_directories(work_ / "in");
    const fs::path copy = work_ / "in" / nameAs;
    fs::copy_file(document, copy, fs::copy_options::overwrite_existing);
    const fs::path profile = fs::absolute(work_ / "lo-profile");

    if (convert(profile, copy, folder, "pdf", timeout_, r.failure) &&
        convert(profile, copy, folder, "fodt", timeout_, r.failure)) {
        try {
            r.pages = rasterisePdf(folder / (copy.stem().string() + ".pdf"), dpi);
            r.content = readFlatOdt((folder / (copy.stem().string() + ".fodt")).string());
            r.opened = true;
        } catch (const std::exception& e) {
            r.failure = std::string("LibreOffice's rendering cannot be read: ") + e.what();
        }
    }
    fs::remove(copy);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return r;
}

std::vector<GreyPage> rasterisePdf(const fs::path& pdf, int dpi) {
    return imaging::withVips("the PDF cannot be read", [&] {
        // Untrusted loaders stay blocked for pictures taken from documents;
        // the PDF file loader is opened for LibreOffice's own output only.
        vips_operation_block_set("VipsForeignLoadPdfFile", FALSE);
        std::vector<GreyPage> pages;
        auto first = vips::VImage::pdfload(pdf.c_str(), vips::VImage::option()->set("dpi", dpi));
        const int count = first.get_typeof("n-pages") ? first.get_int("n-pages") : 1;
        for (int i = 0; i < count; ++i) {
            auto page =
                vips::VImage::pdfload(pdf.c_str(), vips::VImage::option()->set("dpi", dpi)->set("page", i)->set("n", 1));
            if (page.bands() == 4 || page.bands() == 2) {
                page = page.flatten(vips::VImage::option()->set("background", std::vector<double>{255.0}));
            }
            page = page.colourspace(VIPS_INTERPRETATION_B_W).cast(VIPS_FORMAT_UCHAR);
            if (page.bands() > 1) page = page.extract_band(0);
            GreyPage g;
            g.width = page.width();
            g.height = page.height();
            std::size_t size = 0;
            auto* data = static_cast<std::uint8_t*>(page.write_to_memory(&size));
            g.pixels.assign(data, data + size);
            g_free(data);
            pages.push_back(std::move(g));
        }
        return pages;
    });
}

std::vector<TileDifference> tileDifferences(const GreyPage& a, const GreyPage& b, int tile, int slack) {
    const int w = std::min(a.width, b.width);
    const int h = std::min(a.height, b.height);
    const int cols = w / tile;
    const int rows = h / tile;
    std::vector<TileDifference> tiles;
    if (cols == 0 || rows == 0) return tiles;
    // For every shift of the copy, the mean difference of each tile; each tile
    // keeps its best shift.
    std::vector<double> best(static_cast<std::size_t>(cols * rows), 1e9);
    std::vector<double> sums(static_cast<std::size_t>(cols * rows));
    for (int dy = -slack; dy <= slack; ++dy) {
        for (int dx = -slack; dx <= slack; ++dx) {
            std::fill(sums.begin(), sums.end(), 0.0);
            for (int y = 0; y < rows * tile; ++y) {
                const int sy = std::clamp(y + dy, 0, b.height - 1);
                const std::uint8_t* rowA = &a.pixels[static_cast<std::size_t>(y) * a.width];
                const std::uint8_t* rowB = &b.pixels[static_cast<std::size_t>(sy) * b.width];
                double* tileRow = &sums[static_cast<std::size_t>((y / tile) * cols)];
                for (int x = 0; x < cols * tile; ++x) {
                    const int sx = std::clamp(x + dx, 0, b.width - 1);
                    tileRow[x / tile] += std::abs(int(rowA[x]) - int(rowB[sx]));
                }
            }
            for (std::size_t i = 0; i < sums.size(); ++i) best[i] = std::min(best[i], sums[i] / (tile * tile));
        }
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) tiles.push_back({best[static_cast<std::size_t>(r * cols + c)], c * tile, r * tile});
    }
    return tiles;
}

TileDifference worstTile(const GreyPage& a, const GreyPage& b, int tile, int slack) {
    TileDifference worst;
    for (const TileDifference& d : tileDifferences(a, b, tile, slack)) {
        if (d.value > worst.value) worst = d;
    }
    return worst;
}

std::string textDifference(const std::string& before, const std::string& after) {
    if (before == after) return {};
    std::istringstream a(before);
    std::istringstream b(after);
    std::string la;
    std::string lb;
    for (int line = 1;; ++line) {
        const bool ga = static_cast<bool>(std::getline(a, la));
        const bool gb = static_cast<bool>(std::getline(b, lb));
        if (!ga && !gb) return "the texts differ in their line ends";
        if (!ga || !gb || la != lb) {
            auto cut = [](std::string s) { return s.size() > 60 ? s.substr(0, 60) + "..." : s; };
            return fmt::format("line {}: '{}' -> '{}'", line, ga ? cut(la) : "(end)", gb ? cut(lb) : "(end)");
        }
    }
}

std::string frameDifference(const std::vector<Frame>& before, const std::vector<Frame>& after,
                            const CheckLimits& limits) {
    if (before.size() != after.size()) {
        return fmt::format("{} frames -> {}", before.size(), after.size());
    }
    for (std::size_t i = 0; i < before.size(); ++i) {
        const Frame& x = before[i];
        const Frame& y = after[i];
        const std::string which = fmt::format("{} {} '{}'", kindName(x.kind), i + 1, x.name);
        const bool kindOk = x.kind == y.kind || (x.kind == Frame::Kind::Object && y.kind == Frame::Kind::Picture);
        if (!kindOk) return fmt::format("{}: became a {}", which, kindName(y.kind));
        if (x.where != y.where) return fmt::format("{}: moved from the {} to the {}", which, x.where, y.where);
        if (x.anchor != y.anchor) return fmt::format("{}: anchor {} -> {}", which, x.anchor, y.anchor);
        if (std::abs(x.widthMm - y.widthMm) > limits.sizeToleranceMm ||
            std::abs(x.heightMm - y.heightMm) > limits.sizeToleranceMm) {
            return fmt::format("{}: size {:.1f}x{:.1f} mm -> {:.1f}x{:.1f} mm", which, x.widthMm, x.heightMm,
                               y.widthMm, y.heightMm);
        }
        // A frame that stands in the line as a character neither wraps text
        // nor lies in front of or behind it; readers ignore both there.
        const bool inLine = x.anchor == "as-char";
        if (!inLine && x.wrap != y.wrap) return fmt::format("{}: wrap '{}' -> '{}'", which, x.wrap, y.wrap);
        // In the line the vertical relation names a part of the line; the
        // paragraph relation a frame inherits from a style made for anchored
        // frames stands for the base line there.
        auto vertical = [inLine](const Frame& f) {
            return inLine && f.verticalRel == "paragraph" ? std::string("baseline") : f.verticalRel;
        };
        if (x.horizontalRel != y.horizontalRel || vertical(x) != vertical(y)) {
            return fmt::format("{}: position relative to '{}'/'{}' -> '{}'/'{}'", which, x.horizontalRel,
                               x.verticalRel, y.horizontalRel, y.verticalRel);
        }
        double turn = std::abs(x.rotationDegrees - y.rotationDegrees);
        turn = std::min(turn, 360.0 - turn);
        if (turn > limits.rotationToleranceDegrees) {
            return fmt::format("{}: rotation {:.1f} -> {:.1f} degrees", which, x.rotationDegrees, y.rotationDegrees);
        }
        if (!inLine && x.behindText != y.behindText) {
            return fmt::format("{}: {} the text -> {} it", which, x.behindText ? "behind" : "in front of",
                               y.behindText ? "behind" : "in front of");
        }
    }
    return {};
}

CheckResult compareRenderings(const Rendering& before, const Rendering& after, const CheckLimits& limits) {
    CheckResult result;
    if (!before.opened) {
        result.why = "the input: " + before.failure;
        return result;
    }
    if (!after.opened) {
        result.why = "the copy: " + after.failure;
        return result;
    }
    result.pages = static_cast<int>(after.pages.size());
    if (before.pages.size() != after.pages.size()) {
        result.why = fmt::format("pages {} -> {}", before.pages.size(), after.pages.size());
        return result;
    }
    const double pxPerMm = limits.dpi / 25.4;
    const int tile = std::max(4, static_cast<int>(std::lround(limits.tileMm * pxPerMm)));
    const int slack = std::max(1, static_cast<int>(std::lround(limits.shiftMm * pxPerMm)));
    double excess = 0;  // of the tile furthest over its limit
    for (std::size_t p = 0; p < before.pages.size(); ++p) {
        const GreyPage& a = before.pages[p];
        const GreyPage& b = after.pages[p];
        if (std::abs(a.width - b.width) > 1 || std::abs(a.height - b.height) > 1) {
            result.why = fmt::format("page {} changes its size", p + 1);
            return result;
        }
        for (const TileDifference& d : tileDifferences(a, b, tile, slack)) {
            const int page = static_cast<int>(p) + 1;
            const double x = d.x / pxPerMm, y = d.y / pxPerMm;
            if (d.value > result.worstTile) {
                result.worstTile = d.value;
                result.worstPage = page;
                result.worstXMm = x;
                result.worstYMm = y;
            }
            double limit = limits.maxTileDifference;
            for (const TileAllowance& allowed : limits.allowances) {
                if (allowed.page == page && std::abs(allowed.xMm - x) < limits.tileMm / 2 &&
                    std::abs(allowed.yMm - y) < limits.tileMm / 2)
                    limit = allowed.maxDifference;
            }
            if (d.value > limit && d.value - limit > excess) {
                excess = d.value - limit;
                result.why =
                    fmt::format("page {}: the tile at {:.0f}, {:.0f} mm differs by {:.0f}/255", page, x, y, d.value);
            }
        }
    }
    if (excess > 0) return result;
    if (auto t = textDifference(before.content.bodyText, after.content.bodyText); !t.empty()) {
        result.why = "text differs, " + t;
        return result;
    }
    if (auto t = textDifference(before.content.headerText, after.content.headerText); !t.empty()) {
        result.why = "header text differs, " + t;
        return result;
    }
    if (auto f = frameDifference(before.content.frames, after.content.frames, limits); !f.empty()) {
        result.why = f;
        return result;
    }
    result.passed = true;
    return result;
}

}  // namespace kelvaran::verify
