// The Word 97-2003 writer: unchanged documents come back stream by stream,
// replacements patch the file and make it smaller, edits it cannot express
// fail the save, and the scratch document grows by what is pasted into it.

#include "formats/doc/CompoundFile.h"
#include "formats/doc/DocFormat.h"
#include "formats/doc/Fib.h"
#include "formats/model/NewPicture.h"
#include "tests/formats/doc/DocTestSupport.h"
#include "tests/support/ModelEdits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kelvaran::formats::doc {
namespace {

namespace model = formats::model;
using test::readTestDocument;

model::Document reread(const std::string& bytes) {
    return readDoc(std::make_shared<const std::string>(bytes));
}

TEST(DocWriterTest, UnchangedDocumentsKeepEveryStream) {
    for (const char* name : {"generated/gen-inline-pictures.doc", "generated/gen-embedded-objects.doc",
                             "generated/gen-group-pictures.doc", "generated/gen-textbox-picture.doc",
                             "formats/doc/word97-inline-emf.doc", "formats/doc/word97-ole-objects-wmf-png.doc"}) {
        SCOPED_TRACE(name);
        const auto doc = readTestDocument(name);
        const std::string written = writeDoc(doc);
        EXPECT_EQ(test::streamsOf(written), test::streamsOf(*doc.source));
    }
}

TEST(DocWriterTest, ShapesTurnedAndTurnedBackAreNoChange) {
    auto doc = readTestDocument("generated/gen-floating-rotated-wrapped.doc");
    auto& shape = doc.shapes[0];
    const double rotation = shape.rotation;
    shape.rotation = 0.5;
    shape.layoutChanged = true;
    EXPECT_THROW(writeDoc(doc), model::FormatError);  // a real turn cannot be written
    shape.rotation = rotation;
    EXPECT_EQ(test::streamsOf(writeDoc(doc)), test::streamsOf(*doc.source));
}

TEST(DocWriterTest, TextBoxSetBackToItsRoundedSizeKeepsItsExactSize) {
    auto doc = readTestDocument("generated/gen-textbox-picture.doc");
    auto& box = doc.shapes[0];
    ASSERT_NE(box.widthPt, std::round(box.widthPt));
    box.widthPt = std::round(box.widthPt);
    box.heightPt = std::round(box.heightPt);
    box.layoutChanged = true;
    test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, box.textStory, 0), test::makePng(10, 8), 10, 8);
    const auto back = reread(writeDoc(doc));
    const auto original = readTestDocument("generated/gen-textbox-picture.doc");
    EXPECT_DOUBLE_EQ(back.shapes[0].widthPt, original.shapes[0].widthPt);
    EXPECT_DOUBLE_EQ(back.shapes[0].heightPt, original.shapes[0].heightPt);
    doc.shapes[0].widthPt += 3;  // a real change of size
    EXPECT_THROW(writeDoc(doc), model::FormatError);
}

TEST(DocWriterTest, ReplacedInlinePictureIsStoredAndTheFileShrinks) {
    auto doc = readTestDocument("generated/gen-inline-pictures.doc");
    const std::string text = doc.main().plainText();
    const std::string png = test::makePng(20, 15);
    test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), png, 20, 15);
    test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 1), png, 20, 15);
    const std::string written = writeDoc(doc);
    EXPECT_LT(written.size() + 80000, doc.source->size());

    const auto back = reread(written);
    EXPECT_EQ(back.main().plainText(), text);
    const auto live = back.inlinesOf(0);
    ASSERT_EQ(live.size(), 3u);
    const auto original = readTestDocument("generated/gen-inline-pictures.doc");
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& picture = back.inlines[static_cast<std::size_t>(live[i])];
        EXPECT_EQ(picture.picture.type, model::PictureFormat::Png);
        EXPECT_EQ(*picture.picture.bytes, png);
        EXPECT_EQ(picture.picture.pixelWidth, 20);
        const auto& before = original.inlines[static_cast<std::size_t>(original.inlinesOf(0)[i])];
        EXPECT_NEAR(picture.widthPt, before.widthPt, 0.1);
        EXPECT_NEAR(picture.heightPt, before.heightPt, 0.1);
    }
    // The untouched small picture keeps its bytes.
    EXPECT_EQ(*back.inlines[static_cast<std::size_t>(live[2])].picture.bytes,
              *original.inlines[static_cast<std::size_t>(original.inlinesOf(0)[2])].picture.bytes);
    // Streams that hold no picture data stay as they were.
    const auto before = test::streamsOf(*doc.source);
    const auto after = test::streamsOf(written);
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [path, data] : before) {
        if (path == "WordDocument" || path == "Data") continue;
        EXPECT_EQ(after.at(path), data) << path;
    }
    EXPECT_NE(after.at("Data"), before.at("Data"));
}

