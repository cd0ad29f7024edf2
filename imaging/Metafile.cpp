#include "imaging/Metafile.h"

#include "imaging/ByteReader.h"
#include "imaging/ByteWriter.h"
#include "imaging/Dib.h"
#include "imaging/EmfForDrawing.h"
#include "imaging/FontFaces.h"
#include "imaging/PixelBudget.h"
#include "platform/Conversions.h"

#include <cairo.h>
#include <emf2svg.h>
#include <librsvg/rsvg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

// The metafile converter looks fonts up through fontconfig for some text
// records and then calls FcFini(), which tears fontconfig down for the whole
// process.  Text drawn before (librsvg through pango, the window's own fonts)
// still holds fontconfig's caches, and the library's own check then aborts the
// program.  Defined here, in the program, the call resolves to this one and
// does nothing: fontconfig stays up until the process ends, as every other
// user of it expects.
extern "C" void FcFini(void) {}

namespace kelvaran::imaging {
namespace {

constexpr std::uint32_t kEmrHeader = 1, kEmrEof = 14;
constexpr std::uint32_t kEmfSignature = 0x464D4520;
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22, kWmfHeaderSize = 18;

// Neither converter library is documented as safe for concurrent use.
std::mutex& emfMutex() {
    static std::mutex m;
    return m;
}
std::mutex& wmfMutex() {
    static std::mutex m;
    return m;
}

// The converter measures text with the faces it is given for the fourteen
// standard PostScript names.  It keeps the faces it has opened by file, so two
// names that share a file would leave the second without a face (and the whole
// metafile unreadable): each name gets a file of its own, the best installed
// stand-in that no other name took.
struct PsFace {
    const char* psName;
    const char* family;
    bool bold;
    bool italic;
};
constexpr PsFace kPsFaces[] = {
    {"Times-Roman", "Times New Roman", false, false}, {"Times-Italic", "Times New Roman", false, true},
    {"Times-Bold", "Times New Roman", true, false},   {"Times-BoldItalic", "Times New Roman", true, true},
    {"Helvetica", "Arial", false, false},             {"Helvetica-Oblique", "Arial", false, true},
    {"Helvetica-Bold", "Arial", true, false},         {"Helvetica-BoldOblique", "Arial", true, true},
    {"Courier", "Courier New", false, false},         {"Courier-Oblique", "Courier New", false, true},
    {"Courier-Bold", "Courier New", true, false},     {"Courier-BoldOblique", "Courier New", true, true},
    {"Symbol", "Symbol", false, false},               {"ZapfDingbats", "DejaVu Sans", false, false},
};

const std::vector<std::string>& psFontFiles() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> chosen;
        for (const PsFace& face : kPsFaces) {
            std::string file;
            for (int n = 0; n < 64; ++n) {
                const InstalledFace candidate = installedFaceCandidate(face.family, face.bold, face.italic, n);
                if (candidate.file.empty()) break;
                if (std::find(chosen.begin(), chosen.end(), candidate.file) == chosen.end()) {
                    file = candidate.file;
                    break;
                }
            }
            chosen.push_back(file);
        }
        return chosen;
    }();
    return files;
}

int toPixels(double value, const char* what) {
    if (!std::isfinite(value) || value <= 0 || value > static_cast<double>(kMaxPixels))
        throw ImagingError(std::string("the metafile's ") + what + " is not usable");
    std::int64_t px = platform::roundHalfEven(value);
    return static_cast<int>(std::max<std::int64_t>(px, 1));
}

PixelSize checkedSize(double w, double h) {
    PixelSize size{toPixels(w, "width"), toPixels(h, "height")};
    checkPixelBudget(size.width, size.height, "the metafile");
    return size;
}

