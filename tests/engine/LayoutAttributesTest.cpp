#include "engine/LayoutAttributes.h"

#include "office/OfficeError.h"
#include "tests/engine/EngineHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

namespace kelvaran::engine::testing {
namespace {

using ::testing::_;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::Throw;
using office::Variant;

// Property store shared by the fake borders: reads give the stored value,
// writes are logged as "name=value"; names in `refused` throw on write, names
// in `unreadable` throw on read.
struct PropertyLog {
    std::map<std::string, Variant> values;
    std::vector<std::string> writes;
    std::set<std::string> refused;
    std::set<std::string> unreadable;

    Variant get(const std::string& name) {
        if (unreadable.count(name)) throw office::OfficeError("cannot read " + name);
        return values[name];
    }
    void put(const std::string& name, const Variant& value) {
        if (refused.count(name)) throw office::OfficeError("refused " + name);
        writes.push_back(name + "=" + office::variantToText(value));
    }
};

class FakeBorder : public word::Border {
public:
    FakeBorder(PropertyLog& log, std::string prefix) : log_(log), prefix_(std::move(prefix)) {}
#define KV_PROPERTY(P) \
    Variant P() override { return log_.get(prefix_ + #P); } \
    void set##P(const Variant& v) override { log_.put(prefix_ + #P, v); }
    KV_PROPERTY(Color)
    KV_PROPERTY(ColorIndex)
    KV_PROPERTY(LineStyle)
    KV_PROPERTY(LineWidth)
    KV_PROPERTY(Visible)

private:
    PropertyLog& log_;
    std::string prefix_;
};

class FakeBorders : public word::Borders {
public:
    explicit FakeBorders(PropertyLog& log) : log_(log) {}
    const std::string prefix_;
    KV_PROPERTY(DistanceFromBottom)
    KV_PROPERTY(DistanceFromLeft)
    KV_PROPERTY(DistanceFromRight)
    KV_PROPERTY(DistanceFromTop)
    KV_PROPERTY(Enable)
    KV_PROPERTY(OutsideColor)
    KV_PROPERTY(OutsideColorIndex)
    KV_PROPERTY(OutsideLineStyle)
    KV_PROPERTY(OutsideLineWidth)
    KV_PROPERTY(Shadow)
    word::BorderPtr item(std::int16_t index) override {
        if (index < -8 || index > -1) throw office::OfficeError("no such border");
        return std::make_shared<FakeBorder>(log_, "B" + std::to_string(index) + ".");
    }

private:
    PropertyLog& log_;
};

class FakeWrapFormat : public word::WrapFormat {
public:
    explicit FakeWrapFormat(PropertyLog& log) : log_(log) {}
    const std::string prefix_;
    KV_PROPERTY(AllowOverlap)
    KV_PROPERTY(DistanceBottom)
    KV_PROPERTY(DistanceLeft)
    KV_PROPERTY(DistanceRight)
    KV_PROPERTY(DistanceTop)
    KV_PROPERTY(Side)
    KV_PROPERTY(Type)

private:
    PropertyLog& log_;
};
#undef KV_PROPERTY

const std::vector<std::string> kCollectionProperties = {
    "DistanceFromBottom", "DistanceFromLeft",  "DistanceFromRight", "DistanceFromTop",  "Enable",
    "OutsideColor",       "OutsideColorIndex", "OutsideLineStyle",  "OutsideLineWidth", "Shadow"};
const std::vector<std::string> kBorderProperties = {"Color", "ColorIndex", "LineStyle", "LineWidth", "Visible"};

// The 50 property names in the order they are assigned.
std::vector<std::string> allBorderNames() {
    std::vector<std::string> names = kCollectionProperties;
    for (int n : {-3, -7, -8, -5, -2, -4, -1, -6}) {
        for (const auto& p : kBorderProperties) names.push_back("B" + std::to_string(n) + "." + p);
    }
    return names;
}

class BordersFixture {
public:
    PropertyLog oldLog;
    PropertyLog newLog;
    Nice<om::MockWordInlineShape> oldShape = nice<om::MockWordInlineShape>();
    Nice<om::MockWordInlineShape> newShape = nice<om::MockWordInlineShape>();

    BordersFixture() {
        int k = 0;
        for (const auto& name : allBorderNames()) oldLog.values[name] = Variant(std::int32_t{100 + k++});
        ON_CALL(*oldShape, Borders()).WillByDefault([this] { return std::make_shared<FakeBorders>(oldLog); });
        ON_CALL(*newShape, Borders()).WillByDefault([this] { return std::make_shared<FakeBorders>(newLog); });
    }

    std::vector<std::string> expectedWrites(const std::string& skipped = "") {
        std::vector<std::string> out;
        for (const auto& name : allBorderNames()) {
            if (name != skipped) out.push_back(name + "=" + office::variantToText(oldLog.values[name]));
        }
        return out;
    }
};

TEST(CopyBorders, CopiesFiftyPropertiesInOrder) {
    BordersFixture f;
    CopyBorders(f.oldShape, f.newShape);
    EXPECT_EQ(f.newLog.writes.size(), 50u);
    EXPECT_EQ(f.newLog.writes, f.expectedWrites());
}

TEST(CopyBorders, ValuesKeepTheTypeTheyWereReadWith) {
    BordersFixture f;
    f.oldLog.values["Enable"] = Variant(false);
    f.oldLog.values["B-1.Visible"] = Variant(false);
    f.oldLog.values["B-3.LineWidth"] = Variant(0.75);
    CopyBorders(f.oldShape, f.newShape);
    EXPECT_THAT(f.newLog.writes, ::testing::Contains("Enable=False"));
    EXPECT_THAT(f.newLog.writes, ::testing::Contains("B-1.Visible=False"));
    EXPECT_THAT(f.newLog.writes, ::testing::Contains("B-3.LineWidth=0.75"));
}

TEST(CopyBorders, TargetBordersUnavailableSkipsEverything) {
    BordersFixture f;
    EXPECT_CALL(*f.newShape, Borders()).WillOnce(Throw(office::OfficeError("no borders")));
    CopyBorders(f.oldShape, f.newShape);
    EXPECT_TRUE(f.newLog.writes.empty());
}

TEST(CopyBorders, TargetCollectionIsFetchedOnceSourceAfresh) {
    BordersFixture f;
    EXPECT_CALL(*f.newShape, Borders()).Times(1);
    EXPECT_CALL(*f.oldShape, Borders()).Times(50);
    CopyBorders(f.oldShape, f.newShape);
}

class CopyBordersRefusal : public ::testing::TestWithParam<int> {};

TEST_P(CopyBordersRefusal, RefusedPropertyIsSkippedAlone) {
    BordersFixture f;
    const std::string refused = allBorderNames()[static_cast<std::size_t>(GetParam())];
    f.newLog.refused.insert(refused);
    CopyBorders(f.oldShape, f.newShape);
    EXPECT_EQ(f.newLog.writes, f.expectedWrites(refused));
}

TEST_P(CopyBordersRefusal, UnreadablePropertyIsSkippedAlone) {
    BordersFixture f;
    const std::string unreadable = allBorderNames()[static_cast<std::size_t>(GetParam())];
    f.oldLog.unreadable.insert(unreadable);
    CopyBorders(f.oldShape, f.newShape);
    EXPECT_EQ(f.newLog.writes, f.expectedWrites(unreadable));
}

INSTANTIATE_TEST_SUITE_P(EachOfTheFifty, CopyBordersRefusal, ::testing::Range(0, 50));

const std::vector<std::string> kWrapProperties = {"AllowOverlap", "DistanceBottom", "DistanceLeft", "DistanceRight",
                                                  "DistanceTop",  "Side",           "Type"};

class WrapFixture {
public:
    PropertyLog oldLog;
    PropertyLog newLog;
    Nice<om::MockWordShape> oldShape = nice<om::MockWordShape>();
    Nice<om::MockWordShape> newShape = nice<om::MockWordShape>();

    WrapFixture() {
        int k = 0;
        for (const auto& name : kWrapProperties) oldLog.values[name] = Variant(std::int32_t{10 + k++});
        ON_CALL(*oldShape, WrapFormat()).WillByDefault([this] { return std::make_shared<FakeWrapFormat>(oldLog); });
        ON_CALL(*newShape, WrapFormat()).WillByDefault([this] { return std::make_shared<FakeWrapFormat>(newLog); });
    }

    std::vector<std::string> expectedWrites(const std::string& skipped) {
        std::vector<std::string> out;
        for (const auto& name : kWrapProperties) {
            if (name != skipped) out.push_back(name + "=" + office::variantToText(oldLog.values[name]));
        }
        return out;
    }
};

class CopyWrapFormatFailure : public ::testing::TestWithParam<int> {};

TEST_P(CopyWrapFormatFailure, RefusedPropertyIsSkippedAlone) {
    WrapFixture f;
    const std::string refused = kWrapProperties[static_cast<std::size_t>(GetParam())];
    f.newLog.refused.insert(refused);
    CopyWrapFormat(f.oldShape, f.newShape);
    EXPECT_EQ(f.newLog.writes, f.expectedWrites(refused));
}

TEST_P(CopyWrapFormatFailure, UnreadablePropertyIsSkippedAlone) {
    WrapFixture f;
    const std::string unreadable = kWrapProperties[static_cast<std::size_t>(GetParam())];
    f.oldLog.unreadable.insert(unreadable);
    CopyWrapFormat(f.oldShape, f.newShape);
    EXPECT_EQ(f.newLog.writes, f.expectedWrites(unreadable));
}

INSTANTIATE_TEST_SUITE_P(EachOfTheSeven, CopyWrapFormatFailure, ::testing::Range(0, 7));

TEST(CopyWrapFormat, SourceWrappingUnavailableSkipsEveryAssignmentAlone) {
    WrapFixture f;
    EXPECT_CALL(*f.oldShape, WrapFormat()).Times(7).WillRepeatedly(Throw(office::OfficeError("gone")));
    CopyWrapFormat(f.oldShape, f.newShape);
    EXPECT_TRUE(f.newLog.writes.empty());
}

TEST(CopyWrapFormat, CopiesSevenPropertiesWithTypeLast) {
    auto oldShape = nice<om::MockWordShape>();
    auto newShape = nice<om::MockWordShape>();
    auto oldWrap = nice<om::MockWordWrapFormat>();
    auto newWrap = nice<om::MockWordWrapFormat>();
    ON_CALL(*oldShape, WrapFormat()).WillByDefault(Return(oldWrap));
    EXPECT_CALL(*newShape, WrapFormat()).Times(1).WillOnce(Return(newWrap));
    ON_CALL(*oldWrap, AllowOverlap()).WillByDefault(Return(Variant(std::int32_t{-1})));
    ON_CALL(*oldWrap, DistanceBottom()).WillByDefault(Return(Variant(9.0)));
    ON_CALL(*oldWrap, DistanceLeft()).WillByDefault(Return(Variant(9.0)));
    ON_CALL(*oldWrap, DistanceRight()).WillByDefault(Return(Variant(9.0)));
    ON_CALL(*oldWrap, DistanceTop()).WillByDefault(Return(Variant(9.0)));
    ON_CALL(*oldWrap, Side()).WillByDefault(Return(Variant(std::int32_t{0})));
    ON_CALL(*oldWrap, Type()).WillByDefault(Return(Variant(std::int32_t{0})));  // square
    {
        InSequence order;
        EXPECT_CALL(*newWrap, setAllowOverlap(Variant(std::int32_t{-1})));
        EXPECT_CALL(*newWrap, setDistanceBottom(Variant(9.0)));
        EXPECT_CALL(*newWrap, setDistanceLeft(Variant(9.0)));
        EXPECT_CALL(*newWrap, setDistanceRight(Variant(9.0)));
        EXPECT_CALL(*newWrap, setDistanceTop(Variant(9.0)));
        EXPECT_CALL(*newWrap, setSide(Variant(std::int32_t{0})));
        EXPECT_CALL(*newWrap, setType(Variant(std::int32_t{0})));
    }
    CopyWrapFormat(oldShape, newShape);
}

TEST(CopyWrapFormat, RefusedPropertyDoesNotStopTheRest) {
    auto oldShape = nice<om::MockWordShape>();
    auto newShape = nice<om::MockWordShape>();
    auto oldWrap = nice<om::MockWordWrapFormat>();
    auto newWrap = nice<om::MockWordWrapFormat>();
    ON_CALL(*oldShape, WrapFormat()).WillByDefault(Return(oldWrap));
    ON_CALL(*newShape, WrapFormat()).WillByDefault(Return(newWrap));
    EXPECT_CALL(*oldWrap, DistanceLeft()).WillOnce(Throw(office::OfficeError("x")));
    EXPECT_CALL(*newWrap, setDistanceLeft(_)).Times(0);
    EXPECT_CALL(*newWrap, setSide(_)).WillOnce(Throw(office::OfficeError("refused")));
    EXPECT_CALL(*newWrap, setType(_)).Times(1);
    EXPECT_CALL(*newWrap, setDistanceTop(_)).Times(1);
    CopyWrapFormat(oldShape, newShape);
}

TEST(CopyWrapFormat, NoTargetWrappingMeansNoAssignment) {
    auto oldShape = nice<om::MockWordShape>();
    auto newShape = nice<om::MockWordShape>();
    EXPECT_CALL(*newShape, WrapFormat()).WillOnce(Throw(office::OfficeError("none")));
    EXPECT_CALL(*oldShape, WrapFormat()).Times(0);
    CopyWrapFormat(oldShape, newShape);
}

TEST(CopyRelativeLayout, CopiesFourPropertiesInOrderEachAlone) {
    auto oldShape = nice<om::MockWordShape>();
    auto newShape = nice<om::MockWordShape>();
    ON_CALL(*oldShape, RelativeHorizontalPosition()).WillByDefault(Return(Variant(std::int32_t{1})));
    ON_CALL(*oldShape, RelativeHorizontalSize()).WillByDefault(Return(Variant(std::int32_t{2})));
    ON_CALL(*oldShape, RelativeVerticalPosition()).WillByDefault(Return(Variant(std::int32_t{3})));
    ON_CALL(*oldShape, RelativeVerticalSize()).WillByDefault(Return(Variant(std::int32_t{4})));
    InSequence order;
    EXPECT_CALL(*newShape, setRelativeHorizontalPosition(Variant(std::int32_t{1})));
    EXPECT_CALL(*newShape, setRelativeHorizontalSize(Variant(std::int32_t{2})))
        .WillOnce(Throw(office::OfficeError("older Word")));
    EXPECT_CALL(*newShape, setRelativeVerticalPosition(Variant(std::int32_t{3})));
    EXPECT_CALL(*newShape, setRelativeVerticalSize(Variant(std::int32_t{4})));
    CopyRelativeLayout(oldShape, newShape);
}

}  // namespace
}  // namespace kelvaran::engine::testing
