#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>

namespace kelvaran::office::native {

// The one window of a document.  There is nothing on screen: activating it
// only checks that the document is still open.
class NativeWindow : public word::Window {
public:
    explicit NativeWindow(std::shared_ptr<DocumentState> document) : document_(std::move(document)) {}
    void Activate() override { document_->checkOpen(); }

private:
    std::shared_ptr<DocumentState> document_;
};

}  // namespace kelvaran::office::native
