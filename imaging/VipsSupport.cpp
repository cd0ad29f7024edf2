#include "imaging/VipsSupport.h"

#include "imaging/PixelBudget.h"
#include "platform/LibraryStart.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace kelvaran::imaging {
namespace {

std::string firstLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (auto nl = text.find('\n'); nl != std::string::npos) text.resize(nl);
    return text;
}

// The library's warnings about a damaged picture come before the failure
// that reports it; printed on the error stream they only garble the log.
void dropWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// Progress of an evaluation being watched: once the deadline has passed, or
// the caller's stop flag (`data`, when given) is raised, the library is asked
// to stop, and the evaluation fails.
void onEval(VipsImage* image, VipsProgress*, void* data) {
    const auto* stop = static_cast<const std::atomic<bool>*>(data);
    if (platform::deadlinePassed() || (stop && stop->load(std::memory_order_relaxed))) vips_image_set_kill(image, TRUE);
}

int intField(const vips::VImage& image, const char* name) {
    return vips_image_get_typeof(image.get_image(), name) != 0 ? image.get_int(name) : 0;
}

}  // namespace

std::int64_t wholePictureBytes(const vips::VImage& image, PictureType type) {
    const std::int64_t samples = std::int64_t{image.width()} * image.height() * image.bands();
    const std::int64_t sampleBytes = static_cast<std::int64_t>(vips_format_sizeof(image.format()));
    switch (type) {
    case PictureType::Jpeg: return intField(image, "jpeg-multiscan") != 0 ? samples * 2 : 0;
    case PictureType::Png: return intField(image, "interlaced") != 0 ? samples * sampleBytes : 0;
    case PictureType::Gif: return std::int64_t{image.width()} * image.height() * 4;
    case PictureType::Tiff: return samples * sampleBytes;
    default: return 0;
    }
}

void ensureVips() {
    static std::once_flag once;
    std::call_once(once, [] {
        {
            // Its start registers the container library's types too.
            std::lock_guard<std::mutex> starting(platform::libraryStartLock());
            if (VIPS_INIT("kelvaran") != 0) throw ImagingError("the picture library could not start");
        }
        g_log_set_handler("VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE), dropWarning,
                          nullptr);
        // Two cores: one worker per core.  Results are never reused, so the
        // operation cache would only hold memory.
        int workers = 2;
        if (const char* asked = std::getenv("KELVARAN_PICTURE_THREADS")) workers = std::clamp(std::atoi(asked), 1, 64);
        vips_concurrency_set(workers);
        vips_cache_set_max(0);
        vips_cache_set_max_mem(0);
        // Only the loaders called by name below are wanted; never fall back
        // to the broad, less hardened ones.
        vips_block_untrusted_set(TRUE);
    });
}

void startPictureLibrary() { ensureVips(); }

