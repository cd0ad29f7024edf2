// Embedded and linked objects of Word 97-2003 documents turned into plain
// pictures: the field goes and every position after it follows, the picture
// keeps the place and the look the object had, and an object the writer
// cannot convert is refused when it is asked for, not when the file is saved.

#include "formats/doc/CompoundFile.h"
#include "formats/doc/DocDocument.h"
#include "formats/doc/DocError.h"
#include "formats/doc/DocFormat.h"
#include "formats/doc/Fib.h"
#include "formats/doc/Sprm.h"
#include "tests/formats/doc/DocTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace kelvaran::formats::doc {
namespace {

namespace model = formats::model;
using test::readTestDocument;

std::uint32_t u32(const std::string& b, std::size_t o) {
    return std::uint32_t(static_cast<unsigned char>(b[o])) | std::uint32_t(static_cast<unsigned char>(b[o + 1])) << 8 |
           std::uint32_t(static_cast<unsigned char>(b[o + 2])) << 16 |
           std::uint32_t(static_cast<unsigned char>(b[o + 3])) << 24;
}

// The positions of one table of the FIB, made absolute.
struct Table {
    std::size_t pair;
    Fib::Story story;
    std::uint32_t dataSize;
};

std::vector<std::uint64_t> positions(const std::string& file, const Table& table) {
    const auto streams = test::streamsOf(file);
    const Fib fib = Fib::parse(streams.at("WordDocument"));
    const std::string& t = streams.at(fib.useTable1 ? "1Table" : "0Table");
    std::vector<std::uint64_t> out;
    const std::uint32_t fc = fib.fc(table.pair), lcb = fib.lcb(table.pair);
    if (lcb < 4) return out;
    const std::size_t n = (lcb - 4) / (4 + table.dataSize);
    for (std::size_t i = 0; i < n; ++i) out.push_back(std::uint64_t(fib.storyStart(table.story)) + u32(t, fc + 4 * i));
    return out;
}

// Replaces every embedded object of the document by a small picture, the
// way the office does it.
void convertEveryObject(model::Document& doc) {
    std::vector<int> objects;
    for (std::size_t s = 0; s < doc.stories.size(); ++s)
        for (int index : doc.inlinesOf(static_cast<int>(s)))
            if (doc.inlines[static_cast<std::size_t>(index)].kind != model::InlineKind::Picture) objects.push_back(index);
    ASSERT_FALSE(objects.empty());
    for (int index : objects) test::replaceInlineLikeTheOffice(doc, index, test::makePng(16, 8), 16, 8);
}

TEST(DocObjectConversionTest, EveryPositionStaysOnItsCharacterWhenFieldsLeaveTheText) {
    auto doc = readTestDocument("generated/gen-object-among-positions.doc");
    const DocDocument before = DocDocument::fromBytes(*doc.source);
    ASSERT_EQ(before.inventory().objects.size(), 2u) << "one object in the body, one in the text box";
    convertEveryObject(doc);
    const std::string written = writeDoc(doc);
    const DocDocument after = DocDocument::fromBytes(written);
    EXPECT_TRUE(after.inventory().objects.empty());
    ASSERT_EQ(after.inventory().pictures.size(), 2u);

    // The characters taken out: each field's begin, code and separator, and its end.
    std::set<std::uint64_t> removed;
    for (const auto& o : before.inventory().objects) {
        for (std::uint32_t cp = o.fieldBegin; cp <= o.separator; ++cp) removed.insert(cp);
        removed.insert(o.fieldEnd);
    }
    std::u16string expected;
    for (std::size_t cp = 0; cp < before.text().size(); ++cp)
        if (!removed.count(cp)) expected.push_back(before.text()[cp]);
    ASSERT_EQ(after.text(), expected);
    for (int s = 0; s < 8; ++s) {
        std::uint32_t gone = 0;
        for (std::uint64_t cp : removed)
            if (cp >= before.fib().storyStart(Fib::Story(s)) && cp < before.fib().storyStart(Fib::Story(s + 1))) ++gone;
        EXPECT_EQ(after.fib().ccp[s], before.fib().ccp[s] - gone) << "story " << s;
    }
    auto newPosition = [&](std::uint64_t cp) {
        std::uint64_t n = cp;
        for (std::uint64_t r : removed)
            if (r < cp) --n;
        return n;
    };

    // Every table of positions the document has: each position that did not
    // stand on a removed character stands on the same character as before.
    const Table tables[] = {
        {2, Fib::kMain, 2},           // footnote references
        {3, Fib::kFootnote, 0},       // footnote texts
        {4, Fib::kMain, 30},          // comment references
        {5, Fib::kComment, 0},        // comment texts
        {6, Fib::kMain, 12},          // sections
        {11, Fib::kHeader, 0},        // headers
        {16, Fib::kMain, 2},          // fields
        {17, Fib::kHeader, 2},        // header fields
        {22, Fib::kMain, 4},          // bookmark starts
        {23, Fib::kMain, 0},          // bookmark ends
        {40, Fib::kMain, 26},         // shape anchors
        {56, Fib::kTextbox, 22},      // text box texts
        {57, Fib::kTextbox, 2},       // text box fields
        {75, Fib::kTextbox, 6},       // text box breaks
    };
    for (const Table& table : tables) {
        SCOPED_TRACE(table.pair);
        const auto old = positions(*doc.source, table);
        const auto now = positions(written, table);
        ASSERT_FALSE(old.empty()) << "the test document lacks this table";
        std::vector<std::uint64_t> kept;
        for (std::uint64_t cp : old)
            if (!removed.count(cp) || (table.pair != 16 && table.pair != 57)) kept.push_back(cp);
        ASSERT_EQ(now.size(), kept.size());
        for (std::size_t i = 0; i < kept.size(); ++i) {
            EXPECT_EQ(now[i], newPosition(kept[i]));
            if (!removed.count(kept[i]) && kept[i] < before.text().size()) {
                ASSERT_LT(now[i], after.text().size());
                EXPECT_EQ(after.text()[now[i]], before.text()[kept[i]]) << "position " << kept[i];
            }
        }
    }
    // Both object storages left the file.
    const auto streams = test::streamsOf(written);
    EXPECT_FALSE(std::any_of(streams.begin(), streams.end(),
                             [](const auto& entry) { return entry.first.rfind("ObjectPool/", 0) == 0; }));
}

// The test document of two objects with its WordDocument stream changed.
std::string patchedObjectsDocument(void (*patch)(std::string& wordDocument)) {
    CompoundFile file = CompoundFile::fromBytes(*test::testFile("generated/gen-embedded-objects.doc"));
    patch(file.root.child("WordDocument")->data);
    return file.toBytes();
}

// A linked object's field is a LINK field; its cached picture becomes a
// plain picture just as an embedded object's does.
TEST(DocObjectConversionTest, LinkedObjectBecomesAPicture) {
    const std::string linked = patchedObjectsDocument([](std::string& w) {
        // The first field's code " EMBED " becomes " LINK  ", text of the
        // same length (the text is stored as UTF-16).
        auto utf16 = [](const std::string& ascii) {
            std::string out;
            for (char c : ascii) out += std::string{c, '\0'};
            return out;
        };
        const std::size_t at = w.find(utf16(" EMBED "));
        ASSERT_NE(at, std::string::npos);
        w.replace(at, 14, utf16(" LINK  "));
    });
    auto doc = readDoc(std::make_shared<const std::string>(linked));
    const int first = test::nthInline(doc, 0, 0);
    ASSERT_EQ(doc.inlines[static_cast<std::size_t>(first)].kind, model::InlineKind::LinkedObject);
    EXPECT_EQ(whyObjectStays(doc, doc.inlines[static_cast<std::size_t>(first)].origin), "");
    test::replaceInlineLikeTheOffice(doc, first, test::makePng(16, 8), 16, 8);
    const auto back = readDoc(std::make_shared<const std::string>(writeDoc(doc)));
    const auto live = back.inlinesOf(0);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(back.inlines[static_cast<std::size_t>(live[0])].kind, model::InlineKind::Picture);
    EXPECT_EQ(back.inlines[static_cast<std::size_t>(live[1])].kind, model::InlineKind::EmbeddedObject);
    EXPECT_EQ(back.main().plainText(), doc.main().plainText());
}

// A document holding a table of text positions the writer does not know
// keeps its objects: asked before the replacement, the format says why, and
// a replacement made all the same fails to save with that reason.
TEST(DocObjectConversionTest, ObjectsStayWhenPositionsCannotBeMoved) {
    const std::string unknown = patchedObjectsDocument([](std::string& w) {
        // Pair 7 (an outline table keyed by positions) given some bytes.
        const std::size_t pair = Fib::pairOffset(7);
        for (int i = 0; i < 4; ++i) w[pair + 4 + i] = i == 0 ? 8 : 0;
    });
    auto doc = readDoc(std::make_shared<const std::string>(unknown));
    const int first = test::nthInline(doc, 0, 0);
    const std::string why = whyObjectStays(doc, doc.inlines[static_cast<std::size_t>(first)].origin);
    EXPECT_NE(why.find("table of text positions"), std::string::npos) << why;
    // Pictures are not asked about; another document's objects are not this one's.
    auto plain = readTestDocument("generated/gen-inline-pictures.doc");
    EXPECT_EQ(whyObjectStays(plain, plain.inlines[0].origin), "");
    EXPECT_EQ(whyObjectStays(plain, doc.inlines[static_cast<std::size_t>(first)].origin), "");
    test::replaceInlineLikeTheOffice(doc, first, test::makePng(16, 8), 16, 8);
    try {
        writeDoc(doc);
        ADD_FAILURE() << "an object was converted although its field cannot leave the text";
    } catch (const model::FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("table of text positions"), std::string::npos) << e.what();
    }
}

