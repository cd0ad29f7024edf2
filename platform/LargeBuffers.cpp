#include "platform/LargeBuffers.h"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>

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

namespace {

#ifdef MADV_POPULATE_WRITE
void populatePages(std::uintptr_t first, std::uintptr_t last) {
    // Refused by kernels before 5.14: the pages then come one fault at a time.
    if (first < last) (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
}
#endif

}  // namespace

void populate(void* data, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    constexpr std::uintptr_t page = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
    const std::uintptr_t last = (begin + size) & ~(page - 1);
    if (!data || first >= last) return;
    // A new page costs far more than filling it (the system clears it, and
    // a virtual machine's host may first have to provide it): a buffer of
    // half a megabyte or more is mapped half here and half beside, on a
    // second core where there is one.  Halves of a buffer in large pages
    // meet at a large page's edge.
    constexpr std::uintptr_t kShared = std::uintptr_t{512} << 10;
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    if (last - first >= kShared && std::thread::hardware_concurrency() >= 2) {
        const std::uintptr_t edge = last - first >= 2 * kLargePage ? kLargePage : page;
        const std::uintptr_t middle = (first + (last - first) / 2) & ~(edge - 1);
        if (middle > first) {
            try {
                std::thread beside(populatePages, middle, last);
                populatePages(first, middle);
                beside.join();
                return;
            } catch (const std::system_error&) {
                // No thread to be had: all of it here.
            }
        }
    }
    populatePages(first, last);
#else
    (void)data;
    (void)size;
#endif
}

void shareMemoryArenas() {
    const unsigned cores = std::thread::hardware_concurrency();
    (void)::mallopt(M_ARENA_MAX, static_cast<int>(std::clamp(cores, 2u, 64u)));
}

void reserveLarge(std::string& text, std::size_t capacity) {
    if (capacity <= text.capacity()) return;
    text.reserve(capacity);
    // The held bytes were copied into the new memory and touched it; the
    // rest is untouched yet.
    adviseLargePages(text.data() + text.size(), text.capacity() - text.size());
    populate(text.data() + text.size(), text.capacity() - text.size());
}

std::string largeString(std::size_t size) {
    std::string text;
    reserveLarge(text, size);
    text.resize(size);
    return text;
}

std::string largeCopy(std::string_view bytes) {
    std::string text;
    reserveLarge(text, bytes.size());
    text.append(bytes);
    return text;
}

}  // namespace kelvaran::platform
