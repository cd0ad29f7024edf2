#include "app/gui/WindowConditions.h"

#include <QCheckBox>
#include <QComboBox>

namespace kelvaran::app::gui {

namespace {

std::string textOf(const QPointer<QComboBox>& box, const std::string& fallback) {
    return box ? box->currentText().toStdString() : fallback;
}

bool stateOf(const QPointer<QCheckBox>& box) { return box && box->isChecked(); }

}  // namespace

WindowConditions::WindowConditions(const Controls& controls)
    : fileSize_(controls.fileSize),
      ratio_(controls.ratio),
      format_(controls.format),
      expectRate_(controls.expectRate),
      pixelSize_(controls.pixelSize),
      convertObjects_(controls.convertObjects),
      slowMode_(controls.slowMode),
      recompress_(controls.recompress) {}

std::string WindowConditions::FileSizeText() { return textOf(fileSize_, engine::ConditionValues{}.fileSize); }
std::string WindowConditions::RatioText() { return textOf(ratio_, engine::ConditionValues{}.ratio); }
int WindowConditions::FormatIndex() { return format_ && format_->currentIndex() > 0 ? format_->currentIndex() : 0; }
std::string WindowConditions::ExpectRateText() { return textOf(expectRate_, engine::ConditionValues{}.expectRate); }
std::string WindowConditions::PixelSizeText() { return textOf(pixelSize_, engine::ConditionValues{}.pixelSize); }
bool WindowConditions::ConvertObjects() { return stateOf(convertObjects_); }
bool WindowConditions::SlowMode() { return stateOf(slowMode_); }
bool WindowConditions::Recompress() { return stateOf(recompress_); }

}  // namespace kelvaran::app::gui
