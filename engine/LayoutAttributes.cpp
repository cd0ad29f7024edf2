#include "engine/LayoutAttributes.h"

#include "engine/Checked.h"

namespace kelvaran::engine {

using office::Variant;
namespace word = office::word;

namespace {

// One assignment: read the value from the source, write it to the target.
template <class Source, class Target, class Getter, class Setter>
void copyOne(Source&& source, Target&& target, Getter getter, Setter setter) {
    attempt([&] {
        Variant value = (obj(source()).*getter)();
        (obj(target()).*setter)(value);
    });
}

}  // namespace

void CopyWrapFormat(const word::ShapePtr& oldShape, const word::ShapePtr& newShape) {
    word::WrapFormatPtr target;
    if (!attempt([&] { target = obj(newShape).WrapFormat(); }) || !target) return;
    auto source = [&] { return obj(oldShape).WrapFormat(); };
    auto to = [&] { return target; };
    copyOne(source, to, &word::WrapFormat::AllowOverlap, &word::WrapFormat::setAllowOverlap);
    copyOne(source, to, &word::WrapFormat::DistanceBottom, &word::WrapFormat::setDistanceBottom);
    copyOne(source, to, &word::WrapFormat::DistanceLeft, &word::WrapFormat::setDistanceLeft);
    copyOne(source, to, &word::WrapFormat::DistanceRight, &word::WrapFormat::setDistanceRight);
    copyOne(source, to, &word::WrapFormat::DistanceTop, &word::WrapFormat::setDistanceTop);
    copyOne(source, to, &word::WrapFormat::Side, &word::WrapFormat::setSide);
    copyOne(source, to, &word::WrapFormat::Type, &word::WrapFormat::setType);
}

void CopyRelativeLayout(const word::ShapePtr& oldShape, const word::ShapePtr& newShape) {
    auto from = [&] { return oldShape; };
    auto to = [&] { return newShape; };
    copyOne(from, to, &word::Shape::RelativeHorizontalPosition, &word::Shape::setRelativeHorizontalPosition);
    copyOne(from, to, &word::Shape::RelativeHorizontalSize, &word::Shape::setRelativeHorizontalSize);
    copyOne(from, to, &word::Shape::RelativeVerticalPosition, &word::Shape::setRelativeVerticalPosition);
    copyOne(from, to, &word::Shape::RelativeVerticalSize, &word::Shape::setRelativeVerticalSize);
}

void CopyBorders(const word::InlineShapePtr& oldShape, const word::InlineShapePtr& newShape) {
    word::BordersPtr target;
    if (!attempt([&] { target = obj(newShape).Borders(); }) || !target) return;
    auto source = [&] { return obj(oldShape).Borders(); };
    auto to = [&] { return target; };
    copyOne(source, to, &word::Borders::DistanceFromBottom, &word::Borders::setDistanceFromBottom);
    copyOne(source, to, &word::Borders::DistanceFromLeft, &word::Borders::setDistanceFromLeft);
    copyOne(source, to, &word::Borders::DistanceFromRight, &word::Borders::setDistanceFromRight);
    copyOne(source, to, &word::Borders::DistanceFromTop, &word::Borders::setDistanceFromTop);
    copyOne(source, to, &word::Borders::Enable, &word::Borders::setEnable);
    copyOne(source, to, &word::Borders::OutsideColor, &word::Borders::setOutsideColor);
    copyOne(source, to, &word::Borders::OutsideColorIndex, &word::Borders::setOutsideColorIndex);
    copyOne(source, to, &word::Borders::OutsideLineStyle, &word::Borders::setOutsideLineStyle);
    copyOne(source, to, &word::Borders::OutsideLineWidth, &word::Borders::setOutsideLineWidth);
    copyOne(source, to, &word::Borders::Shadow, &word::Borders::setShadow);

    for (std::int16_t n : kBorderOrder) {
        auto from = [&] { return obj(source()).item(n); };
        auto into = [&] { return target->item(n); };
        copyOne(from, into, &word::Border::Color, &word::Border::setColor);
        copyOne(from, into, &word::Border::ColorIndex, &word::Border::setColorIndex);
        copyOne(from, into, &word::Border::LineStyle, &word::Border::setLineStyle);
        copyOne(from, into, &word::Border::LineWidth, &word::Border::setLineWidth);
        copyOne(from, into, &word::Border::Visible, &word::Border::setVisible);
    }
}

}  // namespace kelvaran::engine