// The writer works from the parsed document the model already holds and
// shares its streams; saving must neither change that document nor depend on it.
TEST(DocWriterTest, SavedBytesAreTheSameWhereverTheParsedDocumentComesFrom) {
    auto doc = readTestDocument("generated/gen-inline-pictures.doc");
    test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), test::makePng(20, 15), 20, 15);
    const std::string first = writeDoc(doc);
    EXPECT_EQ(writeDoc(doc), first);
    // The same bytes under another pointer: no object points into them, so
    // the writer parses them itself.
    auto copy = doc;
    copy.source = std::make_shared<const std::string>(*doc.source);
    EXPECT_EQ(writeDoc(copy), first);
    const auto back = reread(first);
    EXPECT_EQ(back.inlines[static_cast<std::size_t>(back.inlinesOf(0)[0])].picture.pixelWidth, 20);
}

TEST(DocWriterTest, ContainerWrittenForTheLastTimeGivesTheSameBytes) {
    const auto file = test::testFile("generated/gen-inline-pictures.doc");
    const CompoundFile container = CompoundFile::fromBytes(*file);
    const std::string kept = container.toBytes();
    CompoundFile spent = container;
    EXPECT_EQ(std::move(spent).toBytes(), kept);
    EXPECT_TRUE(spent.root.child("Data")->data.empty());  // let go once libgsf had it
    EXPECT_FALSE(container.root.child("Data")->data.empty());
    EXPECT_EQ(container.toBytes(), kept);
}

TEST(DocWriterTest, GifPictureIsRefusedWithAReason) {
    auto doc = readTestDocument("generated/gen-inline-pictures.doc");
    const int added = test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), test::makePng(4, 4), 4, 4);
    auto& picture = doc.inlines[static_cast<std::size_t>(added)].picture;
    picture.type = model::PictureFormat::Gif;
    picture.bytes = model::shareBytes(std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                                                  "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00"
                                                  "\x00\x02\x02" "D\x01\x00;",
                                                  43));
    // The office turns GIFs into PNGs before they reach a document; a GIF
    // that gets here anyway is never written under a wrong type.
    try {
        writeDoc(doc);
        ADD_FAILURE() << "a GIF picture was written";
    } catch (const model::FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("GIF"), std::string::npos) << e.what();
    }
}

TEST(DocWriterTest, PictureInATextBoxIsReplacedInItsStory) {
    auto doc = readTestDocument("generated/gen-textbox-picture.doc");
    const int box = doc.shapes[0].textStory;
    const std::string boxText = doc.stories[static_cast<std::size_t>(box)].plainText();
    test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, box, 0), test::makePng(10, 8), 10, 8);
    const std::string written = writeDoc(doc);
    EXPECT_LT(written.size() + 40000, doc.source->size());
    const auto back = reread(written);
    ASSERT_EQ(back.topLevelShapes().size(), 1u);
    const int story = back.shapes[0].textStory;
    EXPECT_EQ(back.stories[static_cast<std::size_t>(story)].plainText(), boxText);
    ASSERT_EQ(back.inlinesOf(story).size(), 1u);
    EXPECT_EQ(back.inlines[static_cast<std::size_t>(back.inlinesOf(story)[0])].picture.pixelWidth, 10);
}

