// The document walk with both conversions replaced by doubles: which objects
// are handed over, in which order and with which arguments; groups taken apart
// and rebuilt; text boxes; window upkeep, events and the stop button.

#include "tests/engine/EngineHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kelvaran::engine::testing {
namespace {

using ::testing::_;
using ::testing::AnyNumber;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::Mock;
using ::testing::Return;
using ::testing::Throw;

class WalkTest : public ::testing::Test {
protected:
    EngineHarness h;
    WalkOnlyEngine& engine = h.walkEngine();

    void SetUp() override {
        // Unless a test says otherwise a floating conversion keeps the shape
        // and records its name, as the real one does when it rejects it.
        ON_CALL(engine, ConvertFloatingShape(_, _, _, _, _))
            .WillByDefault(Invoke([](const word::ShapePtr& shape, std::vector<std::string>& names, double, double,
                                     std::string&) {
                names.push_back(shape->Name());
                return 0;
            }));
        EXPECT_CALL(engine, ConvertInlineShape(_, _, _, _)).Times(AnyNumber());
        EXPECT_CALL(engine, ConvertFloatingShape(_, _, _, _, _)).Times(AnyNumber());
    }

    std::string walk() { return engine.WalkDocument(nullptr, true); }
};

// --- The document pass -------------------------------------------------------

TEST_F(WalkTest, EmptyDocumentConvertsNothingAndLeavesTheStatusAlone) {
    EXPECT_CALL(engine, ConvertInlineShape(_, _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertFloatingShape(_, _, _, _, _)).Times(0);
    EXPECT_CALL(*h.content, ShapeRange()).Times(0);
    EXPECT_EQ(walk(), "");
    EXPECT_EQ(h.display.status, "変換中");
}

TEST_F(WalkTest, InlineShapesGoLastToFirstWithoutADot) {
    auto a = h.makeInline(3, 10, 10);
    auto b = h.makeInline(3, 10, 10);
    auto c = h.makeInline(3, 10, 10);
    h.setInlineShapes({a, b, c});
    {
        InSequence order;
        EXPECT_CALL(engine, ConvertInlineShape(Eq(c.shape), 3, false, Eq("Picture")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(b.shape), 2, false, Eq("Picture")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(a.shape), 1, false, Eq("Picture")));
    }
    EXPECT_CALL(*h.srcInline, count()).Times(1);  // read once
    EXPECT_EQ(walk(), "");
    EXPECT_EQ(h.display.status, "変換中");
}

TEST_F(WalkTest, InlineObjectsAreKeyedByTheirProgIdAndRegistered) {
    auto sheet = h.makeInline(1, 10, 10, 1, "Excel.Sheet.8");
    auto linked = h.makeInline(2, 10, 10, 1, "Word.Document.8");
    auto bare = h.makeInline(1, 10, 10, 1, "Paint");
    auto nameless = h.makeInline(1, 10, 10, 1, "");
    auto other = h.makeInline(5, 10, 10);
    h.setInlineShapes({sheet, linked, bare, nameless, other});
    EXPECT_CALL(engine, ConvertInlineShape(Eq(other.shape), _, _, _)).Times(0);
    {
        InSequence order;
        EXPECT_CALL(engine, ConvertInlineShape(Eq(nameless.shape), 4, false, Eq("")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(bare.shape), 3, false, Eq("Paint")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(linked.shape), 2, false, Eq("Word")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(sheet.shape), 1, false, Eq("Excel")));
    }
    walk();
    // The empty key is never registered; the others keep their spelling.
    EXPECT_THAT(h.rules.added, ElementsAre("Paint=False", "Word=False", "Excel=False"));
}

TEST_F(WalkTest, WithoutObjectConversionOnlyPicturesGoButKeysAreStillRegistered) {
    h.conditions.values().convertObjects = false;
    auto object = h.makeInline(1, 10, 10, 1, "Equation.3");
    auto picture = h.makeInline(3, 10, 10);
    h.setInlineShapes({object, picture});
    EXPECT_CALL(engine, ConvertInlineShape(Eq(object.shape), _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(picture.shape), 2, false, Eq("Picture"))).Times(1);
    walk();
    EXPECT_THAT(h.rules.added, ElementsAre("Equation=False"));
}

TEST_F(WalkTest, ApplicationsSetToNotConvertAreLeftAloneButPicturesAlwaysGo) {
    h.rules.formats["MPlayer"] = kFormatNone;
    h.rules.formats["Picture"] = kFormatNone;
    auto media = h.makeInline(1, 10, 10, 1, "MPlayer.1");
    auto chart = h.makeInline(1, 10, 10, 1, "MSGraph.Chart");
    auto picture = h.makeInline(3, 10, 10);
    h.setInlineShapes({media, chart, picture});
    EXPECT_CALL(engine, ConvertInlineShape(Eq(media.shape), _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(chart.shape), 2, false, Eq("MSGraph"))).Times(1);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(picture.shape), 3, false, Eq("Picture"))).Times(1);
    walk();
}

