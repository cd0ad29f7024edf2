#pragma once

#include "office/Word.h"

#include <string>

namespace kelvaran::office::native {

// The object data of an embedded or linked object: its class name.
class NativeOleFormat : public word::OLEFormat {
public:
    explicit NativeOleFormat(std::string progId) : progId_(std::move(progId)) {}
    std::string progId() override { return progId_; }

private:
    std::string progId_;
};

}  // namespace kelvaran::office::native
