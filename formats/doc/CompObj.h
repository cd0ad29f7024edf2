#pragma once

#include <string>
#include <string_view>

namespace kelvaran::formats::doc {

// The names an OLE object's \001CompObj stream gives: the user type
// ("Microsoft Excel Worksheet") and the programmatic id ("Excel.Sheet.8").
struct CompObj {
    std::string userType;
    std::string progId;

    // Reads what fits; missing or broken parts stay empty.
    static CompObj parse(std::string_view stream);
};

}  // namespace kelvaran::formats::doc
