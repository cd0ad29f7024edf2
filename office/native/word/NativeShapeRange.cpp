#include "office/native/word/NativeShapeRange.h"

#include "office/OfficeError.h"
#include "office/native/word/NativeShape.h"

#include <algorithm>
#include <limits>

namespace kelvaran::office::native {

namespace model = formats::model;

NativeShapeRange::NativeShapeRange(std::shared_ptr<DocumentState> document, std::vector<int> shapes)
    : document_(std::move(document)), shapes_(std::move(shapes)) {}

std::vector<int> NativeShapeRange::live() const {
    document_->checkOpen();
    std::vector<int> found;
    for (int shape : shapes_) {
        if (document_->shapeLive(shape)) found.push_back(shape);
    }
    return found;
}

std::int32_t NativeShapeRange::count() { return static_cast<std::int32_t>(live().size()); }

word::ShapePtr NativeShapeRange::item(std::int32_t index) {
    const auto found = live();
    if (index < 1 || index > static_cast<std::int32_t>(found.size())) {
        throw OfficeError("the requested member of the collection does not exist");
    }
    return std::make_shared<NativeShape>(document_, found[static_cast<std::size_t>(index - 1)]);
}

word::ShapePtr NativeShapeRange::Group() {
    return std::make_shared<NativeShape>(document_, groupShapes(*document_, live()));
}

int groupShapes(DocumentState& document, const std::vector<int>& members) {
    document.checkOpen();
    if (members.size() < 2) throw OfficeError("at least two shapes are needed to form a group");
    auto& doc = document.model;
    double left = std::numeric_limits<double>::max();
    double top = std::numeric_limits<double>::max();
    double right = std::numeric_limits<double>::lowest();
    double bottom = std::numeric_limits<double>::lowest();
    std::int64_t stack = std::numeric_limits<std::int64_t>::lowest();
    for (int member : members) {
        const auto& shape = document.shape(member);
        if (shape.parent >= 0) throw OfficeError("a member of a group cannot be grouped again");
        if (shape.inHeader != document.shape(members.front()).inHeader) {
            throw OfficeError("shapes of the header and of the text cannot be grouped together");
        }
        left = std::min(left, shape.leftPt);
        top = std::min(top, shape.topPt);
        right = std::max(right, shape.leftPt + shape.widthPt);
        bottom = std::max(bottom, shape.topPt + shape.heightPt);
        stack = std::max(stack, shape.stackPosition);
    }
    model::FloatingShape group;
    group.type = model::shape_type::kGroup;
    group.name = document.freshName("Group");
    group.leftPt = left;
    group.topPt = top;
    group.widthPt = right - left;
    group.heightPt = bottom - top;
    // The group stands where its first member was anchored, and in the stack
    // where its front-most member was.
    group.anchor = doc.shapes[static_cast<std::size_t>(members.front())].anchor;
    group.inHeader = doc.shapes[static_cast<std::size_t>(members.front())].inHeader;
    group.relative = doc.shapes[static_cast<std::size_t>(members.front())].relative;
    group.wrap = doc.shapes[static_cast<std::size_t>(members.front())].wrap;
    group.children = members;
    const int index = doc.addShape(std::move(group));
    doc.shapes[static_cast<std::size_t>(index)].stackPosition = stack;
    for (int member : members) {
        auto& shape = doc.shapes[static_cast<std::size_t>(member)];
        shape.parent = index;
        shape.layoutChanged = true;
    }
    document.touch();
    return index;
}

}  // namespace kelvaran::office::native
