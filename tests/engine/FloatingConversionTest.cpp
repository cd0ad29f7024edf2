// Converting one floating shape: measuring through the selection, rotation
// taken off for every copy, the pass on the sheet, and the replacement at the
// anchor with wrapping, rotation, relative layout, position, stacking order and
// formatting carried over.

#include "tests/engine/EngineHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kelvaran::engine::testing {
namespace {

using ::testing::_;
using ::testing::AnyNumber;
using ::testing::ElementsAre;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::Throw;
using office::Variant;
namespace fmt = office::excel::formats;

const Variant kNoRotation{std::int16_t{0}};

class FloatingConversionTest : public ::testing::Test {
protected:
    EngineHarness h;
    ShapeDouble old = h.makeShape("Picture 5", 13, 999, 999);  // the walk's sizes are used, not these
    ShapeDouble fresh = h.makeShape("Picture 40", 13, 200, 100);
    Nice<om::MockWordWrapFormat> freshWrap = nice<om::MockWordWrapFormat>();
    std::vector<std::string> names;
    std::string kind = "Picture";
    int freshPosition = 8;  // the pasted picture starts on top of the stack
    int lowestPosition = 1;

    void SetUp() override {
        ON_CALL(*h.selection, Information(1)).WillByDefault(Return(Variant(std::int32_t{2})));
        ON_CALL(*old.shape, ZOrderPosition()).WillByDefault(Return(3));
        ON_CALL(*old.shape, Top()).WillByDefault(Return(72.0));
        ON_CALL(*old.shape, Left()).WillByDefault(Return(36.0));
        // Word 2007 finds the new picture as the document's last shape, earlier
        // versions through the selection.
        ON_CALL(*h.srcShapes, count()).WillByDefault(Return(8));
        ON_CALL(*h.srcShapes, item(8)).WillByDefault(Return(fresh.shape));
        ON_CALL(*h.selectionRange, item(1)).WillByDefault(Return(fresh.shape));
        ON_CALL(*fresh.shape, WrapFormat()).WillByDefault(Return(freshWrap));
        ON_CALL(*fresh.shape, ZOrderPosition()).WillByDefault(Invoke([this] { return freshPosition; }));
        ON_CALL(*fresh.shape, ZOrder(3)).WillByDefault(Invoke([this](std::int32_t) {
            if (freshPosition > lowestPosition) --freshPosition;
        }));
    }

    std::int32_t convert(double width = 200, double height = 100) {
        return h.engine().ConvertFloatingShape(old.shape, names, width, height, kind);
    }