// The converter sizes its drawing to the box around what is painted, not to
// the metafile's window.  A hollow rectangle over the whole window, drawn
// first inside a saved state, makes that box the window.  The two objects it
// needs are deleted again, so the file's own objects keep their slots.
std::string withWindowFrame(std::string_view wmf) {
    ByteReader in(wmf);
    const std::size_t start = in.u32(0) == kPlaceableKey ? kPlaceableSize : 0;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool known = false;
    if (start != 0) {
        left = in.i16(6);
        top = in.i16(8);
        right = in.i16(10);
        bottom = in.i16(12);
        known = right != left && bottom != top;
    }
    std::int32_t orgX = 0, orgY = 0, extX = 0, extY = 0;
    std::size_t insertAt = start + kWmfHeaderSize;
    for (std::size_t at = insertAt; in.has(at, 6);) {
        const std::size_t size = static_cast<std::size_t>(in.u32(at)) * 2;
        const std::uint16_t function = in.u16(at + 4);
        if (function == 0x020B && size >= 10) {
            orgY = in.i16(at + 6);
            orgX = in.i16(at + 8);
        } else if (function == 0x020C && size >= 10) {
            extY = in.i16(at + 6);
            extX = in.i16(at + 8);
        } else if (function != 0x0103 && function != 0x020D && function != 0x020E) {
            break;
        }
        at += size;
        insertAt = at;
    }
    if (!known && extX != 0 && extY != 0) {
        left = orgX;
        top = orgY;
        right = orgX + extX;
        bottom = orgY + extY;
        known = true;
    }
    if (!known) return std::string(wmf);

    std::string extra;
    auto put16 = [&](std::uint32_t v) {
        extra.push_back(static_cast<char>(v & 0xFF));
        extra.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    auto record = [&](std::uint16_t function, std::initializer_list<std::int32_t> params) {
        const std::uint32_t words = static_cast<std::uint32_t>(3 + params.size());
        put16(words & 0xFFFF);
        put16(words >> 16);
        put16(function);
        for (std::int32_t p : params) put16(static_cast<std::uint16_t>(p));
    };
    const auto clamp16 = [](std::int32_t v) { return std::clamp<std::int32_t>(v, -32768, 32767); };
    record(0x001E, {});                    // save state
    record(0x02FC, {1, 0, 0, 0});          // hollow brush
    record(0x012D, {0});
    record(0x02FA, {5, 0, 0, 0, 0});       // null pen
    record(0x012D, {1});
    record(0x041B, {clamp16(std::max(top, bottom)), clamp16(std::max(left, right)), clamp16(std::min(top, bottom)),
                    clamp16(std::min(left, right))});
    record(0x0127, {-1});                  // restore state
    record(0x01F0, {0});                   // delete both objects
    record(0x01F0, {1});

    std::string out(wmf.substr(0, insertAt));
    out += extra;
    out += wmf.substr(insertAt);
    // Header: total size in words, at least two object slots, largest record.
    const std::uint32_t words = static_cast<std::uint32_t>((out.size() - start) / 2);
    auto patch16 = [&](std::size_t at, std::uint32_t v) {
        out[at] = static_cast<char>(v & 0xFF);
        out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    patch16(start + 6, words & 0xFFFF);
    patch16(start + 8, words >> 16);
    if (in.u16(start + 10) < 2) patch16(start + 10, 2);
    if (in.u32(start + 12) < 8) {
        patch16(start + 12, 8);
        patch16(start + 14, 0);
    }
    return out;
}

// The converter sizes its drawing from the corner pixels of the bounds, one
// pixel short of what the bounds cover, so the last row and column would be
// cut off and the rest stretched.  Widen the root element by that pixel.
std::string widenRoot(std::string svg) {
    const std::size_t root = svg.find("<svg");
    if (root == std::string::npos) return svg;
    const std::size_t end = svg.find('>', root);
    for (const char* name : {" width=\"", " height=\""}) {
        const std::size_t at = svg.find(name, root);
        if (at == std::string::npos || at > end) continue;
        const std::size_t from = at + std::strlen(name);
        const std::size_t to = svg.find('"', from);
        if (to == std::string::npos || to > end) continue;
        char* stop = nullptr;
        const std::string number = svg.substr(from, to - from);
        const double value = std::strtod(number.c_str(), &stop);
        if (stop == number.c_str() || *stop != '\0' || !std::isfinite(value)) continue;
        svg.replace(from, to - from, std::to_string(value + 1.0));
    }
    return svg;
}

std::string xmlEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

// Decodes the UTF-8 character at `at`; returns its length (1 for a stray byte).
std::size_t utf8At(std::string_view text, std::size_t at, char32_t& cp) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    auto cont = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[at + i]) & 0x3F); };
    if (c >= 0xF0 && at + 3 < text.size()) {
        cp = ((c & 0x07u) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
        return 4;
    }
    if (c >= 0xE0 && at + 2 < text.size()) {
        cp = ((c & 0x0Fu) << 12) | (cont(1) << 6) | cont(2);
        return 3;
    }
    if (c >= 0xC0 && at + 1 < text.size()) {
        cp = ((c & 0x1Fu) << 6) | cont(1);
        return 2;
    }
    cp = c;
    return 1;
}

