// Serves the control channel on NODE_CHANNEL_FD and answers "quit" with a
// 60 KB farewell before shutting down at once, the way the program sends its
// report: a parent that stops reading then leaves writes queued at close.
#include <cstdlib>
#include <memory>
#include <string>

#include <spdlog/sinks/stdout_sinks.h>
#include <uv.h>

#include "ipc/com_chan_channel.h"
#include "logging/spdlog_logger.h"

int main()
{
    g_Logger.InitWithSink(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    const char* fdText = std::getenv("NODE_CHANNEL_FD");
    if (fdText == nullptr)
        return 2;
    uv_loop_t* loop = uv_default_loop();
    ComChanChannel* channel = nullptr;
    channel = new ComChanChannel(
        static_cast<int>(std::strtol(fdText, nullptr, 10)), {},
        [loop](ComChanShutdownReason reason) {
            g_Logger.Log(LogLevel::info, "com chan disconnected for reason %d", static_cast<int>(reason));
            uv_stop(loop);
        },
        {}, {}, {},
        [&channel] {
            channel->send(new ComChanJsonMessage({{"cmd", "bye"}, {"pad", std::string(60000, 'r')}}));
            channel->shutdown(ComChanShutdownReason::Requested);
        },
        {});
    channel->start(loop);
    uv_run(loop, UV_RUN_DEFAULT);
    uv_run(loop, UV_RUN_NOWAIT);  // let closing handles finish
    uv_loop_close(loop);
    g_Logger.Shutdown();
    delete channel;
    return 0;
}
