#include "office/native/word/NativeWrapFormat.h"

#include "office/OfficeError.h"

#include <cmath>

namespace kelvaran::office::native {

namespace {

double distance(const Variant& value) {
    const double points = variantToDouble(value);
    if (!std::isfinite(points) || points < 0 || points > 1584) throw OfficeError("the wrap distance is out of range");
    return points;
}

}  // namespace

NativeWrapFormat::NativeWrapFormat(std::shared_ptr<DocumentState> document, int shape)
    : document_(std::move(document)), shape_(shape) {}

formats::model::Wrap& NativeWrapFormat::wrap() {
    auto& wrap = document_->shape(shape_).wrap;
    document_->remember(shape_);
    return wrap;
}

void NativeWrapFormat::changed() {
    document_->shape(shape_).layoutChanged = true;
    document_->touch();
}

Variant NativeWrapFormat::AllowOverlap() { return Variant(std::int32_t{wrap().allowOverlap ? -1 : 0}); }
void NativeWrapFormat::setAllowOverlap(const Variant& value) {
    wrap().allowOverlap = variantToDouble(value) != 0;
    changed();
}
Variant NativeWrapFormat::DistanceBottom() { return Variant(wrap().distanceBottomPt); }
void NativeWrapFormat::setDistanceBottom(const Variant& value) {
    wrap().distanceBottomPt = distance(value);
    changed();
}
Variant NativeWrapFormat::DistanceLeft() { return Variant(wrap().distanceLeftPt); }
void NativeWrapFormat::setDistanceLeft(const Variant& value) {
    wrap().distanceLeftPt = distance(value);
    changed();
}
Variant NativeWrapFormat::DistanceRight() { return Variant(wrap().distanceRightPt); }
void NativeWrapFormat::setDistanceRight(const Variant& value) {
    wrap().distanceRightPt = distance(value);
    changed();
}
Variant NativeWrapFormat::DistanceTop() { return Variant(wrap().distanceTopPt); }
void NativeWrapFormat::setDistanceTop(const Variant& value) {
    wrap().distanceTopPt = distance(value);
    changed();
}
Variant NativeWrapFormat::Side() { return Variant(static_cast<std::int32_t>(wrap().side)); }
void NativeWrapFormat::setSide(const Variant& value) {
    const std::int32_t side = variantToInt32(value);
    if (side < 0 || side > 3) throw OfficeError("the wrap side is out of range");
    wrap().side = side;
    changed();
}
Variant NativeWrapFormat::Type() { return Variant(static_cast<std::int32_t>(wrap().type)); }
void NativeWrapFormat::setType(const Variant& value) {
    const std::int32_t type = variantToInt32(value);
    // 7 (inline) would turn the shape into an inline shape; that is
    // ConvertToInlineShape's job.
    if (type < 0 || type > 5) throw OfficeError("the wrap type is out of range");
    wrap().type = type;
    document_->shape(shape_).behindText = type == 5;
    changed();
}

}  // namespace kelvaran::office::native
