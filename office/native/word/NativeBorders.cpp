#include "office/native/word/NativeBorders.h"

#include "office/OfficeError.h"
#include "office/native/word/NativeBorder.h"
#include "platform/Conversions.h"

namespace kelvaran::office::native {

namespace model = formats::model;

namespace {

double distance(const Variant& value) {
    const double points = variantToDouble(value);
    if (points < 0 || points > 1584) throw OfficeError("the border distance is out of range");
    return points;
}

Variant wholePoints(double points) { return Variant(static_cast<std::int32_t>(platform::roundHalfEven(points))); }

}  // namespace

NativeBorders::NativeBorders(std::shared_ptr<DocumentState> document, int object)
    : document_(std::move(document)), object_(object) {}

model::Borders& NativeBorders::borders() { return document_->inlineObject(object_).borders; }

void NativeBorders::changed() {
    auto& object = document_->inlineObject(object_);
    object.borders.enable = object.borders.anyVisible();
    object.layoutChanged = true;
    document_->touch();
}

Variant NativeBorders::common(const std::function<std::int32_t(const model::BorderLine&)>& field) {
    const auto& sides = borders().sides;
    const std::int32_t first = field(sides[0]);
    for (const auto& side : sides) {
        if (field(side) != first) return Variant(kUndefined);
    }
    return Variant(first);
}

void NativeBorders::setAll(const std::function<void(model::BorderLine&)>& change) {
    for (auto& side : borders().sides) change(side);
    changed();
}

Variant NativeBorders::DistanceFromBottom() { return wholePoints(borders().distanceBottomPt); }
void NativeBorders::setDistanceFromBottom(const Variant& value) {
    borders().distanceBottomPt = distance(value);
    changed();
}
Variant NativeBorders::DistanceFromLeft() { return wholePoints(borders().distanceLeftPt); }
void NativeBorders::setDistanceFromLeft(const Variant& value) {
    borders().distanceLeftPt = distance(value);
    changed();
}
Variant NativeBorders::DistanceFromRight() { return wholePoints(borders().distanceRightPt); }
void NativeBorders::setDistanceFromRight(const Variant& value) {
    borders().distanceRightPt = distance(value);
    changed();
}
Variant NativeBorders::DistanceFromTop() { return wholePoints(borders().distanceTopPt); }
void NativeBorders::setDistanceFromTop(const Variant& value) {
    borders().distanceTopPt = distance(value);
    changed();
}

Variant NativeBorders::Enable() {
    const auto& b = borders();
    int visible = 0;
    for (const auto& side : b.sides) visible += side.visible ? 1 : 0;
    if (visible == 0) return Variant(std::int32_t{0});
    if (visible == 4) return Variant(std::int32_t{-1});
    return Variant(kUndefined);
}

void NativeBorders::setEnable(const Variant& value) {
    const std::int32_t enable = variantToInt32(value);
    if (enable == kUndefined) return;  // mixed sides: the items say the rest
    setAll([&](model::BorderLine& side) {
        side.visible = enable != 0;
        if (side.visible && side.style == 0) side.style = 1;
    });
}

Variant NativeBorders::OutsideColor() {
    return common([](const model::BorderLine& side) { return side.colour; });
}
void NativeBorders::setOutsideColor(const Variant& value) {
    const std::int32_t colour = variantToInt32(value);
    if (colour == kUndefined) return;
    setAll([&](model::BorderLine& side) { side.colour = colour; });
}

Variant NativeBorders::OutsideColorIndex() {
    return common([](const model::BorderLine& side) { return side.colourIndex; });
}
void NativeBorders::setOutsideColorIndex(const Variant& value) {
    const std::int32_t index = variantToInt32(value);
    if (index == kUndefined) return;
    if (index < 0 || index > 16) throw OfficeError("the colour index is out of range");
    setAll([&](model::BorderLine& side) { side.colourIndex = index; });
}

Variant NativeBorders::OutsideLineStyle() {
    return common([](const model::BorderLine& side) { return side.visible ? side.style : 0; });
}
void NativeBorders::setOutsideLineStyle(const Variant& value) {
    const std::int32_t style = variantToInt32(value);
    if (style == kUndefined) return;
    if (!NativeBorder::validStyle(style)) throw OfficeError("the line style is out of range");
    setAll([&](model::BorderLine& side) {
        side.style = style;
        side.visible = style != 0;
    });
}

Variant NativeBorders::OutsideLineWidth() {
    return common([](const model::BorderLine& side) { return side.widthEighths; });
}
void NativeBorders::setOutsideLineWidth(const Variant& value) {
    const std::int32_t width = variantToInt32(value);
    if (width == kUndefined) return;
    if (!NativeBorder::validWidth(width)) throw OfficeError("the line width is out of range");
    setAll([&](model::BorderLine& side) { side.widthEighths = width; });
}

Variant NativeBorders::Shadow() { return Variant(borders().shadow); }
void NativeBorders::setShadow(const Variant& value) {
    borders().shadow = variantToDouble(value) != 0;
    changed();
}

word::BorderPtr NativeBorders::item(std::int16_t index) {
    borders();  // the object must still exist
    int side = -1;
    switch (index) {
        case word::constants::wdBorderTop: side = model::Borders::Top; break;
        case word::constants::wdBorderLeft: side = model::Borders::Left; break;
        case word::constants::wdBorderBottom: side = model::Borders::Bottom; break;
        case word::constants::wdBorderRight: side = model::Borders::Right; break;
        default: throw OfficeError("an inline shape has no border " + std::to_string(index));
    }
    return std::make_shared<NativeBorder>(document_, object_, side);
}

}  // namespace kelvaran::office::native
