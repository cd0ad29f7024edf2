#include "formats/rtf/RtfTokenizer.h"

#include "formats/model/FormatError.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kelvaran::formats::rtf {
namespace {

std::vector<Token> all(std::string_view input, bool doubleByte = false) {
    Tokenizer tokenizer(input);
    tokenizer.setDoubleByte(doubleByte);
    std::vector<Token> tokens;
    for (int guard = 0; guard < 10000; ++guard) {
        Token token = tokenizer.next();
        if (token.kind == TokenKind::End) break;
        tokens.push_back(token);
    }
    return tokens;
}

TEST(RtfTokenizerTest, ControlWordsKeepTheirParameterAndDelimiterInTheirBytes) {
    const std::string input = "{\\b0 x\\fs-24\\par\r\n\\pard}";
    const auto tokens = all(input);
    ASSERT_EQ(tokens.size(), 7u);
    EXPECT_EQ(tokens[0].kind, TokenKind::GroupStart);
    EXPECT_TRUE(tokens[1].is("b"));
    EXPECT_TRUE(tokens[1].hasParameter);
    EXPECT_EQ(tokens[1].parameter, 0);
    // The space after the parameter belongs to the word, not to the text.
    EXPECT_EQ(input.substr(tokens[1].begin, tokens[1].end - tokens[1].begin), "\\b0 ");
    EXPECT_EQ(tokens[2].kind, TokenKind::Text);
    EXPECT_EQ(tokens[2].data, "x");
    EXPECT_EQ(tokens[2].begin, 5u);
    EXPECT_TRUE(tokens[3].is("fs"));
    EXPECT_EQ(tokens[3].parameter, -24);
    EXPECT_TRUE(tokens[4].is("par"));
    EXPECT_FALSE(tokens[4].hasParameter);
    // CR and LF are no tokens.
    EXPECT_TRUE(tokens[5].is("pard"));
    EXPECT_EQ(tokens[5].begin, input.find("\\pard"));
    EXPECT_EQ(tokens[6].kind, TokenKind::GroupEnd);
    EXPECT_EQ(tokens[6].end, input.size());
}

TEST(RtfTokenizerTest, SymbolsEscapesAndMalformedEscapes) {
    const auto tokens = all("\\*\\'8a\\{\\'zq");
    ASSERT_EQ(tokens.size(), 5u);
    EXPECT_TRUE(tokens[0].isSymbol('*'));
    EXPECT_TRUE(tokens[1].isSymbol('\''));
    EXPECT_EQ(tokens[1].byte, 0x8A);
    EXPECT_TRUE(tokens[2].isSymbol('{'));
    // "\'" without two hex digits stands for itself.
    EXPECT_EQ(tokens[3].kind, TokenKind::Text);
    EXPECT_EQ(tokens[3].data, "\\'");
    EXPECT_EQ(tokens[4].data, "zq");
}

TEST(RtfTokenizerTest, BinaryPayloadMayHoldBracesAndBackslashes) {
    const std::string payload("}{\\\r\n\0x", 7);
    const std::string input = "{\\bin7 " + payload + "}";
    const auto tokens = all(input);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_TRUE(tokens[1].is("bin"));
    EXPECT_EQ(tokens[1].data, payload);
    EXPECT_FALSE(tokens[1].truncated);
    EXPECT_EQ(tokens[2].kind, TokenKind::GroupEnd);
}

TEST(RtfTokenizerTest, HostileBinaryLengthsAreCutAtTheEndOfTheInput) {
    for (const std::string length : {"999999999999", "2147483647", "-5"}) {
        SCOPED_TRACE(length);
        const std::string input = "{\\bin" + length + " abc}";
        const auto tokens = all(input);
        ASSERT_GE(tokens.size(), 2u);
        EXPECT_TRUE(tokens[1].truncated);
        EXPECT_LE(tokens[1].end, input.size());
        if (length[0] != '-') {
            EXPECT_EQ(tokens[1].data, "abc}");
        }
    }
}

TEST(RtfTokenizerTest, LongParametersAreClampedAndLongWordsRefused) {
    const auto tokens = all("\\picw99999999999999999999 ");
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].parameter, 2147483647);
    EXPECT_THROW(all("\\" + std::string(40, 'a')), model::FormatError);
    EXPECT_NO_THROW(all("\\" + std::string(32, 'a')));
}

TEST(RtfTokenizerTest, DoubleByteTrailBytesAreTextNotSyntax) {
    // Shift-JIS "表" is 0x95 0x5C and "急" 0x8B 0x7D: their trail bytes are "\" and "}".
    const std::string raw = "{\x95\x5C\x8B\x7D}";
    auto tokens = all(raw, true);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[1].data, "\x95\x5C\x8B\x7D");
    EXPECT_EQ(tokens[2].kind, TokenKind::GroupEnd);
    // Escaped lead byte, raw trail byte.
    tokens = all("{\\'82a}", true);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[1].byte, 0x82);
    EXPECT_EQ(tokens[1].trail, 'a');
    EXPECT_EQ(tokens[2].kind, TokenKind::GroupEnd);
    // Without double-byte text the same bytes are syntax.
    tokens = all("{\\'82a}", false);
    EXPECT_EQ(tokens[1].trail, -1);
    EXPECT_EQ(tokens[2].data, "a");
}

