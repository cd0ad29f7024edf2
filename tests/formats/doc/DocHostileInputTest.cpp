// Refused and hostile Word 97-2003 input: every failure is a FormatError with
// a reason, never a crash, a hang or a document read from garbage.

#include "formats/doc/Blip.h"
#include "formats/doc/CompoundFile.h"
#include "formats/doc/CompoundValidator.h"
#include "formats/doc/DocFormat.h"
#include "tests/formats/doc/DocTestSupport.h"
#include "tests/support/FuzzFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

// The directory entry `index` of a compound file (its first directory sector
// holds four entries of 128 bytes with 512-byte sectors).
std::size_t directoryEntry(const std::string& file, std::uint32_t index) {
    std::uint32_t first = 0;
    std::memcpy(&first, file.data() + 0x30, 4);
    return 512 + std::size_t(first) * 512 + 128 * std::size_t(index);
}

std::uint32_t entryNamed(const std::string& file, const std::string& name) {
    for (std::uint32_t i = 0; i < 4; ++i) {
        const std::size_t at = directoryEntry(file, i);
        std::string ascii;
        for (std::size_t k = 0; k + 1 < 64 && file[at + k] != 0; k += 2) ascii += file[at + k];
        if (ascii == name) return i;
    }
    return 0xFFFFFFFF;
}

TEST(DocHostileInputTest, ARootEntryWithSiblingsIsCheckedAsTheLibraryWalksIt) {
    const std::string file = *test::testFile("generated/gen-inline-pictures.doc");
    ASSERT_EQ(file.compare(directoryEntry(file, 0), 2, std::string("R\0", 2)), 0) << "the root entry comes first";
    const std::uint32_t word = entryNamed(file, "1Table");
    ASSERT_NE(word, 0xFFFFFFFFu) << "1Table is among the first four entries";
    // A root whose left sibling is an entry the tree already reaches: the
    // library would meet it twice.
    std::string twice = file;
    std::memcpy(&twice[directoryEntry(twice, 0) + 0x44], &word, 4);
    const std::string why = refusal(twice);
    EXPECT_NE(why.find("loops"), std::string::npos) << why;
    // A right sibling outside the directory.
    std::string outside = file;
    const std::uint32_t far = 100000;
    std::memcpy(&outside[directoryEntry(outside, 0) + 0x48], &far, 4);
    EXPECT_NE(refusal(outside).find("outside the directory"), std::string::npos) << refusal(outside);
    // The file itself still reads.
    EXPECT_EQ(refusal(file), "");
}

// Names of every entry of a container, depth first.
std::vector<std::string> entryNames(const CompoundEntry& entry) {
    std::vector<std::string> names{entry.name};
    for (const CompoundEntry& child : entry.children)
        for (std::string& name : entryNames(child)) names.push_back(entry.name + "/" + name);
    return names;
}

TEST(DocHostileInputTest, ARootEntrysSiblingsAreCutBeforeTheLibraryReadsThem) {
    // Found by fuzzing: a root with a right sibling.  The library reads the
    // sibling into an entry of no parent, shows nothing of it and never frees
    // it.  The container reads as it did, without that entry.
    const auto crashes = kelvaran::test::fuzzFilesIn(kelvaran::test::kFuzzFolder / "crashes" / "doc_reader");
    const auto found = crashes.find("leak-bace3178773fdb0744c99c144622c3106e1e2ee0");
    ASSERT_NE(found, crashes.end());
    const std::string& file = found->second;
    const std::size_t links = CompoundValidator::rootSiblingLinks(file);
    ASSERT_NE(links, 0u);
    std::string unlinked = file;
    unlinked.replace(links, 8, 8, '\xFF');
    EXPECT_EQ(CompoundValidator::rootSiblingLinks(unlinked), 0u);
    EXPECT_EQ(entryNames(CompoundFile::fromBytes(file).root), entryNames(CompoundFile::fromBytes(unlinked).root));
    // A sound file has no siblings at its root and is read in place.
    EXPECT_EQ(CompoundValidator::rootSiblingLinks(*test::testFile("generated/gen-inline-pictures.doc")), 0u);
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

TEST(DocHostileInputTest, APictureShownByManyCharactersIsHeldOnce) {
    // Every picture character of the document made to point at the first
    // picture block: one copy of its bytes, however many characters show it.
    const std::string file = *test::testFile("generated/gen-inline-pictures.doc");
    const auto original = readDoc(std::make_shared<const std::string>(file));
    ASSERT_GE(original.inlinesOf(0).size(), 2u);
    const std::string repointed = withWordDocument(file, [&](std::string& w) {
        std::uint32_t first = 0;
        bool seen = false;
        for (std::size_t at = 0; at + 6 <= w.size(); ++at) {
            if (w[at] != '\x03' || w[at + 1] != '\x6A') continue;  // the picture's place in the Data stream
            if (!seen) {
                std::memcpy(&first, w.data() + at + 2, 4);
                seen = true;
            }
            std::memcpy(w.data() + at + 2, &first, 4);
        }
    });
    const auto document = readDoc(std::make_shared<const std::string>(repointed));
    const auto objects = document.inlinesOf(0);
    ASSERT_EQ(objects.size(), original.inlinesOf(0).size());
    const auto& first = document.inlines[static_cast<std::size_t>(objects.front())].picture.bytes;
    for (int object : objects) EXPECT_EQ(document.inlines[static_cast<std::size_t>(object)].picture.bytes, first);
}

TEST(DocHostileInputTest, PicturesTakeNoMoreThanTheirBudget) {
    std::array<std::uint8_t, 16> uid{};
    const std::string png = test::makePng(40, 30);
    const std::string pngRecord = Blip::encode(PictureFormat::Png, png, uid);
    // The smallest enhanced metafile: its header and its end record.
    std::string emf(108, '\0');
    const auto put32 = [&emf](std::size_t at, std::uint32_t value) { std::memcpy(emf.data() + at, &value, 4); };
    put32(0, 1), put32(4, 88), put32(32, 2540), put32(36, 2540), put32(40, 0x464D4520), put32(44, 0x10000);
    put32(48, 108), put32(52, 2), put32(88, 14), put32(92, 20), put32(104, 20);
    const std::string emfRecord = Blip::encode(PictureFormat::Emf, emf, uid);
    const std::string buffer = pngRecord + emfRecord;

    BlipReader reader(1 << 20);
    const auto once = reader.decode(buffer, 0, buffer.size());
    const auto again = reader.decode(buffer, 0, buffer.size());
    ASSERT_TRUE(once && again);
    EXPECT_EQ(*once->bytes, png);
    EXPECT_EQ(once->bytes, again->bytes);  // met again: the same bytes, not a copy

    // All the pictures together: the second no longer fits.
    BlipReader tight(png.size() + emf.size() - 1);
    EXPECT_TRUE(tight.decode(buffer, 0, buffer.size()));
    EXPECT_FALSE(tight.decode(buffer, pngRecord.size(), buffer.size()));

    // A metafile that would inflate beyond what is left for inflating.
    ASSERT_TRUE(Blip::decode(buffer, pngRecord.size(), buffer.size(), emf.size()));
    EXPECT_FALSE(Blip::decode(buffer, pngRecord.size(), buffer.size(), emf.size() - 1));
}

}  // namespace
}  // namespace kelvaran::formats::doc
