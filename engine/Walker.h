#pragma once

#include "office/Word.h"

#include <string>

namespace kelvaran::engine {

// The entry of the conversion engine as the batch run calls it.
class Walker {
public:
    virtual ~Walker() = default;
    // The batch run passes no group and isTop = true.  Sets docConverted when
    // an object was replaced; clears it and returns early on a stop request.
    virtual std::string WalkDocument(const office::word::ShapePtr& group, bool isTop) = 0;
};

}  // namespace kelvaran::engine
