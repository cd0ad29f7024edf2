#include "office/native/word/NativeShape.h"

#include "office/OfficeError.h"
#include "office/native/word/NativeInlineShape.h"
#include "office/native/word/NativeOleFormat.h"
#include "office/native/word/NativeRange.h"
#include "office/native/word/NativeShapeRange.h"
#include "office/native/word/NativeTextFrame.h"
#include "office/native/word/NativeWrapFormat.h"
#include "office/native/word/WordEditing.h"
#include "office/native/word/WordSession.h"

#include <algorithm>
#include <cmath>

namespace kelvaran::office::native {

namespace model = formats::model;

namespace {

double checkedPosition(double points) {
    if (!std::isfinite(points) || std::fabs(points) > 169056) throw OfficeError("the position is out of range");
    return points;
}

std::int32_t checkedRelative(const Variant& value, std::int32_t highest) {
    const std::int32_t relative = variantToInt32(value);
    if (relative < 0 || relative > highest) throw OfficeError("the relative position or size is out of range");
    return relative;
}

}  // namespace

NativeShape::NativeShape(std::shared_ptr<DocumentState> document, int shape)
    : document_(std::move(document)), shape_(shape) {}

model::FloatingShape& NativeShape::shape() {
    auto& self = document_->shape(shape_);
    document_->remember(shape_);
    return self;
}

void NativeShape::changed() {
    auto& self = shape();
    self.layoutChanged = true;
    // A group whose member changed has to be written anew as well.
    for (int up = self.parent, guard = 0; up >= 0 && guard < 64; ++guard) {
        auto& group = document_->model.shapes[static_cast<std::size_t>(up)];
        group.layoutChanged = true;
        up = group.parent;
    }
    document_->touch();
}

std::string NativeShape::Name() { return shape().name; }

std::int32_t NativeShape::Type() {
    const int type = shape().type;
    return type == model::shape_type::kOther ? 1 : type;  // other drawings report as autoshapes
}

double NativeShape::Left() { return shape().leftPt; }
double NativeShape::Top() { return shape().topPt; }
double NativeShape::Width() { return shape().widthPt; }
double NativeShape::Height() { return shape().heightPt; }

void NativeShape::transformMembers(int group, double fromLeft, double fromTop, double scaleX, double scaleY,
                                   int depth) {
    if (depth > 64) return;
    const auto children = document_->model.shapes[static_cast<std::size_t>(group)].children;
    const auto& self = document_->model.shapes[static_cast<std::size_t>(group)];
    const double toLeft = self.leftPt;
    const double toTop = self.topPt;
    for (int child : children) {
        if (!document_->shapeLive(child) || child == group) continue;
        auto& member = document_->model.shapes[static_cast<std::size_t>(child)];
        member.leftPt = toLeft + (member.leftPt - fromLeft) * scaleX;
        member.topPt = toTop + (member.topPt - fromTop) * scaleY;
        member.widthPt *= scaleX;
        member.heightPt *= scaleY;
        member.layoutChanged = true;
        transformMembers(child, fromLeft, fromTop, scaleX, scaleY, depth + 1);
    }
}

void NativeShape::setLeft(double left) {
    auto& self = shape();
    const double before = self.leftPt;
    self.leftPt = checkedPosition(left);
    transformMembers(shape_, before, self.topPt, 1, 1, 0);
    changed();
}

void NativeShape::setTop(double top) {
    auto& self = shape();
    const double before = self.topPt;
    self.topPt = checkedPosition(top);
    transformMembers(shape_, self.leftPt, before, 1, 1, 0);
    changed();
}

void NativeShape::setWidth(double width) {
    auto& self = shape();
    const double before = self.widthPt;
    self.widthPt = checkedSize(width);
    if (before > 0) transformMembers(shape_, self.leftPt, self.topPt, self.widthPt / before, 1, 0);
    changed();
}

void NativeShape::setHeight(double height) {
    auto& self = shape();
    const double before = self.heightPt;
    self.heightPt = checkedSize(height);
    if (before > 0) transformMembers(shape_, self.leftPt, self.topPt, 1, self.heightPt / before, 0);
    changed();
}

void NativeShape::Select(bool replace) {
    shape();
    auto& selection = document_->session.selection;
    const bool sameDocument = selection.document.lock() == document_ && selection.shapes;
    if (replace || !sameDocument) {
        selection = SelectionState{};
        selection.document = document_;
        selection.shapes = true;
    }
    if (std::find(selection.shapeList.begin(), selection.shapeList.end(), shape_) == selection.shapeList.end()) {
        selection.shapeList.push_back(shape_);
    }
}

word::ShapeRangePtr NativeShape::Ungroup() {
    auto& group = shape();
    if (group.type != model::shape_type::kGroup) throw OfficeError("the shape is not a group");
    if (group.parent >= 0) throw OfficeError("a group inside a group cannot be taken apart on its own");
    const std::vector<int> members = group.children;
    const model::Anchor anchor = group.anchor;
    const std::int64_t stack = group.stackPosition;
    const bool header = group.inHeader;
    group.children.clear();
    group.edit = model::EditState::Deleted;
    std::vector<int> live;
    for (int member : members) {
        if (!document_->shapeLive(member) || member == shape_) continue;
        auto& entry = document_->model.shapes[static_cast<std::size_t>(member)];
        entry.parent = -1;
        entry.anchor = anchor;
        entry.inHeader = header;
        entry.stackPosition = stack;
        entry.ungroupedFrom = shape_;
        entry.layoutChanged = true;
        live.push_back(member);
    }
    // A selection of the group is a selection of nothing now.
    auto& selection = document_->session.selection;
    selection.shapeList.erase(std::remove(selection.shapeList.begin(), selection.shapeList.end(), shape_),
                              selection.shapeList.end());
    document_->touch();
    return std::make_shared<NativeShapeRange>(document_, std::move(live));
}

void NativeShape::Delete() {
    shape();
    refuseDeletingObjectThatStays(*document_, shape_);
    const int parent = document_->model.shapes[static_cast<std::size_t>(shape_)].parent;
    document_->model.deleteShape(shape_);
    if (parent >= 0) document_->model.shapes[static_cast<std::size_t>(parent)].layoutChanged = true;
    auto& selection = document_->session.selection;
    selection.shapeList.erase(std::remove(selection.shapeList.begin(), selection.shapeList.end(), shape_),
                              selection.shapeList.end());
    document_->touch();
}

word::OLEFormatPtr NativeShape::OLEFormat() {
    const auto& self = shape();
    if (self.type != model::shape_type::kEmbeddedObject) throw OfficeError("the shape is not an object");
    return std::make_shared<NativeOleFormat>(self.progId);
}

word::TextFramePtr NativeShape::TextFrame() {
    const auto& self = shape();
    if (self.textStory <= 0 || self.textStory >= static_cast<int>(document_->model.stories.size())) {
        throw OfficeError("the shape holds no text");
    }
    return std::make_shared<NativeTextFrame>(document_, self.textStory);
}

word::RangePtr NativeShape::Anchor() {
    shape();
    const StorySpan span = paragraphSpan(*document_, topAnchor(*document_, shape_));
    return std::make_shared<NativeRange>(document_, span.story, span.start, span.end);
}

double NativeShape::Rotation() { return shape().rotation; }

void NativeShape::setRotation(const Variant& degrees) {
    double value = variantToDouble(degrees);
    if (!std::isfinite(value)) throw OfficeError("the rotation is not a number");
    value = std::fmod(value, 360.0);
    if (value < 0) value += 360.0;
    auto& self = shape();
    if (self.rotation == value) return;
    self.rotation = value;
    changed();
}

void NativeShape::ZOrder(std::int32_t command) {
    if (shape().parent >= 0) throw OfficeError("a member of a group keeps its place in the group");
    switch (command) {
        case 0: document_->bringToFront(shape_); return;  // msoBringToFront
        case 1: document_->sendToBack(shape_); return;    // msoSendToBack
        case 2: document_->bringForward(shape_); return;  // msoBringForward
        case word::constants::msoSendBackward: document_->sendBackward(shape_); return;
        default: break;
    }
    // In front of or behind the text is a matter of wrapping here.
    throw OfficeError("ZOrder(" + std::to_string(command) + ") is not available");
}

std::int32_t NativeShape::ZOrderPosition() {
    int top = shape_;
    for (int guard = 0; guard < 64 && shape().parent >= 0; ++guard) {
        const int parent = document_->model.shapes[static_cast<std::size_t>(top)].parent;
        if (parent < 0) break;
        top = parent;
    }
    return document_->zOrderPosition(top);
}

void NativeShape::PickUp() {
    auto& session = document_->session;
    session.painter = shape().formatting;
    session.painterLoaded = true;
}

void NativeShape::Apply() {
    auto& session = document_->session;
    if (!session.painterLoaded) throw OfficeError("no formatting has been picked up");
    auto& self = shape();
    if (self.formatting == session.painter) return;
    self.formatting = session.painter;
    changed();
}

word::InlineShapePtr NativeShape::ConvertToInlineShape() {
    auto& self = shape();
    if (self.type != model::shape_type::kPicture && self.type != model::shape_type::kLinkedPicture &&
        self.type != model::shape_type::kEmbeddedObject) {
        throw OfficeError("only pictures and objects can stand in the text");
    }
    if (self.parent >= 0) throw OfficeError("a member of a group cannot stand in the text");
    model::InlineObject object;
    object.kind = self.type == model::shape_type::kPicture         ? model::InlineKind::Picture
                  : self.type == model::shape_type::kLinkedPicture ? model::InlineKind::LinkedPicture
                                                                   : model::InlineKind::EmbeddedObject;
    object.widthPt = self.widthPt;
    object.heightPt = self.heightPt;
    object.picture = self.picture;
    object.progId = self.progId;
    object.lockAspectRatio = self.lockAspectRatio;
    const model::Anchor anchor = self.anchor;
    auto& doc = document_->model;
    if (anchor.story < 0 || anchor.story >= static_cast<int>(doc.stories.size())) {
        throw OfficeError("the shape's anchor is not in the document");
    }
    const std::int64_t at = doc.positionOf(anchor.story, static_cast<std::size_t>(std::max(0, anchor.element)));
    Delete();
    const int index = doc.insertInline(anchor.story, at, std::move(object));
    document_->touch();
    return std::make_shared<NativeInlineShape>(document_, index);
}

word::WrapFormatPtr NativeShape::WrapFormat() {
    shape();
    return std::make_shared<NativeWrapFormat>(document_, shape_);
}

Variant NativeShape::RelativeHorizontalPosition() {
    return Variant(static_cast<std::int32_t>(shape().relative.horizontalPosition));
}
void NativeShape::setRelativeHorizontalPosition(const Variant& value) {
    shape().relative.horizontalPosition = checkedRelative(value, 7);
    changed();
}
Variant NativeShape::RelativeHorizontalSize() {
    return Variant(static_cast<std::int32_t>(shape().relative.horizontalSize));
}
void NativeShape::setRelativeHorizontalSize(const Variant& value) {
    shape().relative.horizontalSize = checkedRelative(value, 5);
    changed();
}
Variant NativeShape::RelativeVerticalPosition() {
    return Variant(static_cast<std::int32_t>(shape().relative.verticalPosition));
}
void NativeShape::setRelativeVerticalPosition(const Variant& value) {
    shape().relative.verticalPosition = checkedRelative(value, 7);
    changed();
}
Variant NativeShape::RelativeVerticalSize() {
    return Variant(static_cast<std::int32_t>(shape().relative.verticalSize));
}
void NativeShape::setRelativeVerticalSize(const Variant& value) {
    shape().relative.verticalSize = checkedRelative(value, 5);
    changed();
}

}  // namespace kelvaran::office::native
