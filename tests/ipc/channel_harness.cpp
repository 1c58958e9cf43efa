#include "channel_harness.h"

#include <cerrno>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

TestLoop::TestLoop()
{
    if (uv_loop_init(&m_Loop) != 0)
        throw std::runtime_error("uv_loop_init failed");
}

TestLoop::~TestLoop()
{
    if (m_Closed)
        return;
    if (close() == 0)
        return;
    // A test failed half-way: close what is left so the next test starts clean.
    uv_walk(
        &m_Loop,
        [](uv_handle_t* handle, void*) {
            if (!uv_is_closing(handle))
                uv_close(handle, nullptr);
        },
        nullptr);
    uv_run(&m_Loop, UV_RUN_DEFAULT);
    uv_loop_close(&m_Loop);
}

bool TestLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
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

void TestLoop::runFor(std::chrono::milliseconds duration)
{
    runUntil([] { return false; }, duration);
}

int TestLoop::close()
{
    for (int i = 0; i < 4; ++i)
        uv_run(&m_Loop, UV_RUN_NOWAIT);
    int r = uv_loop_close(&m_Loop);
    if (r == 0)
        m_Closed = true;
    return r;
}

SocketPair::SocketPair()
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        throw std::runtime_error("socketpair failed");
    channelEnd = fds[0];
    parentEnd = fds[1];
    fcntl(parentEnd, F_SETFL, fcntl(parentEnd, F_GETFL) | O_NONBLOCK);
}

SocketPair::~SocketPair()
{
    closeParentEnd();
}

void SocketPair::writeAll(const std::string& bytes, const std::function<void()>& whileBlocked)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(parentEnd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("write to the channel failed");
        else if (whileBlocked)
            whileBlocked();
        else
            std::this_thread::yield();
    }
}

std::string SocketPair::readAvailable()
{
    std::string out;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(parentEnd, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    return out;
}

void SocketPair::closeParentEnd()
{
    if (parentEnd >= 0)
        ::close(parentEnd);
    parentEnd = -1;
}

ChannelHarness::ChannelHarness(uint32_t pingIntervalMs, bool withCallbacks)
{
    auto record = [this](std::string event) { return [this, event] { events.push_back(event); }; };
    ComChanChannel::ConnectedCallback onConnected = record("connected");
    ComChanChannel::ShutdownCallback onShutdown = [this](ComChanShutdownReason reason) {
        events.push_back("shutdown " + std::to_string(static_cast<int>(reason)));
    };
    ComChanChannel::SetBitrateCallback onSetBitrate;
    ComChanChannel::CommandCallback onRebootStream, onRestartWindows, onQuit;
    ComChanChannel::SetColorSpaceCallback onSetColorSpace;
    if (withCallbacks) {
        onSetBitrate = [this](uint8_t kind, int32_t value) {
            events.push_back("bitrate " + std::to_string(kind) + " " + std::to_string(value));
        };
        onRebootStream = record("reboot-stream");
        onRestartWindows = record("restart-windows");
        onQuit = record("quit");
        onSetColorSpace = [this](bool full) { events.push_back(full ? "colorspace full" : "colorspace other"); };
    }
    channel = std::make_unique<ComChanChannel>(sockets.channelEnd, onConnected, onShutdown, onSetBitrate,
                                               onRebootStream, onRestartWindows, onQuit, onSetColorSpace,
                                               pingIntervalMs);
}

ChannelHarness::~ChannelHarness()
{
    channel.reset();
    // An opened pipe closes its descriptor; one never opened is ours to close.
    if (!started)
        ::close(sockets.channelEnd);
}

bool ChannelHarness::start()
{
    started = true;
    return channel->start(loop.get());
}

void ChannelHarness::write(const std::string& bytes)
{
    sockets.writeAll(bytes, [this] { uv_run(loop.get(), UV_RUN_NOWAIT); });
}

void ChannelHarness::pump()
{
    received += sockets.readAvailable();
}

std::vector<std::string> ChannelHarness::receivedLines() const
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t newline; (newline = received.find('\n', start)) != std::string::npos; start = newline + 1)
        lines.push_back(received.substr(start, newline - start));
    return lines;
}

bool ChannelHarness::hasEvent(const std::string& event) const
{
    for (auto& e : events)
        if (e == event)
            return true;
    return false;
}
