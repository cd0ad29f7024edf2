#include "rules/ExceptionListFile.h"

#include "platform/ConfigDir.h"
#include "rules/IniFile.h"

namespace kelvaran::rules {

std::string exceptionListPath() { return platform::configDirectory() + "/ole.ini"; }

void LoadExceptionList(ExceptionList& list, const std::string& iniPath, const std::function<void()>& installedScan) {
    IniFile ini(iniPath);
    std::size_t found = 0;
    for (std::size_t i = 0; i < ExceptionList::kMaxEntries; ++i) {
        const std::string key = std::to_string(i);
        std::string name = ini.ReadIni("name", key, "");
        if (name.empty()) break;
        std::string value = ini.ReadIni("value", key, engine::kFormatMetafile);
        list.AddToExceptionList(name, value);
        ++found;
    }
    if (found == 0) AddDefaultExceptions(list);
    if (installedScan) installedScan();
}

void SaveExceptionList(const ExceptionList& list, const std::string& iniPath) {
    IniFile ini(iniPath);
    ini.holdWrites();
    const auto& entries = list.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string key = std::to_string(i);
        ini.WriteIni("name", key, entries[i].oleName);
        ini.WriteIni("value", key, entries[i].oleValue);
    }
    ini.flush();
}

}  // namespace kelvaran::rules
