#pragma once

#include <functional>
#include <cstdint>

// What the parent's commands do. The product leaves all of them empty, so
// commands are parsed and then ignored; test builds count them.
struct CommandCallbacks {
    std::function<void(uint8_t, int32_t)> onSetBitrate;
    std::function<void()> onRebootStream;
    std::function<void()> onRestartWindows;
    std::function<void()> onQuit;
    std::function<void(bool)> onSetColorSpace;
};

// The whole process: logging, the channel on NODE_CHANNEL_FD, the benchmark
// on the worker pool, the loop. Returns the exit status (0, or -1 when logging
// cannot be set up or NODE_CHANNEL_FD is missing); does not return when the
// loop ends under a still-running benchmark (see main's exit path).
int RunTarselProcess(const CommandCallbacks& commands);

// Runs after the loop has ended and before the process exits; test builds
// use it to print what they counted.
extern std::function<void()> g_BeforeExit;
