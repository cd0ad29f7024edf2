#include "settings/RegAccess.h"
#include "tests/settings/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvaran::settings {
namespace {

using testing::TempFolder;

constexpr Root HKLM = Root::HKEY_LOCAL_MACHINE;
constexpr Root HKCU = Root::HKEY_CURRENT_USER;
constexpr Root HKCR = Root::HKEY_CLASSES_ROOT;

TEST(RegAccess, WrittenTextReadsBackInANewInstance) {
    TempFolder dir;
    {
        RegAccess reg(dir.path());
        reg.WriteRegValue(HKLM, kSettingsKey, "Ratio", std::string("2.5"));
        reg.WriteRegValue(HKLM, kSettingsKey, "Path", std::string("C:\\Program Files\\\"x\""));
        reg.WriteRegValue(HKLM, kSettingsKey, "Japanese", std::string("ﾒﾀﾋﾟｸﾁｬ変換しない"));
        reg.WriteRegValue(HKLM, kSettingsKey, "WaitXP", std::int64_t{200});
    }
    RegAccess reg(dir.path());
    std::string text = "junk";
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Ratio", text));
    EXPECT_EQ(text, "2.5");
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Path", text));
    EXPECT_EQ(text, "C:\\Program Files\\\"x\"");
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Japanese", text));
    EXPECT_EQ(text, "ﾒﾀﾋﾟｸﾁｬ変換しない");
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "WaitXP", text));
    EXPECT_EQ(text, "200");
    // One file per hive, named after it, in the export format.
    std::string file = dir.read("HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\QUELTO\\kelvaran\\param]"), std::string::npos);
    EXPECT_NE(file.find("\"Path\"=\"C:\\\\Program Files\\\\\\\"x\\\"\""), std::string::npos);
    EXPECT_NE(file.find("\"WaitXP\"=\"200\""), std::string::npos);
}

TEST(RegAccess, OverwritingKeepsOneValue) {
    TempFolder dir;
    RegAccess reg(dir.path());
    reg.WriteRegValue(HKLM, kSettingsKey, "Format", std::string("1"));
    reg.WriteRegValue(HKLM, kSettingsKey, "FORMAT", std::string("3"));
    std::string text;
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "format", text));
    EXPECT_EQ(text, "3");
    std::string file = dir.read("HKEY_LOCAL_MACHINE.reg");
    // the first spelling stays, once
    EXPECT_NE(file.find("\"Format\"=\"3\""), std::string::npos);
    EXPECT_EQ(file.find("FORMAT"), std::string::npos);
}

TEST(RegAccess, MissingKeyOrValueGivesFalseAndEmptyText) {
    TempFolder dir;
    RegAccess reg(dir.path());
    std::string text = "before";
    EXPECT_FALSE(reg.ReadRegValue(HKLM, kSettingsKey, "Ratio", text));
    EXPECT_EQ(text, "");
    reg.WriteRegValue(HKLM, kSettingsKey, "Ratio", std::string("1"));
    text = "before";
    EXPECT_FALSE(reg.ReadRegValue(HKLM, kSettingsKey, "Other", text));
    EXPECT_EQ(text, "");
    text = "before";
    EXPECT_FALSE(reg.ReadRegValue(HKLM, "SOFTWARE\\NOBODY", "Ratio", text));
    EXPECT_EQ(text, "");
    // the value lives in one hive only
    EXPECT_FALSE(reg.ReadRegValue(HKCU, kSettingsKey, "Ratio", text));
    EXPECT_FALSE(dir.exists("HKEY_CLASSES_ROOT.reg"));
}

TEST(RegAccess, KeyAndValueNamesIgnoreLetterCase) {
    TempFolder dir;
    RegAccess reg(dir.path());
    reg.WriteRegValue(HKLM, kSettingsKey, "Ratio", std::string("4"));
    std::string text;
    EXPECT_TRUE(reg.ReadRegValue(HKLM, "software\\quelto\\KELVARAN\\Param", "RATIO", text));
    EXPECT_EQ(text, "4");
    // writing through another spelling of the path reaches the same key
    reg.WriteRegValue(HKLM, "Software\\Quelto\\Kelvaran\\PARAM", "ratio", std::string("5"));
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Ratio", text));
    EXPECT_EQ(text, "5");
}

