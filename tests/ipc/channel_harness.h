#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <uv.h>

#include "ipc/com_chan_channel.h"

// A channel whose every callback appends what it saw to `events`.
inline std::unique_ptr<ComChanChannel> RecordingChannel(int fd, std::vector<std::string>& events,
                                                        uint32_t pingMs = ComChanChannel::kPingIntervalMs)
{
    auto record = [&events](std::string event) { events.push_back(std::move(event)); };
    return std::make_unique<ComChanChannel>(
        fd, [=] { record("connected"); }, [=](ComChanShutdownReason why) { record("shutdown " + std::to_string(int(why))); },
        [=](uint8_t kind, int32_t value) { record("bitrate " + std::to_string(kind) + " " + std::to_string(value)); },
        [=] { record("reboot-stream"); }, [=] { record("restart-windows"); }, [=] { record("quit"); },
        [=](bool full) { record(full ? "colorspace full" : "colorspace other"); }, pingMs);
}

// A started recording channel on its own loop and one end of a socket pair;
// the test plays the parent on the other, non-blocking end.
struct ChannelHarness {
    explicit ChannelHarness(uint32_t pingMs = ComChanChannel::kPingIntervalMs)
    {
        int fds[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        fcntl(parentEnd = fds[1], F_SETFL, O_NONBLOCK);
        uv_loop_init(&loop);
        channel = RecordingChannel(fds[0], events, pingMs);
        channel->start(&loop);
    }
    ~ChannelHarness()
    {
        channel.reset();
        closeParentEnd();
    }
    // Turns the loop, collecting what the parent receives, until `done` holds or the limit passes.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        auto deadline = std::chrono::steady_clock::now() + limit;
        char buffer[65536];
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            uv_run(&loop, UV_RUN_NOWAIT);
            for (ssize_t n; parentEnd >= 0 && (n = ::read(parentEnd, buffer, sizeof buffer)) > 0;)
                received.append(buffer, size_t(n));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
    size_t lines() const { return size_t(std::count(received.begin(), received.end(), '\n')); }
    void closeParentEnd()
    {
        if (parentEnd >= 0)
            ::close(std::exchange(parentEnd, -1));
    }
    // Every handle must be closed once the channel is down.
    int closeLoop()
    {
        for (int turn = 0; turn < 4; ++turn)
            uv_run(&loop, UV_RUN_NOWAIT);
        return uv_loop_close(&loop);
    }

    uv_loop_t loop{};
    int parentEnd = -1;
    std::vector<std::string> events;
    std::unique_ptr<ComChanChannel> channel;
    std::string received;
};