    int timesAsked(const std::string& path) {
        return static_cast<int>(std::count(h.fileSystem.asked.begin(), h.fileSystem.asked.end(), path));
    }
};

TEST_F(FloatingConversionTest, Word2007CallsInOrderWithTheSlowModeWaits) {
    h.mode2007();
    h.state.waitMs = 30;
    EXPECT_CALL(*old.shape, Rotation()).Times(AnyNumber()).WillRepeatedly(Return(0.0));
    InSequence order;
    // Measuring the old shape.
    EXPECT_CALL(*h.window, Activate());
    EXPECT_CALL(*old.shape, Select(true));
    EXPECT_CALL(*h.selection, Copy());
    EXPECT_CALL(*h.scratchRange, Paste());
    EXPECT_CALL(*h.scratchDoc, SaveAs(h.pathB));
    EXPECT_CALL(*h.scratchRange, Delete());
    // Page, format painter, stacking position.
    EXPECT_CALL(*h.window, Activate());
    EXPECT_CALL(*old.shape, Select(true));
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.selection, Information(1));
    EXPECT_CALL(*old.shape, PickUp());
    EXPECT_CALL(*old.shape, ZOrderPosition());
    // Copy for conversion.
    EXPECT_CALL(*old.shape, Select(true));
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.selection, Copy());
    // The pass: a wait after each paste, no fixed pause.
    EXPECT_CALL(*h.sheet, Paste(false));
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.sheetShape, setWidth(300.0));
    EXPECT_CALL(*h.sheetShape, setHeight(150.0));
    EXPECT_CALL(*h.sheetShape, Cut());
    EXPECT_CALL(*h.sheet, PasteSpecial(fmt::kJpeg, false, false));
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.sheetShape, setWidth(200.0));
    EXPECT_CALL(*h.sheetShape, setHeight(100.0));
    EXPECT_CALL(*h.sheetShape, Cut());
    EXPECT_CALL(*h.book, setSaved(true));
    // Measuring the converted picture, then making it a floating picture on
    // the clipboard.
    EXPECT_CALL(*h.scratchRange, Paste());
    EXPECT_CALL(*h.scratchDoc, SaveAs(h.pathA));
    EXPECT_CALL(*h.scratchInline, item(1));
    EXPECT_CALL(*h.scratchShapes, item(1));
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.selection, Cut());
    // The replacement.
    EXPECT_CALL(*h.window, Activate());
    EXPECT_CALL(*old.anchor, Select());
    EXPECT_CALL(h.timer, pauseForOffice(100));
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.selection, Paste());
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.srcShapes, item(8));
    EXPECT_CALL(*fresh.shape, WrapFormat());
    EXPECT_CALL(*fresh.shape, setRelativeHorizontalPosition(_));
    EXPECT_CALL(*fresh.shape, setRelativeVerticalSize(_));
    EXPECT_CALL(*fresh.shape, setTop(72.0));
    EXPECT_CALL(*fresh.shape, setLeft(36.0));
    EXPECT_CALL(*old.shape, Delete());
    EXPECT_CALL(*fresh.shape, ZOrder(3)).Times(5);  // 8 down to 3
    EXPECT_CALL(*fresh.shape, Apply());
    EXPECT_CALL(*fresh.shape, Name());
    EXPECT_EQ(convert(), 0);

    EXPECT_THAT(names, ElementsAre("Picture 40"));
    EXPECT_THAT(h.display.log,
                ElementsAre("ページ 2\tPicture (表示ｻｲｽﾞ=200x100) をJPEGにｼｪｰﾌﾟ変換 (100KB->40KB)  \r\n"));
    EXPECT_TRUE(h.state.docConverted);
    EXPECT_EQ(freshPosition, 3);
    EXPECT_EQ(h.shapesOnSheet, 0);
}

TEST_F(FloatingConversionTest, TheOnlyFixedPauseComesBeforeThePasteIntoTheDocument) {
    EXPECT_CALL(h.timer, pauseForOffice(100)).Times(1);
    EXPECT_CALL(h.timer, sleep(_)).Times(0);  // no slow mode
    EXPECT_EQ(convert(), 0);
}

TEST_F(FloatingConversionTest, LogUsesTheSizesFromTheWalkRoundedHalfToEven) {
    h.oldSizes({100.5 * 1024});
    h.newSizes({2.5 * 1024});
    EXPECT_EQ(convert(120.5, 121.5), 0);
    EXPECT_THAT(h.display.log,
                ElementsAre("ページ 2\tPicture (表示ｻｲｽﾞ=120x122) をJPEGにｼｪｰﾌﾟ変換 (100KB->2KB)  \r\n"));
}

