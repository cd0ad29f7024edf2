// The Word 97-2003 reader on documents saved by LibreOffice from the
// project's generator and on Word-made files: text, pictures, objects and
// shapes with their sizes, kinds and layout.

#include "formats/doc/DocDocument.h"
#include "formats/doc/DocFormat.h"
#include "tests/formats/doc/DocTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace kelvaran::formats::doc {
namespace {

namespace model = formats::model;
using test::readTestDocument;
using test::testFile;

constexpr double kCm = 72.0 / 2.54;

int countKind(const model::Story& story, model::ElementKind kind) {
    return static_cast<int>(std::count_if(story.elements.begin(), story.elements.end(),
                                          [&](const model::Element& e) { return e.kind == kind; }));
}

TEST(DocReaderTest, RecognisesCompoundFilesOnly) {
    EXPECT_TRUE(looksLikeDoc(*test::testFile("generated/gen-text-only.doc")));
    EXPECT_FALSE(looksLikeDoc(*test::testFile("generated/gen-text-only.rtf")));
    EXPECT_FALSE(looksLikeDoc(""));
    // Word 2 files are taken, to be refused with their reason.
    const std::string word2 = std::string("\xDB\xA5\x2D\x00", 4) + std::string(60, '\0');
    EXPECT_TRUE(looksLikeDoc(word2));
    try {
        readDoc(std::make_shared<const std::string>(word2));
        ADD_FAILURE() << "a Word 2 file was read";
    } catch (const model::FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("Word 2"), std::string::npos) << e.what();
    }
}

TEST(DocReaderTest, PlainTextDocumentHasItsParagraphsAndNothingElse) {
    const auto doc = readTestDocument("generated/gen-text-only.doc");
    EXPECT_EQ(doc.format, "doc");
    ASSERT_TRUE(doc.source);
    EXPECT_TRUE(doc.inlines.empty());
    EXPECT_TRUE(doc.shapes.empty());
    const std::string text = doc.main().plainText();
    EXPECT_EQ(text.rfind("Plain text only.\nKelvaran test paragraph", 0), 0u) << text;
    EXPECT_EQ(countKind(doc.main(), model::ElementKind::ParagraphMark), 2);
    EXPECT_FALSE(doc.modified());

    const auto word = readTestDocument("formats/doc/word97-text-only.doc");
    EXPECT_EQ(word.main().plainText(), "This is a simple file created with Word 97-SR2.\n");
}

TEST(DocReaderTest, InlinePicturesCarryDisplayedAndNaturalSizeAndTheirPng) {
    const auto doc = readTestDocument("generated/gen-inline-pictures.doc");
    EXPECT_EQ(doc.main().plainText(),
              "Inline pictures follow.\nFirst \xEF\xBF\xBC after.\nSecond \xEF\xBF\xBC and small \xEF\xBF\xBC\n"
              "End of document.\n");
    const auto live = doc.inlinesOf(0);
    ASSERT_EQ(live.size(), 3u);
    const auto& first = doc.inlines[static_cast<std::size_t>(live[0])];
    EXPECT_EQ(first.kind, model::InlineKind::Picture);
    EXPECT_NEAR(first.widthPt, 6.0 * kCm, 0.5);
    EXPECT_NEAR(first.heightPt, 4.5 * kCm, 0.5);
    EXPECT_EQ(first.picture.type, model::PictureFormat::Png);
    EXPECT_EQ(first.picture.bytes->substr(1, 3), "PNG");
    EXPECT_EQ(first.picture.pixelWidth, 200);
    EXPECT_EQ(first.picture.pixelHeight, 150);
    EXPECT_NEAR(first.picture.naturalWidthPt, 150, 0.5);  // 200 pixels at 96 per inch
    EXPECT_GT(first.picture.size(), 50000u);
    EXPECT_FALSE(first.picture.crop.any());
    EXPECT_FALSE(first.borders.anyVisible());
    EXPECT_EQ(first.origin.format, "doc");
    EXPECT_EQ(first.origin.source, doc.source);
    const auto& second = doc.inlines[static_cast<std::size_t>(live[1])];
    EXPECT_NEAR(second.widthPt, 4.0 * kCm, 0.5);
    EXPECT_NEAR(second.heightPt, 3.0 * kCm, 0.5);
    EXPECT_LT(doc.inlines[static_cast<std::size_t>(live[2])].picture.size(), 1024u);
}

