#include "rules/ExceptionListFile.h"
#include "tests/settings/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace kelvaran::rules {
namespace {

using testing::TempFolder;

const std::string kMeta = "ﾒﾀﾋﾟｸﾁｬ";
const std::string kMetaBytes = "\xD2\xC0\xCB\xDF\xB8\xC1\xAC";
const std::string kNoneBytes = "\x95\xCF\x8A\xB7\x82\xB5\x82\xC8\x82\xA2";

std::string names(const ExceptionList& list) {
    std::string out;
    for (const auto& e : list.entries()) out += e.oleName + "=" + e.oleValue + ";";
    return out;
}

TEST(ExceptionListFile, FirstStartUsesTheTableThenTheScanAndSavesAll) {
    TempFolder dir;
    const std::string path = dir.file("ole.ini");
    ExceptionList list;
    bool scanned = false;
    LoadExceptionList(list, path, [&] {
        scanned = true;
        EXPECT_EQ(list.size(), 13u);  // the scan comes after the table
        std::string v = kMeta;
        list.AddToExceptionList("Visio", v);
    });
    EXPECT_TRUE(scanned);
    ASSERT_EQ(list.size(), 14u);
    EXPECT_FALSE(dir.exists("ole.ini"));  // loading writes nothing

    SaveExceptionList(list, path);
    std::string expected = "[name]\r\n";
    const char* keys[] = {"excel",   "word",    "powerpoint", "photoshop", "msphotoed", "flash",   "paint",
                          "wordpad", "msgraph", "equation",   "mplayer",   "avifile",   "midfile", "visio"};
    for (int i = 0; i < 14; ++i) expected += std::to_string(i) + "=" + keys[i] + "\r\n";
    expected += "\r\n[value]\r\n";
    for (int i = 0; i < 14; ++i) {
        expected += std::to_string(i) + "=" + (i >= 10 && i <= 12 ? kNoneBytes : kMetaBytes) + "\r\n";
    }
    EXPECT_EQ(dir.read("ole.ini"), expected);

    // and the next start reads exactly that back
    ExceptionList again;
    LoadExceptionList(again, path, nullptr);
    EXPECT_EQ(names(again), names(list));
}

TEST(ExceptionListFile, ChangedFormatSurvivesARestart) {
    TempFolder dir;
    const std::string path = dir.file("ole.ini");
    ExceptionList list;
    LoadExceptionList(list, path, nullptr);
    list.setValue(0, "JPEG");
    SaveExceptionList(list, path);
    ExceptionList again;
    LoadExceptionList(again, path, nullptr);
    EXPECT_EQ(again.ObjToImage("Excel"), "JPEG");
    EXPECT_EQ(again.ObjToImage("EXCEL"), "JPEG");
}

TEST(ExceptionListFile, AHoleEndsTheListAndTheRestStays) {
    TempFolder dir;
    const std::string path = dir.file("ole.ini");
    dir.write("ole.ini", "[name]\r\n0=excel\r\n1=word\r\n3=flash\r\n[value]\r\n0=PNG\r\n1=GIF\r\n3=JPEG\r\n");
    ExceptionList list;
    LoadExceptionList(list, path, nullptr);
    EXPECT_EQ(names(list), "excel=PNG;word=GIF;");  // no built-in rows either
    std::string v = "False";
    list.AddToExceptionList("visio", v);
    list.setValue(0, "JPEG");
    SaveExceptionList(list, path);
    EXPECT_EQ(dir.read("ole.ini"),
              "[name]\r\n0=excel\r\n1=word\r\n3=flash\r\n2=visio\r\n"
              "[value]\r\n0=JPEG\r\n1=GIF\r\n3=JPEG\r\n2=" + kMetaBytes + "\r\n");
}

TEST(ExceptionListFile, KeysBeyondTheCountAreKept) {
    TempFolder dir;
    const std::string path = dir.file("ole.ini");
    dir.write("ole.ini", "[name]\n0=excel\n1=EXCEL\n2=word\n3=old\n[value]\n0=GIF\n1=PNG\n2=JPEG\n3=PNG\n");
    ExceptionList list;
    LoadExceptionList(list, path, nullptr);
    EXPECT_EQ(names(list), "excel=GIF;word=JPEG;old=PNG;");
    SaveExceptionList(list, path);
    // three entries at 0..2; the old key 3 is still there
    EXPECT_EQ(dir.read("ole.ini"),
              "[name]\r\n0=excel\r\n1=word\r\n2=old\r\n3=old\r\n"
              "[value]\r\n0=GIF\r\n1=JPEG\r\n2=PNG\r\n3=PNG\r\n");
}

TEST(ExceptionListFile, ValuesFromTheFile) {
    TempFolder dir;
    const std::string path = dir.file("ole.ini");
    dir.write("ole.ini",
              "[NAME]\n0 = Excel \n1=word\n2=visio\n3=acad\n4=mplayer\n5=odd\n6=Excel\n"
              "[Value]\n0=True\n1=\n3=False\n4=" + kNoneBytes + "\n5=BMP\n6=PNG\n");
    ExceptionList list;
    LoadExceptionList(list, path, nullptr);
    EXPECT_EQ(names(list), "excel=" + kMeta + ";word=" + kMeta + ";visio=" + kMeta + ";acad=" + kMeta +
                               ";mplayer=変換しない;odd=BMP;");
    EXPECT_EQ(list.ObjToImage("ODD"), "BMP");
}

TEST(ExceptionListFile, AFileWithoutEntriesGivesTheTable) {
    TempFolder dir;
    const std::string path = dir.file("ole.ini");
    dir.write("ole.ini", "[value]\n0=PNG\n[name]\n1=skipped\n");
    ExceptionList list;
    LoadExceptionList(list, path, nullptr);
    EXPECT_EQ(list.size(), 13u);
    EXPECT_EQ(list.ObjToImage("excel"), kMeta);
}

TEST(ExceptionListFile, PathIsInTheConfigurationFolder) {
    TempFolder dir;
    const char* old = std::getenv("KELVARAN_CONFIG_DIR");
    std::string saved = old ? old : "";
    ::setenv("KELVARAN_CONFIG_DIR", dir.path().c_str(), 1);
    EXPECT_EQ(exceptionListPath(), dir.path() + "/ole.ini");
    if (old) ::setenv("KELVARAN_CONFIG_DIR", saved.c_str(), 1);
    else ::unsetenv("KELVARAN_CONFIG_DIR");
}

}  // namespace
}  // namespace kelvaran::rules
