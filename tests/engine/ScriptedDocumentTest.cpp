// A whole document walked by the real engine over the doubles: two inline
// pictures, a floating picture, a group taken apart with a picture and an oval
// in it, and a text box with a picture in its text.

#include "tests/engine/EngineHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kelvaran::engine::testing {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::InSequence;
using ::testing::Return;

class ScriptedDocumentTest : public ::testing::Test {
protected:
    EngineHarness h;

    // Body text: two inline pictures and, after each replacement, the new one
    // at the same index (Word 2007).
    InlineDouble first = h.makeInline(3, 100, 50, 1);
    InlineDouble second = h.makeInline(3, 300, 150, 3);
    InlineDouble firstNew = h.makeInline(3, 100, 50, 1);
    InlineDouble secondNew = h.makeInline(3, 300, 150, 3);

    // Floating shapes of the content, and what the walk adds meanwhile.
    ShapeDouble floating = h.makeShape("Picture 1", 13, 80, 60);
    ShapeDouble group = h.makeShape("Group 2", 6, 240, 120);
    ShapeDouble box = h.makeShape("Text Box 3", 17, 150.5, 90.5);
    ShapeDouble member = h.makeShape("Picture 8", 13, 120, 100);
    ShapeDouble oval = h.makeShape("Oval 9", 1, 40, 40);
    ShapeDouble rectangle = h.makeShape("Rectangle 20", 1, 1, 1);
    ShapeDouble dot = h.makeShape("Oval 21", 9, 1, 1);
    ShapeDouble placeholder = h.makeShape("Group 22", 6, 3, 1);
    ShapeDouble rebuilt = h.makeShape("Group 23", 6, 240, 120);
    ShapeDouble pasted = h.makeShape("Picture 30", 13, 80, 60);
    Nice<om::MockWordShapeRange> members = nice<om::MockWordShapeRange>();

    // The text box's picture and its replacement.
    InlineDouble boxPicture = h.makeInline(3, 64, 32, 2);
    InlineDouble boxPictureNew = h.makeInline(3, 64, 32, 2);

    void SetUp() override {
        h.mode2007();
        h.conditions.values().pixelSize = "100";
        h.setInlineShapes({firstNew, secondNew});
        ON_CALL(*h.srcInline, count()).WillByDefault(Return(2));
        // The probe and the walk fetch the old shapes; the replacement finds
        // the new one at the same index.
        EXPECT_CALL(*h.srcInline, item(2))
            .WillOnce(Return(second.shape))
            .WillOnce(Return(second.shape))
            .WillRepeatedly(Return(secondNew.shape));
        EXPECT_CALL(*h.srcInline, item(1))
            .WillOnce(Return(first.shape))
            .WillOnce(Return(first.shape))
            .WillRepeatedly(Return(firstNew.shape));

        ON_CALL(*h.contentShapes, count()).WillByDefault(Return(3));
        ON_CALL(*h.contentShapes, item(1)).WillByDefault(Return(floating.shape));
        ON_CALL(*h.contentShapes, item(2)).WillByDefault(Return(group.shape));
        ON_CALL(*h.contentShapes, item(3)).WillByDefault(Return(box.shape));
        // Every floating replacement is the document's last shape.
        h.setDocumentShapes({floating.shape, box.shape, member.shape, oval.shape, placeholder.shape,
                             pasted.shape});

        ON_CALL(*h.srcShapes, AddShape(1, 0, 0, 1, 1)).WillByDefault(Return(rectangle.shape));
        ON_CALL(*h.srcShapes, AddShape(9, 2, 0, 1, 1)).WillByDefault(Return(dot.shape));
        ON_CALL(*group.shape, Ungroup()).WillByDefault(Return(members));
        ON_CALL(*members, count()).WillByDefault(Return(2));
        ON_CALL(*members, item(1)).WillByDefault(Return(member.shape));
        ON_CALL(*members, item(2)).WillByDefault(Return(oval.shape));

        ON_CALL(*box.textInlineShapes, count()).WillByDefault(Return(1));
        ON_CALL(*box.textInlineShapes, item(1)).WillByDefault(Return(boxPicture.shape));
        // The text frame's replacement is found through the selected text box.
        ON_CALL(*h.selectionRange, item(1)).WillByDefault(Return(box.shape));
        ON_CALL(*box.shape, ZOrderPosition()).WillByDefault(Return(1));
        ON_CALL(*pasted.shape, ZOrderPosition()).WillByDefault(Return(1));
        EXPECT_CALL(*box.textInlineShapes, item(1))
            .WillOnce(Return(boxPicture.shape))
            .WillRepeatedly(Return(boxPictureNew.shape));
    }
};