TEST_F(WalkTest, UnreadableOrFailingInlineShapesAreSkippedAndThePassGoesOn) {
    auto first = h.makeInline(3, 10, 10);
    auto unreadable = h.makeInline(3, 10, 10);
    auto failing = h.makeInline(3, 10, 10);
    auto last = h.makeInline(3, 10, 10);
    ON_CALL(*unreadable.shape, Type()).WillByDefault(Throw(office::OfficeError("gone")));
    h.setInlineShapes({first, unreadable, failing, last});
    EXPECT_CALL(engine, ConvertInlineShape(Eq(unreadable.shape), _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(failing.shape), 3, _, _))
        .WillOnce(Throw(office::OfficeError("paste failed")));
    EXPECT_CALL(engine, ConvertInlineShape(Eq(first.shape), 1, _, _)).Times(1);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(last.shape), 4, _, _)).Times(1);
    EXPECT_CALL(h.events, processEvents()).Times(4);  // after every index, skipped or not
    walk();
}

TEST_F(WalkTest, InlineCountThatCannotBeReadEndsTheWalk) {
    ON_CALL(*h.srcInline, count()).WillByDefault(Throw(office::OfficeError("busy")));
    auto shape = h.makeShape("Picture 1", 13, 50, 50);
    h.setContentShapes({shape});
    EXPECT_CALL(engine, ConvertFloatingShape(_, _, _, _, _)).Times(0);
    EXPECT_EQ(walk(), "");
    EXPECT_EQ(h.display.status, "変換中");
}

TEST_F(WalkTest, StopDuringTheDocumentPassEndsTheWalkAndClearsTheConvertedFlag) {
    auto a = h.makeInline(3, 10, 10);
    auto b = h.makeInline(3, 10, 10);
    auto c = h.makeInline(3, 10, 10);
    h.setInlineShapes({a, b, c});
    h.setContentShapes({h.makeShape("Picture 7", 13, 50, 50)});
    EXPECT_CALL(engine, ConvertInlineShape(Eq(b.shape), 2, _, _)).WillOnce(Invoke([this](auto&&...) {
        h.state.docConverted = true;
        h.state.stopRequested = true;
        return 0;
    }));
    EXPECT_CALL(engine, ConvertInlineShape(Eq(a.shape), _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertFloatingShape(_, _, _, _, _)).Times(0);
    EXPECT_EQ(walk(), "");
    EXPECT_FALSE(h.state.docConverted);
    EXPECT_EQ(h.display.status, "変換中");
}

// --- Window upkeep and events --------------------------------------------------

TEST_F(WalkTest, OfficeWindowsAreMinimisedAtTheStartAndForEveryObject) {
    ON_CALL(*h.word, WindowState()).WillByDefault(Return(1));
    ON_CALL(*h.excel, WindowState()).WillByDefault(Return(-4143));
    h.setInlineShapes({h.makeInline(3, 10, 10), h.makeInline(3, 10, 10)});
    h.setContentShapes({h.makeShape("Rectangle 3", 1, 50, 50)});
    // Start, two inline shapes, one floating shape.
    EXPECT_CALL(*h.word, setWindowState(2)).Times(4);
    EXPECT_CALL(*h.excel, setWindowState(-4140)).Times(4);
    walk();
}

TEST_F(WalkTest, MinimisedWindowsAreNotWrittenAgain) {
    h.setInlineShapes({h.makeInline(3, 10, 10)});
    h.setContentShapes({h.makeShape("Rectangle 3", 1, 50, 50)});
    EXPECT_CALL(*h.word, WindowState()).Times(3);
    EXPECT_CALL(*h.excel, WindowState()).Times(3);
    EXPECT_CALL(*h.word, setWindowState(_)).Times(0);
    EXPECT_CALL(*h.excel, setWindowState(_)).Times(0);
    walk();
}

TEST_F(WalkTest, ExcelClosedDuringTheRunDoesNotEndTheWalk) {
    ON_CALL(*h.excel, WindowState()).WillByDefault(Throw(office::OfficeError("server gone")));
    auto floating = h.makeShape("Picture 2", 13, 50, 50);
    h.setContentShapes({floating});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(floating.shape), _, _, _, _)).Times(1);
    walk();
}

TEST_F(WalkTest, EventsRunAfterEveryInlineShapeAndTwiceForEveryFloatingShape) {
    h.setInlineShapes({h.makeInline(3, 10, 10), h.makeInline(3, 10, 10)});
    h.setContentShapes({h.makeShape("Picture 1", 13, 50, 50), h.makeShape("Oval 2", 1, 50, 50)});
    EXPECT_CALL(h.events, processEvents()).Times(2 + 2 * 2);
    walk();
}

