#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/spsc_ring.h"

namespace {

TEST(SpscRing, HoldsOneLessThanItsSlotsAndKeepsRefusedItems)
{
    SpscRing<int, 32> ring;
    for (int i = 0; i < 31; ++i) {
        auto item = std::make_unique<int>(i);
        ASSERT_TRUE(ring.tryPush(item));
        EXPECT_EQ(item, nullptr);
    }
    auto extra = std::make_unique<int>(99);
    EXPECT_FALSE(ring.tryPush(extra));
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(*extra, 99);

    for (int i = 0; i < 31; ++i) {
        auto item = ring.tryPop();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(*item, i);
    }
    EXPECT_EQ(ring.tryPop(), nullptr);
    EXPECT_TRUE(ring.empty());
}

// One producer and one consumer hammering a small ring: every item arrives
// once and in order, across many wrap-arounds.
TEST(SpscRing, ProducerAndConsumerThreadsKeepOrder)
{
    constexpr int kItems = 50000;
    SpscRing<int, 4> ring;
    std::thread producer([&] {
        for (int i = 0; i < kItems; ++i) {
            auto item = std::make_unique<int>(i);
            while (!ring.tryPush(item))
                std::this_thread::yield();
        }
    });
    int expected = 0;
    while (expected < kItems) {
        if (auto item = ring.tryPop()) {
            ASSERT_EQ(*item, expected);
            ++expected;
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_TRUE(ring.empty());
}

TEST(SpscRing, ItemsLeftInTheRingAreDestroyedWithIt)
{
    auto tracker = std::make_shared<int>(0);
    {
        SpscRing<std::shared_ptr<int>, 8> ring;
        for (int i = 0; i < 5; ++i) {
            auto item = std::make_unique<std::shared_ptr<int>>(tracker);
            ASSERT_TRUE(ring.tryPush(item));
        }
        EXPECT_EQ(tracker.use_count(), 6);
    }
    EXPECT_EQ(tracker.use_count(), 1);
}

}  // namespace