TEST(DocWriterTest, EmbeddedObjectBecomesAPlainPicture) {
    auto doc = readTestDocument("generated/gen-embedded-objects.doc");
    test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), test::makePng(30, 15), 30, 15);
    const std::string written = writeDoc(doc);
    const auto back = reread(written);
    EXPECT_EQ(back.main().plainText(), "Spreadsheet: \xEF\xBF\xBC\nChart: \xEF\xBF\xBC\nEnd.\n");
    const auto live = back.inlinesOf(0);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(back.inlines[static_cast<std::size_t>(live[0])].kind, model::InlineKind::Picture);
    EXPECT_EQ(back.inlines[static_cast<std::size_t>(live[0])].picture.pixelWidth, 30);
    EXPECT_EQ(back.inlines[static_cast<std::size_t>(live[1])].kind, model::InlineKind::EmbeddedObject);
    // The spreadsheet's storage left the file, the chart's stayed.
    const auto streams = test::streamsOf(written);
    int objectStreams = 0;
    for (const auto& [path, data] : streams) objectStreams += path.rfind("ObjectPool/", 0) == 0 ? 1 : 0;
    int before = 0;
    for (const auto& [path, data] : test::streamsOf(*doc.source)) before += path.rfind("ObjectPool/", 0) == 0 ? 1 : 0;
    EXPECT_GT(objectStreams, 0);
    EXPECT_LT(objectStreams, before);

    // The former object's field left the text the way Word unlinks a field:
    // its begin, code, separator and end are gone, the picture stays as a
    // plain picture character.  The chart's field behind it moved back by
    // the characters taken out, and the main story is that much shorter.
    const Fib original = Fib::parse(test::streamsOf(*doc.source).at("WordDocument"));
    const Fib fib = Fib::parse(streams.at("WordDocument"));
    EXPECT_EQ(fib.ccp[Fib::kMain], original.ccp[Fib::kMain] - 11);
    const std::string& table = streams.at(fib.useTable1 ? "1Table" : "0Table");
    const std::uint32_t at = fib.fc(Fib::kPlcfFldMom), length = fib.lcb(Fib::kPlcfFldMom);
    ASSERT_EQ(length, 4u * 4 + 3 * 2) << "one field of three marks is left";
    ASSERT_LE(std::size_t(at) + length, table.size());
    auto u32 = [&](std::size_t o) {
        return std::uint32_t(static_cast<unsigned char>(table[o])) |
               std::uint32_t(static_cast<unsigned char>(table[o + 1])) << 8 |
               std::uint32_t(static_cast<unsigned char>(table[o + 2])) << 16 |
               std::uint32_t(static_cast<unsigned char>(table[o + 3])) << 24;
    };
    // "Spreadsheet: " (13), the picture (1), a paragraph mark, "Chart: " (7):
    // the chart's field begins at 22, its separator and end follow its code.
    EXPECT_EQ(u32(at), 22u);
    EXPECT_EQ(u32(at + 4), 31u);
    EXPECT_EQ(u32(at + 8), 33u);
    const std::size_t flds = at + 4 * 4;
    EXPECT_EQ(static_cast<unsigned char>(table[flds]) & 0x1F, 0x13);
    EXPECT_EQ(static_cast<unsigned char>(table[flds + 1]), 58) << "the chart's field stays EMBED";
    EXPECT_EQ(static_cast<unsigned char>(table[flds + 4]) & 0x1F, 0x15);
}

// A metafile stored in place of a picture notes the size it is shown at,
// as Word writes it: readers take that for the picture's natural size and fit
// the metafile's own frame into it, so a presentation reused as the picture
// is drawn at the scale the object drew it.
TEST(DocWriterTest, StoredMetafileNotesTheSizeItIsShownAt) {
    auto doc = readTestDocument("formats/doc/word97-inline-emf.doc");
    const int object = test::nthInline(doc, 0, 0);
    const auto original = doc.inlines[static_cast<std::size_t>(object)];
    ASSERT_EQ(original.picture.type, model::PictureFormat::Emf);
    const int added = test::replaceInlineLikeTheOffice(doc, object, test::makePng(8, 8), 8, 8);
    doc.inlines[static_cast<std::size_t>(added)].picture.type = model::PictureFormat::Emf;
    doc.inlines[static_cast<std::size_t>(added)].picture.bytes = original.picture.bytes;
    const auto streams = test::streamsOf(writeDoc(doc));
    const std::string& data = streams.at("Data");
    auto u32 = [&](std::size_t o) {
        return std::uint32_t(static_cast<unsigned char>(data[o])) |
               std::uint32_t(static_cast<unsigned char>(data[o + 1])) << 8 |
               std::uint32_t(static_cast<unsigned char>(data[o + 2])) << 16 |
               std::uint32_t(static_cast<unsigned char>(data[o + 3])) << 24;
    };
    const std::size_t blip = data.find(std::string("\x1A\xF0", 2)) - 2;  // the metafile record
    ASSERT_LT(blip, data.size());
    const std::size_t header = blip + 8 + 16;
    const double widthTwips = original.widthPt * 20, heightTwips = original.heightPt * 20;
    EXPECT_EQ(u32(header + 4), 0u);
    EXPECT_EQ(u32(header + 12), static_cast<std::uint32_t>(std::lround(widthTwips / 15)));
    EXPECT_EQ(u32(header + 16), static_cast<std::uint32_t>(std::lround(heightTwips / 15)));
    EXPECT_NEAR(u32(header + 20), widthTwips * 635, 635);
    EXPECT_NEAR(u32(header + 24), heightTwips * 635, 635);
}

