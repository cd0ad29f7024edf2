// Replays the decoder fuzz target's seed corpus and every crash file it has
// recorded, through the same entry function, in the normal test run.

#include "fuzz/DecodeFuzzEntry.h"
#include "imaging/Imaging.h"

#include "tests/support/FuzzFiles.h"

#include <gtest/gtest.h>

namespace kelvaran::imaging {
namespace {

TEST(DecodeFuzzCorpus, EverySeedDecodesAndSurvivesEveryEncoder) {
    auto seeds = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "corpus" / "imaging_decode");
    ASSERT_GE(seeds.size(), 10u) << "the seed corpus is missing";
    for (const auto& [name, bytes] : seeds) {
        SCOPED_TRACE(name);
        const PictureType type = sniff(bytes);
        if (name == "frame.pict") {
            // A PICT cut short after its header: its frame gives the size,
            // its drawing is refused.
            EXPECT_EQ(type, PictureType::Pict);
            EXPECT_EQ(exerciseDecoders(bytes), 1);
            continue;
        }
        EXPECT_NE(type, PictureType::Unknown);
        // Size, rendering and the four encoders all succeed on a good seed.
        EXPECT_EQ(exerciseDecoders(bytes), 6);
    }
}

TEST(DecodeFuzzCorpus, RecordedCrashesNoLongerCrash) {
    for (const auto& [name, bytes] : kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "crashes" / "imaging_decode")) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseDecoders(bytes));
    }
}

// What the fuzzer found new coverage with, kept minimised in fuzz/found.
TEST(DecodeFuzzCorpus, FoundInputsAreHandled) {
    const auto found = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "found" / "imaging_decode");
    ASSERT_FALSE(found.empty()) << "the found corpus is missing";
    for (const auto& [name, bytes] : found) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseDecoders(bytes));
    }
}

TEST(DecodeFuzzCorpus, TruncationsOfEverySeedFailCleanly) {
    for (const auto& [name, bytes] : kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "corpus" / "imaging_decode")) {
        SCOPED_TRACE(name);
        for (std::size_t cut = 0; cut < bytes.size(); cut += std::max<std::size_t>(1, bytes.size() / 13))
            EXPECT_NO_THROW(exerciseDecoders(bytes.substr(0, cut))) << cut;
    }
}

}  // namespace
}  // namespace kelvaran::imaging
