#pragma once

#include <string>
#include <string_view>

namespace kelvaran::imaging {

// A copy of an enhanced metafile that the SVG converter draws as readers
// draw the original: icons drawn with raster operations become alpha-blended
// bitmaps, premultiplied alpha is made straight, and every pen gets its
// width in device units, never below one pixel of a rendering `width`
// pixels wide.
std::string emfForDrawing(std::string_view emf, int width);

}  // namespace kelvaran::imaging
