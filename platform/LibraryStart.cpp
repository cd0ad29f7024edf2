#include "platform/LibraryStart.h"

namespace kelvaran::platform {

std::mutex& libraryStartLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace kelvaran::platform
