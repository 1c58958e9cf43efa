#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/spsc_ring.h"

namespace {

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

}  // namespace
