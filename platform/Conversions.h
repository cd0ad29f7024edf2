#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvaran::platform {

// Nearest integer, an exact half to the even neighbour (banker's rounding).
// Throws Failure when the value does not fit into 64 bits or is not finite.
std::int64_t roundHalfEven(double value);

// Rounds half to even and checks the 32-bit range; throws Failure outside it.
std::int32_t toInt32(double value);

// Reads a text as a number the way the conditions are read: blanks around it are
// allowed, the decimal separator is ".", nothing else may follow.  Throws Failure
// when the text is not a number.
double textToDouble(std::string_view text);

// textToDouble, then rounded half to even into 32 bits.
std::int32_t textToInt32(std::string_view text);

// Decimal text of a number without separators; integral values carry no
// fraction ("7", "1.5", "-3").
std::string numberToText(double value);

// Removes every NUL, LF, CR and space character; everything else keeps its order.
std::string StripBlanks(std::string_view text);

// ASCII lower-casing; bytes outside A-Z are kept as they are.
std::string asciiLower(std::string_view text);

}  // namespace kelvaran::platform
