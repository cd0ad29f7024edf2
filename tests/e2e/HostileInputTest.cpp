// Hostile documents, made at test time, through the command-line program:
// each ends with a clear reason in the report, the input as it was, nothing
// left beside it or in the temporary folder, and the program's memory within
// 512 MB.

#include "formats/rtf/RtfFormat.h"
#include "platform/AtomicFile.h"

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kelvaran::e2e {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::string rtf(const std::string& body) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\pard " + body + "\\par}";
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 64 == 0) out += "\r\n";
        out += digits[static_cast<unsigned char>(bytes[i]) >> 4];
        out += digits[static_cast<unsigned char>(bytes[i]) & 15];
    }
    return out + "\r\n";
}

void put32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void put32be(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void pngChunk(std::string& png, const char* type, const std::string& data) {
    put32be(png, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png += body;
    put32be(png, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                  static_cast<uInt>(body.size()))));
}

// A one-pixel PNG carrying `comment` bytes of text, so that it is worth
// replacing by a picture of many pixels.
std::string onePixelPng(std::size_t comment) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32be(header, 1);
    put32be(header, 1);
    header += std::string("\x08\x02\x00\x00\x00", 5);
    pngChunk(png, "IHDR", header);
    std::string text = "Comment";
    text += '\0';
    for (std::size_t i = 0; i < comment; ++i) text += static_cast<char>('a' + (i * 7919) % 26);
    pngChunk(png, "tEXt", text);
    const std::string pixel("\0\x30\x60\x90", 4);
    uLongf packedSize = compressBound(static_cast<uLong>(pixel.size()));
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(pixel.data()),
              static_cast<uLong>(pixel.size()), 9);
    packed.resize(packedSize);
    pngChunk(png, "IDAT", packed);
    pngChunk(png, "IEND", "");
    return png;
}

// An 8-bit run-length bitmap (two colours) of width x height whose rows are
// `rows`, ended by the end-of-bitmap code.
std::string runLengthDib(std::int32_t width, std::int32_t height, const std::string& rows) {
    std::string dib;
    for (std::uint32_t v : {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)}) put32(dib, v);
    dib += std::string("\x01\x00\x08\x00", 4);
    for (std::uint32_t v : {1u, 0u, 0u, 0u, 2u, 0u, 0x000000FFu, 0x00FFFFFFu}) put32(dib, v);
    return dib + rows + std::string("\x00\x01", 2);
}

// A gradient PNG of width x height (for pictures that are fine).
std::string gradientPng(int width, int height) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            raw += static_cast<char>(x * 255 / width);
            raw += static_cast<char>(y * 255 / height);
            raw += static_cast<char>((x * y) % 251);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    packed.resize(packedSize);
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32be(header, static_cast<std::uint32_t>(width));
    put32be(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    pngChunk(png, "IHDR", header);
    pngChunk(png, "IDAT", packed);
    pngChunk(png, "IEND", "");
    return png;
}

std::string pict(const std::string& words, const std::string& data) { return "{\\pict" + words + " " + hex(data) + "}"; }

std::string floatingPicture(const std::string& pictGroup) {
    return "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright1440\\shpbottom1440\\shpwr2\\shpwrk1\\shpz1"
           "{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn pib}{\\sv " + pictGroup + "}}}}";
}

struct Outcome {
    int status = -1;
    long peakKilobytes = 0;
    std::string errors;
    std::vector<json> objects;
    json document;
};

class HostileInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kelvaran-hostile-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "docs");
        fs::create_directories(dir_ / "tmp");
        fs::create_directories(dir_ / "config");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the program on `bytes` saved as docs/NAME with `options`; the
    // environment gets `extra` ("NAME=value") on top.
    Outcome slim(const std::string& name, const std::string& bytes, std::vector<std::string> options,
                 const std::vector<std::string>& extra = {}) {
        input_ = dir_ / "docs" / name;
        {
            std::ofstream out(input_, std::ios::binary);
            out << bytes;
        }
        const fs::path report = dir_ / "report.jsonl";
        std::vector<std::string> args{KELVARAN_CLI, "--report", report.string()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(input_.string());
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("TMPDIR=", 0) != 0 && entry.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
                entry.rfind("KELVARAN_PICTURE_SECONDS=", 0) != 0)
                env.push_back(entry);
        }
        env.push_back("TMPDIR=" + (dir_ / "tmp").string());
        env.push_back("XDG_CONFIG_HOME=" + (dir_ / "config").string());
        env.insert(env.end(), extra.begin(), extra.end());

        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        const std::string errorsPath = (dir_ / "errors.txt").string();
        posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&files, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t child = 0;
        Outcome outcome;
        const int spawned = posix_spawn(&child, argv[0], &files, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&files);
        if (spawned != 0) {
            ADD_FAILURE() << "the program could not be started";
            return outcome;
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.peakKilobytes = usage.ru_maxrss;
        outcome.errors = platform::readWholeFile(errorsPath);
        std::istringstream lines(platform::readWholeFile(report.string()));
        for (std::string line; std::getline(lines, line);) {
            const json record = json::parse(line);
            if (record["record"] == "object") outcome.objects.push_back(record);
            if (record["record"] == "document") outcome.document = record;
        }
        fs::remove(report);
        fs::remove(errorsPath);
        return outcome;
    }

    // The input as it was, only the expected copy beside it (if any), an
    // empty temporary folder, and the memory the program took within 512 MB.
    void expectNothingLost(const Outcome& outcome, const std::string& bytes, bool copyWritten) {
        EXPECT_EQ(platform::readWholeFile(input_.string()), bytes) << "the input was changed";
        std::vector<std::string> beside;
        for (const auto& entry : fs::directory_iterator(dir_ / "docs")) {
            if (entry.path() != input_) beside.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(beside.size(), copyWritten ? 1u : 0u) << ::testing::PrintToString(beside);
        if (copyWritten && beside.size() == 1) {
            EXPECT_NE(beside[0].find("-slimmed-"), std::string::npos);
        }
        EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
        if (!kSanitized) {
            EXPECT_LT(outcome.peakKilobytes, 512 * 1024) << "peak memory in KB";
        }
        EXPECT_EQ(outcome.status, 0) << outcome.errors;
    }

    fs::path dir_;
    fs::path input_;
};

TEST_F(HostileInputTest, ADeviceBitmapDeclaringRowsItHasNotIsLeftAsItIs) {
    // 16 KB whose rows of one declared byte once became 8,000 rows of
    // 262,140 bytes each when the document was opened.
    const std::string bytes = rtf(pict("\\wbitmap0\\picw65535\\pich8000\\wbmbitspixel32\\wbmplanes1\\wbmwidthbytes1"
                                       "\\picwgoal1440\\pichgoal1440",
                                       std::string(8000, '\0')));
    const Outcome outcome = slim("wbitmap.rtf", bytes, {"--min-size", "0"});
    EXPECT_TRUE(outcome.objects.empty());
    EXPECT_EQ(outcome.document["outcome"], "unchanged") << outcome.document.dump();
    expectNothingLost(outcome, bytes, false);
}

TEST_F(HostileInputTest, RunLengthBitmapsDeclaringHugeSizesFailWithTheirReason) {
    std::string rows;
    for (int y = 0; y < 9999; ++y) rows += y % 3 == 0 ? std::string("\x03\x01\x00\x00", 4) : std::string("\x00\x00", 2);
    const std::string square = runLengthDib(9999, 9999, rows);  // some 26 KB for 100 megapixels
    const std::string tall = runLengthDib(4, 16777215, "");     // 50 bytes for 67 megapixels
    const std::string bytes = rtf(pict("\\dibitmap0\\picwgoal1440\\pichgoal1440", square) + " and " +
                                  floatingPicture(pict("\\dibitmap0\\picwgoal1440\\pichgoal1440", tall)));
    const Outcome outcome = slim("bitmaps.rtf", bytes, {"--min-size", "0"});
    ASSERT_EQ(outcome.objects.size(), 2u) << outcome.errors;
    for (const json& object : outcome.objects) EXPECT_EQ(object["decision"], "failed") << object.dump();
    EXPECT_EQ(outcome.objects[0]["placement"], "inline");
    EXPECT_NE(outcome.objects[0]["reason"].get<std::string>().find("too large to draw"), std::string::npos);
    EXPECT_EQ(outcome.objects[1]["placement"], "floating");
    EXPECT_NE(outcome.objects[1]["reason"].get<std::string>().find("bytes of runs can paint"), std::string::npos);
    EXPECT_EQ(outcome.document["outcome"], "unchanged");
    expectNothingLost(outcome, bytes, false);
}

