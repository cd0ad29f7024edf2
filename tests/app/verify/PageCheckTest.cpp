// The comparison a reader's eye makes: tiles that hide nothing a reader would
// see, and frames and text read the way LibreOffice writes them.

#include "app/verify/OdfContent.h"
#include "app/verify/PageCheck.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kelvaran::verify {
namespace {

GreyPage blankPage(int width = 200, int height = 300) {
    GreyPage p;
    p.width = width;
    p.height = height;
    p.pixels.assign(static_cast<std::size_t>(width * height), 255);
    return p;
}

void fill(GreyPage& p, int x0, int y0, int w, int h, std::uint8_t grey) {
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) p.pixels[static_cast<std::size_t>(y * p.width + x)] = grey;
    }
}

Rendering renderingOf(std::vector<GreyPage> pages) {
    Rendering r;
    r.opened = true;
    r.pages = std::move(pages);
    return r;
}

TEST(WorstTileTest, AVanishedIconIsSeenWhereAPageAverageHidesIt) {
    GreyPage before = blankPage();
    fill(before, 36, 36, 12, 12, 0);  // a small black icon, 6 mm at 50 dpi
    const GreyPage after = blankPage();
    const TileDifference d = worstTile(before, after, 12, 2);
    EXPECT_GT(d.value, 200);
    EXPECT_EQ(d.x, 36);
    EXPECT_EQ(d.y, 36);

    // The same icon, drawn a pixel lower and to the right: text that moved by
    // less than a millimetre is not a different page.
    GreyPage moved = blankPage();
    fill(moved, 37, 37, 12, 12, 0);
    EXPECT_LT(worstTile(before, moved, 12, 2).value, 1.0);
    // Moved by a centimetre it is.
    GreyPage far = blankPage();
    fill(far, 56, 36, 12, 12, 0);
    EXPECT_GT(worstTile(before, far, 12, 2).value, 100);
}

TEST(CompareRenderingsTest, PagesMustBeAsManyAndAlike) {
    const Rendering one = renderingOf({blankPage()});
    const Rendering two = renderingOf({blankPage(), blankPage()});
    EXPECT_EQ(compareRenderings(one, two).why, "pages 1 -> 2");
    EXPECT_TRUE(compareRenderings(two, two).passed);

    GreyPage speck = blankPage();
    fill(speck, 100, 200, 30, 30, 0);
    const CheckResult r = compareRenderings(renderingOf({blankPage(), speck}), renderingOf({blankPage(), blankPage()}));
    EXPECT_FALSE(r.passed);
    EXPECT_EQ(r.worstPage, 2);
    EXPECT_NE(r.why.find("page 2"), std::string::npos) << r.why;

    // Recompression noise stays below the limit.
    GreyPage noisy = blankPage();
    fill(noisy, 0, 0, 200, 300, 235);
    EXPECT_TRUE(compareRenderings(renderingOf({blankPage()}), renderingOf({noisy})).passed);

    Rendering unreadable;
    unreadable.failure = "LibreOffice cannot open the document";
    EXPECT_EQ(compareRenderings(one, unreadable).why, "the copy: LibreOffice cannot open the document");
}

// A known difference allows one tile of one page more, and nothing else.
TEST(CompareRenderingsTest, AnAllowanceCoversOnlyItsOwnTile) {
    GreyPage speck = blankPage();
    fill(speck, 52, 104, 13, 13, 0);  // one tile of page 2 (tiles of 13 pixels at 50 dpi)
    const Rendering before = renderingOf({blankPage(), speck});
    const Rendering after = renderingOf({blankPage(), blankPage()});
    CheckLimits limits;
    const CheckResult plain = compareRenderings(before, after, limits);
    ASSERT_FALSE(plain.passed);
    limits.allowances.push_back({2, plain.worstXMm, plain.worstYMm, 255});
    EXPECT_TRUE(compareRenderings(before, after, limits).passed);

    // The same tile on another page, another tile of that page, or a larger
    // difference than allowed still fail.
    EXPECT_FALSE(compareRenderings(renderingOf({speck, blankPage()}), after, limits).passed);
    GreyPage twoSpecks = speck;
    fill(twoSpecks, 130, 208, 13, 13, 0);
    const CheckResult other = compareRenderings(renderingOf({blankPage(), twoSpecks}), after, limits);
    EXPECT_FALSE(other.passed);
    EXPECT_NE(other.why.find("page 2: the tile at 66, 106 mm"), std::string::npos) << other.why;
    limits.allowances.back().maxDifference = 100;
    EXPECT_FALSE(compareRenderings(before, after, limits).passed);
}

