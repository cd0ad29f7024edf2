#include "formats/rtf/RtfRunOffsets.h"

#include "formats/rtf/RtfDetail.h"
#include "formats/rtf/RtfSpelledRun.h"

#include <string>

namespace kelvaran::formats::rtf {

namespace {

void putNumber(std::vector<std::uint8_t>& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

std::uint64_t takeNumber(const std::vector<std::uint8_t>& in, std::size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0; at < in.size() && shift < 64; shift += 7) {
        const std::uint8_t byte = in[at++];
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) break;
    }
    return value;
}

std::uint64_t zigzag(std::int64_t step) {
    return (static_cast<std::uint64_t>(step) << 1) ^ static_cast<std::uint64_t>(step >> 63);
}

std::int64_t unzigzag(std::uint64_t coded) {
    return static_cast<std::int64_t>(coded >> 1) ^ -static_cast<std::int64_t>(coded & 1);
}

}  // namespace

void RunOffsets::push(std::uint64_t offset) {
    if (count_ == 0) {
        first_ = last_ = offset;
        count_ = 1;
        return;
    }
    const auto step = static_cast<std::int64_t>(offset - last_);
    if (pendingCount_ > 0 && step != pendingStep_) settle();
    pendingStep_ = step;
    ++pendingCount_;
    unitSteps_ = unitSteps_ && step == 1;
    last_ = offset;
    ++count_;
}

void RunOffsets::settle() {
    if (pendingCount_ == 0) return;
    // A step taken once costs its number only; one repeated, a count too.
    const std::uint64_t coded = zigzag(pendingStep_);
    if (pendingCount_ == 1) {
        putNumber(steps_, coded << 1);
    } else {
        putNumber(steps_, (coded << 1) | 1);
        putNumber(steps_, pendingCount_);
    }
    pendingCount_ = 0;
}

void RunOffsets::finish() {
    settle();
    steps_.shrink_to_fit();
}

std::uint64_t RunOffsets::at(std::size_t unit) const {
    if (count_ == 0 || unit == 0) return first_;
    std::uint64_t offset = first_;
    std::uint64_t left = unit;
    std::size_t at = 0;
    while (at < steps_.size()) {
        const std::uint64_t word = takeNumber(steps_, at);
        const std::int64_t step = unzigzag(word >> 1);
        const std::uint64_t times = (word & 1) ? takeNumber(steps_, at) : 1;
        const std::uint64_t taken = times < left ? times : left;
        offset += static_cast<std::uint64_t>(step) * taken;
        left -= taken;
        if (left == 0) return offset;
    }
    // The steps not yet written.
    const std::uint64_t taken = pendingCount_ < left ? pendingCount_ : left;
    return offset + static_cast<std::uint64_t>(pendingStep_) * taken;
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
    if (const auto* spelled = run.origin.detail.as<SpelledTextDetail>()) {
        const auto& source = run.origin.source();
        const auto& range = run.origin.range;
        if (!source || !range.valid() || range.end > static_cast<std::int64_t>(source->size())) return std::nullopt;
        const auto begin = static_cast<std::size_t>(range.begin);
        std::string utf8;
        RunOffsets offsets;
        if (!readSpelledRun(std::string_view(*source).substr(begin, static_cast<std::size_t>(range.length())),
                            spelled->context, utf8, &offsets, begin) ||
            unit >= static_cast<std::int64_t>(offsets.size())) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(offsets.at(static_cast<std::size_t>(unit)));
    }
    return std::nullopt;
}

}  // namespace kelvaran::formats::rtf
