#include "settings/StoredSettings.h"
#include "tests/settings/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvaran::settings {
namespace {

using testing::TempFolder;

constexpr Root HKLM = Root::HKEY_LOCAL_MACHINE;

void store(RegAccess& reg, const std::string& name, const std::string& text) {
    reg.WriteRegValue(HKLM, kSettingsKey, name, text);
}

TEST(StoredSettings, FirstStartGivesEveryDefault) {
    TempFolder dir;
    RegAccess reg(dir.path());
    StoredSettings s = StoredSettings::load(reg);
    EXPECT_FALSE(s.slow);
    EXPECT_EQ(s.waitXP, 200);
    EXPECT_EQ(s.wait2000, 500);
    EXPECT_EQ(s.format, 0);
    EXPECT_EQ(s.ratio, "1.5");
    EXPECT_EQ(s.fileSize, "50");
    EXPECT_EQ(s.expectRate, "75");
    EXPECT_EQ(s.pixelSize, "9999");
    EXPECT_EQ(s.formHeight, 7000);
    EXPECT_EQ(s.ole, false);
    EXPECT_EQ(s.twice, false);
    // reading creates nothing
    EXPECT_FALSE(dir.exists("HKEY_LOCAL_MACHINE.reg"));
}

TEST(StoredSettings, FirstExitWritesElevenValuesAndTheAccessKey) {
    TempFolder dir;
    RegAccess reg(dir.path());
    StoredSettings loaded = StoredSettings::load(reg);
    SettingsToStore out;
    out.slow = loaded.slow;
    out.waitXP = loaded.waitXP;
    out.wait2000 = loaded.wait2000;
    out.format = loaded.format;
    out.ratio = loaded.ratio;
    out.fileSize = loaded.fileSize;
    out.expectRate = loaded.expectRate;
    out.pixelSize = loaded.pixelSize;
    out.formHeight = 7000;
    out.save(reg);

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Slow", "0"},        {"WaitXP", "200"},  {"Wait2000", "500"},  {"Format", "0"},
        {"Ratio", "1.5"},     {"FileSize", "50"}, {"ExpectRate", "75"}, {"PixelSize", "9999"},
        {"FormHeight", "7000"}, {"OLE", "0"},     {"Twice", "0"}};
    RegAccess again(dir.path());
    for (const auto& [name, text] : expected) {
        std::string got;
        EXPECT_TRUE(again.ReadRegValue(HKLM, kSettingsKey, name, got)) << name;
        EXPECT_EQ(got, text) << name;
    }
    std::string access;
    EXPECT_TRUE(again.ReadRegValue(Root::HKEY_CURRENT_USER, kSettingsKey, "AccessKey", access));
    EXPECT_EQ(access, "0");
    // written in table order
    std::string file = dir.read("HKEY_LOCAL_MACHINE.reg");
    std::size_t last = 0;
    for (const auto& [name, text] : expected) {
        std::size_t at = file.find("\"" + name + "\"=\"" + text + "\"");
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
}

TEST(StoredSettings, StoredTextsAreUsedAsRead) {
    TempFolder dir;
    RegAccess reg(dir.path());
    store(reg, "Slow", "1");
    store(reg, "WaitXP", "350");
    store(reg, "Wait2000", " 800 ");
    store(reg, "Format", "4");
    store(reg, "Ratio", "2");
    store(reg, "FileSize", " 7 ");  // not blank: kept with its spaces
    store(reg, "ExpectRate", "abc");
    store(reg, "PixelSize", "10");
    store(reg, "FormHeight", "5400");
    store(reg, "OLE", "1");
    store(reg, "Twice", "1");
    StoredSettings s = StoredSettings::load(reg);
    EXPECT_TRUE(s.slow);
    EXPECT_EQ(s.waitXP, 350);
    EXPECT_EQ(s.wait2000, 800);
    EXPECT_EQ(s.format, 4);
    EXPECT_EQ(s.ratio, "2");
    EXPECT_EQ(s.fileSize, " 7 ");
    EXPECT_EQ(s.expectRate, "abc");
    EXPECT_EQ(s.pixelSize, "10");
    EXPECT_EQ(s.formHeight, 5400);
    EXPECT_EQ(s.ole, true);
    EXPECT_EQ(s.twice, true);
}

TEST(StoredSettings, BlankValuesTakeTheirDefaults) {
    TempFolder dir;
    RegAccess reg(dir.path());
    store(reg, "Ratio", " ");
    store(reg, "FileSize", "\r\n");
    store(reg, "ExpectRate", "");
    store(reg, "PixelSize", std::string(" \0 ", 3));
    store(reg, "Slow", "  ");
    store(reg, "FormHeight", " ");
    store(reg, "OLE", "\n");
    StoredSettings s = StoredSettings::load(reg);
    EXPECT_EQ(s.ratio, "1.5");
    EXPECT_EQ(s.fileSize, "50");
    EXPECT_EQ(s.expectRate, "75");
    EXPECT_EQ(s.pixelSize, "9999");
    EXPECT_FALSE(s.slow);
    EXPECT_EQ(s.formHeight, 7000);
    EXPECT_EQ(s.ole, false);
}

TEST(StoredSettings, NumbersThatAreNotWholeCountAsMissing) {
    TempFolder dir;
    RegAccess reg(dir.path());
    store(reg, "Slow", "yes");
    store(reg, "WaitXP", "1.5");
    store(reg, "Wait2000", "-20");
    store(reg, "Format", "5");
    StoredSettings s = StoredSettings::load(reg);
    EXPECT_FALSE(s.slow);
    EXPECT_EQ(s.waitXP, 200);
    EXPECT_EQ(s.wait2000, 500);
    EXPECT_EQ(s.format, 0);

    store(reg, "Format", "-1");
    store(reg, "Slow", "2");
    store(reg, "WaitXP", "99999999999");
    s = StoredSettings::load(reg);
    EXPECT_EQ(s.format, 0);
    EXPECT_FALSE(s.slow);
    EXPECT_EQ(s.waitXP, 200);

    store(reg, "Format", "3.0");
    s = StoredSettings::load(reg);
    EXPECT_EQ(s.format, 3);
}

TEST(StoredSettings, UnusableHeightAndStatesAreLeftToTheWindow) {
    TempFolder dir;
    RegAccess reg(dir.path());
    store(reg, "FormHeight", "tall");
    store(reg, "OLE", "x");
    store(reg, "Twice", "7");
    store(reg, "Ratio", "3");
    StoredSettings s = StoredSettings::load(reg);
    EXPECT_FALSE(s.formHeight.has_value());
    EXPECT_FALSE(s.ole.has_value());
    EXPECT_FALSE(s.twice.has_value());
    // the others still load
    EXPECT_EQ(s.ratio, "3");

    store(reg, "FormHeight", "0");
    EXPECT_FALSE(StoredSettings::load(reg).formHeight.has_value());
}

TEST(StoredSettings, DwordPauseIsRead) {
    TempFolder dir;
    dir.write("HKEY_LOCAL_MACHINE.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QUELTO\\kelvaran\\param]\r\n"
              "\"WaitXP\"=dword:0000015e\r\n\"Format\"=dword:00000002\r\n");
    RegAccess reg(dir.path());
    StoredSettings s = StoredSettings::load(reg);
    EXPECT_EQ(s.waitXP, 350);
    EXPECT_EQ(s.format, 2);
}

TEST(StoredSettings, EmptyBoxesKeepTheStoredText) {
    TempFolder dir;
    RegAccess reg(dir.path());
    SettingsToStore first;
    first.ratio = "7";
    first.fileSize = "100";
    first.expectRate = "50";
    first.pixelSize = "10";
    first.save(reg);

    SettingsToStore second;  // all four boxes cleared
    second.slow = true;
    second.format = 2;
    second.formHeight = 6000;
    second.ole = true;
    second.twice = true;
    second.waitXP = 350;
    second.save(reg);

    StoredSettings s = StoredSettings::load(reg);
    EXPECT_EQ(s.ratio, "7");
    EXPECT_EQ(s.fileSize, "100");
    EXPECT_EQ(s.expectRate, "50");
    EXPECT_EQ(s.pixelSize, "10");
    EXPECT_TRUE(s.slow);
    EXPECT_EQ(s.format, 2);
    EXPECT_EQ(s.formHeight, 6000);
    EXPECT_EQ(s.ole, true);
    EXPECT_EQ(s.twice, true);
    EXPECT_EQ(s.waitXP, 350);

    // a box holding a single space is not empty: it is written, and reads as blank
    SettingsToStore third;
    third.ratio = " ";
    third.save(reg);
    std::string raw;
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Ratio", raw));
    EXPECT_EQ(raw, " ");
    EXPECT_EQ(StoredSettings::load(reg).ratio, "1.5");
}

}  // namespace
}  // namespace kelvaran::settings