TEST(CompareRenderingsTest, TextAndFramesCount) {
    Rendering before = renderingOf({blankPage()});
    before.content.bodyText = "one\ntwo\n";
    Rendering after = before;
    after.content.bodyText = "one\nthree\n";
    EXPECT_EQ(compareRenderings(before, after).why, "text differs, line 2: 'two' -> 'three'");
    after.content.bodyText = before.content.bodyText;
    after.content.frames.push_back(Frame{});
    EXPECT_EQ(compareRenderings(before, after).why, "0 frames -> 1");
}

Frame floating(Frame::Kind kind) {
    Frame f;
    f.kind = kind;
    f.where = "body";
    f.name = "Image1";
    f.anchor = "char";
    f.widthMm = 40;
    f.heightMm = 30;
    f.wrap = "parallel";
    f.horizontalRel = "paragraph";
    f.verticalRel = "paragraph";
    return f;
}

TEST(FrameDifferenceTest, WhatAReaderSeesOfAFrameMustStay) {
    const Frame picture = floating(Frame::Kind::Picture);
    EXPECT_EQ(frameDifference({picture}, {picture}), "");
    // An embedded object may become a picture, not the other way round.
    EXPECT_EQ(frameDifference({floating(Frame::Kind::Object)}, {picture}), "");
    EXPECT_NE(frameDifference({picture}, {floating(Frame::Kind::Object)}), "");

    auto changed = [&](auto edit) {
        Frame f = picture;
        edit(f);
        return frameDifference({picture}, {f});
    };
    EXPECT_EQ(changed([](Frame& f) { f.wrap = "none"; }), "picture 1 'Image1': wrap 'parallel' -> 'none'");
    EXPECT_NE(changed([](Frame& f) { f.anchor = "page"; }), "");
    EXPECT_NE(changed([](Frame& f) { f.widthMm += 1; }), "");
    EXPECT_EQ(changed([](Frame& f) { f.widthMm += 0.3; }), "");
    EXPECT_NE(changed([](Frame& f) { f.verticalRel = "page"; }), "");
    EXPECT_NE(changed([](Frame& f) { f.behindText = true; }), "");
    EXPECT_NE(changed([](Frame& f) { f.rotationDegrees = 30; }), "");
    EXPECT_NE(changed([](Frame& f) { f.where = "header"; }), "");

    // A turn just below a whole one is no turn at all.
    Frame almostRound = picture;
    almostRound.rotationDegrees = 359.9;
    Frame round = picture;
    round.rotationDegrees = 0.1;
    EXPECT_EQ(frameDifference({almostRound}, {round}), "");

    // A frame in the line wraps nothing and lies neither behind nor in front.
    Frame inLine = picture;
    inLine.anchor = "as-char";
    inLine.wrap = "";
    inLine.behindText = true;
    Frame inLineCopy = inLine;
    inLineCopy.wrap = "dynamic";
    inLineCopy.behindText = false;
    EXPECT_EQ(frameDifference({inLine}, {inLineCopy}), "");
    // An object in the line says "baseline" where the picture it became
    // inherits "paragraph" from the pictures' style: the same place there.
    inLine.kind = Frame::Kind::Object;
    inLine.verticalRel = "baseline";
    EXPECT_EQ(frameDifference({inLine}, {inLineCopy}), "");
    inLineCopy.verticalRel = "line";
    EXPECT_EQ(frameDifference({inLine}, {inLineCopy}),
              "object 1 'Image1': position relative to 'paragraph'/'baseline' -> 'paragraph'/'line'");
    // Anchored frames keep telling the two apart.
    EXPECT_NE(changed([](Frame& f) { f.verticalRel = "baseline"; }), "");
}

TEST(OdfContentTest, LengthsAndTurns) {
    EXPECT_DOUBLE_EQ(lengthToMm("1in"), 25.4);
    EXPECT_DOUBLE_EQ(lengthToMm("2.5cm"), 25);
    EXPECT_DOUBLE_EQ(lengthToMm("72pt"), 25.4);
    EXPECT_DOUBLE_EQ(lengthToMm("3mm"), 3);
    EXPECT_EQ(lengthToMm("wide"), 0);
    EXPECT_EQ(lengthToMm(""), 0);
    EXPECT_NEAR(rotationOf("rotate (0.523598775598) translate (1in 2in)"), 30, 1e-6);
    EXPECT_NEAR(rotationOf("rotate (-0.523598775598) translate (1in 2in)"), 330, 1e-6);
    EXPECT_EQ(rotationOf("translate (1in 2in)"), 0);
}