TEST(RtfTokenizerTest, AnEscapedPairTakesNoRawByte) {
    // "期" is \'8a\'fa and "ン" \'83\'93: the second escape is a trail even
    // where its value could lead, and the brace after it closes the group.
    for (const char* pair : {"{\\'8a\\'fa}", "{\\'83\\'93}", "{\\'83\r\n\\'93}"}) {
        SCOPED_TRACE(pair);
        const auto tokens = all(pair, true);
        ASSERT_EQ(tokens.size(), 4u);
        EXPECT_EQ(tokens[1].trail, -1);
        EXPECT_EQ(tokens[2].trail, -1);
        EXPECT_EQ(tokens[3].kind, TokenKind::GroupEnd);
    }
    // A pair and then a lead byte with a raw trail: the third escape leads again.
    const auto tokens = all("\\'8a\\'fa\\'82a", true);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[2].trail, 'a');
    // A raw brace or backslash after an escaped lead byte is syntax, not its trail.
    for (const char* cut : {"{\\'8b}}", "{\\'8b{}}", "{\\'8b\\par}"}) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(all(cut, true)[1].trail, -1);
    }
}

// Text runs taken one byte at a time, as the format describes them: a run
// ends before "\\", "{", "}", CR or LF; in double-byte text a lead byte takes
// the byte after it whenever that can be a trail, even one of those five.
std::vector<std::string> textRunsByteByByte(std::string_view input, bool doubleByte) {
    std::vector<std::string> runs;
    std::string run;
    for (std::size_t at = 0; at < input.size(); ++at) {
        const auto c = static_cast<std::uint8_t>(input[at]);
        if (doubleByte && Tokenizer::isLeadByte(c) && at + 1 < input.size() &&
            Tokenizer::isTrailByte(static_cast<std::uint8_t>(input[at + 1]))) {
            run += input.substr(at, 2);
            ++at;
            continue;
        }
        if (c == '{' || c == '}' || c == '\r' || c == '\n') {
            if (!run.empty()) runs.push_back(run);
            run.clear();
            continue;
        }
        run += static_cast<char>(c);
    }
    if (!run.empty()) runs.push_back(run);
    return runs;
}

// Long runs of hex with lead bytes, trail bytes that look like syntax, line
// ends and braces anywhere, a lead byte last: the runs of text are the ones a
// byte-by-byte reading finds, in both modes.
TEST(RtfTokenizerTest, TextRunsEndWhereAByteByByteReadingEndsThem) {
    const std::string alphabet = "0123456789abcdefABCDEF{}\r\n \x81\x9f\xe0\xfc\x80\xfd\x40\x7e\x7f\x5c";
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string input;
        const std::size_t length = random() % 400;
        for (std::size_t i = 0; i < length; ++i) {
            // Mostly hex digits, as in a picture, with the rest sprinkled in.
            const std::size_t pick = random() % 4 == 0 ? random() % alphabet.size() : random() % 22;
            input += alphabet[pick];
        }
        // A backslash is a control word, not text: only the bytes between
        // them are compared, so none is left in the input.
        for (char& c : input) {
            if (c == '\\') c = '}';
        }
        for (const bool doubleByte : {false, true}) {
            SCOPED_TRACE(testing::Message() << "round " << round << (doubleByte ? " double-byte" : " single-byte"));
            std::vector<std::string> runs;
            for (const auto& token : all(input, doubleByte)) {
                if (token.kind == TokenKind::Text) runs.emplace_back(token.data);
            }
            EXPECT_EQ(runs, textRunsByteByByte(input, doubleByte));
        }
    }
}

TEST(RtfTokenizerTest, DoubleByteTextEndsAtItsOwnDelimitersAfterHex) {
    // A trail byte of "}" or "\\" is taken after a lead byte in mid-run; a
    // lead byte before a line end or at the very end stands alone.
    auto tokens = all("0a1b\x95}2c\x8b\\3d\x95\r\n4e\x95", true);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].data, "0a1b\x95}2c\x8b\\3d\x95");
    EXPECT_EQ(tokens[1].data, "4e\x95");
    EXPECT_EQ(tokens[1].end, 18u);
    // Single-byte text ends at the same brace.
    tokens = all("0a1b\x95}2c", false);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].data, "0a1b\x95");
    EXPECT_EQ(tokens[1].kind, TokenKind::GroupEnd);
}

TEST(RtfTokenizerTest, LoneBackslashAtTheEndIsText) {
    const auto tokens = all("ab\\");
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[1].kind, TokenKind::Text);
    EXPECT_EQ(tokens[1].data, "\\");
}

}  // namespace
}  // namespace kelvaran::formats::rtf
