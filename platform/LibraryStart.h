#pragma once

#include <mutex>

namespace kelvaran::platform {

// Some libraries set their GLib types up on their first call with no lock of
// their own: libgsf's gsf_init, which libvips also calls while it starts.
// Started from two threads at once (the picture library starts aside while
// the first document is read), both register the same types and the loser
// is left with broken ones.  Every such start holds this one lock.
std::mutex& libraryStartLock();

}  // namespace kelvaran::platform
