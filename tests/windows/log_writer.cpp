// Writes "<tag> <n> <tag repeated>" for n from 0 below <count> through the
// program's logger. Says "ready" once the log is open and starts writing when
// its input ends, so that two of these hold one log open together, as two
// instances started at once do.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "logging/spdlog_logger.h"

int main(int argc, char** argv)
{
    if (argc != 3 || !g_Logger.Init())
        return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    const std::string padding(60, argv[1][0]);
    for (int line = 0, count = std::atoi(argv[2]); line < count; ++line)
        g_Logger.Log(LogLevel::info, "%s %d %s", argv[1], line, padding);
    return 0;
}