// --- The shapes pass -----------------------------------------------------------

TEST_F(WalkTest, FloatingShapesAreClassifiedByTheirNameAndGoLastToFirst) {
    auto picture = h.makeShape("Picture 1", 13, 40.5, 30.25);
    auto upper = h.makeShape("PICTURE 2", 13, 10, 10);
    auto plural = h.makeShape("Pictures 3", 13, 10, 10);
    auto object = h.makeShape("Object 4", 7, 20, 20);
    ON_CALL(*object.ole, progId()).WillByDefault(Return("Equation.3"));
    auto media = h.makeShape("Object 5", 16, 20, 20);
    ON_CALL(*media.ole, progId()).WillByDefault(Return("MPlayer"));
    h.setContentShapes({picture, upper, plural, object, media});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(plural.shape), _, _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(media.shape), _, _, _, _)).Times(0);
    {
        InSequence order;
        EXPECT_CALL(engine, ConvertFloatingShape(Eq(object.shape), _, 20.0, 20.0, Eq("Equation")));
        EXPECT_CALL(engine, ConvertFloatingShape(Eq(upper.shape), _, 10.0, 10.0, Eq("Picture")));
        EXPECT_CALL(engine, ConvertFloatingShape(Eq(picture.shape), _, 40.5, 30.25, Eq("Picture")));
    }
    EXPECT_EQ(walk(), "");
    EXPECT_EQ(h.display.status, "変換中.");
    // The media object's key is registered although it is never converted.
    EXPECT_THAT(h.rules.added, ElementsAre("MPlayer=False", "Equation=False"));
}

TEST_F(WalkTest, FloatingObjectsFollowTheCheckBoxAndTheExceptionList) {
    auto equation = h.makeShape("Object 1", 7, 20, 20);
    ON_CALL(*equation.ole, progId()).WillByDefault(Return("Equation.3"));
    auto sound = h.makeShape("Object 2", 7, 20, 20);
    ON_CALL(*sound.ole, progId()).WillByDefault(Return("SoundRec"));
    h.rules.formats["SoundRec"] = kFormatNone;
    h.setContentShapes({equation, sound});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(sound.shape), _, _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(equation.shape), _, _, _, _)).Times(1);
    walk();
    Mock::VerifyAndClearExpectations(&engine);

    h.conditions.values().convertObjects = false;
    EXPECT_CALL(engine, ConvertFloatingShape(_, _, _, _, _)).Times(0);
    walk();
}

// The conversion is read afresh for each object: a change in the middle of the
// walk applies to the objects that follow.
TEST_F(WalkTest, ConditionsAreReadForEveryObject) {
    auto late = h.makeShape("Object 1", 7, 20, 20);
    auto early = h.makeShape("Object 2", 7, 20, 20);
    ON_CALL(*late.ole, progId()).WillByDefault(Return("Equation.3"));
    ON_CALL(*early.ole, progId()).WillByDefault(Return("Equation.3"));
    h.setContentShapes({late, early});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(early.shape), _, _, _, _))
        .WillOnce(Invoke([this](const word::ShapePtr& s, std::vector<std::string>& names, double, double,
                                std::string&) {
            names.push_back(s->Name());
            h.conditions.values().convertObjects = false;
            return 0;
        }));
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(late.shape), _, _, _, _)).Times(0);
    walk();
}

TEST_F(WalkTest, StopDuringTheThirdOfFiveFloatingShapesEndsTheWalkAfterIt) {
    std::vector<ShapeDouble> shapes;
    for (int k = 1; k <= 5; ++k) shapes.push_back(h.makeShape("Picture " + std::to_string(k), 13, 50, 50));
    h.setContentShapes(shapes);
    {
        InSequence order;
        EXPECT_CALL(engine, ConvertFloatingShape(Eq(shapes[4].shape), _, _, _, _));
        EXPECT_CALL(engine, ConvertFloatingShape(Eq(shapes[3].shape), _, _, _, _));
        EXPECT_CALL(engine, ConvertFloatingShape(Eq(shapes[2].shape), _, _, _, _))
            .WillOnce(Invoke([this](auto&&...) {
                h.state.docConverted = true;
                h.state.stopRequested = true;
                return 0;
            }));
    }
    EXPECT_CALL(*shapes[1].shape, Width()).Times(0);
    EXPECT_CALL(*shapes[0].shape, Width()).Times(0);
    EXPECT_EQ(walk(), "");
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(WalkTest, MembersThatCannotBeFetchedOrMeasuredAreLeftAsTheyAre) {
    auto fine = h.makeShape("Picture 1", 13, 50, 50);
    auto unsized = h.makeShape("Picture 2", 13, 50, 50);
    ON_CALL(*unsized.shape, Height()).WillByDefault(Throw(office::OfficeError("x")));
    auto untyped = h.makeShape("Picture 3", 13, 50, 50);
    ON_CALL(*untyped.shape, Type()).WillByDefault(Throw(office::OfficeError("x")));
    h.setContentShapes({fine, unsized, untyped, fine});
    ON_CALL(*h.contentShapes, item(4)).WillByDefault(Throw(office::OfficeError("gone")));
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(unsized.shape), _, _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(untyped.shape), _, _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(fine.shape), _, _, _, _)).Times(1);
    EXPECT_EQ(walk(), "");
}

