// What the engine tells an observer about each object it looks at, and that
// telling changes nothing about the conversion.

#include "platform/Deadline.h"
#include "tests/engine/EngineHarness.h"

#include <cerrno>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace kelvaran::engine::testing {
namespace {

using ::testing::_;
using ::testing::AnyNumber;
using ::testing::Eq;
using ::testing::Return;

struct RecordingObserver : ObjectObserver {
    std::vector<ObjectDecision> decisions;
    std::vector<std::int32_t> announced;  // objectsAhead counts
    void objectsAhead(std::int32_t count) override { announced.push_back(count); }
    std::vector<std::size_t> logLinesBefore;  // of `display`, when each decision came
    const RecordingDisplay* display = nullptr;
    bool fail = false;
    void objectDecided(const ObjectDecision& decision) override {
        decisions.push_back(decision);
        if (display) logLinesBefore.push_back(display->log.size());
        if (fail) throw std::runtime_error("report full");
    }
};

class ObjectObserverTest : public ::testing::Test {
protected:
    EngineHarness h;
    RecordingObserver observer;
};

class InlineObserverTest : public ObjectObserverTest {
protected:
    InlineDouble old = h.makeInline(3, 200, 100, 4);
    InlineDouble fresh = h.makeInline(3, 200, 100, 4);
    void SetUp() override {
        ON_CALL(*h.srcInline, item(1)).WillByDefault(Return(fresh.shape));
        h.engine().setObserver(&observer);
    }
    std::int32_t convert(std::string kind = "Picture", bool inTextFrame = false) {
        return h.engine().ConvertInlineShape(old.shape, 1, inTextFrame, kind);
    }
};

TEST_F(InlineObserverTest, ReplacementIsToldWithItsSizesBeforeItsLogLine) {
    h.oldSizes({100 * 1024});
    h.newSizes({40 * 1024});
    observer.display = &h.display;
    EXPECT_EQ(convert(), 0);
    EXPECT_THAT(observer.logLinesBefore, ::testing::ElementsAre(0u));
    EXPECT_EQ(h.display.log.size(), 1u);
    ASSERT_EQ(observer.decisions.size(), 1u);
    const auto& d = observer.decisions[0];
    EXPECT_EQ(d.decision, "replaced");
    EXPECT_EQ(d.kind, "Picture");
    EXPECT_EQ(d.placement, "inline");
    EXPECT_EQ(d.page, 4);
    EXPECT_EQ(d.displayWidth, 200);
    EXPECT_EQ(d.displayHeight, 100);
    EXPECT_EQ(d.bytesBefore, 100 * 1024);
    EXPECT_EQ(d.bytesAfter, 40 * 1024);
    EXPECT_EQ(d.format, "JPEG");
    EXPECT_THAT(d.passes, ::testing::ElementsAre("JPEG"));
}

TEST_F(InlineObserverTest, EachWayOfStayingIsToldOnce) {
    h.oldSizes({50 * 1024 - 1});
    EXPECT_EQ(convert(), 1);
    h.oldSizes({100 * 1024});
    h.newSizes({75 * 1024});
    EXPECT_EQ(convert("Picture", true), 1);
    h.rules.formats["Excel"] = kFormatJpeg;
    h.jpegTurnsBlack = true;
    h.oldSizes({100 * 1024});
    EXPECT_EQ(convert("Excel"), 1);

    ASSERT_EQ(observer.decisions.size(), 3u);
    EXPECT_EQ(observer.decisions[0].decision, "below_minimum");
    EXPECT_EQ(observer.decisions[0].bytesBefore, 50 * 1024 - 1);
    EXPECT_EQ(observer.decisions[0].bytesAfter, 0);
    EXPECT_TRUE(observer.decisions[0].passes.empty());
    EXPECT_EQ(observer.decisions[1].decision, "not_smaller");
    EXPECT_EQ(observer.decisions[1].placement, "text_frame");
    EXPECT_EQ(observer.decisions[1].bytesAfter, 75 * 1024);
    EXPECT_EQ(observer.decisions[2].decision, "blackened");
    EXPECT_EQ(observer.decisions[2].kind, "Excel");
    // The object's own JPEG, then the same again after the metafile fallback.
    EXPECT_THAT(observer.decisions[2].passes, ::testing::ElementsAre("JPEG", "JPEG"));
    EXPECT_FALSE(h.state.docConverted);
}

TEST_F(InlineObserverTest, OriginalAndEveryPassAreDescribedAsTheOfficeSaysThem) {
    ON_CALL(*old.range, Copy()).WillByDefault([this] {
        h.copyOldObject();
        h.clipboard.setSummary({.pictureType = "EMF", .bytes = 123456});
    });
    int cuts = 0;
    h.describeCut = [&cuts](const std::string& format) {
        ++cuts;
        return platform::ContentSummary{
            .pictureType = format, .bytes = static_cast<std::uint64_t>(1000 * cuts), .pixelWidth = 300, .pixelHeight = 200};
    };
    h.rules.formats["Excel"] = kFormatJpeg;
    h.jpegTurnsBlack = true;
    h.oldSizes({100 * 1024});
    EXPECT_EQ(convert("Excel"), 1);
    ASSERT_EQ(observer.decisions.size(), 1u);
    const auto& d = observer.decisions[0];
    EXPECT_EQ(d.originalType, "EMF");
    EXPECT_EQ(d.originalBytes, 123456);
    EXPECT_EQ(d.pixelWidth, 0);
    // Each pass cuts twice from the sheet; what counts is its last cut.
    EXPECT_THAT(d.passBytes, ::testing::ElementsAre(2000, 4000));

    // The next object starts afresh: an original the office does not
    // describe leaves the fields empty.
    h.describeCut = nullptr;
    h.clipboard.Clear();
    ON_CALL(*old.range, Copy()).WillByDefault([this] { h.copyOldObject(); });
    h.jpegTurnsBlack = false;
    h.oldSizes({100 * 1024});
    h.newSizes({40 * 1024});
    EXPECT_EQ(convert(), 0);
    ASSERT_EQ(observer.decisions.size(), 2u);
    EXPECT_TRUE(observer.decisions[1].originalType.empty());
    EXPECT_EQ(observer.decisions[1].originalBytes, 0);
    EXPECT_THAT(observer.decisions[1].passBytes, ::testing::ElementsAre(0));
}

TEST_F(InlineObserverTest, FailingObserverChangesNothing) {
    observer.fail = true;
    h.oldSizes({100 * 1024});
    h.newSizes({40 * 1024});
    EXPECT_EQ(convert(), 0);
    EXPECT_TRUE(h.state.docConverted);
    EXPECT_EQ(h.display.log.size(), 1u);
}

class FloatingObserverTest : public ObjectObserverTest {
protected:
    ShapeDouble old = h.makeShape("Picture 5", 13, 999, 999);
    ShapeDouble fresh = h.makeShape("Picture 40", 13, 200, 100);
    Nice<om::MockWordWrapFormat> freshWrap = nice<om::MockWordWrapFormat>();
    std::vector<std::string> names;
    void SetUp() override {
        ON_CALL(*h.selection, Information(1)).WillByDefault(Return(office::Variant(std::int32_t{2})));
        ON_CALL(*h.srcShapes, count()).WillByDefault(Return(8));
        ON_CALL(*h.srcShapes, item(8)).WillByDefault(Return(fresh.shape));
        ON_CALL(*h.selectionRange, item(1)).WillByDefault(Return(fresh.shape));
        ON_CALL(*fresh.shape, WrapFormat()).WillByDefault(Return(freshWrap));
        h.engine().setObserver(&observer);
    }
    std::int32_t convert() {
        std::string kind = "Picture";
        return h.engine().ConvertFloatingShape(old.shape, names, 200, 100, kind);
    }
};

TEST_F(FloatingObserverTest, ReplacedAndKeptShapes) {
    h.oldSizes({100 * 1024, 100 * 1024, 10});
    h.newSizes({40 * 1024, 90 * 1024});
    EXPECT_EQ(convert(), 0);
    EXPECT_EQ(convert(), 0);
    EXPECT_EQ(convert(), 0);
    ASSERT_EQ(observer.decisions.size(), 3u);
    EXPECT_EQ(observer.decisions[0].decision, "replaced");
    EXPECT_EQ(observer.decisions[0].placement, "floating");
    EXPECT_EQ(observer.decisions[0].page, 2);
    EXPECT_EQ(observer.decisions[0].bytesAfter, 40 * 1024);
    EXPECT_EQ(observer.decisions[1].decision, "not_smaller");
    EXPECT_EQ(observer.decisions[2].decision, "below_minimum");
    EXPECT_EQ(observer.decisions[2].page, 0);
}

class WalkObserverTest : public ObjectObserverTest {
protected:
    WalkOnlyEngine& engine = h.walkEngine();
    void SetUp() override {
        engine.setObserver(&observer);
        EXPECT_CALL(engine, ConvertInlineShape(_, _, _, _)).Times(AnyNumber());
        EXPECT_CALL(engine, ConvertFloatingShape(_, _, _, _, _)).Times(AnyNumber());
    }
};

TEST_F(WalkObserverTest, ObjectsTheConditionsLeaveAloneAndFailedConversions) {
    h.rules.formats["SoundRec"] = kFormatNone;
    auto sound = h.makeInline(1, 10, 10, 1, "SoundRec");
    auto picture = h.makeInline(3, 10, 10);
    h.setInlineShapes({sound, picture});
    EXPECT_CALL(engine, ConvertInlineShape(Eq(picture.shape), _, _, _))
        .WillOnce(::testing::Throw(office::OfficeError("cannot render")));
    auto equation = h.makeShape("Object 1", 7, 20, 30);
    ON_CALL(*equation.ole, progId()).WillByDefault(Return("Equation.3"));
    auto chart = h.makeShape("Object 2", 7, 20, 20);
    ON_CALL(*chart.ole, progId()).WillByDefault(Return("SoundRec.1"));
    h.setContentShapes({equation, chart});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(equation.shape), _, _, _, _)).WillOnce(Return(-1));

    engine.WalkDocument(nullptr, true);
    // Two inline shapes and two floating ones lie ahead of the walk.
    EXPECT_THAT(observer.announced, ::testing::ElementsAre(4));
    ASSERT_EQ(observer.decisions.size(), 4u);
    EXPECT_EQ(observer.decisions[0].decision, "failed");
    EXPECT_EQ(observer.decisions[0].reason, "cannot render");
    EXPECT_EQ(observer.decisions[0].kind, "Picture");
    EXPECT_EQ(observer.decisions[1].reason, "");
    EXPECT_EQ(observer.decisions[1].decision, "excluded");
    EXPECT_EQ(observer.decisions[1].kind, "SoundRec");
    EXPECT_EQ(observer.decisions[1].placement, "inline");
    EXPECT_EQ(observer.decisions[2].decision, "excluded");
    EXPECT_EQ(observer.decisions[2].placement, "floating");
    EXPECT_EQ(observer.decisions[3].decision, "failed");
    EXPECT_EQ(observer.decisions[3].kind, "Equation");
    EXPECT_EQ(observer.decisions[3].displayHeight, 30);
    // The class names the objects were read with; none for the picture.
    EXPECT_EQ(observer.decisions[0].progId, "");
    EXPECT_EQ(observer.decisions[1].progId, "SoundRec");
    EXPECT_EQ(observer.decisions[2].progId, "SoundRec.1");
    EXPECT_EQ(observer.decisions[3].progId, "Equation.3");
    // What the failure said, or that the office gave up without a word.
    EXPECT_EQ(observer.decisions[0].reason, "cannot render");
    EXPECT_EQ(observer.decisions[3].reason, "the office could not convert it");
    EXPECT_TRUE(observer.decisions[1].reason.empty());
}

