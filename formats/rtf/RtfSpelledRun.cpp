#include "formats/rtf/RtfSpelledRun.h"

#include "formats/model/FormatError.h"
#include "formats/model/RunText.h"
#include "formats/rtf/RtfText.h"
#include "formats/rtf/RtfTokenizer.h"

#include <algorithm>
#include <vector>

namespace kelvaran::formats::rtf {

namespace {

constexpr int kMaxUc = 16;
constexpr std::size_t kMaxGroups = 200;

// The reader's handling of text tokens, over one run's bytes only.
class SpelledReading {
public:
    SpelledReading(std::uint32_t context, std::string& utf8, RunOffsets* offsets, std::uint64_t base)
        : codePage_(static_cast<int>(context & 0xFFFF)),
          uc_(static_cast<int>(context >> 16)),
          utf8_(utf8),
          offsets_(offsets),
          base_(base) {}

    void read(std::string_view spelled) {
        utf8_.reserve(utf8_.size() + spelled.size());
        Tokenizer tok(spelled);
        tok.setDoubleByte(isDoubleByteCodePage(codePage_));
        bool opened = false;
        for (;;) {
            const Token token = tok.next();
            if (token.kind == TokenKind::End) return;
            if (token.kind != TokenKind::ControlSymbol || token.word[0] != '\'') pendingLead_ = -1;
            if (opened && (token.isSymbol('*') ||
                           (token.kind == TokenKind::ControlWord && isSkippedDestination(token.word)))) {
                // A destination holds no text of the run (a bookmark, a
                // field's instruction, a footnote): passed over.
                skipDestination(tok);
                uc_ = groups_.back().uc;
                skip_ = groups_.back().skip;
                groups_.pop_back();
                opened = false;
                continue;
            }
            opened = token.kind == TokenKind::GroupStart;
            switch (token.kind) {
                case TokenKind::End: return;
                case TokenKind::GroupStart:
                    // The reader leaves deeper groups unread: such a run is
                    // not read again, and hostile nesting costs nothing.
                    if (groups_.size() >= kMaxGroups) throw model::FormatError("groups nested too deeply");
                    groups_.push_back({uc_, skip_});
                    skip_ = 0;
                    break;
                case TokenKind::GroupEnd:
                    if (groups_.empty()) {
                        skip_ = 0;
                    } else {
                        uc_ = groups_.back().uc;
                        skip_ = groups_.back().skip;
                        groups_.pop_back();
                    }
                    break;
                case TokenKind::Text: bytes(token.data, token.begin); break;
                case TokenKind::ControlSymbol: symbol(token); break;
                case TokenKind::ControlWord: word(token); break;
            }
        }
    }

private:
    struct Saved {
        int uc;
        int skip;
    };

    // Reads up to the "}" that closes the group just opened.
    static void skipDestination(Tokenizer& tok) {
        for (int depth = 1; depth > 0;) {
            const Token token = tok.next();
            if (token.kind == TokenKind::End) return;
            if (token.kind == TokenKind::GroupStart) ++depth;
            if (token.kind == TokenKind::GroupEnd) --depth;
        }
    }

    void add(std::string_view utf8, std::size_t begin) {
        utf8_.append(utf8);
        if (offsets_) offsets_->push(base_ + begin);
    }

    void bytes(std::string_view data, std::size_t begin) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (skip_ == 0) {
                // ASCII is one character a byte and its own UTF-8 in every
                // code page, and no lead byte: taken in one piece.
                std::size_t ascii = i;
                while (ascii < data.size() && static_cast<std::uint8_t>(data[ascii]) < 0x80) ++ascii;
                if (ascii > i) {
                    utf8_.append(data.substr(i, ascii - i));
                    if (offsets_) {
                        for (std::size_t k = i; k < ascii; ++k) offsets_->push(base_ + begin + k);
                    }
                    i = ascii - 1;
                    continue;
                }
            }
            const auto byte = static_cast<std::uint8_t>(data[i]);
            const bool pair = isLeadByteIn(codePage_, byte) && i + 1 < data.size();
            if (skip_ > 0) {
                --skip_;
                if (pair) ++i;
                continue;
            }
            character_.clear();
            appendCodePageChar(codePage_, data.substr(i, pair ? 2 : 1), character_);
            add(character_, begin + i);
            if (pair) ++i;
        }
    }

