#include "office/native/word/NativeInlineShape.h"

#include "office/OfficeError.h"
#include "office/native/word/NativeBorders.h"
#include "office/native/word/NativeOleFormat.h"
#include "office/native/word/NativeRange.h"
#include "office/native/word/NativeShape.h"
#include "office/native/word/WordEditing.h"
#include "office/native/word/WordSession.h"

#include <cmath>

namespace kelvaran::office::native {

namespace model = formats::model;

double checkedSize(double points) {
    // Word's limits for a shape: up to 22 inches.
    if (!std::isfinite(points) || points <= 0 || points > 1584) throw OfficeError("the size is out of range");
    return points;
}

NativeInlineShape::NativeInlineShape(std::shared_ptr<DocumentState> document, int object)
    : document_(std::move(document)), object_(object) {}

std::int32_t NativeInlineShape::Type() {
    switch (document_->inlineObject(object_).kind) {
        case model::InlineKind::EmbeddedObject: return word::constants::wdInlineShapeEmbeddedOLEObject;
        case model::InlineKind::LinkedObject: return word::constants::wdInlineShapeLinkedOLEObject;
        case model::InlineKind::LinkedPicture: return word::constants::wdInlineShapeLinkedPicture;
        case model::InlineKind::Picture: break;
    }
    return word::constants::wdInlineShapePicture;
}

word::OLEFormatPtr NativeInlineShape::OLEFormat() {
    const auto& object = document_->inlineObject(object_);
    if (object.kind == model::InlineKind::Picture || object.kind == model::InlineKind::LinkedPicture) {
        throw OfficeError("a picture has no object data");
    }
    return std::make_shared<NativeOleFormat>(object.progId);
}

word::RangePtr NativeInlineShape::Range() {
    document_->inlineObject(object_);
    return std::make_shared<NativeRange>(document_, 0, 0, 0, object_);
}

double NativeInlineShape::Width() { return document_->inlineObject(object_).widthPt; }

void NativeInlineShape::setWidth(double width) {
    auto& object = document_->inlineObject(object_);
    object.widthPt = checkedSize(width);
    object.layoutChanged = true;
    document_->touch();
}

double NativeInlineShape::Height() { return document_->inlineObject(object_).heightPt; }

void NativeInlineShape::setHeight(double height) {
    auto& object = document_->inlineObject(object_);
    object.heightPt = checkedSize(height);
    object.layoutChanged = true;
    document_->touch();
}

Variant NativeInlineShape::LockAspectRatio() {
    return Variant(std::int32_t{document_->inlineObject(object_).lockAspectRatio ? -1 : 0});
}

void NativeInlineShape::setLockAspectRatio(const Variant& value) {
    auto& object = document_->inlineObject(object_);
    const bool lock = variantToDouble(value) != 0;
    if (lock != object.lockAspectRatio) {
        object.lockAspectRatio = lock;
        object.layoutChanged = true;
        document_->touch();
    }
}

word::BordersPtr NativeInlineShape::Borders() {
    document_->inlineObject(object_);
    return std::make_shared<NativeBorders>(document_, object_);
}

word::ShapePtr NativeInlineShape::ConvertToShape() {
    const model::InlineObject object = document_->inlineObject(object_);
    auto& doc = document_->model;
    const auto [storyIndex, element] = doc.locateInline(object_);
    if (storyIndex < 0) throw OfficeError("the inline shape is not in the text");
    const auto& story = doc.stories[static_cast<std::size_t>(storyIndex)];
    if (storyIndex != 0 && story.owner >= 0) throw OfficeError("a shape in a text box cannot float");
    const std::int64_t at = doc.positionOf(storyIndex, static_cast<std::size_t>(element));

    model::FloatingShape shape;
    shape.type = object.kind == model::InlineKind::Picture         ? model::shape_type::kPicture
                 : object.kind == model::InlineKind::LinkedPicture ? model::shape_type::kLinkedPicture
                                                                   : model::shape_type::kEmbeddedObject;
    shape.name = document_->freshName(DocumentState::baseNameFor(shape.type));
    shape.widthPt = object.widthPt;
    shape.heightPt = object.heightPt;
    shape.picture = object.picture;
    shape.progId = object.progId;
    shape.lockAspectRatio = object.lockAspectRatio;
    // Word lets the converted shape float in front of the text, with the
    // position relative to the column and the paragraph.
    shape.wrap.type = 3;
    shape.behindText = false;

    doc.eraseRange(storyIndex, at, at + 1);
    shape.anchor = anchorAt(*document_, storyIndex, at);
    const int index = doc.addShape(std::move(shape));
    document_->touch();
    return std::make_shared<NativeShape>(document_, index);
}

void NativeInlineShape::Select() {
    Range()->Select();
}

void NativeInlineShape::Delete() {
    Range()->Delete();
}

}  // namespace kelvaran::office::native
