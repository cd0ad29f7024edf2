#include "office/native/word/WordSession.h"

#include "office/OfficeError.h"
#include "office/native/word/DocumentState.h"

namespace kelvaran::office::native {

void WordSession::checkRunning() const {
    if (quit) throw OfficeError("Word has been quit");
}

std::shared_ptr<DocumentState> WordSession::selectionDocument() const {
    auto document = selection.document.lock();
    if (!document || document->closed) throw OfficeError("there is no selection");
    return document;
}

}  // namespace kelvaran::office::native
