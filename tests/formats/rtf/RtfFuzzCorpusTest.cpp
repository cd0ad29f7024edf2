// Replays the RTF fuzz target's seed corpus and every crash file it has
// recorded, through the same entry function, in the normal test run.

#include "formats/rtf/RtfFuzzEntry.h"
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

namespace kelvaran::formats::rtf {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> filesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".rtf") {
            continue;
        }
        files[entry.path().filename().string()] = platform::readWholeFile(entry.path().string());
    }
    return files;
}

const fs::path kFuzz = fs::path(KELVARAN_SOURCE_DIR) / "fuzz";

TEST(RtfFuzzCorpus, EverySeedIsReadWrittenAndEdited) {
    const auto seeds = filesIn(kFuzz / "corpus" / "rtf_reader");
    ASSERT_GE(seeds.size(), 6u) << "the seed corpus is missing";
    for (const auto& [name, bytes] : seeds) {
        SCOPED_TRACE(name);
        const int result = exerciseRtf(bytes);
        if (name == "gen-text-only.rtf" || name == "japanese.rtf" || name == "field.rtf") {
            EXPECT_EQ(result, 1);
        } else {
            EXPECT_EQ(result, 2);
        }
    }
}

TEST(RtfFuzzCorpus, RecordedCrashesNoLongerCrash) {
    for (const auto& [name, bytes] : filesIn(kFuzz / "crashes" / "rtf_reader")) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseRtf(bytes));
    }
}

TEST(RtfFuzzCorpus, CutAndScrambledSeedsFailCleanly) {
    std::mt19937 random(7);
    for (const auto& [name, bytes] : filesIn(kFuzz / "corpus" / "rtf_reader")) {
        SCOPED_TRACE(name);
        for (std::size_t cut = 0; cut < bytes.size(); cut += std::max<std::size_t>(1, bytes.size() / 17)) {
            EXPECT_NO_THROW(exerciseRtf(bytes.substr(0, cut)));
        }
        // Structure characters and digits put in random places.
        static const char kNoise[] = "{}\\'0a9-*\x82 ";
        for (int round = 0; round < 40; ++round) {
            std::string scrambled = bytes;
            for (int i = 0; i < 4; ++i) {
                scrambled[random() % scrambled.size()] = kNoise[random() % (sizeof kNoise - 1)];
            }
            EXPECT_NO_THROW(exerciseRtf(scrambled));
        }
    }
}

}  // namespace
}  // namespace kelvaran::formats::rtf
