// Time per picture of the bare libvips pipeline (decode, Lanczos resize,
// JPEG encode) over generated photo-like JPEGs of 3 to 12 megapixels, beside
// the same work through kelvaran's imaging API.  Peak memory is reported
// from getrusage after each benchmark.

#include "imaging/Imaging.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <vips/vips8>

#include <cmath>
#include <map>
#include <string>
#include <utility>

namespace {

using vips::VImage;

struct Photo {
    int width;
    int height;
    std::string jpeg;
};

// Gaussian noise on smooth colour ramps: compresses about as well as a
// photograph, unlike flat test cards.
std::string makePhotoJpeg(int width, int height) {
    VImage xy = VImage::xyz(width, height);
    VImage x = xy.extract_band(0), y = xy.extract_band(1);
    VImage r = x * (200.0 / width) + 30;
    VImage g = y * (180.0 / height) + 40;
    VImage b = (x + y) * (120.0 / (width + height)) + 70;
    VImage noise = VImage::gaussnoise(width, height, VImage::option()->set("sigma", 18.0)->set("mean", 0.0));
    VImage soft = noise.gaussblur(1.2);
    VImage photo = r.bandjoin({g, b}) + soft;
    photo = photo.cast(VIPS_FORMAT_UCHAR).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    VipsBlob* blob = photo.jpegsave_buffer(VImage::option()->set("Q", 90));
    std::size_t size = 0;
    const void* data = vips_blob_get(blob, &size);
    std::string out(static_cast<const char*>(data), size);
    vips_area_unref(VIPS_AREA(blob));
    return out;
}

const Photo& photo(int megapixels) {
    static std::map<int, Photo> cache;
    auto it = cache.find(megapixels);
    if (it != cache.end()) return it->second;
    // 4:3 frames of about the asked size.
    const int width = static_cast<int>(std::sqrt(megapixels * 1e6 * 4 / 3));
    const int height = width * 3 / 4;
    return cache.emplace(megapixels, Photo{width, height, makePhotoJpeg(width, height)}).first->second;
}

// The picture is shown at a third of its width, rendered at twice that.
std::pair<int, int> target(const Photo& p) { return {p.width / 3 * 2, p.height / 3 * 2}; }

void reportMemory(benchmark::State& state, const Photo& p) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["input_KB"] = static_cast<double>(p.jpeg.size()) / 1024.0;
    state.counters["megapixels"] = p.width * static_cast<double>(p.height) / 1e6;
}

void BareVips(benchmark::State& state) {
    const Photo& p = photo(static_cast<int>(state.range(0)));
    auto [w, h] = target(p);
    for (auto _ : state) {
        VipsBlob* in = vips_blob_new(nullptr, p.jpeg.data(), p.jpeg.size());
        VImage image = VImage::jpegload_buffer(in, VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
        VImage small = image.resize(static_cast<double>(w) / p.width,
                                    VImage::option()
                                        ->set("vscale", static_cast<double>(h) / p.height)
                                        ->set("kernel", VIPS_KERNEL_LANCZOS3));
        VipsBlob* out = small.jpegsave_buffer(
            VImage::option()->set("Q", 85)->set("optimize_coding", TRUE)->set("strip", TRUE));
        std::size_t size = 0;
        benchmark::DoNotOptimize(vips_blob_get(out, &size));
        vips_area_unref(VIPS_AREA(out));
        vips_area_unref(VIPS_AREA(in));
    }
    state.SetLabel("decode, resize, encode");
    reportMemory(state, p);
}

void ThroughImagingApi(benchmark::State& state) {
    using namespace kelvaran::imaging;
    const Photo& p = photo(static_cast<int>(state.range(0)));
    auto [w, h] = target(p);
    for (auto _ : state) {
        Image rendered = render(p.jpeg, PictureType::Jpeg, w, h);
        std::string jpeg = encodeJpeg(rendered);
        benchmark::DoNotOptimize(jpeg.data());
    }
    state.SetLabel("render, encodeJpeg");
    reportMemory(state, p);
}

}  // namespace

BENCHMARK(BareVips)->Arg(3)->Arg(6)->Arg(9)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ThroughImagingApi)->Arg(3)->Arg(6)->Arg(9)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    if (VIPS_INIT(argv[0]) != 0) return 1;
    vips_concurrency_set(2);
    vips_cache_set_max(0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vips_shutdown();
    return 0;
}
