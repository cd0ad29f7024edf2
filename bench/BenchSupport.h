#pragma once

// What the whole-program benchmarks share: photo-like pictures, the
// command-line program run in a child process with its time and peak memory,
// and a fresh work folder.

#include <fcntl.h>
#include <fmt/core.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips8>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace kelvaran::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Photo {
    int width = 0;
    int height = 0;
    std::string jpeg;
};

// Gaussian noise over smooth colour ramps compresses about as a photograph does.
inline Photo makePhoto(double megapixels, int seed) {
    using vips::VImage;
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

// A picture group of RTF: the bytes in hexadecimal, 64 bytes a line.
inline void appendPict(std::string& rtf, const std::string& blip, const std::string& bytes, int width, int height,
                       int goalWidth, int goalHeight) {
    static const char* hex = "0123456789abcdef";
    rtf += fmt::format("{{\\pict\\{}\\picw{}\\pich{}\\picwgoal{}\\pichgoal{}\n", blip, width, height, goalWidth,
                       goalHeight);
    rtf.reserve(rtf.size() + bytes.size() * 2 + bytes.size() / 32 + 16);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const auto c = static_cast<unsigned char>(bytes[k]);
        rtf += hex[c >> 4];
        rtf += hex[c & 15];
        if (k % 64 == 63) rtf += '\n';
    }
    rtf += "}";
}

inline std::string rtfHead() { return "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 IPAGothic;}}\n"; }

struct Run {
    int status = -1;
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time together
    long peakKb = 0;
};

// Runs a program with standard output thrown away; its time and the peak
// memory wait4 reports for it.
inline Run runProgram(std::vector<std::string> args, const fs::path& config) {
    setenv("KELVARAN_CONFIG_DIR", config.c_str(), 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = Clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, args.front().c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.seconds = secondsSince(start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKb = usage.ru_maxrss;
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

// Starts the programs from a process forked while this one is still small.
// Linux carries the peak memory of the address space a process leaves at exec
// into its resource usage, and a process started from here leaves this one's
// (the pictures and libvips' buffers, a few hundred MB): the figure would
// then show the benchmark's own peak whenever the program stays below it.
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

    // Runs `args` (the program first) with `config` as its configuration folder.
    Run run(const std::vector<std::string>& args, const fs::path& config) {
        std::vector<std::string> request{config.string()};
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
            const Run run = runProgram({strings.begin() + 1, strings.end()}, strings[0]);
            if (!writeAll(out, &run, sizeof run)) return;
        }
    }

    pid_t pid_ = -1;
    int toLauncher_ = -1;
    int fromLauncher_ = -1;
};

// A fresh folder in the temporary folder, removed with everything in it.
class WorkFolder {
public:
    explicit WorkFolder(const std::string& name)
        : path_(fs::temp_directory_path() / fmt::format("kelvaran-bench-{}-{}", name, ::getpid())) {
        fs::create_directories(path_ / "config");
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path config() const { return path_ / "config"; }

private:
    fs::path path_;
};

}  // namespace kelvaran::bench
