#pragma once

// Device-independent bitmaps: the bare form Word and RTF store (an info
// header, an optional colour table, the pixel rows) and the .bmp file form
// (the same behind a 14-byte file header).  Decoded here rather than through
// a general-purpose loader so that every size and offset is checked against
// the buffer before anything is allocated.

#include "imaging/Imaging.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace kelvaran::imaging {

struct DibHeader {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // always positive; see topDown
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
};

// Recognised sizes of the info header (core, info, the OS/2 and
// bit-field variants, V4, V5).
bool isDibHeaderSize(std::uint32_t size);

// Reads the info header at the start of bytes.  Throws ImagingError when it
// is short, inconsistent or larger than kMaxPixels.
DibHeader readDibHeader(std::string_view bytes);

// A JPEG or PNG carried inside a DIB (compression 4 or 5), if any.
struct EmbeddedPicture {
    PictureType type = PictureType::Unknown;
    std::string_view bytes;
};
std::optional<EmbeddedPicture> dibEmbeddedPicture(std::string_view dib);

// Checks a bare DIB as decodeDib does before it allocates anything (header,
// rows present, runs enough for the pixels declared, drawing budget), for a
// bitmap another library is about to decode.  Throws ImagingError.
void checkDib(std::string_view dib);

// Decodes a bare DIB.  pixelOffset is where the rows start, counted from the
// start of dib; 0 means right after the header, bit masks and colour table.
Image decodeDib(std::string_view dib, std::size_t pixelOffset = 0);

// A .bmp file: checks the file header and decodes the DIB behind it.
Image decodeBmpFile(std::string_view bmp);

// The DIB part of a .bmp file and the offset of its rows within that part.
std::string_view bmpFileDib(std::string_view bmp, std::size_t* pixelOffset);

}  // namespace kelvaran::imaging