// The drawing's text in the faces installed here: each font family the
// metafile names becomes the installed face that stands in for it, and the
// text of symbol faces, which Windows keeps as glyph positions in the
// private-use range, becomes the characters those glyphs show.
std::string withInstalledFaces(const std::string& svg) {
    static const std::string kFamily = "font-family=\"";
    std::string out;
    out.reserve(svg.size());
    std::size_t from = 0;
    while (true) {
        const std::size_t at = svg.find(kFamily, from);
        if (at == std::string::npos) break;
        const std::size_t nameStart = at + kFamily.size();
        const std::size_t nameEnd = svg.find('"', nameStart);
        if (nameEnd == std::string::npos) break;
        const std::string name = svg.substr(nameStart, nameEnd - nameStart);
        out.append(svg, from, nameStart - from);
        out += xmlEscaped(installedFace(name).family);
        from = nameEnd;
        if (!isSymbolFace(name)) continue;
        std::string key = name;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool symbolFace = key == "symbol";
        // The element's text: after the end of its start tag, up to the next tag.
        const std::size_t tagEnd = svg.find('>', nameEnd);
        if (tagEnd == std::string::npos) break;
        // The converter writes text as character data in a CDATA section.
        std::size_t textStart = tagEnd + 1;
        if (svg.compare(textStart, 9, "<![CDATA[") == 0) textStart += 9;
        const std::size_t textEnd = svg.find(textStart == tagEnd + 1 ? "<" : "]]>", textStart);
        if (textEnd == std::string::npos) break;
        out.append(svg, from, textStart - from);
        const std::string_view content(svg.data() + textStart, textEnd - textStart);
        for (std::size_t i = 0; i < content.size();) {
            char32_t cp = 0;
            const std::size_t n = utf8At(content, i, cp);
            if (cp >= 0xF000 && cp <= 0xF0FF) {
                // Only the Symbol face's glyphs have characters; those of
                // the other symbol faces (fences, dingbats) exist in no
                // installed face and are left out rather than drawn as boxes.
                const char32_t shown = symbolFace ? symbolGlyphToUnicode(cp) : 0;
                if (shown != 0) appendUtf8(out, shown);
            } else {
                out.append(content.substr(i, n));
            }
            i += n;
        }
        from = textEnd;
    }
    out.append(svg, from, std::string::npos);
    return out;
}

