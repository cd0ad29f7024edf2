// Hive files written by hand or by other tools.
#include "settings/RegAccess.h"
#include "tests/settings/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvaran::settings {
namespace {

using testing::TempFolder;

constexpr Root HKLM = Root::HKEY_LOCAL_MACHINE;
constexpr Root HKCR = Root::HKEY_CLASSES_ROOT;

std::string read(RegAccess& reg, Root root, const std::string& key, const std::string& name,
                 std::string initial = "<untouched>") {
    std::string text = std::move(initial);
    if (!reg.ReadRegValue(root, key, name, text)) return "<false:" + text + ">";
    return text;
}

TEST(HiveFile, OddSpacingEscapesAndLineEnds) {
    TempFolder dir;
    dir.write("HKEY_LOCAL_MACHINE.reg",
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
              "\r\n"
              "; a comment line\n"
              "  [HKEY_LOCAL_MACHINE\\SOFTWARE\\QUELTO\\kelvaran\\param]  \r\n"
              "\"Ratio\" =   \"2\"\r\n"
              "\t\"FileSize\"=\"100\"   \n"
              "\"Quote\"=\"say \\\"hi\\\"\"\n"
              "\"Back\"=\"C:\\\\dir\\\\\"\n"
              "\"Lone\"=\"a\\b\"\n"
              "\"With = sign\"=\"x=y\"\n"
              "@=\"default text\"\n"
              "\"Unterminated\"=\"abc\n"
              "garbage line\n"
              "\"WaitXP\"=dword:0000015e\n"
              "\"Wait2000\" = DWORD:FFFFFFFF\n");
    RegAccess reg(dir.path());
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "Ratio"), "2");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "FileSize"), "100");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "Quote"), "say \"hi\"");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "Back"), "C:\\dir\\");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "Lone"), "a\\b");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "with = SIGN"), "x=y");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, ""), "default text");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "Unterminated"), "<false:>");
    // a WaitXP stored as REG_DWORD 350 reads as the text of 350
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "WaitXP"), "350");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "Wait2000"), "4294967295");
}

TEST(HiveFile, OtherTypesLeaveTheTextAlone) {
    TempFolder dir;
    dir.write("HKEY_LOCAL_MACHINE.reg",
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\K]\n"
              "\"Binary\"=hex:01,02,03\n"
              "\"Expand\"=hex(2):25,00,50,00,00,00\n"
              "\"Multi\"=hex(7):61,00,00,00,\\\n"
              "  62,00,00,00,00,00\n"
              "\"Qword\"=qword:0000000000000001\n"
              "\"Dword4\"=hex(4):5e,01,00,00\n"
              "\"Wide\"=hex(1):41,00,42,00,00,00\n"
              "\"After\"=\"continued lines do not swallow this\"\n");
    RegAccess reg(dir.path());
    EXPECT_EQ(read(reg, HKLM, "K", "Binary"), "<untouched>");
    EXPECT_EQ(read(reg, HKLM, "K", "Expand"), "<untouched>");
    EXPECT_EQ(read(reg, HKLM, "K", "Multi"), "<untouched>");
    EXPECT_EQ(read(reg, HKLM, "K", "Qword"), "<untouched>");
    EXPECT_EQ(read(reg, HKLM, "K", "Dword4"), "350");
    EXPECT_EQ(read(reg, HKLM, "K", "Wide"), "AB");
    EXPECT_EQ(read(reg, HKLM, "K", "After"), "continued lines do not swallow this");

    // they are written back as they stood when something else changes
    reg.WriteRegValue(HKLM, "K", "New", std::string("n"));
    std::string file = dir.read("HKEY_LOCAL_MACHINE.reg");
    EXPECT_NE(file.find("\"Binary\"=hex:01,02,03\r\n"), std::string::npos);
    EXPECT_NE(file.find("\"Qword\"=qword:0000000000000001\r\n"), std::string::npos);
    EXPECT_NE(file.find("\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"), std::string::npos);
    EXPECT_NE(file.find("\"Dword4\"=dword:0000015e\r\n"), std::string::npos);
    RegAccess again(dir.path());
    EXPECT_EQ(read(again, HKLM, "K", "Binary"), "<untouched>");
    EXPECT_EQ(read(again, HKLM, "K", "New"), "n");
}

TEST(HiveFile, OversizedValuesOfAnyTypeAreNotRead) {
    TempFolder dir;
    std::string bytes;
    for (int i = 0; i < 1025; ++i) bytes += i ? ",00" : "00";
    dir.write("HKEY_LOCAL_MACHINE.reg",
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\K]\n\"Big\"=hex:" + bytes + "\n");
    RegAccess reg(dir.path());
    EXPECT_EQ(read(reg, HKLM, "K", "Big"), "<false:>");
    EXPECT_FALSE(reg.RegValueReadable(HKLM, "K", "Big"));
}

TEST(HiveFile, SectionsOfOtherRootsAreNotMixedIn) {
    TempFolder dir;
    dir.write("HKEY_LOCAL_MACHINE.reg",
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\QUELTO\\kelvaran\\param]\n\"Ratio\"=\"wrong\"\n"
              "[HKLM\\SOFTWARE\\QUELTO\\kelvaran\\param]\n\"FileSize\"=\"10\"\n"
              "[hkey_local_machine\\software\\quelto\\kelvaran\\param]\n\"PixelSize\"=\"50\"\n"
              "[-HKEY_LOCAL_MACHINE\\Gone]\n\"Ghost\"=\"g\"\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QUELTO\\kelvaran\\param]\n\"PixelSize\"=-\n\"ExpectRate\"=\"25\"\n");
    RegAccess reg(dir.path());
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "Ratio"), "<false:>");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "FileSize"), "10");
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "PixelSize"), "<false:>");  // removed by "=-"
    EXPECT_EQ(read(reg, HKLM, kSettingsKey, "ExpectRate"), "25");
    EXPECT_EQ(read(reg, HKLM, "Gone", "Ghost"), "<false:>");
}

