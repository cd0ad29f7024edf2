#pragma once

// Picture bytes as RTF stores them and as the model hands them around.

#include "formats/model/Borders.h"
#include "formats/model/PictureData.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvaran::formats::rtf {

// The format of picture bytes by their signature; Unknown when none fits.
model::PictureFormat sniffPicture(std::string_view bytes);
// Pixel size read from the header of a PNG, JPEG, GIF, BMP or DIB; false
// when the header cannot be read.
bool picturePixelSize(model::PictureFormat type, std::string_view bytes, int& width, int& height);

// A Windows metafile as RTF stores it (no placeable header) with the
// 22-byte placeable header that image libraries expect, for a picture of
// the given size in twips.
std::string withPlaceableHeader(std::string_view metafile, std::int64_t widthTwips, std::int64_t heightTwips);
// The metafile without its placeable header (unchanged when it has none).
std::string_view withoutPlaceableHeader(std::string_view metafile);

// A complete {\pict} group holding `picture` shown at the given size, crop
// applied as the picture says.  Throws model::FormatError for pictures RTF
// cannot hold (GIF, TIFF, unknown data).
std::string pictGroup(const model::PictureData& picture, double widthPt, double heightPt,
                      const model::Borders* borders = nullptr);
// The border keywords of an inline picture ("" when no side is visible).
std::string borderWords(const model::Borders& borders);

// Hex digits of `bytes`, broken into lines of 128 digits.
void appendHex(std::string_view bytes, std::string& out);

}  // namespace kelvaran::formats::rtf