// The converter writes the text of the metafile as it finds it: bytes in the
// font's character set, unescaped.  Made into escaped UTF-8 here (Windows
// Latin text, or the characters of the Symbol face).
std::string repairText(const std::string& svg) {
    std::string out;
    out.reserve(svg.size());
    std::size_t from = 0;
    while (true) {
        const std::size_t at = svg.find("<text", from);
        if (at == std::string::npos) break;
        const std::size_t tagEnd = svg.find('>', at);
        const std::size_t close = tagEnd == std::string::npos ? std::string::npos : svg.find("</text>", tagEnd);
        if (close == std::string::npos) break;
        const std::string_view tag(svg.data() + at, tagEnd - at);
        const bool symbol = tag.find("font-family:Symbol") != std::string_view::npos;
        out.append(svg, from, tagEnd + 1 - from);
        const std::string_view content(svg.data() + tagEnd + 1, close - tagEnd - 1);
        out += xmlEscaped(decodeText(content, symbol ? kSymbolCharset : kAnsiCharset, symbol ? "Symbol" : ""));
        from = close;
    }
    out.append(svg, from, std::string::npos);
    return out;
}


// After every drawing operation: once the deadline has passed, the surface
// being drawn on is finished, so that every later operation fails at once and
// the renderer gives up instead of drawing the rest.
void stopWhenLate(cairo_surface_t* observer, cairo_surface_t*, void*) {
    if (platform::deadlinePassed()) cairo_surface_finish(observer);
}

// A surface that draws on `target` and watches the deadline as it goes.
std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> watchedSurface(cairo_surface_t* target) {
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> observer(
        cairo_surface_create_observer(target, CAIRO_SURFACE_OBSERVER_NORMAL), cairo_surface_destroy);
    cairo_surface_observer_add_paint_callback(observer.get(), stopWhenLate, nullptr);
    cairo_surface_observer_add_mask_callback(observer.get(), stopWhenLate, nullptr);
    cairo_surface_observer_add_fill_callback(observer.get(), stopWhenLate, nullptr);
    cairo_surface_observer_add_stroke_callback(observer.get(), stopWhenLate, nullptr);
    cairo_surface_observer_add_glyphs_callback(observer.get(), stopWhenLate, nullptr);
    return observer;
}

// libwmf's progress report while it plays a metafile: non-zero stops it.
int stopPlayingWhenLate(void*, float) { return platform::deadlinePassed() ? 1 : 0; }

}  // namespace

std::string_view checkedEmf(std::string_view bytes) {
    ByteReader in(bytes);
    if (!in.has(0, 88) || in.u32(0) != kEmrHeader || in.u32(40) != kEmfSignature)
        throw ImagingError("not an enhanced metafile");
    const std::uint32_t headerSize = in.u32(4);
    if (headerSize < 88 || headerSize % 4 != 0 || headerSize > bytes.size())
        throw ImagingError("the enhanced metafile's header is damaged");
    std::size_t at = 0;
    std::size_t records = 0;
    while (true) {
        if (!in.has(at, 8)) throw ImagingError("the enhanced metafile is cut short (no end record)");
        const std::uint32_t type = in.u32(at);
        const std::uint32_t size = in.u32(at + 4);
        if (size < 8 || size % 4 != 0 || !in.has(at, size))
            throw ImagingError("the enhanced metafile has a damaged record at byte " + std::to_string(at));
        if (records > 0 && type == kEmrHeader)
            throw ImagingError("the enhanced metafile has a second header at byte " + std::to_string(at));
        ++records;
        at += size;
        if (type == kEmrEof) break;
    }
    return bytes.substr(0, at);
}

