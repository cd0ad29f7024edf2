#include "rules/IniFile.h"
#include "platform/Conversions.h"
#include "tests/settings/TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace kelvaran::rules {
namespace {

using testing::TempFolder;

// "ﾒﾀﾋﾟｸﾁｬ" and "変換しない" in CP932
const std::string kMetaBytes = "\xD2\xC0\xCB\xDF\xB8\xC1\xAC";
const std::string kNoneBytes = "\x95\xCF\x8A\xB7\x82\xB5\x82\xC8\x82\xA2";

TEST(IniFile, ReadsNamesWithoutRegardToCaseAndTrimsValues) {
    TempFolder dir;
    dir.write("a.ini",
              "; comment\r\n"
              "[Name]\r\n"
              "0=excel\r\n"
              "  1  =   word   \r\n"
              "KeY=\tx y\t\n"
              "[VALUE]\n"
              "0=" + kMetaBytes + "\n"
              "1=" + kNoneBytes + "\n"
              "2=\n"
              "3=   \n");
    IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.ReadIni("name", "0", ""), "excel");
    EXPECT_EQ(ini.ReadIni("NAME", "1", ""), "word");
    EXPECT_EQ(ini.ReadIni("name", "key", ""), "x y");
    EXPECT_EQ(ini.ReadIni("value", "0", "d"), "ﾒﾀﾋﾟｸﾁｬ");
    EXPECT_EQ(ini.ReadIni("Value", "1", "d"), "変換しない");
    EXPECT_EQ(ini.ReadIni("value", "2", "d"), "d");
    EXPECT_EQ(ini.ReadIni("value", "3", "d"), "d");
    EXPECT_EQ(ini.ReadIni("value", "4", "d"), "d");
    EXPECT_EQ(ini.ReadIni("other", "0", "d"), "d");
    // the part before the first section holds no keys
    EXPECT_EQ(ini.ReadIni("", "; comment", "d"), "d");
}

TEST(IniFile, FirstSectionAndFirstKeyOfANameCount) {
    TempFolder dir;
    dir.write("a.ini", "[name]\n0=first\n0=second\n[NAME]\n1=later\n");
    IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.ReadIni("name", "0", ""), "first");
    EXPECT_EQ(ini.ReadIni("name", "1", "none"), "none");
    ini.WriteIni("name", "0", "changed");
    EXPECT_EQ(dir.read("a.ini"), "[name]\r\n0=changed\r\n0=second\r\n[NAME]\r\n1=later\r\n");
}

TEST(IniFile, AtMost1023BytesOfAValueAreSeen) {
    TempFolder dir;
    std::string longAscii(1500, 'a');
    // 511 double-byte characters (1,022 bytes) then one more: the last one does not fit
    std::string wide;
    for (int i = 0; i < 512; ++i) wide += "\x95\xCF";
    dir.write("a.ini", "[s]\nlong=" + longAscii + "\nwide=" + wide + "\n");
    IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.ReadIni("s", "long", ""), std::string(1023, 'a'));
    std::string expected;
    for (int i = 0; i < 511; ++i) expected += "変";
    EXPECT_EQ(ini.ReadIni("s", "wide", ""), expected);
}

TEST(IniFile, WritingCreatesTheFileInItsCodePage) {
    TempFolder dir;
    std::string path = dir.path() + "/sub/folder/ole.ini";
    IniFile ini(path);
    ini.WriteIni("name", "0", "excel");
    ini.WriteIni("value", "0", "ﾒﾀﾋﾟｸﾁｬ");
    ini.WriteIni("name", "1", "mplayer");
    ini.WriteIni("value", "1", "変換しない");
    EXPECT_EQ(dir.read("sub/folder/ole.ini"),
              "[name]\r\n0=excel\r\n1=mplayer\r\n\r\n[value]\r\n0=" + kMetaBytes + "\r\n1=" + kNoneBytes + "\r\n");
    // and it reads back
    IniFile again(path);
    EXPECT_EQ(again.ReadIni("value", "1", ""), "変換しない");
}

TEST(IniFile, EverythingElseInTheFileStays) {
    TempFolder dir;
    const std::string before =
        "; kept\r\n"
        "[other]\r\n"
        "x = 1\r\n"
        "\r\n"
        "[name]\r\n"
        "0 = excel\r\n"
        "; note inside\r\n"
        "\r\n"
        "\r\n"
        "[tail]\r\n"
        "bytes=\x81\x40\xFF\r\n";
    dir.write("a.ini", before);
    IniFile ini(dir.file("a.ini"));
    ini.WriteIni("NAME", "1", "word");
    ini.WriteIni("name", "0", "powerpoint");
    EXPECT_EQ(dir.read("a.ini"),
              "; kept\r\n"
              "[other]\r\n"
              "x = 1\r\n"
              "\r\n"
              "[name]\r\n"
              "0=powerpoint\r\n"
              "; note inside\r\n"
              "1=word\r\n"
              "\r\n"
              "\r\n"
              "[tail]\r\n"
              "bytes=\x81\x40\xFF\r\n");
}

