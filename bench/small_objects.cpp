// Time per object of the command-line program on a document of many small
// pictures, each below the size condition: every one is copied and measured,
// none converted.  The same generated PNG icons, one a paragraph.
//
// Usage: bench_small_objects PATH/TO/kelvaran-cli [objects] [rtf|doc]
// "doc" has LibreOffice save the RTF as Word 97-2003 first (slow for many
// thousands of pictures).

#include "bench/BenchSupport.h"

#include <algorithm>
#include <fstream>

using namespace kelvaran::bench;

namespace {

// A 16 x 16 icon of a colour of its own: a few hundred bytes of PNG.
std::string icon(int seed) {
    using vips::VImage;
    VImage noise = VImage::gaussnoise(16, 16, VImage::option()->set("sigma", 60.0)->set("mean", 128.0)->set("seed", seed));
    VImage rgb = noise.bandjoin({noise + seed % 64, noise - seed % 32}).cast(VIPS_FORMAT_UCHAR);
    void* data = nullptr;
    std::size_t size = 0;
    rgb.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_buffer(".png", &data, &size);
    std::string png(static_cast<const char*>(data), size);
    g_free(data);
    return png;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fmt::print(stderr, "usage: {} PATH/TO/kelvaran-cli [objects] [rtf|doc]\n", argv[0]);
        return 2;
    }
    Launcher launcher;
    if (VIPS_INIT(argv[0])) return 1;
    const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000;
    const bool asDoc = argc > 3 && std::string(argv[3]) == "doc";
    WorkFolder folder("small");
    const fs::path& work = folder.path();
    fs::path input = work / "icons.rtf";
    {
        std::vector<std::string> icons;
        for (int k = 0; k < 50; ++k) icons.push_back(icon(k + 1));
        std::ofstream out(input, std::ios::binary);
        out << rtfHead();
        std::string paragraph;
        for (int k = 0; k < count; ++k) {
            paragraph = fmt::format("{{\\pard Icon {} ", k + 1);
            appendPict(paragraph, "pngblip", icons[static_cast<std::size_t>(k) % icons.size()], 16, 16, 240, 240);
            paragraph += "\\par}\n";
            out << paragraph;
        }
        out << "}\n";
    }
    if (asDoc) {
        const std::string command =
            fmt::format("cd '{}' && soffice -env:UserInstallation=file://{}/lo --headless --convert-to doc icons.rtf "
                        ">/dev/null 2>&1",
                        work.string(), work.string());
        if (std::system(command.c_str()) != 0 || !fs::exists(work / "icons.doc")) {
            fmt::print(stderr, "soffice could not save the document as .doc\n");
            return 1;
        }
        input = work / "icons.doc";
    }
    // The default size condition (50 KB) leaves every icon as it is; a run
    // over the bare document (no object) tells the time that is not theirs.
    const fs::path bare = work / "bare.rtf";
    std::ofstream(bare, std::ios::binary) << rtfHead() << "{\\pard Nothing\\par}\n}\n";
    const Run empty = launcher.run({argv[1], "--min-size", "50", bare.string()}, folder.config());
    const Run run = launcher.run({argv[1], "--min-size", "50", input.string()}, folder.config());
    const double perObject = (run.seconds - empty.seconds) / count;
    fmt::print("objects                  {} below the size condition, {:.1f} MB {}\n", count,
               fs::file_size(input) / 1e6, asDoc ? "doc" : "rtf");
    fmt::print("kelvaran-cli (exit {})    {:.2f} s, of which {:.2f} s start and finish\n", run.status, run.seconds,
               empty.seconds);
    fmt::print("per object               {:.3f} ms (goal 0.5 ms)\n", perObject * 1e3);
    fmt::print("peak memory              {:.1f} MB\n", run.peakKb / 1e3);
    return run.status == 0 ? 0 : 1;
}
