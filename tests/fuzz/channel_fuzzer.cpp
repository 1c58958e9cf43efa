// Feeds arbitrary bytes to the control channel's receive side in chunks, with
// every command callback set. The channel is never started: onData needs no
// loop, and nothing the callbacks do here touches one.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "ipc/com_chan_channel.h"

namespace {

// Counters the callbacks bump, so they have an observable effect.
struct CommandCounts {
    uint64_t bitrate = 0;
    uint64_t rebootStream = 0;
    uint64_t restartWindows = 0;
    uint64_t quit = 0;
    uint64_t colorSpace = 0;
};

CommandCounts g_Counts;

std::unique_ptr<ComChanChannel> MakeChannel()
{
    return std::make_unique<ComChanChannel>(
        -1, [] {}, [](ComChanShutdownReason) {}, [](uint8_t, int32_t) { ++g_Counts.bitrate; },
        [] { ++g_Counts.rebootStream; }, [] { ++g_Counts.restartWindows; }, [] { ++g_Counts.quit; },
        [](bool) { ++g_Counts.colorSpace; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A fresh channel per input keeps every finding reproducible from its
    // own bytes; cutting the input into reads covers the joining of lines.
    if (size < 1)
        return 0;
    // The first byte sets the read size, so a line is cut at every position
    // the fuzzer cares to try.
    size_t chunk = static_cast<size_t>(data[0]) + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    size_t rest = size - 1;
    std::unique_ptr<ComChanChannel> channel = MakeChannel();
    while (rest > 0) {
        size_t length = rest < chunk ? rest : chunk;
        channel->onData(bytes, length);
        bytes += length;
        rest -= length;
    }
    return 0;
}
