#include <cstdio>
#include <cstdlib>

#include <uv.h>

#include "app/channel_fd.h"
#include "logging/spdlog_logger.h"

int main()
{
    if (!g_Logger.Init()) {
        std::printf("logger: failed to init logger\n");
        std::fflush(stdout);
        return -1;
    }

    const char* channelFdText = std::getenv("NODE_CHANNEL_FD");
    if (channelFdText == nullptr)
        return -1;
    int channelFd = ParseChannelFd(channelFdText);
    (void)channelFd;

    uv_loop_t* loop = uv_default_loop();
    uv_run(loop, UV_RUN_DEFAULT);
    uv_loop_close(loop);

    if (!g_Logger.Shutdown()) {
        std::printf("logger: failed to destroy logger");
        std::fflush(stdout);
    }
    return 0;
}
