#pragma once

#include <stdexcept>
#include <string>

namespace kelvaran::formats::model {

// A document that a reader refuses or a writer cannot express.  The message is
// one line for the user saying what is wrong.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace kelvaran::formats::model
