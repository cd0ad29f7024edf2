#pragma once

// A size budget for each slimmed copy (--target-size): the conditions are
// loosened step by step, the quality ratio first, then the JPEG quality,
// down to a floor, until the copy fits.

#include "app/cli/CliApp.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::app {

struct BatchSettings;

// The lowest quality ratio and JPEG quality a budget goes down to.
inline constexpr double kBudgetFloorRatio = 0.5;
inline constexpr int kBudgetFloorJpegQuality = 40;

// One step of the way down: a quality ratio and a JPEG quality (0: the
// office's own, 85).
struct BudgetStep {
    std::string ratio;
    int jpegQuality = 0;
};

// From the run's own ratio down to the floor: that ratio, then 1, 0.75 and
// 0.5 where they are lower, then at the lowest ratio JPEG qualities 70, 55
// and 40.  A ratio given below the floor stays as it is.
std::vector<BudgetStep> BudgetLadder(const std::string& ratio);

// What a budget chose for one document.
struct BudgetChoice {
    BudgetStep step;
    bool met = false;
    double bytes = 0;  // of the copy (of the input when no copy is written)
    bool tried = false;  // false when the search could not try it (stopped, failed)
};

// "300k", "10M", "1.5g" or a number of bytes; K, M and G are 1024, 1024²
// and 1024³ bytes.  Nothing when the text does not parse or is zero.
std::optional<std::uint64_t> ParseSizeBudget(const std::string& text);

// Tries each document of `entries` under the steps of the ladder, in dry
// runs that show and report nothing, until its copy is at or under the
// budget; the smallest copy when no step reaches it.  Stops early when the
// run is interrupted.
std::vector<BudgetChoice> ChooseWithinBudget(const BatchSettings& settings, const std::vector<std::string>& entries,
                                             const CliEnvironment& environment);

}  // namespace kelvaran::app
