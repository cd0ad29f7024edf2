#pragma once

#include "office/Word.h"
#include "office/native/word/WordSession.h"

#include <memory>

namespace kelvaran::office::native {

// Word's selection: an insertion point, a range, or a set of shapes.
class NativeSelection : public word::Selection {
public:
    explicit NativeSelection(std::shared_ptr<WordSession> session) : session_(std::move(session)) {}

    // The selected shapes; for a selection in a text box's text, that box.
    word::ShapeRangePtr ShapeRange() override;
    // To the start of a range; a shape selection becomes the insertion point
    // at the first shape's anchor.
    void Collapse() override;
    void Copy() override;
    void Cut() override;
    // Replaces a selected range by the clipboard's content (a selected inline
    // shape is replaced); with shapes selected the content goes to the first
    // shape's paragraph.  The selection ends after what was pasted.
    void Paste() override;
    Variant Information(std::int32_t type) override;

private:
    std::shared_ptr<WordSession> session_;
};

}  // namespace kelvaran::office::native
