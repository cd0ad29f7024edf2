#pragma once

#include "platform/Failure.h"

#include <string>

namespace kelvaran::office {

// The one failure type of the office layer: any member of the Word and Excel
// object models may throw it.
class OfficeError : public platform::Failure {
public:
    using platform::Failure::Failure;
};

}  // namespace kelvaran::office
