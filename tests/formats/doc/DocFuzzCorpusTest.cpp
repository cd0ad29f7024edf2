// Replays the .doc reader fuzz target's seeds and crash files through the same
// entry function, in the normal test run.

#include "formats/doc/DocFuzzEntry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace kelvaran::formats::doc {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> filesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".doc") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

const fs::path kFuzz = fs::path(KELVARAN_SOURCE_DIR) / "fuzz";

TEST(DocFuzzCorpus, SeedsAreReadWrittenAndReadAgainOrRefused) {
    const auto seeds = filesIn(kFuzz / "corpus" / "doc_reader");
    ASSERT_GE(seeds.size(), 5u) << "the seed corpus is missing";
    for (const auto& [name, bytes] : seeds) {
        SCOPED_TRACE(name);
        if (name == "word6.doc") {
            EXPECT_EQ(exerciseDocReader(bytes), 0);  // refused
        } else {
            EXPECT_EQ(exerciseDocReader(bytes), 4);
        }
    }
}

TEST(DocFuzzCorpus, RecordedCrashesNoLongerCrash) {
    const auto crashes = filesIn(kFuzz / "crashes" / "doc_reader");
    EXPECT_FALSE(crashes.empty());
    for (const auto& [name, bytes] : crashes) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseDocReader(bytes));
    }
}

TEST(DocFuzzCorpus, TruncationsOfEverySeedFailCleanly) {
    for (const auto& [name, bytes] : filesIn(kFuzz / "corpus" / "doc_reader")) {
        SCOPED_TRACE(name);
        for (std::size_t cut = 0; cut < bytes.size(); cut += std::max<std::size_t>(1, bytes.size() / 17))
            EXPECT_NO_THROW(exerciseDocReader(bytes.substr(0, cut)));
    }
}

}  // namespace
}  // namespace kelvaran::formats::doc
