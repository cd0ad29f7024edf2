// Runs the real command-line program on hostile documents made here and
// prints, for each, the time it took (wall clock and processor), its peak
// memory and what the report says of the document and its objects.  Every
// case should end well within 10 s and 512 MB with a clear reason.
//
// Usage: bench_hostile_inputs PATH/TO/kelvaran-cli
// The work folder is a fresh temporary folder, removed at the end.

#include <fcntl.h>
#include <fmt/core.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

void put32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void put32be(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2 + bytes.size() / 32);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 64 == 0) out += "\r\n";
        out += digits[static_cast<unsigned char>(bytes[i]) >> 4];
        out += digits[static_cast<unsigned char>(bytes[i]) & 15];
    }
    return out;
}

std::string rtf(const std::string& body) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\pard " + body + "\\par}";
}

std::string pict(const std::string& words, const std::string& data) { return "{\\pict" + words + " " + hex(data) + "}"; }

void pngChunk(std::string& png, const char* type, const std::string& data) {
    put32be(png, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png += body;
    put32be(png, static_cast<std::uint32_t>(
                     crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

std::string onePixelPng(std::size_t comment) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32be(header, 1);
    put32be(header, 1);
    header += std::string("\x08\x02\x00\x00\x00", 5);
    pngChunk(png, "IHDR", header);
    pngChunk(png, "tEXt", "Comment" + std::string(1, '\0') + std::string(comment, 'k'));
    const std::string pixel("\0\x30\x60\x90", 4);
    uLongf packedSize = compressBound(4);
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(pixel.data()), 4, 9);
    packed.resize(packedSize);
    pngChunk(png, "IDAT", packed);
    pngChunk(png, "IEND", "");
    return png;
}

std::string runLengthDib(std::int32_t width, std::int32_t height, const std::string& rows) {
    std::string dib;
    for (std::uint32_t v : {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)}) put32(dib, v);
    dib += std::string("\x01\x00\x08\x00", 4);
    for (std::uint32_t v : {1u, 0u, 0u, 0u, 2u, 0u, 0x00FFFFFFu, 0x00FF0000u}) put32(dib, v);
    return dib + rows + std::string("\x00\x01", 2);
}

// An enhanced metafile of 1000 x 1000 device units whose records are
// `count` copies of `record` (each a whole record).
std::string emfOf(const std::string& record, int count) {
    std::string emf;
    for (std::uint32_t v : {1u, 108u, 0u, 0u, 999u, 999u, 0u, 0u, 26458u, 26458u, 0x464D4520u, 0x10000u, 0u,
                            static_cast<std::uint32_t>(count + 2), 0u, 0u, 0u, 0u, 1000u, 1000u, 264u, 264u, 0u, 0u,
                            0u, 0u, 0u})
        put32(emf, v);
    emf.reserve(emf.size() + record.size() * static_cast<std::size_t>(count) + 20);
    for (int i = 0; i < count; ++i) emf += record;
    for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u}) put32(emf, v);
    const auto total = static_cast<std::uint32_t>(emf.size());
    emf.replace(48, 4, std::string(reinterpret_cast<const char*>(&total), 4));
    return emf;
}

std::string rectangle() {
    std::string record;
    for (std::uint32_t v : {43u, 24u, 0u, 0u, 999u, 999u}) put32(record, v);
    return record;
}

struct Case {
    std::string name;
    std::string document;
    std::vector<std::string> options;
};

