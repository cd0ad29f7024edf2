#pragma once

// Picture decoding, resampling and encoding (over libvips, libemf2svg + librsvg
// and libwmf).  Everything here works on bytes in memory; failures throw
// ImagingError with a reason a user can read.

#include "platform/Failure.h"
#include "platform/Raster.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaran::imaging {

class ImagingError : public platform::Failure {
public:
    using platform::Failure::Failure;
};

enum class PictureType { Unknown, Jpeg, Png, Gif, Bmp, Dib, Tiff, Emf, Wmf, Pict };

// Largest picture handled, in pixels, as its header declares it.  A picture
// decoded or drawn whole has a smaller budget (PixelBudget.h: 48 megapixels,
// 192 MB at once).  Anything larger is refused with ImagingError before
// memory is taken.
inline constexpr std::int64_t kMaxPixels = 100'000'000;

// Starts libvips, which the first picture otherwise waits for.  Safe from
// any thread and at any time; throws ImagingError when the library cannot
// start.
void startPictureLibrary();

// Starts libvips on a thread of its own, once in the life of the process, and
// returns at once: the first picture then waits only for what is left of the
// start.  Nothing else waits for it; the thread is joined when the process
// ends.  A library that cannot start fails the first picture as before.
void startPictureLibraryAside();

// Keeps libvips to the codecs built into it (JPEG, PNG, GIF and TIFF: all
// this program reads or writes).  Its optional modules (PDF, HEIF, JPEG XL,
// ImageMagick, OpenSlide) would otherwise be loaded at its start: about a
// twentieth of a second and some sixty more libraries, each one more way in
// for a hostile picture.  It sets an environment variable, so call it first
// thing in main, before any thread starts; a VIPSHOME the user set is kept.
void keepToBuiltInCodecs();

// "JPEG", "PNG", ... for messages and reports.
const char* typeName(PictureType type);

// Recognises a picture by its first bytes.  A DIB is a BITMAPINFOHEADER
// without the file header; a WMF may start with the placeable header.
PictureType sniff(std::string_view bytes);

// Pixel size of a raster picture from its header, or the natural size of a
// metafile at 96 pixels per inch.  Throws ImagingError when unreadable.
struct PixelSize {
    int width = 0;
    int height = 0;
};
PixelSize pictureSize(std::string_view bytes, PictureType type);

// A decoded picture: 8-bit RGBA, straight alpha, row by row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // width * height * 4

    bool hasTransparency() const;
};

// Renders a picture at exactly widthPx x heightPx: raster pictures are decoded
// (CMYK JPEGs too) and resampled with a Lanczos filter, metafiles are
// rasterised at that size.  Refuses hostile sizes (a rendering of more than
// 48 megapixels, a source beyond its budgets).
Image render(std::string_view bytes, PictureType type, int widthPx, int heightPx);

// The top-left cornerWidth x cornerHeight pixels (at most the whole) of
// render(bytes, type, widthPx, heightPx), the same pixels exactly.  A raster
// picture decoded by libvips is computed only as far as the corner needs
// (the rows above its bottom edge); any other is drawn whole and cut.
Image renderCorner(std::string_view bytes, PictureType type, int widthPx, int heightPx, int cornerWidth,
                   int cornerHeight);

// encodeJpeg(render(bytes, type, widthPx, heightPx), quality) in one pass,
// the same bytes, without the rendering held in memory between the two:
// for an opaque raster picture decoded by libvips.  Nothing for any other
// picture, which the two calls must draw and store.  Raising `stop` (from
// any thread) makes a call under way fail soon with ImagingError.  Also
// nothing for a picture whose decoder would hold more than `heldAtMost`
// bytes of it at once (a progressive JPEG, say; see wholePictureBytes).
std::optional<std::string> renderJpeg(std::string_view bytes, PictureType type, int widthPx, int heightPx,
                                      int quality, const std::atomic<bool>* stop = nullptr,
                                      std::int64_t heldAtMost = std::numeric_limits<std::int64_t>::max());

// The top-left part of an image, at most width x height pixels.
Image cornerOf(const Image& image, int width, int height);

// Decodes at the picture's own size.
Image decode(std::string_view bytes, PictureType type);

// What the scratch sheet puts on the clipboard when a picture of widthPx x
// heightPx is cut: the same as render.
Image renderForSheet(std::string_view bytes, PictureType type, int widthPx, int heightPx);

// Encoders.  JPEG: quality 85, baseline, optimised Huffman tables, 4:2:0;
// JPEG has no transparency, so transparent areas come out black.  PNG: a
// palette when at most 256 colours, highest compression.  GIF: quantised with
// dithering, one transparent index when the picture has transparency.
// The JPEG quality of pictures stored as JPEG unless a run asks for another.
inline constexpr int kDefaultJpegQuality = 85;
// `quality` 1 to 100; 85 unless asked.
std::string encodeJpeg(const Image& image, int quality = kDefaultJpegQuality);
std::string encodePng(const Image& image);
std::string encodeGif(const Image& image);
// An enhanced metafile holding one bitmap record of the picture, alpha kept,
// whose frame is widthPt x heightPt points.
std::string encodeEmfFromImage(const Image& image, double widthPt, double heightPt);

// The part of a picture that is shown, as fractions of its size cut off each
// side (a crop); all zero for the whole picture.
struct VisiblePart {
    double left = 0, top = 0, right = 0, bottom = 0;
    bool any() const { return left != 0 || top != 0 || right != 0 || bottom != 0; }
};

// An enhanced metafile for a picture, vector drawings kept vector: a valid
// EMF source is returned as it is (its alpha-blended bitmaps described as
// every reader blends them, see withPlainAlphaBitmaps); a WMF source is
// translated record by record; a PICT is translated too.  A cropped drawing
// stays a drawing whose frame is its visible part, with nothing outside it
// drawn.  Any other source (and an EMF of EMF+ records alone, when cropped)
// is rendered at widthPx x heightPx and wrapped by encodeEmfFromImage.
std::string encodeEmf(std::string_view bytes, PictureType type, int widthPx, int heightPx, double widthPt,
                      double heightPt, const VisiblePart& visible = {});

// The picture drawn on white, as the clipboard's metafile rendering.
platform::Raster toRaster(const Image& image);

// Every failure above is an ImagingError: unknown or unsupported types,
// damaged or truncated data, sizes that are zero or beyond the budgets, a
// metafile the converters cannot draw.  Nothing else escapes except
// std::bad_alloc, and platform::DeadlineExceeded when a deadline is in force
// (platform/Deadline.h) and the work runs past it.

}  // namespace kelvaran::imaging