TEST(RegAccess, ValuesUpToTheBufferSizeAreRead) {
    TempFolder dir;
    RegAccess reg(dir.path());
    // 1,023 characters and the terminating NUL fill the 1,024-byte buffer exactly.
    std::string fits(1023, 'a');
    std::string tooLong(1024, 'b');
    reg.WriteRegValue(HKLM, kSettingsKey, "Fits", fits);
    reg.WriteRegValue(HKLM, kSettingsKey, "TooLong", tooLong);
    std::string text;
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Fits", text));
    EXPECT_EQ(text, fits);
    text = "x";
    EXPECT_FALSE(reg.ReadRegValue(HKLM, kSettingsKey, "TooLong", text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(reg.RegValueReadable(HKLM, kSettingsKey, "Fits"));
    EXPECT_FALSE(reg.RegValueReadable(HKLM, kSettingsKey, "TooLong"));
    // the long value is still stored whole
    RegAccess again(dir.path());
    EXPECT_FALSE(again.ReadRegValue(HKLM, kSettingsKey, "TooLong", text));
    EXPECT_NE(dir.read("HKEY_LOCAL_MACHINE.reg").find(tooLong), std::string::npos);
}

TEST(RegAccess, BlankTextsRoundTripUnchanged) {
    TempFolder dir;
    RegAccess reg(dir.path());
    reg.WriteRegValue(HKLM, kSettingsKey, "Ratio", std::string(" "));
    reg.WriteRegValue(HKLM, kSettingsKey, "Empty", std::string());
    reg.WriteRegValue(HKLM, kSettingsKey, "Lines", std::string("a\r\nb"));
    RegAccess again(dir.path());
    std::string text;
    EXPECT_TRUE(again.ReadRegValue(HKLM, kSettingsKey, "Ratio", text));
    EXPECT_EQ(text, " ");
    text = "x";
    EXPECT_TRUE(again.ReadRegValue(HKLM, kSettingsKey, "Empty", text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(again.ReadRegValue(HKLM, kSettingsKey, "Lines", text));
    EXPECT_EQ(text, "a\r\nb");
}

TEST(RegAccess, TextIsCutAtTheFirstNul) {
    TempFolder dir;
    RegAccess reg(dir.path());
    reg.WriteRegValue(HKLM, kSettingsKey, "Cut", std::string("12\0" "34", 5));
    std::string text;
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Cut", text));
    EXPECT_EQ(text, "12");
    // the bytes after the NUL survive a save and a reload
    RegAccess again(dir.path());
    EXPECT_TRUE(again.ReadRegValue(HKLM, kSettingsKey, "Cut", text));
    EXPECT_EQ(text, "12");
    EXPECT_NE(dir.read("HKEY_LOCAL_MACHINE.reg").find("hex(1):31,00,32,00,00,00,33,00,34,00,00,00"),
              std::string::npos);
}

TEST(RegAccess, CreatingAKeyWritesTheAccessKey) {
    TempFolder dir;
    RegAccess reg(dir.path());
    reg.WriteRegValue(HKLM, kSettingsKey, "Slow", std::string("0"));
    std::string text;
    EXPECT_TRUE(reg.ReadRegValue(HKCU, kSettingsKey, "AccessKey", text));
    EXPECT_EQ(text, "0");
    EXPECT_TRUE(dir.exists("HKEY_CURRENT_USER.reg"));

    TempFolder other;
    RegAccess fresh(other.path());
    EXPECT_TRUE(fresh.CreateRegKey(HKCR, "a\\b\\c"));
    EXPECT_TRUE(fresh.ReadRegValue(HKCU, kSettingsKey, "AccessKey", text));
    EXPECT_EQ(text, "0");
    // parents exist, the new key is empty
    EXPECT_EQ(fresh.ListRegSubKeys(HKCR), std::vector<std::string>{"a"});
    EXPECT_FALSE(fresh.RegValueReadable(HKCR, "a\\b\\c", ""));
}

TEST(RegAccess, CreatedEmptyKeysSurviveAReload) {
    TempFolder dir;
    {
        RegAccess reg(dir.path());
        EXPECT_TRUE(reg.CreateRegKey(HKCR, "Empty.Key"));
    }
    RegAccess reg(dir.path());
    EXPECT_EQ(reg.ListRegSubKeys(HKCR), std::vector<std::string>{"Empty.Key"});
}

TEST(RegAccess, WriteFailuresAreSilentAndLeaveNothingBehind) {
    TempFolder dir;
    dir.write("blocker", "a file where the folder should be");
    RegAccess reg(dir.file("blocker"));
    reg.WriteRegValue(HKLM, kSettingsKey, "Slow", std::string("1"));
    EXPECT_FALSE(reg.CreateRegKey(HKCU, "x"));
    std::string text;
    // what could not be stored does not read back either
    EXPECT_FALSE(reg.ReadRegValue(HKLM, kSettingsKey, "Slow", text));
    EXPECT_FALSE(reg.ReadRegValue(HKCU, kSettingsKey, "AccessKey", text));
    EXPECT_EQ(dir.read("blocker"), "a file where the folder should be");
}

TEST(RegAccess, AFileThatIsNotAnExportIsNeverOverwritten) {
    TempFolder dir;
    const std::string foreign = "this is somebody's notes, not a registry export\n";
    dir.write("HKEY_LOCAL_MACHINE.reg", foreign);
    RegAccess reg(dir.path());
    reg.WriteRegValue(HKLM, kSettingsKey, "Slow", std::string("1"));
    EXPECT_EQ(dir.read("HKEY_LOCAL_MACHINE.reg"), foreign);
    std::string text;
    EXPECT_FALSE(reg.ReadRegValue(HKLM, kSettingsKey, "Slow", text));
}

TEST(RegAccess, ChangesOfTheFileAreSeen) {
    TempFolder dir;
    RegAccess reg(dir.path());
    reg.WriteRegValue(HKLM, kSettingsKey, "Ratio", std::string("1"));
    std::string text;
    ASSERT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Ratio", text));
    // another writer replaces the file (a different size, so the change shows
    // even within one tick of the file clock)
    dir.write("HKEY_LOCAL_MACHINE.reg",
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QUELTO\\kelvaran\\param]\n"
              "\"Ratio\"=\"10\"\n\"Extra\"=\"y\"\n");
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Ratio", text));
    EXPECT_EQ(text, "10");
}

TEST(RegAccess, IntegerValuesAreStoredAsText) {
    TempFolder dir;
    RegAccess reg(dir.path());
    reg.WriteRegValue(HKLM, kSettingsKey, "Negative", std::int64_t{-42});
    reg.WriteRegValue(HKLM, kSettingsKey, "Big", std::int64_t{7000});
    std::string text;
    EXPECT_TRUE(reg.ReadRegValue(HKLM, kSettingsKey, "Negative", text));
    EXPECT_EQ(text, "-42");
    EXPECT_NE(dir.read("HKEY_LOCAL_MACHINE.reg").find("\"Big\"=\"7000\""), std::string::npos);
}

TEST(RegAccess, ListsTheSubkeysOfARootInFileOrder) {
    TempFolder dir;
    dir.write("HKEY_CLASSES_ROOT.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Zeta.Doc.1\\Insertable]\r\n"
              "[HKEY_CLASSES_ROOT\\.doc]\r\n@=\"Word.Document.8\"\r\n"
              "[HKEY_CLASSES_ROOT\\alpha]\r\n"
              "[HKEY_CLASSES_ROOT\\ZETA.DOC.1\\CLSID]\r\n");
    RegAccess reg(dir.path());
    EXPECT_EQ(reg.ListRegSubKeys(HKCR), (std::vector<std::string>{"Zeta.Doc.1", ".doc", "alpha"}));
    EXPECT_TRUE(reg.ListRegSubKeys(HKCU).empty());
    EXPECT_TRUE(reg.RegValueReadable(HKCR, ".doc", ""));
    EXPECT_FALSE(reg.RegValueReadable(HKCR, "Zeta.Doc.1\\Insertable", ""));
    EXPECT_FALSE(reg.RegValueReadable(HKCR, "missing\\Insertable", ""));
}

TEST(RegAccess, NamesLongerThanTheEnumerationBufferEndTheList) {
    TempFolder dir;
    std::string longName(2000, 'n');
    dir.write("HKEY_CLASSES_ROOT.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\first]\n[HKEY_CLASSES_ROOT\\" +
                                           longName + "]\n[HKEY_CLASSES_ROOT\\third]\n");
    RegAccess reg(dir.path());
    EXPECT_EQ(reg.ListRegSubKeys(HKCR), std::vector<std::string>{"first"});
}

}  // namespace
}  // namespace kelvaran::settings
