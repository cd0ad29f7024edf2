#include "formats/rtf/RtfFormat.h"
#include "platform/AtomicFile.h"
#include "tests/formats/rtf/RtfTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>

namespace kelvaran::formats::rtf {
namespace {

using namespace test;

std::string pngPict(const std::string& words = "\\picwgoal600\\pichgoal400") {
    return "{\\pict\\pngblip" + words + " " + hex(tinyPng()) + "}";
}

const model::Element* firstOf(const model::Story& story, model::ElementKind kind) {
    for (const auto& element : story.elements) {
        if (element.kind == kind) return &element;
    }
    return nullptr;
}

TEST(RtfReaderTest, GeneratedInlinePicturesWithTheirSizesAndText) {
    const auto document = read(dataFile("generated/gen-inline-pictures.rtf"));
    ASSERT_EQ(document.inlinesOf(0).size(), 3u);
    const auto sizes = inlineSizes(document);
    // 6 x 4.5 cm, 4 x 3 cm, and a small one, as LibreOffice rounded them.
    EXPECT_NEAR(sizes[0].first, 170.1, 1.0);
    EXPECT_NEAR(sizes[0].second, 127.6, 1.0);
    EXPECT_NEAR(sizes[1].first, 113.4, 1.0);
    EXPECT_NEAR(sizes[1].second, 85.0, 1.0);
    const auto& big = document.inlines[0];
    EXPECT_EQ(big.picture.type, model::PictureFormat::Png);
    EXPECT_EQ(big.picture.pixelWidth, 200);
    EXPECT_EQ(big.picture.pixelHeight, 150);
    EXPECT_GT(big.picture.size(), 50000u);
    EXPECT_NEAR(big.picture.naturalWidthPt, 150, 0.01);
    EXPECT_FALSE(big.picture.crop.any());
    // The picture's bytes and its fallback copy are both known.
    EXPECT_TRUE(big.origin.range.valid());
    ASSERT_EQ(big.origin.companions.size(), 1u);
    EXPECT_GT(big.origin.companions[0].begin, big.origin.range.end - 1);
    const std::string text = document.main().plainText();
    EXPECT_NE(text.find("First \xEF\xBF\xBC after."), std::string::npos) << text;
    EXPECT_NE(text.find("End of document."), std::string::npos);
}

TEST(RtfReaderTest, GeneratedDocumentsOfEveryKind) {
    auto floating = read(dataFile("generated/gen-floating-rotated-wrapped.rtf"));
    ASSERT_EQ(floating.shapes.size(), 3u);
    EXPECT_EQ(floating.shapes[0].type, model::shape_type::kPicture);
    EXPECT_NEAR(floating.shapes[0].rotation, 330, 0.01);
    EXPECT_EQ(floating.shapes[0].wrap.type, 0);
    EXPECT_EQ(floating.shapes[1].wrap.type, 5);
    EXPECT_TRUE(floating.shapes[1].behindText);
    // The file names no reference for it (the generator asked for the page,
    // LibreOffice wrote nothing): column and paragraph, as it is laid out.
    EXPECT_EQ(floating.shapes[1].relative.horizontalPosition, 2);
    EXPECT_EQ(floating.shapes[1].relative.verticalPosition, 2);
    EXPECT_EQ(floating.shapes[2].wrap.type, 4);
    EXPECT_NEAR(floating.shapes[0].widthPt, 141.75, 0.01);
    EXPECT_LT(floating.shapes[0].stackPosition, floating.shapes[2].stackPosition);
    // Anchored to the paragraph each stands in.
    EXPECT_EQ(floating.shapes[1].anchor.story, 0);
    EXPECT_EQ(floating.main().elements[static_cast<std::size_t>(floating.shapes[1].anchor.element) - 1].kind,
              model::ElementKind::ParagraphMark);

    auto box = read(dataFile("generated/gen-textbox-picture.rtf"));
    ASSERT_EQ(box.shapes.size(), 1u);
    EXPECT_EQ(box.shapes[0].type, model::shape_type::kTextBox);
    ASSERT_GT(box.shapes[0].textStory, 0);
    const auto& story = box.stories[static_cast<std::size_t>(box.shapes[0].textStory)];
    EXPECT_EQ(story.kind, model::StoryKind::TextBox);
    EXPECT_EQ(story.owner, 0);
    EXPECT_NE(story.plainText().find("Text inside the box."), std::string::npos);
    EXPECT_EQ(box.inlinesOf(box.shapes[0].textStory).size(), 1u);
    EXPECT_TRUE(box.inlinesOf(0).empty());

    auto japanese = read(dataFile("generated/gen-japanese-text.rtf"));
    EXPECT_NE(japanese.main().plainText().find("日本語のテキストです。"), std::string::npos);
    EXPECT_NE(japanese.main().plainText().find("ｶﾀｶﾅ"), std::string::npos);

    auto pages = read(dataFile("generated/gen-page-breaks.rtf"));
    const auto objects = pages.inlinesOf(0);
    ASSERT_EQ(objects.size(), 2u);
    const auto [storyIndex, element] = pages.locateInline(objects[1]);
    EXPECT_EQ(pages.estimatePage(storyIndex, pages.main().positionOf(static_cast<std::size_t>(element))), 3);

    auto text = read(dataFile("generated/gen-text-only.rtf"));
    EXPECT_TRUE(text.inlines.empty());
    EXPECT_TRUE(text.shapes.empty());
    EXPECT_NE(text.main().plainText().find("Plain text only.\n"), std::string::npos);
}

TEST(RtfReaderTest, RealFilesFromTheCorpus) {
    const auto document = read(dataFile("formats/rtf/lo-from-word97-four-ole-objects.rtf"));
    EXPECT_EQ(document.inlinesOf(0).size(), 4u);
    EXPECT_NE(document.main().plainText().find("I have lots of embedded files in me"), std::string::npos);
    // Every RTF of the corpus is read, and holds at least the pictures and
    // objects LibreOffice finds in its body (the corpus manifest counts them;
    // header and footer pictures are not the reader's).
    const auto counts = corpusManifestCounts();
    ASSERT_FALSE(corpusRtfFiles().empty()) << "the shared corpus is missing";
    for (const auto& path : corpusRtfFiles()) {
        SCOPED_TRACE(path);
        const std::string name = "rtf/" + std::filesystem::path(path).filename().string();
        const auto expected = counts.find(name);
        if (expected == counts.end() || expected->second < 0) continue;  // LibreOffice cannot read it either
        const auto big = read(platform::readWholeFile(path));
        std::size_t pictures = 0;
        for (std::size_t s = 0; s < big.stories.size(); ++s) pictures += big.inlinesOf(static_cast<int>(s)).size();
        for (const auto& shape : big.shapes) pictures += shape.picture.empty() ? 0 : 1;
        EXPECT_GE(static_cast<int>(pictures), expected->second);
        EXPECT_GT(big.main().length(), 0);
    }
}

TEST(RtfReaderTest, ShiftJisEscapesUnicodeAndFallbacks) {
    // あ as \'82\'a0, 表 as \'95\'5c (its trail byte is "\"), 日 as \u with two
    // fallback bytes, ン as \'83\'93 whose trail byte could lead.
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 Mincho;}}\\f0 "
        "\\'82\\'a0\\'95\\'5ca\\uc2\\u26085\\'93\\'fa!{\\'83\\'93}\\par}";
    const auto document = read(rtf);
    EXPECT_EQ(document.main().plainText(), "あ表a日!ン\n");
    EXPECT_EQ(document.main().length(), 7);
    // Double-byte text just before a picture: the picture is not lost.
    const auto withPicture = read("{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 {\\'8a\\'fa}"
                                  "{\\pict\\pngblip\\picw2\\pich2\\picwgoal40\\pichgoal40 " + hex(tinyPng()) + "}\\par}");
    EXPECT_EQ(withPicture.inlinesOf(0).size(), 1u);
    EXPECT_EQ(withPicture.main().plainText().substr(0, 3), "期");
    // Code page 1252 text of the upper half.
    const auto western = read(wrap("caf\\'e9 \\'80\\par"));
    EXPECT_EQ(western.main().plainText(), "café €\n");
    // A character beyond the basic plane counts two positions.
    const auto wide = read(wrap("\\u-10179?\\u-8704?\\par"));
    EXPECT_EQ(wide.main().plainText(), "\xF0\x9F\x98\x80\n");
    EXPECT_EQ(wide.main().length(), 3);
    // Shape names in the document's code page: 図 is 0x90 0x7D.
    const auto named = read("{\\rtf1\\ansi\\ansicpg932{\\shp{\\*\\shpinst\\shpright400\\shpbottom400{\\sp{\\sn shapeType}"
                            "{\\sv 202}}{\\sp{\\sn wzName}{\\sv \\'90\\'7d 1}}}}x\\par}");
    ASSERT_EQ(named.shapes.size(), 1u);
    EXPECT_EQ(named.shapes[0].name, "図 1");
    // Characters written as control words are one position each.
    const auto special = read(wrap("a\\tab b\\line c\\emdash\\endash\\bullet\\lquote\\rquote"
                                   "\\ldblquote\\rdblquote\\emspace\\enspace\\par"));
    EXPECT_EQ(special.main().plainText(), "a\tb\vc—–•‘’“”  \n");
    EXPECT_EQ(special.main().length(), 15);
}

