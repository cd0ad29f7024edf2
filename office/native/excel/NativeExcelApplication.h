#pragma once

#include "office/Excel.h"
#include "office/native/excel/SheetState.h"

#include <memory>

namespace kelvaran::office::native {

// The in-process Excel: a scratch surface whose sheets hold pictures only.
class NativeExcelApplication : public excel::Application {
public:
    // `events` lets the window answer while pictures are drawn and stored; may be null.
    explicit NativeExcelApplication(platform::Clipboard& clipboard, platform::EventPump* events = nullptr);

    excel::WorkbooksPtr Workbooks() override;
    std::string Name() override;
    std::int32_t WindowState() override;
    void setWindowState(std::int32_t state) override;
    bool Visible() override;
    void setVisible(bool visible) override;
    // Discards every workbook without saving.
    void Quit() override;
    // OfficeError outside 1 to 100.
    void setJpegQuality(std::int32_t quality) override;

    // What the sheets share: the drawings started ahead among them.
    ExcelSession& session() { return *session_; }

private:
    std::shared_ptr<ExcelSession> session_;
};

}  // namespace kelvaran::office::native