// Word notes in each inline picture's store entry where the picture's
// drawing records lie in the Data stream; a picture replaced before others
// moves them, and the notes move with them (and the new picture gets one).
TEST(DocWriterTest, PictureStoreNotesFollowThePicturesTheyName) {
    auto doc = readTestDocument("formats/doc/word97-ole-objects-wmf-png.doc");
    test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), test::makePng(300, 200), 300, 200);
    const auto streams = test::streamsOf(writeDoc(doc));
    const std::string& data = streams.at("Data");
    auto u32 = [&](std::size_t o) {
        return std::uint32_t(static_cast<unsigned char>(data[o])) |
               std::uint32_t(static_cast<unsigned char>(data[o + 1])) << 8 |
               std::uint32_t(static_cast<unsigned char>(data[o + 2])) << 16 |
               std::uint32_t(static_cast<unsigned char>(data[o + 3])) << 24;
    };
    // The blocks follow each other: a 68-byte header, a shape container,
    // then the store entry (0xF007) whose delay field is 28 bytes into it.
    int checked = 0;
    for (std::size_t block = 0; block + 68 <= data.size() && checked < 3;) {
        const std::uint32_t length = u32(block);
        ASSERT_GE(length, 68u);
        const std::size_t shape = block + 68;
        const std::size_t entry = shape + 8 + u32(shape + 4);
        ASSERT_LT(entry + 8 + 32, data.size());
        ASSERT_EQ(static_cast<unsigned char>(data[entry + 2]) | static_cast<unsigned char>(data[entry + 3]) << 8, 0xF007);
        EXPECT_EQ(u32(entry + 8 + 28), shape) << "the picture at " << block;
        ++checked;
        block += length;
    }
    EXPECT_EQ(checked, 3);
}

TEST(DocWriterTest, FloatingPictureIsReplacedWithItsLayout) {
    auto doc = readTestDocument("generated/gen-floating-rotated-wrapped.doc");
    const auto original = readTestDocument("generated/gen-floating-rotated-wrapped.doc");
    int behind = -1;
    for (int index : doc.topLevelShapes())
        if (doc.shapes[static_cast<std::size_t>(index)].wrap.type == 5) behind = index;
    ASSERT_GE(behind, 0);
    const std::string png = test::makePng(24, 18);
    test::replaceShapeLikeTheOffice(doc, behind, png, 24, 18);
    const std::string written = writeDoc(doc);
    EXPECT_LT(written.size() + 40000, doc.source->size());
    const auto back = reread(written);
    EXPECT_EQ(back.main().plainText(), original.main().plainText());
    ASSERT_EQ(back.topLevelShapes().size(), 3u);
    const auto& replaced = back.shapes[static_cast<std::size_t>(behind)];
    EXPECT_EQ(*replaced.picture.bytes, png);
    const auto& before = original.shapes[static_cast<std::size_t>(behind)];
    EXPECT_DOUBLE_EQ(replaced.leftPt, before.leftPt);
    EXPECT_DOUBLE_EQ(replaced.widthPt, before.widthPt);
    EXPECT_EQ(replaced.wrap.type, 5);
    EXPECT_EQ(replaced.stackPosition, before.stackPosition);
    for (int index : back.topLevelShapes()) {
        if (index == behind) continue;
        EXPECT_EQ(*back.shapes[static_cast<std::size_t>(index)].picture.bytes,
                  *original.shapes[static_cast<std::size_t>(index)].picture.bytes);
    }
}

