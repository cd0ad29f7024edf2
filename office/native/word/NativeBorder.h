#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>

namespace kelvaran::office::native {

// One side of an inline shape's border.
class NativeBorder : public word::Border {
public:
    NativeBorder(std::shared_ptr<DocumentState> document, int object, int side);

    Variant Color() override;
    void setColor(const Variant& value) override;
    Variant ColorIndex() override;
    void setColorIndex(const Variant& value) override;
    Variant LineStyle() override;
    void setLineStyle(const Variant& value) override;
    Variant LineWidth() override;
    void setLineWidth(const Variant& value) override;
    Variant Visible() override;
    void setVisible(const Variant& value) override;

    // Line widths Word accepts, in eighths of a point.
    static bool validWidth(std::int32_t eighths);
    static bool validStyle(std::int32_t style);

private:
    formats::model::BorderLine& line();
    void changed();

    std::shared_ptr<DocumentState> document_;
    int object_;
    int side_;
};

}  // namespace kelvaran::office::native
