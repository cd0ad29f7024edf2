#include "platform/Conversions.h"
#include "platform/Failure.h"

#include <gtest/gtest.h>

namespace kelvaran::platform {
namespace {

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(-1.5), -2);
    EXPECT_EQ(roundHalfEven(120.5), 120);
    EXPECT_EQ(roundHalfEven(121.5), 122);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(2.5001), 3);
    // the input sizes of the output names: 1536, 2560 and 3584 bytes
    EXPECT_EQ(roundHalfEven(1536 / 1024.0), 2);
    EXPECT_EQ(roundHalfEven(2560 / 1024.0), 2);
    EXPECT_EQ(roundHalfEven(3584 / 1024.0), 4);
}

TEST(RoundHalfEven, RefusesWhatDoesNotFit) {
    EXPECT_THROW(roundHalfEven(1e300), Failure);
    EXPECT_THROW(toInt32(3e9), Failure);
    EXPECT_EQ(toInt32(-2147483648.0), -2147483647 - 1);
}

TEST(TextToDouble, ReadsConditionTexts) {
    EXPECT_DOUBLE_EQ(textToDouble("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(textToDouble(" 50 "), 50);
    EXPECT_DOUBLE_EQ(textToDouble("+7"), 7);
    EXPECT_DOUBLE_EQ(textToDouble("-3.25"), -3.25);
    EXPECT_EQ(textToInt32("100.5"), 100);
    EXPECT_THROW(textToDouble(""), Failure);
    EXPECT_THROW(textToDouble("  "), Failure);
    EXPECT_THROW(textToDouble("abc"), Failure);
    EXPECT_THROW(textToDouble("12abc"), Failure);
    EXPECT_THROW(textToDouble("nan"), Failure);
}

TEST(NumberToText, IntegralValuesHaveNoFraction) {
    EXPECT_EQ(numberToText(200), "200");
    EXPECT_EQ(numberToText(-3), "-3");
    EXPECT_EQ(numberToText(1.5), "1.5");
}

TEST(StripBlanks, RemovesOnlyNulLineBreaksAndSpaces) {
    EXPECT_EQ(StripBlanks(std::string(" a\0b\r\nc \t", 10)), "abc\t");
    EXPECT_EQ(StripBlanks("  \r\n "), "");
    EXPECT_EQ(StripBlanks("1.5"), "1.5");
}

TEST(AsciiLower, KeepsNonAsciiBytes) {
    EXPECT_EQ(asciiLower("Picture 3"), "picture 3");
    EXPECT_EQ(asciiLower("ＡExcel"), "Ａexcel");
}

}  // namespace
}  // namespace kelvaran::platform
