// Refused and hostile Word 97-2003 input: every failure is a FormatError with
// a reason, never a crash, a hang or a document read from garbage.

#include "formats/doc/CompoundFile.h"
#include "formats/doc/DocFormat.h"
#include "tests/formats/doc/DocTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace kelvaran::formats::doc {
namespace {

namespace model = formats::model;

std::string refusal(const std::string& bytes) {
    try {
        readDoc(std::make_shared<const std::string>(bytes));
    } catch (const model::FormatError& e) {
        return e.what();
    }
    return {};
}

// The document with its WordDocument stream changed by `edit`.
template <class Edit>
std::string withWordDocument(const std::string& file, Edit edit) {
    CompoundFile container = CompoundFile::fromBytes(file);
    CompoundEntry* stream = container.root.child("WordDocument");
    edit(stream->data);
    return container.toBytes();
}

void putU16(std::string& b, std::size_t at, std::uint16_t value) {
    b[at] = static_cast<char>(value & 0xFF);
    b[at + 1] = static_cast<char>(value >> 8);
}

TEST(DocHostileInputTest, RefusedDocumentsSayWhy) {
    EXPECT_NE(refusal(*test::testFile("formats/doc/encrypted-rc4.doc")).find("encrypted"), std::string::npos);
    EXPECT_NE(refusal(*test::testFile("formats/doc/word6.doc")).find("Word 6"), std::string::npos);
    EXPECT_NE(refusal("not a document at all").find("not"), std::string::npos);
    EXPECT_FALSE(refusal("").empty());
    EXPECT_THROW(readDoc(nullptr), model::FormatError);
}

TEST(DocHostileInputTest, FlagsAndVersionInTheFibAreHonoured) {
    const std::string file = *test::testFile("generated/gen-inline-pictures.doc");
    const std::string encrypted = withWordDocument(file, [](std::string& w) { w[0x0B] |= 0x01; });
    EXPECT_NE(refusal(encrypted).find("encrypted"), std::string::npos) << refusal(encrypted);
    const std::string word6 = withWordDocument(file, [](std::string& w) { putU16(w, 2, 101); });
    EXPECT_NE(refusal(word6).find("Word 6"), std::string::npos) << refusal(word6);
    const std::string old = withWordDocument(file, [](std::string& w) { putU16(w, 2, 0x0050); });
    EXPECT_FALSE(refusal(old).empty());
    const std::string noTable = withWordDocument(file, [](std::string& w) { w[0x0B] ^= 0x02; });  // other table
    EXPECT_FALSE(refusal(noTable).empty());
}

TEST(DocHostileInputTest, TruncatedFilesAreRefused) {
    const std::string file = *test::testFile("generated/gen-floating-rotated-wrapped.doc");
    for (std::size_t length : {std::size_t(0), std::size_t(8), std::size_t(512), std::size_t(4096), file.size() / 2,
                               file.size() - 1}) {
        SCOPED_TRACE(length);
        EXPECT_FALSE(refusal(file.substr(0, length)).empty());
    }
}

TEST(DocHostileInputTest, RandomBytesInTheFibAndTablesNeverCrash) {
    const std::string file = *test::testFile("generated/gen-group-pictures.doc");
    std::mt19937 random(20261208);
    int refused = 0;
    for (int round = 0; round < 60; ++round) {
        const std::string damaged = withWordDocument(file, [&](std::string& w) {
            for (int k = 0; k < 6; ++k) {
                // Mostly the FIB's counts and offsets, now and then anywhere.
                const std::size_t limit = round % 3 == 0 ? w.size() : std::min<std::size_t>(w.size(), 0x9A + 8 * 93);
                w[random() % limit] = static_cast<char>(random());
            }
        });
        try {
            const auto doc = readDoc(std::make_shared<const std::string>(damaged));
            // What is read must be consistent enough to be walked and written.
            for (std::size_t s = 0; s < doc.stories.size(); ++s) (void)doc.stories[s].plainText();
            try {
                (void)writeDoc(doc);
            } catch (const model::FormatError&) {
            }
        } catch (const model::FormatError& e) {
            EXPECT_STRNE(e.what(), "");
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
}

TEST(DocHostileInputTest, HostileSizesInThePictureHeaderAreSkipped) {
    const std::string file = *test::testFile("generated/gen-inline-pictures.doc");
    CompoundFile container = CompoundFile::fromBytes(file);
    std::string& data = container.root.child("Data")->data;
    // Every picture block claims to be huge.
    const auto doc = readDoc(std::make_shared<const std::string>(file));
    for (int index : doc.inlinesOf(0)) {
        const auto range = doc.inlines[static_cast<std::size_t>(index)].origin.range;
        ASSERT_TRUE(range.valid());
        data[static_cast<std::size_t>(range.begin) + 3] = '\x7F';
    }
    const auto damaged = readDoc(std::make_shared<const std::string>(container.toBytes()));
    EXPECT_TRUE(damaged.inlinesOf(0).empty());
    EXPECT_FALSE(damaged.warnings.empty());
    EXPECT_EQ(damaged.main().plainText().find("Inline pictures follow."), 0u);
}

}  // namespace
}  // namespace kelvaran::formats::doc