std::string withPlainAlphaBitmaps(std::string_view bytes) {
    std::string out(checkedEmf(bytes));
    ByteReader in(out);
    constexpr std::uint32_t kAlphaBlend = 114, kSourceAlpha = 0x01000000, kBitFields = 3;
    for (std::size_t at = 0; in.has(at, 8);) {
        const std::uint32_t type = in.u32(at), size = in.u32(at + 4);
        if (size < 8) break;
        if (type == kAlphaBlend && size >= 108 && (in.u32(at + 40) & 0xFF000000) == kSourceAlpha) {
            const std::uint32_t bmiOffset = in.u32(at + 84), bmiSize = in.u32(at + 88);
            const std::size_t info = at + bmiOffset;
            if (bmiOffset >= 108 && bmiSize >= 52 && bmiOffset + 52 <= size && in.u32(info) == 40 &&
                in.u16(info + 14) == 32 && in.u32(info + 16) == kBitFields && in.u32(info + 40) == 0x00FF0000 &&
                in.u32(info + 44) == 0x0000FF00 && in.u32(info + 48) == 0x000000FF) {
                auto put32 = [&](std::size_t where, std::uint32_t v) {
                    for (int i = 0; i < 4; ++i) out[where + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
                };
                put32(info + 16, 0);        // plain RGB
                put32(at + 88, 40);         // the masks are no longer part of the bitmap info
            }
        }
        at += size;
    }
    return out;
}

PixelSize emfNaturalSize(std::string_view bytes) {
    ByteReader in(checkedEmf(bytes));
    // The frame, in hundredths of a millimetre, is the picture's intended size.
    const double frameW = static_cast<double>(in.i32(32)) - in.i32(24);
    const double frameH = static_cast<double>(in.i32(36)) - in.i32(28);
    if (frameW > 0 && frameH > 0) return checkedSize(frameW * 96.0 / 2540.0, frameH * 96.0 / 2540.0);
    // Otherwise the bounds, in reference-device pixels, scaled to 96 dpi.
    const double boundsW = static_cast<double>(in.i32(16)) - in.i32(8) + 1;
    const double boundsH = static_cast<double>(in.i32(20)) - in.i32(12) + 1;
    const double devW = in.i32(72), devH = in.i32(76), mmW = in.i32(80), mmH = in.i32(84);
    if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0)
        return checkedSize(boundsW * mmW / devW * 96.0 / 25.4, boundsH * mmH / devH * 96.0 / 25.4);
    return checkedSize(boundsW, boundsH);
}

std::string_view checkedWmf(std::string_view bytes) {
    ByteReader in(bytes);
    std::size_t start = 0;
    if (in.u32(0) == kPlaceableKey) {
        if (!in.has(0, kPlaceableSize)) throw ImagingError("the metafile's placeable header is cut short");
        start = kPlaceableSize;
    }
    const std::uint16_t type = in.u16(start), words = in.u16(start + 2), version = in.u16(start + 4);
    if (!in.has(start, kWmfHeaderSize) || (type != 1 && type != 2) || words != 9 ||
        (version != 0x0100 && version != 0x0300))
        throw ImagingError("not a Windows metafile");
    std::size_t at = start + kWmfHeaderSize;
    while (true) {
        if (!in.has(at, 6)) throw ImagingError("the Windows metafile is cut short (no end record)");
        const std::uint64_t size = static_cast<std::uint64_t>(in.u32(at)) * 2;
        const std::uint16_t function = in.u16(at + 4);
        if (size < 6 || !in.has(at, static_cast<std::size_t>(std::min<std::uint64_t>(size, bytes.size()))) ||
            size > bytes.size() - at)
            throw ImagingError("the Windows metafile has a damaged record at byte " + std::to_string(at));
        at += static_cast<std::size_t>(size);
        if (function == 0) break;
    }
    return bytes.substr(0, at);
}

