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

const std::string kJpegText = fmt::kJpeg;
const std::string kPngText = fmt::kPng;
const std::string kMetaText = fmt::kMetafile;

class InlineConversionTest : public ::testing::Test {
protected:
    EngineHarness h;
    InlineDouble old = h.makeInline(3, 200, 100, 4);
    InlineDouble fresh = h.makeInline(3, 200, 100, 4);

    void SetUp() override {
        // Word 2007: the pasted picture is the inline shape at the same index.
        ON_CALL(*h.srcInline, item(1)).WillByDefault(Return(fresh.shape));
    }

    std::int32_t convert(std::string kind = "Picture", bool inTextFrame = false, std::int32_t index = 1) {
        lastKind = kind;
        return h.engine().ConvertInlineShape(old.shape, index, inTextFrame, lastKind);
    }

    int timesAsked(const std::string& path) {
        return static_cast<int>(std::count(h.fileSystem.asked.begin(), h.fileSystem.asked.end(), path));
    }

    std::string lastKind;
};

TEST_F(InlineConversionTest, ReplacesAPictureAndLogsTheLine) {
    EXPECT_EQ(convert(), 0);
    EXPECT_TRUE(h.state.docConverted);
    EXPECT_THAT(h.display.log,
                ElementsAre("ページ 4\tPicture (表示ｻｲｽﾞ=200x100) をJPEGにｲﾝﾗｲﾝ変換 (100KB->40KB)  \r\n"));
    EXPECT_THAT(h.sheetPastes, ElementsAre("Paste", kJpegText));
    EXPECT_EQ(h.shapesOnSheet, 0);
}

TEST_F(InlineConversionTest, SizeExactlyAtTheThresholdGoesOn) {
    h.oldSizes({50 * 1024});
    h.newSizes({10 * 1024});
    EXPECT_EQ(convert(), 0);
    EXPECT_EQ(h.display.log.size(), 1u);
}

TEST_F(InlineConversionTest, OneByteBelowTheThresholdIsLeftAlone) {
    h.oldSizes({50 * 1024 - 1});
    EXPECT_CALL(*h.scratchRange, Delete()).Times(1);  // the measurement still cleans up
    EXPECT_CALL(*h.selection, Paste()).Times(0);
    EXPECT_EQ(convert(), 1);
    EXPECT_TRUE(h.sheetPastes.empty());
    EXPECT_TRUE(h.display.log.empty());
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(InlineConversionTest, RateEqualToTheExpectedRateIsNotUsed) {
    h.oldSizes({100 * 1024});
    h.newSizes({75 * 1024});
    EXPECT_CALL(*h.selection, Paste()).Times(0);
    EXPECT_EQ(convert(), 1);
    EXPECT_TRUE(h.display.log.empty());
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(InlineConversionTest, RateJustBelowTheExpectedRateIsUsed) {
    h.oldSizes({100 * 1024});
    h.newSizes({75 * 1024 - 1});
    EXPECT_EQ(convert(), 0);
}

TEST_F(InlineConversionTest, AnObjectLargerThanAnyPageIsDrawnForTheLargestPage) {
    // 3,168 x 1,000 points: twice as wide as the largest page Word allows,
    // so drawn at half its size times the ratio, then shown at its own size.
    InlineDouble wide = h.makeInline(3, 3168, 1000, 1);
    InSequence order;
    EXPECT_CALL(*h.sheetShape, setWidth(1.5 * 1584));
    EXPECT_CALL(*h.sheetShape, setHeight(1.5 * 500));
    EXPECT_CALL(*h.sheetShape, setWidth(3168.0));
    EXPECT_CALL(*h.sheetShape, setHeight(1000.0));
    std::string kind = "Picture";
    EXPECT_EQ(h.engine().ConvertInlineShape(wide.shape, 1, false, kind), 0);
    EXPECT_THAT(h.display.log,
                ElementsAre("ページ 1\tPicture (表示ｻｲｽﾞ=3168x1000) をJPEGにｲﾝﾗｲﾝ変換 (100KB->40KB)  \r\n"));
}

TEST_F(InlineConversionTest, MeasuresThroughTheScratchDocumentAndConvertsOnTheSheet) {
    h.state.waitMs = 30;
    InSequence order;
    EXPECT_CALL(*old.range, Copy());
    EXPECT_CALL(*h.scratchRange, Paste());
    EXPECT_CALL(*h.scratchDoc, SaveAs(h.pathB));
    EXPECT_CALL(*h.scratchRange, Delete());
    EXPECT_CALL(*h.sheet, Paste(false));
    EXPECT_CALL(*h.sheetShape, setWidth(300.0));
    EXPECT_CALL(*h.sheetShape, setHeight(150.0));
    EXPECT_CALL(*h.sheetShape, Cut());
    EXPECT_CALL(h.timer, pauseForOffice(100));
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.sheet, PasteSpecial(kJpegText, false, false));
    EXPECT_CALL(h.timer, pauseForOffice(100));
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.sheetShape, setWidth(200.0));
    EXPECT_CALL(*h.sheetShape, setHeight(100.0));
    EXPECT_CALL(*h.sheetShape, Cut());
    EXPECT_CALL(*h.book, setSaved(true));
    EXPECT_CALL(*h.scratchRange, Paste());
    EXPECT_CALL(*h.scratchDoc, SaveAs(h.pathA));
    EXPECT_CALL(*h.scratchRange, Delete());
    // The replacement, Word 2007 in the body text.
    EXPECT_CALL(*h.window, Activate());
    EXPECT_CALL(*old.range, Select());
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.selection, Collapse());
    EXPECT_CALL(*h.selection, Paste());
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.srcInline, item(1));
    EXPECT_CALL(*fresh.shape, setLockAspectRatio(Variant(true)));
    EXPECT_CALL(*h.window, Activate());
    EXPECT_CALL(*fresh.shape, Select());
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.selection, Cut());
    EXPECT_CALL(*old.shape, Select());
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_CALL(*h.selection, Paste());
    EXPECT_CALL(h.timer, sleep(30));
    EXPECT_EQ(convert(), 0);
    EXPECT_EQ(h.display.log.size(), 1u);
}

