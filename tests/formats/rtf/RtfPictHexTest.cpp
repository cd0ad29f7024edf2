#include "formats/rtf/RtfFormat.h"
#include "tests/formats/rtf/RtfTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

namespace kelvaran::formats::rtf {
namespace {

using namespace test;

// Bytes of every value, so that each digit of both cases meets each other.
std::string everyByte() {
    std::string bytes = tinyPng();
    for (int i = 0; i < 512; ++i) bytes += static_cast<char>(i * 7 % 256);
    return bytes;
}

// The picture's bytes read back from a picture group holding `digits`.
std::string readBack(const std::string& digits) {
    const auto document = read(wrap("{\\pict\\pngblip\\picwgoal600\\pichgoal400 " + digits + "}\\par"));
    if (document.inlines.size() != 1) return "<no picture>";
    return *document.inlines[0].picture.bytes;
}

// However the digits are laid out, the same bytes come back: upper and
// mixed case, lines of any length ending in CR, LF or both (a pair split
// across a line end too), blanks and tabs between digits and inside pairs,
// a lone digit starting a line.
TEST(RtfPictHexTest, TheSameBytesWhateverTheLayoutOfTheDigits) {
    const std::string bytes = everyByte();
    const std::string plain = hex(bytes);
    ASSERT_EQ(readBack(plain), bytes);

    std::string upper = plain;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(readBack(upper), bytes);

    std::string mixed = plain;
    for (std::size_t i = 0; i < mixed.size(); i += 3) {
        mixed[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(mixed[i])));
    }
    EXPECT_EQ(readBack(mixed), bytes);

    std::mt19937 random(18);
    const char* const breaks[] = {"\r\n", "\n", "\r", " ", "\t", "  \r\n "};
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::string laidOut;
        for (std::size_t i = 0; i < plain.size();) {
            const std::size_t run = 1 + random() % 130;  // odd lengths split pairs
            laidOut += plain.substr(i, run);
            i += run;
            laidOut += breaks[random() % std::size(breaks)];
        }
        EXPECT_EQ(readBack(laidOut), bytes);
    }
    EXPECT_EQ(readBack("8\n9504e470d0a1a0a" + plain.substr(16)), bytes);
    EXPECT_EQ(readBack("89 50 4E 47\t0D0A1A0A" + plain.substr(16)), bytes);
}

// Digits that do not make whole bytes, or anything but digits and blanks,
// leave the picture as it is, wherever the fault stands in a line.
TEST(RtfPictHexTest, DamagedDigitsAreRefusedWhereverTheyStand) {
    const std::string plain = hex(tinyPng());
    const std::string faults[] = {
        plain + "a",                                         // a digit left over at the end
        plain.substr(0, 11) + "\n" + plain.substr(12),      // one digit missing mid-run
        plain.substr(0, 10) + "g" + plain.substr(11),        // a letter that is no digit, first of a pair
        plain.substr(0, 11) + "x" + plain.substr(12),        // second of a pair
        plain.substr(0, 9) + " G" + plain.substr(11),        // after a blank
        plain + "\xe3\x81\x82",                              // bytes beyond ASCII
    };
    for (const auto& digits : faults) {
        SCOPED_TRACE(digits.substr(0, 24));
        const auto document = read(wrap("{\\pict\\pngblip\\picwgoal20\\pichgoal20 " + digits + "}ok\\par"));
        EXPECT_TRUE(document.inlines.empty());
        EXPECT_FALSE(document.warnings.empty());
    }
}

// The lines after the first are read straight from the file up to the first
// byte that is no digit, blank or line end; the tokens go on from there.
// Whatever stands between or inside the lines, the picture and the text
// after its group come out as when every line is read as a token.
TEST(RtfPictHexTest, LinesAfterTheFirstEndWhereTheTokensTakeOver) {
    const std::string bytes = everyByte();
    const std::string plain = hex(bytes);
    auto lines = [&](std::size_t width, const std::string& lineEnd) {
        std::string out;
        for (std::size_t i = 0; i < plain.size(); i += width) out += plain.substr(i, width) + lineEnd;
        return out;
    };
    const std::string sjis = "{\\f1\\fnil\\fcharset128 Gothic;}";
    struct Case {
        const char* name;
        std::string digits;
        bool kept;
    };
    const std::string body = lines(64, "\r\n");
    const std::size_t third = 3 * 66;  // the start of the fourth line
    const std::vector<Case> cases = {
        {"CR alone, a pair split across it", lines(63, "\r"), true},
        {"a group and a word between lines, a pair split by the word",
         body.substr(0, third) + "{\\*\\blipuid 00ff}" + body.substr(third, 7) + "\\foo " + body.substr(third + 7), true},
        {"a letter on a later line", body.substr(0, third + 5) + "q" + body.substr(third + 6), false},
        {"a lead byte whose trail is the brace", body.substr(0, third + 5) + "\x95}" + body.substr(third + 5), false},
        {"a digit left over before the brace", body + "7", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto document =
            read(wrap("\\f1 {\\pict\\pngblip\\picwgoal600\\pichgoal400\r\n" + c.digits + "}after\\par", sjis));
        // The group ends at its own brace: nothing of the hex becomes text.
        std::string text = document.main().plainText();
        if (text.rfind("\xEF\xBF\xBC", 0) == 0) text.erase(0, 3);
        EXPECT_EQ(text.substr(0, 6), "after\n");
        if (c.kept) {
            ASSERT_EQ(document.inlines.size(), 1u);
            EXPECT_TRUE(*document.inlines[0].picture.bytes == bytes);
        } else {
            EXPECT_TRUE(document.inlines.empty());
            EXPECT_FALSE(document.warnings.empty());
        }
    }
}

// A picture of megabytes (room for it taken at once, in large pages) under
// a Shift-JIS font, where every run of text is read as double-byte text:
// the same bytes come back, with a damaged one in the middle refused.
TEST(RtfPictHexTest, ALargePictureUnderADoubleByteFontComesBackWhole) {
    std::string bytes = tinyPng();
    std::mt19937 random(5);
    while (bytes.size() < (std::size_t{5} << 20) + 20003) bytes += static_cast<char>(random() % 256);
    const std::string plain = hex(bytes);
    std::string lines;
    // Long lines: little room to spare beyond the digits themselves.
    for (std::size_t i = 0; i < plain.size(); i += 4095) lines += plain.substr(i, 4095) + "\n";
    const std::string header = "{\\f1\\fnil\\fcharset128 Gothic;}";
    // Text after the picture, as other pictures would follow it.
    const std::string after = "\\par " + std::string(std::size_t{1} << 18, 'z') + "\\par";
    const auto document =
        read(wrap("\\f1 {\\pict\\pngblip\\picwgoal600\\pichgoal400\r\n" + lines + "}" + after, header));
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_TRUE(*document.inlines[0].picture.bytes == bytes);
    // Room for it was made once, not grown (and copied) step by step.
    EXPECT_LT(document.inlines[0].picture.bytes->capacity(), bytes.size() + (std::size_t{1} << 20));

    std::string damaged = lines;
    damaged[damaged.size() / 2] = '\x82';  // a lead byte among the digits
    const auto refused =
        read(wrap("\\f1 {\\pict\\pngblip\\picwgoal600\\pichgoal400\r\n" + damaged + "}ok\\par", header));
    EXPECT_TRUE(refused.inlines.empty());
    EXPECT_FALSE(refused.warnings.empty());
}

}  // namespace
}  // namespace kelvaran::formats::rtf
