#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>

namespace kelvaran::office::native {

// A picture or object in the text, bound to the object itself: it stays the
// same object however the text around it changes.
class NativeInlineShape : public word::InlineShape {
public:
    NativeInlineShape(std::shared_ptr<DocumentState> document, int object);

    std::int32_t Type() override;
    word::OLEFormatPtr OLEFormat() override;
    word::RangePtr Range() override;
    double Width() override;
    void setWidth(double width) override;
    double Height() override;
    void setHeight(double height) override;
    Variant LockAspectRatio() override;
    void setLockAspectRatio(const Variant& value) override;
    word::BordersPtr Borders() override;
    // A floating picture (or object) of the same content and size, anchored
    // to the paragraph the inline shape stood in; the inline shape is gone.
    word::ShapePtr ConvertToShape() override;
    void Select() override;
    void Delete() override;

private:
    std::shared_ptr<DocumentState> document_;
    int object_;
};

// A displayed size Word accepts, in points.
double checkedSize(double points);

}  // namespace kelvaran::office::native