TEST_F(InlineConversionTest, MainFormatChoosesThePasteFormat) {
    h.conditions.values().format = 2;
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre("Paste", kPngText));
    EXPECT_NE(h.display.log.at(0).find(") をPNGにｲﾝﾗｲﾝ"), std::string::npos);
}

TEST_F(InlineConversionTest, BlackenedJpegFallsBackToTheMetafileAndMeasuresTheOldShapeAgain) {
    h.jpegTurnsBlack = true;
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre("Paste", kJpegText, "Paste", kMetaText));
    EXPECT_EQ(timesAsked(h.pathB), 2);
    EXPECT_EQ(timesAsked(h.pathA), 1);
    EXPECT_NE(h.display.log.at(0).find(") をﾒﾀﾋﾟｸﾁｬにｲﾝﾗｲﾝ変換 ("), std::string::npos);
}

TEST_F(InlineConversionTest, FallbackMeetsTheThresholdAgain) {
    h.jpegTurnsBlack = true;
    h.oldSizes({100 * 1024, 10 * 1024});
    EXPECT_EQ(convert(), 1);
    EXPECT_TRUE(h.display.log.empty());
}

TEST_F(InlineConversionTest, WithoutTheRecommendedFormatThereIsNoFallback) {
    h.jpegTurnsBlack = true;
    h.conditions.values().format = 1;
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre("Paste", kJpegText));
    EXPECT_EQ(timesAsked(h.pathB), 1);
}

TEST_F(InlineConversionTest, ObjectIsPastedInItsApplicationsFormat) {
    h.rules.formats["Excel"] = kFormatPng;
    EXPECT_EQ(convert("Excel"), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre(kPngText, "Paste"));
    EXPECT_EQ(lastKind, "Excel");
    EXPECT_NE(h.display.log.at(0).find("\tExcel (表示ｻｲｽﾞ=200x100) をPNGに"), std::string::npos);
}

TEST_F(InlineConversionTest, RecompressionConvertsTheObjectsPictureAgainAndLogsPicture) {
    h.rules.formats["Excel"] = kFormatPng;
    h.conditions.values().recompress = true;
    EXPECT_EQ(convert("Excel"), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre(kPngText, "Paste", "Paste", kJpegText));
    EXPECT_EQ(lastKind, "Picture");
    EXPECT_EQ(timesAsked(h.pathB), 1);
    EXPECT_NE(h.display.log.at(0).find("\tPicture (表示ｻｲｽﾞ=200x100) をJPEGに"), std::string::npos);
}

