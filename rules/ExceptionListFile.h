#pragma once

#include "rules/ExceptionList.h"

#include <functional>
#include <string>

namespace kelvaran::rules {

// Where the exception list is kept: "ole.ini" in the configuration folder.
std::string exceptionListPath();

// Fills the list from the file: the entries at keys "0", "1", ... of the
// sections "name" and "value", up to the first missing or empty name; the
// built-in table when the file holds none; then `installedScan` (the format
// dialog's ShowInstalledInsertable), which may be empty.
void LoadExceptionList(ExceptionList& list, const std::string& iniPath, const std::function<void()>& installedScan);

// Writes every entry at its position.  Keys past the current count keep what
// they held.  Silent when the file cannot be written.
void SaveExceptionList(const ExceptionList& list, const std::string& iniPath);

}  // namespace kelvaran::rules
