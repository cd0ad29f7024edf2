#pragma once

// Where each character of a text run begins in the input.  The writer needs
// it to place an addition between two characters of a run that was read.
//
// Characters that stand a fixed number of bytes apart (plain text, one byte
// each; the same kind of escape over and over) are kept as one stretch, so a
// paragraph of plain text costs a few bytes however long it is.  A run whose
// characters follow no pattern is kept as one offset per character, never
// larger than that.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvaran::formats::rtf {

class RunOffsets {
public:
    RunOffsets() = default;
    RunOffsets(const RunOffsets& other);
    RunOffsets(RunOffsets&&) noexcept = default;
    RunOffsets& operator=(const RunOffsets& other);
    RunOffsets& operator=(RunOffsets&&) noexcept = default;
    ~RunOffsets() = default;

    // Adds the next character (or UTF-16 unit) of the run.
    void push(std::uint64_t offset);
    // Frees what the run no longer needs once it is complete.
    void finish();

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The byte at which character `unit` begins; unit < size().
    std::uint64_t at(std::size_t unit) const;
    // Whether the characters are one byte each, one after the other from
    // `begin` (true for an empty run).
    bool contiguous(std::uint64_t begin) const {
        return count_ == 0 || (!more_ && !single_ && firstByte_ == begin && (count_ == 1 || firstStep_ == 1));
    }

private:
    struct Stretch {
        std::uint64_t firstByte = 0;
        std::uint64_t firstUnit = 0;
        std::uint64_t step = 0;
    };
    // The first stretch, the only one of most runs, is held here; the ones
    // after it, and the offsets one a character that finish() may choose
    // instead, apart (a run has one or the other, often neither).
    std::uint64_t firstByte_ = 0;
    std::uint64_t firstStep_ = 0;
    std::unique_ptr<std::vector<Stretch>> more_;
    std::unique_ptr<std::vector<std::uint32_t>> single_;
    std::size_t count_ = 0;
};

}  // namespace kelvaran::formats::rtf
