#include "app/process_main.h"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>
#include <uv.h>

#include "app/arguments.h"
#include "app/bench_work.h"
#include "app/capability_work.h"
#include "app/channel_fd.h"
#include "decoder/capability/adapter_plan.h"
#include "ipc/com_chan_channel.h"
#include "logging/spdlog_logger.h"

std::function<void()> g_BeforeExit;

namespace {

// The loop stopped before the benchmark finished (the parent went away): the
// pool thread is still using process-wide objects, so neither static
// destructors nor libuv's pool teardown (which joins that thread) may run.
[[noreturn]] void ExitUnderRunningBenchmark()
{
    g_Logger.Flush();
    std::fflush(stdout);
    _exit(0);
}

// What the command line cannot do goes to the parent on standard error, and
// the program ends before anything is timed.
int RefuseArguments(const std::string& error)
{
    std::fprintf(stderr, "app: %s\n", error.c_str());
    std::fflush(stderr);
    g_Logger.Log(LogLevel::error, "app: %s", error);
    g_Logger.Shutdown();
    return -1;
}

}  // namespace

int RunTarselProcess(const CommandCallbacks& commands, const std::vector<std::string>& arguments)
{
    if (!g_Logger.Init()) {
        std::printf("logger: failed to init logger\n");
        std::fflush(stdout);
        return -1;
    }

    const ProgramArguments parsed = ParseArguments(arguments);
    if (!parsed.error.empty())
        return RefuseArguments(parsed.error);
    // The adapters are chosen from a probe before anything is timed; one that
    // cannot be measured is refused as a bad argument is.
    std::optional<MachineCapabilities> probed;
    std::optional<AdapterPlan> plan;
    if (parsed.adapter || parsed.allAdapters) {
        probed = ProbeCapabilities();
        plan = parsed.adapter ? PlanNamedAdapter(*probed, *parsed.adapter) : PlanEveryAdapter(*probed);
        if (!plan->error.empty())
            return RefuseArguments(plan->error);
    }

    const char* channelFdText = std::getenv("NODE_CHANNEL_FD");
    if (channelFdText == nullptr)
        return -1;
    int channelFd = ParseChannelFd(channelFdText);

    g_BenchRequest = {parsed.results,      parsed.progress, {parsed.repeat, parsed.warmup}, std::move(plan),
                      parsed.allAdapters,  parsed.stream,   parsed.streamCodec};

    uv_loop_t* loop = uv_default_loop();
    g_ComChan = new ComChanChannel(channelFd, OnComChanConnected, OnComChanDisconnected, commands.onSetBitrate,
                                   commands.onRebootStream, commands.onRestartWindows, commands.onQuit,
                                   commands.onSetColorSpace);
    g_ComChan->start(loop);

    uv_work_t benchRequest{};
    if (parsed.capabilities || parsed.capabilitiesOnly)
        QueueCapabilityProbe(loop, !parsed.capabilitiesOnly, std::move(probed));
    else
        uv_queue_work(loop, &benchRequest, BenchWork, BenchAfterWork);

    uv_run(loop, UV_RUN_DEFAULT);
    uv_loop_close(loop);

    if (!g_Logger.Shutdown()) {
        std::printf("logger: failed to destroy logger");
        std::fflush(stdout);
    }
    if (g_BeforeExit)
        g_BeforeExit();
    if (!g_BenchmarkFinished)
        ExitUnderRunningBenchmark();
    return 0;
}