TEST(RtfReaderTest, BreaksSectionsAndFrames) {
    const std::string body =
        "One\\par \\page Two\\sect\\sectd\\sbknone Three\\par\\pard\\pagebb Four\\par"
        "\\pard\\absw2000\\absh-1000\\phpg\\posx1440\\pvpg\\posy720\\nowrap " +
        pngPict() + "\\par\\pard Tail\\par";
    const auto document = read(wrap(body));
    const auto& story = document.main();
    EXPECT_NE(firstOf(story, model::ElementKind::PageBreak), nullptr);
    const auto* section = firstOf(story, model::ElementKind::SectionBreak);
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->section, model::SectionBreakKind::Continuous);
    // The frame belongs to the paragraph mark after the picture.
    const auto objects = document.inlinesOf(0);
    ASSERT_EQ(objects.size(), 1u);
    const auto [s, e] = document.locateInline(objects[0]);
    const auto& mark = story.elements[story.paragraphEnd(static_cast<std::size_t>(e))];
    ASSERT_TRUE(mark.paragraph->frame.has_value());
    EXPECT_DOUBLE_EQ(mark.paragraph->frame->widthPt, 100);
    EXPECT_DOUBLE_EQ(mark.paragraph->frame->heightPt, -50);
    EXPECT_DOUBLE_EQ(mark.paragraph->frame->xPt, 72);
    EXPECT_DOUBLE_EQ(mark.paragraph->frame->yPt, 36);
    EXPECT_EQ(mark.paragraph->frame->horizontalReference, 1);
    EXPECT_EQ(mark.paragraph->frame->verticalReference, 1);
    EXPECT_FALSE(mark.paragraph->frame->wrapAround);
    // The last paragraph has no frame again, and "Four" starts a page.
    EXPECT_FALSE(story.elements.back().paragraph->frame.has_value());
    EXPECT_EQ(document.estimatePage(0, story.length() - 1), 3);
    (void)s;
}

