#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>

namespace kelvaran::office::native {

// The inline objects of a range of a story, in text order; a live view that
// follows the story's edits.  `end` -1 runs to the story's end.
class NativeInlineShapes : public word::InlineShapes {
public:
    NativeInlineShapes(std::shared_ptr<DocumentState> document, int story, std::int64_t start, std::int64_t end);

    std::int32_t count() override;
    word::InlineShapePtr item(std::int32_t index) override;

private:
    std::vector<int> objects() const;
    // The whole story: answered from the document's index.
    bool wholeStory() const;

    std::shared_ptr<DocumentState> document_;
    int story_;
    std::int64_t start_;
    std::int64_t end_;
};

}  // namespace kelvaran::office::native
