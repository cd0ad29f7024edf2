// Slims a generated RTF holding photo-like JPEGs of 3 to 12 megapixels (or
// the same document saved as Word 97-2003 by LibreOffice, with "doc") with
// the real command-line program, and sets its time beside one vipsthumbnail
// process that shrinks the same pictures to the same pixel size at the same
// JPEG quality (85): the least any tool that recompresses them does.  Peak
// memory of the slimming process comes from wait4's resource usage.
//
// Usage: bench_document_slim PATH/TO/kelvaran-cli [pictures] [rtf|doc|jobs] [rounds]
// "jobs" slims eight copies of the RTF with --jobs 1 and then --jobs 2.
// The two programs run one after the other `rounds` times (5 unless told),
// and the medians are compared: on a shared machine a single run's time
// varies by a fifth or more.

#include "bench/BenchSupport.h"

#include <algorithm>
#include <fstream>

using namespace kelvaran::bench;

namespace {

// Each photo shown 15 cm wide, aspect kept; the program draws it at the
// default ratio 1.5 of its displayed size at 96 pixels an inch.
constexpr double kShownWidthPt = 15 / 2.54 * 72;
constexpr double kRatio = 1.5;

// The median of the times over several runs (each on its own: the figures
// need not come from one run), the largest peak memory and the worst exit
// status.
Run medianRun(const std::vector<Run>& runs) {
    auto median = [&](auto field) {
        std::vector<double> values;
        for (const Run& r : runs) values.push_back(static_cast<double>(field(r)));
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    };
    Run out;
    out.seconds = median([](const Run& r) { return r.seconds; });
    out.cpuSeconds = median([](const Run& r) { return r.cpuSeconds; });
    out.status = 0;
    for (const Run& r : runs) {
        out.peakKb = std::max(out.peakKb, r.peakKb);
        if (r.status != 0) out.status = r.status;
    }
    return out;
}

std::string rtfWith(const std::vector<Photo>& photos) {
    std::string rtf = rtfHead();
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const Photo& p = photos[i];
        const int goalW = static_cast<int>(kShownWidthPt * 20);
        const int goalH = static_cast<int>(kShownWidthPt * 20 * p.height / p.width);
        rtf += fmt::format("{{\\pard Photo {}\\par}}\n{{\\pard", i + 1);
        appendPict(rtf, "jpegblip", p.jpeg, p.width, p.height, goalW, goalH);
        rtf += "\\par}\n";
    }
    return rtf + "}\n";
}

// One vipsthumbnail process over every photo, to the width the program draws.
Run thumbnails(Launcher& launcher, const std::vector<Photo>& photos, const fs::path& work) {
    const int width = static_cast<int>(std::lround(static_cast<int>(kShownWidthPt * 20) / 20.0 * kRatio / 72 * 96));
    std::vector<std::string> args{"vipsthumbnail", "--size", std::to_string(width) + "x", "-o",
                                  (work / "%s-small.jpg[Q=85,optimize_coding,strip]").string()};
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const fs::path file = work / fmt::format("photo-{}.jpg", i + 1);
        std::ofstream(file, std::ios::binary) << photos[i].jpeg;
        args.push_back(file.string());
    }
    return launcher.run(args, work / "config");
}

