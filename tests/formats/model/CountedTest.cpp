#include "formats/model/Counted.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace kelvaran::formats::model {
namespace {

// Counts the values alive, so that a test sees when one is freed.
struct Tracked {
    static inline int alive = 0;
    explicit Tracked(std::string v) : value(std::move(v)) { ++alive; }
    Tracked(const Tracked& other) : value(other.value) { ++alive; }
    Tracked(Tracked&& other) noexcept : value(std::move(other.value)) { ++alive; }
    Tracked& operator=(const Tracked&) = delete;
    ~Tracked() { --alive; }
    std::string value;
};

TEST(CountedTest, HoldersShareOneValueAndTheLastOneFreesIt) {
    Tracked::alive = 0;
    {
        Counted<Tracked> none;
        EXPECT_FALSE(none);
        EXPECT_EQ(none.get(), nullptr);
        EXPECT_EQ(none.holders(), 0);

        auto first = Counted<Tracked>::make(std::string("shared"));
        EXPECT_EQ(Tracked::alive, 1);
        Counted<Tracked> second = first;
        Counted<Tracked> third;
        third = second;
        EXPECT_EQ(first.holders(), 3);
        EXPECT_TRUE(first == third);
        EXPECT_EQ(third->value, "shared");
        EXPECT_EQ(first.sole(), nullptr);  // others hold it: nobody may change it

        third = third;  // NOLINT(clang-diagnostic-self-assign-overloaded): self-assignment keeps the value
        EXPECT_EQ(first.holders(), 3);
        Counted<Tracked> moved = std::move(second);
        EXPECT_FALSE(second);  // NOLINT(bugprone-use-after-move): a moved-from holder holds nothing
        EXPECT_EQ(first.holders(), 3);
        moved = std::move(moved);
        EXPECT_EQ(moved->value, "shared");

        auto other = Counted<Tracked>::make(std::string("other"));
        EXPECT_FALSE(other == first);
        ASSERT_NE(other.sole(), nullptr);
        other.sole()->value = "changed";
        EXPECT_EQ(other->value, "changed");
        EXPECT_EQ(Tracked::alive, 2);
        other = first;  // the last holder of "changed" lets go
        EXPECT_EQ(Tracked::alive, 1);
        EXPECT_EQ(first.holders(), 4);
        first = Counted<Tracked>{};
        third = Counted<Tracked>{};
        moved = Counted<Tracked>{};
        EXPECT_EQ(Tracked::alive, 1);
        ASSERT_NE(other.sole(), nullptr);
    }
    EXPECT_EQ(Tracked::alive, 0);
}

TEST(CountedTest, CopiesAndDropsOnSeveralThreadsFreeTheValueOnce) {
    Tracked::alive = 0;
    {
        auto value = Counted<Tracked>::make(std::string("threads"));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([value] {
                for (int i = 0; i < 20000; ++i) {
                    Counted<Tracked> copy = value;
                    Counted<Tracked> again;
                    again = copy;
                }
            });
        }
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(value.holders(), 1);
        EXPECT_EQ(Tracked::alive, 1);
    }
    EXPECT_EQ(Tracked::alive, 0);
}

}  // namespace
}  // namespace kelvaran::formats::model
