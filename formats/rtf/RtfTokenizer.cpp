#include "formats/rtf/RtfTokenizer.h"

#include "formats/model/FormatError.h"

#include <array>
#include <limits>
#include <string>

namespace kelvaran::formats::rtf {

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Token Tokenizer::next() {
    // Only the token right after an escaped lead byte may be its trail.
    const bool trailExpected = trailPending_;
    trailPending_ = false;
    while (at_ < input_.size() && (input_[at_] == '\r' || input_[at_] == '\n')) ++at_;
    Token token;
    token.begin = at_;
    if (at_ >= input_.size()) {
        token.kind = TokenKind::End;
        token.end = at_;
        return token;
    }
    const char c = input_[at_];
    if (c == '{' || c == '}') {
        token.kind = c == '{' ? TokenKind::GroupStart : TokenKind::GroupEnd;
        token.end = ++at_;
        return token;
    }
    if (c == '\\') return controlWord(at_, trailExpected);
    return text(at_);
}

Token Tokenizer::controlWord(std::size_t begin, bool trailExpected) {
    Token token;
    token.begin = begin;
    std::size_t at = begin + 1;
    if (at >= input_.size()) {
        // A lone backslash at the very end: nothing to name; keep it as text.
        token.kind = TokenKind::Text;
        token.data = input_.substr(begin, 1);
        token.end = at_ = at;
        return token;
    }
    if (!isLetter(input_[at])) {
        token.kind = TokenKind::ControlSymbol;
        token.word = input_.substr(at, 1);
        ++at;
        if (token.word[0] == '\'') {
            // Two hex digits; a malformed escape stands for itself as text.
            const int high = at < input_.size() ? hexValue(input_[at]) : -1;
            const int low = at + 1 < input_.size() ? hexValue(input_[at + 1]) : -1;
            if (high < 0 || low < 0) {
                token.kind = TokenKind::Text;
                token.word = {};
                token.data = input_.substr(begin, at - begin);
                token.end = at_ = at;
                return token;
            }
            token.byte = static_cast<std::uint8_t>(high * 16 + low);
            at += 2;
            if (doubleByte_ && !trailExpected && isLeadByte(token.byte)) {
                // The trail follows escaped ("\\'8a\\'fa": the next escape is
                // the trail, whatever its value, and takes nothing raw) or raw.
                // A raw "\\", "{" or "}" after an escaped lead byte is syntax:
                // writers that escape the lead byte escape such a trail too.
                const bool escapedTrail = at + 1 < input_.size() && input_[at] == '\\' && input_[at + 1] == '\'';
                if (escapedTrail) {
                    trailPending_ = true;
                } else if (at < input_.size() && input_[at] != '\\' && input_[at] != '{' && input_[at] != '}' &&
                           isTrailByte(static_cast<std::uint8_t>(input_[at]))) {
                    token.trail = static_cast<unsigned char>(input_[at]);
                    ++at;
                }
            }
        }
        token.end = at_ = at;
        return token;
    }
    const std::size_t nameBegin = at;
    while (at < input_.size() && isLetter(input_[at])) {
        ++at;
        if (at - nameBegin > kMaxWordLength) {
            throw model::FormatError("a control word at byte " + std::to_string(begin) + " is longer than " +
                                     std::to_string(kMaxWordLength) + " letters");
        }
    }
    token.kind = TokenKind::ControlWord;
    token.word = input_.substr(nameBegin, at - nameBegin);
    bool negative = false;
    if (at < input_.size() && input_[at] == '-' && at + 1 < input_.size() && isDigit(input_[at + 1])) {
        negative = true;
        ++at;
    }
    if (at < input_.size() && isDigit(input_[at])) {
        token.hasParameter = true;
        std::int64_t value = 0;
        constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
        while (at < input_.size() && isDigit(input_[at])) {
            if (value < limit) value = value * 10 + (input_[at] - '0');
            ++at;
        }
        if (negative) value = -value;
        if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
        if (value < std::numeric_limits<std::int32_t>::min()) value = std::numeric_limits<std::int32_t>::min();
        token.parameter = static_cast<std::int32_t>(value);
    }
    if (at < input_.size() && input_[at] == ' ') ++at;  // the delimiter belongs to the word
    if (token.word == "bin") {
        // The payload is raw bytes of any value; a hostile length is cut at
        // the end of the input instead of being trusted.
        const std::size_t left = input_.size() - at;
        std::size_t length = 0;
        if (token.parameter < 0 || static_cast<std::size_t>(token.parameter) > left) {
            token.truncated = true;
            length = token.parameter < 0 ? 0 : left;
        } else {
            length = static_cast<std::size_t>(token.parameter);
        }
        token.data = input_.substr(at, length);
        at += length;
    }
    token.end = at_ = at;
    return token;
}

Token Tokenizer::text(std::size_t begin) {
    Token token;
    token.kind = TokenKind::Text;
    token.begin = begin;
    // One table look-up a byte, most of all over the hex of pictures: the
    // bytes that end a run of text and, in double-byte text, the lead bytes,
    // whose trail is text whatever it is.
    constexpr std::uint8_t kEnds = 1;
    constexpr std::uint8_t kLead = 2;
    static constexpr auto kinds = [] {
        std::array<std::uint8_t, 256> table{};
        table['\\'] = table['{'] = table['}'] = table['\r'] = table['\n'] = kEnds;
        for (int byte = 0; byte < 256; ++byte) {
            if (isLeadByte(static_cast<std::uint8_t>(byte))) table[static_cast<std::size_t>(byte)] = kLead;
        }
        return table;
    }();
    const auto* const data = reinterpret_cast<const unsigned char*>(input_.data());
    const std::size_t size = input_.size();
    const std::uint8_t stop = doubleByte_ ? kEnds | kLead : kEnds;
    std::size_t at = begin;
    for (;;) {
        while (at < size && (kinds[data[at]] & stop) == 0) ++at;
        if (at >= size || kinds[data[at]] == kEnds) break;
        // A lead byte takes the byte after it when that can be a trail.
        at += at + 1 < size && isTrailByte(data[at + 1]) ? 2 : 1;
    }
    token.data = input_.substr(begin, at - begin);
    token.end = at_ = at;
    return token;
}

}  // namespace kelvaran::formats::rtf