TEST_F(ScriptedDocumentTest, EveryObjectIsReplacedInWalkOrderAndLogged) {
    EXPECT_CALL(*h.selectionRange, Group()).WillOnce(Return(placeholder.shape)).WillOnce(Return(rebuilt.shape));
    EXPECT_CALL(*floating.shape, Delete());
    EXPECT_CALL(*member.shape, Delete());
    EXPECT_CALL(*oval.shape, Delete()).Times(0);
    EXPECT_CALL(*boxPicture.range, Delete());
    {
        InSequence order;
        // The text box is set back to its rounded size after its picture.
        EXPECT_CALL(*box.shape, setWidth(150.0));
        EXPECT_CALL(*box.shape, setHeight(90.0));
        // The group is rebuilt from the new picture and the untouched oval.
        EXPECT_CALL(*oval.shape, Select(false));
        EXPECT_CALL(*pasted.shape, Select(false));
        EXPECT_CALL(*placeholder.shape, Delete());
    }
    EXPECT_CALL(*member.shape, Select(true)).Times(::testing::AnyNumber());
    EXPECT_CALL(*member.shape, Select(false)).Times(0);

    EXPECT_EQ(h.engine().WalkDocument(nullptr, true), "");

    EXPECT_TRUE(h.state.docConverted);
    EXPECT_EQ(h.display.status, "変換中..");
    EXPECT_THAT(h.display.log,
                ElementsAre("ページ 3\tPicture (表示ｻｲｽﾞ=300x150) をJPEGにｲﾝﾗｲﾝ変換 (100KB->40KB)  \r\n",
                            "ページ 1\tPicture (表示ｻｲｽﾞ=100x50) をJPEGにｲﾝﾗｲﾝ変換 (100KB->40KB)  \r\n",
                            "ページ 2\tPicture (表示ｻｲｽﾞ=64x32) をJPEGにﾃｷｽﾄ枠内変換 (100KB->40KB)  \r\n",
                            "ページ 1\tPicture (表示ｻｲｽﾞ=120x100) をJPEGにｼｪｰﾌﾟ変換 (100KB->40KB)  \r\n",
                            "ページ 1\tPicture (表示ｻｲｽﾞ=80x60) をJPEGにｼｪｰﾌﾟ変換 (100KB->40KB)  \r\n"));
    EXPECT_EQ(h.shapesOnSheet, 0);
}

TEST_F(ScriptedDocumentTest, StopDuringTheFirstFloatingShapeLeavesTheDocumentUnconverted) {
    // The stop button is pressed while the text box's picture is converted.
    h.state.waitMs = 5;
    ON_CALL(h.events, processEvents()).WillByDefault([this] {
        if (h.display.log.size() == 3) h.state.stopRequested = true;
    });
    EXPECT_CALL(*group.shape, Ungroup()).Times(0);
    EXPECT_CALL(*floating.shape, Delete()).Times(0);
    EXPECT_CALL(*h.selectionRange, Group()).Times(0);
    EXPECT_EQ(h.engine().WalkDocument(nullptr, true), "");
    EXPECT_FALSE(h.state.docConverted);
    EXPECT_EQ(h.display.log.size(), 3u);
}

}  // namespace
}  // namespace kelvaran::engine::testing
