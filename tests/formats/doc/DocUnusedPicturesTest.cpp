// Picture data a .doc stores but nothing shows: the picture-store entries that
// count no reference and that no drawing property names lose their pictures
// when the writer is asked to drop unused data; everything shown stays, byte
// for byte.

#include "formats/doc/Bytes.h"
#include "formats/doc/CompoundFile.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/DocFormat.h"
#include "formats/doc/OfficeArtRecord.h"
#include "tests/formats/doc/DocTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvaran::formats::doc {
namespace {

namespace model = formats::model;

constexpr const char* kUnused = "formats/doc/gen-floating-unused-picture.doc";
constexpr const char* kAllInUse = "generated/gen-floating-rotated-wrapped.doc";
constexpr std::uint32_t kUnusedBytes = 60748;  // the second entry's picture

std::string tableName(const std::string& file) {
    const CompoundFile cf = CompoundFile::fromBytes(file);
    const std::string& w = cf.root.child("WordDocument")->data;
    return (u16At(w, 10) & 0x0200) ? "1Table" : "0Table";
}

// One entry of the picture store as the file has it.
struct StoreEntry {
    std::uint32_t size = 0, references = 0, delay = 0;
};

std::vector<StoreEntry> storeOf(const std::string& file) {
    const CompoundFile cf = CompoundFile::fromBytes(file);
    const std::string& w = cf.root.child("WordDocument")->data;
    const std::string& t = cf.root.child(tableName(file))->data;
    const std::uint32_t fc = u32At(w, 0x22A), lcb = u32At(w, 0x22E);
    OfficeArtRecord dgg;
    EXPECT_TRUE(OfficeArtRecord::parseOne(t, fc, std::size_t(fc) + lcb, dgg));
    std::vector<StoreEntry> out;
    if (const OfficeArtRecord* store = dgg.firstChild(0xF001))
        for (const OfficeArtRecord& e : store->children)
            out.push_back({.size = u32At(t, e.bodyOffset() + 20),
                           .references = u32At(t, e.bodyOffset() + 24),
                           .delay = u32At(t, e.bodyOffset() + 28)});
    return out;
}

// The file with the one place in its table stream that holds `from` changed to `to`.
std::string patchedTable(const std::string& file, const std::string& from, const std::string& to) {
    CompoundFile cf = CompoundFile::fromBytes(file);
    std::string& t = cf.root.child(tableName(file))->data;
    const std::size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(t.find(from, at + 1), std::string::npos) << "the bytes to patch are not unique";
    if (at != std::string::npos) t.replace(at, from.size(), to);
    return std::move(cf).toBytes();
}

std::string u16u32(std::uint16_t a, std::uint32_t b) {
    std::string s;
    appendU16(s, a);
    appendU32(s, b);
    return s;
}

std::string countAndDelay(std::uint32_t size, std::uint32_t references, std::uint32_t delay) {
    std::string s;
    appendU32(s, size);
    appendU32(s, references);
    appendU32(s, delay);
    return s;
}

model::Document read(const std::string& bytes) {
    return readDoc(std::make_shared<const std::string>(bytes));
}

std::string dropped(const std::string& bytes) {
    model::Document doc = read(bytes);
    doc.dropFallbackPictures = true;
    return writeDoc(doc);
}

TEST(DocUnusedPicturesTest, UnusedPictureLeavesTheCopyAndEveryShownPictureReadsBackByteForByte) {
    const std::string input = *test::testFile(kUnused);
    const model::Document original = read(input);
    EXPECT_EQ(original.unusedPictureBytes, kUnusedBytes);
    EXPECT_EQ(DocDocument::fromBytes(input).unusedStoreEntries(), std::set<std::uint32_t>{2});

    const std::string written = dropped(input);
    EXPECT_LE(written.size() + kUnusedBytes, input.size());
    const model::Document back = read(written);
    EXPECT_EQ(back.unusedPictureBytes, 0u);
    EXPECT_EQ(back.main().plainText(), original.main().plainText());
    ASSERT_EQ(back.shapes.size(), original.shapes.size());
    for (std::size_t i = 0; i < back.shapes.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(original.shapes[i].picture.empty());
        ASSERT_FALSE(back.shapes[i].picture.empty());
        EXPECT_EQ(*back.shapes[i].picture.bytes, *original.shapes[i].picture.bytes);
        EXPECT_DOUBLE_EQ(back.shapes[i].leftPt, original.shapes[i].leftPt);
        EXPECT_DOUBLE_EQ(back.shapes[i].widthPt, original.shapes[i].widthPt);
    }
    // The entry stays, empty, so that the third keeps its number.
    const auto before = storeOf(input);
    const auto after = storeOf(written);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[1].size, 0u);
    EXPECT_EQ(after[1].references, 0u);
    EXPECT_EQ(after[1].delay, 0xFFFFFFFFu);
    EXPECT_EQ(after[0].size, before[0].size);
    EXPECT_EQ(after[2].size, before[2].size);
    EXPECT_EQ(after[0].references, 2u);
    // Saved again with the option, nothing more goes.
    EXPECT_EQ(test::streamsOf(dropped(written)), test::streamsOf(written));
}