TEST_F(WalkTest, FailingShapesPassPreparationEndsTheDocumentWalkQuietly) {
    h.setContentShapes({h.makeShape("Picture 1", 13, 50, 50)});
    ON_CALL(*h.content, ShapeRange()).WillByDefault(Throw(office::OfficeError("x")));
    EXPECT_CALL(engine, ConvertFloatingShape(_, _, _, _, _)).Times(0);
    EXPECT_EQ(walk(), "");
}

// --- Text boxes ----------------------------------------------------------------

class TextBoxWalkTest : public WalkTest {
protected:
    ShapeDouble box = h.makeShape("Text Box 4", 17, 120.5, 121.5);
    std::vector<InlineDouble> pictures = {h.makeInline(3, 10, 10), h.makeInline(1, 10, 10, 1, "Excel.Sheet"),
                                          h.makeInline(3, 10, 10)};

    void SetUp() override {
        WalkTest::SetUp();
        ON_CALL(*box.textInlineShapes, count()).WillByDefault(Return(3));
        for (int j = 1; j <= 3; ++j) {
            ON_CALL(*box.textInlineShapes, item(j)).WillByDefault(Return(pictures[j - 1].shape));
        }
        h.setContentShapes({box});
    }
};

TEST_F(TextBoxWalkTest, HandsIndexesThreeTwoOneAsPicturesAndRestoresTheRoundedSize) {
    {
        InSequence order;
        EXPECT_CALL(engine, ConvertInlineShape(Eq(pictures[2].shape), 3, true, Eq("Picture")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(pictures[1].shape), 2, true, Eq("Picture")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(pictures[0].shape), 1, true, Eq("Picture")));
        EXPECT_CALL(*box.shape, setWidth(120.0));
        EXPECT_CALL(*box.shape, setHeight(122.0));
    }
    EXPECT_CALL(engine, ConvertFloatingShape(_, _, _, _, _)).Times(0);
    EXPECT_CALL(*box.textInlineShapes, count()).Times(1);
    walk();
    EXPECT_TRUE(h.rules.added.empty());  // inline shapes of a text box are not classified
}

TEST_F(TextBoxWalkTest, FailingConversionStopsTheBoxAndSkipsTheSizeRestore) {
    EXPECT_CALL(engine, ConvertInlineShape(Eq(pictures[1].shape), 2, true, _))
        .WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(engine, ConvertInlineShape(Eq(pictures[0].shape), _, _, _)).Times(0);
    EXPECT_CALL(*box.shape, setWidth(_)).Times(0);
    EXPECT_CALL(*box.shape, setHeight(_)).Times(0);
    walk();
}

TEST_F(TextBoxWalkTest, BoxWithoutPicturesKeepsItsSize) {
    ON_CALL(*box.textInlineShapes, count()).WillByDefault(Return(0));
    EXPECT_CALL(engine, ConvertInlineShape(_, _, _, _)).Times(0);
    EXPECT_CALL(*box.shape, setWidth(_)).Times(0);
    EXPECT_CALL(*box.shape, setHeight(_)).Times(0);
    walk();
}

TEST_F(TextBoxWalkTest, TextBoxNamedLikeAPictureIsConvertedAsAFloatingShape) {
    ON_CALL(*box.shape, Name()).WillByDefault(Return("Picture 4"));
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(box.shape), _, _, _, _)).Times(1);
    EXPECT_CALL(engine, ConvertInlineShape(_, _, _, _)).Times(0);
    walk();
}

// --- Groups --------------------------------------------------------------------

// A group in the document with its members, the two placeholder shapes that the
// walk adds while it takes the group apart, and the group it rebuilds.
class GroupWalkTest : public WalkTest {
protected:
    ShapeDouble group = h.makeShape("Group 10", 6, 120, 101);
    Nice<om::MockWordShapeRange> members = nice<om::MockWordShapeRange>();
    ShapeDouble rectangle = h.makeShape("Rectangle 90", 1, 1, 1);
    ShapeDouble oval = h.makeShape("Oval 91", 1, 1, 1);
    ShapeDouble placeholder = h.makeShape("Group 92", 6, 3, 1);
    ShapeDouble rebuilt = h.makeShape("Group 93", 6, 120, 101);

