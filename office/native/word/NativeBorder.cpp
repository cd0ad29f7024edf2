#include "office/native/word/NativeBorder.h"

#include "office/OfficeError.h"

namespace kelvaran::office::native {

namespace model = formats::model;

NativeBorder::NativeBorder(std::shared_ptr<DocumentState> document, int object, int side)
    : document_(std::move(document)), object_(object), side_(side) {}

model::BorderLine& NativeBorder::line() {
    return document_->inlineObject(object_).borders.sides[static_cast<std::size_t>(side_)];
}

void NativeBorder::changed() {
    auto& object = document_->inlineObject(object_);
    object.borders.enable = object.borders.anyVisible();
    object.layoutChanged = true;
    document_->touch();
}

bool NativeBorder::validWidth(std::int32_t eighths) {
    switch (eighths) {
        case 2: case 4: case 6: case 8: case 12: case 18: case 24: case 36: case 48: return true;
        default: return false;
    }
}

bool NativeBorder::validStyle(std::int32_t style) { return style >= 0 && style <= 27; }

Variant NativeBorder::Color() { return Variant(line().colour); }

void NativeBorder::setColor(const Variant& value) {
    line().colour = variantToInt32(value);
    changed();
}

Variant NativeBorder::ColorIndex() { return Variant(line().colourIndex); }

void NativeBorder::setColorIndex(const Variant& value) {
    const std::int32_t index = variantToInt32(value);
    if (index < 0 || index > 16) throw OfficeError("the colour index is out of range");
    line().colourIndex = index;
    changed();
}

Variant NativeBorder::LineStyle() {
    const auto& side = line();
    return Variant(side.visible ? side.style : std::int32_t{0});
}

void NativeBorder::setLineStyle(const Variant& value) {
    const std::int32_t style = variantToInt32(value);
    if (!validStyle(style)) throw OfficeError("the line style is out of range");
    auto& side = line();
    side.style = style;
    side.visible = style != 0;
    changed();
}

Variant NativeBorder::LineWidth() { return Variant(line().widthEighths); }

void NativeBorder::setLineWidth(const Variant& value) {
    const std::int32_t width = variantToInt32(value);
    if (!validWidth(width)) throw OfficeError("the line width is out of range");
    line().widthEighths = width;
    changed();
}

Variant NativeBorder::Visible() { return Variant(line().visible); }

void NativeBorder::setVisible(const Variant& value) {
    auto& side = line();
    side.visible = variantToDouble(value) != 0;
    if (side.visible && side.style == 0) side.style = 1;
    changed();
}

}  // namespace kelvaran::office::native
