#include "platform/AtomicFile.h"
#include "platform/LargeBuffers.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace kelvaran::platform {
namespace {

namespace fs = std::filesystem;

TEST(LargeBuffersTest, StringsKeepTheirBytesWhateverTheirSize) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{100}, kLargeBufferBytes - 1, kLargeBufferBytes + 4097,
                                   (std::size_t{9} << 20) + 7}) {
        SCOPED_TRACE(size);
        const std::string zeros = largeString(size);
        ASSERT_EQ(zeros.size(), size);
        EXPECT_EQ(zeros.find_first_not_of('\0'), std::string::npos);

        // Growing keeps what is held and makes room for the rest at once.
        std::string text = "head";
        reserveLarge(text, size);
        EXPECT_EQ(text, "head");
        EXPECT_GE(text.capacity(), size);
        const char* room = text.data();
        text.append(size > 4 ? size - 4 : 0, 'x');
        if (size > 4) {
            EXPECT_EQ(text.data(), room) << "the room taken was not enough";
        }
        EXPECT_EQ(text.substr(0, 4), "head");
        // Asking for less than there is changes nothing.
        const std::string before = text;
        reserveLarge(text, 1);
        EXPECT_EQ(text, before);
    }
    // A hint on memory that is not the start of a block, or none, is harmless.
    std::string odd(kLargeBufferBytes * 2, 'y');
    adviseLargePages(odd.data() + 3, odd.size() - 3);
    adviseLargePages(nullptr, kLargeBufferBytes * 2);
    EXPECT_EQ(odd.find_first_not_of('y'), std::string::npos);
}

TEST(LargeBuffersTest, MappingPagesAheadKeepsWhatTheyHold) {
    // Large enough to be mapped on two threads, and small; at odd offsets.
    for (const std::size_t size : {std::size_t{5000}, (std::size_t{6} << 20) + 123}) {
        SCOPED_TRACE(size);
        std::string text(size, '\0');
        for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 23);
        const std::string before = text;
        populate(text.data() + 1, text.size() - 1);
        populate(text.data(), text.size());
        EXPECT_EQ(text, before);
    }
    populate(nullptr, 1 << 20);
    std::string tiny = "ab";
    populate(tiny.data(), tiny.size());
    EXPECT_EQ(tiny, "ab");
}

TEST(LargeBuffersTest, CopiesHoldExactlyTheBytesGiven) {
    // Sizes around the ones that are mapped ahead, on two threads, and in
    // large pages; taken from the middle of a larger buffer, zeros included.
    const std::size_t largest = (std::size_t{9} << 20) + 11;
    std::string source(largest + 10, '\0');
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>((i * 40503u) >> 7);
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{512} << 10, (std::size_t{512} << 10) + 1,
                                   kLargeBufferBytes + 4097, largest}) {
        SCOPED_TRACE(size);
        const std::string_view piece(source.data() + 5, size);
        const std::string copy = largeCopy(piece);
        ASSERT_EQ(copy.size(), size);
        EXPECT_TRUE(copy == piece);
    }
}

TEST(LargeBuffersTest, LargeFilesAreReadExactly) {
    const fs::path folder = fs::temp_directory_path() / ("kelvaran-large-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    for (const std::size_t size : {kLargeBufferBytes, (std::size_t{6} << 20) + 4093}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        const std::string path = (folder / "large.bin").string();
        writeFileAtomically(path, bytes, Durability::Unsynced);
        const std::string back = readWholeFile(path);
        ASSERT_EQ(back.size(), size);
        EXPECT_TRUE(back == bytes);
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace kelvaran::platform
