// The channel on a running loop, with the test as the parent on a socket pair.
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <uv.h>

#include "ipc/com_chan_channel.h"
#include "support/log_capture.h"

namespace {

using namespace std::chrono_literals;

// A started channel on its own loop and one end of a socket pair, whose every
// callback appends what it saw to `events`; the test plays the parent on the
// other, non-blocking end.
struct ChannelHarness {
    explicit ChannelHarness(uint32_t pingMs = ComChanChannel::kPingIntervalMs)
    {
        int fds[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        fcntl(parentEnd = fds[1], F_SETFL, O_NONBLOCK);
        uv_loop_init(&loop);
        auto record = [this](std::string event) { events.push_back(std::move(event)); };
        channel = std::make_unique<ComChanChannel>(
            fds[0], [=] { record("connected"); }, [=](ComChanShutdownReason why) { record("shutdown " + std::to_string(int(why))); },
            [=](uint8_t kind, int32_t value) {
                if (value == 13)  // a callback that throws must cost only its own line
                    throw std::runtime_error("refused");
                record("bitrate " + std::to_string(kind) + " " + std::to_string(value));
            },
            [=] { record("reboot-stream"); }, [=] { record("restart-windows"); }, [=] { record("quit"); },
            [=](bool full) { record(full ? "colorspace full" : "colorspace other"); }, pingMs);
        channel->start(&loop);
    }
    // Every handle must be closed once the channel is down.
    ~ChannelHarness()
    {
        if (parentEnd >= 0)
            ::close(parentEnd);
        for (int turn = 0; turn < 4; ++turn)
            uv_run(&loop, UV_RUN_NOWAIT);
        EXPECT_EQ(uv_loop_close(&loop), 0);
    }
    // Turns the loop, collecting what the parent receives if it reads, until `done` holds or the limit passes.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        auto deadline = std::chrono::steady_clock::now() + limit;
        char buffer[65536];
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            uv_run(&loop, UV_RUN_NOWAIT);
            for (ssize_t n; parentReads && parentEnd >= 0 && (n = ::read(parentEnd, buffer, sizeof buffer)) > 0;)
                received.append(buffer, size_t(n));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
    size_t lines() const { return size_t(std::count(received.begin(), received.end(), '\n')); }

    uv_loop_t loop{};
    int parentEnd = -1;
    bool parentReads = true;
    std::vector<std::string> events;
    std::unique_ptr<ComChanChannel> channel;
    std::string received;
};

const std::string kJsonError = "ipc: error parsing json... (";
// A command line, the event it causes and the start of the one log line it costs, if any.
const struct {
    std::string line, event, log;
} kLines[] = {
    {R"({"cmd":"quit"})", "quit", ""},
    {R"({"cmd":"reboot-stream"})" "\r", "reboot-stream", ""},
    {R"({"cmd":"set-bitrate","value":-2.9})", "bitrate 8 -2", ""},
    {R"({"cmd":"set-bitrate","value":4294967297})", "bitrate 8 1", ""},
    {R"({"cmd":"set-bitrate","value":1e20})", "", kJsonError + "set-bitrate value out of range)"},
    {R"({"cmd":"set-bitrate","value":13})", "", kJsonError + "refused)"},
    {R"({"cmd":"set-colorspace","value":"full"})", "colorspace full", ""},
    {R"({"cmd":"set-colorspace","value":"situ"})", "colorspace other", ""},
    {R"({"cmd":"QUIT"})", "", ""},
    {"[1,2]", "", kJsonError + "[json.exception.type_error.305]"},
    {R"({"cmd":"quit"} {"cmd":"quit"})", "", kJsonError + "[json.exception.parse_error.101]"},
    // Sent once each: the longest line taken, one a byte longer, and one nested deeper than any sane parser recursion.
    {R"({"cmd":"reboot-stream","pad":")" + std::string(65503, 'p') + "\"}", "reboot-stream", ""},
    {R"({"cmd":"reboot-stream","pad":")" + std::string(65504, 'p') + "\"}", "", "ipc: line longer than 65535 bytes dropped"},
    {R"({"cmd":"restart-windows","deep":)" + std::string(30000, '[') + std::string(30000, ']') + "}", "restart-windows", ""},
};

