#include "app/bench_work.h"

#include <cstdint>

#include "bench/bench_case.h"
#include "bench/bench_report.h"
#include "bench/benchmark_runner.h"
#include "decoder/dxva2_video_decoder.h"
#include "ipc/com_chan_channel.h"
#include "logging/spdlog_logger.h"

ComChanChannel* g_ComChan = nullptr;
std::atomic<bool> g_BenchmarkFinished{false};

void OnComChanConnected()
{
    g_Logger.Log(LogLevel::info, "com chan connected");
}

void OnComChanDisconnected(ComChanShutdownReason reason)
{
    g_Logger.Log(LogLevel::info, "com chan disconnected for reason %d", static_cast<int>(reason));
    uv_stop(uv_default_loop());
}

namespace {

// Truncation toward zero, but defined for every float a bitstream can produce.
int FrameRateForLog(float frameRate)
{
    if (!(frameRate > -2147483648.0f && frameRate < 2147483648.0f))
        return frameRate > 0 ? INT32_MAX : (frameRate < 0 ? INT32_MIN : 0);
    return static_cast<int>(frameRate);
}

}  // namespace

void OnDecoderOutputChanged(size_t width, size_t height, float, float frameRate)
{
    g_Logger.Log(LogLevel::info, "videoDecoderOutputChanged %zdx%zd@%d\n", width, height, FrameRateForLog(frameRate));
}

void OnDecoderError(int code)
{
    g_Logger.Log(LogLevel::error, "videoDecoderError %d\n", code);
}

void RunBenchmark()
{
    DXVA2VideoDecoder decoder(OnDecoderOutputChanged, OnDecoderError);
    decoder.Init();
    RunBenchmarkCases(decoder, g_BenchCases);
}

void SendBenchReport()
{
    nlohmann::json report = BuildBenchReport(g_BenchCases);
    g_ComChan->send(new ComChanJsonMessage(report));
    g_ComChan->shutdown(ComChanShutdownReason::Requested);
}

void BenchWork(uv_work_t*)
{
    // Nothing may escape into libuv's pool thread.
    try {
        RunBenchmark();
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "bench: run failed: %s", ex.what());
    } catch (...) {
        g_Logger.Log(LogLevel::error, "bench: run failed");
    }
    g_BenchmarkFinished = true;
}

void BenchAfterWork(uv_work_t*, int)
{
    try {
        SendBenchReport();
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "bench: report failed: %s", ex.what());
        // Without a report there is nothing left to wait for; the loop's
        // handles would otherwise keep the process alive for ever.
        if (!g_ComChan->isShutDown())
            g_ComChan->shutdown(ComChanShutdownReason::Requested);
    }
}
