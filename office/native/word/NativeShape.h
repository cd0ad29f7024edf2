#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>

namespace kelvaran::office::native {

// A floating shape: picture, object, text box, group or drawing.
class NativeShape : public word::Shape {
public:
    NativeShape(std::shared_ptr<DocumentState> document, int shape);

    int index() const { return shape_; }

    std::string Name() override;
    std::int32_t Type() override;
    double Left() override;
    void setLeft(double left) override;
    double Top() override;
    void setTop(double top) override;
    double Width() override;
    void setWidth(double width) override;
    double Height() override;
    void setHeight(double height) override;
    void Select(bool Replace) override;
    using word::Shape::Select;
    word::ShapeRangePtr Ungroup() override;
    void Delete() override;
    word::OLEFormatPtr OLEFormat() override;
    word::TextFramePtr TextFrame() override;
    word::RangePtr Anchor() override;
    double Rotation() override;
    void setRotation(const Variant& degrees) override;
    void ZOrder(std::int32_t command) override;
    std::int32_t ZOrderPosition() override;
    void PickUp() override;
    void Apply() override;
    word::InlineShapePtr ConvertToInlineShape() override;
    word::WrapFormatPtr WrapFormat() override;
    Variant RelativeHorizontalPosition() override;
    void setRelativeHorizontalPosition(const Variant& value) override;
    Variant RelativeHorizontalSize() override;
    void setRelativeHorizontalSize(const Variant& value) override;
    Variant RelativeVerticalPosition() override;
    void setRelativeVerticalPosition(const Variant& value) override;
    Variant RelativeVerticalSize() override;
    void setRelativeVerticalSize(const Variant& value) override;

private:
    formats::model::FloatingShape& shape();
    void changed();
    // Moves or scales the members of a group with it.
    void transformMembers(int group, double fromLeft, double fromTop, double scaleX, double scaleY, int depth);

    std::shared_ptr<DocumentState> document_;
    int shape_;
};

}  // namespace kelvaran::office::native
