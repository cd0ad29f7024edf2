#include "office/native/word/DocumentState.h"

#include "office/OfficeError.h"
#include "office/native/word/WordSession.h"

#include <algorithm>
#include <cctype>

namespace kelvaran::office::native {

namespace model = formats::model;

DocumentState::DocumentState(WordSession& s, model::Document m, std::string name, bool ro, bool isFresh)
    : session(s), model(std::move(m)), fullName(std::move(name)), readOnly(ro), fresh(isFresh) {}

void DocumentState::checkOpen() const {
    if (closed) throw OfficeError("the document is closed");
}

bool DocumentState::shapeLive(int index) const {
    return index >= 0 && index < static_cast<int>(model.shapes.size()) &&
           model.shapes[static_cast<std::size_t>(index)].edit != model::EditState::Deleted;
}

model::FloatingShape& DocumentState::shape(int index) {
    checkOpen();
    if (!shapeLive(index)) throw OfficeError("the shape has been deleted");
    return model.shapes[static_cast<std::size_t>(index)];
}

model::InlineObject& DocumentState::inlineObject(int index) {
    checkOpen();
    if (index < 0 || index >= static_cast<int>(model.inlines.size()) ||
        model.inlines[static_cast<std::size_t>(index)].edit == model::EditState::Deleted) {
        throw OfficeError("the inline shape has been deleted");
    }
    return model.inlines[static_cast<std::size_t>(index)];
}

std::string DocumentState::baseNameFor(int type) {
    switch (type) {
        case model::shape_type::kPicture:
        case model::shape_type::kLinkedPicture: return "Picture";
        case model::shape_type::kEmbeddedObject: return "Object";
        case model::shape_type::kTextBox: return "Text Box";
        case model::shape_type::kGroup: return "Group";
        case model::shape_type::kRectangle: return "Rectangle";
        case model::shape_type::kOval: return "Oval";
        default: return "AutoShape";
    }
}

std::string DocumentState::freshName(const std::string& base) const {
    long highest = 0;
    const std::string prefix = base + " ";
    for (const auto& shape : model.shapes) {
        if (shape.name.size() <= prefix.size() || shape.name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = shape.name.substr(prefix.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) {
                return std::isdigit(c) != 0;
            })) {
            continue;
        }
        highest = std::max(highest, std::stol(digits));
    }
    return prefix + std::to_string(highest + 1);
}

namespace {

// "Picture 12" for a picture: the kind's name, a blank and a number.
bool namedByKind(const std::string& name, const std::string& base) {
    const std::string prefix = base + " ";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

void DocumentState::nameUnnamedShapes() {
    // Groups are rebuilt by the names of their members, so every live shape
    // needs a name of its own: unnamed ones and later repeats of a name get
    // one the way Word names new shapes.  A Word 97-2003 file may carry the
    // names another program or another language gave its shapes ("Shape1",
    // "Imagem 269"); the office names those by their kind as well, the way it
    // names the shapes of every file it opens, so that a picture is known as
    // one whoever wrote the file.
    const bool kindNamesOnly = model.format == "doc";
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < model.shapes.size(); ++i) {
        auto& shape = model.shapes[i];
        if (shape.edit == model::EditState::Deleted) continue;
        const bool foreign = kindNamesOnly && !namedByKind(shape.name, baseNameFor(shape.type));
        if (shape.name.empty() || foreign || std::find(seen.begin(), seen.end(), shape.name) != seen.end()) {
            shape.name = freshName(baseNameFor(shape.type));
        }
        seen.push_back(shape.name);
    }
}

namespace {

bool sameLayout(const model::FloatingShape& a, const model::FloatingShape& b) {
    return a.leftPt == b.leftPt && a.topPt == b.topPt && a.widthPt == b.widthPt && a.heightPt == b.heightPt &&
           a.rotation == b.rotation && a.flipHorizontal == b.flipHorizontal && a.flipVertical == b.flipVertical &&
           a.stackPosition == b.stackPosition && a.behindText == b.behindText && a.wrap.type == b.wrap.type &&
           a.wrap.side == b.wrap.side && a.wrap.distanceTopPt == b.wrap.distanceTopPt &&
           a.wrap.distanceBottomPt == b.wrap.distanceBottomPt && a.wrap.distanceLeftPt == b.wrap.distanceLeftPt &&
           a.wrap.distanceRightPt == b.wrap.distanceRightPt && a.wrap.allowOverlap == b.wrap.allowOverlap &&
           a.relative.horizontalPosition == b.relative.horizontalPosition &&
           a.relative.verticalPosition == b.relative.verticalPosition &&
           a.relative.horizontalSize == b.relative.horizontalSize &&
           a.relative.verticalSize == b.relative.verticalSize && a.formatting == b.formatting &&
           a.lockAspectRatio == b.lockAspectRatio && a.children == b.children && a.parent == b.parent &&
           a.anchor.story == b.anchor.story && a.anchor.element == b.anchor.element &&
           a.ungroupedFrom == b.ungroupedFrom;
}

// Live top-level shapes from back to front; ties keep collection order.
std::vector<int> stackingOrder(const model::Document& document) {
    std::vector<int> order = document.topLevelShapes();
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return document.shapes[static_cast<std::size_t>(a)].stackPosition <
               document.shapes[static_cast<std::size_t>(b)].stackPosition;
    });
    return order;
}

}  // namespace