TEST(DocWriterTest, ObjectPicturesAndSharedFloatingPictureReplacedTogether) {
    auto doc = readTestDocument("formats/doc/word97-floating-and-inline-png-object.doc");
    const std::string text = doc.main().plainText();
    const std::string png = test::makePng(12, 9);
    const auto live = doc.inlinesOf(0);
    ASSERT_EQ(live.size(), 16u);
    for (int object : live) test::replaceInlineLikeTheOffice(doc, object, png, 12, 9);
    const auto shapes = doc.topLevelShapes();
    ASSERT_EQ(shapes.size(), 4u);
    // One picture shared by the four shapes: replacing only some of them
    // cannot be written.
    {
        auto partly = doc;
        test::replaceShapeLikeTheOffice(partly, shapes[0], png, 12, 9);
        EXPECT_THROW(writeDoc(partly), model::FormatError);
    }
    for (int shape : shapes) test::replaceShapeLikeTheOffice(doc, shape, png, 12, 9);
    const std::string written = writeDoc(doc);
    EXPECT_LT(written.size() * 3, doc.source->size());
    const auto back = reread(written);
    EXPECT_EQ(back.main().plainText(), text);
    ASSERT_EQ(back.inlinesOf(0).size(), 16u);
    for (int object : back.inlinesOf(0)) {
        EXPECT_EQ(back.inlines[static_cast<std::size_t>(object)].kind, model::InlineKind::Picture);
        EXPECT_EQ(*back.inlines[static_cast<std::size_t>(object)].picture.bytes, png);
    }
    ASSERT_EQ(back.topLevelShapes().size(), 4u);
    for (int shape : back.topLevelShapes()) EXPECT_EQ(*back.shapes[static_cast<std::size_t>(shape)].picture.bytes, png);
    const auto streams = test::streamsOf(written);
    EXPECT_FALSE(std::any_of(streams.begin(), streams.end(),
                             [](const auto& entry) { return entry.first.rfind("ObjectPool/", 0) == 0; }));
}

TEST(DocWriterTest, EditsTheFileCannotHoldFailTheSave) {
    const std::string png = test::makePng(8, 8);
    {
        auto doc = readTestDocument("generated/gen-inline-pictures.doc");
        doc.main().elements.front().text = "Inline pictures FOLLOW.";
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        auto doc = readTestDocument("generated/gen-inline-pictures.doc");
        doc.insertElement(0, 0, model::Element::textRun("New ", 4));
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        auto doc = readTestDocument("generated/gen-inline-pictures.doc");
        const auto [story, element] = doc.locateInline(test::nthInline(doc, 0, 0));
        const auto at = doc.main().positionOf(static_cast<std::size_t>(element));
        doc.eraseRange(story, at, at + 1);  // deleted without a picture in its place
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        auto doc = readTestDocument("generated/gen-inline-pictures.doc");
        const int added = test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), png, 8, 8);
        auto& picture = doc.inlines[static_cast<std::size_t>(added)].picture;
        picture.type = model::PictureFormat::Gif;
        picture.bytes = model::shareBytes("GIF89a broken");
        try {
            writeDoc(doc);
            ADD_FAILURE() << "a broken GIF picture was written";
        } catch (const model::FormatError& e) {
            EXPECT_NE(std::string(e.what()).find("GIF"), std::string::npos) << e.what();
        }
        picture.type = model::PictureFormat::Wmf;  // the drawing records take no new WMF
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        auto doc = readTestDocument("generated/gen-inline-pictures.doc");
        const int added = test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), png, 8, 8);
        doc.inlines[static_cast<std::size_t>(added)].widthPt *= 2;  // would change the layout
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        auto doc = readTestDocument("generated/gen-floating-rotated-wrapped.doc");
        const int added = test::replaceShapeLikeTheOffice(doc, 0, png, 8, 8);
        doc.shapes[static_cast<std::size_t>(added)].leftPt += 50;
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        auto doc = readTestDocument("generated/gen-floating-rotated-wrapped.doc");
        const int added = test::replaceShapeLikeTheOffice(doc, 0, png, 8, 8);
        doc.shapes[static_cast<std::size_t>(added)].stackPosition = 100;  // left in front of the others
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        auto doc = readTestDocument("generated/gen-group-pictures.doc");
        doc.deleteShape(doc.topLevelShapes()[0]);
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
}

int shapeNamed(const model::Document& document, const std::string& name) {
    for (std::size_t i = 0; i < document.shapes.size(); ++i) {
        if (document.shapes[i].name == name && document.shapes[i].edit != model::EditState::Deleted)
            return static_cast<int>(i);
    }
    ADD_FAILURE() << "no shape " << name;
    return -1;
}

