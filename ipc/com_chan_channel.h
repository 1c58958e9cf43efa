#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "ipc/cancelable_channel.h"
#include "ipc/line_assembler.h"
#include "ipc/message_io_channel.h"
#include "ipc/pingable_channel.h"
#include "ipc/pipe_io_channel.h"

enum class ComChanShutdownReason : int {
    Requested = 0,
    ReceiveError = 1,
};

// The control channel to the parent: the pipe, the message queue, the cancel
// signal and the heartbeat timer joined over one Channel, plus the command
// protocol. Everything but send() runs on the loop thread.
class ComChanChannel : public PipeIOChannel, public MessageIOChannel, public CancelableChannel, public PingableChannel {
public:
    static constexpr uint32_t kPingIntervalMs = 60000;
    // First argument of the bitrate callback; constant for the command.
    static constexpr uint8_t kBitrateKind = 8;

    using ConnectedCallback = std::function<void()>;
    using ShutdownCallback = std::function<void(ComChanShutdownReason)>;
    using SetBitrateCallback = std::function<void(uint8_t, int32_t)>;
    using CommandCallback = std::function<void()>;
    using SetColorSpaceCallback = std::function<void(bool)>;

    ComChanChannel(int fd, ConnectedCallback onConnected, ShutdownCallback onShutdown, SetBitrateCallback onSetBitrate,
                   CommandCallback onRebootStream, CommandCallback onRestartWindows, CommandCallback onQuit,
                   SetColorSpaceCallback onSetColorSpace, uint32_t pingIntervalMs = kPingIntervalMs);

    bool start(uv_loop_t* loop) override;
    // Same as shutdown(Requested).
    bool stop() override;
    bool isActive() const override;

    // Takes the layers down and reports the reason through the shutdown
    // callback. When writes are still queued on the pipe, the callback waits
    // until they have gone out, so a report sent just before reaches the
    // parent before anyone stops the loop.
    bool shutdown(ComChanShutdownReason reason);
    // True once shutdown() has begun, whatever its reason.
    bool isShutDown() const { return m_ShutdownStarted; }

    void onData(const char* data, size_t length) override;
    void onError(int32_t code) override;
    void ping() override;

protected:
    void onPipeClosedAfterWrites() override;

private:
    void handleLine(std::string_view line);
    void handleSetColorSpace(const std::string& value);
    void notifyShutdown(ComChanShutdownReason reason);

    ConnectedCallback m_OnConnected;
    ShutdownCallback m_OnShutdown;
    SetBitrateCallback m_OnSetBitrate;
    CommandCallback m_OnRebootStream;
    CommandCallback m_OnRestartWindows;
    CommandCallback m_OnQuit;
    SetColorSpaceCallback m_OnSetColorSpace;

    LineAssembler m_LineAssembler;
    bool m_ShutdownStarted = false;
    bool m_ShutdownWaitsForPipe = false;
    ComChanShutdownReason m_PendingReason = ComChanShutdownReason::Requested;
};
