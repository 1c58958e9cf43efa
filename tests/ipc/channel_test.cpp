// The channel on a running loop, with the test as the parent on a socket pair.
#include <algorithm>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>

#include <gtest/gtest.h>

#include "channel_harness.h"
#include "ipc/spsc_ring.h"
#include "support/log_capture.h"

namespace {

using namespace std::chrono_literals;

std::unique_ptr<ComChanMessage> Numbered(int i)
{
    return std::make_unique<ComChanJsonMessage>(nlohmann::json{{"n", i}});
}

std::vector<std::string> NumberedLines(std::vector<int> numbers)
{
    std::vector<std::string> lines;
    for (int i : numbers)
        lines.push_back("{\"n\":" + std::to_string(i) + "}");
    return lines;
}

TEST(PipeTransport, LinesGoBothWaysAndShutdownTakesEveryLayerDown)
{
    LogCapture log;
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.events, std::vector<std::string>{"connected"});
    EXPECT_TRUE(h.channel->isOpen());

    // A command split over two writes, with loop turns in between.
    h.write("{\"cmd\":\"set-bitrate\",\"va");
    h.loop.runFor(20ms);
    h.write("lue\":7}\n{\"cmd\":\"quit\"}\n");
    EXPECT_TRUE(h.loop.runUntil([&] { return h.hasEvent("quit"); }));
    EXPECT_EQ(h.events, (std::vector<std::string>{"connected", "bitrate 8 7", "quit"}));

    EXPECT_TRUE(h.channel->send(new ComChanJsonMessage(nlohmann::json{{"cmd", "bench"}, {"ok", true}})));
    h.channel->ping();
    ASSERT_TRUE(h.loop.runUntil([&] {
        h.pump();
        return h.receivedLines().size() == 2;
    }));
    EXPECT_EQ(h.received, "{\"cmd\":\"bench\",\"ok\":true}\n{\"cmd\":\"heartbeat\"}\n");

    EXPECT_TRUE(h.channel->shutdown(ComChanShutdownReason::Requested));
    EXPECT_FALSE(h.channel->isOpen());
    EXPECT_FALSE(h.channel->isActive());
    EXPECT_EQ(h.events.back(), "shutdown 0");
    EXPECT_TRUE(log.messages().empty()) << log.messages().front();

    // A write after the close fails with its log lines.
    EXPECT_FALSE(h.channel->sendNow(std::make_unique<HeartbeatComChanMessage>()));
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  "pipe: uv_pipe_send(m_UvUdpClient) error: -9 (EBADF:bad file descriptor)",
                                  "message: Send message failed (m_ScrachMessageBuffer, 20)",
                                  "message: message failed to be sent: HeartbeatComChanMessage",
                              }));
    EXPECT_EQ(h.loop.close(), 0);
}

TEST(PipeTransport, FailedStartIsReportedAndCanStillBeShutDown)
{
    LogCapture log;
    TestLoop loop;
    std::vector<int> reasons;
    ComChanChannel channel(
        1 << 20, [] { FAIL() << "connected after a failed start"; },
        [&](ComChanShutdownReason reason) { reasons.push_back(static_cast<int>(reason)); }, {}, {}, {}, {}, {});
    EXPECT_FALSE(channel.start(loop.get()));
    EXPECT_FALSE(channel.isOpen());
    EXPECT_TRUE(log.contains("pipe: uv_pipe_open() error: -9 (bad file descriptor)"));
    EXPECT_TRUE(log.contains("failed to start control channel"));
    // The layers that did start keep the loop alive until shutdown.
    EXPECT_TRUE(channel.isActive());
    EXPECT_TRUE(channel.shutdown(ComChanShutdownReason::Requested));
    EXPECT_EQ(reasons, std::vector<int>{0});
    EXPECT_EQ(loop.close(), 0);
}

// More than the socket buffer holds: the transport has to queue. Nothing may
// be cut, reordered, or cancelled by the shutdown that follows at once.
TEST(PipeTransport, QueuedWritesReachTheParentBeforeThePipeCloses)
{
    LogCapture log;
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    const int kMessages = 12;
    for (int i = 0; i < kMessages; ++i)
        ASSERT_TRUE(h.channel->send(new ComChanJsonMessage(nlohmann::json{{"i", i}, {"pad", std::string(60000, 'a' + i)}})));
    EXPECT_TRUE(h.channel->shutdown(ComChanShutdownReason::Requested));
    EXPECT_FALSE(h.hasEvent("shutdown 0")) << "shutdown reported while the report is still queued";
    EXPECT_TRUE(h.channel->isClosePending());

    ASSERT_TRUE(h.loop.runUntil([&] {
        h.pump();
        return h.hasEvent("shutdown 0");
    }));
    h.loop.runUntil([&] {
        h.pump();
        return false;
    }, 50ms);
    auto lines = h.receivedLines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kMessages));
    for (int i = 0; i < kMessages; ++i) {
        auto value = nlohmann::json::parse(lines[static_cast<size_t>(i)]);
        EXPECT_EQ(value["i"], i);
        EXPECT_EQ(value["pad"], std::string(60000, 'a' + i));
    }
    EXPECT_TRUE(log.messages().empty()) << log.messages().front();
    EXPECT_EQ(h.loop.close(), 0);
}

