#include "app/capability_work.h"

#include "app/bench_work.h"
#include "ipc/com_chan_channel.h"
#include "logging/spdlog_logger.h"

namespace {

// Process-wide: the requests outlive the callbacks that queue them.
uv_work_t g_ProbeRequest{};
uv_work_t g_BenchWorkRequest{};
bool g_ThenBenchmark = false;
bool g_Probed = false;
// Written by the pool thread, read after its completion on the loop thread.
MachineCapabilities g_Capabilities;

void CapabilityWork(uv_work_t*)
{
    // Nothing may escape into libuv's pool thread.
    try {
        if (!g_Probed)
            g_Capabilities = ProbeCapabilities();
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "capabilities: probe failed: %s", ex.what());
    } catch (...) {
        g_Logger.Log(LogLevel::error, "capabilities: probe failed");
    }
    if (!g_ThenBenchmark)
        g_BenchmarkFinished = true;
}

void CapabilityAfterWork(uv_work_t* request, int)
{
    try {
        g_ComChan->send(new ComChanJsonMessage(CapabilityMessage(g_Capabilities)));
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "capabilities: message failed: %s", ex.what());
    }
    // A parent that left during the probe has shut the channel down already.
    if (g_ComChan->isShutDown())
        return;
    if (g_ThenBenchmark)
        uv_queue_work(request->loop, &g_BenchWorkRequest, BenchWork, BenchAfterWork);
    else
        g_ComChan->shutdown(ComChanShutdownReason::Requested);
}

}  // namespace

void QueueCapabilityProbe(uv_loop_t* loop, bool thenBenchmark, std::optional<MachineCapabilities> probed)
{
    g_ThenBenchmark = thenBenchmark;
    g_Probed = probed.has_value();
    if (probed)
        g_Capabilities = std::move(*probed);
    uv_queue_work(loop, &g_ProbeRequest, CapabilityWork, CapabilityAfterWork);
}
