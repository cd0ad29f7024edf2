// Replays the RTF fuzz target's seed corpus and every crash file it has
// recorded, through the same entry function, in the normal test run.

#include "fuzz/RtfFuzzEntry.h"

#include "tests/support/FuzzFiles.h"

#include <gtest/gtest.h>

#include <random>

namespace kelvaran::formats::rtf {
namespace {

TEST(RtfFuzzCorpus, EverySeedIsReadWrittenEditedAndReadBack) {
    const auto seeds = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "corpus" / "rtf_reader");
    ASSERT_GE(seeds.size(), 15u) << "the seed corpus is missing";
    // Every picture keyword is in a seed.
    std::string all;
    for (const auto& seed : seeds) all += seed.second;
    for (const char* keyword : {"\\wbitmap", "\\dibitmap", "\\pmmetafile", "\\macpict", "\\bin", "\\emfblip",
                                "\\wmetafile", "\\jpegblip", "\\pngblip", "\\shpgrp", "\\object"})
        EXPECT_NE(all.find(keyword), std::string::npos) << keyword;
    for (const auto& [name, bytes] : seeds) {
        SCOPED_TRACE(name);
        const int result = exerciseRtf(bytes);
        // field.rtf: the linked picture is no picture of the text; the
        // header's, alone in its group, is replaced in its place.  The
        // text-only seeds have nothing to edit.
        if (name == "gen-text-only.rtf" || name == "japanese.rtf" || name == "spelled-runs.rtf") {
            EXPECT_EQ(result, 1);
        } else {
            EXPECT_EQ(result, 2);
        }
    }
}

TEST(RtfFuzzCorpus, RecordedCrashesNoLongerCrash) {
    for (const auto& [name, bytes] : kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "crashes" / "rtf_reader")) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseRtf(bytes));
    }
}

// What the fuzzer found new coverage with, kept minimised in fuzz/found.
TEST(RtfFuzzCorpus, FoundInputsAreHandled) {
    const auto found = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "found" / "rtf_reader");
    ASSERT_FALSE(found.empty()) << "the found corpus is missing";
    for (const auto& [name, bytes] : found) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseRtf(bytes));
    }
}

TEST(RtfFuzzCorpus, CutAndScrambledSeedsFailCleanly) {
    std::mt19937 random(7);
    for (const auto& [name, bytes] : kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "corpus" / "rtf_reader")) {
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