constexpr const char* kFlat = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0">
 <office:styles>
  <style:style style:name="Graphics" style:family="graphic">
   <style:graphic-properties style:wrap="none" style:vertical-rel="paragraph" style:horizontal-rel="paragraph"/>
  </style:style>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="fr1" style:family="graphic" style:parent-style-name="Graphics">
   <style:graphic-properties style:run-through="background" style:wrap="run-through"/>
  </style:style>
  <style:style style:name="fr2" style:family="graphic" style:parent-style-name="Graphics">
   <style:graphic-properties style:horizontal-rel="page"/>
  </style:style>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Standard">
   <style:header><text:p>Head<draw:frame draw:style-name="fr2" draw:name="Logo" text:anchor-type="char" svg:width="1in" svg:height="1in"><draw:image/></draw:frame></text:p></style:header>
  </style:master-page>
 </office:master-styles>
 <office:body>
  <office:text>
   <text:h>Title</text:h>
   <text:p>a<text:s text:c="3"/>b<text:tab/>c<draw:frame draw:style-name="fr1" draw:name="Image1" text:anchor-type="char" svg:width="2cm" svg:height="1cm" draw:transform="rotate (1.5707963268) translate (0in 0in)"><draw:image/></draw:frame></text:p>
   <text:p><draw:frame draw:style-name="fr2" draw:name="Box" text:anchor-type="paragraph" svg:width="5cm" svg:height="2cm"><draw:text-box><text:p>inside<draw:frame draw:name="Object1" text:anchor-type="as-char" svg:width="1cm" svg:height="1cm"><draw:object-ole/><draw:image/></draw:frame></text:p></draw:text-box></draw:frame>after</text:p>
  </office:text>
 </office:body>
</office:document>)xml";

TEST(OdfContentTest, TextFramesAndTheirStylesAsLibreOfficeWritesThem) {
    const OdfContent c = parseFlatOdt(kFlat);
    EXPECT_EQ(c.bodyText, "Title\na   b\tc\nafter\ninside\n");
    EXPECT_EQ(c.headerText, "Head\n");
    ASSERT_EQ(c.frames.size(), 4u);

    const Frame& image = c.frames[0];
    EXPECT_EQ(image.kind, Frame::Kind::Picture);
    EXPECT_EQ(image.where, "body");
    EXPECT_EQ(image.anchor, "char");
    EXPECT_DOUBLE_EQ(image.widthMm, 20);
    EXPECT_DOUBLE_EQ(image.heightMm, 10);
    EXPECT_EQ(image.wrap, "run-through");
    EXPECT_TRUE(image.behindText);
    EXPECT_EQ(image.verticalRel, "paragraph");  // from the parent style
    EXPECT_NEAR(image.rotationDegrees, 90, 1e-6);

    EXPECT_EQ(c.frames[1].kind, Frame::Kind::TextBox);
    EXPECT_EQ(c.frames[1].horizontalRel, "page");
    EXPECT_EQ(c.frames[1].wrap, "none");
    EXPECT_FALSE(c.frames[1].behindText);
    EXPECT_EQ(c.frames[2].kind, Frame::Kind::Object);  // its draw:image is only the replacement picture
    EXPECT_EQ(c.frames[2].anchor, "as-char");
    EXPECT_EQ(c.frames[3].where, "header");
    EXPECT_EQ(c.frames[3].name, "Logo");

    EXPECT_THROW(parseFlatOdt("<html/>"), std::runtime_error);
    EXPECT_THROW(parseFlatOdt("not xml at all"), std::runtime_error);
}

TEST(LibreOfficeRendererTest, AFieldShowingThePathReadsAlikeForInputAndCopy) {
    if (!LibreOfficeRenderer::available()) GTEST_SKIP() << "LibreOffice is not installed";
    namespace fs = std::filesystem;
    const fs::path work = fs::temp_directory_path() / ("kelvaran-render-" + std::to_string(::getpid()));
    fs::remove_all(work);
    // The same document in two folders, as an input and its copy stand.
    const std::string rtf = "{\\rtf1\\ansi{\\header {\\field{\\*\\fldinst FILENAME \\\\p}{\\fldrslt x}}\\par}"
                            "Body\\par}";
    for (const char* folder : {"input", "copy"}) {
        fs::create_directories(work / folder);
        std::ofstream(work / folder / "field.rtf", std::ios::binary) << rtf;
    }
    LibreOfficeRenderer renderer(work / "render");
    const Rendering before = renderer.render(work / "input" / "field.rtf", "field.rtf");
    const Rendering after = renderer.render(work / "copy" / "field.rtf", "field.rtf");
    ASSERT_TRUE(before.opened) << before.failure;
    ASSERT_TRUE(after.opened) << after.failure;
    EXPECT_NE(before.content.headerText.find("field.rtf"), std::string::npos) << before.content.headerText;
    EXPECT_EQ(before.content.headerText, after.content.headerText);
    fs::remove_all(work);
}

}  // namespace
}  // namespace kelvaran::verify
