#include "platform/Deadline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace kelvaran::platform {
namespace {

std::string failureOf() {
    try {
        checkDeadline();
    } catch (const DeadlineExceeded& late) {
        return late.what();
    }
    return {};
}

TEST(DeadlineTest, NothingIsLateWithoutADeadline) {
    EXPECT_FALSE(deadlinePassed());
    EXPECT_NO_THROW(checkDeadline());
}

TEST(DeadlineTest, APassedDeadlineSaysWhatTookTooLong) {
    {
        const Deadline deadline(0, "converting the object");
        EXPECT_TRUE(deadlinePassed());
        EXPECT_EQ(failureOf(), "converting the object took longer than 0 s");
    }
    EXPECT_FALSE(deadlinePassed());  // over with its scope
    {
        const Deadline deadline(2.5, "drawing");
        EXPECT_FALSE(deadlinePassed());
    }
}

TEST(DeadlineTest, TheEarlierOfTwoDeadlinesIsInForce) {
    const Deadline outer(1e6, "the run");
    EXPECT_FALSE(deadlinePassed());
    {
        const Deadline inner(0, "the picture");
        EXPECT_EQ(failureOf(), "the picture took longer than 0 s");
    }
    EXPECT_FALSE(deadlinePassed());  // the outer one again
    {
        const Deadline first(0, "the first");
        const Deadline later(1e6, "the second");  // cannot put the first off
        EXPECT_EQ(failureOf(), "the first took longer than 0 s");
    }
}

TEST(DeadlineTest, TheBudgetOfAPictureComesFromTheEnvironment) {
    std::optional<std::string> saved;
    if (const char* old = std::getenv("KELVARAN_PICTURE_SECONDS")) saved = old;
    ::unsetenv("KELVARAN_PICTURE_SECONDS");
    EXPECT_EQ(pictureSecondsBudget(), kDefaultPictureSeconds);
    ::setenv("KELVARAN_PICTURE_SECONDS", "0.25", 1);
    EXPECT_EQ(pictureSecondsBudget(), 0.25);
    for (const char* bad : {"", "0", "-3", "ten", "2s", "inf"}) {
        ::setenv("KELVARAN_PICTURE_SECONDS", bad, 1);
        EXPECT_EQ(pictureSecondsBudget(), kDefaultPictureSeconds) << bad;
    }
    if (saved) {
        ::setenv("KELVARAN_PICTURE_SECONDS", saved->c_str(), 1);
    } else {
        ::unsetenv("KELVARAN_PICTURE_SECONDS");
    }
}

}  // namespace
}  // namespace kelvaran::platform