TEST(HiveFile, Utf16ExportsAreRead) {
    TempFolder dir;
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"Name\"=\"\xE5\xA4\x89\xE6\x8F\x9B\"\r\n";
    // to UTF-16LE by hand: every character here is below U+10000
    std::string wide = "\xFF\xFE";
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned cp = c;
        if (c >= 0xE0) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            i += 3;
        } else {
            i += 1;
        }
        wide.push_back(static_cast<char>(cp & 0xFF));
        wide.push_back(static_cast<char>(cp >> 8));
    }
    dir.write("HKEY_LOCAL_MACHINE.reg", wide);
    RegAccess reg(dir.path());
    EXPECT_EQ(read(reg, HKLM, "K", "Name"), "変換");
}

TEST(HiveFile, RegeditFourHeaderAndMissingRootPrefix) {
    TempFolder dir;
    dir.write("HKEY_CLASSES_ROOT.reg", "REGEDIT4\n\n[Foo.Bar\\Insertable]\n@=\"\"\n");
    RegAccess reg(dir.path());
    EXPECT_EQ(reg.ListRegSubKeys(HKCR), std::vector<std::string>{"Foo.Bar"});
    EXPECT_TRUE(reg.RegValueReadable(HKCR, "Foo.Bar\\Insertable", ""));
    // a file with the right header may be written back
    reg.WriteRegValue(HKCR, "Foo.Bar", "x", std::string("1"));
    EXPECT_NE(dir.read("HKEY_CLASSES_ROOT.reg").find("[HKEY_CLASSES_ROOT\\Foo.Bar\\Insertable]"), std::string::npos);
}

TEST(HiveFile, ScanOverThousandsOfKeys) {
    TempFolder dir;
    std::string file = "Windows Registry Editor Version 5.00\r\n\r\n";
    int expectedReadable = 0;
    for (int i = 0; i < 6000; ++i) {
        std::string name = "App" + std::to_string(i) + ".Object." + std::to_string(i % 7);
        file += "[HKEY_CLASSES_ROOT\\" + name + "]\r\n@=\"Object " + std::to_string(i) + "\"\r\n\r\n";
        if (i % 3 == 0) {
            file += "[HKEY_CLASSES_ROOT\\" + name + "\\Insertable]\r\n";
            if (i % 2 == 0) {
                file += "@=\"\"\r\n";
                ++expectedReadable;
            }
            file += "\r\n";
        }
        file += "[HKEY_CLASSES_ROOT\\" + name + "\\CLSID]\r\n@=\"{" + std::to_string(i) + "}\"\r\n\r\n";
    }
    dir.write("HKEY_CLASSES_ROOT.reg", file);
    RegAccess reg(dir.path());
    std::vector<std::string> names = reg.ListRegSubKeys(HKCR);
    ASSERT_EQ(names.size(), 6000u);
    EXPECT_EQ(names[4321], "App4321.Object.2");
    int readable = 0;
    for (const std::string& name : names) {
        if (reg.RegValueReadable(HKCR, name + "\\Insertable", "")) ++readable;
    }
    EXPECT_EQ(readable, expectedReadable);
    EXPECT_TRUE(reg.RegValueReadable(HKCR, "app6.object.6\\INSERTABLE", ""));
    EXPECT_FALSE(reg.RegValueReadable(HKCR, "App3.Object.3\\Insertable", ""));
}

}  // namespace
}  // namespace kelvaran::settings

namespace kelvaran::settings {
namespace {

TEST(HiveFile, BrokenLinesAreSkippedAndTheRestRead) {
    TempFolder dir;
    static const char raw[] = "Windows Registry Editor Version 5.00\n"
                          "[\n"
                          "[]\n"
                          "@\n"
                          "\"\n"
                          "\"a\"\n"
                          "\"b\"=\n"
                          "\"c\"=hex(\n"
                          "\"d\"=dword:12345678 9\n"
                          "\"e\"=dword:\n"
                          "[HKEY_LOCAL_MACHINE\\K\n"
                          "\"ok\"=\"1\"\n"
                          "\"nul\0name\"=\"2\"\n"
                          "\"tail\"=hex:01,\\";
    dir.write("HKEY_LOCAL_MACHINE.reg", std::string(raw, sizeof raw - 1));
    RegAccess reg(dir.path());
    std::string text;
    // the unclosed section name still names the key
    EXPECT_TRUE(reg.ReadRegValue(Root::HKEY_LOCAL_MACHINE, "K", "ok", text));
    EXPECT_EQ(text, "1");
    EXPECT_TRUE(reg.RegValueReadable(Root::HKEY_LOCAL_MACHINE, "K", "tail"));
    // values of the nameless section are kept at the root, and unreadable data
    // is kept as a type of its own: readable, text untouched
    text = "x";
    EXPECT_TRUE(reg.ReadRegValue(Root::HKEY_LOCAL_MACHINE, "", "b", text));
    EXPECT_EQ(text, "x");
    EXPECT_TRUE(reg.ReadRegValue(Root::HKEY_LOCAL_MACHINE, "", "d", text));
    EXPECT_EQ(text, "x");
    EXPECT_FALSE(reg.ReadRegValue(Root::HKEY_LOCAL_MACHINE, "", "a", text));
}

}  // namespace
}  // namespace kelvaran::settings
