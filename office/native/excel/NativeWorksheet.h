#pragma once

#include "office/Excel.h"
#include "office/native/excel/SheetState.h"

#include <memory>

namespace kelvaran::office::native {

// The scratch worksheet.  Paste takes a copied Word object as it is (its
// picture and displayed size) or a cut sheet picture (its rendering, stored
// again in the picture's own format); PasteSpecial stores the clipboard's
// rendering in the named format.
class NativeWorksheet : public excel::Worksheet {
public:
    NativeWorksheet(std::shared_ptr<ExcelSession> session, std::shared_ptr<SheetState> sheet);

    void Paste(bool link) override;
    void PasteSpecial(const std::string& Format, bool link, bool DisplayAsIcon) override;
    excel::ShapesPtr Shapes() override;

private:
    void place(SheetPicture picture);

    std::shared_ptr<ExcelSession> session_;
    std::shared_ptr<SheetState> sheet_;
};

}  // namespace kelvaran::office::native
