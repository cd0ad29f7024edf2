#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <functional>
#include <memory>

namespace kelvaran::office::native {

// The border of an inline shape.  The "Outside" members and Enable speak for
// all four sides: reading them gives 9999999 (Word's "undefined") when the
// sides differ; writing them sets every side.
class NativeBorders : public word::Borders {
public:
    static constexpr std::int32_t kUndefined = 9999999;

    NativeBorders(std::shared_ptr<DocumentState> document, int object);

    Variant DistanceFromBottom() override;
    void setDistanceFromBottom(const Variant& value) override;
    Variant DistanceFromLeft() override;
    void setDistanceFromLeft(const Variant& value) override;
    Variant DistanceFromRight() override;
    void setDistanceFromRight(const Variant& value) override;
    Variant DistanceFromTop() override;
    void setDistanceFromTop(const Variant& value) override;
    Variant Enable() override;
    void setEnable(const Variant& value) override;
    Variant OutsideColor() override;
    void setOutsideColor(const Variant& value) override;
    Variant OutsideColorIndex() override;
    void setOutsideColorIndex(const Variant& value) override;
    Variant OutsideLineStyle() override;
    void setOutsideLineStyle(const Variant& value) override;
    Variant OutsideLineWidth() override;
    void setOutsideLineWidth(const Variant& value) override;
    Variant Shadow() override;
    void setShadow(const Variant& value) override;
    word::BorderPtr item(std::int16_t index) override;

private:
    formats::model::Borders& borders();
    void changed();
    Variant common(const std::function<std::int32_t(const formats::model::BorderLine&)>& field);
    void setAll(const std::function<void(formats::model::BorderLine&)>& change);

    std::shared_ptr<DocumentState> document_;
    int object_;
};

}  // namespace kelvaran::office::native
