// A child process for the Node.js parent tests: it serves the control channel
// on NODE_CHANNEL_FD and answers every command with a message, so the parent
// can see what arrived. "quit" sends a large farewell and shuts down at once,
// the way the program sends its report.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <spdlog/sinks/stdout_sinks.h>
#include <uv.h>

#include "ipc/com_chan_channel.h"
#include "logging/spdlog_logger.h"

namespace {

ComChanChannel* g_Channel = nullptr;

void Reply(nlohmann::json value)
{
    g_Channel->send(new ComChanJsonMessage(std::move(value)));
}

uint32_t PingInterval()
{
    const char* text = std::getenv("TEST_PING_MS");
    return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : ComChanChannel::kPingIntervalMs;
}

}  // namespace

int main()
{
    g_Logger.InitWithSink(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    const char* fdText = std::getenv("NODE_CHANNEL_FD");
    if (fdText == nullptr)
        return 2;
    uv_loop_t* loop = uv_default_loop();

    g_Channel = new ComChanChannel(
        static_cast<int>(std::strtol(fdText, nullptr, 10)),
        [] { g_Logger.Log(LogLevel::info, "com chan connected"); },
        [loop](ComChanShutdownReason reason) {
            g_Logger.Log(LogLevel::info, "com chan disconnected for reason %d", static_cast<int>(reason));
            uv_stop(loop);
        },
        [](uint8_t kind, int32_t value) { Reply({{"cmd", "seen"}, {"what", "set-bitrate"}, {"kind", kind}, {"value", value}}); },
        [] { Reply({{"cmd", "seen"}, {"what", "reboot-stream"}}); },
        [] { Reply({{"cmd", "seen"}, {"what", "restart-windows"}}); },
        [] {
            Reply({{"cmd", "bye"}, {"pad", std::string(60000, 'r')}});
            g_Channel->shutdown(ComChanShutdownReason::Requested);
        },
        [](bool full) { Reply({{"cmd", "seen"}, {"what", "set-colorspace"}, {"full", full}}); }, PingInterval());

    g_Channel->start(loop);
    uv_run(loop, UV_RUN_DEFAULT);
    // Let closing handles finish so the loop can be closed cleanly.
    uv_run(loop, UV_RUN_NOWAIT);
    int closed = uv_loop_close(loop);
    g_Logger.Log(LogLevel::info, "loop closed: %d", closed);
    g_Logger.Shutdown();
    delete g_Channel;
    return 0;
}
