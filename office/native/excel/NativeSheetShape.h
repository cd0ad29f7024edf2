#pragma once

#include "office/Excel.h"
#include "office/native/excel/SheetState.h"

#include <memory>

namespace kelvaran::office::native {

// A picture on the scratch sheet.  Resizing changes only its displayed
// size; Cut draws it at that size (96 pixels per inch) for the clipboard.
class NativeSheetShape : public excel::Shape {
public:
    NativeSheetShape(std::shared_ptr<ExcelSession> session, std::shared_ptr<SheetState> sheet,
                     std::shared_ptr<SheetPicture> picture);

    double Width() override;
    void setWidth(double width) override;
    double Height() override;
    void setHeight(double height) override;
    void Cut() override;
    void Delete() override;

private:
    SheetPicture& picture();
    void remove();

    std::shared_ptr<ExcelSession> session_;
    std::shared_ptr<SheetState> sheet_;
    std::shared_ptr<SheetPicture> picture_;
};

}  // namespace kelvaran::office::native
