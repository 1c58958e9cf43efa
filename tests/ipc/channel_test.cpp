// The channel on a running loop, with the test as the parent on a socket pair.
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "channel_harness.h"
#include "support/log_capture.h"

namespace {

using namespace std::chrono_literals;

// Commands mixed with bad, over-long and deeply nested lines, written in
// reads of random size while the loop runs: each command has its effect once,
// in order, each bad line costs one log line; then a reply and a heartbeat go
// out, and the parent leaving shuts the channel down for a receive error.
TEST(Channel, FloodOfLinesInReadsOfAnySizeThenTheParentLeaves)
{
    LogCapture log;
    ChannelHarness h;
    const std::pair<std::string, std::string> kinds[] = {
        {R"({"cmd":"quit"})", "quit"}, {R"({"cmd":"reboot-stream"})", "reboot-stream"}, {R"({"cmd":"restart-windows"})", "restart-windows"},
        {R"({"cmd":"set-bitrate","value":-7})", "bitrate 8 -7"}, {R"({"cmd":"set-colorspace","value":"situ"})", "colorspace other"},
        {R"({"cmd":"quit")", ""}, {"\xff{\"cmd\":\"quit\"}", ""}, {R"({"cmd":"set-colorspace","value":"ful"})", ""}};
    std::minstd_rand random(7);
    std::string stream;
    std::vector<std::string> expected = {"connected"};
    size_t bad = 0;
    for (int i = 0; i < 20000; ++i) {
        auto [line, event] = kinds[random() % std::size(kinds)];
        if (i == 5000 || i == 15000) {  // the longest line taken, and one a byte longer: dropped whole
            line = R"({"cmd":"reboot-stream","pad":")" + std::string(i == 5000 ? 65503 : 65504, 'p') + "\"}";
            event = i == 5000 ? "reboot-stream" : "";
        } else if (i == 10000) {  // nested deeper than any sane parser recursion
            line = R"({"cmd":"restart-windows","deep":)" + std::string(30000, '[') + std::string(30000, ']') + "}";
            event = "restart-windows";
        }
        stream += line + "\n";
        event.empty() ? void(++bad) : expected.push_back(event);
    }
    size_t written = 0;
    ASSERT_TRUE(h.runUntil([&] {
        ssize_t n = ::write(h.parentEnd, stream.data() + written, std::min<size_t>(stream.size() - written, 1 + random() % 3000));
        written += n > 0 ? size_t(n) : 0;
        return h.events.size() == expected.size();
    }));
    EXPECT_EQ(h.events, expected);
    EXPECT_EQ(log.messages().size(), bad);
    EXPECT_EQ(log.count("ipc: line longer than 65535 bytes dropped"), 1u);

    EXPECT_TRUE(h.channel->send(new ComChanJsonMessage(nlohmann::json{{"cmd", "bench"}, {"ok", true}})));
    h.channel->ping();
    EXPECT_TRUE(h.runUntil([&] { return h.lines() == 2; }));
    EXPECT_EQ(h.received, "{\"cmd\":\"bench\",\"ok\":true}\n{\"cmd\":\"heartbeat\"}\n");
    h.closeParentEnd();
    ASSERT_TRUE(h.runUntil([&] { return h.events.size() > expected.size(); }));
    EXPECT_EQ(h.events.back(), "shutdown 1");
    EXPECT_FALSE(h.channel->isActive());
    EXPECT_EQ(h.closeLoop(), 0);
}

// More than the socket holds, then shutdown at once: nothing may be cut,
// reordered or cancelled, and the shutdown is reported once all went out.
TEST(Channel, QueuedWritesReachTheParentBeforeThePipeCloses)
{
    ChannelHarness h;
    for (int i = 0; i < 12; ++i)
        h.channel->send(new ComChanJsonMessage(nlohmann::json{{"pad", std::string(60000, char('a' + i))}}));
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.events.back(), "connected");
    ASSERT_TRUE(h.runUntil([&] { return h.events.back() == "shutdown 0" && h.lines() == 12; }));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(h.received.substr(size_t(i) * 60011, 60011), "{\"pad\":\"" + std::string(60000, char('a' + i)) + "\"}\n");
    EXPECT_EQ(h.closeLoop(), 0);
}

TEST(Channel, HeartbeatEveryPeriodFromOnePeriodAfterStartUntilShutdown)
{
    ChannelHarness h(30);
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(h.runUntil([&] { return h.lines() >= 3; }));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 88ms);
    EXPECT_EQ(h.received.substr(0, 40), "{\"cmd\":\"heartbeat\"}\n{\"cmd\":\"heartbeat\"}\n");
    h.channel->shutdown(ComChanShutdownReason::Requested);
    h.received.clear();
    h.runUntil([] { return false; }, 90ms);
    EXPECT_EQ(h.received, "");
    EXPECT_EQ(h.closeLoop(), 0);
}

// 32 slots keep one free: 31 messages from another thread wait in order, the next is refused.
TEST(Channel, ThirtyOneQueuedFromAnotherThreadGoOutInOrder)
{
    LogCapture log;
    ChannelHarness h;
    std::vector<bool> accepted;
    std::thread([&] {
        for (int i = 0; i < 32; ++i)
            accepted.push_back(h.channel->send(new ComChanJsonMessage(nlohmann::json{{"n", i}})));
    }).join();
    EXPECT_EQ(std::count(accepted.begin(), accepted.end(), true), 31);
    EXPECT_FALSE(accepted.back());
    EXPECT_EQ(log.count("message: error, ctrl message queue is full"), 1u);
    ASSERT_TRUE(h.runUntil([&] { return h.lines() >= 31; }));
    std::string expected;
    for (int i = 0; i < 31; ++i)
        expected += "{\"n\":" + std::to_string(i) + "}\n";
    EXPECT_EQ(h.received, expected);
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.closeLoop(), 0);
}

}  // namespace