TEST_F(WalkObserverTest, AFullTemporaryFolderIsNamedInTheReason) {
    auto picture = h.makeInline(1, 10, 10);
    h.setInlineShapes({picture});
    EXPECT_CALL(engine, ConvertInlineShape(Eq(picture.shape), _, _, _))
        .WillOnce(::testing::Throw(office::OfficeError("the document cannot be saved: No space left", ENOSPC)));
    auto floating = h.makeShape("Picture 2", 13, 20, 20);
    h.setContentShapes({floating});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(floating.shape), _, _, _, _))
        .WillOnce(::testing::Throw(platform::FileSystemError("cannot write /tmp/x: Disk quota exceeded", EDQUOT)));

    engine.WalkDocument(nullptr, true);
    ASSERT_EQ(observer.decisions.size(), 2u);
    EXPECT_EQ(observer.decisions[0].decision, "failed");
    EXPECT_EQ(observer.decisions[0].reason,
              "the temporary folder is full (TMPDIR): the document cannot be saved: No space left");
    EXPECT_EQ(observer.decisions[1].decision, "failed");
    EXPECT_EQ(observer.decisions[1].placement, "floating");
    EXPECT_EQ(observer.decisions[1].reason,
              "the temporary folder is full (TMPDIR): cannot write /tmp/x: Disk quota exceeded");
}

