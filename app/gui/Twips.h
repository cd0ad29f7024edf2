#pragma once

#include "platform/Conversions.h"

#include <QRect>

namespace kelvaran::app::gui {

// Window geometry is designed in twips; 15 twips make one pixel.
inline constexpr int kTwipsPerPixel = 15;

inline int pixelsFromTwips(int twips) {
    return static_cast<int>(platform::roundHalfEven(static_cast<double>(twips) / kTwipsPerPixel));
}

inline int twipsFromPixels(int pixels) { return pixels * kTwipsPerPixel; }

inline QRect rectFromTwips(int left, int top, int width, int height) {
    return QRect(pixelsFromTwips(left), pixelsFromTwips(top), pixelsFromTwips(width), pixelsFromTwips(height));
}

}  // namespace kelvaran::app::gui
