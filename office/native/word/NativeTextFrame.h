#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"
#include "office/native/word/NativeRange.h"

#include <memory>

namespace kelvaran::office::native {

// The text of a text box.
class NativeTextFrame : public word::TextFrame {
public:
    NativeTextFrame(std::shared_ptr<DocumentState> document, int story)
        : document_(std::move(document)), story_(story) {}
    word::RangePtr TextRange() override {
        document_->checkOpen();
        return std::make_shared<NativeRange>(document_, story_, 0, NativeRange::kToEnd);
    }

private:
    std::shared_ptr<DocumentState> document_;
    int story_;
};

}  // namespace kelvaran::office::native