int jobs(Launcher& launcher, const std::string& cli, const fs::path& input, const fs::path& work, int count) {
    // Eight copies of the document, slimmed one after another and then two at a time.
    std::vector<std::string> names;
    for (int i = 1; i <= 8; ++i) {
        const fs::path copy = work / fmt::format("photos-{}.rtf", i);
        fs::copy_file(input, copy);
        names.push_back(copy.string());
    }
    auto timed = [&](const char* jobCount) {
        std::vector<std::string> args{cli, "--jobs", jobCount};
        args.insert(args.end(), names.begin(), names.end());
        return launcher.run(args, work / "config");
    };
    const Run one = timed("1");
    const Run two = timed("2");
    fmt::print("8 documents of {} pictures, {:.1f} MB each\n", count, fs::file_size(input) / 1e6);
    fmt::print("--jobs 1 (exit {})         {:.2f} s\n", one.status, one.seconds);
    fmt::print("--jobs 2 (exit {})         {:.2f} s ({:.2f} x --jobs 1)\n", two.status, two.seconds,
               one.seconds > 0 ? two.seconds / one.seconds : 0.0);
    return one.status == 0 && two.status == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fmt::print(stderr, "usage: {} PATH/TO/kelvaran-cli [pictures] [rtf|doc|jobs]\n", argv[0]);
        return 2;
    }
    Launcher launcher;  // before libvips starts its threads and the photos are made
    if (VIPS_INIT(argv[0])) return 1;
    const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const std::string mode = argc > 3 ? argv[3] : "rtf";
    WorkFolder folder("photos");
    const fs::path& work = folder.path();

    std::vector<Photo> photos;
    std::size_t largestDecoded = 0;
    for (int i = 0; i < count; ++i) {
        photos.push_back(makePhoto(3 + 9.0 * i / std::max(1, count - 1), i + 1));
        largestDecoded = std::max(largestDecoded, static_cast<std::size_t>(photos.back().width) * photos.back().height * 4);
    }
    fs::path input = work / "photos.rtf";
    std::ofstream(input, std::ios::binary) << rtfWith(photos);
    if (mode == "doc") {
        // LibreOffice saves the same pictures into a Word 97-2003 file.
        const std::string command =
            fmt::format("cd '{}' && soffice -env:UserInstallation=file://{}/lo --headless --convert-to doc photos.rtf "
                        ">/dev/null 2>&1",
                        work.string(), work.string());
        if (std::system(command.c_str()) != 0 || !fs::exists(work / "photos.doc")) {
            fmt::print(stderr, "soffice could not save the document as .doc\n");
            return 1;
        }
        fs::remove(input);
        input = work / "photos.doc";
    }
    if (mode == "jobs") return jobs(launcher, argv[1], input, work, count);

    const auto inputBytes = fs::file_size(input);
    const int rounds = argc > 4 ? std::clamp(std::atoi(argv[4]), 1, 99) : 5;
    std::vector<Run> yardsticks, runs;
    for (int round = 0; round < rounds; ++round) {
        yardsticks.push_back(thumbnails(launcher, photos, work));
        for (const auto& entry : fs::directory_iterator(work)) {
            if (entry.path().filename().string().find("-slimmed-") != std::string::npos) fs::remove(entry.path());
        }
        runs.push_back(launcher.run({argv[1], input.string()}, folder.config()));
    }
    const Run yardstick = medianRun(yardsticks);
    const Run run = medianRun(runs);

    std::uintmax_t outputBytes = 0;
    for (const auto& entry : fs::directory_iterator(work)) {
        if (entry.path().filename().string().find("-slimmed-") != std::string::npos) outputBytes = entry.file_size();
    }
    fmt::print("pictures                 {}\n", count);
    fmt::print("input                    {:.1f} MB, output {:.1f} MB\n", inputBytes / 1e6, outputBytes / 1e6);
    fmt::print("rounds                   {} (medians below)\n", rounds);
    fmt::print("vipsthumbnail (exit {})   {:.3f} s per picture, {:.2f} s in all, processor {:.2f} s\n", yardstick.status,
               yardstick.seconds / count, yardstick.seconds, yardstick.cpuSeconds);
    fmt::print("kelvaran-cli (exit {})    {:.3f} s per picture, {:.2f} s in all, processor {:.2f} s ({:.2f} x vipsthumbnail)\n",
               run.status, run.seconds / count, run.seconds, run.cpuSeconds,
               yardstick.seconds > 0 ? run.seconds / yardstick.seconds : 0.0);
    const double budgetMb = (2.0 * static_cast<double>(inputBytes) + 64e6 + static_cast<double>(largestDecoded)) / 1e6;
    fmt::print("peak memory              {:.1f} MB (budget 2 x input + 64 MB + largest decoded picture = {:.1f} MB)\n",
               run.peakKb / 1e3, budgetMb);
    return run.status == 0 && yardstick.status == 0 ? 0 : 1;
}
