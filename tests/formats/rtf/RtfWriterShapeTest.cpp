// Floating shapes written again: a shape keeps every keyword it had except
// those of what changed, and a picture that takes a shape's place keeps that
// shape's keywords with the picture exchanged.

#include "formats/rtf/RtfFormat.h"
#include "tests/formats/rtf/RtfTestSupport.h"
#include "tests/support/ModelEdits.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kelvaran::formats::rtf {
namespace {

using namespace test;

// The old picture, told apart from new ones by its scale.
std::string oldPict() { return "{\\pict\\pngblip\\picscalex250\\picscaley250 " + hex(tinyPng()) + "}"; }

// A picture shape; `inside` ends its instance, `after` follows it in the shape.
std::string shape(const std::string& words, const std::string& properties, const std::string& inside = "",
                  const std::string& after = "") {
    return "{\\shp{\\*\\shpinst" + words + "{\\sp{\\sn shapeType}{\\sv 75}}" + properties + "{\\sp{\\sn pib}{\\sv " +
           oldPict() + "}}" + inside + "}" + after + "}";
}

// What a floating conversion leaves in the model: a new picture pasted at
// the old shape's paragraph, given its wrapping, turn, relations, place and
// formatting, the old shape deleted and the new one sunk to its place in the
// stack.  Returns the new shape's index.
int replaceFloating(model::Document& document, int old) {
    const model::FloatingShape before = document.shapes[static_cast<std::size_t>(old)];
    auto stackOrder = [&] {
        std::vector<int> order = document.topLevelShapes();
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return document.shapes[static_cast<std::size_t>(a)].stackPosition <
                   document.shapes[static_cast<std::size_t>(b)].stackPosition;
        });
        return order;
    };
    const auto order = stackOrder();
    const auto zOrder = std::find(order.begin(), order.end(), old) - order.begin();
    model::FloatingShape picture;
    picture.name = "Picture 7";
    picture.type = model::shape_type::kPicture;
    picture.picture = newPng(before.widthPt, before.heightPt).toPictureData();
    picture.widthPt = before.widthPt;
    picture.heightPt = before.heightPt;
    const auto& story = document.stories[static_cast<std::size_t>(before.anchor.story)];
    picture.anchor = {before.anchor.story,
                      static_cast<int>(story.paragraphStart(static_cast<std::size_t>(before.anchor.element)))};
    picture.wrap = before.wrap;
    picture.behindText = before.wrap.type == 5;
    picture.rotation = before.rotation;
    picture.relative = before.relative;
    picture.leftPt = before.leftPt;
    picture.topPt = before.topPt;
    picture.formatting = before.formatting;
    const int added = document.addShape(picture);
    document.deleteShape(old);
    for (;;) {
        const auto now = stackOrder();
        const auto at = std::find(now.begin(), now.end(), added) - now.begin();
        if (at <= zOrder || at == 0) break;
        auto& self = document.shapes[static_cast<std::size_t>(added)];
        auto& below = document.shapes[static_cast<std::size_t>(now[static_cast<std::size_t>(at - 1)])];
        std::swap(self.stackPosition, below.stackPosition);
        below.layoutChanged = true;
    }
    return added;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(RtfWriterShapeTest, APictureInAShapesPlaceKeepsEveryKeywordOfTheShape) {
    // Top and bottom with \shpwrk0 (which LibreOffice reads as "parallel"),
    // a wrap polygon, an alignment, a picture effect, an old shape's id; a
    // text with an object in it, and the copy for readers without shapes.
    const std::string words = "\\shpleft0\\shptop0\\shpright1500\\shpbottom1125\\shpfhdr0\\shpbxcolumn\\shpbypara"
                              "\\shpwr1\\shpwrk0\\shpfblwtxt0\\shpz0\\shplid1026";
    const std::string kept = "{\\sp{\\sn pWrapPolygonVertices}{\\sv 8;4;(0,0);(0,21600);(21600,21600);(21600,0)}}"
                             "{\\sp{\\sn posh}{\\sv 2}}{\\sp{\\sn pictureGray}{\\sv 1}}";
    const std::string body =
        "Text {" +
        shape(words, kept + "{\\sp{\\sn pictureId}{\\sv 65536}}",
              "{\\shptxt {\\object\\objemb{\\*\\objclass PBrush}{\\*\\objdata 0102}{\\result " + oldPict() + "}}\\par}",
              "{\\shprslt{\\*\\do\\dobxcolumn{\\dptxbxtext " + oldPict() + "}}}") +
        "} more\\par";
    auto document = read(wrap(body));
    ASSERT_EQ(document.shapes.size(), 1u);
    ASSERT_EQ(document.shapes[0].wrap.type, 4);
    replaceFloating(document, 0);

    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_NE(written.find("{\\shp{\\*\\shpinst" + words), std::string::npos) << written;
    EXPECT_NE(written.find(kept), std::string::npos);
    // Nothing of the old picture and of what belonged to it.
    for (const char* gone : {"picscalex250", "pictureId", "\\shptxt", "\\shprslt", "\\object", "objdata"}) {
        EXPECT_EQ(written.find(gone), std::string::npos) << gone;
    }
    ASSERT_EQ(back.shapes.size(), 1u);
    EXPECT_EQ(*back.shapes[0].picture.bytes, tinyPng());
    EXPECT_EQ(back.shapes[0].name, "Picture 7");
    EXPECT_EQ(back.shapes[0].wrap.type, 4);
    EXPECT_EQ(back.main().plainText(), "Text  more\n");
}