// Some writers crop an inline picture only through its drawing properties
// and give the header the visible size: the crop is read from there, and the
// natural size is what the visible part is a share of.
TEST(DocReaderTest, ACropKeptOnlyInTheDrawingPropertiesIsRead) {
    const auto doc = readTestDocument("formats/doc/word97-floating-and-inline-png-object.doc");
    std::vector<const model::InlineObject*> cropped;
    for (int index : doc.inlinesOf(0)) {
        const auto& o = doc.inlines[static_cast<std::size_t>(index)];
        if (o.picture.crop.any()) cropped.push_back(&o);
    }
    ASSERT_EQ(cropped.size(), 1u) << "one of the sixteen inline pictures is cropped";
    const model::InlineObject& o = *cropped[0];
    EXPECT_NEAR(o.picture.crop.left, 0.0480, 0.0005);
    EXPECT_NEAR(o.picture.crop.top, 0.0896, 0.0005);
    EXPECT_NEAR(o.picture.crop.right, 0.0576, 0.0005);
    EXPECT_NEAR(o.picture.crop.bottom, 0.1024, 0.0005);
    EXPECT_NEAR(o.widthPt, 1343 / 20.0, 0.1) << "the displayed size stays the header's";
    EXPECT_NEAR(o.picture.naturalWidthPt * (1 - o.picture.crop.left - o.picture.crop.right), o.widthPt, 0.01);
    EXPECT_NEAR(o.picture.naturalHeightPt * (1 - o.picture.crop.top - o.picture.crop.bottom), o.heightPt, 0.01);
}

TEST(DocReaderTest, PageBreaksCountForThePageEstimate) {
    const auto doc = readTestDocument("generated/gen-page-breaks.doc");
    const auto live = doc.inlinesOf(0);
    ASSERT_EQ(live.size(), 2u);
    const auto page = [&](int object) {
        const auto [story, element] = doc.locateInline(object);
        return doc.estimatePage(story, doc.stories[static_cast<std::size_t>(story)].positionOf(
                                           static_cast<std::size_t>(element)));
    };
    EXPECT_EQ(page(live[0]), 1);
    EXPECT_EQ(page(live[1]), 3);
    // The breaks are kept as page-break-before of the paragraphs that start pages.
    int breaksBefore = 0;
    for (const auto& element : doc.main().elements)
        if (element.kind == model::ElementKind::ParagraphMark && element.paragraph->pageBreakBefore) ++breaksBefore;
    EXPECT_EQ(breaksBefore + countKind(doc.main(), model::ElementKind::PageBreak), 2);
}

TEST(DocReaderTest, FramedParagraphsCarryTheirFrame) {
    const auto doc = readTestDocument("formats/doc/word97-ole-objects-wmf-png.doc");
    std::vector<model::FrameProperties> frames;
    for (const auto& element : doc.main().elements)
        if (element.paragraph->frame) frames.push_back(*element.paragraph->frame);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].widthPt, 0);  // automatic width and height
    EXPECT_EQ(frames[0].heightPt, 0);
    EXPECT_TRUE(frames[0].wrapAround);
    const auto plain = readTestDocument("generated/gen-inline-pictures.doc");
    for (const auto& element : plain.main().elements) EXPECT_FALSE(element.paragraph->frame.has_value());
}

// Only what a reader shows as a picture becomes one: horizontal lines and the
// stand-in character of a drawing in a SHAPE field have no picture data, an
// empty picture frame is no picture, and a picture linked to a file is one of
// its own kind.
TEST(DocReaderTest, DrawingsWithoutPictureDataAreNoPictures) {
    const auto lines = readTestDocument("formats/doc/word2002-linked-pictures-horizontal-lines.doc");
    int pictures = 0;
    int linked = 0;
    for (int object : lines.inlinesOf(0)) {
        const auto& inline_ = lines.inlines[static_cast<std::size_t>(object)];
        if (inline_.kind == model::InlineKind::Picture) {
            ++pictures;
            EXPECT_FALSE(inline_.picture.empty());
        } else if (inline_.kind == model::InlineKind::LinkedPicture) {
            ++linked;
        }
    }
    EXPECT_EQ(pictures, 3);
    EXPECT_EQ(linked, 5);
    EXPECT_EQ(lines.inlinesOf(0).size(), 8u);
    // The lines' characters stay in the text: its length is that of the file.
    const auto parsed = DocDocument::fromBytes(*testFile("formats/doc/word2002-linked-pictures-horizontal-lines.doc"));
    EXPECT_EQ(lines.main().length(), static_cast<std::int64_t>(parsed.fib().ccp[0]));

    const auto group = readTestDocument("formats/doc/word2003-shape-field-group-object.doc");
    ASSERT_EQ(group.inlinesOf(0).size(), 1u);
    EXPECT_EQ(group.inlines[static_cast<std::size_t>(group.inlinesOf(0)[0])].kind, model::InlineKind::EmbeddedObject);
    const auto top = group.topLevelShapes();
    ASSERT_EQ(top.size(), 1u);
    const auto& members = group.shapes[static_cast<std::size_t>(top[0])].children;
    ASSERT_EQ(members.size(), 2u);
    for (int member : members) EXPECT_NE(group.shapes[static_cast<std::size_t>(member)].type, model::shape_type::kPicture);
}