    void SetUp() override {
        WalkTest::SetUp();
        h.conditions.values().pixelSize = "100";
        ON_CALL(*group.shape, Ungroup()).WillByDefault(Return(members));
        ON_CALL(*h.srcShapes, AddShape(1, 0, 0, 1, 1)).WillByDefault(Return(rectangle.shape));
        ON_CALL(*h.srcShapes, AddShape(9, 2, 0, 1, 1)).WillByDefault(Return(oval.shape));
        EXPECT_CALL(*h.selectionRange, Group())
            .Times(AnyNumber())
            .WillOnce(Return(placeholder.shape))
            .WillRepeatedly(Return(rebuilt.shape));
        ON_CALL(*h.contentShapes, count()).WillByDefault(Return(1));
        ON_CALL(*h.contentShapes, item(1)).WillByDefault(Return(group.shape));
        h.setDocumentShapes({group.shape});
    }

    // The group's members, and every shape of the document after ungrouping.
    void setMembers(const std::vector<ShapeDouble>& shapes, std::vector<word::ShapePtr> document) {
        ON_CALL(*members, count()).WillByDefault(Return(static_cast<std::int32_t>(shapes.size())));
        for (std::size_t k = 0; k < shapes.size(); ++k) {
            ON_CALL(*members, item(static_cast<std::int32_t>(k + 1))).WillByDefault(Return(shapes[k].shape));
        }
        h.setDocumentShapes(document);
    }
};

TEST_F(GroupWalkTest, GroupNotLargerThanTheConditionInBothDirectionsStaysWhole) {
    ON_CALL(*group.shape, Height()).WillByDefault(Return(100.0));
    h.setDocumentShapes({group.shape});
    EXPECT_CALL(*h.srcShapes, AddShape(_, _, _, _, _)).Times(0);
    EXPECT_CALL(*group.shape, Ungroup()).Times(0);
    walk();
    EXPECT_EQ(h.display.status, "変換中.");
}

TEST_F(GroupWalkTest, ConditionOfNineThousandNineHundredNinetyNineKeepsGroupsWhole) {
    h.conditions.values().pixelSize = "9999";
    h.setDocumentShapes({group.shape});
    EXPECT_CALL(*group.shape, Ungroup()).Times(0);
    walk();
}

TEST_F(GroupWalkTest, PixelSizeThatIsNotANumberKeepsTheGroupWhole) {
    h.conditions.values().pixelSize = "many";
    h.setDocumentShapes({group.shape});
    EXPECT_CALL(*group.shape, Ungroup()).Times(0);
    walk();
}

TEST_F(GroupWalkTest, PixelSizeIsRoundedHalfToEven) {
    // "100.5" is 100: a group of 100.75 points is larger.
    h.conditions.values().pixelSize = "100.5";
    ON_CALL(*group.shape, Width()).WillByDefault(Return(100.75));
    ON_CALL(*group.shape, Height()).WillByDefault(Return(100.75));
    auto member = h.makeShape("Oval 1", 1, 5, 5);
    setMembers({member}, {member.shape, placeholder.shape});
    EXPECT_CALL(*group.shape, Ungroup()).Times(1);
    walk();
}

TEST_F(GroupWalkTest, LargeGroupIsTakenApartWalkedAndRebuiltWithoutThePlaceholders) {
    auto picture = h.makeShape("Picture 11", 13, 50, 40);
    auto textBox = h.makeShape("Text Box 12", 17, 60, 30);
    auto line = h.makeShape("Line 13", 9, 70, 1);
    auto converted = h.makeShape("Picture 20", 13, 50, 40);
    auto outsider = h.makeShape("Oval 14", 1, 5, 5);
    setMembers({picture, textBox, line},
               {outsider.shape, line.shape, converted.shape, textBox.shape, placeholder.shape});

    {
        InSequence order;
        EXPECT_CALL(*h.srcShapes, AddShape(1, 0, 0, 1, 1));
        EXPECT_CALL(*h.srcShapes, AddShape(9, 2, 0, 1, 1));
        EXPECT_CALL(*h.window, Activate());
        EXPECT_CALL(*rectangle.shape, Select(true));
        EXPECT_CALL(*oval.shape, Select(false));
        EXPECT_CALL(*h.selectionRange, Group()).WillOnce(Return(placeholder.shape));
        EXPECT_CALL(*group.shape, Select(true));
        EXPECT_CALL(*group.shape, Ungroup());
        // Members last to first: the line, the text box, the picture.
        EXPECT_CALL(*line.shape, Type());
        EXPECT_CALL(*textBox.shape, Type());
        EXPECT_CALL(engine, ConvertFloatingShape(Eq(picture.shape), _, 50.0, 40.0, Eq("Picture")))
            .WillOnce(Invoke([](const word::ShapePtr&, std::vector<std::string>& names, double, double,
                                std::string&) {
                names.push_back("Picture 20");
                return 0;
            }));
        // The rebuild, in collection order.
        EXPECT_CALL(*h.selection, Collapse());
        EXPECT_CALL(*line.shape, Select(false));
        EXPECT_CALL(*converted.shape, Select(false));
        EXPECT_CALL(*textBox.shape, Select(false));
        EXPECT_CALL(*h.selectionRange, Group()).WillOnce(Return(rebuilt.shape));
        EXPECT_CALL(*placeholder.shape, Delete());
    }
    EXPECT_CALL(*outsider.shape, Select(_)).Times(0);
    EXPECT_CALL(*placeholder.shape, Select(_)).Times(0);
    EXPECT_EQ(walk(), "");
    EXPECT_EQ(h.display.status, "変換中..");
}