TEST(RtfWriterShapeTest, InFrontOrBehindComesOutAsTheInputSaidIt) {
    // fBehindDocument without \shpfblwtxt (LibreOffice draws such a picture
    // over the text), and behind-text on a tightly wrapped picture.
    const std::string body =
        "A " + shape("\\shpwr3\\shptop0\\shpbottom1125\\shpleft0\\shpright1500", "{\\sp{\\sn fBehindDocument}{\\sv 1}}") +
        "\\par B " +
        shape("\\shpwr4\\shpwrk0\\shptop415\\shpbottom1958\\shpleft3279\\shpright5059",
              "{\\sp{\\sn pWrapPolygonVertices}{\\sv 8;3;(0,0);(0,21600);(21600,0)}}{\\sp{\\sn fBehindDocument}{\\sv 1}}") +
        "\\par";
    auto document = read(wrap(body));
    ASSERT_EQ(document.shapes.size(), 2u);
    ASSERT_TRUE(document.shapes[0].behindText);
    replaceFloating(document, 1);
    replaceFloating(document, 0);
    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_EQ(count(written, "\\shpfblwtxt"), 0u) << written;
    EXPECT_EQ(count(written, "{\\sp{\\sn fBehindDocument}{\\sv 1}}"), 2u);
    EXPECT_NE(written.find("\\shpwr4\\shpwrk0\\shptop415"), std::string::npos);
    EXPECT_NE(written.find("pWrapPolygonVertices"), std::string::npos);
    ASSERT_EQ(back.shapes.size(), 2u);
    EXPECT_EQ(back.shapes[0].wrap.type, 5);
    EXPECT_EQ(back.shapes[1].wrap.type, 1);
    EXPECT_EQ(*back.shapes[1].picture.bytes, tinyPng());
}

TEST(RtfWriterShapeTest, TheStackKeepsItsWordsWhileItsOrderStays) {
    const std::string body = "A " + shape("\\shpleft0\\shptop0\\shpright400\\shpbottom400\\shpz5", "") + " B " +
                             shape("\\shpleft100\\shptop0\\shpright500\\shpbottom400\\shpz9", "") + "\\par";
    auto document = read(wrap(body));
    ASSERT_EQ(document.shapes.size(), 2u);
    // The new picture sinks below the second shape: their values change
    // places, their order does not.
    replaceFloating(document, 0);
    std::string written;
    auto back = roundTrip(document, &written);
    EXPECT_EQ(count(written, "\\shpz5"), 1u);
    EXPECT_EQ(count(written, "\\shpz9"), 1u);
    ASSERT_EQ(back.shapes.size(), 2u);
    EXPECT_LT(back.shapes[0].stackPosition, back.shapes[1].stackPosition);
    EXPECT_EQ(*back.shapes[0].picture.bytes, tinyPng());

    // Brought in front of the other, the first gets a new place in the stack.
    document = read(wrap(body));
    document.shapes[0].stackPosition = 20;
    document.shapes[0].layoutChanged = true;
    back = roundTrip(document, &written);
    EXPECT_EQ(count(written, "\\shpz5"), 0u);
    EXPECT_GT(back.shapes[0].stackPosition, back.shapes[1].stackPosition);
}