TEST(RtfReaderTest, PictureTypesSizesAndCrop) {
    // Scale and crop: (2000 - 400) twips at 50 % = 40 pt.
    auto document = read(wrap(pngPict("\\picwgoal2000\\pichgoal1000\\piccropl200\\piccropr200\\picscalex50\\picscaley200")));
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_DOUBLE_EQ(document.inlines[0].widthPt, 40);
    EXPECT_DOUBLE_EQ(document.inlines[0].heightPt, 100);
    EXPECT_DOUBLE_EQ(document.inlines[0].picture.crop.left, 0.1);
    EXPECT_DOUBLE_EQ(document.inlines[0].picture.naturalWidthPt, 100);

    // A metafile gets its placeable header from the stored extents.
    const std::string wmf("\x01\x00\x09\x00\x00\x03\x0c\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00", 18);
    document = read(wrap("{\\pict\\wmetafile8\\picw2540\\pich1270 " + hex(wmf) + "}"));
    ASSERT_EQ(document.inlines.size(), 1u);
    const auto& metafile = document.inlines[0].picture;
    EXPECT_EQ(metafile.type, model::PictureFormat::Wmf);
    ASSERT_EQ(metafile.size(), wmf.size() + 22);
    EXPECT_EQ(metafile.bytes->substr(0, 4), std::string("\xD7\xCD\xC6\x9A", 4));
    EXPECT_EQ(metafile.bytes->substr(22), wmf);
    EXPECT_NEAR(document.inlines[0].widthPt, 72, 0.01);  // 2540 hundredths of a millimetre
    EXPECT_NEAR(document.inlines[0].heightPt, 36, 0.01);

    // A DIB keeps its header; its pixel size comes from it.
    std::string dib(40, '\0');
    dib[0] = 40;
    dib[4] = 3;
    dib[8] = 2;
    dib[12] = 1;
    dib[14] = 24;
    dib += std::string(16, '\x7f');
    document = read(wrap("{\\pict\\dibitmap0\\picwgoal60\\pichgoal40 " + hex(dib) + "}"));
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_EQ(document.inlines[0].picture.type, model::PictureFormat::Dib);
    EXPECT_EQ(document.inlines[0].picture.pixelWidth, 3);
    EXPECT_EQ(*document.inlines[0].picture.bytes, dib);

    // Raw bytes after \bin, braces among them.
    document = read(wrap("{\\pict\\pngblip\\picwgoal600\\pichgoal400\\bin" + std::to_string(tinyPng().size()) + " " +
                         tinyPng() + "}"));
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_EQ(*document.inlines[0].picture.bytes, tinyPng());
    // The same bytes in a group of their own, without size words: read, and
    // shown at the pixels' size.
    document = read(wrap("{\\pict\r\n\\pngblip {\\bin" + std::to_string(tinyPng().size()) + tinyPng() + "}}"));
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_EQ(*document.inlines[0].picture.bytes, tinyPng());
    EXPECT_DOUBLE_EQ(document.inlines[0].widthPt, 1.5);
    // Without a type word the data says what it is; without goal sizes the pixels at 96 dpi.
    document = read(wrap("{\\pict " + hex(tinyPng()) + "}"));
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_EQ(document.inlines[0].picture.type, model::PictureFormat::Png);
    EXPECT_DOUBLE_EQ(document.inlines[0].widthPt, 1.5);
}