TEST(PipeTransport, ParentGoingAwayMidWriteLeavesNothingBehind)
{
    LogCapture log;
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    for (int i = 0; i < 12; ++i)
        h.channel->send(new ComChanJsonMessage(nlohmann::json{{"pad", std::string(60000, 'x')}}));
    h.loop.runFor(10ms);
    h.closeParentEnd();
    ASSERT_TRUE(h.loop.runUntil([&] { return h.hasEvent("shutdown 1"); }));
    EXPECT_EQ(log.count("ipc: receive error: "), 1u) << log.messages().front();
    EXPECT_FALSE(h.channel->isActive());
    EXPECT_EQ(h.loop.close(), 0);
}

TEST(MessageQueue, ThirtyOneFromAnotherThreadGoOutInOrderAndTheNextIsRefused)
{
    LogCapture log;
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    std::vector<bool> results;
    std::thread producer([&] {
        for (int i = 0; i < 32; ++i)
            results.push_back(h.channel->send(Numbered(i)));
    });
    producer.join();
    EXPECT_EQ(std::count(results.begin(), results.end(), true), 31);
    EXPECT_FALSE(results.back());
    EXPECT_EQ(log.count("message: error, ctrl message queue is full, could not send message: ComChanJsonMessage"),
              1u);

    ASSERT_TRUE(h.loop.runUntil([&] {
        h.pump();
        return h.receivedLines().size() >= 31;
    }));
    h.loop.runFor(20ms);
    h.pump();
    std::vector<int> numbers(31);
    std::iota(numbers.begin(), numbers.end(), 0);
    EXPECT_EQ(h.receivedLines(), NumberedLines(numbers));
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.loop.close(), 0);
}

// A message from another thread goes out promptly even when the loop has
// nothing else to do; a cancel from that thread then ends the run with every
// handle still alive.
TEST(MessageQueue, SendFromAnotherThreadWakesAnIdleLoopAndCancelEndsTheRun)
{
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    int cancelled = -1;
    std::thread producer([&] {
        std::this_thread::sleep_for(30ms);
        h.channel->send(Numbered(5));
        pollfd readable{h.parentEnd, POLLIN, 0};
        if (poll(&readable, 1, 5000) == 1)
            h.pump();
        cancelled = h.channel->cancel();
    });
    uv_run(h.loop.get(), UV_RUN_DEFAULT);
    producer.join();
    EXPECT_EQ(h.received, "{\"n\":5}\n");
    EXPECT_EQ(cancelled, 0);
    EXPECT_TRUE(h.channel->isActive());
    EXPECT_TRUE(h.channel->isOpen());
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.loop.close(), 0);
}

// Sent from outside the loop before start: queued, and written once the pipe
// is open, after what the loop thread sends at once. Sent after stop: never
// written, and freed with the channel (the leak checker watches this).
TEST(MessageQueue, MessagesQueuedBeforeStartGoOutAndAfterStopNever)
{
    LogCapture log;
    ChannelHarness h;
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(h.channel->send(Numbered(i)));
    h.loop.runFor(10ms);
    h.pump();
    EXPECT_EQ(h.received, "");

    ASSERT_TRUE(h.start());
    EXPECT_TRUE(h.channel->send(Numbered(3)));
    h.loop.runFor(20ms);
    h.pump();
    EXPECT_EQ(h.receivedLines(), NumberedLines({3, 0, 1, 2}));

    h.channel->shutdown(ComChanShutdownReason::Requested);
    h.received.clear();
    EXPECT_TRUE(h.channel->send(Numbered(4)));
    h.loop.runFor(20ms);
    h.pump();
    EXPECT_EQ(h.received, "");
    EXPECT_TRUE(log.messages().empty()) << log.messages().front();
    EXPECT_EQ(h.loop.close(), 0);
}

TEST(MessageQueue, OversizedMessageIsRefusedAndTheNextOneStillGoes)
{
    LogCapture log;
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    // {"k":"…"} plus newline: 65535 bytes fit, 65536 do not.
    EXPECT_TRUE(h.channel->send(new ComChanJsonMessage(nlohmann::json{{"k", std::string(65535 - 9, 'v')}})));
    EXPECT_FALSE(h.channel->send(new ComChanJsonMessage(nlohmann::json{{"k", std::string(65535 - 8, 'v')}})));
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  "message: task->write(m_ScrachMessageBuffer, 65535) error: -1",
                                  "message: message failed to be sent: ComChanJsonMessage",
                              }));
    EXPECT_TRUE(h.channel->send(Numbered(9)));
    ASSERT_TRUE(h.loop.runUntil([&] {
        h.pump();
        return h.receivedLines().size() == 2;
    }));
    EXPECT_EQ(h.receivedLines()[0].size(), 65534u);
    EXPECT_EQ(h.receivedLines()[1], "{\"n\":9}");
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.loop.close(), 0);
}

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

// One producer and one consumer hammering a small ring: every item arrives
// once and in order, across many wrap-arounds.
TEST(SpscRing, ProducerAndConsumerThreadsKeepOrder)
{
    constexpr int kItems = 20000;
    SpscRing<int, 4> ring;
    std::thread producer([&] {
        for (int i = 0; i < kItems; ++i) {
            auto item = std::make_unique<int>(i);
            while (!ring.tryPush(item))
                std::this_thread::yield();
        }
    });
    for (int expected = 0; expected < kItems;) {
        if (auto item = ring.tryPop()) {
            ASSERT_EQ(*item, expected++);
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_TRUE(ring.empty());
}

}  // namespace
