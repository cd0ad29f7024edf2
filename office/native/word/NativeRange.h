#pragma once

#include "office/Word.h"
#include "office/native/word/WordEditing.h"

#include <memory>

namespace kelvaran::office::native {

// A range of one story.  A range made for an inline shape follows that
// object wherever edits move it; Range(n) of a document runs to the story's
// end as it is when the range is used.
class NativeRange : public word::Range {
public:
    static constexpr std::int64_t kToEnd = -1;

    NativeRange(std::shared_ptr<DocumentState> document, int story, std::int64_t start, std::int64_t end,
                int boundInline = -1);

    StorySpan span() const;

    void Copy() override;
    void Paste() override;
    void Delete() override;
    void Select() override;
    Variant Information(std::int32_t type) override;
    word::FramesPtr Frames() override;
    word::InlineShapesPtr InlineShapes() override;
    word::ShapeRangePtr ShapeRange() override;

private:
    std::shared_ptr<DocumentState> document_;
    int story_;
    std::int64_t start_;
    std::int64_t end_;
    int boundInline_;
};

// The page of a character position, as Information(1) reports it: the
// estimate of the document model's simple layout (Document::estimatePage),
// usually within a page of what an office suite lays out.
Variant estimatedPage(const DocumentState& document, int story, std::int64_t position, std::int32_t type);

}  // namespace kelvaran::office::native
