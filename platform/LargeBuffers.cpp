#include "platform/LargeBuffers.h"

#include <sys/mman.h>

#include <cstdint>

namespace kelvaran::platform {

void adviseLargePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
    if (!data || size < kLargeBufferBytes) return;
    constexpr std::uintptr_t block = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + block - 1) & ~(block - 1);
    const std::uintptr_t last = (begin + size) & ~(block - 1);
    if (first >= last) return;
    // A refusal (no large pages configured, say) leaves ordinary pages.
    (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

void reserveLarge(std::string& text, std::size_t capacity) {
    if (capacity <= text.capacity()) return;
    text.reserve(capacity);
    // The held bytes were copied into the new memory and touched it; the
    // rest is untouched yet.
    adviseLargePages(text.data() + text.size(), text.capacity() - text.size());
}

std::string largeString(std::size_t size) {
    std::string text;
    reserveLarge(text, size);
    text.resize(size);
    return text;
}

}  // namespace kelvaran::platform