using kelvaran::test::ungroup;

int group(model::Document& document, const std::vector<int>& members) {
    model::FloatingShape fresh;
    fresh.type = model::shape_type::kGroup;
    fresh.name = "Group 9";
    fresh.children = members;
    fresh.anchor = document.shapes[static_cast<std::size_t>(members.front())].anchor;
    const int index = document.addShape(std::move(fresh));
    for (int member : members) document.shapes[static_cast<std::size_t>(member)].parent = index;
    return index;
}

// The nested groups of the test document, taken apart from the top down and
// put together again, with Picture 2 of the inner group replaced when a
// picture is given.  Returns the replacement's index, or -1.
int rebuildGroups(model::Document& document, const std::string* png) {
    ungroup(document, shapeNamed(document, "Group 1"));
    ungroup(document, shapeNamed(document, "Group 2"));
    int second = shapeNamed(document, "Picture 2");
    int replacement = -1;
    if (png) second = replacement = test::replaceShapeLikeTheOffice(document, second, *png, 8, 6);
    const int inner = group(document, {second, shapeNamed(document, "Picture 3")});
    group(document, {shapeNamed(document, "Picture 1"), inner});
    return replacement;
}

TEST(DocWriterTest, GroupsTakenApartAndRebuiltAreTheFilesGroups) {
    {
        auto doc = readTestDocument("generated/gen-nested-group-pictures.doc");
        rebuildGroups(doc, nullptr);
        EXPECT_EQ(test::streamsOf(writeDoc(doc)), test::streamsOf(*doc.source));
    }
    auto doc = readTestDocument("generated/gen-nested-group-pictures.doc");
    const auto& before = doc.shapes[static_cast<std::size_t>(shapeNamed(doc, "Picture 2"))];
    const double left = before.leftPt, top = before.topPt, width = before.widthPt;
    const std::string png = test::makePng(8, 6);
    rebuildGroups(doc, &png);
    const std::string written = writeDoc(doc);
    EXPECT_LT(written.size() + 40000, doc.source->size());
    const auto back = reread(written);
    const auto tops = back.topLevelShapes();
    ASSERT_EQ(tops.size(), 1u);
    const auto& outer = back.shapes[static_cast<std::size_t>(tops[0])];
    ASSERT_EQ(outer.children.size(), 2u);
    int pictures = 0;
    bool replacedFound = false;
    for (const auto& shape : back.shapes) {
        if (shape.type != model::shape_type::kPicture) continue;
        ++pictures;
        EXPECT_GE(shape.parent, 0) << shape.name << " left its group";
        if (shape.picture.size() == png.size() && *shape.picture.bytes == png) {
            replacedFound = true;
            EXPECT_NEAR(shape.leftPt, left, 0.5);
            EXPECT_NEAR(shape.topPt, top, 0.5);
            EXPECT_NEAR(shape.widthPt, width, 0.5);
            const auto& parent = back.shapes[static_cast<std::size_t>(shape.parent)];
            EXPECT_EQ(parent.parent, tops[0]) << "the picture is no longer in the inner group";
        }
    }
    EXPECT_EQ(pictures, 3);
    EXPECT_TRUE(replacedFound);
}