    void symbol(const Token& token) {
        const char c = token.word[0];
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (c != '\'') {
            switch (c) {
                case '\\':
                case '{':
                case '}': add(std::string_view(&c, 1), token.begin); break;
                case '~': add("\xC2\xA0", token.begin); break;
                case '_': add("\xE2\x80\x91", token.begin); break;
                case '-': add("\xC2\xAD", token.begin); break;
                default: break;
            }
            return;
        }
        character_.clear();
        if (pendingLead_ >= 0) {
            const char pair[2] = {static_cast<char>(pendingLead_), static_cast<char>(token.byte)};
            appendCodePageChar(codePage_, std::string_view(pair, 2), character_);
            add(character_, pendingLeadAt_);
            pendingLead_ = -1;
        } else if (isLeadByteIn(codePage_, token.byte)) {
            if (token.trail >= 0) {
                const char pair[2] = {static_cast<char>(token.byte), static_cast<char>(token.trail)};
                appendCodePageChar(codePage_, std::string_view(pair, 2), character_);
                add(character_, token.begin);
            } else {
                pendingLead_ = token.byte;
                pendingLeadAt_ = token.begin;
            }
        } else {
            const char one = static_cast<char>(token.byte);
            appendCodePageChar(codePage_, std::string_view(&one, 1), character_);
            add(character_, token.begin);
        }
    }

    void word(const Token& token) {
        if (token.word == "uc") {
            uc_ = std::clamp(token.parameter, 0, kMaxUc);
        } else if (token.word == "u" && token.hasParameter) {
            unicode(token);
        } else if (const char* character = specialCharacter(token.word)) {
            add(character, token.begin);
        }
    }

    void unicode(const Token& token) {
        skip_ = uc_;
        const std::int32_t p = token.parameter;
        const auto unit = static_cast<char16_t>(p < 0 ? p + 65536 : p);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            // The high half of a pair: a unit of its own, written with the low half.
            highSurrogate_ = unit;
            if (offsets_) offsets_->push(base_ + token.begin);
            return;
        }
        character_.clear();
        if (unit >= 0xDC00 && unit <= 0xDFFF && highSurrogate_) {
            appendUtf8(0x10000 + ((static_cast<char32_t>(highSurrogate_) - 0xD800) << 10) + (unit - 0xDC00),
                       character_);
            highSurrogate_ = 0;
        } else {
            appendUtf8(unit, character_);
        }
        add(character_, token.begin);
    }

    int codePage_;
    int uc_;
    int skip_ = 0;
    int pendingLead_ = -1;
    std::size_t pendingLeadAt_ = 0;
    char16_t highSurrogate_ = 0;
    std::vector<Saved> groups_;
    std::string character_;
    std::string& utf8_;
    RunOffsets* offsets_;
    std::uint64_t base_;
};

void decode(std::string_view spelled, std::uint32_t context, std::string& utf8) {
    readSpelledRun(spelled, context, utf8);
}

}  // namespace

std::optional<std::uint32_t> spelledRunContext(int codePage, int uc) {
    if (codePage < 0 || codePage > 0xFFFF || uc < 0 || uc > kMaxUc) return std::nullopt;
    return static_cast<std::uint32_t>(codePage) | static_cast<std::uint32_t>(uc) << 16;
}

bool readSpelledRun(std::string_view spelled, std::uint32_t context, std::string& utf8, RunOffsets* offsets,
                    std::uint64_t base) {
    try {
        SpelledReading(context, utf8, offsets, base).read(spelled);
        return true;
    } catch (const model::FormatError&) {
        return false;
    }
}

std::uint8_t spelledRunDecoder() {
    static const std::uint8_t number = model::RunText::addDecoder(&decode);
    return number;
}

}  // namespace kelvaran::formats::rtf
