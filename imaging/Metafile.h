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

// The EMF with the bitmaps of its alpha-blending records in the form every
// reader blends: a 32-bit bitmap described by bit masks without an alpha
// mask (as some writers store icons) is described as plain 32-bit RGB, whose
// fourth byte blending takes as alpha.  Readers that trust the masks would
// otherwise drop the alpha and show the transparent parts black.
std::string withPlainAlphaBitmaps(std::string_view emf);

// Natural size at 96 pixels per inch.
PixelSize emfNaturalSize(std::string_view bytes);
PixelSize wmfNaturalSize(std::string_view bytes);

// Rasterises at exactly width x height (stretched to that size).  Areas the
// metafile does not paint stay transparent.
Image renderEmf(std::string_view bytes, int width, int height);
Image renderWmf(std::string_view bytes, int width, int height);

// An enhanced metafile that draws what a Windows metafile draws: its records
// translated one by one into their EMF counterparts (coordinates and mapping,
// pens, brushes, fonts and text, shapes, bitmaps, clipping).  Its frame is
// the visible part's natural size; nothing outside the visible part is drawn.
// Throws ImagingError for a damaged or sizeless metafile.
std::string wmfToEmf(std::string_view wmf, const VisiblePart& visible = {});

// The enhanced metafile cut to its visible part, still a drawing: its frame
// is the visible part of the old one and nothing outside it is drawn (dual
// EMF+ files keep their plain records only).  Throws ImagingError for a
// damaged metafile, an empty visible part, or a file of EMF+ records only.
std::string croppedEmf(std::string_view emf, const VisiblePart& visible);

// Macintosh PICT pictures (with or without their 512-byte file header):
// natural size (the frame, in points, at 96 pixels per inch) and the
// enhanced metafile that draws what their opcodes draw (shapes, text,
// bitmaps; patterns as their mean colour).  Throw ImagingError when damaged.
PixelSize pictNaturalSize(std::string_view pict);
std::string pictToEmf(std::string_view pict);

// Rasterises an SVG document stretched to exactly width x height.
Image renderSvg(std::string_view svg, int width, int height);

}  // namespace kelvaran::imaging