// The table's lines at random, the long ones once each, written in reads of
// random size while the loop runs: each line has its effect once, in order.
// The harness then leaves as the parent: the channel must close every
// handle, the heartbeat's timer included (the end to end tests check the
// reason it gives).
TEST(Channel, FloodOfLinesInReadsOfAnySizeThenTheParentLeaves)
{
    LogCapture log;
    auto started = std::chrono::steady_clock::now();
    ChannelHarness h(30);
    std::minstd_rand random(7);
    std::string stream;
    std::vector<std::string> events = {"connected"}, logs;
    for (int i = 1; i < 20000; ++i) {
        const auto& row = i % 5000 ? kLines[random() % (std::size(kLines) - 3)] : kLines[std::size(kLines) - 4 + i / 5000];
        stream += row.line + "\n";
        if (!row.event.empty())
            events.push_back(row.event);
        if (!row.log.empty())
            logs.push_back(row.log);
    }
    stream += kLines[0].line + "\n";  // the last line done, so were all before it
    events.push_back(kLines[0].event);
    size_t written = 0;
    ASSERT_TRUE(h.runUntil([&] {
        ssize_t n = ::write(h.parentEnd, stream.data() + written, std::min<size_t>(stream.size() - written, 1 + random() % 3000));
        written += n > 0 ? size_t(n) : 0;
        return h.events.size() >= events.size();
    }));
    EXPECT_EQ(h.events, events);
    const std::vector<std::string> messages = log.messages();
    ASSERT_EQ(messages.size(), logs.size());
    for (size_t i = 0; i < logs.size(); ++i)
        ASSERT_TRUE(messages[i].starts_with(logs[i])) << messages[i] << "\nis not\n" << logs[i];
    // Meanwhile a heartbeat went out every period, the first one period after start.
    ASSERT_TRUE(h.runUntil([&] { return h.lines() >= 3; }));
    EXPECT_LE(h.lines(), size_t((std::chrono::steady_clock::now() - started) / 29ms));
    EXPECT_EQ(h.received.substr(0, 40), "{\"cmd\":\"heartbeat\"}\n{\"cmd\":\"heartbeat\"}\n");
}

// 32 slots keep one free: of 32 messages from another thread, 31 wait in
// order and the last is refused. They are more than the socket holds; then
// shutdown at once: a parent that reads gets all, uncut, and one that never
// reads costs the child at most the close wait of about 5 s. Either way the
// shutdown is reported last. What the loop thread sends meanwhile goes out
// after what was queued, even before the loop turns.
TEST(Channel, QueuedFromAnotherThreadThenShutdownReachAReadingParentWithinTheCloseWait)
{
    for (bool reads : {true, false}) {
        LogCapture log;
        ChannelHarness h;
        h.parentReads = false;
        std::vector<bool> accepted;
        std::thread([&] {
            for (int i = 0; i < 32; ++i)
                accepted.push_back(h.channel->send(new ComChanJsonMessage(nlohmann::json{{"pad", std::string(60000, char('0' + i))}})));
        }).join();
        h.channel->send(new ComChanJsonMessage(nlohmann::json{{"n", 31}}));
        EXPECT_EQ(std::find(accepted.begin(), accepted.end(), false) - accepted.begin(), 31);
        EXPECT_EQ(log.count("message: error, ctrl message queue is full"), 1u);
        h.runUntil([] { return false; }, 50ms);  // the loop takes them from the ring; the socket fills
        auto started = std::chrono::steady_clock::now();
        h.channel->shutdown(ComChanShutdownReason::Requested);
        EXPECT_EQ(h.events.back(), "connected");
        h.parentReads = reads;
        ASSERT_TRUE(h.runUntil([&] { return h.events.back() == "shutdown 0" && (!reads || h.lines() == 32); }, 10s)) << reads;
        EXPECT_EQ(std::chrono::steady_clock::now() - started >= 4s, !reads);
        EXPECT_EQ(log.count("bytes unsent"), reads ? 0u : 1u);
        for (int i = 0; reads && i < 32; ++i)
            EXPECT_EQ(h.received.substr(size_t(i) * 60011, 60011),
                      i < 31 ? "{\"pad\":\"" + std::string(60000, char('0' + i)) + "\"}\n" : "{\"n\":31}\n");
    }
}

}  // namespace
