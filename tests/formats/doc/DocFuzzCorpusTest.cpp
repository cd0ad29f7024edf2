// Replays the .doc reader fuzz target's seeds and crash files through the same
// entry function, in the normal test run.

#include "formats/doc/DocDocument.h"
#include "formats/doc/DocFormat.h"
#include "fuzz/DocFuzzEntry.h"
#include "fuzz/DocumentEdits.h"

#include "tests/support/FuzzFiles.h"

#include <gtest/gtest.h>

namespace kelvaran::formats::doc {
namespace {

TEST(DocFuzzCorpus, SeedsAreEditedSavedAndReadBackOrRefused) {
    const auto seeds = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "corpus" / "doc_reader");
    ASSERT_GE(seeds.size(), 10u) << "the seed corpus is missing";
    for (const auto& [name, bytes] : seeds) {
        SCOPED_TRACE(name);
        if (name == "word6.doc") {
            EXPECT_EQ(exerciseDocReader(bytes), 0);  // refused
        } else if (name == "gen-text-only.doc") {
            EXPECT_EQ(exerciseDocReader(bytes), 2);  // nothing to replace
        } else {
            // Inline, floating, group-member and object pictures replaced,
            // the copy saved and read back with as many pictures.
            EXPECT_EQ(exerciseDocReader(bytes), 3);
        }
    }
}

// A damaged field whose separator and end are gone holds an object's whole
// field in its code.  Word shows neither: the object is no picture of the
// text, so it is neither offered for replacing nor lost when the copy is
// read back with the picture that replaced it hidden in that code.
TEST(DocFuzzCorpus, AnObjectInsideAnotherFieldsCodeIsNotShown) {
    const auto crashes = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "crashes" / "doc_reader");
    const auto found = crashes.find("crash-09cfabdbc296474355228b2532af5e5a6e6250f4");
    ASSERT_NE(found, crashes.end());
    const std::string& bytes = found->second;
    const DocDocument raw = DocDocument::fromBytes(bytes);
    ASSERT_EQ(raw.inventory().objects.size(), 1u);  // the object is there...
    const auto& object = raw.inventory().objects[0];
    EXPECT_EQ(object.instruction, "EMBED");
    ASSERT_LT(object.fieldBegin, raw.text().size());
    EXPECT_EQ(raw.text().substr(0, 14), u"Spreadsheet: \x13");  // ...inside a field opened before it
    const auto document = readDoc(std::make_shared<const std::string>(bytes));
    EXPECT_TRUE(document.inlines.empty());
    EXPECT_EQ(fuzz::countPictures(document), 0);
    EXPECT_EQ(exerciseDocReader(bytes), 2);  // nothing to replace, the copy reads back alike
}

TEST(DocFuzzCorpus, RecordedCrashesNoLongerCrash) {
    const auto crashes = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "crashes" / "doc_reader");
    EXPECT_FALSE(crashes.empty());
    for (const auto& [name, bytes] : crashes) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseDocReader(bytes));
    }
}

TEST(DocFuzzCorpus, ACountOfBytesInUseBeyondTheStreamDoesNotGrowTheCopy) {
    // The fuzzer's file claims 1.7 GB of its WordDocument stream in use; the
    // copy used to be padded out to that before its pictures were added.
    const auto crashes = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "crashes" / "doc_reader");
    bool seen = false;
    for (const auto& [name, bytes] : crashes) {
        if (name != "huge-bytes-in-use.doc") continue;
        seen = true;
        auto document = readDoc(std::make_shared<const std::string>(bytes));
        ASSERT_GT(fuzz::replaceEveryPicture(document), 0);
        const std::string copy = writeDoc(document);
        EXPECT_LT(copy.size(), 16 * bytes.size() + (1u << 20));
    }
    EXPECT_TRUE(seen);
}

// What the fuzzer found new coverage with, kept minimised in fuzz/found: each
// is refused, or edited, saved and read back with as many pictures.
TEST(DocFuzzCorpus, FoundInputsAreHandled) {
    const auto found = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "found" / "doc_reader");
    ASSERT_FALSE(found.empty()) << "the found corpus is missing";
    for (const auto& [name, bytes] : found) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(exerciseDocReader(bytes));
    }
}

TEST(DocFuzzCorpus, TruncationsOfEverySeedFailCleanly) {
    for (const auto& [name, bytes] : kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "corpus" / "doc_reader")) {
        SCOPED_TRACE(name);
        for (std::size_t cut = 0; cut < bytes.size(); cut += std::max<std::size_t>(1, bytes.size() / 17))
            EXPECT_NO_THROW(exerciseDocReader(bytes.substr(0, cut)));
    }
}

}  // namespace
}  // namespace kelvaran::formats::doc