TEST(DocUnusedPicturesTest, EntryPointingIntoAnotherPictureFreesNothingAndStays) {
    // The unused entry's picture would start inside the first picture: its
    // bytes are that picture's.
    const std::string input = patchedTable(*test::testFile(kUnused), countAndDelay(60748, 0, 0x10157),
                                           countAndDelay(60748, 0, 0x142f + 100));
    EXPECT_EQ(DocDocument::fromBytes(input).unusedStoreEntries(), std::set<std::uint32_t>{});
    EXPECT_EQ(read(input).unusedPictureBytes, 0u);
    const model::Document original = read(input);
    const model::Document back = read(dropped(input));
    for (std::size_t i = 0; i < back.shapes.size(); ++i) {
        ASSERT_FALSE(back.shapes[i].picture.empty());
        EXPECT_EQ(*back.shapes[i].picture.bytes, *original.shapes[i].picture.bytes);
    }
}

TEST(DocUnusedPicturesTest, WithoutTheOptionUnusedPicturesStay) {
    const std::string input = *test::testFile(kUnused);
    EXPECT_EQ(test::streamsOf(writeDoc(read(input))), test::streamsOf(input));
}

TEST(DocUnusedPicturesTest, DocumentsWhosePicturesAreAllInUseComeOutWhole) {
    for (const char* name : {kAllInUse, "generated/gen-group-pictures.doc", "generated/gen-nested-group-pictures.doc",
                             "generated/gen-inline-pictures.doc", "formats/doc/word97-floating-and-inline-png-object.doc",
                             "formats/doc/word97-ole1-equations-floating-textbox-wmf.doc"}) {
        SCOPED_TRACE(name);
        const std::string input = *test::testFile(name);
        EXPECT_EQ(read(input).unusedPictureBytes, 0u);
        EXPECT_EQ(test::streamsOf(dropped(input)), test::streamsOf(input));
    }
}

TEST(DocUnusedPicturesTest, EntryWithoutReferencesThatAShapeNamesKeepsItsPicture) {
    // The second shape still names the second entry, whose count says 0.
    const std::string input =
        patchedTable(*test::testFile(kAllInUse), countAndDelay(60748, 1, 0x10157), countAndDelay(60748, 0, 0x10157));
    ASSERT_EQ(storeOf(input)[1].references, 0u);
    const model::Document original = read(input);
    EXPECT_EQ(original.unusedPictureBytes, 0u);
    const std::string written = dropped(input);
    EXPECT_EQ(test::streamsOf(written), test::streamsOf(input));
    const model::Document back = read(written);
    for (std::size_t i = 0; i < back.shapes.size(); ++i) {
        ASSERT_FALSE(back.shapes[i].picture.empty());
        EXPECT_EQ(*back.shapes[i].picture.bytes, *original.shapes[i].picture.bytes);
    }
}

TEST(DocUnusedPicturesTest, FillAndLinePicturesNamingAnEntryKeepIt) {
    // The third shape's picture property becomes a fill or line picture of
    // the unused entry: it is in use again, with or without the flag that
    // says its value names a picture.
    for (std::uint16_t property : {0x4186, 0x0186, 0x41C5, 0x01C5, 0x4545, 0x4585, 0x45C5, 0x4605}) {
        SCOPED_TRACE(property);
        const std::string input = patchedTable(*test::testFile(kUnused), u16u32(0x4104, 3), u16u32(property, 2));
        EXPECT_EQ(read(input).unusedPictureBytes, 0u);
        const std::string written = dropped(input);
        EXPECT_EQ(storeOf(written)[1].size, kUnusedBytes);
        EXPECT_EQ(test::streamsOf(written), test::streamsOf(input));
    }
}

TEST(DocUnusedPicturesTest, AnyPropertyThatSaysItNamesAPictureKeepsTheEntry) {
    // An unknown property with the picture flag set, in place of the first
    // shape's picture property.
    const std::string input = patchedTable(*test::testFile(kUnused), u16u32(0x4104, 3), u16u32(0x4300, 2));
    EXPECT_EQ(DocDocument::fromBytes(input).unusedStoreEntries(), std::set<std::uint32_t>{});
    // Without the flag, the same value is no name.
    const std::string plain = patchedTable(*test::testFile(kUnused), u16u32(0x4104, 3), u16u32(0x0300, 2));
    EXPECT_EQ(DocDocument::fromBytes(plain).unusedStoreEntries(), std::set<std::uint32_t>{2});
}

}  // namespace
}  // namespace kelvaran::formats::doc
