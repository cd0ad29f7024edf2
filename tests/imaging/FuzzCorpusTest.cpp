// Replays the decoder fuzz target's seed corpus and every crash file it has
// recorded, through the same entry function, in the normal test run.

#include "imaging/DecodeFuzzEntry.h"
#include "imaging/Imaging.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace kelvaran::imaging {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> filesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename().string().starts_with(".")) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

const fs::path kFuzz = fs::path(KELVARAN_SOURCE_DIR) / "fuzz";

TEST(DecodeFuzzCorpus, EverySeedDecodesAndSurvivesEveryEncoder) {
    auto seeds = filesIn(kFuzz / "corpus" / "imaging_decode");
    ASSERT_GE(seeds.size(), 10u) << "the seed corpus is missing";
    for (const auto& [name, bytes] : seeds) {
        SCOPED_TRACE(name);
        const PictureType type = sniff(bytes);
        if (type == PictureType::Pict) {
            // Recognised but never drawn.
            EXPECT_EQ(exerciseDecoders(bytes), 0);
            continue;
        }
        EXPECT_NE(type, PictureType::Unknown);
        // Size, rendering and the four encoders all succeed on a good seed.
        EXPECT_EQ(exerciseDecoders(bytes), 6);
    }
}

TEST(DecodeFuzzCorpus, RecordedCrashesNoLongerCrash) {
    for (const auto& [name, bytes] : filesIn(kFuzz / "crashes" / "imaging_decode")) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseDecoders(bytes));
    }
}

TEST(DecodeFuzzCorpus, TruncationsOfEverySeedFailCleanly) {
    for (const auto& [name, bytes] : filesIn(kFuzz / "corpus" / "imaging_decode")) {
        SCOPED_TRACE(name);
        for (std::size_t cut = 0; cut < bytes.size(); cut += std::max<std::size_t>(1, bytes.size() / 13))
            EXPECT_NO_THROW(exerciseDecoders(bytes.substr(0, cut))) << cut;
    }
}

}  // namespace
}  // namespace kelvaran::imaging
