// Feeds arbitrary bytes to the control channel's receive side in chunks, with
// every command callback set. The channel is never started: onData needs no
// loop, and nothing the callbacks do here touches one.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "ipc/com_chan_channel.h"

namespace {

// Bumped by every callback, so they have an observable effect.
uint64_t g_Calls = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // A fresh channel per input keeps every finding reproducible from its own
    // bytes. The first byte sets the read size, so a line is cut at every
    // position the fuzzer cares to try.
    ComChanChannel channel(
        -1, [] {}, [](ComChanShutdownReason) {}, [](uint8_t, int32_t) { ++g_Calls; }, [] { ++g_Calls; },
        [] { ++g_Calls; }, [] { ++g_Calls; }, [](bool) { ++g_Calls; });
    const size_t chunk = size_t{data[0]} + 1;
    for (size_t at = 1; at < size; at += chunk)
        channel.onData(reinterpret_cast<const char*>(data + at), std::min(chunk, size - at));
    return 0;
}
