#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <uv.h>

#include "ipc/com_chan_channel.h"

// A channel whose callbacks append what they saw to `events`. Without command
// callbacks only "connected" and "shutdown <reason>" are recorded.
inline std::unique_ptr<ComChanChannel> RecordingChannel(int fd, std::vector<std::string>& events,
                                                        bool withCommandCallbacks = true,
                                                        uint32_t pingIntervalMs = ComChanChannel::kPingIntervalMs)
{
    auto command = [&](const char* name) -> ComChanChannel::CommandCallback {
        if (!withCommandCallbacks)
            return {};
        return [&events, name] { events.push_back(name); };
    };
    ComChanChannel::SetBitrateCallback onBitrate;
    ComChanChannel::SetColorSpaceCallback onColorSpace;
    if (withCommandCallbacks) {
        onBitrate = [&](uint8_t kind, int32_t value) {
            events.push_back("bitrate " + std::to_string(kind) + " " + std::to_string(value));
        };
        onColorSpace = [&](bool full) { events.push_back(full ? "colorspace full" : "colorspace other"); };
    }
    return std::make_unique<ComChanChannel>(
        fd, [&] { events.push_back("connected"); },
        [&](ComChanShutdownReason reason) { events.push_back("shutdown " + std::to_string(static_cast<int>(reason))); },
        onBitrate, command("reboot-stream"), command("restart-windows"), command("quit"), onColorSpace, pingIntervalMs);
}

// A private loop that must end with every handle closed.
class TestLoop {
public:
    TestLoop()
    {
        if (uv_loop_init(&m_Loop) != 0)
            throw std::runtime_error("uv_loop_init failed");
    }
    ~TestLoop()
    {
        if (!m_Closed)
            close();
    }
    uv_loop_t* get() { return &m_Loop; }

    // Runs the loop until `done` holds or the time limit passes; a helper
    // timer keeps each turn short. Returns whether `done` held.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        uv_timer_t tick{};
        uv_timer_init(&m_Loop, &tick);
        uv_timer_start(&tick, [](uv_timer_t*) {}, 5, 5);
        auto deadline = std::chrono::steady_clock::now() + limit;
        bool reached = done();
        while (!reached && std::chrono::steady_clock::now() < deadline) {
            uv_run(&m_Loop, UV_RUN_ONCE);
            reached = done();
        }
        uv_close(reinterpret_cast<uv_handle_t*>(&tick), nullptr);
        uv_run(&m_Loop, UV_RUN_NOWAIT);
        return reached;
    }
    void runFor(std::chrono::milliseconds duration) { runUntil([] { return false; }, duration); }

    // Lets closing handles finish; returns uv_loop_close's result.
    int close()
    {
        for (int i = 0; i < 4; ++i)
            uv_run(&m_Loop, UV_RUN_NOWAIT);
        int r = uv_loop_close(&m_Loop);
        m_Closed = r == 0;
        return r;
    }

private:
    uv_loop_t m_Loop{};
    bool m_Closed = false;
};

// A recording channel on one end of a socket pair; the test plays the parent
// on the other end (non-blocking).
struct ChannelHarness {
    explicit ChannelHarness(uint32_t pingIntervalMs = ComChanChannel::kPingIntervalMs)
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            throw std::runtime_error("socketpair failed");
        channelEnd = fds[0];
        parentEnd = fds[1];
        fcntl(parentEnd, F_SETFL, fcntl(parentEnd, F_GETFL) | O_NONBLOCK);
        channel = RecordingChannel(channelEnd, events, true, pingIntervalMs);
    }
    ~ChannelHarness()
    {
        channel.reset();
        // An opened pipe closes its descriptor; one never opened is ours to close.
        if (!started)
            ::close(channelEnd);
        closeParentEnd();
    }

    bool start()
    {
        started = true;
        return channel->start(loop.get());
    }
    // Writes as the parent (small writes: the socket never fills).
    void write(const std::string& bytes)
    {
        if (::write(parentEnd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("write to the channel failed");
    }
    // Appends whatever the parent end can read now to `received`.
    void pump()
    {
        char buffer[65536];
        for (ssize_t n; (n = ::read(parentEnd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<size_t>(n));
    }
    // Complete lines the parent has received.
    std::vector<std::string> receivedLines() const
    {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t newline; (newline = received.find('\n', start)) != std::string::npos; start = newline + 1)
            lines.push_back(received.substr(start, newline - start));
        return lines;
    }
    bool hasEvent(const std::string& event) const
    {
        for (auto& e : events)
            if (e == event)
                return true;
        return false;
    }
    void closeParentEnd()
    {
        if (parentEnd >= 0)
            ::close(parentEnd);
        parentEnd = -1;
    }

    TestLoop loop;
    int channelEnd = -1;  // handed to the channel, which closes it once opened
    int parentEnd = -1;
    std::vector<std::string> events;
    std::unique_ptr<ComChanChannel> channel;
    std::string received;  // bytes the parent has read so far
    bool started = false;
};
