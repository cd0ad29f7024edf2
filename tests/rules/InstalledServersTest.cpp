#include "rules/InstalledServers.h"
#include "tests/settings/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvaran::rules {
namespace {

using testing::TempFolder;

std::string keys(const ExceptionList& list) {
    std::string out;
    for (const auto& e : list.entries()) out += e.oleName + "=" + e.oleValue + ";";
    return out;
}

TEST(InstalledServers, AddsApplicationsWithAReadableInsertableDefault) {
    TempFolder dir;
    dir.write("HKEY_CLASSES_ROOT.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\.xls]\r\n@=\"Excel.Sheet.8\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Excel.Sheet.8\\Insertable]\r\n@=\"\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Visio.Drawing.11\\Insertable]\r\n@=\"\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\NoDefault.Thing\\Insertable]\r\n\"Other\"=\"x\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Plain\\Insertable]\r\n@=\"yes\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{1}\\Insertable]\r\n@=\"\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\.odd\\Insertable]\r\n@=\"\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Binary.Obj\\Insertable]\r\n@=hex:00\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\VISIO.Other\\Insertable]\r\n@=\"\"\r\n");
    settings::RegAccess reg(dir.path());
    ExceptionList list;
    std::string jpeg = "JPEG";
    list.AddToExceptionList("excel", jpeg);
    AddInstalledInsertable(list, reg);
    // excel keeps its value; a name without a dot is used whole; ".odd" gives an
    // empty key; a nested Insertable (under CLSID) is not looked at; any type of
    // readable default counts
    EXPECT_EQ(keys(list), "excel=JPEG;visio=ﾒﾀﾋﾟｸﾁｬ;plain=ﾒﾀﾋﾟｸﾁｬ;binary=ﾒﾀﾋﾟｸﾁｬ;");
}

TEST(InstalledServers, NamesWithLineBreaksNeverReachTheHive) {
    TempFolder dir;
    settings::RegAccess reg(dir.path());
    reg.WriteRegValue(settings::Root::HKEY_CLASSES_ROOT, "Cut\nName.App\\Insertable", "", std::string());
    EXPECT_FALSE(reg.CreateRegKey(settings::Root::HKEY_CLASSES_ROOT, std::string("Nul\0Name", 8)));
    reg.WriteRegValue(settings::Root::HKEY_CLASSES_ROOT, "Good.App\\Insertable", "bad\r\nname", std::string());
    ExceptionList list;
    AddInstalledInsertable(list, reg);
    EXPECT_EQ(keys(list), "");
    EXPECT_FALSE(dir.exists("HKEY_CLASSES_ROOT.reg"));
}

TEST(InstalledServers, ThousandsOfKeys) {
    TempFolder dir;
    std::string file = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int i = 0; i < 5000; ++i) {
        std::string name = "Server" + std::to_string(i % 2500) + "." + (i < 2500 ? "Document" : "Picture");
        file += "[HKEY_CLASSES_ROOT\\" + name + "]\r\n@=\"x\"\r\n\r\n";
        if (i % 10 == 0) file += "[HKEY_CLASSES_ROOT\\" + name + "\\Insertable]\r\n@=\"\"\r\n\r\n";
        if (i % 10 == 5) file += "[HKEY_CLASSES_ROOT\\" + name + "\\Insertable]\r\n\r\n";
    }
    dir.write("HKEY_CLASSES_ROOT.reg", file);
    settings::RegAccess reg(dir.path());
    ExceptionList list;
    AddInstalledInsertable(list, reg);
    // keys 0, 10, ..., 2490 from the first half; the second half repeats them
    ASSERT_EQ(list.size(), 250u);
    EXPECT_EQ(list.entries()[0].oleName, "server0");
    EXPECT_EQ(list.entries()[249].oleName, "server2490");
    EXPECT_EQ(list.ObjToImage("server5"), "ﾒﾀﾋﾟｸﾁｬ");
    EXPECT_EQ(list.size(), 250u);  // ObjToImage added nothing
}

}  // namespace
}  // namespace kelvaran::rules
