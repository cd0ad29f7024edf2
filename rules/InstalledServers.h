#pragma once

#include "rules/ExceptionList.h"
#include "settings/RegAccess.h"

namespace kelvaran::rules {

// Adds, with the metafile format, the application key of every subkey of
// HKEY_CLASSES_ROOT whose "Insertable" subkey has a readable default value:
// the name cut at its first NUL, LF or CR, then before its first ".".
void AddInstalledInsertable(ExceptionList& list, settings::RegAccess& registry);

}  // namespace kelvaran::rules
