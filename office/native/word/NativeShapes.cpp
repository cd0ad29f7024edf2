#include "office/native/word/NativeShapes.h"

#include "office/OfficeError.h"
#include "office/native/word/NativeShape.h"

#include <cmath>

namespace kelvaran::office::native {

namespace model = formats::model;

NativeShapes::NativeShapes(std::shared_ptr<DocumentState> document) : document_(std::move(document)) {}

std::int32_t NativeShapes::count() {
    document_->checkOpen();
    return static_cast<std::int32_t>(document_->model.topLevelShapes().size());
}

word::ShapePtr NativeShapes::item(std::int32_t index) {
    document_->checkOpen();
    const auto shapes = document_->model.topLevelShapes();
    if (index < 1 || index > static_cast<std::int32_t>(shapes.size())) {
        throw OfficeError("the requested member of the collection does not exist");
    }
    return std::make_shared<NativeShape>(document_, shapes[static_cast<std::size_t>(index - 1)]);
}

word::ShapePtr NativeShapes::AddShape(std::int32_t type, double left, double top, double width, double height) {
    document_->checkOpen();
    if (type != word::constants::msoShapeRectangle && type != word::constants::msoShapeOval) {
        throw OfficeError("only rectangles and ovals can be added");
    }
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(width) || !std::isfinite(height) ||
        width < 0 || height < 0) {
        throw OfficeError("the shape's position or size is not valid");
    }
    model::FloatingShape shape;
    shape.type = type == word::constants::msoShapeRectangle ? model::shape_type::kRectangle : model::shape_type::kOval;
    shape.name = document_->freshName(DocumentState::baseNameFor(shape.type));
    shape.leftPt = left;
    shape.topPt = top;
    shape.widthPt = width;
    shape.heightPt = height;
    shape.anchor = model::Anchor{0, 0};
    const int index = document_->model.addShape(std::move(shape));
    document_->touch();
    return std::make_shared<NativeShape>(document_, index);
}

}  // namespace kelvaran::office::native
