#pragma once

#include <array>
#include <cstdint>

namespace kelvaran::formats::model {

// One side of an inline picture's border.  Values follow the Word object
// model: `style` is a line style (0 none, 1 single, 2 dotted, 3 dashed, 7
// double, ...), `widthEighths` a line width in eighths of a point (2, 4, 6, 8,
// 12, 18, 24, 36, 48), `colour` 0x00BBGGRR or kAutomaticColour, `colourIndex`
// an index of the 16-colour palette (0 automatic).
struct BorderLine {
    static constexpr std::int32_t kAutomaticColour = -16777216;

    std::int32_t style = 0;
    std::int32_t widthEighths = 4;
    std::int32_t colour = kAutomaticColour;
    std::int32_t colourIndex = 0;
    bool visible = false;
};

// The border of an inline picture or object.
struct Borders {
    enum Side { Top = 0, Left = 1, Bottom = 2, Right = 3 };

    bool enable = false;  // any side visible, as a whole
    double distanceTopPt = 0;
    double distanceLeftPt = 0;
    double distanceBottomPt = 0;
    double distanceRightPt = 0;
    std::array<BorderLine, 4> sides{};
    bool shadow = false;

    bool anyVisible() const {
        for (const auto& side : sides) {
            if (side.visible) return true;
        }
        return false;
    }
};

}  // namespace kelvaran::formats::model