namespace {

// The start begun aside: the thread starts with the object and is joined
// when the process ends.
struct AsideStart {
    std::thread thread;
    AsideStart() {
        try {
            thread = std::thread([] {
                try {
                    ensureVips();
                } catch (const ImagingError&) {
                    // The first picture tries again and reports it.
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: the first picture starts the library.
        }
    }
    AsideStart(const AsideStart&) = delete;
    AsideStart& operator=(const AsideStart&) = delete;
    ~AsideStart() {
        if (thread.joinable()) thread.join();
    }
};

}  // namespace

void startPictureLibraryAside() {
    // Made once, by the first call, whatever thread it comes from.
    static AsideStart start;
}

void keepToBuiltInCodecs() {
    // The library looks for its modules under VIPSHOME/lib whenever VIPSHOME
    // names another prefix than the one it was installed in; this one holds
    // none.  (It sets VIPSHOME itself at its start, from whatever thread
    // starts it; set beforehand, that only replaces a value in place.)
    (void)::setenv("VIPSHOME", "/nonexistent", 0);
}

void rethrowVips(const char* what, const vips::VError& error) {
    std::string detail = firstLine(error.what());
    vips_error_clear();
    platform::checkDeadline();  // stopped because the time ran out
    throw ImagingError(std::string(what) + (detail.empty() ? std::string() : ": " + detail));
}

vips::VImage openRaster(std::string_view bytes, PictureType type, int minWidth, int minHeight) {
    return withVips("the picture cannot be read", [&] {
        VipsBlob* blob = vips_blob_new(nullptr, bytes.data(), bytes.size());
        struct Unref {
            VipsBlob* b;
            ~Unref() { vips_area_unref(VIPS_AREA(b)); }
        } unref{blob};
        auto options = [] {
            return vips::VImage::option()
                ->set("access", VIPS_ACCESS_SEQUENTIAL)
                ->set("fail_on", VIPS_FAIL_ON_TRUNCATED);
        };
        vips::VImage image;
        switch (type) {
        case PictureType::Jpeg: {
            vips::VImage header = vips::VImage::jpegload_buffer(blob, options());
            checkPixelBudget(header.width(), header.height(), "the JPEG picture");
            checkByteBudget(wholePictureBytes(header, type), "the JPEG picture");
            int shrink = 1;
            for (int s : {8, 4, 2}) {
                if (minWidth > 0 && minHeight > 0 && header.width() / s >= minWidth &&
                    header.height() / s >= minHeight) {
                    shrink = s;
                    break;
                }
            }
            if (shrink == 1) return header;
            image = vips::VImage::jpegload_buffer(blob, options()->set("shrink", shrink));
            break;
        }
        case PictureType::Png: image = vips::VImage::pngload_buffer(blob, options()); break;
        case PictureType::Gif: image = vips::VImage::gifload_buffer(blob, options()); break;
        case PictureType::Tiff: image = vips::VImage::tiffload_buffer(blob, options()); break;
        default: throw ImagingError(std::string("not a raster picture the decoder handles: ") + typeName(type));
        }
        checkPixelBudget(image.width(), image.height(), "the picture");
        checkByteBudget(wholePictureBytes(image, type), "the picture");
        return image;
    });
}

vips::VImage watched(vips::VImage image, const std::atomic<bool>* stop) {
    vips_image_set_progress(image.get_image(), TRUE);
    g_signal_connect(image.get_image(), "eval", G_CALLBACK(onEval), const_cast<std::atomic<bool>*>(stop));
    return image;
}

vips::VImage toSrgba(vips::VImage image) {
    return withVips("the picture's colours cannot be converted", [&] {
        const VipsInterpretation kind = image.interpretation();
        if (kind == VIPS_INTERPRETATION_CMYK && image.bands() >= 4) {
            // The loader has already undone the inverted CMYK some writers
            // store; an embedded profile is used when there is one.
            vips::VImage alpha;
            bool hasAlpha = image.bands() > 4;
            if (hasAlpha) alpha = image.extract_band(4);
            vips::VImage colour = image.extract_band(0, vips::VImage::option()->set("n", 4));
            colour = colour.icc_transform("srgb", vips::VImage::option()
                                                     ->set("embedded", TRUE)
                                                     ->set("input_profile", "cmyk")
                                                     ->set("intent", VIPS_INTENT_RELATIVE));
            colour = colour.cast(VIPS_FORMAT_UCHAR);
            image = hasAlpha ? colour.bandjoin(alpha.cast(VIPS_FORMAT_UCHAR)) : colour;
        } else if (kind == VIPS_INTERPRETATION_B_W || kind == VIPS_INTERPRETATION_GREY16 ||
                   kind == VIPS_INTERPRETATION_RGB16 || kind == VIPS_INTERPRETATION_sRGB ||
                   kind == VIPS_INTERPRETATION_scRGB || kind == VIPS_INTERPRETATION_LAB ||
                   kind == VIPS_INTERPRETATION_XYZ || kind == VIPS_INTERPRETATION_LABS) {
            image = image.colourspace(VIPS_INTERPRETATION_sRGB);
        }
        if (image.format() != VIPS_FORMAT_UCHAR) {
            // Whatever else arrives (multiband, 16-bit without a colour
            // interpretation): scale by the format's range.
            if (image.format() == VIPS_FORMAT_USHORT) image = image / 257;
            image = image.cast(VIPS_FORMAT_UCHAR);
        }
        if (image.bands() == 1) image = image.bandjoin({image, image});
        else if (image.bands() == 2) {
            vips::VImage g = image.extract_band(0);
            image = g.bandjoin({g, g, image.extract_band(1)});
        }
        if (image.bands() > 4) image = image.extract_band(0, vips::VImage::option()->set("n", 4));
        return image.copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    });
}

vips::VImage resizeExact(vips::VImage image, int width, int height) {
    checkPixelBudget(width, height, "the rendering");
    return withVips("the picture cannot be resized", [&] {
        if (image.width() == width && image.height() == height) return image;
        const double hscale = static_cast<double>(width) / image.width();
        const double vscale = static_cast<double>(height) / image.height();
        // Colour is weighted by alpha while filtering, so transparent
        // pixels do not bleed their hidden colour into the edges.  Opaque
        // pictures stay 8-bit, the resampler's fast path.
        const bool alpha = image.bands() == 4;
        vips::VImage out = (alpha ? image.premultiply() : image)
                               .resize(hscale, vips::VImage::option()
                                                   ->set("vscale", vscale)
                                                   ->set("kernel", VIPS_KERNEL_LANCZOS3));
        // Rounding inside the resampler may leave a row or column over or
        // short; trim or repeat the edge to land on the exact size.
        if (out.width() > width || out.height() > height)
            out = out.crop(0, 0, std::min(out.width(), width), std::min(out.height(), height));
        if (out.width() < width || out.height() < height)
            out = out.embed(0, 0, width, height, vips::VImage::option()->set("extend", VIPS_EXTEND_COPY));
        if (alpha) out = out.unpremultiply();
        out = out.cast(VIPS_FORMAT_UCHAR);
        return out.copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    });
}

vips::VImage fromImage(const Image& image) {
    checkPixelBudget(image.width, image.height, "the picture");
    if (image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
        throw ImagingError("the picture's pixel buffer does not match its size");
    return withVips("the picture cannot be prepared", [&] {
        vips::VImage mem = vips::VImage::new_from_memory(const_cast<std::uint8_t*>(image.rgba.data()), image.rgba.size(),
                                                         image.width, image.height, 4, VIPS_FORMAT_UCHAR);
        return mem.copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    });
}

Image toImage(vips::VImage image) {
    return withVips("the picture cannot be decoded", [&] {
        if (image.format() != VIPS_FORMAT_UCHAR || (image.bands() != 3 && image.bands() != 4)) image = toSrgba(image);
        if (image.bands() == 3) image = image.bandjoin_const({255});
        checkImageBudget(image.width(), image.height(), "the picture");
        Image out;
        out.width = image.width();
        out.height = image.height();
        out.rgba.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 4);
        // Written straight into the picture's own buffer: no second copy.
        vips::VImage target = vips::VImage::new_from_memory(out.rgba.data(), out.rgba.size(), out.width, out.height,
                                                            4, VIPS_FORMAT_UCHAR);
        watched(image).write(target);
        return out;
    });
}

}  // namespace kelvaran::imaging