TEST(IniFile, LineBreaksInAValueCannotBreakTheFile) {
    TempFolder dir;
    IniFile ini(dir.file("a.ini"));
    ini.WriteIni("name", "0", "evil\r\n[value]\r\n0=JPEG");
    IniFile again(dir.file("a.ini"));
    EXPECT_EQ(again.ReadIni("name", "0", ""), "evil  [value]  0=JPEG");
    EXPECT_EQ(again.ReadIni("value", "0", "none"), "none");
}

TEST(IniFile, HeldWritesReachTheFileAtFlush) {
    TempFolder dir;
    IniFile ini(dir.file("a.ini"));
    ini.holdWrites();
    ini.WriteIni("s", "a", "1");
    ini.WriteIni("s", "b", "2");
    EXPECT_FALSE(dir.exists("a.ini"));
    EXPECT_EQ(ini.ReadIni("s", "b", ""), "2");
    EXPECT_TRUE(ini.flush());
    EXPECT_EQ(dir.read("a.ini"), "[s]\r\na=1\r\nb=2\r\n");
}

TEST(IniFile, WriteFailuresAreSilent) {
    TempFolder dir;
    dir.write("blocker", "x");
    IniFile ini(dir.path() + "/blocker/ole.ini");
    ini.WriteIni("s", "a", "1");
    EXPECT_EQ(ini.ReadIni("s", "a", "none"), "none");
    ini.holdWrites();
    ini.WriteIni("s", "a", "1");
    EXPECT_FALSE(ini.flush());
    EXPECT_EQ(dir.read("blocker"), "x");
}

TEST(IniFile, Utf8FilesFromAnEditorAreTakenOver) {
    TempFolder dir;
    dir.write("a.ini", "\xEF\xBB\xBF[value]\n0=ﾒﾀﾋﾟｸﾁｬ\n1=変換しない\n");
    IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.ReadIni("value", "0", ""), "ﾒﾀﾋﾟｸﾁｬ");
    EXPECT_EQ(ini.ReadIni("value", "1", ""), "変換しない");
    ini.WriteIni("value", "2", "PNG");
    EXPECT_EQ(dir.read("a.ini"), "[value]\r\n0=" + kMetaBytes + "\r\n1=" + kNoneBytes + "\r\n2=PNG\r\n");
}

TEST(IniFile, BytesThatAreNotCp932DoNotStopTheRead) {
    TempFolder dir;
    dir.write("a.ini", "[s]\nbad=a\xFF" "b\x81\nok=fine\n");
    IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.ReadIni("s", "bad", ""), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(ini.ReadIni("s", "ok", ""), "fine");
}

TEST(IniFile, OddLinesAreTolerated) {
    TempFolder dir;
    static const char raw[] = "=orphan\n[\n=x\n[name\n0=unclosed\nno equals sign\n  [ value ]  \n0=a\0b\n=\n";
    dir.write("a.ini", std::string(raw, sizeof raw - 1));
    IniFile ini(dir.file("a.ini"));
    // a header without its closing bracket still names its section
    EXPECT_EQ(ini.ReadIni("name", "0", ""), "unclosed");
    EXPECT_EQ(ini.ReadIni("name", "no equals sign", "d"), "d");
    // blanks around a section name do not count; the value ends at a NUL
    EXPECT_EQ(ini.ReadIni("value", "0", ""), "a");
    EXPECT_EQ(ini.ReadIni("", "", "d"), "x");
    EXPECT_EQ(ini.ReadIni("value", "", "d"), "d");
}

TEST(IniFile, ChangesOnDiskAreSeen) {
    TempFolder dir;
    dir.write("a.ini", "[s]\na=1\n");
    IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.ReadIni("s", "a", ""), "1");
    dir.write("a.ini", "[s]\na=22\n");
    EXPECT_EQ(ini.ReadIni("s", "a", ""), "22");
}

}  // namespace
}  // namespace kelvaran::rules

namespace kelvaran::rules {
namespace {

TEST(IniFile, RandomWritesReadBackFromTheFile) {
    TempFolder dir;
    std::mt19937 rng(7);
    static const char* const pieces[] = {"a", "B", "7", " ", "=", "[", "]", ";", "\"", "\\", "ﾒﾀﾋﾟｸﾁｬ", "変換しない", "表"};
    std::map<std::pair<std::string, std::string>, std::string> expected;
    {
        IniFile ini(dir.file("r.ini"));
        ini.holdWrites();
        for (int i = 0; i < 400; ++i) {
            std::string section = (rng() % 2) ? "name" : "Value";
            std::string key = std::to_string(rng() % 60);
            std::string value;
            for (unsigned n = rng() % 6; n > 0; --n) value += pieces[rng() % 13];
            ini.WriteIni(section, key, value);
            // what a reader gets: blanks around the value do not count
            std::size_t b = value.find_first_not_of(' ');
            std::size_t e = value.find_last_not_of(' ');
            expected[{platform::asciiLower(section), key}] = b == std::string::npos ? "" : value.substr(b, e - b + 1);
        }
        ASSERT_TRUE(ini.flush());
    }
    IniFile reader(dir.file("r.ini"));
    for (const auto& [where, value] : expected) {
        std::string section = where.first == "value" ? "VALUE" : "NAME";
        EXPECT_EQ(reader.ReadIni(section, where.second, "<none>"), value.empty() ? "<none>" : value)
            << where.first << " " << where.second;
    }
}

}  // namespace
}  // namespace kelvaran::rules