TEST(RtfReaderTest, LargePicturesAreReadWhole) {
    // Large enough for the room to be made at once and its pages touched
    // ahead on a second core while the hex is decoded; in Word's lines of
    // 128 digits, in one long line, and with a line end just before the
    // brace.  The bytes after the PNG's end are kept as they are.
    std::string bytes = tinyPng();
    for (std::size_t i = 0; bytes.size() < (std::size_t{1} << 20) + 333; ++i) {
        bytes.push_back(static_cast<char>((i * 2654435761u) >> 11));
    }
    const std::string digits = hex(bytes);
    std::string lines;
    for (std::size_t at = 0; at < digits.size(); at += 128) lines += digits.substr(at, 128) + "\r\n";
    for (const std::string& data : {lines, digits, digits + "\r\n"}) {
        SCOPED_TRACE(data.size());
        const auto document = read(wrap("{\\pict\\pngblip\\picwgoal600\\pichgoal400\r\n" + data + "}"));
        ASSERT_EQ(document.inlines.size(), 1u);
        const auto& picture = document.inlines[0].picture;
        EXPECT_EQ(picture.type, model::PictureFormat::Png);
        ASSERT_TRUE(picture.bytes);
        ASSERT_EQ(picture.bytes->size(), bytes.size());
        EXPECT_TRUE(*picture.bytes == bytes);
    }
}

TEST(RtfReaderTest, FallbackCopiesLinkedPicturesAndHeadersAreNoBodyObjects) {
    const std::string body = "{\\*\\shppict" + pngPict() + "}\r\n{\\nonshppict" + pngPict() + "}" +  // one picture
                             "{\\nonshppict" + pngPict() + "}" +                                    // lone fallback
                             "{\\header " + pngPict() + "}" +
                             "{\\field{\\*\\fldinst INCLUDEPICTURE \"a.png\" \\\\d}{\\fldrslt " + pngPict() + "}}" +
                             "{\\*\\shpgrp{\\*\\shpinst}}x\\par";
    const auto document = read(wrap(body));
    ASSERT_EQ(document.inlinesOf(0).size(), 1u);
    const auto& picture = document.inlines[static_cast<std::size_t>(document.inlinesOf(0)[0])];
    ASSERT_EQ(picture.origin.companions.size(), 1u);
    EXPECT_EQ(document.main().plainText(), "\xEF\xBF\xBCx\n");
    // The header's picture belongs to the header's own story.
    ASSERT_EQ(document.stories.size(), 2u);
    EXPECT_EQ(document.stories[1].kind, model::StoryKind::Header);
    EXPECT_EQ(document.inlinesOf(1).size(), 1u);
}

