#pragma once

#include "office/Word.h"

namespace kelvaran::engine {

// Carry an old shape's layout attributes over to its replacement.  Each
// property is read from the old shape and written unchanged to the new one,
// one at a time in a fixed order; a property that fails is skipped alone.
// None of them throws.

// Text wrapping of floating shapes: AllowOverlap, the four distances, Side,
// and the wrapping Type last.
void CopyWrapFormat(const office::word::ShapePtr& oldShape, const office::word::ShapePtr& newShape);

// Position and size relative to page parts (newer Word versions only).
void CopyRelativeLayout(const office::word::ShapePtr& oldShape, const office::word::ShapePtr& newShape);

// Borders of inline shapes: ten settings of the collection, then five of each
// of the eight borders (bottom, diagonals, horizontal, left, right, top,
// vertical), 50 assignments in all.
void CopyBorders(const office::word::InlineShapePtr& oldShape, const office::word::InlineShapePtr& newShape);

// The order in which CopyBorders visits the borders.
inline constexpr std::int16_t kBorderOrder[8] = {-3, -7, -8, -5, -2, -4, -1, -6};

}  // namespace kelvaran::engine