TEST_F(GroupWalkTest, GroupWalkReturnsTheNewGroupsName) {
    auto a = h.makeShape("Oval 1", 1, 5, 5);
    auto b = h.makeShape("Oval 2", 1, 5, 5);
    setMembers({a, b}, {a.shape, b.shape, placeholder.shape});
    // A group walk has no document pass.
    EXPECT_CALL(*h.srcInline, count()).Times(0);
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Group 93");
}

TEST_F(GroupWalkTest, MembersGivenUpByTheConversionAreRecordedUnderTheirOwnNames) {
    auto rejected = h.makeShape("Picture 1", 13, 5, 5);
    auto failing = h.makeShape("Picture 2", 13, 5, 5);
    setMembers({rejected, failing}, {rejected.shape, failing.shape, placeholder.shape});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(failing.shape), _, _, _, _))
        .WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(rejected.shape), _, _, _, _)).WillOnce(Return(-1));
    EXPECT_CALL(*rejected.shape, Select(false)).Times(1);
    EXPECT_CALL(*failing.shape, Select(false)).Times(1);
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Group 93");
}

TEST_F(GroupWalkTest, NestedLargeGroupComesBackAsItsRebuiltSubGroup) {
    auto inner = h.makeShape("Group 30", 6, 110, 110);
    auto innerMembers = nice<om::MockWordShapeRange>();
    auto x = h.makeShape("Oval 31", 1, 5, 5);
    auto y = h.makeShape("Oval 32", 1, 5, 5);
    auto sibling = h.makeShape("Oval 33", 1, 5, 5);
    auto innerPlaceholder = h.makeShape("Group 94", 6, 3, 1);
    auto innerRebuilt = h.makeShape("Group 95", 6, 110, 110);
    ON_CALL(*inner.shape, Ungroup()).WillByDefault(Return(innerMembers));
    ON_CALL(*innerMembers, count()).WillByDefault(Return(2));
    ON_CALL(*innerMembers, item(1)).WillByDefault(Return(x.shape));
    ON_CALL(*innerMembers, item(2)).WillByDefault(Return(y.shape));
    setMembers({inner, sibling}, {sibling.shape, innerRebuilt.shape, x.shape, y.shape, placeholder.shape,
                                  innerPlaceholder.shape});
    Mock::VerifyAndClearExpectations(h.selectionRange.get());
    EXPECT_CALL(*h.selectionRange, Group())
        .WillOnce(Return(placeholder.shape))        // outer placeholders
        .WillOnce(Return(innerPlaceholder.shape))   // inner placeholders
        .WillOnce(Return(innerRebuilt.shape))       // inner rebuild
        .WillOnce(Return(rebuilt.shape));           // outer rebuild
    // The members of the inner group are selected for the inner rebuild only;
    // the outer rebuild takes the rebuilt sub-group and the sibling.
    EXPECT_CALL(*x.shape, Select(false)).Times(1);
    EXPECT_CALL(*y.shape, Select(false)).Times(1);
    EXPECT_CALL(*innerRebuilt.shape, Select(false)).Times(1);
    EXPECT_CALL(*sibling.shape, Select(false)).Times(1);
    EXPECT_CALL(*innerPlaceholder.shape, Delete()).Times(1);
    EXPECT_CALL(*placeholder.shape, Delete()).Times(1);
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Group 93");
    EXPECT_EQ(h.display.status, "変換中..");
}

TEST_F(GroupWalkTest, RebuildWithASingleMemberLeftKeepsItUngroupedUnderItsName) {
    auto kept = h.makeShape("Oval 1", 1, 5, 5);
    auto vanished = h.makeShape("Oval 2", 1, 5, 5);
    setMembers({kept, vanished}, {kept.shape, placeholder.shape});
    EXPECT_CALL(*h.selectionRange, Group()).WillOnce(Return(placeholder.shape));  // the placeholders only
    EXPECT_CALL(*placeholder.shape, Delete()).Times(1);
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Oval 1");
}