TEST(RtfReaderTest, HeaderAndFooterGroupsAreStoriesOfTheirOwn) {
    const std::string body = "{\\headerf \\pard first " + pngPict() + "\\par}" +
                             "{\\footerr \\pard right\\par}" +
                             "{\\headerl {\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright100\\shpbottom100"
                             "{\\sp{\\sn pib}{\\sv " + pngPict() + "}}}}\\par}" +
                             "\\pard body " + pngPict() + "\\par";
    const std::string rtf = wrap(body);
    const auto document = read(rtf);
    ASSERT_EQ(document.stories.size(), 4u);
    EXPECT_EQ(document.stories[1].kind, model::StoryKind::Header);
    EXPECT_EQ(document.stories[2].kind, model::StoryKind::Footer);
    EXPECT_EQ(document.stories[3].kind, model::StoryKind::Header);
    EXPECT_EQ(document.main().plainText(), "body \xEF\xBF\xBC\n");
    EXPECT_EQ(document.stories[1].plainText(), "first \xEF\xBF\xBC\n");
    EXPECT_EQ(document.stories[2].plainText(), "right\n");
    EXPECT_EQ(document.inlinesOf(0).size(), 1u);
    EXPECT_EQ(document.inlinesOf(1).size(), 1u);
    // A header's shapes stay bytes the reader does not read.
    EXPECT_TRUE(document.shapes.empty());
    // The header picture's origin covers its own group, which the writer
    // can patch like any other.
    const auto& header = document.inlines[static_cast<std::size_t>(document.inlinesOf(1)[0])];
    EXPECT_EQ(rtf.substr(static_cast<std::size_t>(header.origin.range.begin), 5), "{\\pic");
    EXPECT_EQ(writeRtf(document), rtf);
}

// Word writes a horizontal rule as a picture with a property saying so;
// readers draw it as a line, so it is no picture to convert.
TEST(RtfReaderTest, AHorizontalRuleIsNoPicture) {
    const std::string rule = "{\\pict{\\*\\picprop{\\sp{\\sn fStandardHR}{\\sv 1}}{\\sp{\\sn fHorizRule}{\\sv 1}}}"
                             "\\pngblip\\picwgoal600\\pichgoal20 " + hex(tinyPng()) + "}";
    const std::string notRule = "{\\pict{\\*\\picprop{\\sp{\\sn fHorizRule}{\\sv 0}}}"
                                "\\pngblip\\picwgoal600\\pichgoal20 " + hex(tinyPng()) + "}";
    const std::string rtf = wrap("a" + rule + "b" + notRule + "{\\footer " + rule + "\\par}\\par");
    const auto document = read(rtf);
    EXPECT_EQ(document.inlinesOf(0).size(), 1u);
    EXPECT_EQ(document.main().plainText(), "ab\xEF\xBF\xBC\n");
    ASSERT_EQ(document.stories.size(), 2u);
    EXPECT_TRUE(document.inlinesOf(1).empty());
    EXPECT_EQ(writeRtf(document), rtf);
}

TEST(RtfReaderTest, EmbeddedAndLinkedObjects) {
    // OLE 1 header: version, format 2, class name "Word.Document.8".
    std::string ole("\x01\x05\x00\x00\x02\x00\x00\x00\x10\x00\x00\x00Word.Document.8\0", 28);
    const std::string body = "{\\object\\objemb\\objw2000\\objh1000\\objscalex50{\\*\\objclass Excel.Sheet.8}"
                             "{\\*\\objdata 0105000002000000}{\\result{\\*\\shppict" + pngPict() + "}}}" +
                             "{\\object\\objemb{\\*\\objdata " + hex(ole) + "}{\\result " + pngPict() + "}}" +
                             "{\\object\\objautlink\\objw600\\objh400{\\result " + pngPict() + "}}\\par";
    const auto document = read(wrap(body));
    ASSERT_EQ(document.inlines.size(), 3u);
    const auto& sheet = document.inlines[0];
    EXPECT_EQ(sheet.kind, model::InlineKind::EmbeddedObject);
    EXPECT_EQ(sheet.progId, "Excel.Sheet.8");
    EXPECT_DOUBLE_EQ(sheet.widthPt, 50);  // 2000 twips at 50 %
    EXPECT_DOUBLE_EQ(sheet.heightPt, 50);
    EXPECT_EQ(sheet.picture.type, model::PictureFormat::Png);
    EXPECT_EQ(document.inlines[1].progId, "Word.Document.8");
    EXPECT_EQ(document.inlines[2].kind, model::InlineKind::LinkedObject);
    EXPECT_EQ(document.main().length(), 4);
}

