#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>

#include <gtest/gtest.h>

#include "channel_harness.h"
#include "support/log_capture.h"

namespace {

using namespace std::chrono_literals;

std::unique_ptr<ComChanMessage> Numbered(int i)
{
    return std::make_unique<ComChanJsonMessage>(nlohmann::json{{"n", i}});
}

std::vector<std::string> NumberedLines(int from, int to)
{
    std::vector<std::string> lines;
    for (int i = from; i < to; ++i)
        lines.push_back("{\"n\":" + std::to_string(i) + "}");
    return lines;
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
    EXPECT_EQ(h.receivedLines(), NumberedLines(0, 31));
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.loop.close(), 0);
}

// A message from another thread goes out promptly even when the loop has
// nothing else to do: the wake-up makes it run the drain.
TEST(MessageQueue, SendFromAnotherThreadWakesAnIdleLoop)
{
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    std::string seen;
    std::thread producer([&] {
        std::this_thread::sleep_for(30ms);
        h.channel->send(Numbered(5));
        pollfd readable{h.sockets.parentEnd, POLLIN, 0};
        if (poll(&readable, 1, 5000) == 1)
            seen = h.sockets.readAvailable();
        h.channel->cancel();
    });
    uv_run(h.loop.get(), UV_RUN_DEFAULT);
    producer.join();
    EXPECT_EQ(seen, "{\"n\":5}\n");
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.loop.close(), 0);
}

TEST(MessageQueue, MessagesSentBeforeStartGoOutOnceThePipeIsOpen)
{
    ChannelHarness h;
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(h.channel->send(Numbered(i)));
    h.loop.runFor(10ms);
    h.pump();
    EXPECT_EQ(h.received, "");

    ASSERT_TRUE(h.start());
    EXPECT_TRUE(h.channel->send(Numbered(3)));  // loop thread now: written at once, ahead of the queue
    h.loop.runFor(20ms);
    h.pump();
    auto expected = NumberedLines(3, 4);
    auto queued = NumberedLines(0, 3);
    expected.insert(expected.end(), queued.begin(), queued.end());
    EXPECT_EQ(h.receivedLines(), expected);
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_EQ(h.loop.close(), 0);
}

TEST(MessageQueue, SendAfterStopIsNeverWritten)
{
    LogCapture log;
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_TRUE(h.channel->send(Numbered(1)));
    h.loop.runFor(20ms);
    h.pump();
    EXPECT_EQ(h.received, "");
    EXPECT_TRUE(log.messages().empty());
    EXPECT_EQ(h.loop.close(), 0);
    // The queued message is destroyed with the channel (the leak checker
    // watches this under the sanitizers).
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

}  // namespace
