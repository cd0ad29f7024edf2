#pragma once

// A buffer of megabytes filled from its start, its pages touched ahead of
// the filling on a second core.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace kelvaran::platform {

// The first access to each page of new memory costs far more than filling
// it: on some virtual machines several microseconds a page, even once the
// system has mapped it.  While the caller fills [data, data + size) from its
// start, a thread of its own reads one byte of each page from the start up,
// keeping clear of what the caller has claimed, so that the caller finds the
// pages ready.  The caller claims each piece before writing it; the thread
// never reads what has been claimed, so the two never touch the same bytes.
//
// Worth it only for large buffers and with a second core: otherwise no
// thread is started and claim() does nothing.
class PagesAhead {
public:
    // Buffers smaller than this are left to the caller alone.
    static constexpr std::size_t kWorthwhileBytes = std::size_t{512} << 10;

    PagesAhead(const char* data, std::size_t size);
    ~PagesAhead();
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;

    // The caller is about to write below `end`, and the terminator a string
    // puts at `end`: returns once the thread neither reads there nor will.
    void claim(const char* end);

    // Whether a thread was started.
    bool running() const { return worker_.joinable(); }

private:
    void touchPages();

    static constexpr std::size_t kNotReading = static_cast<std::size_t>(-1);

    const char* data_;
    std::size_t size_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::size_t claimed_ = 0;  // offset below which the caller writes
    std::size_t reading_ = kNotReading;  // offset of the page the thread is reading
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace kelvaran::platform