std::vector<Case> cases() {
    std::vector<Case> all;
    all.push_back({"16 KB \\wbitmap declaring 8,000 rows of 262,140 bytes",
                   rtf(pict("\\wbitmap0\\picw65535\\pich8000\\wbmbitspixel32\\wbmplanes1\\wbmwidthbytes1"
                            "\\picwgoal1440\\pichgoal1440",
                            std::string(8000, '\0'))),
                   {"--min-size", "0"}});
    all.push_back({"1x1 PNG shown 4,900 pt wide",
                   rtf(pict("\\pngblip\\picwgoal98000\\pichgoal98000", onePixelPng(200000))),
                   {"--min-size", "0", "--format", "PNG"}});
    std::string rows;
    for (int y = 0; y < 9999; ++y) rows += y % 3 == 0 ? std::string("\x03\x01\x00\x00", 4) : std::string("\0\0", 2);
    all.push_back({"run-length bitmap of 9999 x 9999 pixels",
                   rtf(pict("\\dibitmap0\\picwgoal1440\\pichgoal1440", runLengthDib(9999, 9999, rows))),
                   {"--min-size", "0"}});
    all.push_back({"46-byte bitmap of 4 x 16.7 million pixels",
                   rtf(pict("\\dibitmap0\\picwgoal1440\\pichgoal1440", runLengthDib(4, 16777215, ""))),
                   {"--min-size", "0"}});
    all.push_back({"metafile of 200,001 rectangles",
                   rtf(pict("\\emfblip\\picwgoal14400\\pichgoal14400", emfOf(rectangle(), 200'001))),
                   {"--min-size", "0"}});
    all.push_back({"metafile of 45,000 rectangles over the whole picture",
                   rtf(pict("\\emfblip\\picwgoal20000\\pichgoal20000", emfOf(rectangle(), 45'000))),
                   {"--min-size", "0"}});
    return all;
}

struct Run {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long peakKilobytes = 0;
    int status = -1;
};

Run slim(const std::string& cli, const fs::path& work, const fs::path& input, const std::vector<std::string>& options,
         const fs::path& report) {
    std::vector<std::string> args{cli, "--quiet", "--report", report.string()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(input.string());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back("TMPDIR=" + (work / "tmp").string());
    env.push_back("XDG_CONFIG_HOME=" + (work / "config").string());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], &files, nullptr, argv.data(), envp.data()) != 0) return run;
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakKilobytes = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// "decision: reason" of every object record, and the document's outcome.
std::string summary(const fs::path& report) {
    std::ifstream in(report);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        auto field = [&line](const std::string& name) {
            const std::string key = "\"" + name + "\":";
            const std::size_t at = line.find(key);
            if (at == std::string::npos) return std::string();
            const std::size_t from = at + key.size();
            if (line[from] != '"') return line.substr(from, line.find_first_of(",}", from) - from);
            return line.substr(from + 1, line.find('"', from + 1) - from - 1);
        };
        if (line.find("\"record\":\"object\"") != std::string::npos) {
            out += "  object " + field("decision");
            if (field("reason") != "null") out += ": " + field("reason");
            out += "\n";
        } else if (line.find("\"record\":\"document\"") != std::string::npos) {
            out += "  document " + field("outcome") + "\n";
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fmt::print(stderr, "usage: {} PATH/TO/kelvaran-cli\n", argv[0]);
        return 2;
    }
    const fs::path work = fs::temp_directory_path() / ("kelvaran-bench-hostile-" + std::to_string(::getpid()));
    fs::create_directories(work / "tmp");
    fs::create_directories(work / "config");
    fmt::print("{:<52} {:>8} {:>8} {:>9}\n", "case", "wall s", "cpu s", "peak MB");
    for (const Case& c : cases()) {
        const fs::path input = work / "hostile.rtf";
        std::ofstream(input, std::ios::binary) << c.document;
        const fs::path report = work / "report.jsonl";
        const Run run = slim(argv[1], work, input, c.options, report);
        fmt::print("{:<52} {:>8.2f} {:>8.2f} {:>9.0f}\n{}", c.name, run.wallSeconds, run.cpuSeconds,
                   static_cast<double>(run.peakKilobytes) / 1024, summary(report));
        for (const auto& entry : fs::directory_iterator(work)) {
            if (entry.is_regular_file()) fs::remove(entry.path());
        }
    }
    fs::remove_all(work);
    return 0;
}
