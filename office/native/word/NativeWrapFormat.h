#pragma once

#include "office/Word.h"
#include "office/native/word/DocumentState.h"

#include <memory>

namespace kelvaran::office::native {

// Text wrapping of a floating shape, with Word's values: Type 0 square, 1
// tight, 2 through, 3 in front of the text, 4 top and bottom, 5 behind the
// text; Side 0 both, 1 left, 2 right, 3 largest; distances in points.
class NativeWrapFormat : public word::WrapFormat {
public:
    NativeWrapFormat(std::shared_ptr<DocumentState> document, int shape);

    Variant AllowOverlap() override;
    void setAllowOverlap(const Variant& value) override;
    Variant DistanceBottom() override;
    void setDistanceBottom(const Variant& value) override;
    Variant DistanceLeft() override;
    void setDistanceLeft(const Variant& value) override;
    Variant DistanceRight() override;
    void setDistanceRight(const Variant& value) override;
    Variant DistanceTop() override;
    void setDistanceTop(const Variant& value) override;
    Variant Side() override;
    void setSide(const Variant& value) override;
    Variant Type() override;
    void setType(const Variant& value) override;

private:
    formats::model::Wrap& wrap();
    void changed();

    std::shared_ptr<DocumentState> document_;
    int shape_;
};

}  // namespace kelvaran::office::native