TEST(RtfReaderTest, ShapesGroupsAndTextBoxes) {
    const std::string member1 = "{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn relLeft}{\\sv 0}}"
                                "{\\sp{\\sn relTop}{\\sv 0}}{\\sp{\\sn relRight}{\\sv 200}}{\\sp{\\sn relBottom}{\\sv 100}}"
                                "{\\sp{\\sn pib}{\\sv " + pngPict() + "}}}}";
    const std::string member2 = "{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 202}}{\\sp{\\sn relLeft}{\\sv 200}}"
                                "{\\sp{\\sn relTop}{\\sv 100}}{\\sp{\\sn relRight}{\\sv 400}}{\\sp{\\sn relBottom}{\\sv 200}}"
                                "{\\shptxt Hello " + pngPict() + "\\par}}}";
    const std::string group = "{\\shpgrp{\\*\\shpinst\\shpleft1000\\shptop1000\\shpright5000\\shpbottom3000\\shpz4"
                              "\\shpbxcolumn\\shpwr2"
                              "{\\sp{\\sn groupLeft}{\\sv 0}}{\\sp{\\sn groupTop}{\\sv 0}}{\\sp{\\sn groupRight}{\\sv 400}}"
                              "{\\sp{\\sn groupBottom}{\\sv 200}}" + member1 + member2 + "}{\\shprslt " + pngPict() + "}}";
    const std::string single =
        "{\\shp{\\*\\shpinst\\shpleft0\\shptop200\\shpright2000\\shpbottom1200\\shpbxmargin\\shpbypara\\shpwr4\\shpwrk2"
        "\\shpfblwtxt0\\shpz7{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn rotation}{\\sv 5898240}}{\\sp{\\sn fFlipH}{\\sv 1}}"
        "{\\sp{\\sn wzName}{\\sv Picture 9}}{\\sp{\\sn lineColor}{\\sv 255}}{\\sp{\\sn dxWrapDistLeft}{\\sv 127000}}"
        "{\\sp{\\sn pib}{\\sv " + pngPict() + "}}}{\\shprslt{\\*\\do\\dobxcolumn}}}";
    const auto document = read(wrap("Before " + group + single + "after\\par"));
    ASSERT_EQ(document.shapes.size(), 4u);
    const auto& g = document.shapes[0];
    EXPECT_EQ(g.type, model::shape_type::kGroup);
    EXPECT_EQ(g.children, (std::vector<int>{1, 2}));
    EXPECT_DOUBLE_EQ(g.leftPt, 50);
    EXPECT_DOUBLE_EQ(g.widthPt, 200);
    EXPECT_EQ(g.stackPosition, 4);
    const auto& picture = document.shapes[1];
    EXPECT_EQ(picture.parent, 0);
    EXPECT_EQ(picture.type, model::shape_type::kPicture);
    EXPECT_DOUBLE_EQ(picture.leftPt, 50);
    EXPECT_DOUBLE_EQ(picture.widthPt, 100);
    EXPECT_DOUBLE_EQ(picture.heightPt, 50);
    EXPECT_EQ(picture.relative.horizontalPosition, g.relative.horizontalPosition);
    EXPECT_EQ(picture.wrap.type, g.wrap.type);
    const auto& box = document.shapes[2];
    EXPECT_EQ(box.type, model::shape_type::kTextBox);
    EXPECT_DOUBLE_EQ(box.leftPt, 150);
    EXPECT_DOUBLE_EQ(box.topPt, 100);
    ASSERT_GT(box.textStory, 0);
    EXPECT_EQ(document.stories[static_cast<std::size_t>(box.textStory)].plainText(), "Hello \xEF\xBF\xBC\n");
    EXPECT_EQ(document.inlinesOf(box.textStory).size(), 1u);
    EXPECT_EQ(document.topLevelShapes(), (std::vector<int>{0, 3}));
    const auto& s = document.shapes[3];
    EXPECT_EQ(s.name, "Picture 9");
    EXPECT_DOUBLE_EQ(s.rotation, 90);
    EXPECT_TRUE(s.flipHorizontal);
    EXPECT_EQ(s.wrap.type, 1);
    EXPECT_EQ(s.wrap.side, 2);
    EXPECT_DOUBLE_EQ(s.wrap.distanceLeftPt, 10);
    EXPECT_EQ(s.relative.horizontalPosition, 0);
    EXPECT_EQ(s.relative.verticalPosition, 2);
    EXPECT_EQ(s.formatting.at("lineColor"), "255");
    EXPECT_DOUBLE_EQ(s.topPt, 10);
    EXPECT_DOUBLE_EQ(s.heightPt, 50);
    // Both stand before "after", the shape's fallback and the group's are no objects.
    EXPECT_EQ(document.main().plainText(), "Before after\n");
    EXPECT_TRUE(document.inlinesOf(0).empty());
    EXPECT_EQ(g.anchor.element, s.anchor.element);
}