TEST(DocReaderTest, JapaneseTextIsUtf8) {
    const auto doc = readTestDocument("generated/gen-japanese-text.doc");
    const std::string text = doc.main().plainText();
    EXPECT_NE(text.find("日本語のテキストです。"), std::string::npos) << text;
    EXPECT_NE(text.find("ｶﾀｶﾅ"), std::string::npos) << text;
    EXPECT_EQ(doc.inlinesOf(0).size(), 1u);
}

TEST(DocReaderTest, EmbeddedObjectsHaveTheirClassAndPresentation) {
    const auto doc = readTestDocument("generated/gen-embedded-objects.doc");
    EXPECT_EQ(doc.main().plainText(), "Spreadsheet: \xEF\xBF\xBC\nChart: \xEF\xBF\xBC\nEnd.\n");
    const auto live = doc.inlinesOf(0);
    ASSERT_EQ(live.size(), 2u);
    const auto& sheet = doc.inlines[static_cast<std::size_t>(live[0])];
    EXPECT_EQ(sheet.kind, model::InlineKind::EmbeddedObject);
    EXPECT_EQ(sheet.progId.rfind("Excel.Sheet", 0), 0u) << sheet.progId;
    EXPECT_FALSE(sheet.picture.empty());
    EXPECT_NEAR(sheet.widthPt, 8.0 * kCm, 1.0);
    const auto& chart = doc.inlines[static_cast<std::size_t>(live[1])];
    EXPECT_EQ(chart.kind, model::InlineKind::EmbeddedObject);
    EXPECT_FALSE(chart.progId.empty());
    EXPECT_EQ(chart.picture.type, model::PictureFormat::Png);

    const auto equation = readTestDocument("formats/doc/lo-written-ole-equation.doc");
    ASSERT_EQ(equation.inlinesOf(0).size(), 1u);
    EXPECT_EQ(equation.inlines[0].kind, model::InlineKind::EmbeddedObject);
    EXPECT_EQ(equation.inlines[0].picture.type, model::PictureFormat::Emf);
}

TEST(DocReaderTest, FloatingPicturesWithWrappingAndRelativeLayout) {
    const auto doc = readTestDocument("generated/gen-floating-rotated-wrapped.doc");
    EXPECT_TRUE(doc.inlines.empty());
    const auto top = doc.topLevelShapes();
    ASSERT_EQ(top.size(), 3u);
    std::vector<int> wraps;
    for (int index : top) {
        const auto& shape = doc.shapes[static_cast<std::size_t>(index)];
        EXPECT_EQ(shape.type, model::shape_type::kPicture);
        EXPECT_EQ(shape.picture.type, model::PictureFormat::Png);
        EXPECT_EQ(shape.anchor.story, 0);
        wraps.push_back(shape.wrap.type);
        if (shape.wrap.type == 5) {
            // Behind the text, placed relative to the page.
            EXPECT_TRUE(shape.behindText);
            EXPECT_EQ(shape.relative.horizontalPosition, 1);
            EXPECT_EQ(shape.relative.verticalPosition, 1);
            EXPECT_NEAR(shape.widthPt, 6.0 * kCm, 0.5);
            EXPECT_NEAR(shape.leftPt, 3.0 * kCm, 0.5);
            EXPECT_NEAR(shape.topPt, 12.0 * kCm, 0.5);
        }
    }
    std::sort(wraps.begin(), wraps.end());
    EXPECT_EQ(wraps, (std::vector<int>{0, 4, 5}));  // square, top and bottom, behind
    // Stacking positions tell the shapes apart.
    std::set<std::int64_t> stack;
    for (int index : top) stack.insert(doc.shapes[static_cast<std::size_t>(index)].stackPosition);
    EXPECT_EQ(stack.size(), 3u);

    const auto word = readTestDocument("formats/doc/lo-written-floating-png.doc");
    ASSERT_EQ(word.topLevelShapes().size(), 1u);
    EXPECT_EQ(word.shapes[0].picture.type, model::PictureFormat::Png);
}

