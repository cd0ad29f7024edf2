#include "rules/InstalledServers.h"

namespace kelvaran::rules {

void AddInstalledInsertable(ExceptionList& list, settings::RegAccess& registry) {
    using settings::Root;
    for (const std::string& name : registry.ListRegSubKeys(Root::HKEY_CLASSES_ROOT)) {
        if (!registry.RegValueReadable(Root::HKEY_CLASSES_ROOT, name + "\\Insertable", "")) continue;
        std::string key = name.substr(0, name.find_first_of(std::string("\0\n\r", 3)));
        key = key.substr(0, key.find('.'));
        std::string value = engine::kFormatMetafile;
        list.AddToExceptionList(key, value);
    }
}

}  // namespace kelvaran::rules
