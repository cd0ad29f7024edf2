#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kelvaran::formats::doc {

enum class PictureFormat { Unknown, Emf, Wmf, Pict, Jpeg, Png, Dib, Tiff };

const char* pictureFormatName(PictureFormat f);

// The 22-byte placeable header that an image library expects in front of a
// WMF stored without one: its bounds in metafile units and the units per inch.
std::string placeableHeader(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                            std::int64_t unitsPerInch);

// Picture data as it is kept in a drawing record (a "BLIP"), decoded into a file
// that other code can use: EMF and WMF inflated (WMF with its placeable header
// rebuilt), DIB as BITMAPINFOHEADER + bits, PICT as stored.
struct PictureData {
    PictureFormat format = PictureFormat::Unknown;
    bool cmyk = false;         // JPEG in CMYK
    // The decoded picture file, never null once decoded.  Shared and immutable:
    // copies of a document and the pictures of its model hold the same bytes.
    std::shared_ptr<const std::string> bytes;
    std::uint32_t recordSize = 0; // of the BLIP record in the document, header included
    std::array<std::uint8_t, 16> uid{};
    std::int32_t pixelsWide = 0, pixelsHigh = 0; // metafiles: rcBounds size; bitmaps: 0 unless known
};

class Blip {
public:
    // Largest inflated metafile accepted (larger ones count as damaged).
    static constexpr std::size_t kMaxInflated = 256u << 20;

    static bool isBlipType(std::uint16_t recType) { return recType >= 0xF018 && recType <= 0xF117; }

    // Decodes the BLIP record whose header is at `offset` (its length must end by
    // `limit`).  nullopt when the record is not a picture or does not fit.
    static std::optional<PictureData> decode(std::string_view buffer, std::size_t offset, std::size_t limit);

    // Builds a BLIP record for a picture file (JPEG, PNG, DIB without file header,
    // TIFF or EMF).  Throws DocError(CannotWrite) for anything else.  `uidOut`
    // receives the id written, for the FBSE.  A metafile's record notes the
    // size the picture is shown at (`shownTwips`, width and height; zero: the
    // metafile's own frame): readers take it for the picture's natural size
    // and fit the metafile's frame into it, as Word writes it.
    static std::string encode(PictureFormat format, std::string_view file, std::array<std::uint8_t, 16>& uidOut,
                              std::array<std::int32_t, 2> shownTwips = {0, 0});

    // The MSOBLIPTYPE value of a format (FBSE btWin32).
    static std::uint8_t blipType(PictureFormat format, bool cmyk = false);

    // Guesses the format of a picture file from its first bytes.
    static PictureFormat sniff(std::string_view file);

    static std::array<std::uint8_t, 16> digest(std::string_view data);
};

}  // namespace kelvaran::formats::doc
