#pragma once

// Compares a document and its slimmed copy as a reader would see them, with
// LibreOffice as an independent reader: both are rendered to pages at 50 dpi
// in grey and compared tile by tile (tiles of about 6 mm, each allowed the
// best shift of up to about a millimetre), and LibreOffice's text and picture
// frames of both must agree.

#include "app/verify/OdfContent.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::verify {

struct GreyPage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // row by row, 0 black .. 255 white
};

struct Rendering {
    bool opened = false;   // LibreOffice could read the document
    std::string failure;   // why not, when it could not
    std::vector<GreyPage> pages;
    OdfContent content;
    double seconds = 0;
};

// A tile allowed to differ by more than the limit: one tile of one page (its
// top left corner as a CheckResult reports it), where LibreOffice is known to
// draw the input otherwise than an equal copy.
struct TileAllowance {
    int page = 0;  // 1-based
    double xMm = 0;
    double yMm = 0;
    double maxDifference = 0;
};

struct CheckLimits {
    int dpi = 50;
    double tileMm = 6.35;           // a quarter inch
    double shiftMm = 1.0;
    double maxTileDifference = 48;  // mean grey difference out of 255
    double sizeToleranceMm = 0.5;
    double rotationToleranceDegrees = 0.5;
    std::vector<TileAllowance> allowances;
};

struct CheckResult {
    bool passed = false;
    int pages = 0;
    double worstTile = 0;   // out of 255
    int worstPage = 0;      // 1-based; 0 when no page was compared
    double worstXMm = 0;    // top left corner of the worst tile on its page
    double worstYMm = 0;
    std::string why;        // the first difference found; empty when passed
};

// Runs LibreOffice on copies of documents: each rendering converts the
// document, copied under `nameAs` into the same folder every time (so a field
// that shows the file name or its path reads alike), to PDF and to flat
// OpenDocument in a folder of its own.  One
// LibreOffice profile is kept in the work folder for every rendering.
class LibreOfficeRenderer {
public:
    explicit LibreOfficeRenderer(std::filesystem::path workFolder,
                                 std::chrono::seconds timeout = std::chrono::seconds(240));

    Rendering render(const std::filesystem::path& document, const std::string& nameAs, int dpi = 50);

    // True when soffice is on PATH.
    static bool available();

private:
    std::filesystem::path work_;
    std::chrono::seconds timeout_;
    int serial_ = 0;
};

// Reads the pages of a PDF file in grey at the given resolution.
std::vector<GreyPage> rasterisePdf(const std::filesystem::path& pdf, int dpi);

// The worst tile of two pages of equal size (slack in pixels either way).
struct TileDifference {
    double value = 0;
    int x = 0;
    int y = 0;
};
TileDifference worstTile(const GreyPage& a, const GreyPage& b, int tile, int slack);
// The difference of every tile, row by row.
std::vector<TileDifference> tileDifferences(const GreyPage& a, const GreyPage& b, int tile, int slack);

// Compares two renderings; `before` is the input's.
CheckResult compareRenderings(const Rendering& before, const Rendering& after, const CheckLimits& limits = {});

// The first difference between the frames of two readings, empty when they
// agree.  An embedded object may have become a picture.
std::string frameDifference(const std::vector<Frame>& before, const std::vector<Frame>& after,
                            const CheckLimits& limits = {});

// The first line that differs between two texts, as "line N: 'a' -> 'b'";
// empty when they are equal.
std::string textDifference(const std::string& before, const std::string& after);

}  // namespace kelvaran::verify