TEST_F(FloatingConversionTest, ShapeBelowTheThresholdIsKeptUnderItsName) {
    h.oldSizes({50 * 1024 - 1});
    EXPECT_CALL(*old.shape, PickUp()).Times(0);
    EXPECT_CALL(*old.shape, Delete()).Times(0);
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(names, ElementsAre("Picture 5"));
    EXPECT_TRUE(h.sheetPastes.empty());
    EXPECT_TRUE(h.display.log.empty());
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(FloatingConversionTest, ConversionThatDoesNotShrinkEnoughLeavesTheDocumentAlone) {
    h.newSizes({75 * 1024});
    EXPECT_CALL(*old.anchor, Select()).Times(0);
    EXPECT_CALL(*h.selection, Paste()).Times(0);
    EXPECT_CALL(*old.shape, Delete()).Times(0);
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(names, ElementsAre("Picture 5"));
    EXPECT_TRUE(h.display.log.empty());
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(FloatingConversionTest, EarlierWordTakesTheNewShapeFromTheSelectionAndEmptiesTheScratchDocument) {
    h.modeXP();
    EXPECT_CALL(*h.scratchInline, item(_)).Times(0);
    EXPECT_CALL(*h.srcShapes, item(_)).Times(0);
    EXPECT_CALL(*h.scratchRange, Delete()).Times(2);  // after each measurement
    EXPECT_CALL(*old.shape, RelativeHorizontalPosition()).Times(0);
    EXPECT_CALL(*fresh.shape, setTop(72.0));
    EXPECT_CALL(*old.shape, Delete());
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(names, ElementsAre("Picture 40"));
}

TEST_F(FloatingConversionTest, Word2000NeitherReadsNorGivesARotation) {
    h.mode2000();
    EXPECT_CALL(*old.shape, Rotation()).Times(0);
    EXPECT_CALL(*old.shape, setRotation(_)).Times(0);
    EXPECT_CALL(*fresh.shape, setRotation(_)).Times(0);
    EXPECT_CALL(*fresh.shape, setRelativeHorizontalPosition(_)).Times(0);
    EXPECT_EQ(convert(), 0);
}

TEST_F(FloatingConversionTest, WrappingIsCopiedBeforeThePosition) {
    auto oldWrap = nice<om::MockWordWrapFormat>();
    ON_CALL(*old.shape, WrapFormat()).WillByDefault(Return(oldWrap));
    ON_CALL(*oldWrap, Type()).WillByDefault(Return(Variant(std::int32_t{0})));
    ON_CALL(*oldWrap, DistanceTop()).WillByDefault(Return(Variant(9.0)));
    InSequence order;
    EXPECT_CALL(*freshWrap, setDistanceTop(Variant(9.0)));
    EXPECT_CALL(*freshWrap, setType(Variant(std::int32_t{0})));
    EXPECT_CALL(*fresh.shape, setTop(72.0));
    EXPECT_CALL(*fresh.shape, setLeft(36.0));
    EXPECT_CALL(*old.shape, Delete());
    EXPECT_EQ(convert(), 0);
}

TEST_F(FloatingConversionTest, RelativeLayoutIsCopiedOnlyWithWord2007) {
    ON_CALL(*old.shape, RelativeHorizontalPosition()).WillByDefault(Return(Variant(std::int32_t{1})));
    ON_CALL(*old.shape, RelativeVerticalSize()).WillByDefault(Return(Variant(std::int32_t{2})));
    h.mode2007();
    EXPECT_CALL(*fresh.shape, setRelativeHorizontalPosition(Variant(std::int32_t{1})));
    EXPECT_CALL(*fresh.shape, setRelativeVerticalSize(Variant(std::int32_t{2})));
    EXPECT_EQ(convert(), 0);
}

// --- Rotation --------------------------------------------------------------

class FloatingRotationTest : public FloatingConversionTest {
protected:
    void rotate(double degrees) {
        h.modeXP();
        ON_CALL(*old.shape, Rotation()).WillByDefault(Return(degrees));
        EXPECT_CALL(*old.shape, setRotation(kNoRotation)).Times(AnyNumber());
    }
};

TEST_F(FloatingRotationTest, RotatedShapeIsCopiedUnrotatedAndItsReplacementGetsTheAngle) {
    rotate(30);
    InSequence order;
    EXPECT_CALL(*h.selection, Copy());  // for measuring, before the rotation is read
    EXPECT_CALL(*old.shape, Rotation());
    EXPECT_CALL(*old.shape, setRotation(kNoRotation));
    EXPECT_CALL(*old.shape, setRotation(kNoRotation));
    EXPECT_CALL(*h.selection, Copy());
    EXPECT_CALL(*old.shape, setRotation(Variant(30.0)));
    EXPECT_CALL(*h.sheet, Paste(false));
    EXPECT_CALL(*fresh.shape, WrapFormat());
    EXPECT_CALL(*fresh.shape, setRotation(Variant(30.0)));
    EXPECT_CALL(*fresh.shape, setTop(72.0));
    EXPECT_EQ(convert(), 0);
}

TEST_F(FloatingRotationTest, EveryCopyIsUnrotatedAlsoForTheFallback) {
    rotate(30);
    h.jpegTurnsBlack = true;
    {
        InSequence order;
        EXPECT_CALL(*h.selection, Copy());
        EXPECT_CALL(*old.shape, setRotation(kNoRotation)).Times(2);
        EXPECT_CALL(*h.selection, Copy());
        EXPECT_CALL(*old.shape, setRotation(Variant(30.0)));
        EXPECT_CALL(*h.sheet, PasteSpecial(fmt::kJpeg, _, _));
        EXPECT_CALL(*old.shape, setRotation(kNoRotation));
        EXPECT_CALL(*h.selection, Copy());
        EXPECT_CALL(*old.shape, setRotation(Variant(30.0)));
        EXPECT_CALL(*h.sheet, PasteSpecial(fmt::kMetafile, _, _));
    }
    EXPECT_EQ(convert(), 0);
    EXPECT_EQ(timesAsked(h.pathB), 1);  // the old shape is not measured again
    EXPECT_NE(h.display.log.at(0).find(") をﾒﾀﾋﾟｸﾁｬにｼｪｰﾌﾟ変換 (100KB->40KB)"), std::string::npos);
}

TEST_F(FloatingRotationTest, HalfADegreeIsNoRotation) {
    rotate(0.5);
    EXPECT_CALL(*old.shape, setRotation(_)).Times(0);
    EXPECT_CALL(*fresh.shape, setRotation(_)).Times(0);
    EXPECT_EQ(convert(), 0);
}

TEST_F(FloatingRotationTest, MinusHalfADegreeIsNoRotation) {
    rotate(-0.5);
    EXPECT_CALL(*old.shape, setRotation(_)).Times(0);
    EXPECT_EQ(convert(), 0);
}

TEST_F(FloatingRotationTest, OneAndAHalfDegreesIsARotation) {
    rotate(1.5);
    EXPECT_CALL(*old.shape, setRotation(kNoRotation)).Times(2);
    EXPECT_CALL(*old.shape, setRotation(Variant(1.5))).Times(1);
    EXPECT_CALL(*fresh.shape, setRotation(Variant(1.5))).Times(1);
    EXPECT_EQ(convert(), 0);
}

TEST_F(FloatingRotationTest, FailedFirstCopyTravelsOutWithTheRotationPutBack) {
    rotate(30);
    EXPECT_CALL(*h.selection, Copy())
        .WillOnce(Invoke([this] { h.copyOldObject(); }))
        .WillOnce(Throw(office::OfficeError("clipboard busy")));
    EXPECT_CALL(*old.shape, setRotation(Variant(30.0))).Times(1);
    EXPECT_THROW(convert(), office::OfficeError);
    EXPECT_TRUE(names.empty());
}

TEST_F(FloatingRotationTest, FailureAfterTheCopyGivesUpWithTheRotationBack) {
    rotate(30);
    EXPECT_CALL(*h.sheetShape, setHeight(_)).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*old.shape, setRotation(Variant(30.0))).Times(1);
    EXPECT_EQ(convert(), -1);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(h.shapesOnSheet, 0);
    EXPECT_TRUE(h.display.log.empty());
}

// --- Stacking order ------------------------------------------------------------

TEST_F(FloatingConversionTest, ReplacementSinksToTheOldStackingPosition) {
    EXPECT_CALL(*fresh.shape, ZOrder(3)).Times(5);
    EXPECT_EQ(convert(), 0);
    EXPECT_EQ(freshPosition, 3);
}

TEST_F(FloatingConversionTest, ReplacementStopsSinkingWhenItCannotGoFurther) {
    lowestPosition = 5;
    EXPECT_CALL(*fresh.shape, ZOrder(3)).Times(4);  // 8, 7, 6, 5, then a step that does not move it
    EXPECT_EQ(convert(), 0);
    EXPECT_EQ(freshPosition, 5);
}

TEST_F(FloatingConversionTest, ReplacementAlreadyLowEnoughIsNotMoved) {
    freshPosition = 3;
    EXPECT_CALL(*fresh.shape, ZOrder(_)).Times(0);
    EXPECT_EQ(convert(), 0);
}

// --- Passes ------------------------------------------------------------------

TEST_F(FloatingConversionTest, ObjectIsConvertedInItsApplicationsFormatAndRecompressed) {
    h.rules.formats["Excel"] = kFormatPng;
    h.conditions.values().recompress = true;
    kind = "Excel";
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre(fmt::kPng, "Paste", "Paste", fmt::kJpeg));
    EXPECT_EQ(kind, "Picture");
    EXPECT_NE(h.display.log.at(0).find("\tPicture (表示ｻｲｽﾞ=200x100) をJPEGにｼｪｰﾌﾟ"), std::string::npos);
}

