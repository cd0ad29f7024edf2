#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

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
    static constexpr std::size_t kMaxInflated = 64u << 20;

    static bool isBlipType(std::uint16_t recType) { return recType >= 0xF018 && recType <= 0xF117; }

    // Decodes the BLIP record whose header is at `offset` (its length must end by
    // `limit`).  nullopt when the record is not a picture or does not fit, or
    // when its metafile would inflate to more than `inflateLimit` bytes.
    static std::optional<PictureData> decode(std::string_view buffer, std::size_t offset, std::size_t limit,
                                             std::size_t inflateLimit = kMaxInflated);

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

// Decodes the BLIP records of one document.  A record met again (many shapes
// may show one stored picture, many picture characters one picture block)
// gives the bytes decoded the first time, shared, so a small file cannot
// multiply one large picture.  All the pictures of a document together take
// at most `budget` bytes (records that overlap in the file count once each),
// and its metafiles inflate to at most kMaxInflatedPerDocument of them; a
// picture beyond either counts as damaged.
class BlipReader {
public:
    static constexpr std::size_t kMaxInflatedPerDocument = 256u << 20;

    explicit BlipReader(std::size_t budget) : budget_(budget) {}

    std::optional<PictureData> decode(std::string_view buffer, std::size_t offset, std::size_t limit);
    // A picture kept in the document as it is (an old-style metafile): the
    // bytes of [offset, end) of buffer, copied once however often they are
    // met; null beyond the budget.
    std::shared_ptr<const std::string> bytesAt(std::string_view buffer, std::size_t offset, std::size_t end);

private:
    using Key = std::tuple<const char*, std::size_t, std::size_t>;
    std::map<Key, std::optional<PictureData>> decoded_;
    std::map<Key, std::shared_ptr<const std::string>> copied_;
    bool take(std::size_t bytes);

    std::size_t budget_;
    std::size_t taken_ = 0;
    std::size_t inflated_ = 0;
};

}  // namespace kelvaran::formats::doc