TEST(DocReaderTest, GroupMembersLieInsideTheirGroup) {
    const auto doc = readTestDocument("generated/gen-group-pictures.doc");
    const auto top = doc.topLevelShapes();
    ASSERT_EQ(top.size(), 1u);
    const auto& group = doc.shapes[static_cast<std::size_t>(top[0])];
    EXPECT_EQ(group.type, model::shape_type::kGroup);
    EXPECT_EQ(group.name, "Group1");
    ASSERT_EQ(group.children.size(), 2u);
    for (int member : group.children) {
        const auto& shape = doc.shapes[static_cast<std::size_t>(member)];
        EXPECT_EQ(shape.parent, top[0]);
        EXPECT_EQ(shape.type, model::shape_type::kPicture);
        EXPECT_FALSE(shape.picture.empty());
        EXPECT_EQ(shape.anchor.element, group.anchor.element);
        EXPECT_GE(shape.leftPt, group.leftPt - 0.5);
        EXPECT_LE(shape.leftPt + shape.widthPt, group.leftPt + group.widthPt + 0.5);
        EXPECT_GE(shape.topPt, group.topPt - 0.5);
    }
}

TEST(DocReaderTest, TextBoxHasItsStoryWithThePictureInIt) {
    for (const char* name : {"generated/gen-textbox-picture.doc", "generated/gen-frame-picture.doc"}) {
        SCOPED_TRACE(name);
        const auto doc = readTestDocument(name);
        EXPECT_TRUE(doc.inlinesOf(0).empty());
        const auto top = doc.topLevelShapes();
        ASSERT_EQ(top.size(), 1u);
        const auto& box = doc.shapes[static_cast<std::size_t>(top[0])];
        EXPECT_EQ(box.type, model::shape_type::kTextBox);
        ASSERT_GT(box.textStory, 0);
        const auto& story = doc.stories[static_cast<std::size_t>(box.textStory)];
        EXPECT_EQ(story.kind, model::StoryKind::TextBox);
        EXPECT_EQ(story.owner, top[0]);
        const auto inside = doc.inlinesOf(box.textStory);
        ASSERT_EQ(inside.size(), 1u);
        EXPECT_NEAR(doc.inlines[static_cast<std::size_t>(inside[0])].widthPt, 5.0 * kCm, 0.5);
        EXPECT_EQ(doc.inlines[static_cast<std::size_t>(inside[0])].picture.type, model::PictureFormat::Png);
    }
    const auto framed = readTestDocument("generated/gen-frame-picture.doc");
    EXPECT_NEAR(framed.shapes[0].leftPt, 9.0 * kCm, 0.5);
    EXPECT_NE(framed.stories[1].plainText().find("Caption"), std::string::npos);
}

TEST(DocReaderTest, WordMadeMetafilesAreDecodedForImaging) {
    const auto emf = readTestDocument("formats/doc/word97-inline-emf.doc");
    ASSERT_EQ(emf.inlinesOf(0).size(), 1u);
    const auto& picture = emf.inlines[0].picture;
    EXPECT_EQ(picture.type, model::PictureFormat::Emf);
    ASSERT_GE(picture.size(), 44u);
    EXPECT_EQ(picture.bytes->substr(40, 4), " EMF");  // inflated, header first

    const auto wmf = readTestDocument("formats/doc/word97-ole-objects-wmf-png.doc");
    const auto live = wmf.inlinesOf(0);
    ASSERT_FALSE(live.empty());
    const auto& first = wmf.inlines[static_cast<std::size_t>(live[0])].picture;
    EXPECT_EQ(first.type, model::PictureFormat::Wmf);
    // The placeable header imaging needs comes first.
    ASSERT_GE(first.size(), 22u);
    EXPECT_EQ(first.bytes->substr(0, 4), std::string("\xD7\xCD\xC6\x9A", 4));
    EXPECT_NE(wmf.main().plainText().find("FORCE ON A CURRENT IN A MAGNETIC FIELD"), std::string::npos);
}

TEST(DocReaderTest, NewDocumentIsEmptyAndOfItsFormat) {
    const auto doc = newDocDocument();
    EXPECT_EQ(doc.format, "doc");
    EXPECT_TRUE(doc.inlines.empty());
    EXPECT_TRUE(doc.shapes.empty());
    EXPECT_LE(doc.main().length(), 2);
    EXPECT_FALSE(doc.modified());
}

}  // namespace
}  // namespace kelvaran::formats::doc