TEST(DocWriterTest, GroupsRebuiltOtherwiseAreRefused) {
    {
        // A member left out of the rebuilt group.
        auto doc = readTestDocument("generated/gen-nested-group-pictures.doc");
        ungroup(doc, shapeNamed(doc, "Group 1"));
        group(doc, {shapeNamed(doc, "Picture 1"), shapeNamed(doc, "Group 2")});
        doc.deleteShape(shapeNamed(doc, "Group 2"));
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        // The inner group's members put into the outer group directly.
        auto doc = readTestDocument("generated/gen-nested-group-pictures.doc");
        ungroup(doc, shapeNamed(doc, "Group 1"));
        ungroup(doc, shapeNamed(doc, "Group 2"));
        group(doc, {shapeNamed(doc, "Picture 1"), shapeNamed(doc, "Picture 2"), shapeNamed(doc, "Picture 3")});
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        // A replacement that stands elsewhere than the member it replaces.
        auto doc = readTestDocument("generated/gen-nested-group-pictures.doc");
        const std::string png = test::makePng(8, 6);
        const int replacement = rebuildGroups(doc, &png);
        doc.shapes[static_cast<std::size_t>(replacement)].leftPt += 40;
        doc.shapes[static_cast<std::size_t>(replacement)].standsFor = -1;
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
}

// Objects inside another that goes: the copy keeps them or the save fails,
// never a copy without them.
TEST(DocWriterTest, ObjectsInsideARemovedOrReplacedOneAreNeverLostSilently) {
    const std::string png = test::makePng(8, 6);
    {
        // A text box removed with a picture in its text, replaced or not.
        for (bool replaceInside : {false, true}) {
            auto doc = readTestDocument("generated/gen-textbox-picture.doc");
            const int box = doc.shapes[0].textStory;
            if (replaceInside) test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, box, 0), png, 8, 6);
            doc.deleteShape(0);
            EXPECT_THROW(writeDoc(doc), model::FormatError) << replaceInside;
        }
    }
    {
        // A group standing for a picture of its own while a member is replaced.
        auto doc = readTestDocument("generated/gen-nested-group-pictures.doc");
        const int outer = shapeNamed(doc, "Group 1");
        test::replaceShapeLikeTheOffice(doc, shapeNamed(doc, "Picture 2"), png, 8, 6);
        auto& group = doc.shapes[static_cast<std::size_t>(outer)];
        group.edit = model::EditState::Replaced;
        model::NewPicture picture;
        picture.type = model::PictureFormat::Png;
        picture.bytes = model::shareBytes(png);
        picture.pixelWidth = 8;
        picture.pixelHeight = 6;
        picture.widthPt = group.widthPt;
        picture.heightPt = group.heightPt;
        group.picture = picture.toPictureData();
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        // A member replaced and left outside its group, which stays.
        auto doc = readTestDocument("generated/gen-nested-group-pictures.doc");
        test::replaceShapeLikeTheOffice(doc, shapeNamed(doc, "Picture 3"), png, 8, 6);
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
    {
        // The whole nested group deleted with a picture put where it stood.
        auto doc = readTestDocument("generated/gen-nested-group-pictures.doc");
        const int outer = shapeNamed(doc, "Group 1");
        const int added = test::replaceShapeLikeTheOffice(doc, outer, png, 8, 6);
        EXPECT_EQ(doc.shapes[static_cast<std::size_t>(added)].type, model::shape_type::kPicture);
        EXPECT_THROW(writeDoc(doc), model::FormatError);
    }
}

TEST(DocWriterTest, DocumentReadFromHandedOverBytesLetsThemGoAndWritesTheSame) {
    auto bytes = test::testFile("generated/gen-inline-pictures.doc");
    const std::string copy = *bytes;
    std::weak_ptr<const std::string> watch = bytes;
    auto taken = readDocTakingBytes(std::move(bytes));
    EXPECT_TRUE(watch.expired()) << "the input's bytes are still held";
    EXPECT_EQ(test::streamsOf(writeDoc(taken)), test::streamsOf(copy));

    auto kept = readDoc(std::make_shared<const std::string>(copy));
    const std::string png = test::makePng(12, 9);
    test::replaceInlineLikeTheOffice(taken, test::nthInline(taken, 0, 0), png, 12, 9);
    test::replaceInlineLikeTheOffice(kept, test::nthInline(kept, 0, 0), png, 12, 9);
    EXPECT_EQ(writeDoc(taken), writeDoc(kept));

    // A caller that keeps its own reference keeps the bytes as the source.
    auto shared = std::make_shared<const std::string>(copy);
    EXPECT_EQ(readDocTakingBytes(shared).source, shared);
    EXPECT_THROW(readDocTakingBytes(std::make_shared<const std::string>(copy.substr(0, 1000))), model::FormatError);
}