// Objects of the older kind keep their picture in their storage: a metafile
// sized, scaled and cropped by a picture header of the storage.  They are
// read with that size and crop, and become pictures of the Data stream.
TEST(DocObjectConversionTest, ObjectsWithThePictureInTheirStorageAreReadCroppedAndConverted) {
    CompoundFile file = CompoundFile::fromBytes(*test::testFile("formats/doc/word97-ole-objects-wmf-png.doc"));
    CompoundEntry* pool = file.root.child("ObjectPool");
    ASSERT_NE(pool, nullptr);
    ASSERT_EQ(pool->children.size(), 2u);
    // The first object's picture cropped by 100 twips on the left and 60 at the bottom.
    std::string& pic = pool->children[0].child("\003PIC")->data;
    auto put32 = [&](std::size_t at, std::int32_t v) {
        for (int i = 0; i < 4; ++i) pic[at + i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    };
    put32(0x34, 100);
    put32(0x40, 60);
    auto doc = readDoc(std::make_shared<const std::string>(file.toBytes()));

    std::vector<int> objects;
    for (int index : doc.inlinesOf(0))
        if (doc.inlines[static_cast<std::size_t>(index)].kind == model::InlineKind::EmbeddedObject) objects.push_back(index);
    ASSERT_EQ(objects.size(), 2u) << "both equations are objects of the text";
    const auto& a = doc.inlines[static_cast<std::size_t>(objects[0])];
    const auto& b = doc.inlines[static_cast<std::size_t>(objects[1])];
    EXPECT_EQ(a.progId, "Equation.3");
    EXPECT_EQ(a.picture.type, model::PictureFormat::Wmf);
    ASSERT_GE(a.picture.size(), 22u);
    EXPECT_EQ(a.picture.bytes->substr(0, 4), std::string("\xD7\xCD\xC6\x9A", 4)) << "readable metafile";
    // Which storage belongs to which object is the file's business; the
    // cropped one is 100 twips narrower and 60 lower than its natural size.
    const auto& cropped = a.picture.crop.any() ? a : b;
    const auto& whole = a.picture.crop.any() ? b : a;
    EXPECT_FALSE(whole.picture.crop.any());
    EXPECT_NEAR(cropped.widthPt, cropped.picture.naturalWidthPt - 5, 0.01);
    EXPECT_NEAR(cropped.heightPt, cropped.picture.naturalHeightPt - 3, 0.01);
    EXPECT_NEAR(cropped.picture.crop.left, 100 / (cropped.picture.naturalWidthPt * 20), 1e-9);
    EXPECT_NEAR(cropped.picture.crop.bottom, 60 / (cropped.picture.naturalHeightPt * 20), 1e-9);
    EXPECT_EQ(whyObjectStays(doc, cropped.origin), "");

    const double width = cropped.widthPt, height = cropped.heightPt;
    test::replaceInlineLikeTheOffice(doc, a.picture.crop.any() ? objects[0] : objects[1], test::makePng(40, 10), 40, 10);
    const std::string written = writeDoc(doc);
    const auto back = readDoc(std::make_shared<const std::string>(written));
    EXPECT_EQ(back.main().plainText(), doc.main().plainText());
    int pictures = 0, left = 0;
    for (int i : back.inlinesOf(0)) {
        const auto& o = back.inlines[static_cast<std::size_t>(i)];
        if (o.kind == model::InlineKind::EmbeddedObject) ++left;
        if (o.kind == model::InlineKind::Picture && o.picture.type == model::PictureFormat::Png) {
            ++pictures;
            EXPECT_NEAR(o.widthPt, width, 0.05) << "the picture keeps the object's cropped size";
            EXPECT_NEAR(o.heightPt, height, 0.05);
            EXPECT_FALSE(o.picture.crop.any());
        }
    }
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(left, 1) << "the other equation stays an object";
    const auto streams = test::streamsOf(written);
    int storages = 0;
    for (const auto& [path, data] : streams)
        storages += path.size() > 5 && path.compare(path.size() - 5, 5, "/\003PIC") == 0 ? 1 : 0;
    EXPECT_EQ(storages, 1) << "the converted object's storage left the file";
}

// A floating object becomes a floating picture with the same anchor and
// layout: its shape is no longer an object, its field leaves the text-box
// story that held it, and its storage leaves the file.
TEST(DocObjectConversionTest, FloatingObjectBecomesAFloatingPicture) {
    auto doc = readTestDocument("formats/doc/word97-ole1-equations-floating-textbox-wmf.doc");
    const DocDocument before = DocDocument::fromBytes(*doc.source);
    std::vector<int> floating;
    for (int index : doc.topLevelShapes())
        if (doc.shapes[static_cast<std::size_t>(index)].type == model::shape_type::kEmbeddedObject) floating.push_back(index);
    ASSERT_EQ(floating.size(), 3u);
    EXPECT_EQ(doc.shapes[static_cast<std::size_t>(floating[0])].progId, "Equation") << "named by the object in its story";
    const auto original = doc.shapes[static_cast<std::size_t>(floating[1])];
    const std::string png = test::makePng(40, 20);
    test::replaceShapeLikeTheOffice(doc, floating[1], png, 40, 20);
    const std::string written = writeDoc(doc);

    const DocDocument after = DocDocument::fromBytes(written);
    const auto back = readDoc(std::make_shared<const std::string>(written));
    EXPECT_EQ(back.main().plainText(), doc.main().plainText());
    const auto& shape = back.shapes[static_cast<std::size_t>(floating[1])];
    EXPECT_EQ(shape.type, model::shape_type::kPicture);
    ASSERT_FALSE(shape.picture.empty());
    EXPECT_EQ(*shape.picture.bytes, png);
    EXPECT_DOUBLE_EQ(shape.leftPt, original.leftPt);
    EXPECT_DOUBLE_EQ(shape.topPt, original.topPt);
    EXPECT_DOUBLE_EQ(shape.widthPt, original.widthPt);
    EXPECT_EQ(shape.wrap.type, original.wrap.type);
    EXPECT_EQ(shape.stackPosition, original.stackPosition);
    // The other two floating objects stay objects.
    EXPECT_EQ(back.shapes[static_cast<std::size_t>(floating[0])].type, model::shape_type::kEmbeddedObject);
    EXPECT_EQ(back.shapes[static_cast<std::size_t>(floating[2])].type, model::shape_type::kEmbeddedObject);

    // Its field and picture left the text-box story, the other objects' did not.
    const auto& shapeBefore = before.inventory().shapes[static_cast<std::size_t>(floating[1])];
    ASSERT_GE(shapeBefore.objectIndex, 0);
    const auto& object = before.inventory().objects[static_cast<std::size_t>(shapeBefore.objectIndex)];
    EXPECT_EQ(after.inventory().objects.size(), before.inventory().objects.size() - 1);
    EXPECT_EQ(after.inventory().pictures.size(), before.inventory().pictures.size() - 1);
    EXPECT_EQ(after.fib().ccp[Fib::kTextbox], before.fib().ccp[Fib::kTextbox] - (object.fieldEnd + 1 - object.fieldBegin));
    for (std::size_t i = 0; i < after.inventory().shapes.size(); ++i) {
        const auto& s = after.inventory().shapes[i];
        if (!s.oleShape()) continue;
        ASSERT_GE(s.objectIndex, 0) << "an object shape lost its field";
        EXPECT_EQ(after.inventory().objects[static_cast<std::size_t>(s.objectIndex)].storageId,
                  before.inventory().objects[static_cast<std::size_t>(before.inventory().shapes[i].objectIndex)].storageId);
    }
    const auto streams = test::streamsOf(written);
    const std::string gone = "ObjectPool/_" + std::to_string(object.storageId) + "/";
    EXPECT_FALSE(std::any_of(streams.begin(), streams.end(),
                             [&](const auto& entry) { return entry.first.rfind(gone, 0) == 0; }));
    EXPECT_LT(written.size(), doc.source->size());
}

// The row properties Word keeps in the Data stream for every table row, in the
// order of the paragraph property pages: where each points and what it holds.
struct RowProperties {
    std::uint32_t at;
    std::string grpprl;
    std::size_t operand = 0;  // where the pointer sits in the WordDocument stream
};

std::vector<RowProperties> tableRowProperties(const std::string& file) {
    const auto streams = test::streamsOf(file);
    const std::string& w = streams.at("WordDocument");
    const Fib fib = Fib::parse(w);
    const std::string& t = streams.at(fib.useTable1 ? "1Table" : "0Table");
    const auto data = streams.find("Data");
    std::vector<RowProperties> out;
    const std::uint32_t fc = fib.fc(Fib::kPlcfBtePapx), lcb = fib.lcb(Fib::kPlcfBtePapx);
    const std::size_t pages = (lcb - 4) / 8;
    for (std::size_t i = 0; i < pages; ++i) {
        const std::size_t page = std::size_t(u32(t, fc + 4 * (pages + 1) + 4 * i) & 0x3FFFFF) * 512;
        const std::size_t runs = static_cast<unsigned char>(w[page + 511]);
        for (std::size_t r = 0; r < runs; ++r) {
            const std::size_t bx = static_cast<unsigned char>(w[page + 4 * (runs + 1) + 13 * r]);
            if (bx == 0) continue;
            std::size_t at = page + 2 * bx;
            std::size_t size = static_cast<unsigned char>(w[at++]);
            size = size ? 2 * size - 1 : 2 * std::size_t(static_cast<unsigned char>(w[at++]));
            for (const Sprm& s : Sprm::list(w, at + 2, at + size)) {
                if (s.opcode != Sprm::kPTableProps) continue;
                RowProperties p{.at = u32(w, s.operand), .grpprl = {}, .operand = s.operand};
                // A PrcData: its size, then the row's property modifiers.
                if (data != streams.end() && std::size_t(p.at) + 2 <= data->second.size()) {
                    const std::size_t cb = static_cast<unsigned char>(data->second[p.at]) |
                                           std::size_t(static_cast<unsigned char>(data->second[p.at + 1])) << 8;
                    p.grpprl = data->second.substr(p.at + 2, cb);
                }
                out.push_back(std::move(p));
            }
        }
    }
    return out;
}

TEST(DocObjectConversionTest, TableRowsKeepTheirRowPropertiesWhenTheDataStreamMoves) {
    // A Word 2007 document: four objects, then a table that holds a nested
    // table, the row properties of both in the Data stream behind the
    // objects' pictures.
    auto doc = readTestDocument("formats/doc/word2007-ole-excel-chart-pdf-ppt-package.doc");
    const auto before = tableRowProperties(*doc.source);
    ASSERT_EQ(before.size(), 16u);
    std::size_t nested = 0;
    for (const RowProperties& p : before) {
        ASSERT_GE(p.grpprl.size(), 3u);
        for (const Sprm& s : Sprm::list(p.grpprl, 0, p.grpprl.size()))
            if (s.opcode == Sprm::kPItap && u32(p.grpprl, s.operand) == 2) ++nested;
    }
    ASSERT_EQ(nested, 3u) << "the rows of the nested table";

    convertEveryObject(doc);
    const std::string written = writeDoc(doc);
    const auto after = tableRowProperties(written);
    ASSERT_EQ(after.size(), before.size());
    std::size_t moved = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(after[i].grpprl, before[i].grpprl) << "row properties read at " << after[i].at;
        if (after[i].at != before[i].at) ++moved;
    }
    EXPECT_EQ(moved, before.size()) << "the smaller pictures pull every row's properties forward";
}

