// Slims a generated RTF holding 20 photo-like JPEGs of 3 to 12 megapixels
// (or the same document saved as Word 97-2003 by LibreOffice, with "doc")
// with the real command-line program, and sets the time per picture beside
// the bare libvips pipeline (decode, Lanczos resize to the rendered size,
// JPEG encode) over the same pictures.  Peak memory of the slimming process
// comes from wait4's resource usage, in a launcher forked before the photos
// are made (see Launcher).
//
// Usage: bench_document_slim PATH/TO/kelvaran-cli [pictures] [rtf|doc|jobs]
// "jobs" slims eight copies of the RTF with --jobs 1 and then --jobs 2.
// The work folder is a fresh temporary folder, removed at the end.

#include <fcntl.h>
#include <fmt/core.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips8>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using vips::VImage;
namespace fs = std::filesystem;

struct Photo {
    int width = 0;
    int height = 0;
    std::string jpeg;
};

// Gaussian noise over smooth colour ramps compresses about as a photograph does.
Photo makePhoto(double megapixels, int seed) {
    Photo p;
    p.width = static_cast<int>(std::sqrt(megapixels * 1e6 * 4 / 3));
    p.height = p.width * 3 / 4;
    VImage xy = VImage::xyz(p.width, p.height);
    VImage x = xy.extract_band(0), y = xy.extract_band(1);
    VImage r = x * (200.0 / p.width) + 20 + seed;
    VImage g = y * (180.0 / p.height) + 40;
    VImage b = (x + y) * (120.0 / (p.width + p.height)) + 60;
    VImage noise = VImage::gaussnoise(p.width, p.height,
                                      VImage::option()->set("sigma", 16.0)->set("mean", 0.0)->set("seed", seed));
    VImage photo = r.bandjoin({g, b}) + noise.gaussblur(1.0);
    photo = photo.cast(VIPS_FORMAT_UCHAR).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    void* data = nullptr;
    std::size_t size = 0;
    photo.write_to_buffer(".jpg", &data, &size, VImage::option()->set("Q", 92));
    p.jpeg.assign(static_cast<const char*>(data), size);
    g_free(data);
    return p;
}

// Each photo shown 15 cm wide, aspect kept.
constexpr double kShownWidthPt = 15 / 2.54 * 72;