TEST(RtfWriterShapeTest, AMovedShapeRewritesOnlyItsPlace) {
    const std::string body =
        "A " +
        shape("\\shpleft0\\shptop0\\shpright400\\shpbottom400\\shpbxcolumn\\shpbypara\\shpwr2\\shpwrk0\\shpz1",
              "{\\sp{\\sn posh}{\\sv 2}}{\\sp{\\sn posv}{\\sv 1}}{\\sp{\\sn lineColor}{\\sv 255}}") +
        "\\par";
    auto document = read(wrap(body));
    ASSERT_EQ(document.shapes.size(), 1u);
    auto& moved = document.shapes[0];
    moved.leftPt = 30;
    moved.layoutChanged = true;
    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_NE(written.find("\\shpleft600\\shptop0\\shpright1000\\shpbottom400"), std::string::npos) << written;
    EXPECT_NE(written.find("\\shpbxcolumn\\shpbypara\\shpwr2\\shpwrk0\\shpz1"), std::string::npos);
    // The horizontal alignment would put it back; the vertical one stays.
    EXPECT_EQ(written.find("{\\sn posh}"), std::string::npos);
    EXPECT_NE(written.find("{\\sp{\\sn posv}{\\sv 1}}"), std::string::npos);
    EXPECT_NE(written.find("{\\sp{\\sn lineColor}{\\sv 255}}"), std::string::npos);
    EXPECT_EQ(count(written, "picscalex250"), 1u);
    EXPECT_DOUBLE_EQ(back.shapes[0].leftPt, 30);
    EXPECT_EQ(back.shapes[0].wrap.type, 0);

    // Formatting changed: only its own properties.
    document = read(wrap(body));
    document.shapes[0].formatting["lineColor"] = "65280";
    document.shapes[0].formatting["lineWidth"] = "12700";
    document.shapes[0].layoutChanged = true;
    roundTrip(document, &written);
    EXPECT_NE(written.find("{\\sp{\\sn lineColor}{\\sv 65280}}{\\sp{\\sn lineWidth}{\\sv 12700}}"), std::string::npos);
    EXPECT_NE(written.find("{\\sp{\\sn posh}{\\sv 2}}"), std::string::npos);
    EXPECT_EQ(written.find("{\\sv 255}"), std::string::npos);
}

TEST(RtfWriterShapeTest, AFloatingObjectBecomesAPictureWithItsShapesKeywords) {
    const std::string body = "x{\\object\\objemb{\\*\\objclass Paint}{\\*\\objdata 01020304}{\\result " +
                             shape("\\shpleft0\\shptop0\\shpright400\\shpbottom200\\shpwr2\\shpwrk0",
                                   "{\\sp{\\sn fPseudoInline}{\\sv 0}}") +
                             "}}\\par";
    auto document = read(wrap(body));
    ASSERT_EQ(document.shapes.size(), 1u);
    ASSERT_EQ(document.shapes[0].type, model::shape_type::kEmbeddedObject);
    replaceFloating(document, 0);
    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_EQ(written.find("\\object"), std::string::npos) << written;
    EXPECT_EQ(written.find("objdata"), std::string::npos);
    EXPECT_NE(written.find("x{\\shp{\\*\\shpinst"), std::string::npos);
    EXPECT_NE(written.find("\\shpwr2\\shpwrk0"), std::string::npos);
    EXPECT_NE(written.find("fPseudoInline"), std::string::npos);
    ASSERT_EQ(back.shapes.size(), 1u);
    EXPECT_EQ(back.shapes[0].type, model::shape_type::kPicture);
    EXPECT_EQ(*back.shapes[0].picture.bytes, tinyPng());
}

TEST(RtfWriterShapeTest, ATextBoxWrittenJustBeforeAReplacedPictureStays) {
    const std::string box = "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright2000\\shpbottom1000\\shpwr3\\shpz0"
                            "{\\sp{\\sn shapeType}{\\sv 202}}{\\shptxt Words in the box\\par}}}";
    auto document = read(wrap("x" + box + oldPict() + "y\\par "));
    ASSERT_EQ(document.inlines.size(), 1u);
    // The office's inline replacement: the new picture in front, the old one erased.
    const auto [story, element] = document.locateInline(0);
    const std::int64_t at = document.stories[static_cast<std::size_t>(story)].positionOf(static_cast<std::size_t>(element));
    model::InlineObject fresh;
    fresh.kind = model::InlineKind::Picture;
    fresh.widthPt = document.inlines[0].widthPt;
    fresh.heightPt = document.inlines[0].heightPt;
    fresh.picture = newPng(fresh.widthPt, fresh.heightPt).toPictureData();
    document.insertInline(story, at, std::move(fresh));
    document.eraseRange(story, at + 1, at + 2);
    std::string written;
    const auto back = roundTrip(document, &written);
    EXPECT_EQ(count(written, box), 1u) << written;
    EXPECT_EQ(count(written, "picscalex250"), 0u);
    ASSERT_EQ(back.shapes.size(), 1u);
    EXPECT_EQ(back.shapes[0].type, model::shape_type::kTextBox);
    EXPECT_EQ(back.inlines.size(), 1u);
}

