#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "channel_harness.h"
#include "support/log_capture.h"

namespace {

using namespace std::chrono_literals;

TEST(PipeTransport, MessagesLeaveAsOneLineEach)
{
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.events, std::vector<std::string>{"connected"});
    EXPECT_TRUE(h.channel->isOpen());

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
    EXPECT_EQ(h.loop.close(), 0);
}

// Bytes the parent writes in pieces, with loop turns in between, reach the
// protocol as whole lines.
TEST(PipeTransport, CommandsSurviveAnyChunking)
{
    struct Case {
        const char* name;
        std::vector<std::string> writes;
        std::vector<std::string> events;
        size_t parseErrors;
    } cases[] = {
        {"two in one write", {"{\"cmd\":\"quit\"}\n{\"cmd\":\"reboot-stream\"}\n"}, {"quit", "reboot-stream"}, 0},
        {"split over two", {"{\"cmd\":\"qu", "it\"}\n"}, {"quit"}, 0},
        {"split over three", {"{\"cmd\":", "\"set-bitrate\",\"va", "lue\":7}\n"}, {"bitrate 8 7"}, 0},
        {"crlf, bom, empty line",
         {"\xEF\xBB\xBF{\"cmd\":\"quit\"}\r\n", "\n", "{\"cmd\":\"restart-windows\"}\r\n"},
         {"quit", "restart-windows"},
         1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        ChannelHarness h;
        ASSERT_TRUE(h.start());
        for (auto& write : c.writes) {
            h.write(write);
            h.loop.runFor(20ms);
        }
        std::vector<std::string> commands(h.events.begin() + 1, h.events.end());
        EXPECT_EQ(commands, c.events);
        EXPECT_EQ(log.count("ipc: error parsing json..."), c.parseErrors);
        h.channel->shutdown(ComChanShutdownReason::Requested);
    }
}

TEST(PipeTransport, OversizedLineCostsOnlyItself)
{
    struct Case {
        size_t padding;
        bool handled;
    } cases[] = {{65000, true}, {70000, false}, {300000, false}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.padding);
        LogCapture log;
        ChannelHarness h;
        ASSERT_TRUE(h.start());
        std::string big = "{\"cmd\":\"quit\",\"pad\":\"" + std::string(c.padding, 'p') + "\"}\n";
        h.write(big + "{\"cmd\":\"reboot-stream\"}\n");
        ASSERT_TRUE(h.loop.runUntil([&] { return h.hasEvent("reboot-stream"); }));
        EXPECT_EQ(h.hasEvent("quit"), c.handled);
        EXPECT_EQ(log.count("ipc: line longer than 65535 bytes dropped"), c.handled ? 0u : 1u);
        EXPECT_TRUE(h.channel->isOpen());
        h.channel->shutdown(ComChanShutdownReason::Requested);
    }
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

TEST(PipeTransport, WriteAfterCloseFailsWithItsLogLines)
{
    LogCapture log;
    ChannelHarness h;
    ASSERT_TRUE(h.start());
    h.channel->shutdown(ComChanShutdownReason::Requested);
    EXPECT_FALSE(h.channel->sendNow(std::make_unique<HeartbeatComChanMessage>()));
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  "pipe: uv_pipe_send(m_UvUdpClient) error: -9 (EBADF:bad file descriptor)",
                                  "message: Send message failed (m_ScrachMessageBuffer, 20)",
                                  "message: message failed to be sent: HeartbeatComChanMessage",
                              }));
    EXPECT_EQ(h.loop.close(), 0);
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
    h.sockets.closeParentEnd();
    ASSERT_TRUE(h.loop.runUntil([&] { return h.hasEvent("shutdown 1"); }));
    EXPECT_EQ(log.count("ipc: receive error: "), 1u) << log.messages().front();
    EXPECT_FALSE(h.channel->isActive());
    EXPECT_EQ(h.loop.close(), 0);
}

}  // namespace
