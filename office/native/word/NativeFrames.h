#pragma once

#include "office/Word.h"

namespace kelvaran::office::native {

// The layout frames of a range, counted when the range was asked.
class NativeFrames : public word::Frames {
public:
    explicit NativeFrames(std::int32_t count) : count_(count) {}
    std::int32_t count() override { return count_; }

private:
    std::int32_t count_;
};

}  // namespace kelvaran::office::native