using kelvaran::test::ungroup;

TEST(RtfWriterShapeTest, ShapesInTheTextOfAMovedTextBoxGoWithIt) {
    // A group holding a text box whose text holds a group of two pictures:
    // both groups taken apart, one inner picture replaced.  The text box is
    // written again at its new place, and what now stands in its text must
    // be written inside it whichever shape comes first in the model.
    const std::string member = "\\shpleft0\\shptop0\\shpright400\\shpbottom400";
    auto picture = [&](const std::string& name) {
        return "{\\shp{\\*\\shpinst" + member + "{\\sp{\\sn wzName}{\\sv " + name + "}}{\\sp{\\sn relLeft}{\\sv 0}}"
               "{\\sp{\\sn relTop}{\\sv 0}}{\\sp{\\sn relRight}{\\sv 400}}{\\sp{\\sn relBottom}{\\sv 400}}"
               "{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn pib}{\\sv " + oldPict() + "}}}}";
    };
    auto group = [&](const std::string& members) {
        return "{\\shpgrp{\\*\\shpinst\\shpleft0\\shptop0\\shpright2000\\shpbottom2000\\shpwr3\\shpz0"
               "{\\sp{\\sn groupLeft}{\\sv 0}}{\\sp{\\sn groupTop}{\\sv 0}}{\\sp{\\sn groupRight}{\\sv 2000}}"
               "{\\sp{\\sn groupBottom}{\\sv 2000}}" + members + "}}";
    };
    const std::string box = "{\\shp{\\*\\shpinst" + member + "{\\sp{\\sn relLeft}{\\sv 0}}{\\sp{\\sn relTop}{\\sv 0}}"
                            "{\\sp{\\sn relRight}{\\sv 1000}}{\\sp{\\sn relBottom}{\\sv 1000}}"
                            "{\\sp{\\sn shapeType}{\\sv 202}}{\\shptxt Boxed " + group(picture("In A") + picture("In B")) +
                            " words\\par}}}";
    auto document = read(wrap("x" + group(box + picture("Outer")) + "y\\par "));
    ASSERT_EQ(document.shapes.size(), 6u);
    const auto tops = document.topLevelShapes();
    ASSERT_EQ(tops.size(), 2u);  // the outer group, and the inner one in the box's text
    const int outer = document.shapes[static_cast<std::size_t>(tops[0])].anchor.story == 0 ? tops[0] : tops[1];
    const int inner = tops[0] == outer ? tops[1] : tops[0];
    ASSERT_GT(document.shapes[static_cast<std::size_t>(inner)].anchor.story, 0);
    ungroup(document, outer);
    const auto innerMembers = document.shapes[static_cast<std::size_t>(inner)].children;
    ungroup(document, inner);
    ASSERT_EQ(innerMembers.size(), 2u);
    {
        // A new picture in the first one's place, as the walk leaves it.
        model::FloatingShape fresh = document.shapes[static_cast<std::size_t>(innerMembers[0])];
        fresh.origin = model::Origin{};
        fresh.ungroupedFrom = -1;
        fresh.picture = newPng(fresh.widthPt, fresh.heightPt).toPictureData();
        const auto stack = fresh.stackPosition;
        const int added = document.addShape(std::move(fresh));
        document.shapes[static_cast<std::size_t>(added)].stackPosition = stack;
        document.deleteShape(innerMembers[0]);
    }

    std::string written;
    const auto back = roundTrip(document, &written);
    int pictures = 0, inBox = 0, boxes = 0;
    for (const auto& shape : back.shapes) {
        if (shape.type == model::shape_type::kTextBox) ++boxes;
        if (shape.type != model::shape_type::kPicture) continue;
        ++pictures;
        if (shape.anchor.story > 0) ++inBox;
    }
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(pictures, 3) << written;
    EXPECT_EQ(inBox, 2) << written;
    EXPECT_EQ(count(written, "picscalex250"), 2u);  // the replaced one's old picture is gone
    EXPECT_EQ(count(written, "In B"), 1u);
    EXPECT_EQ(count(written, "Boxed"), 1u);
}

}  // namespace
}  // namespace kelvaran::formats::rtf