TEST(DocObjectConversionTest, ObjectWhosePictureHoldsRowPropertiesIsRefusedWhenAsked) {
    // A damaged file: one row's properties said to lie inside the Excel
    // chart's picture.  That object stays; the others are converted and the
    // document is saved.
    const std::string original = *test::testFile("formats/doc/word2007-ole-excel-chart-pdf-ppt-package.doc");
    const DocDocument clean = DocDocument::fromBytes(original);
    std::size_t chart = clean.inventory().objects.size();
    for (std::size_t i = 0; i < clean.inventory().objects.size(); ++i)
        if (clean.inventory().objects[i].progId.rfind("Excel.Chart", 0) == 0) chart = i;
    ASSERT_LT(chart, clean.inventory().objects.size());
    const int picture = clean.inventory().objects[chart].resultPicture;
    ASSERT_GE(picture, 0);
    const std::uint32_t inside = clean.inventory().pictures[static_cast<std::size_t>(picture)].dataOffset + 10;

    // And the last row's inside a plain inline picture, which is then refused too.
    std::size_t plain = clean.inventory().pictures.size();
    for (std::size_t i = 0; i < clean.inventory().pictures.size(); ++i)
        if (clean.inventory().pictures[i].objectIndex < 0 && !clean.inventory().pictures[i].linked) plain = i;
    ASSERT_LT(plain, clean.inventory().pictures.size());
    const std::uint32_t insidePlain = clean.inventory().pictures[plain].dataOffset;

    const auto rows = tableRowProperties(original);
    ASSERT_GE(rows.size(), 3u);
    CompoundFile file = CompoundFile::fromBytes(original);
    std::string& w = file.root.child("WordDocument")->data;
    for (int i = 0; i < 4; ++i) {
        w[rows.front().operand + i] = static_cast<char>((inside >> (8 * i)) & 0xFF);
        w[rows.back().operand + i] = static_cast<char>((insidePlain >> (8 * i)) & 0xFF);
    }
    DocDocument damaged = DocDocument::fromBytes(file.toBytes());
    EXPECT_THROW(damaged.replaceInlinePicture(plain, PictureFormat::Png, test::makePng(16, 8)), DocError);

    EXPECT_NE(damaged.whyObjectCannotBecomePicture(chart).find("paragraph properties"), std::string::npos);
    EXPECT_THROW(damaged.convertObjectToPicture(chart, PictureFormat::Png, test::makePng(16, 8)), DocError);
    std::size_t converted = 0;
    for (std::size_t i = 0; i < damaged.inventory().objects.size(); ++i) {
        if (i == chart) continue;
        EXPECT_EQ(damaged.whyObjectCannotBecomePicture(i), "") << damaged.inventory().objects[i].progId;
        damaged.convertObjectToPicture(i, PictureFormat::Png, test::makePng(16, 8));
        ++converted;
    }
    ASSERT_EQ(converted, 3u);
    const std::string written = damaged.saveToBytes();
    const DocDocument after = DocDocument::fromBytes(written);
    ASSERT_EQ(after.inventory().objects.size(), 1u);
    EXPECT_EQ(after.inventory().objects.front().progId, clean.inventory().objects[chart].progId);
    // The rows that were sound still read their own properties.
    const auto now = tableRowProperties(written);
    ASSERT_EQ(now.size(), rows.size());
    for (std::size_t i = 1; i + 1 < rows.size(); ++i) EXPECT_EQ(now[i].grpprl, rows[i].grpprl) << "row " << i;
}

}  // namespace
}  // namespace kelvaran::formats::doc
