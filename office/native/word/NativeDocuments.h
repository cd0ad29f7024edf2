#pragma once

#include "formats/model/Document.h"
#include "office/Word.h"
#include "office/native/word/WordSession.h"

#include <memory>

namespace kelvaran::office::native {

class NativeDocuments : public word::Documents {
public:
    explicit NativeDocuments(std::shared_ptr<WordSession> session) : session_(std::move(session)) {}

    // Reads the file; the document never writes it back.  ReadOnly false is
    // accepted but changes nothing: saving over the input is refused either way.
    word::DocumentPtr Open(const std::string& FileName, bool ReadOnly) override;
    // A new empty document; its format follows the first SaveAs.
    word::DocumentPtr add() override;
    std::int32_t count() override;

    // Opens a document already in memory (for callers that read it themselves).
    word::DocumentPtr adopt(formats::model::Document document, const std::string& fullName);

private:
    std::shared_ptr<WordSession> session_;
};

}  // namespace kelvaran::office::native
