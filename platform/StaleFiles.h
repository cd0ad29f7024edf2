#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kelvaran::platform {

// Files that a run leaves behind only when it is killed on its way: the
// partial copies written beside a target before the rename (".kelvaran-"
// and six characters), the scratch documents in the temporary folder
// ("rad", five hexadecimal digits, ".tmp." and doc or rtf) and the files of
// the --jobs workers ("kelvaran-job-" and six characters).
bool isPartialCopyName(const std::string& name);
bool isScratchFileName(const std::string& name);

// How old such a file must be before another run takes it for a leftover.
inline constexpr std::chrono::hours kStaleAfter{24};

// Removes from `folder` (not below it) every regular file whose name
// `matches`, that belongs to this user, was last written more than `age` ago
// and that no process holds locked (the files of a live run are locked while
// they are open).  Returns how many were removed; a folder that cannot be
// read, or a file that cannot be removed, is passed over.
int removeStaleFiles(const std::string& folder, const std::function<bool(const std::string&)>& matches,
                     std::chrono::seconds age = kStaleAfter);

}  // namespace kelvaran::platform
