#include "office/OfficeError.h"
#include "office/Variant.h"

#include <gtest/gtest.h>

namespace kelvaran::office {
namespace {

TEST(Variant, NumericAndTextViews) {
    EXPECT_TRUE(isEmpty(Variant{}));
    EXPECT_DOUBLE_EQ(variantToDouble(Variant{std::int16_t{3}}), 3);
    EXPECT_DOUBLE_EQ(variantToDouble(Variant{true}), -1);
    EXPECT_EQ(variantToInt32(Variant{2.5}), 2);
    EXPECT_EQ(variantToInt32(Variant{std::string("12")}), 12);
    EXPECT_THROW(variantToDouble(Variant{std::string("twelve")}), OfficeError);
    EXPECT_THROW(variantToInt32(Variant{1e12}), OfficeError);
    EXPECT_EQ(variantToText(Variant{false}), "False");
    EXPECT_EQ(variantToText(Variant{9.0}), "9");
    EXPECT_EQ(variantToText(Variant{std::string("x")}), "x");
}

TEST(Variant, KeepsTheTypeItWasGiven) {
    Variant rotationOff = std::int16_t{0};
    Variant rotation = 30.0;
    EXPECT_TRUE(std::holds_alternative<std::int16_t>(rotationOff));
    EXPECT_TRUE(std::holds_alternative<double>(rotation));
}

}  // namespace
}  // namespace kelvaran::office