TEST_F(WalkObserverTest, AFloatingConversionThatGivesUpSaysWhy) {
    auto slow = h.makeShape("Picture 1", 13, 20, 30);
    auto late = h.makeShape("Picture 2", 13, 20, 30);
    h.setContentShapes({slow, late});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(slow.shape), _, _, _, _))
        .WillOnce(::testing::Throw(platform::DeadlineExceeded("converting the object took longer than 5 s")));
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(late.shape), _, _, _, _)).WillOnce(Return(-1));

    engine.WalkDocument(nullptr, true);
    ASSERT_EQ(observer.decisions.size(), 2u);
    // Walked last to first.
    EXPECT_EQ(observer.decisions[1].decision, "failed");
    EXPECT_EQ(observer.decisions[1].reason, "converting the object took longer than 5 s");
    EXPECT_EQ(observer.decisions[0].decision, "failed");
    // Given up without an exception: the record still says so.
    EXPECT_EQ(observer.decisions[0].reason, "the office could not convert it");
}

TEST_F(WalkObserverTest, FailuresCarryTheirReasonAndLinkedPicturesAreLeftAsLinked) {
    auto broken = h.makeInline(3, 12, 8);
    auto linked = h.makeInline(4, 30, 20);
    h.setInlineShapes({linked, broken});
    EXPECT_CALL(engine, ConvertInlineShape(Eq(broken.shape), _, _, _))
        .WillOnce(::testing::Throw(office::OfficeError("the picture cannot be drawn")));
    EXPECT_CALL(engine, ConvertInlineShape(Eq(linked.shape), _, _, _)).Times(0);
    auto photo = h.makeShape("Picture 1", 13, 40, 30);
    auto link = h.makeShape("Picture 2", 11, 50, 60);
    h.setContentShapes({link, photo});
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(photo.shape), _, _, _, _))
        .WillOnce(::testing::Throw(office::OfficeError("the anchor is gone")));
    EXPECT_CALL(engine, ConvertFloatingShape(Eq(link.shape), _, _, _, _)).Times(0);

    engine.WalkDocument(nullptr, true);
    ASSERT_EQ(observer.decisions.size(), 4u);
    // The failed inline picture is told with its size and the failure's text.
    EXPECT_EQ(observer.decisions[0].decision, "failed");
    EXPECT_EQ(observer.decisions[0].reason, "the picture cannot be drawn");
    EXPECT_EQ(observer.decisions[0].displayWidth, 12);
    EXPECT_EQ(observer.decisions[0].displayHeight, 8);
    EXPECT_EQ(observer.decisions[1].decision, "linked");
    EXPECT_EQ(observer.decisions[1].kind, "Picture");
    EXPECT_EQ(observer.decisions[1].placement, "inline");
    EXPECT_EQ(observer.decisions[1].reason, "");
    EXPECT_EQ(observer.decisions[1].displayWidth, 30);
    EXPECT_EQ(observer.decisions[2].decision, "failed");
    EXPECT_EQ(observer.decisions[2].placement, "floating");
    EXPECT_EQ(observer.decisions[2].reason, "the anchor is gone");
    EXPECT_EQ(observer.decisions[3].decision, "linked");
    EXPECT_EQ(observer.decisions[3].placement, "floating");
    EXPECT_EQ(observer.decisions[3].displayHeight, 60);
}

}  // namespace
}  // namespace kelvaran::engine::testing