TEST_F(HostileInputTest, APictureShownLargerThanAnyPageIsDrawnForTheLargestPage) {
    // One pixel displayed 4,900 points wide: drawn for the largest page (22
    // inches) at the ratio asked for, and still shown 4,900 points wide.
    const std::string bytes = rtf(pict("\\pngblip\\picw1\\pich1\\picwgoal98000\\pichgoal98000", onePixelPng(200000)));
    const Outcome outcome = slim("huge.rtf", bytes, {"--min-size", "0", "--ratio", "1.5", "--format", "PNG"});
    ASSERT_EQ(outcome.objects.size(), 1u) << outcome.errors;
    EXPECT_EQ(outcome.objects[0]["decision"], "replaced") << outcome.objects[0].dump();
    EXPECT_EQ(outcome.objects[0]["displayed_width"], 4900);
    expectNothingLost(outcome, bytes, true);
    const std::string copy = outcome.document["output"].get<std::string>();
    const auto slimmed = formats::rtf::readRtf(std::make_shared<const std::string>(platform::readWholeFile(copy)));
    ASSERT_EQ(slimmed.inlines.size(), 1u);
    EXPECT_NEAR(slimmed.inlines[0].widthPt, 4900, 0.5);
    EXPECT_NEAR(slimmed.inlines[0].heightPt, 4900, 0.5);
    EXPECT_EQ(slimmed.inlines[0].picture.pixelWidth, 3168);  // 1584 pt x 1.5 at 96 pixels an inch
    EXPECT_EQ(slimmed.inlines[0].picture.pixelHeight, 3168);
}

TEST_F(HostileInputTest, AnObjectThatTakesLongerThanItsTimeIsLeftAsItWas) {
    const std::string png = gradientPng(400, 300);
    const std::string bytes = rtf(pict("\\pngblip\\picwgoal6000\\pichgoal4500", png) + " and " +
                                  floatingPicture(pict("\\pngblip\\picwgoal6000\\pichgoal4500", png)));
    const Outcome outcome = slim("slow.rtf", bytes, {"--min-size", "0"}, {"KELVARAN_PICTURE_SECONDS=0.001"});
    ASSERT_EQ(outcome.objects.size(), 2u) << outcome.errors;
    for (const json& object : outcome.objects) {
        EXPECT_EQ(object["decision"], "failed") << object.dump();
        // The time may run out while the picture is drawn or while it is
        // stored, which then says so first; a loaded machine decides which.
        const std::string reason = object.value("reason", std::string());
        EXPECT_TRUE(reason == "converting the object took longer than 0.001 s" ||
                    reason == "the picture cannot be stored: converting the object took longer than 0.001 s")
            << reason;
    }
    EXPECT_EQ(outcome.document["outcome"], "unchanged");
    expectNothingLost(outcome, bytes, false);

    // With the usual time the same document is slimmed.
    const Outcome usual = slim("slow.rtf", bytes, {"--min-size", "0"});
    ASSERT_EQ(usual.objects.size(), 2u);
    EXPECT_EQ(usual.objects[0]["decision"], "replaced") << usual.objects[0].dump();
    EXPECT_TRUE(usual.objects[0]["reason"].is_null());
    expectNothingLost(usual, bytes, true);
}

}  // namespace
}  // namespace kelvaran::e2e
