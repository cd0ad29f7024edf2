#pragma once

// Where each character of a text run begins in the input.  The writer needs
// it to place an addition between two characters of a run that was read.
//
// The offsets are kept as the steps between them, and a step repeated is
// kept once with its count: plain text (one byte a character) and the same
// escape over and over cost a few bytes however long they are, and text
// with an escape now and then two or three bytes for each.  Finding one
// offset reads the steps from the start; the writer asks for a few only.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvaran::formats::rtf {

class RunOffsets {
public:
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
    bool contiguous(std::uint64_t begin) const { return count_ == 0 || (first_ == begin && unitSteps_); }
    // Bytes kept for the steps (for tests of what a run costs).
    std::size_t keptBytes() const { return steps_.capacity(); }
    // The same characters at the same offsets (both complete, or both not).
    bool operator==(const RunOffsets& other) const = default;

private:
    // Writes the pending step and its count to steps_.
    void settle();

    std::uint64_t first_ = 0;
    std::uint64_t last_ = 0;
    std::size_t count_ = 0;
    // The step being repeated and how often, not yet in steps_.
    std::int64_t pendingStep_ = 0;
    std::uint64_t pendingCount_ = 0;
    bool unitSteps_ = true;
    // Each step zigzag-coded and shifted left by one, as a variable-length
    // number; the low bit set when a count follows.
    std::vector<std::uint8_t> steps_;
};

}  // namespace kelvaran::formats::rtf