TEST_F(FloatingConversionTest, ObjectWhoseOwnFormatIsJpegRetriesOnceThenIsKept) {
    h.rules.formats["Excel"] = kFormatJpeg;
    h.jpegTurnsBlack = true;
    kind = "Excel";
    EXPECT_CALL(*old.anchor, Select()).Times(0);
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre(fmt::kJpeg, "Paste", fmt::kJpeg, "Paste"));
    EXPECT_THAT(names, ElementsAre("Picture 5"));
    EXPECT_TRUE(h.display.log.empty());
}

TEST_F(FloatingConversionTest, UnknownApplicationFormatGivesUp) {
    h.rules.formats["Excel"] = "TIFF";
    kind = "Excel";
    EXPECT_EQ(convert(), -1);
    EXPECT_TRUE(h.sheetPastes.empty());
    EXPECT_TRUE(names.empty());
}

TEST_F(FloatingConversionTest, ZeroOldSizeGivesUp) {
    h.conditions.values().fileSize = "0";
    h.oldSizes({0});
    EXPECT_EQ(convert(), -1);
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(h.state.docConverted);
}

// --- Failures ------------------------------------------------------------------

TEST_F(FloatingConversionTest, FailuresBeforeTheCopyForConversionTravelOut) {
    EXPECT_CALL(*h.selection, Information(1)).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_THROW(convert(), office::OfficeError);
    EXPECT_TRUE(h.sheetPastes.empty());
    EXPECT_TRUE(names.empty());
}

