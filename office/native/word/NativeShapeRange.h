#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>
#include <vector>

namespace kelvaran::office::native {

// A fixed set of shapes, as Word hands out for a selection, a range or an
// ungrouped group.  Members deleted meanwhile are left out.
class NativeShapeRange : public word::ShapeRange {
public:
    NativeShapeRange(std::shared_ptr<DocumentState> document, std::vector<int> shapes);

    std::int32_t count() override;
    word::ShapePtr item(std::int32_t index) override;
    // Groups the shapes (at least two, all top-level) into a new group.
    word::ShapePtr Group() override;

private:
    std::vector<int> live() const;

    std::shared_ptr<DocumentState> document_;
    std::vector<int> shapes_;
};

// Groups top-level shapes of a document; returns the new group's index.
int groupShapes(DocumentState& document, const std::vector<int>& members);

}  // namespace kelvaran::office::native
