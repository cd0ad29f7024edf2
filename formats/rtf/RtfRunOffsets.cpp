#include "formats/rtf/RtfRunOffsets.h"

#include "formats/rtf/RtfDetail.h"

#include <algorithm>
#include <limits>

namespace kelvaran::formats::rtf {

RunOffsets::RunOffsets(const RunOffsets& other)
    : firstByte_(other.firstByte_),
      firstStep_(other.firstStep_),
      more_(other.more_ ? std::make_unique<std::vector<Stretch>>(*other.more_) : nullptr),
      single_(other.single_ ? std::make_unique<std::vector<std::uint32_t>>(*other.single_) : nullptr),
      count_(other.count_) {}

RunOffsets& RunOffsets::operator=(const RunOffsets& other) {
    if (this != &other) *this = RunOffsets(other);
    return *this;
}

void RunOffsets::push(std::uint64_t offset) {
    if (single_) {
        // A finished run taking more characters: back to stretches.
        const std::vector<std::uint32_t> single = std::move(*single_);
        single_.reset();
        count_ = 0;
        for (std::uint32_t at : single) push(at);
    }
    if (count_ == 0) {
        firstByte_ = offset;
        firstStep_ = 0;
        ++count_;
        return;
    }
    const bool inFirst = !more_ || more_->empty();
    const std::uint64_t lastByte = inFirst ? firstByte_ : more_->back().firstByte;
    const std::uint64_t units = count_ - (inFirst ? 0 : more_->back().firstUnit);
    std::uint64_t& step = inFirst ? firstStep_ : more_->back().step;
    if (units == 1 && offset >= lastByte) {
        // The second character sets the stretch's step.
        step = offset - lastByte;
        ++count_;
        return;
    }
    if (offset == lastByte + units * step) {
        ++count_;
        return;
    }
    if (!more_) more_ = std::make_unique<std::vector<Stretch>>();
    more_->push_back(Stretch{.firstByte = offset, .firstUnit = count_, .step = 0});
    ++count_;
}

void RunOffsets::finish() {
    if (!more_) return;
    if (more_->size() * sizeof(Stretch) > count_ * sizeof(std::uint32_t)) {
        // One offset a character costs less, where every offset fits.
        bool fits = firstByte_ + ((*more_)[0].firstUnit - 1) * firstStep_ <= std::numeric_limits<std::uint32_t>::max();
        for (std::size_t k = 0; k < more_->size(); ++k) {
            const Stretch& stretch = (*more_)[k];
            const std::uint64_t end = k + 1 < more_->size() ? (*more_)[k + 1].firstUnit : count_;
            fits = fits &&
                   stretch.firstByte + (end - stretch.firstUnit - 1) * stretch.step <= std::numeric_limits<std::uint32_t>::max();
        }
        if (fits) {
            auto single = std::make_unique<std::vector<std::uint32_t>>();
            single->reserve(count_);
            for (std::size_t unit = 0; unit < count_; ++unit) single->push_back(static_cast<std::uint32_t>(at(unit)));
            single_ = std::move(single);
            more_.reset();
            firstByte_ = firstStep_ = 0;
            return;
        }
    }
    more_->shrink_to_fit();
}

std::uint64_t RunOffsets::at(std::size_t unit) const {
    if (single_) return single_->empty() ? 0 : (*single_)[std::min(unit, single_->size() - 1)];
    if (count_ == 0) return 0;
    if (!more_ || more_->empty() || unit < (*more_)[0].firstUnit) return firstByte_ + unit * firstStep_;
    // The last stretch that starts at or before the unit.
    const auto after = std::upper_bound(more_->begin(), more_->end(), unit,
                                        [](std::size_t wanted, const Stretch& s) { return wanted < s.firstUnit; });
    const Stretch& stretch = *(after - 1);
    return stretch.firstByte + (unit - stretch.firstUnit) * stretch.step;
}

std::optional<std::size_t> runCharacterOffset(const model::Element& run, std::int64_t unit) {
    if (unit < 0) return std::nullopt;
    if (const auto* detail = run.origin.detail.as<TextDetail>()) {
        if (unit >= static_cast<std::int64_t>(detail->offsets.size())) return std::nullopt;
        return static_cast<std::size_t>(detail->offsets.at(static_cast<std::size_t>(unit)));
    }
    if (run.origin.detail.as<PlainTextDetail>() && unit < run.origin.range.length()) {
        return static_cast<std::size_t>(run.origin.range.begin + unit);
    }
    return std::nullopt;
}

}  // namespace kelvaran::formats::rtf