std::string rtfWith(const std::vector<Photo>& photos) {
    static const char* hex = "0123456789abcdef";
    std::string rtf = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 IPAGothic;}}\n";
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const Photo& p = photos[i];
        const int goalW = static_cast<int>(kShownWidthPt * 20);
        const int goalH = static_cast<int>(kShownWidthPt * 20 * p.height / p.width);
        rtf += fmt::format("{{\\pard Photo {}\\par}}\n{{\\pard{{\\pict\\jpegblip\\picw{}\\pich{}\\picwgoal{}\\pichgoal{}\n",
                           i + 1, p.width, p.height, goalW, goalH);
        rtf.reserve(rtf.size() + p.jpeg.size() * 2 + p.jpeg.size() / 64 + 16);
        for (std::size_t k = 0; k < p.jpeg.size(); ++k) {
            const auto c = static_cast<unsigned char>(p.jpeg[k]);
            rtf += hex[c >> 4];
            rtf += hex[c & 15];
            if (k % 64 == 63) rtf += '\n';
        }
        rtf += "}\\par}\n";
    }
    rtf += "}\n";
    return rtf;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Decode, resize to the rendered size (shown size at 96 dpi times the
// default ratio 1.5) and encode as JPEG: the least any slimming tool does.
double barePipeline(const std::vector<Photo>& photos) {
    const auto start = std::chrono::steady_clock::now();
    for (const Photo& p : photos) {
        const double targetWidth = kShownWidthPt / 72 * 96 * 1.5;
        VImage in = VImage::new_from_buffer(p.jpeg.data(), p.jpeg.size(), "");
        VImage out = in.resize(targetWidth / p.width, VImage::option()->set("kernel", VIPS_KERNEL_LANCZOS3));
        void* data = nullptr;
        std::size_t size = 0;
        out.write_to_buffer(".jpg", &data, &size, VImage::option()->set("Q", 85)->set("optimize_coding", true));
        g_free(data);
    }
    return seconds(start);
}

struct Run {
    int status = -1;
    double seconds = 0;
    long peakKb = 0;
};

Run runSlimming(const std::string& cli, std::vector<std::string> args, const fs::path& config) {
    setenv("KELVARAN_CONFIG_DIR", config.c_str(), 1);
    args.insert(args.begin(), cli);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, cli.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.seconds = seconds(start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKb = usage.ru_maxrss;
    return run;
}

// Starts the slimming runs from a process forked while this one is still
// small.  Linux carries the peak memory of the address space a process leaves
// at exec into its resource usage, and a process started from here leaves
// this one's (the photos and libvips' buffers, a few hundred MB): the figure
// would then show the benchmark's own peak whenever the program stays below it.
class Launcher {
public:
    Launcher() {
        int requests[2], replies[2];
        if (::pipe(requests) != 0 || ::pipe(replies) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(requests[1]);
            ::close(replies[0]);
            serve(requests[0], replies[1]);
            ::_exit(0);
        }
        ::close(requests[0]);
        ::close(replies[1]);
        if (pid_ < 0) {
            ::close(requests[1]);
            ::close(replies[0]);
            return;
        }
        toLauncher_ = requests[1];
        fromLauncher_ = replies[0];
    }
    ~Launcher() {
        if (toLauncher_ >= 0) ::close(toLauncher_);  // the launcher ends at end of file
        if (fromLauncher_ >= 0) ::close(fromLauncher_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    Run run(const std::string& cli, const std::vector<std::string>& args, const fs::path& config) {
        std::vector<std::string> request{cli, config.string()};
        request.insert(request.end(), args.begin(), args.end());
        Run result;
        if (toLauncher_ < 0 || !sendStrings(toLauncher_, request) || !readAll(fromLauncher_, &result, sizeof result))
            return Run{};
        return result;
    }

private:
    static bool writeAll(int fd, const void* data, std::size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd, p, size);
            if (n <= 0) return false;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    static bool readAll(int fd, void* data, std::size_t size) {
        char* p = static_cast<char*>(data);
        while (size > 0) {
            const ssize_t n = ::read(fd, p, size);
            if (n <= 0) return false;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    static bool sendStrings(int fd, const std::vector<std::string>& strings) {
        const std::size_t count = strings.size();
        if (!writeAll(fd, &count, sizeof count)) return false;
        for (const std::string& s : strings) {
            const std::size_t size = s.size();
            if (!writeAll(fd, &size, sizeof size) || !writeAll(fd, s.data(), size)) return false;
        }
        return true;
    }
    static void serve(int in, int out) {
        std::size_t count = 0;
        while (readAll(in, &count, sizeof count)) {
            std::vector<std::string> strings(count);
            for (std::string& s : strings) {
                std::size_t size = 0;
                if (!readAll(in, &size, sizeof size)) return;
                s.resize(size);
                if (!readAll(in, s.data(), size)) return;
            }
            if (strings.size() < 2) return;
            const Run run = runSlimming(strings[0], {strings.begin() + 2, strings.end()}, strings[1]);
            if (!writeAll(out, &run, sizeof run)) return;
        }
    }

    pid_t pid_ = -1;
    int toLauncher_ = -1;
    int fromLauncher_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fmt::print(stderr, "usage: {} PATH/TO/kelvaran-cli [pictures] [rtf|doc|jobs]\n", argv[0]);
        return 2;
    }
    Launcher launcher;  // before libvips starts its threads and the photos are made
    if (VIPS_INIT(argv[0])) return 1;
    const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const fs::path work = fs::temp_directory_path() / fmt::format("kelvaran-bench-{}", ::getpid());
    fs::create_directories(work / "config");

    std::vector<Photo> photos;
    std::size_t largestDecoded = 0;
    for (int i = 0; i < count; ++i) {
        photos.push_back(makePhoto(3 + 9.0 * i / std::max(1, count - 1), i + 1));
        largestDecoded = std::max(largestDecoded, static_cast<std::size_t>(photos.back().width) * photos.back().height * 3);
    }
    const bool asDoc = argc > 3 && std::string(argv[3]) == "doc";
    fs::path input = work / "photos.rtf";
    {
        std::ofstream out(input, std::ios::binary);
        out << rtfWith(photos);
    }
    if (asDoc) {
        // LibreOffice saves the same pictures into a Word 97-2003 file.
        const std::string command = fmt::format("cd '{}' && soffice --headless --convert-to doc photos.rtf >/dev/null 2>&1",
                                                work.string());
        if (std::system(command.c_str()) != 0 || !fs::exists(work / "photos.doc")) {
            fmt::print(stderr, "soffice could not save the document as .doc\n");
            return 1;
        }
        fs::remove(input);
        input = work / "photos.doc";
    }
    const auto inputBytes = fs::file_size(input);

    const double bare = barePipeline(photos);
    if (argc > 3 && std::string(argv[3]) == "jobs") {
        // Eight copies of the document, slimmed one after another and then
        // two at a time.
        std::vector<std::string> names;
        for (int i = 1; i <= 8; ++i) {
            const fs::path copy = work / fmt::format("photos-{}.rtf", i);
            fs::copy_file(input, copy);
            names.push_back(copy.string());
        }
        auto timed = [&](const char* jobs) {
            std::vector<std::string> args{"--jobs", jobs};
            args.insert(args.end(), names.begin(), names.end());
            return launcher.run(argv[1], args, work / "config");
        };
        const Run one = timed("1");
        const Run two = timed("2");
        fmt::print("8 documents of {} pictures, {:.1f} MB each\n", count, inputBytes / 1e6);
        fmt::print("--jobs 1 (exit {})         {:.2f} s\n", one.status, one.seconds);
        fmt::print("--jobs 2 (exit {})         {:.2f} s ({:.2f} x --jobs 1)\n", two.status, two.seconds,
                   one.seconds > 0 ? two.seconds / one.seconds : 0.0);
        std::error_code ignored;
        fs::remove_all(work, ignored);
        return one.status == 0 && two.status == 0 ? 0 : 1;
    }
    const Run run = launcher.run(argv[1], {input.string()}, work / "config");

    std::uintmax_t outputBytes = 0;
    for (const auto& entry : fs::directory_iterator(work)) {
        if (entry.path().filename().string().find("-slimmed-") != std::string::npos) outputBytes = entry.file_size();
    }
    fmt::print("pictures                 {}\n", count);
    fmt::print("input                    {:.1f} MB, output {:.1f} MB\n", inputBytes / 1e6, outputBytes / 1e6);
    fmt::print("bare libvips pipeline    {:.3f} s per picture\n", bare / count);
    fmt::print("kelvaran-cli (exit {})    {:.3f} s per picture ({:.2f} x the bare pipeline)\n", run.status,
               run.seconds / count, bare > 0 ? run.seconds / bare : 0.0);
    const double budgetMb = (3.0 * static_cast<double>(inputBytes) + static_cast<double>(largestDecoded)) / 1e6;
    fmt::print("peak memory              {:.1f} MB (budget 3 x input + largest decoded picture = {:.1f} MB)\n",
               run.peakKb / 1e3, budgetMb);
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return run.status == 0 ? 0 : 1;
}
