#include "office/Variant.h"

#include "office/OfficeError.h"
#include "platform/Conversions.h"

namespace kelvaran::office {

bool isEmpty(const Variant& value) { return std::holds_alternative<std::monostate>(value); }

double variantToDouble(const Variant& value) {
    struct Visitor {
        double operator()(std::monostate) const { return 0; }
        double operator()(bool b) const { return b ? -1.0 : 0.0; }
        double operator()(std::int16_t v) const { return v; }
        double operator()(std::int32_t v) const { return v; }
        double operator()(double v) const { return v; }
        double operator()(const std::string& s) const {
            try {
                return platform::textToDouble(s);
            } catch (const platform::Failure&) {
                throw OfficeError("type mismatch: \"" + s + "\" is not a number");
            }
        }
    };
    return std::visit(Visitor{}, value);
}

std::int32_t variantToInt32(const Variant& value) {
    try {
        return platform::toInt32(variantToDouble(value));
    } catch (const OfficeError&) {
        throw;
    } catch (const platform::Failure& failure) {
        throw OfficeError(failure.what());
    }
}

std::string variantToText(const Variant& value) {
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int16_t v) const { return std::to_string(v); }
        std::string operator()(std::int32_t v) const { return std::to_string(v); }
        std::string operator()(double v) const { return platform::numberToText(v); }
        std::string operator()(const std::string& s) const { return s; }
    };
    return std::visit(Visitor{}, value);
}

}  // namespace kelvaran::office
