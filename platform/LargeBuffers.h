#pragma once

// Large buffers filled once and read many times: the bytes of a document of
// tens of megabytes and the pictures decoded from it.

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvaran::platform {

// Buffers of at least this many bytes are worth backing with large pages.
inline constexpr std::size_t kLargeBufferBytes = std::size_t{4} << 20;

// Asks the system to back the whole 2 MB blocks of [data, data + size) with
// large pages, so that filling the buffer takes one page fault a block instead
// of one every 4 KB.  Only a hint: it does nothing where the system has no
// such pages, for small buffers, or when it is refused.  Call it before the
// memory is first written; pages already there stay as they are.
void adviseLargePages(void* data, std::size_t size);

// Maps the whole pages of [data, data + size) at once, writable, where the
// system allows it: one call instead of a page fault every 4 KB when the
// buffer is then filled.  Only for memory about to be written whole.
void populate(void* data, std::size_t size);

// Keeps the allocator to as many memory arenas as the machine has cores (two
// at least) instead of eight per core.  The picture library's threads free
// and take buffers of megabytes for every picture; fewer arenas share that
// memory among the threads instead of each clearing pages of its own.  Call
// it first thing in main, before any thread starts.
void shareMemoryArenas();

// A string of `size` bytes (zeros), its memory advised as above before it is
// touched.
std::string largeString(std::size_t size);

// Reserves room for `capacity` bytes in `text` and advises the new memory as
// above; what `text` already holds is kept.
void reserveLarge(std::string& text, std::size_t capacity);

// A copy of `bytes` in memory advised as above: a picture or stream of
// megabytes taken out of the document that holds it.
std::string largeCopy(std::string_view bytes);

}  // namespace kelvaran::platform