TEST(RtfReaderTest, ANameSeveralShapesCarryNamesNoneOfThem) {
    // LibreOffice writes a group's name on each member it writes on its own.
    auto shape = [](const std::string& name) {
        return "{\\shp{\\*\\shpinst\\shpright400\\shpbottom400{\\sp{\\sn shapeType}{\\sv 202}}{\\sp{\\sn wzName}{\\sv " + name +
               "}}}}";
    };
    const auto document = read(wrap(shape("Group1") + shape("Group1") + shape("Text Box 3") + "x\\par"));
    ASSERT_EQ(document.shapes.size(), 3u);
    EXPECT_EQ(document.shapes[0].name, "");
    EXPECT_EQ(document.shapes[1].name, "");
    EXPECT_EQ(document.shapes[2].name, "Text Box 3");
    const auto grouped = read(dataFile("generated/gen-group-pictures.rtf"));
    ASSERT_EQ(grouped.shapes.size(), 2u);
    EXPECT_EQ(grouped.shapes[0].name, "");
    EXPECT_EQ(grouped.shapes[0].type, model::shape_type::kPicture);
}

TEST(RtfReaderTest, FloatingObjectIsAnObjectShape) {
    const std::string body = "x{\\object\\objemb{\\*\\objclass Equation.3}{\\result{\\shp{\\*\\shpinst\\shpleft0"
                             "\\shptop0\\shpright400\\shpbottom200{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn pib}{\\sv " +
                             pngPict() + "}}}}}}\\par";
    const auto document = read(wrap(body));
    ASSERT_EQ(document.shapes.size(), 1u);
    EXPECT_EQ(document.shapes[0].type, model::shape_type::kEmbeddedObject);
    EXPECT_EQ(document.shapes[0].progId, "Equation.3");
    EXPECT_FALSE(document.shapes[0].picture.empty());
    EXPECT_EQ(document.shapes[0].anchor.element, 1);
    EXPECT_TRUE(document.inlines.empty());
}

TEST(RtfReaderTest, LikeParagraphsShareTheirPropertiesAndEditsStayOnOne) {
    const auto document = read(wrap("{\\pard\\sa120 One\\par}{\\pard\\sa120 Two\\par}{\\pard\\sb240 Three\\par}"
                                    "{\\pard\\sa120 Four\\par}{\\pard\\sa120\\fs48 Five\\par}"));
    std::vector<const model::Element*> marks;
    for (const auto& element : document.main().elements) {
        if (element.kind == model::ElementKind::ParagraphMark) marks.push_back(&element);
    }
    ASSERT_GE(marks.size(), 5u);
    EXPECT_TRUE(marks[1]->paragraph.sharesWith(marks[0]->paragraph));
    EXPECT_FALSE(marks[2]->paragraph.sharesWith(marks[1]->paragraph));
    EXPECT_FALSE(marks[4]->paragraph.sharesWith(marks[3]->paragraph));
    EXPECT_DOUBLE_EQ(marks[0]->paragraph->spaceAfterPt, 6);
    EXPECT_DOUBLE_EQ(marks[2]->paragraph->spaceAfterPt, 0);
    EXPECT_DOUBLE_EQ(marks[2]->paragraph->spaceBeforePt, 12);
    EXPECT_DOUBLE_EQ(marks[3]->paragraph->spaceAfterPt, 6);
    EXPECT_DOUBLE_EQ(marks[4]->paragraph->fontSizePt, 24);
    EXPECT_DOUBLE_EQ(marks[3]->paragraph->fontSizePt, 12);
    // Text runs carry an origin in the input but no paragraph properties.
    const auto* run = firstOf(document.main(), model::ElementKind::Text);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->origin.format(), "rtf");
    EXPECT_EQ(run->origin.source(), document.source);
    EXPECT_EQ(document.source->substr(static_cast<std::size_t>(run->origin.range.begin), 3), "One");
    EXPECT_EQ(*run->paragraph, model::ParagraphProperties{});

    model::Document edited = document;
    const auto index = [&](const model::Element* mark) {
        return static_cast<std::size_t>(mark - document.main().elements.data());
    };
    edited.main().elements[index(marks[0])].paragraph.edit().spaceAfterPt = 30;
    // Neither the mark it shared them with nor the document read is changed.
    EXPECT_DOUBLE_EQ(marks[1]->paragraph->spaceAfterPt, 6);
    EXPECT_DOUBLE_EQ(marks[0]->paragraph->spaceAfterPt, 6);
    EXPECT_DOUBLE_EQ(edited.main().elements[index(marks[0])].paragraph->spaceAfterPt, 30);
    EXPECT_DOUBLE_EQ(edited.main().elements[index(marks[1])].paragraph->spaceAfterPt, 6);
}

