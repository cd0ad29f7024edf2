#include "rules/ExceptionList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvaran::rules {
namespace {

const std::string kMeta = "ﾒﾀﾋﾟｸﾁｬ";
const std::string kNone = "変換しない";

TEST(ExceptionList, BuiltInTableInOrder) {
    ExceptionList list;
    AddDefaultExceptions(list);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"excel", kMeta},   {"word", kMeta},    {"powerpoint", kMeta}, {"photoshop", kMeta}, {"msphotoed", kMeta},
        {"flash", kMeta},   {"paint", kMeta},   {"wordpad", kMeta},    {"msgraph", kMeta},   {"equation", kMeta},
        {"mplayer", kNone}, {"avifile", kNone}, {"midfile", kNone}};
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(list.entries()[i].oleName, expected[i].first) << i;
        EXPECT_EQ(list.entries()[i].oleValue, expected[i].second) << i;
    }
    // a second call adds nothing
    AddDefaultExceptions(list);
    EXPECT_EQ(list.size(), expected.size());
}

TEST(ExceptionList, KeysAreLowerCasedAndTheFirstValueStays) {
    ExceptionList list;
    std::string jpeg = "JPEG";
    list.AddToExceptionList("Excel", jpeg);
    std::string png = "PNG";
    list.AddToExceptionList("EXCEL", png);
    list.AddToExceptionList("excel", png);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.entries()[0].oleName, "excel");
    EXPECT_EQ(list.entries()[0].oleValue, "JPEG");
    // an ignored add leaves the caller's value alone
    std::string falseValue = "False";
    list.AddToExceptionList("ExCeL", falseValue);
    EXPECT_EQ(falseValue, "False");
    EXPECT_EQ(list.ObjToImage("EXCEL"), "JPEG");
    EXPECT_EQ(list.ObjToImage("excel"), "JPEG");
}

TEST(ExceptionList, TrueAndFalseBecomeTheMetafileAlsoForTheCaller) {
    ExceptionList list;
    std::string v1 = "False";
    list.AddToExceptionList("visio", v1);
    EXPECT_EQ(v1, kMeta);
    std::string v2 = "True";
    list.AddToExceptionList("acad", v2);
    EXPECT_EQ(v2, kMeta);
    // only the exact spellings
    std::string v3 = "false";
    list.AddToExceptionList("other", v3);
    EXPECT_EQ(v3, "false");
    EXPECT_EQ(list.ObjToImage("visio"), kMeta);
    EXPECT_EQ(list.ObjToImage("acad"), kMeta);
    EXPECT_EQ(list.ObjToImage("other"), "false");
}

TEST(ExceptionList, EmptyKeyChangesNothing) {
    ExceptionList list;
    int added = 0;
    list.onAdded = [&](const ExceptionEntry&) { ++added; };
    std::string value = "False";
    list.AddToExceptionList("", value);
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(value, "False");
    EXPECT_EQ(added, 0);
}

TEST(ExceptionList, UnknownAndEmptyKeysGiveTheMetafileWithoutAdding) {
    ExceptionList list;
    AddDefaultExceptions(list);
    EXPECT_EQ(list.ObjToImage(""), kMeta);
    EXPECT_EQ(list.ObjToImage("nobody"), kMeta);
    EXPECT_EQ(list.ObjToImage("MPlayer"), kNone);
    EXPECT_EQ(list.size(), 13u);
}

TEST(ExceptionList, OtherTextsAreHandedOnUnchanged) {
    ExceptionList list;
    std::string odd = "BMP";
    list.AddToExceptionList("paintshop", odd);
    EXPECT_EQ(list.ObjToImage("PaintShop"), "BMP");
}

TEST(ExceptionList, ValueChangesAndNotifications) {
    ExceptionList list;
    std::vector<std::string> added;
    std::vector<std::size_t> changed;
    list.onAdded = [&](const ExceptionEntry& e) { added.push_back(e.oleName + "=" + e.oleValue); };
    list.onChanged = [&](std::size_t position) { changed.push_back(position); };
    AddDefaultExceptions(list);
    std::string value = "False";
    list.AddToExceptionList("Visio", value);
    ASSERT_EQ(added.size(), 14u);
    EXPECT_EQ(added.front(), "excel=" + kMeta);
    EXPECT_EQ(added.back(), "visio=" + kMeta);

    list.setValue(0, "JPEG");
    EXPECT_EQ(list.ObjToImage("Excel"), "JPEG");
    list.setValue(99, "PNG");  // past the end: nothing
    EXPECT_EQ(changed, std::vector<std::size_t>{0});
}

TEST(ExceptionList, StopsAtTheLargestCount) {
    ExceptionList list;
    for (std::size_t i = 0; i < ExceptionList::kMaxEntries + 5; ++i) {
        std::string value = "PNG";
        list.AddToExceptionList("app" + std::to_string(i), value);
    }
    EXPECT_EQ(list.size(), ExceptionList::kMaxEntries);
    EXPECT_EQ(list.ObjToImage("app32766"), "PNG");
    EXPECT_EQ(list.ObjToImage("app32767"), kMeta);
}

}  // namespace
}  // namespace kelvaran::rules
