#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace kelvaran::formats::model {

// A text run's characters in UTF-8.  Most runs a reader makes are kept in
// the input they were read from instead of being copied:
// - plain text (ASCII between two keywords) is its own UTF-8: the run points
//   at those bytes;
// - text spelled with escapes (accents as "\'e9", say) points at its bytes
//   too, and a decoder the reader registered turns them into UTF-8 whenever
//   the text is asked for.  Readers keep a run this way only once they have
//   checked that decoding gives exactly the text they read.
// Other text is the run's own copy.
//
// A run pointing into the input must not outlive that buffer: readers make
// such runs only for elements whose origin holds the buffer, and an element
// that loses its origin (the tail of a split run) is given its own copy.
class RunText {
public:
    // Writes the UTF-8 text of `spelled`, a run's bytes as they stand in its
    // input, to the end of `utf8`; `context` is what the reader recorded with
    // the run (a code page, say).
    using Decoder = void (*)(std::string_view spelled, std::uint32_t context, std::string& utf8);
    static constexpr std::uint32_t kMaxContext = (1u << 24) - 1;

    RunText() = default;
    RunText(std::string_view text) { own(text); }  // NOLINT(google-explicit-constructor): text is text
    RunText(const std::string& text) : RunText(std::string_view(text)) {}  // NOLINT(google-explicit-constructor)
    RunText(const char* text) : RunText(std::string_view(text)) {}  // NOLINT(google-explicit-constructor)
    // The bytes `input` as they stand in a buffer that outlives this run.
    static RunText inInput(std::string_view input);
    // A decoder's number for spelledInInput(); the same decoder always gets the
    // same number.  Throws std::length_error past 63 decoders.
    static std::uint8_t addDecoder(Decoder decoder);
    // The text that decoder `decoder` makes of `spelled`, bytes of a buffer
    // that outlives this run.  An empty run when `spelled` is empty or too
    // long, or `context` is over kMaxContext.
    static RunText spelledInInput(std::string_view spelled, std::uint8_t decoder, std::uint32_t context);

    RunText(const RunText& other);
    RunText(RunText&& other) noexcept;
    RunText& operator=(const RunText& other);
    RunText& operator=(RunText&& other) noexcept;
    ~RunText() { release(); }

    // The text: the bytes kept when they are the text, else decoded into
    // `scratch`.
    std::string_view view(std::string& scratch) const;
    std::string str() const;
    bool empty() const { return size_ == 0; }
    // Whether the run points into an input buffer instead of owning its text.
    bool inInputBuffer() const { return size_ > 0 && form_ != kOwned; }
    // Whether the bytes kept are the input's spelling, decoded when asked for.
    bool spelled() const { return size_ > 0 && form_ == kSpelled; }
    // The first of the bytes kept (in the input when inInputBuffer()).
    const char* data() const { return data_; }
    // This run's own copy of its text, so that it no longer needs the input.
    void detach();
    void clear() { release(); }
    // Keeps the first `bytes` bytes of the text only.
    void keepFirst(std::size_t bytes);

    friend bool operator==(const RunText& a, std::string_view b);
    friend std::ostream& operator<<(std::ostream& out, const RunText& text);

private:
    enum Form : std::uint8_t { kInInput, kOwned, kSpelled };

    // Text longer than 4 GiB is not kept (a run may hold no text).
    void own(std::string_view text);
    void release();

    const char* data_ = nullptr;
    std::uint32_t size_ = 0;
    // Eight bytes with size_, so that a run stays as small as a pointer and
    // a size.
    std::uint32_t form_ : 2 = kInInput;
    std::uint32_t decoder_ : 6 = 0;
    std::uint32_t context_ : 24 = 0;
};

}  // namespace kelvaran::formats::model
