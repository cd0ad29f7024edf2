// Shapes whose groups RTF does not allow where they stand (a shape inside a
// shape that is not a group, a second instance, a group with text, a second
// shape in an object's result): read as opaque shapes that nothing replaces,
// written back byte for byte, while the sound shapes around them are read
// and replaced as usual.

#include "formats/rtf/RtfFormat.h"
#include "fuzz/DocumentEdits.h"
#include "tests/formats/rtf/RtfTestSupport.h"

#include <gtest/gtest.h>

namespace kelvaran::formats::rtf {
namespace {

using namespace test;

// A picture group told apart from the others by its goal width.
std::string pict(int goal) {
    return "{\\pict\\pngblip\\picwgoal" + std::to_string(goal) + "\\pichgoal400 " + hex(tinyPng()) + "}";
}

std::string pib(int goal) { return "{\\sp{\\sn pib}{\\sv " + pict(goal) + "}}"; }

// A picture shape at the top level; `inside` ends its instance, `after` follows it.
std::string pictureShape(int goal, const std::string& inside = "", const std::string& after = "") {
    return "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright600\\shpbottom400\\shpwr3\\shpz0"
           "{\\sp{\\sn shapeType}{\\sv 75}}" +
           pib(goal) + inside + "}" + after + "}";
}

// A picture member of a group.
std::string member(int goal, const std::string& inside = "") {
    return "{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn relLeft}{\\sv 0}}{\\sp{\\sn relTop}{\\sv 0}}"
           "{\\sp{\\sn relRight}{\\sv 100}}{\\sp{\\sn relBottom}{\\sv 100}}" +
           pib(goal) + inside + "}}";
}

std::string group(const std::string& inside) {
    return "{\\shpgrp{\\*\\shpinst\\shpleft0\\shptop0\\shpright2000\\shpbottom1000{\\sp{\\sn groupRight}{\\sv 200}}"
           "{\\sp{\\sn groupBottom}{\\sv 100}}" +
           inside + "}}";
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

bool warned(const model::Document& document) {
    for (const auto& warning : document.warnings) {
        if (warning.find("left as it is") != std::string::npos) return true;
    }
    return false;
}

// Every picture replaced and the first shape moved, as the fuzz target does;
// the copy read back must hold as many pictures as the edited document, and
// every byte of the shape kept as it was must be in the copy exactly once.
void expectEditKeeps(const std::string& file, const std::string& kept, int replaced) {
    model::Document document = read(file);
    EXPECT_EQ(fuzz::replaceEveryPicture(document), replaced);
    for (int shape : document.topLevelShapes()) {
        auto& entry = document.shapes[static_cast<std::size_t>(shape)];
        if (entry.edit == model::EditState::Added) continue;
        entry.leftPt = 12;
        entry.layoutChanged = true;
        break;
    }
    std::string written;
    const model::Document again = roundTrip(document, &written);
    EXPECT_EQ(fuzz::countPictures(again), fuzz::countPictures(document));
    EXPECT_EQ(occurrences(written, kept), 1u) << written;
}

TEST(RtfDamagedShapeTest, AShapeInsideAPictureShapeKeepsBothAsTheyAre) {
    const std::string nested = member(111);
    const std::string damaged = pictureShape(222, nested);
    const std::string file = wrap("x" + damaged + pictureShape(333) + "y\\par ");
    const model::Document document = read(file);
    ASSERT_EQ(document.shapes.size(), 2u);
    const auto& outer = document.shapes[0];
    EXPECT_EQ(outer.type, model::shape_type::kOther);
    EXPECT_TRUE(outer.children.empty());
    EXPECT_TRUE(outer.picture.empty());
    EXPECT_EQ(outer.origin.range.length(), static_cast<std::int64_t>(damaged.size()));
    // The sound shape after it is read as ever.
    EXPECT_EQ(document.shapes[1].type, model::shape_type::kPicture);
    EXPECT_FALSE(document.shapes[1].picture.empty());
    EXPECT_TRUE(warned(document));
    EXPECT_EQ(writeRtf(document), file);
    // Only the sound picture is replaced; the damaged one moves with its
    // nested picture inside it, once.
    expectEditKeeps(file, nested, 1);
    expectEditKeeps(file, pict(222), 1);
}

TEST(RtfDamagedShapeTest, ASecondInstanceIsNotReadAndItsMembersStay) {
    // The members of a second instance of a shape, and a second instance of a group.
    const std::string second = "{\\*\\shpinst\\shpleft600\\shptop0\\shpright1200\\shpbottom600" + member(111) +
                               member(444) + "}";
    const std::string shapeTwice = pictureShape(222, "", second);
    const std::string groupTwice =
        "{\\shpgrp{\\*\\shpinst\\shpleft0\\shptop0\\shpright2000\\shpbottom1000" + member(555) + "}" + second + "}";
    for (const std::string& damaged : {shapeTwice, groupTwice}) {
        SCOPED_TRACE(damaged.substr(0, 12));
        const std::string file = wrap("x" + damaged + "y" + pictureShape(333) + "\\par ");
        const model::Document document = read(file);
        ASSERT_EQ(document.shapes.size(), 2u);
        EXPECT_EQ(document.shapes[0].type, model::shape_type::kOther);
        EXPECT_TRUE(document.shapes[0].children.empty());
        EXPECT_EQ(document.shapes[1].parent, -1);
        EXPECT_EQ(document.shapes[1].type, model::shape_type::kPicture);
        EXPECT_EQ(writeRtf(document), file);
        expectEditKeeps(file, second, 1);
    }
}

TEST(RtfDamagedShapeTest, AGroupWithTextIsKeptWholeWithItsTextAndMembers) {
    const std::string text = "{\\shptxt In box " + pict(222) + "\\par}";
    const std::string damaged = group(member(111) + text + member(444));
    const std::string file = wrap("x" + damaged + pict(333) + "y\\par ");
    const model::Document document = read(file);
    ASSERT_EQ(document.shapes.size(), 1u);
    EXPECT_EQ(document.shapes[0].type, model::shape_type::kOther);
    EXPECT_EQ(document.shapes[0].textStory, -1);
    // Only the body's story and its picture: none of the group's.
    EXPECT_EQ(document.stories.size(), 1u);
    ASSERT_EQ(document.inlines.size(), 1u);
    EXPECT_EQ(document.inlines[0].origin.range.length(), static_cast<std::int64_t>(pict(333).size()));
    EXPECT_EQ(writeRtf(document), file);
    // Taken apart, the group would have lost its text: it stays whole.
    expectEditKeeps(file, text, 1);
    expectEditKeeps(file, member(444), 1);
}

TEST(RtfDamagedShapeTest, DamageInAMemberStaysWithThatMember) {
    const std::string damagedMember = member(111, member(666));
    const std::string file = wrap("x" + group(member(222) + damagedMember + member(333)) + "y\\par ");
    const model::Document document = read(file);
    ASSERT_EQ(document.shapes.size(), 4u);
    const auto& outer = document.shapes[0];
    EXPECT_EQ(outer.type, model::shape_type::kGroup);
    EXPECT_EQ(outer.children, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(document.shapes[1].type, model::shape_type::kPicture);
    EXPECT_EQ(document.shapes[2].type, model::shape_type::kOther);
    EXPECT_EQ(document.shapes[2].parent, 0);
    EXPECT_EQ(document.shapes[3].type, model::shape_type::kPicture);
    EXPECT_EQ(document.shapes[3].parent, 0);
    // The group is taken apart and put together again around the two new
    // pictures and the damaged member, which keeps its nested shape once.
    expectEditKeeps(file, member(666), 2);
}

TEST(RtfDamagedShapeTest, AnObjectsResultShowsOneShapeAndTheRestGoWithIt) {
    const std::string object = "{\\object\\objemb\\objw600\\objh400{\\*\\objclass Paint.Picture}"
                               "{\\*\\objdata 0105000002000000}{\\result " +
                               pictureShape(222) + pictureShape(111) + group(member(444) + member(555)) + "}}";
    const std::string file = wrap("x" + object + pictureShape(333) + "y\\par ");
    const model::Document document = read(file);
    ASSERT_EQ(document.shapes.size(), 2u);
    EXPECT_EQ(document.shapes[0].type, model::shape_type::kEmbeddedObject);
    EXPECT_EQ(document.shapes[0].origin.range.length(), static_cast<std::int64_t>(object.size()));
    EXPECT_EQ(document.shapes[1].type, model::shape_type::kPicture);
    EXPECT_TRUE(warned(document));
    EXPECT_EQ(writeRtf(document), file);
    // The object is replaced whole, the shapes of its result with it.
    model::Document edited = read(file);
    EXPECT_EQ(fuzz::replaceEveryPicture(edited), 2);
    std::string written;
    const model::Document again = roundTrip(edited, &written);
    EXPECT_EQ(fuzz::countPictures(again), 2);
    EXPECT_EQ(written.find(pict(111)), std::string::npos);
    EXPECT_EQ(written.find("\\object"), std::string::npos);
}

}  // namespace
}  // namespace kelvaran::formats::rtf
