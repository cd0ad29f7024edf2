#pragma once

#include "engine/Conditions.h"

#include <QPointer>

class QCheckBox;
class QComboBox;

namespace kelvaran::app::gui {

// The conditions as the main window's controls hold them, read at the moment
// of use.  A control that is gone reads as its default.
class WindowConditions : public engine::Conditions {
public:
    struct Controls {
        QComboBox* fileSize = nullptr;
        QComboBox* ratio = nullptr;
        QComboBox* format = nullptr;
        QComboBox* expectRate = nullptr;
        QComboBox* pixelSize = nullptr;
        QCheckBox* convertObjects = nullptr;
        QCheckBox* slowMode = nullptr;
        QCheckBox* recompress = nullptr;  // on the format dialog
    };

    explicit WindowConditions(const Controls& controls);

    std::string FileSizeText() override;
    std::string RatioText() override;
    int FormatIndex() override;
    std::string ExpectRateText() override;
    std::string PixelSizeText() override;
    bool ConvertObjects() override;
    bool SlowMode() override;
    bool Recompress() override;

private:
    QPointer<QComboBox> fileSize_, ratio_, format_, expectRate_, pixelSize_;
    QPointer<QCheckBox> convertObjects_, slowMode_, recompress_;
};

}  // namespace kelvaran::app::gui