TEST_F(GroupWalkTest, FailedUngroupingRemovesThePlaceholdersAndKeepsTheGroupInItsParent) {
    ON_CALL(*group.shape, Ungroup()).WillByDefault(Throw(office::OfficeError("locked")));
    EXPECT_CALL(*placeholder.shape, Delete()).Times(1);
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Group 10");
}

TEST_F(GroupWalkTest, FailedPlaceholderGroupingRemovesBothPlaceholders) {
    Mock::VerifyAndClearExpectations(h.selectionRange.get());
    EXPECT_CALL(*h.selectionRange, Group()).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*rectangle.shape, Delete()).Times(1);
    EXPECT_CALL(*oval.shape, Delete()).Times(1);
    EXPECT_CALL(*group.shape, Ungroup()).Times(0);
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Group 10");
}

TEST_F(GroupWalkTest, FailedSecondPlaceholderRemovesTheFirst) {
    ON_CALL(*h.srcShapes, AddShape(9, 2, 0, 1, 1)).WillByDefault(Throw(office::OfficeError("x")));
    EXPECT_CALL(*rectangle.shape, Delete()).Times(1);
    EXPECT_CALL(*group.shape, Ungroup()).Times(0);
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Group 10");
}

TEST_F(GroupWalkTest, FailedGroupWalkInsideAGroupKeepsTheInnerGroupInTheRebuild) {
    auto inner = h.makeShape("Group 30", 6, 110, 110);
    ON_CALL(*inner.shape, Ungroup()).WillByDefault(Throw(office::OfficeError("locked")));
    auto sibling = h.makeShape("Oval 33", 1, 5, 5);
    auto innerPlaceholder = h.makeShape("Group 94", 6, 3, 1);
    setMembers({inner, sibling}, {sibling.shape, inner.shape, placeholder.shape});
    Mock::VerifyAndClearExpectations(h.selectionRange.get());
    EXPECT_CALL(*h.selectionRange, Group())
        .WillOnce(Return(placeholder.shape))
        .WillOnce(Return(innerPlaceholder.shape))
        .WillOnce(Return(rebuilt.shape));
    EXPECT_CALL(*innerPlaceholder.shape, Delete()).Times(1);
    EXPECT_CALL(*inner.shape, Select(true)).Times(AnyNumber());
    EXPECT_CALL(*inner.shape, Select(false)).Times(1);
    EXPECT_CALL(*sibling.shape, Select(false)).Times(1);
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Group 93");
}

TEST_F(GroupWalkTest, StopInsideAGroupEndsEveryEnclosingWalkWithoutRebuilding) {
    auto a = h.makeShape("Picture 1", 13, 5, 5);
    auto b = h.makeShape("Picture 2", 13, 5, 5);
    auto topSibling = h.makeShape("Picture 3", 13, 5, 5);
    setMembers({a, b}, {a.shape, b.shape, placeholder.shape, topSibling.shape});
    ON_CALL(*h.contentShapes, count()).WillByDefault(Return(2));
    ON_CALL(*h.contentShapes, item(1)).WillByDefault(Return(topSibling.shape));
    ON_CALL(*h.contentShapes, item(2)).WillByDefault(Return(group.shape));
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(b.shape), _, _, _, _)).WillOnce(Invoke([this](auto&&...) {
        h.state.stopRequested = true;
        return -1;
    }));
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(a.shape), _, _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(topSibling.shape), _, _, _, _)).Times(0);
    EXPECT_CALL(*h.selection, Collapse()).Times(0);
    EXPECT_CALL(*placeholder.shape, Delete()).Times(0);
    h.state.docConverted = true;
    EXPECT_EQ(walk(), "");
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(GroupWalkTest, FailingRebuildStepsAreSkipped) {
    auto a = h.makeShape("Oval 1", 1, 5, 5);
    auto b = h.makeShape("Oval 2", 1, 5, 5);
    setMembers({a, b}, {a.shape, b.shape, placeholder.shape});
    EXPECT_CALL(*h.selection, Collapse()).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*a.shape, Select(false)).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*b.shape, Select(false)).Times(1);
    EXPECT_CALL(*placeholder.shape, Delete()).Times(1);
    // Only one member could be selected: it stays on its own.
    EXPECT_EQ(engine.WalkDocument(group.shape, false), "Oval 2");
}

// --- Headers and footers --------------------------------------------------------

struct RecordingObserver : ObjectObserver {
    std::vector<ObjectDecision> decisions;
    void objectDecided(const ObjectDecision& decision) override { decisions.push_back(decision); }
};

