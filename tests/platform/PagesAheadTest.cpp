#include "platform/LargeBuffers.h"
#include "platform/PagesAhead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

namespace kelvaran::platform {
namespace {

// Fills `text` (room reserved, empty) to `size` bytes a piece at a time,
// claiming each piece first, as the readers do.
void fillClaiming(std::string& text, std::size_t size, std::size_t piece, PagesAhead& ahead) {
    for (std::size_t at = 0; at < size; at += piece) {
        const std::size_t n = std::min(piece, size - at);
        ahead.claim(text.data() + at + n);
        for (std::size_t i = 0; i < n; ++i) text.push_back(static_cast<char>('A' + (at + i) % 26));
    }
}

TEST(PagesAheadTest, BuffersFilledBehindItHoldWhatWasWritten) {
    // Below the size worth a thread, just above it, and several megabytes at
    // an odd size; pieces smaller and larger than a page.
    for (const std::size_t size : {std::size_t{1000}, PagesAhead::kWorthwhileBytes + 1, (std::size_t{5} << 20) + 77}) {
        for (const std::size_t piece : {std::size_t{1000}, std::size_t{32} << 10}) {
            SCOPED_TRACE(testing::Message() << size << " bytes in pieces of " << piece);
            std::string text;
            reserveLarge(text, size);
            const char* room = text.data();
            {
                PagesAhead ahead(text.data(), text.capacity());
                EXPECT_EQ(ahead.running(), size >= PagesAhead::kWorthwhileBytes &&
                                               std::thread::hardware_concurrency() >= 2);
                fillClaiming(text, size, piece, ahead);
            }
            ASSERT_EQ(text.data(), room) << "the room reserved was not enough";
            ASSERT_EQ(text.size(), size);
            std::size_t wrong = 0;
            for (std::size_t i = 0; i < size; ++i) wrong += text[i] != static_cast<char>('A' + i % 26);
            EXPECT_EQ(wrong, 0u);
        }
    }
}

TEST(PagesAheadTest, OddClaimsAndAnEarlyEndAreHarmless) {
    std::string text;
    reserveLarge(text, std::size_t{4} << 20);
    {
        // Ended at once, with nothing claimed: the thread stops.
        PagesAhead ahead(text.data(), text.capacity());
    }
    {
        PagesAhead ahead(text.data(), text.capacity());
        ahead.claim(text.data());                     // nothing
        ahead.claim(text.data() + text.capacity());     // all of it
        ahead.claim(text.data() + 10);                // less than before
        text.assign(text.capacity(), 'z');
    }
    EXPECT_EQ(text.find_first_not_of('z'), std::string::npos);
    PagesAhead none(nullptr, std::size_t{8} << 20);
    EXPECT_FALSE(none.running());
    none.claim(nullptr);
}

}  // namespace
}  // namespace kelvaran::platform
