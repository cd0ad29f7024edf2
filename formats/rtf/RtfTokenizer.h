#pragma once

// Splits RTF bytes into groups, control words, control symbols, text and
// binary runs, keeping the byte range of every token so that a writer can
// patch the input without re-serialising it.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kelvaran::formats::rtf {

enum class TokenKind {
    GroupStart,     // "{"
    GroupEnd,       // "}"
    ControlWord,    // "\word" with an optional parameter; "\binN" carries its payload
    ControlSymbol,  // "\*", "\~", "\'hh" ...
    Text,           // plain bytes up to the next "\", "{", "}", CR or LF
    End,            // end of the input
};

struct Token {
    TokenKind kind = TokenKind::End;
    // Bytes of the token in the input, a consumed delimiter space (and a
    // "\bin" payload) included.
    std::size_t begin = 0;
    std::size_t end = 0;
    // Control words: the letters.  Control symbols: the one character.
    std::string_view word;
    bool hasParameter = false;
    // Clamped to the 32-bit range: longer digit runs do not overflow.
    std::int32_t parameter = 0;
    // Text: the bytes.  "\binN": the payload (cut short at the end of the
    // input, see `truncated`).
    std::string_view data;
    // "\'hh": the byte.  `trail` is set when, in double-byte mode, the escaped
    // byte was a lead byte followed by a raw trail byte (not "\", "{" or "}")
    // that the token took.
    std::uint8_t byte = 0;
    int trail = -1;
    // A "\binN" whose N was negative or longer than the rest of the input.
    bool truncated = false;

    bool is(std::string_view name) const { return kind == TokenKind::ControlWord && word == name; }
    bool isSymbol(char c) const { return kind == TokenKind::ControlSymbol && word.size() == 1 && word[0] == c; }
};

class Tokenizer {
public:
    // Longest control word name the format allows.
    static constexpr std::size_t kMaxWordLength = 32;

    explicit Tokenizer(std::string_view input, std::size_t start = 0) : input_(input), at_(start) {}

    // The next token; CR and LF outside binary runs are skipped.  Throws
    // model::FormatError on a control word longer than kMaxWordLength.
    Token next();
    std::size_t position() const { return at_; }
    // Goes on from `at`, past bytes a reader took on its own (the lines of a
    // picture's hex); `at` must be where a token may begin, outside a
    // double-byte pair.
    void moveTo(std::size_t at) {
        at_ = at < input_.size() ? at : input_.size();
        trailPending_ = false;
    }
    std::string_view input() const { return input_; }

    // Double-byte text (a Shift-JIS or other DBCS font is current): a lead
    // byte takes the next byte as its trail, whatever its value, so that a
    // trail byte of "\", "{" or "}" is text and not syntax.
    void setDoubleByte(bool on) { doubleByte_ = on; }
    bool doubleByte() const { return doubleByte_; }

    static constexpr bool isLeadByte(std::uint8_t byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
    static constexpr bool isTrailByte(std::uint8_t byte) { return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC); }

private:
    Token controlWord(std::size_t begin, bool trailExpected);
    Token text(std::size_t begin);

    std::string_view input_;
    std::size_t at_ = 0;
    bool doubleByte_ = false;
    // The last token was an escaped lead byte whose trail is escaped too.
    bool trailPending_ = false;
};

}  // namespace kelvaran::formats::rtf
