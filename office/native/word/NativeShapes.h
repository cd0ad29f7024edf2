#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>

namespace kelvaran::office::native {

// Document.Shapes: the live top-level shapes in collection order.
class NativeShapes : public word::Shapes {
public:
    explicit NativeShapes(std::shared_ptr<DocumentState> document);

    std::int32_t count() override;
    word::ShapePtr item(std::int32_t index) override;
    // Rectangles (1) and ovals (9), anchored to the first paragraph.
    word::ShapePtr AddShape(std::int32_t type, double left, double top, double width, double height) override;

private:
    std::shared_ptr<DocumentState> document_;
};

}  // namespace kelvaran::office::native
