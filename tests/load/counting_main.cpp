// The process as the product runs it, except that the parent's commands are
// counted. Before exit it prints the counts and its peak memory as one JSON
// line on stdout, for the load test's parent to check.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "app/process_main.h"

namespace {

// Touched only on the loop thread, where every command callback runs.
struct Counts {
    uint64_t setBitrate = 0;
    int64_t bitrateSum = 0;
    uint64_t rebootStream = 0;
    uint64_t restartWindows = 0;
    uint64_t quit = 0;
    uint64_t colorSpaceFull = 0;
    uint64_t colorSpaceOther = 0;
};

Counts g_Counts;

// VmHWM from /proc/self/status, in kB; -1 when it cannot be read.
int64_t PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    }
    return -1;
}

}  // namespace

int main()
{
    CommandCallbacks commands;
    commands.onSetBitrate = [](uint8_t, int32_t value) {
        ++g_Counts.setBitrate;
        g_Counts.bitrateSum += value;
    };
    commands.onRebootStream = [] { ++g_Counts.rebootStream; };
    commands.onRestartWindows = [] { ++g_Counts.restartWindows; };
    commands.onQuit = [] { ++g_Counts.quit; };
    commands.onSetColorSpace = [](bool full) { ++(full ? g_Counts.colorSpaceFull : g_Counts.colorSpaceOther); };

    g_BeforeExit = [] {
        nlohmann::json counts = {
            {"set-bitrate", g_Counts.setBitrate},     {"bitrate-sum", g_Counts.bitrateSum},
            {"reboot-stream", g_Counts.rebootStream}, {"restart-windows", g_Counts.restartWindows},
            {"quit", g_Counts.quit},                  {"set-colorspace-full", g_Counts.colorSpaceFull},
            {"set-colorspace-other", g_Counts.colorSpaceOther}, {"vmhwm-kb", PeakResidentKb()},
        };
        std::printf("%s\n", counts.dump().c_str());
        std::fflush(stdout);
    };
    return RunTarselProcess(commands);
}
