// The picture library's start: without its optional modules when asked, and
// begun aside without keeping the first picture from it.

#include "TestPictures.h"
#include "imaging/Imaging.h"
#include "platform/LibraryStart.h"

#include <vips/vips.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace kelvaran::imaging {
namespace {

// Loaders that only the optional modules bring (PDF, HEIF, JPEG XL,
// ImageMagick, OpenSlide).
bool moduleLoadersPresent() {
    for (const char* name : {"pdfload", "heifload", "jxlload", "magickload", "openslideload"}) {
        if (vips_type_find("VipsOperation", name) != 0) return true;
    }
    return false;
}

// Whether this machine has any of the modules installed where the library
// looks for them by default.
bool modulesInstalled() {
    const std::filesystem::path folder = std::filesystem::path(KELVARAN_VIPS_LIBDIR) /
                                         ("vips-modules-" + std::to_string(VIPS_MAJOR_VERSION) + "." +
                                          std::to_string(VIPS_MINOR_VERSION));
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".so") return true;
    }
    return false;
}

// Run in a process of its own, where the library has not started yet: exits
// 0 when the module loaders are there once it has.
[[noreturn]] void startAndTellModules(bool keepToBuiltIn) {
    if (keepToBuiltIn) keepToBuiltInCodecs();
    startPictureLibrary();
    std::exit(moduleLoadersPresent() ? 0 : 1);
}

// Run in a process of its own: starts the library aside and, at once, has
// the first picture drawn; exits 0 when the drawing is right.
[[noreturn]] void startAsideThenDraw() {
    startPictureLibraryAside();
    startPictureLibraryAside();  // a second call starts nothing more
    const std::string jpeg = encodeJpeg(test::gradient(64, 48), 90);
    const Image drawn = render(jpeg, PictureType::Jpeg, 32, 24);
    std::exit(drawn.width == 32 && drawn.height == 24 ? 0 : 1);
}

// Run in a process of its own: holds the shared start lock while the library
// starts aside; exits 0 when the start waited for it and then went through.
// (The library's start sets up the container library's types, which the
// document reader may be setting up on the main thread at the same time.)
[[noreturn]] void startAsideWhileTheStartLockIsHeld() {
    std::unique_lock<std::mutex> held(platform::libraryStartLock());
    std::atomic<bool> started{false};
    std::thread aside([&] {
        startPictureLibrary();
        started = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const bool early = started.load();
    held.unlock();
    aside.join();
    std::exit(!early && started.load() ? 0 : 1);
}

class LibraryStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Each case starts the library afresh in a child process of its own.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

TEST_F(LibraryStartTest, OptionalModulesAreLeftOutWhenAsked) {
    if (std::getenv("VIPSHOME") != nullptr) GTEST_SKIP() << "VIPSHOME is set for this run";
    if (!modulesInstalled()) GTEST_SKIP() << "no optional modules installed here";
    // Without the setting the modules installed here are loaded, so the
    // second check below can fail.
    EXPECT_EXIT(startAndTellModules(false), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(startAndTellModules(true), ::testing::ExitedWithCode(1), "");
}

TEST_F(LibraryStartTest, BuiltInCodecsStillWorkWithoutTheModules) {
    EXPECT_EXIT(
        {
            keepToBuiltInCodecs();
            const std::string jpeg = encodeJpeg(test::gradient(40, 30), 85);
            const std::string png = encodePng(test::gradient(40, 30));
            const std::string gif = encodeGif(test::gradient(40, 30));
            const bool ok = decode(jpeg, PictureType::Jpeg).width == 40 && decode(png, PictureType::Png).width == 40 &&
                            decode(gif, PictureType::Gif).width == 40;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(LibraryStartTest, TheStartWaitsForTheSharedStartLock) {
    EXPECT_EXIT(startAsideWhileTheStartLockIsHeld(), ::testing::ExitedWithCode(0), "");
}

TEST_F(LibraryStartTest, FirstPictureMeetsTheStartBegunAside) {
    EXPECT_EXIT(startAsideThenDraw(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kelvaran::imaging
