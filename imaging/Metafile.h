#pragma once

// Enhanced and Windows metafiles: structural checks, natural size and
// rasterising.  The record streams are walked and checked here before either
// converter library sees them, so that a damaged file is refused with a reason
// instead of being read past its end.

#include "imaging/Imaging.h"

#include <string>
#include <string_view>

namespace kelvaran::imaging {

// The part of an EMF up to and including its end record.  Throws
// ImagingError when the header or any record size is inconsistent.
std::string_view checkedEmf(std::string_view bytes);

// The same for a WMF, with or without its placeable header.
std::string_view checkedWmf(std::string_view bytes);

// Natural size at 96 pixels per inch.
PixelSize emfNaturalSize(std::string_view bytes);
PixelSize wmfNaturalSize(std::string_view bytes);

// Rasterises at exactly width x height (stretched to that size).  Areas the
// metafile does not paint stay transparent.
Image renderEmf(std::string_view bytes, int width, int height);
Image renderWmf(std::string_view bytes, int width, int height);

// Rasterises an SVG document stretched to exactly width x height.
Image renderSvg(std::string_view svg, int width, int height);

}  // namespace kelvaran::imaging