class HeaderWalkTest : public WalkTest {
protected:
    // One header holding a picture and an embedded object, one footer
    // holding a picture; the body holds one picture.
    void SetUp() override {
        WalkTest::SetUp();
        h.setInlineShapes({body});
        ON_CALL(*headerRange, InlineShapes()).WillByDefault(Return(headerShapes));
        ON_CALL(*headerShapes, count()).WillByDefault(Return(2));
        ON_CALL(*headerShapes, item(1)).WillByDefault(Return(headerPicture.shape));
        ON_CALL(*headerShapes, item(2)).WillByDefault(Return(headerObject.shape));
        ON_CALL(*footerRange, InlineShapes()).WillByDefault(Return(footerShapes));
        ON_CALL(*footerShapes, count()).WillByDefault(Return(1));
        ON_CALL(*footerShapes, item(1)).WillByDefault(Return(footerPicture.shape));
        ON_CALL(*h.srcDoc, HeaderFooterRanges())
            .WillByDefault(Return(std::vector<word::HeaderFooterRange>{{.range = headerRange, .footer = false},
                                                                       {.range = footerRange, .footer = true}}));
        engine.setObserver(&observer);
    }

    InlineDouble body = h.makeInline(3, 10, 10);
    InlineDouble headerPicture = h.makeInline(3, 10, 10);
    InlineDouble headerObject = h.makeInline(1, 10, 10, 1, "Package");
    InlineDouble footerPicture = h.makeInline(3, 10, 10);
    Nice<om::MockWordRange> headerRange = nice<om::MockWordRange>();
    Nice<om::MockWordRange> footerRange = nice<om::MockWordRange>();
    Nice<om::MockWordInlineShapes> headerShapes = nice<om::MockWordInlineShapes>();
    Nice<om::MockWordInlineShapes> footerShapes = nice<om::MockWordInlineShapes>();
    RecordingObserver observer;
};

TEST_F(HeaderWalkTest, WithoutTheConditionHeadersAreNotLookedAt) {
    EXPECT_CALL(*h.srcDoc, HeaderFooterRanges()).Times(0);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(body.shape), 1, false, Eq("Picture")));
    EXPECT_CALL(engine, ConvertInlineShape(Eq(headerPicture.shape), _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(footerPicture.shape), _, _, _)).Times(0);
    EXPECT_EQ(walk(), "");
    EXPECT_TRUE(observer.decisions.empty());
}

TEST_F(HeaderWalkTest, HeadersAndFootersFollowTheBodyWithTheSameRules) {
    h.conditions.values().headers = true;
    h.conditions.values().convertObjects = false;
    {
        InSequence order;
        EXPECT_CALL(engine, ConvertInlineShape(Eq(body.shape), 1, false, Eq("Picture")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(headerPicture.shape), 1, false, Eq("Picture")));
        EXPECT_CALL(engine, ConvertInlineShape(Eq(footerPicture.shape), 1, false, Eq("Picture")));
    }
    // Objects are not converted without --objects: the header's one is
    // reported as excluded, and as standing in the header.
    EXPECT_CALL(engine, ConvertInlineShape(Eq(headerObject.shape), _, _, _)).Times(0);
    EXPECT_EQ(walk(), "");
    ASSERT_EQ(observer.decisions.size(), 1u);
    EXPECT_EQ(observer.decisions[0].decision, "excluded");
    EXPECT_EQ(observer.decisions[0].kind, "Package");
    EXPECT_EQ(observer.decisions[0].story, "header");
}

TEST_F(HeaderWalkTest, ObjectsOfHeadersAreConvertedUnderTheObjectCondition) {
    h.conditions.values().headers = true;
    h.conditions.values().convertObjects = true;
    EXPECT_CALL(engine, ConvertInlineShape(Eq(headerObject.shape), 2, false, Eq("Package")));
    EXPECT_EQ(walk(), "");
}

TEST_F(HeaderWalkTest, AStopInTheBodyLeavesTheHeadersAlone) {
    h.conditions.values().headers = true;
    EXPECT_CALL(engine, ConvertInlineShape(Eq(body.shape), 1, false, _)).WillOnce(Invoke([this](auto&&...) {
        h.state.stopRequested = true;
        return 0;
    }));
    EXPECT_CALL(*h.srcDoc, HeaderFooterRanges()).Times(0);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(headerPicture.shape), _, _, _)).Times(0);
    EXPECT_EQ(walk(), "");
}

TEST_F(HeaderWalkTest, AStoryWhoseShapesCannotBeCountedIsPassedOver) {
    h.conditions.values().headers = true;
    ON_CALL(*headerShapes, count()).WillByDefault(Throw(office::OfficeError("no header")));
    EXPECT_CALL(engine, ConvertInlineShape(Eq(headerPicture.shape), _, _, _)).Times(0);
    EXPECT_CALL(engine, ConvertInlineShape(Eq(footerPicture.shape), 1, false, Eq("Picture")));
    EXPECT_EQ(walk(), "");
}

}  // namespace
}  // namespace kelvaran::engine::testing