void DocumentState::remember(int index) {
    if (!shapeLive(index) || pristine_.count(index) != 0) return;
    const auto& shape = model.shapes[static_cast<std::size_t>(index)];
    if (shape.edit != model::EditState::Unchanged || shape.layoutChanged) return;
    pristine_.emplace(index, shape);
}

void DocumentState::settleLayout() {
    for (const auto& [index, before] : pristine_) {
        if (!shapeLive(index)) continue;
        auto& shape = model.shapes[static_cast<std::size_t>(index)];
        if (shape.edit == model::EditState::Unchanged && shape.layoutChanged && sameLayout(shape, before)) {
            shape.layoutChanged = false;
        }
    }
}

int DocumentState::zOrderPosition(int index) const {
    const auto order = stackingOrder(model);
    const auto it = std::find(order.begin(), order.end(), index);
    if (it == order.end()) throw OfficeError("the shape has no place in the stacking order");
    return static_cast<int>(it - order.begin()) + 1;
}

void DocumentState::sendBackward(int index) {
    const auto order = stackingOrder(model);
    const auto it = std::find(order.begin(), order.end(), index);
    if (it == order.end()) throw OfficeError("the shape has no place in the stacking order");
    if (it == order.begin()) return;
    auto& self = model.shapes[static_cast<std::size_t>(index)];
    auto& below = model.shapes[static_cast<std::size_t>(*(it - 1))];
    if (self.stackPosition != below.stackPosition) {
        std::swap(self.stackPosition, below.stackPosition);
        below.layoutChanged = true;
    } else {
        // Equal values: give the whole order distinct values, then swap.
        std::int64_t next = 0;
        for (int shape : order) {
            auto& entry = model.shapes[static_cast<std::size_t>(shape)];
            if (entry.stackPosition != next) {
                entry.stackPosition = next;
                entry.layoutChanged = true;
            }
            ++next;
        }
        std::swap(self.stackPosition, below.stackPosition);
        below.layoutChanged = true;
    }
    self.layoutChanged = true;
    touch();
}

void DocumentState::bringForward(int index) {
    const auto order = stackingOrder(model);
    const auto it = std::find(order.begin(), order.end(), index);
    if (it == order.end()) throw OfficeError("the shape has no place in the stacking order");
    if (it + 1 == order.end()) return;
    sendBackward(*(it + 1));
}

void DocumentState::bringToFront(int index) {
    for (std::size_t guard = 0; guard < model.shapes.size() && zOrderPosition(index) <
                                    static_cast<int>(model.topLevelShapes().size());
         ++guard) {
        bringForward(index);
    }
}

void DocumentState::sendToBack(int index) {
    for (std::size_t guard = 0; guard < model.shapes.size() && zOrderPosition(index) > 1; ++guard) sendBackward(index);
}

}  // namespace kelvaran::office::native
