#include "office/native/word/NativeInlineShapes.h"

#include "office/OfficeError.h"
#include "office/native/word/NativeInlineShape.h"

namespace kelvaran::office::native {

namespace model = formats::model;

NativeInlineShapes::NativeInlineShapes(std::shared_ptr<DocumentState> document, int story, std::int64_t start,
                                       std::int64_t end)
    : document_(std::move(document)), story_(story), start_(start), end_(end) {}

std::vector<int> NativeInlineShapes::objects() const {
    document_->checkOpen();
    const auto& doc = document_->model;
    std::vector<int> found;
    if (story_ < 0 || story_ >= static_cast<int>(doc.stories.size())) return found;
    std::int64_t at = 0;
    for (const auto& element : doc.stories[static_cast<std::size_t>(story_)].elements) {
        if (end_ >= 0 && at >= end_) break;
        if (at >= start_ && element.kind == model::ElementKind::Inline && element.object >= 0 &&
            element.object < static_cast<int>(doc.inlines.size()) &&
            doc.inlines[static_cast<std::size_t>(element.object)].edit != model::EditState::Deleted) {
            found.push_back(element.object);
        }
        at += element.chars;
    }
    return found;
}

bool NativeInlineShapes::wholeStory() const { return start_ <= 0 && end_ < 0; }

std::int32_t NativeInlineShapes::count() {
    if (wholeStory()) {
        document_->checkOpen();
        return static_cast<std::int32_t>(document_->model.inlineCount(story_));
    }
    return static_cast<std::int32_t>(objects().size());
}

word::InlineShapePtr NativeInlineShapes::item(std::int32_t index) {
    int object = -1;
    if (wholeStory()) {
        document_->checkOpen();
        if (index >= 1) object = document_->model.inlineAt(story_, static_cast<std::size_t>(index - 1));
    } else {
        const auto found = objects();
        if (index >= 1 && index <= static_cast<std::int32_t>(found.size())) {
            object = found[static_cast<std::size_t>(index - 1)];
        }
    }
    if (object < 0) throw OfficeError("the requested member of the collection does not exist");
    return std::make_shared<NativeInlineShape>(document_, object);
}

}  // namespace kelvaran::office::native
