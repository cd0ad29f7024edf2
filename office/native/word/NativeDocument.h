#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>

namespace kelvaran::office::native {

class NativeDocument : public word::Document {
public:
    explicit NativeDocument(std::shared_ptr<DocumentState> document) : document_(std::move(document)) {}

    const std::shared_ptr<DocumentState>& state() const { return document_; }

    word::InlineShapesPtr InlineShapes() override;
    word::ShapesPtr Shapes() override;
    word::RangePtr Content() override;
    word::WindowPtr Windows(std::int16_t index) override;
    word::RangePtr Range(std::int16_t start) override;
    // Writes through a temporary file and a rename.  The file a document was
    // opened read-only from is never written.  A new document takes the
    // format of the first extension it is saved under.
    void SaveAs(const std::string& path) override;
    void setDropUnusedData(bool drop) override;
    bool HoldsUnusedData() override;
    bool Saved() override;
    void setSaved(bool saved) override;
    std::string FullName() override;
    std::optional<double> SizeIfSaved() override;
    // Header and footer stories the document's writer can patch.
    std::vector<word::HeaderFooterRange> HeaderFooterRanges() override;
    void Close() override;

private:
    std::string fullName() const;

    std::shared_ptr<DocumentState> document_;
};

}  // namespace kelvaran::office::native
