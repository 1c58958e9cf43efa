#include "ipc/com_chan_channel.h"

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "ipc/callback_guard.h"
#include "ipc/command_hash.h"
#include "logging/spdlog_logger.h"

namespace {

// Integers keep their low 32 bits and booleans give 0 or 1, as the JSON
// library converts them. Fractions are truncated toward zero; one outside
// the 32-bit range has no meaningful value and is refused.
int32_t BitrateValue(const nlohmann::json& value)
{
    if (value.is_number_float()) {
        double number = value.get<double>();
        if (!(number > -2147483649.0 && number < 2147483648.0))
            throw std::out_of_range("set-bitrate value out of range");
        return static_cast<int32_t>(number);
    }
    return value.get<int32_t>();
}

}  // namespace

ComChanChannel::ComChanChannel(int fd, ConnectedCallback onConnected, ShutdownCallback onShutdown,
                               SetBitrateCallback onSetBitrate, CommandCallback onRebootStream,
                               CommandCallback onRestartWindows, CommandCallback onQuit,
                               SetColorSpaceCallback onSetColorSpace, uint32_t pingIntervalMs)
    : PipeIOChannel(fd)
    , PingableChannel(pingIntervalMs)
    , m_OnConnected(std::move(onConnected))
    , m_OnShutdown(std::move(onShutdown))
    , m_OnSetBitrate(std::move(onSetBitrate))
    , m_OnRebootStream(std::move(onRebootStream))
    , m_OnRestartWindows(std::move(onRestartWindows))
    , m_OnQuit(std::move(onQuit))
    , m_OnSetColorSpace(std::move(onSetColorSpace))
{
}

bool ComChanChannel::start(uv_loop_t* loop)
{
    if (!MessageIOChannel::start(loop) || !CancelableChannel::start(loop) || !PingableChannel::start(loop)
        || !PipeIOChannel::start(loop)) {
        g_Logger.Log(LogLevel::error, "failed to start control channel");
        return false;
    }
    if (m_OnConnected)
        RunGuarded("com", [&] { m_OnConnected(); });
    return true;
}

bool ComChanChannel::stop()
{
    return shutdown(ComChanShutdownReason::Requested);
}

bool ComChanChannel::isActive() const
{
    return PipeIOChannel::isActive() || MessageIOChannel::isActive() || CancelableChannel::isActive()
        || PingableChannel::isActive();
}

bool ComChanChannel::shutdown(ComChanShutdownReason reason)
{
    m_ShutdownStarted = true;
    bool stopped = MessageIOChannel::stop();
    if (stopped) {
        CancelableChannel::stop();
        stopped = PingableChannel::stop();
    }
    if (stopped)
        stopped = PipeIOChannel::stop();
    if (!stopped) {
        g_Logger.Log(LogLevel::error, "failed to stop control channel");
        return false;
    }
    if (isClosePending()) {
        m_ShutdownWaitsForPipe = true;
        m_PendingReason = reason;
        return true;
    }
    notifyShutdown(reason);
    return true;
}

void ComChanChannel::onPipeClosedAfterWrites()
{
    if (!m_ShutdownWaitsForPipe)
        return;
    m_ShutdownWaitsForPipe = false;
    notifyShutdown(m_PendingReason);
}

void ComChanChannel::notifyShutdown(ComChanShutdownReason reason)
{
    if (m_OnShutdown)
        RunGuarded("com", [&] { m_OnShutdown(reason); });
}

void ComChanChannel::onError(int32_t code)
{
    g_Logger.Log(LogLevel::error, "ipc: receive error: %d - %s - %s", code, uv_strerror(code), uv_err_name(code));
    m_LineAssembler.reset();
    shutdown(ComChanShutdownReason::ReceiveError);
}

void ComChanChannel::onData(const char* data, size_t length)
{
    m_LineAssembler.feed(data, length, [this](std::string_view line) {
        handleLine(line);
        // A command callback may have shut the channel down.
        return !m_ShutdownStarted;
    });
}

void ComChanChannel::ping()
{
    if (!sendNow(std::make_unique<HeartbeatComChanMessage>()))
        g_Logger.Log(LogLevel::error, "com: failed to ping message...");
}

void ComChanChannel::handleLine(std::string_view line)
{
    try {
        nlohmann::json document = nlohmann::json::parse(line.begin(), line.end());
        // operator[] turns null into an empty object and refuses other
        // non-objects with the library's type error.
        const nlohmann::json& command = document["cmd"];
        if (!command.is_string())
            return;
        const std::string name = command.get<std::string>();

        switch (commandHash(name)) {
        case commandHash(kCommandQuit):
            if (m_OnQuit)
                m_OnQuit();
            break;
        case commandHash(kCommandRestartWindows):
            if (m_OnRestartWindows)
                m_OnRestartWindows();
            break;
        case commandHash(kCommandRebootStream):
            if (m_OnRebootStream)
                m_OnRebootStream();
            break;
        case commandHash(kCommandSetBitrate):
            if (m_OnSetBitrate)
                m_OnSetBitrate(kBitrateKind, BitrateValue(document["value"]));
            break;
        case commandHash(kCommandSetColorSpace):
            handleSetColorSpace(document["value"].get<std::string>());
            break;
        default:
            break;
        }
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "ipc: error parsing json... (%s)", ex.what());
    }
}

void ComChanChannel::handleSetColorSpace(const std::string& value)
{
    switch (commandHash(value)) {
    case commandHash(kColorSpaceFull):
        if (m_OnSetColorSpace)
            m_OnSetColorSpace(true);
        break;
    case kColorSpaceLimitedHash:
        if (m_OnSetColorSpace)
            m_OnSetColorSpace(false);
        break;
    default:
        g_Logger.Log(LogLevel::error, "ipc: unknown color space request: %s ...", value.c_str());
        break;
    }
}
