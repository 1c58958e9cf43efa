#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "channel_harness.h"

namespace {

using namespace std::chrono_literals;

TEST(Heartbeat, OnePerPeriodFromOnePeriodAfterStartAndNoneAfterShutdown)
{
    const uint32_t kPeriodMs = 40;
    ChannelHarness h(kPeriodMs);
    ASSERT_TRUE(h.start());
    auto started = std::chrono::steady_clock::now();

    std::vector<std::chrono::steady_clock::duration> arrivals;
    h.loop.runUntil([&] {
        size_t before = h.receivedLines().size();
        h.pump();
        for (size_t i = before; i < h.receivedLines().size(); ++i)
            arrivals.push_back(std::chrono::steady_clock::now() - started);
        return arrivals.size() >= 4;
    });
    ASSERT_EQ(arrivals.size(), 4u);
    for (auto& line : h.receivedLines())
        EXPECT_EQ(line, "{\"cmd\":\"heartbeat\"}");
    // The n-th heartbeat cannot leave before n periods; libuv delays late
    // ticks instead of doubling them.
    for (size_t i = 0; i < arrivals.size(); ++i)
        EXPECT_GE(arrivals[i], std::chrono::milliseconds(kPeriodMs * (i + 1)) - 2ms) << i;

    h.channel->shutdown(ComChanShutdownReason::Requested);
    h.received.clear();
    h.loop.runFor(std::chrono::milliseconds(kPeriodMs * 3));
    h.pump();
    EXPECT_EQ(h.received, "");
    EXPECT_EQ(h.loop.close(), 0);
}

TEST(Cancel, SignalFromAnotherThreadEndsTheLoopRun)
{
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    std::thread canceller([&] {
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(h.channel->cancel(), 0);
    });
    uv_run(h.loop.get(), UV_RUN_DEFAULT);
    canceller.join();
    // The run ended although every handle is still alive.
    EXPECT_TRUE(h.channel->isActive());
    EXPECT_TRUE(h.channel->isOpen());
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.loop.close(), 0);
}

}  // namespace