PixelSize wmfNaturalSize(std::string_view bytes) {
    std::string_view wmf = checkedWmf(bytes);
    ByteReader in(wmf);
    if (in.u32(0) == kPlaceableKey) {
        const double w = static_cast<double>(in.i16(10)) - in.i16(6);
        const double h = static_cast<double>(in.i16(12)) - in.i16(8);
        const double unitsPerInch = in.u16(14);
        if (unitsPerInch <= 0) throw ImagingError("the metafile's placeable header gives no units per inch");
        return checkedSize(std::abs(w) * 96.0 / unitsPerInch, std::abs(h) * 96.0 / unitsPerInch);
    }
    // Without the placeable header the size is the window extent, read in
    // the units of the mapping mode in force; the two free modes have no
    // physical unit and are taken as twips, the usual choice of writers.
    double unitsPerInch = 1440;
    double extW = 0, extH = 0;
    for (std::size_t at = kWmfHeaderSize; in.has(at, 6);) {
        const std::size_t size = static_cast<std::size_t>(in.u32(at)) * 2;
        const std::uint16_t function = in.u16(at + 4);
        if (function == 0x0103 && size >= 8) {  // set mapping mode
            switch (in.u16(at + 6)) {
            case 1: unitsPerInch = 96; break;          // device pixels
            case 2: unitsPerInch = 254; break;         // 0.1 mm
            case 3: unitsPerInch = 2540; break;        // 0.01 mm
            case 4: unitsPerInch = 100; break;         // 0.01 inch
            case 5: unitsPerInch = 1000; break;        // 0.001 inch
            default: unitsPerInch = 1440; break;
            }
        } else if (function == 0x020C && size >= 10 && extW == 0) {  // window extent: y, then x
            extH = std::abs(static_cast<double>(in.i16(at + 6)));
            extW = std::abs(static_cast<double>(in.i16(at + 8)));
        }
        if (function == 0 || size < 6) break;
        at += size;
    }
    if (extW <= 0 || extH <= 0) throw ImagingError("the Windows metafile states no size");
    return checkedSize(extW * 96.0 / unitsPerInch, extH * 96.0 / unitsPerInch);
}

Image renderSvg(std::string_view svg, int width, int height) {
    checkImageBudget(width, height, "the rendering");
    const auto elements = std::count(svg.begin(), svg.end(), '<');
    if (elements > kMaxDrawingElements)
        throw ImagingError("the drawing is too complex to draw (" + std::to_string(elements) + " elements; at most " +
                           std::to_string(kMaxDrawingElements) + ")");
    GError* error = nullptr;
    std::unique_ptr<RsvgHandle, void (*)(gpointer)> handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error), g_object_unref);
    if (!handle) {
        std::string why = error ? error->message : "unknown reason";
        if (error) g_error_free(error);
        throw ImagingError("the drawing cannot be read: " + why);
    }
    gboolean hasW = FALSE, hasH = FALSE, hasBox = FALSE;
    RsvgLength lw{}, lh{};
    RsvgRectangle box{};
    rsvg_handle_get_intrinsic_dimensions(handle.get(), &hasW, &lw, &hasH, &lh, &hasBox, &box);
    double naturalW = 0, naturalH = 0;
    if (hasBox && box.width > 0 && box.height > 0) {
        naturalW = box.width;
        naturalH = box.height;
    } else if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &naturalW, &naturalH) || naturalW <= 0 ||
               naturalH <= 0) {
        throw ImagingError("the drawing has no size");
    }

    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw ImagingError("no memory for a rendering of " + std::to_string(width) + " x " + std::to_string(height));
    // Watched only under a deadline: cairo 1.16 loses a few bytes with every
    // observer surface.
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> watched =
        platform::deadlineInForce() ? watchedSurface(surface.get())
                                    : std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)>(
                                          cairo_surface_reference(surface.get()), cairo_surface_destroy);
    {
        std::unique_ptr<cairo_t, void (*)(cairo_t*)> cr(cairo_create(watched.get()), cairo_destroy);
        // Stretch the drawing's own box onto the whole surface, aspect or not.
        cairo_scale(cr.get(), width / naturalW, height / naturalH);
        RsvgRectangle viewport{0, 0, naturalW, naturalH};
        const bool drawn = rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &error);
        platform::checkDeadline();
        if (!drawn) {
            std::string why = error ? error->message : "unknown reason";
            if (error) g_error_free(error);
            throw ImagingError("the drawing cannot be rendered: " + why);
        }
    }
    cairo_surface_flush(surface.get());

    Image out;
    out.width = width;
    out.height = height;
    out.rgba.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    const int stride = cairo_image_surface_get_stride(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        std::uint8_t* dst = out.rgba.data() + static_cast<std::size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            // Cairo keeps premultiplied native-endian ARGB.
            const std::uint32_t p = row[x];
            const std::uint32_t a = p >> 24;
            std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (a != 0 && a != 255) {
                r = std::min<std::uint32_t>(255, (r * 255 + a / 2) / a);
                g = std::min<std::uint32_t>(255, (g * 255 + a / 2) / a);
                b = std::min<std::uint32_t>(255, (b * 255 + a / 2) / a);
            }
            dst[x * 4 + 0] = static_cast<std::uint8_t>(r);
            dst[x * 4 + 1] = static_cast<std::uint8_t>(g);
            dst[x * 4 + 2] = static_cast<std::uint8_t>(b);
            dst[x * 4 + 3] = static_cast<std::uint8_t>(a);
        }
    }
    return out;
}

