#include "platform/PagesAhead.h"

#include <cstdint>
#include <system_error>

namespace kelvaran::platform {

namespace {
constexpr std::uintptr_t kPage = 4096;
}  // namespace

PagesAhead::PagesAhead(const char* data, std::size_t size) : data_(data), size_(data ? size : 0) {
    if (size_ < kWorthwhileBytes || std::thread::hardware_concurrency() < 2) return;
    try {
        worker_ = std::thread([this] { touchPages(); });
    } catch (const std::system_error&) {
        // No thread to be had: the caller touches every page itself.
    }
}

PagesAhead::~PagesAhead() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    worker_.join();
}

void PagesAhead::claim(const char* end) {
    if (!worker_.joinable()) return;
    std::unique_lock lock(mutex_);
    // The terminator included.
    const std::size_t offset = end >= data_ ? static_cast<std::size_t>(end - data_) + 1 : 0;
    if (offset > claimed_) claimed_ = offset;
    idle_.wait(lock, [&] { return reading_ == kNotReading || reading_ >= claimed_; });
}

void PagesAhead::touchPages() {
    const auto begin = reinterpret_cast<std::uintptr_t>(data_);
    std::uintptr_t page = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = begin + size_;
    for (; page < end; page += kPage) {
        const std::size_t offset = page - begin;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            // Caught up by the caller: go on past what it has claimed.
            if (offset < claimed_) {
                if (claimed_ >= size_) return;
                page = ((begin + claimed_ + kPage - 1) & ~(kPage - 1)) - kPage;
                continue;
            }
            reading_ = offset;
        }
        // The memory is the caller's, mapped and not yet written: what is
        // read does not matter, only that the page has been reached.
        (void)*static_cast<const volatile unsigned char*>(static_cast<const void*>(data_ + offset));
        {
            std::lock_guard lock(mutex_);
            reading_ = kNotReading;
        }
        idle_.notify_all();
    }
}

}  // namespace kelvaran::platform