TEST(RtfReaderTest, RunsPointIntoTheInputAndOutliveTheDocument) {
    // Plain text between keywords is the input's own bytes.  Text spelled
    // with escapes, groups, destinations or \u words is kept as spelled and
    // read again when asked for.  Text whose reading depends on more than its
    // own bytes (a font of another code page) is copied.
    const std::string rtf = wrap("{\\pard Plain words here\\par}{\\pard caf\\'e9 au lait\\par}"
                                 "{\\pard one{\\b two}three\\par}{\\pard \\u26085?x\\par}{\\pard tail \\{brace\\}\\par}"
                                 "{\\pard More plain\\par}{\\pard \\'e9t\\'e9\\par}"
                                 "{\\pard one{\\*\\bkmkstart mark}two\\par}{\\pard \\'e9{\\f1 \\'e9}\\par}",
                                 "{\\f1\\fnil\\fcharset161 Greek;}");
    model::Story kept;
    {
        const auto document = read(rtf);
        std::vector<const model::Element*> runs;
        for (const auto& element : document.main().elements) {
            if (element.kind == model::ElementKind::Text) runs.push_back(&element);
        }
        ASSERT_EQ(runs.size(), 9u);
        const std::string& input = *document.source;
        const auto atItsBytes = [&](const model::Element* run) {
            return run->text.inInputBuffer() && run->text.data() == input.data() + run->origin.range.begin;
        };
        EXPECT_EQ(runs[0]->text, "Plain words here");
        EXPECT_TRUE(atItsBytes(runs[0]));
        EXPECT_FALSE(runs[0]->text.spelled());
        EXPECT_TRUE(atItsBytes(runs[5]));

        const std::vector<std::string> spelled = {"caf\xC3\xA9 au lait", "onetwothree", "\xE6\x97\xA5x", "tail {brace}"};
        for (std::size_t i = 0; i < spelled.size(); ++i) {
            SCOPED_TRACE(spelled[i]);
            EXPECT_EQ(runs[i + 1]->text, spelled[i]);
            EXPECT_TRUE(runs[i + 1]->text.spelled());
            EXPECT_TRUE(atItsBytes(runs[i + 1]));
        }
        EXPECT_EQ(runs[6]->text, "\xC3\xA9t\xC3\xA9");
        EXPECT_TRUE(runs[6]->text.spelled());

        EXPECT_EQ(runs[7]->text, "onetwo");
        EXPECT_TRUE(runs[7]->text.spelled());
        EXPECT_EQ(runs[8]->text, "\xC3\xA9\xCE\xB9");
        EXPECT_FALSE(runs[8]->text.inInputBuffer());

        // Runs read in one state share one detail; plain runs share theirs.
        EXPECT_TRUE(runs[5]->origin.detail.sharesWith(runs[0]->origin.detail));
        EXPECT_TRUE(runs[6]->origin.detail.sharesWith(runs[1]->origin.detail));
        EXPECT_FALSE(runs[1]->origin.detail.sharesWith(runs[0]->origin.detail));
        EXPECT_TRUE(runs[7]->origin.detail.sharesWith(runs[1]->origin.detail));
        EXPECT_FALSE(runs[8]->origin.detail.sharesWith(runs[1]->origin.detail));
        EXPECT_EQ(writeRtf(document), rtf);
        kept = document.main();
    }
    // A copy of the story keeps the input alive through its elements' origins.
    EXPECT_EQ(kept.plainText(),
              "Plain words here\ncaf\xC3\xA9 au lait\nonetwothree\n\xE6\x97\xA5x\ntail {brace}\nMore plain\n"
              "\xC3\xA9t\xC3\xA9\nonetwo\n\xC3\xA9\xCE\xB9\n");
}

}  // namespace
}  // namespace kelvaran::formats::rtf