Image renderEmf(std::string_view bytes, int width, int height) {
    checkImageBudget(width, height, "the rendering");
    const std::string_view checked = checkedEmf(bytes);
    ByteReader in(checked);
    std::int64_t records = 0;
    for (std::size_t at = 0; in.has(at, 8) && records <= kMaxMetafileRecords; at += in.u32(at + 4)) ++records;
    if (records > kMaxMetafileRecords)
        throw ImagingError("the enhanced metafile is too complex to draw (more than " +
                           std::to_string(kMaxMetafileRecords) + " records)");
    const std::string emf = emfForDrawing(checked, width);
    std::vector<char> copy(emf.begin(), emf.end());  // the converter wants a mutable buffer
    char ns[] = "";
    generatorOptions options{};
    options.nameSpace = ns;
    options.verbose = false;
    options.emfplus = false;  // draw the plain records, which dual files always carry
    options.svgDelimiter = true;
    options.imgWidth = 0;
    options.imgHeight = 0;
    char* svg = nullptr;
    std::size_t svgLength = 0;
    int ok = 0;
    {
        std::lock_guard lock(emfMutex());
        ok = emf2svg(copy.data(), copy.size(), &svg, &svgLength, &options);
    }
    std::unique_ptr<char, void (*)(void*)> release(svg, std::free);
    platform::checkDeadline();
    if (!ok || !svg || svgLength == 0) throw ImagingError("the enhanced metafile cannot be converted for drawing");
    return renderSvg(withInstalledFaces(widenRoot(std::string(svg, svgLength))), width, height);
}

// Two faults of the SVG that libwmf writes for the bitmaps of a metafile:
// the <image xlink:href=...> elements use the xlink prefix without declaring
// it, which librsvg refuses outright; and each carries, besides its place
// and size on the page, a transform that scales it once more (by the ratio
// of that size to the bitmap's pixels) about the same place, so the bitmap
// came out a fraction of its size in the corner of its box.  The place and
// size alone are right.
static std::string repairBitmaps(std::string svg) {
    if (svg.find("xlink:") != std::string::npos && svg.find("xmlns:xlink") == std::string::npos) {
        const auto root = svg.find("<svg");
        if (root != std::string::npos) svg.insert(root + 4, " xmlns:xlink=\"http://www.w3.org/1999/xlink\"");
    }
    for (std::size_t at = svg.find("<image"); at != std::string::npos; at = svg.find("<image", at + 1)) {
        const std::size_t end = svg.find('>', at);
        if (end == std::string::npos) break;
        const std::size_t transform = svg.find("transform=\"matrix(", at);
        if (transform == std::string::npos || transform > end) continue;
        const std::size_t close = svg.find("\"", transform + 11);
        if (close == std::string::npos || close > end) continue;
        svg.erase(transform, close + 1 - transform);
    }
    return svg;
}