TEST_F(InlineConversionTest, RecompressionNeedsTheRecommendedFormat) {
    h.rules.formats["Excel"] = kFormatPng;
    h.conditions.values().recompress = true;
    h.conditions.values().format = 3;
    EXPECT_EQ(convert("Excel"), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre(kPngText, "Paste"));
    EXPECT_EQ(lastKind, "Excel");
}

TEST_F(InlineConversionTest, FallbackAfterRecompressionStartsAgainFromTheOldShapeAsAPicture) {
    h.rules.formats["Excel"] = kFormatPng;
    h.conditions.values().recompress = true;
    h.jpegTurnsBlack = true;
    EXPECT_EQ(convert("Excel"), 0);
    EXPECT_THAT(h.sheetPastes, ElementsAre(kPngText, "Paste", "Paste", kJpegText, "Paste", kMetaText));
    EXPECT_EQ(timesAsked(h.pathB), 2);
    EXPECT_NE(h.display.log.at(0).find("\tPicture (表示ｻｲｽﾞ=200x100) をﾒﾀﾋﾟｸﾁｬに"), std::string::npos);
}

TEST_F(InlineConversionTest, ObjectWhoseOwnFormatIsJpegRetriesOnceThenStays) {
    h.rules.formats["Excel"] = kFormatJpeg;
    h.jpegTurnsBlack = true;
    EXPECT_CALL(*h.selection, Paste()).Times(0);
    EXPECT_EQ(convert("Excel"), 1);
    EXPECT_THAT(h.sheetPastes, ElementsAre(kJpegText, "Paste", kJpegText, "Paste"));
    EXPECT_TRUE(h.display.log.empty());
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(InlineConversionTest, UnknownApplicationFormatFailsWithoutPasting) {
    h.rules.formats["Excel"] = "BMP";
    EXPECT_THROW(convert("Excel"), platform::Failure);
    EXPECT_TRUE(h.sheetPastes.empty());
    EXPECT_EQ(h.shapesOnSheet, 0);
}

TEST_F(InlineConversionTest, FailureInThePassLeavesTheSheetEmpty) {
    EXPECT_CALL(*h.sheetShape, setHeight(_)).WillOnce(Throw(office::OfficeError("busy")));
    EXPECT_CALL(*h.sheetShape, Delete()).Times(1);
    EXPECT_THROW(convert(), office::OfficeError);
    EXPECT_EQ(h.shapesOnSheet, 0);
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(InlineConversionTest, ConditionTextThatIsNotANumberTravelsOut) {
    h.conditions.values().fileSize = "abc";
    EXPECT_THROW(convert(), platform::Failure);
    h.conditions.values().fileSize = "50";
    h.conditions.values().ratio = "x";
    EXPECT_THROW(convert(), platform::Failure);
    EXPECT_EQ(h.shapesOnSheet, 0);
}

TEST_F(InlineConversionTest, ZeroOldSizeFailsInsteadOfDividing) {
    h.conditions.values().fileSize = "0";
    h.oldSizes({0});
    EXPECT_THROW(convert(), platform::Failure);
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(InlineConversionTest, FailedMeasurementEmptiesTheScratchDocumentBeforeItTravelsOut) {
    EXPECT_CALL(*h.scratchDoc, SaveAs(h.pathB)).WillOnce(Throw(office::OfficeError("disk full")));
    EXPECT_CALL(*h.scratchRange, Delete()).Times(1);
    EXPECT_THROW(convert(), office::OfficeError);
    EXPECT_TRUE(h.sheetPastes.empty());
}

TEST_F(InlineConversionTest, EachPassPausesTwiceAndTheReplacementNever) {
    EXPECT_CALL(h.timer, pauseForOffice(100)).Times(2);
    EXPECT_EQ(convert(), 0);
}

TEST_F(InlineConversionTest, FallbackPassPausesTwiceMore) {
    h.jpegTurnsBlack = true;
    EXPECT_CALL(h.timer, pauseForOffice(100)).Times(4);
    EXPECT_EQ(convert(), 0);
}

TEST_F(InlineConversionTest, ConditionsAreReadAtTheMomentOfUse) {
    // The ratio changes while the object is being copied: the pass uses the
    // new one.
    EXPECT_CALL(*old.range, Copy()).WillOnce(Invoke([this] {
        h.copyOldObject();
        h.conditions.values().ratio = "2";
    }));
    EXPECT_CALL(*h.sheetShape, setWidth(400.0));
    EXPECT_CALL(*h.sheetShape, setWidth(200.0));
    EXPECT_EQ(convert(), 0);
}

TEST_F(InlineConversionTest, PageNumberAndDisplaySizeAreReadOnce) {
    h.jpegTurnsBlack = true;  // two attempts
    EXPECT_CALL(*old.range, Information(1)).Times(1);
    EXPECT_CALL(*old.shape, Width()).Times(1);
    EXPECT_CALL(*old.shape, Height()).Times(1);
    EXPECT_EQ(convert(), 0);
}

TEST_F(InlineConversionTest, MeasuringFailureTravelsOut) {
    h.fileSystem.sizes.erase(h.pathB);
    EXPECT_THROW(convert(), platform::FileSystemError);
}

TEST_F(InlineConversionTest, LogRoundsHalvesToEven) {
    ON_CALL(*old.shape, Width()).WillByDefault(Return(120.5));
    ON_CALL(*old.shape, Height()).WillByDefault(Return(121.5));
    h.oldSizes({101.5 * 1024});
    h.newSizes({40.5 * 1024});
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(h.display.log,
                ElementsAre("ページ 4\tPicture (表示ｻｲｽﾞ=120x122) をJPEGにｲﾝﾗｲﾝ変換 (102KB->40KB)  \r\n"));
}

TEST_F(InlineConversionTest, Word2007PastesOverTheOldShapeAndDeletesNothing) {
    h.mode2007();
    InSequence order;
    EXPECT_CALL(*h.window, Activate());
    EXPECT_CALL(*old.range, Select());
    EXPECT_CALL(*h.selection, Collapse());
    EXPECT_CALL(*h.selection, Paste());
    EXPECT_CALL(*fresh.shape, setLockAspectRatio(Variant(true)));
    EXPECT_CALL(*h.window, Activate());
    EXPECT_CALL(*fresh.shape, Select());
    EXPECT_CALL(*h.selection, Cut());
    EXPECT_CALL(*old.shape, Select());
    EXPECT_CALL(*h.selection, Paste());
    EXPECT_CALL(*fresh.shape, Delete()).Times(0);
    EXPECT_CALL(*old.shape, Delete()).Times(0);
    EXPECT_EQ(convert(), 0);
}

TEST_F(InlineConversionTest, WordXPConvertsTheFloatingPasteAndDeletesTheLeftoverAtTheIndex) {
    h.modeXP();
    auto pasted = h.makeShape("Picture 9", 13, 200, 100);
    auto leftover = h.makeInline(3, 200, 100);
    ON_CALL(*h.selectionRange, item(1)).WillByDefault(Return(pasted.shape));
    EXPECT_CALL(*pasted.shape, ConvertToInlineShape()).WillOnce(Return(fresh.shape));
    ON_CALL(*h.srcInline, item(3)).WillByDefault(Return(leftover.shape));
    EXPECT_CALL(*h.selection, Cut()).Times(1);
    EXPECT_CALL(*h.selection, Copy()).Times(0);
    EXPECT_CALL(*leftover.shape, Delete()).Times(1);
    EXPECT_CALL(*fresh.shape, Delete()).Times(0);
    EXPECT_EQ(convert("Picture", false, 3), 0);
    EXPECT_EQ(h.display.log.size(), 1u);
}

TEST_F(InlineConversionTest, Word2000CopiesAndDeletesTheNewShape) {
    h.mode2000();
    auto pasted = h.makeShape("Picture 9", 13, 200, 100);
    ON_CALL(*h.selectionRange, item(1)).WillByDefault(Return(pasted.shape));
    ON_CALL(*pasted.shape, ConvertToInlineShape()).WillByDefault(Return(fresh.shape));
    EXPECT_CALL(*h.srcInline, item(_)).Times(0);
    EXPECT_CALL(*old.shape, Delete()).Times(0);
    {
        InSequence order;
        EXPECT_CALL(*h.selection, Collapse());
        EXPECT_CALL(*h.selection, Paste());
        EXPECT_CALL(*pasted.shape, ConvertToInlineShape());
        EXPECT_CALL(*fresh.shape, Select());
        EXPECT_CALL(*h.selection, Copy());
        EXPECT_CALL(*old.shape, Select());
        EXPECT_CALL(*h.selection, Paste());
        EXPECT_CALL(*fresh.shape, Delete());
    }
    EXPECT_CALL(*h.selection, Cut()).Times(0);
    EXPECT_EQ(convert(), 0);
}

TEST_F(InlineConversionTest, LayoutFrameIsNamedInTheLog) {
    ON_CALL(*old.frames, count()).WillByDefault(Return(1));
    EXPECT_EQ(convert(), 0);
    EXPECT_NE(h.display.log.at(0).find("JPEGにﾚｲｱｳﾄ枠内変換 (100KB->40KB)"), std::string::npos);
}

TEST_F(InlineConversionTest, UnreadableFrameCountCountsAsALayoutFrame) {
    ON_CALL(*old.range, Frames()).WillByDefault(Throw(office::OfficeError("no frames")));
    EXPECT_EQ(convert(), 0);
    EXPECT_NE(h.display.log.at(0).find("にﾚｲｱｳﾄ枠内変換 ("), std::string::npos);
}

TEST_F(InlineConversionTest, FailingReplacementStepsAreSkipped) {
    EXPECT_CALL(*h.selection, Collapse()).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*fresh.shape, Select()).WillOnce(Throw(office::OfficeError("x")));
    ON_CALL(*fresh.shape, Borders()).WillByDefault(Throw(office::OfficeError("x")));
    EXPECT_CALL(*old.shape, Select()).Times(1);
    EXPECT_EQ(convert(), 0);
    EXPECT_TRUE(h.state.docConverted);
    EXPECT_EQ(h.display.log.size(), 1u);
}

TEST_F(InlineConversionTest, NewShapeMissingStillEndsAsReplaced) {
    ON_CALL(*h.srcInline, item(1)).WillByDefault(Throw(office::OfficeError("gone")));
    EXPECT_EQ(convert(), 0);
    EXPECT_TRUE(h.state.docConverted);
}

class TextFrameConversionTest : public InlineConversionTest {
protected:
    ShapeDouble box = h.makeShape("Text Box 2", 17, 150, 80);

    void SetUp() override {
        ON_CALL(*h.selectionRange, item(1)).WillByDefault(Return(box.shape));
        ON_CALL(*box.textInlineShapes, item(2)).WillByDefault(Return(fresh.shape));
    }
};

TEST_F(TextFrameConversionTest, NewPictureGetsTheDisplaySizeHeightFirstAndTheOldOneIsDeleted) {
    EXPECT_CALL(*h.srcInline, item(_)).Times(0);
    {
        InSequence order;
        EXPECT_CALL(*fresh.shape, setLockAspectRatio(Variant(true)));
        EXPECT_CALL(*fresh.shape, setHeight(100.0));
        EXPECT_CALL(*fresh.shape, setWidth(200.0));
        EXPECT_CALL(*old.range, Delete());
    }
    EXPECT_EQ(convert("Picture", true, 2), 0);
    EXPECT_THAT(h.display.log,
                ElementsAre("ページ 4\tPicture (表示ｻｲｽﾞ=200x100) をJPEGにﾃｷｽﾄ枠内変換 (100KB->40KB)  \r\n"));
}

TEST_F(TextFrameConversionTest, UnreadableTypeStillRestoresTheSize) {
    ON_CALL(*fresh.shape, Type()).WillByDefault(Throw(office::OfficeError("x")));
    EXPECT_CALL(*fresh.shape, setHeight(100.0));
    EXPECT_CALL(*fresh.shape, setWidth(200.0));
    EXPECT_EQ(convert("Picture", true, 2), 0);
}

TEST_F(TextFrameConversionTest, NonPictureKeepsItsSize) {
    ON_CALL(*fresh.shape, Type()).WillByDefault(Return(1));
    EXPECT_CALL(*fresh.shape, setHeight(_)).Times(0);
    EXPECT_CALL(*fresh.shape, setWidth(_)).Times(0);
    EXPECT_CALL(*old.range, Delete());
    EXPECT_EQ(convert("Picture", true, 2), 0);
}

TEST_F(InlineConversionTest, BodyPictureKeepsThePastedSize) {
    EXPECT_CALL(*fresh.shape, setWidth(_)).Times(0);
    EXPECT_CALL(*fresh.shape, setHeight(_)).Times(0);
    EXPECT_EQ(convert(), 0);
}

}  // namespace
}  // namespace kelvaran::engine::testing
