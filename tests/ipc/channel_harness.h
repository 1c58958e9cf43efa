#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <uv.h>

#include "ipc/com_chan_channel.h"

// A private loop that must end with every handle closed.
class TestLoop {
public:
    TestLoop();
    ~TestLoop();
    uv_loop_t* get() { return &m_Loop; }

    // Runs the loop until `done` holds or the time limit passes; a helper
    // timer keeps each turn short. Returns whether `done` held.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Runs for a fixed wall time (for "nothing else happens" checks).
    void runFor(std::chrono::milliseconds duration);
    // Lets closing handles finish; returns uv_loop_close's result.
    int close();

private:
    uv_loop_t m_Loop{};
    bool m_Closed = false;
};

// A connected socket pair: one end for the channel, the other played by the
// test as the parent.
struct SocketPair {
    SocketPair();
    ~SocketPair();
    int channelEnd = -1;  // handed to the channel, which closes it
    int parentEnd = -1;

    // Writes everything; `whileBlocked` runs whenever the socket is full.
    void writeAll(const std::string& bytes, const std::function<void()>& whileBlocked = {});
    // Everything readable right now, without blocking.
    std::string readAvailable();
    void closeParentEnd();
};

// A channel on a socket pair whose callbacks record what they saw.
struct ChannelHarness {
    explicit ChannelHarness(uint32_t pingIntervalMs = ComChanChannel::kPingIntervalMs, bool withCallbacks = true);
    ~ChannelHarness();

    bool start();

    TestLoop loop;
    SocketPair sockets;
    std::vector<std::string> events;
    std::unique_ptr<ComChanChannel> channel;
    std::string received;  // bytes the "parent" has read so far
    bool started = false;

    // Writes as the parent, letting the loop read while the socket is full.
    void write(const std::string& bytes);
    // Reads whatever the parent end has now, appends it to `received`.
    void pump();
    // Complete lines the parent has received.
    std::vector<std::string> receivedLines() const;
    bool hasEvent(const std::string& event) const;
};