// The Windows metafile drawn by the converter library on its own: the way
// taken when the metafile cannot be translated.
static Image renderWmfDirectly(std::string_view bytes, int width, int height) {
    checkImageBudget(width, height, "the rendering");
    checkWmfBitmaps(checkedWmf(bytes));
    const std::string framed = withWindowFrame(checkedWmf(bytes));
    std::vector<unsigned char> copy(framed.begin(), framed.end());
    std::string svg;
    {
        std::lock_guard lock(wmfMutex());
        wmfAPI_Options options{};
        options.function = wmf_svg_function;
        // Text is drawn by the SVG renderer later; the converter only wants
        // faces for its measurements.
        const std::vector<std::string>& files = psFontFiles();
        std::vector<wmfMapping> ps;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i].empty()) continue;
            ps.push_back(wmfMapping{const_cast<char*>(kPsFaces[i].psName), const_cast<char*>(files[i].c_str()),
                                    FT_ENCODING_NONE});
        }
        if (ps.empty()) throw ImagingError("no font is installed for drawing Windows metafiles");
        ps.push_back(wmfMapping{nullptr, nullptr, FT_ENCODING_NONE});
        wmfFontMap noWmfNames[1] = {{nullptr, nullptr, nullptr, nullptr, nullptr}};
        wmfMapping noSubstitutes[1] = {{nullptr, nullptr, FT_ENCODING_NONE}};
        options.font.wmf = noWmfNames;
        options.font.sub = noSubstitutes;
        options.font.ps = ps.data();
        wmfAPI* api = nullptr;
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_FONTMAP | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&api, flags, &options) != wmf_E_None || !api) {
            if (api) wmf_api_destroy(api);
            throw ImagingError("the Windows metafile converter could not start");
        }
        struct Destroy {
            wmfAPI* api;
            ~Destroy() { wmf_api_destroy(api); }
        } destroy{api};
        wmf_status_function(api, nullptr, stopPlayingWhenLate);
        if (wmf_mem_open(api, copy.data(), static_cast<long>(copy.size())) != wmf_E_None)
            throw ImagingError("the Windows metafile cannot be opened");
        wmfD_Rect bbox{};
        if (wmf_scan(api, 0, &bbox) != wmf_E_None) {
            platform::checkDeadline();
            throw ImagingError("the Windows metafile cannot be read");
        }
        if (!(bbox.BR.x > bbox.TL.x) || !(bbox.BR.y > bbox.TL.y))
            throw ImagingError("the Windows metafile draws nothing");
        wmf_svg_t* device = WMF_SVG_GetData(api);
        device->bbox = bbox;
        device->width = static_cast<unsigned int>(width);
        device->height = static_cast<unsigned int>(height);
        device->Description = nullptr;
        device->flags |= WMF_SVG_INLINE_IMAGES;
        device->out = wmf_stream_create(api, nullptr);
        if (!device->out) throw ImagingError("the Windows metafile converter has no memory");
        const wmf_error_t played = wmf_play(api, 0, &bbox);
        char* buffer = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api, device->out, &buffer, &length);
        device->out = nullptr;
        if (buffer) {
            svg.assign(buffer, length);
            wmf_free(api, buffer);
        }
        platform::checkDeadline();
        if (played != wmf_E_None) throw ImagingError("the Windows metafile cannot be drawn");
    }
    if (svg.empty()) throw ImagingError("the Windows metafile produced no drawing");
    return renderSvg(repairText(repairBitmaps(std::move(svg))), width, height);
}

Image renderWmf(std::string_view bytes, int width, int height) {
    checkImageBudget(width, height, "the rendering");
    // One reading for every use: the metafile is drawn from its translation,
    // the same enhanced metafile the sheet stores, so that what is measured
    // and compared is what a document will show.
    std::string emf;
    try {
        emf = wmfToEmf(bytes);
    } catch (const ImagingError&) {
        return renderWmfDirectly(bytes, width, height);
    }
    try {
        return renderEmf(emf, width, height);
    } catch (const ImagingError&) {
        return renderWmfDirectly(bytes, width, height);
    }
}

}  // namespace kelvaran::imaging