TEST_F(FloatingConversionTest, ConditionThatIsNotANumberTravelsOut) {
    h.conditions.values().fileSize = "fifty";
    EXPECT_THROW(convert(), platform::Failure);
}

TEST_F(FloatingConversionTest, FailedPickUpIsIgnored) {
    EXPECT_CALL(*old.shape, PickUp()).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*fresh.shape, Apply());
    EXPECT_EQ(convert(), 0);
    EXPECT_TRUE(h.state.docConverted);
}

TEST_F(FloatingConversionTest, FailureBeforeTheOldShapeIsGoneTakesTheNewPictureOutAgain) {
    EXPECT_CALL(*fresh.shape, setTop(_)).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*fresh.shape, Delete()).Times(1);
    EXPECT_CALL(*old.shape, Delete()).Times(0);
    EXPECT_EQ(convert(), -1);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(h.display.log.empty());
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(FloatingConversionTest, FailedDeletionOfTheOldShapeKeepsTheNewPicture) {
    EXPECT_CALL(*old.shape, Delete()).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*fresh.shape, Delete()).Times(0);
    EXPECT_EQ(convert(), -1);
    EXPECT_TRUE(names.empty());
}

TEST_F(FloatingConversionTest, FinishingTouchesThatFailDoNotUndoTheReplacement) {
    EXPECT_CALL(*fresh.shape, ZOrder(3)).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*fresh.shape, Apply()).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(names, ElementsAre("Picture 40"));
    EXPECT_EQ(h.display.log.size(), 1u);
    EXPECT_TRUE(h.state.docConverted);
}

TEST_F(FloatingConversionTest, FailedMeasurementOfTheNewPictureEmptiesTheScratchDocument) {
    EXPECT_CALL(*h.scratchDoc, SaveAs(h.pathB));
    EXPECT_CALL(*h.scratchDoc, SaveAs(h.pathA)).WillOnce(Throw(office::OfficeError("disk full")));
    EXPECT_CALL(*h.scratchRange, Delete()).Times(2);  // after the old shape, and after the failure
    EXPECT_EQ(convert(), -1);
}

}  // namespace
}  // namespace kelvaran::engine::testing
