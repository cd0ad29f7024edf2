#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace kelvaran::office {

// A property value as the object model returns it.  Layout attributes are read
// from one shape and written to another with the type they were read with.
using Variant = std::variant<std::monostate, bool, std::int16_t, std::int32_t, double, std::string>;

bool isEmpty(const Variant& value);
// Numeric view of a value: bools are 0/-1 as in the object model; texts are
// read as numbers.  Throws OfficeError when the value has no numeric meaning.
double variantToDouble(const Variant& value);
// variantToDouble rounded half to even into 32 bits.
std::int32_t variantToInt32(const Variant& value);
// Text view of a value (numbers in decimal, booleans "True"/"False").
std::string variantToText(const Variant& value);

}  // namespace kelvaran::office
