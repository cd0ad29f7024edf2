#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace kelvaran::formats::model {

// A text run's characters in UTF-8.  Most runs a reader makes are the
// input's own bytes (plain ASCII between two keywords), and those are not
// copied: the run points into the input buffer, which the element's origin
// holds.  Other text is the run's own.  Copies of a run's own text are
// copies; copies of a run pointing into the input point there too.
//
// A run pointing into the input must not outlive that buffer: readers make
// such runs only for elements whose origin holds the buffer, and an element
// that loses its origin (the tail of a split run) is given its own copy.
class RunText {
public:
    RunText() = default;
    RunText(std::string_view text) { own(text); }  // NOLINT(google-explicit-constructor): text is text
    RunText(const std::string& text) : RunText(std::string_view(text)) {}  // NOLINT(google-explicit-constructor)
    RunText(const char* text) : RunText(std::string_view(text)) {}  // NOLINT(google-explicit-constructor)
    // The bytes `input` as they stand in a buffer that outlives this run.
    static RunText inInput(std::string_view input);

    RunText(const RunText& other);
    RunText(RunText&& other) noexcept;
    RunText& operator=(const RunText& other);
    RunText& operator=(RunText&& other) noexcept;
    ~RunText() { release(); }

    std::string_view view() const { return {data_, size_}; }
    operator std::string_view() const { return view(); }  // NOLINT(google-explicit-constructor)
    std::string str() const { return std::string(view()); }
    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Whether the text points into an input buffer instead of being its own.
    bool inInputBuffer() const { return size_ > 0 && !owned_; }
    // This run's own copy of its text, so that it no longer needs the input.
    void detach() { if (inInputBuffer()) own(view()); }
    void clear() { release(); }
    // Keeps the first `bytes` bytes only.
    void keepFirst(std::size_t bytes) { if (bytes < size_) size_ = static_cast<std::uint32_t>(bytes); }

    friend bool operator==(const RunText& a, std::string_view b) { return a.view() == b; }
    friend std::ostream& operator<<(std::ostream& out, const RunText& text);

private:
    // Text longer than 4 GiB is not kept (a run may hold no text).
    void own(std::string_view text);
    void release();

    const char* data_ = nullptr;
    std::uint32_t size_ = 0;
    bool owned_ = false;
};

}  // namespace kelvaran::formats::model