TEST(DocWriterTest, ScratchDocumentGrowsByWhatIsPastedIntoIt) {
    auto scratch = newDocDocument();
    const std::string empty = writeDoc(scratch);
    EXPECT_NO_THROW(reread(empty));

    const auto source = readTestDocument("generated/gen-inline-pictures.doc");
    const auto& big = source.inlines[static_cast<std::size_t>(source.inlinesOf(0)[0])];
    scratch.insertInline(0, 0, big);
    const std::string withOriginal = writeDoc(scratch);
    const auto back = reread(withOriginal);  // still a document this reader opens
    EXPECT_GT(withOriginal.size(), empty.size() + big.picture.size() * 9 / 10);
    EXPECT_LT(withOriginal.size(), empty.size() + big.picture.size() + 8192);

    scratch.eraseRange(0, 0, 1);
    EXPECT_EQ(writeDoc(scratch).size(), empty.size());

    model::InlineObject small;
    small.widthPt = big.widthPt;
    small.heightPt = big.heightPt;
    small.picture.type = model::PictureFormat::Png;
    small.picture.bytes = model::shareBytes(test::makePng(20, 15));
    scratch.insertInline(0, 0, small);
    const std::string withSmall = writeDoc(scratch);
    EXPECT_LT(withSmall.size(), withOriginal.size());
    EXPECT_GE(withSmall.size(), empty.size());

    // An embedded object costs its storage as well.
    auto objects = newDocDocument();
    const auto sheetSource = readTestDocument("generated/gen-embedded-objects.doc");
    const auto& sheet = sheetSource.inlines[static_cast<std::size_t>(sheetSource.inlinesOf(0)[0])];
    objects.insertInline(0, 0, sheet);
    const auto streams = test::streamsOf(writeDoc(objects));
    EXPECT_TRUE(std::any_of(streams.begin(), streams.end(),
                            [](const auto& entry) { return entry.first.rfind("ObjectPool/", 0) == 0; }));
}

// LibreOffice opens what the writer makes and finds the same text in it.
class LibreOfficeCheck : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v soffice >/dev/null 2>&1") != 0) GTEST_SKIP() << "soffice is not installed";
        dir = std::filesystem::temp_directory_path() / ("kelvaran-doc-lo-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir / "out");
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    std::string textOf(const std::string& stem, const std::string& bytes) {
        const auto path = dir / (stem + ".doc");
        std::ofstream(path, std::ios::binary) << bytes;
        const std::string command = "cd '" + dir.string() + "' && timeout 120 soffice -env:UserInstallation=file://" +
                                    (dir / "profile").string() + " --headless --convert-to txt:Text --outdir '" +
                                    (dir / "out").string() + "' '" + path.string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return "<soffice failed>";
        std::ifstream in(dir / "out" / (stem + ".txt"), std::ios::binary);
        if (!in) return "<no text written>";
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir;
};

TEST_F(LibreOfficeCheck, ReplacedDocumentsOpenWithTheSameText) {
    {
        auto doc = readTestDocument("generated/gen-inline-pictures.doc");
        test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), test::makePng(20, 15), 20, 15);
        const std::string before = textOf("inline-before", *doc.source);
        EXPECT_NE(before.find("Inline pictures follow."), std::string::npos) << before;
        EXPECT_EQ(textOf("inline-after", writeDoc(doc)), before);
    }
    {
        auto doc = readTestDocument("generated/gen-embedded-objects.doc");
        test::replaceInlineLikeTheOffice(doc, test::nthInline(doc, 0, 0), test::makePng(30, 15), 30, 15);
        EXPECT_EQ(textOf("object-after", writeDoc(doc)), textOf("object-before", *doc.source));
    }
    {
        // Objects whose fields leave a text full of positions: notes, a
        // comment, bookmarks, hyperlinks, a text box, a header.
        auto doc = readTestDocument("generated/gen-object-among-positions.doc");
        for (int story = 0; story < static_cast<int>(doc.stories.size()); ++story)
            for (int index : doc.inlinesOf(story))
                if (doc.inlines[static_cast<std::size_t>(index)].kind == model::InlineKind::EmbeddedObject)
                    test::replaceInlineLikeTheOffice(doc, index, test::makePng(30, 15), 30, 15);
        const std::string before = textOf("positions-before", *doc.source);
        EXPECT_NE(before.find("Later text"), std::string::npos) << before;
        EXPECT_EQ(textOf("positions-after", writeDoc(doc)), before);
    }
    {
        auto doc = readTestDocument("generated/gen-floating-rotated-wrapped.doc");
        test::replaceShapeLikeTheOffice(doc, 1, test::makePng(24, 18), 24, 18);
        EXPECT_EQ(textOf("floating-after", writeDoc(doc)), textOf("floating-before", *doc.source));
    }
    EXPECT_NE(textOf("scratch", writeDoc(newDocDocument())), "<soffice failed>");
}

}  // namespace
}  // namespace kelvaran::formats::doc
