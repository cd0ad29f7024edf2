#include "formats/rtf/RtfRunOffsets.h"

#include <algorithm>
#include <limits>

namespace kelvaran::formats::rtf {

void RunOffsets::push(std::uint64_t offset) {
    if (!single_.empty()) {
        // A finished run taking more characters: back to stretches.
        std::vector<std::uint32_t> single = std::move(single_);
        single_.clear();
        count_ = 0;
        for (std::uint32_t at : single) push(at);
    }
    if (!stretches_.empty()) {
        Stretch& last = stretches_.back();
        const std::uint64_t units = count_ - last.firstUnit;
        if (units == 1 && offset >= last.firstByte) {
            // The second character sets the stretch's step.
            last.step = offset - last.firstByte;
            ++count_;
            return;
        }
        if (offset == last.firstByte + units * last.step) {
            ++count_;
            return;
        }
    }
    stretches_.push_back(Stretch{.firstByte = offset, .firstUnit = count_, .step = 0});
    ++count_;
}

void RunOffsets::finish() {
    if (single_.empty() && stretches_.size() * sizeof(Stretch) > count_ * sizeof(std::uint32_t)) {
        // One offset a character costs less, where every offset fits.
        bool fits = true;
        for (const Stretch& stretch : stretches_) {
            const std::uint64_t units = (&stretch == &stretches_.back() ? count_ : (&stretch)[1].firstUnit) -
                                        stretch.firstUnit;
            fits = fits && stretch.firstByte + (units - 1) * stretch.step <= std::numeric_limits<std::uint32_t>::max();
        }
        if (fits) {
            std::vector<std::uint32_t> single;
            single.reserve(count_);
            for (std::size_t unit = 0; unit < count_; ++unit) single.push_back(static_cast<std::uint32_t>(at(unit)));
            single_ = std::move(single);
            stretches_.clear();
        }
    }
    stretches_.shrink_to_fit();
}

std::uint64_t RunOffsets::at(std::size_t unit) const {
    if (!single_.empty()) return single_[std::min(unit, single_.size() - 1)];
    if (stretches_.empty()) return 0;
    // The last stretch that starts at or before the unit.
    const auto after = std::upper_bound(stretches_.begin(), stretches_.end(), unit,
                                        [](std::size_t wanted, const Stretch& s) { return wanted < s.firstUnit; });
    const Stretch& stretch = *(after == stretches_.begin() ? after : after - 1);
    const std::uint64_t into = unit >= stretch.firstUnit ? unit - stretch.firstUnit : 0;
    return stretch.firstByte + into * stretch.step;
}

}  // namespace kelvaran::formats::rtf
