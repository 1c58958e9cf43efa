#pragma once

#include <functional>
#include <cstdint>
#include <string>
#include <vector>

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
// (after the capability probe, or only the probe, as the arguments ask) on
// the worker pool, the loop. Returns the exit status (0, or -1 when logging
// cannot be set up, an argument is unknown or bad, the adapter asked for
// cannot be measured or NODE_CHANNEL_FD is missing);
// does not return when the loop ends under still-running pool work (see
// main's exit path).
int RunTarselProcess(const CommandCallbacks& commands, const std::vector<std::string>& arguments = {});

// Runs after the loop has ended and before the process exits; test builds
// use it to print what they counted.
extern std::function<void()> g_BeforeExit;
