#include "app/bench_work.h"

#include <cstdint>
#include <optional>
#include <string>

#include "app/results_context.h"
#include "bench/bench_case.h"
#include "bench/bench_report.h"
#include "bench/benchmark_runner.h"
#include "bench/data_manifest.h"
#include "bench/performance_counter.h"
#include "bench/results_message.h"
#include "bench/thread_pinning.h"
#include "decoder/dxva2_video_decoder.h"
#include "ipc/com_chan_channel.h"
#include "logging/first_error_capture.h"
#include "logging/spdlog_logger.h"

ComChanChannel* g_ComChan = nullptr;
std::atomic<bool> g_BenchmarkFinished{false};
BenchRequest g_BenchRequest;

namespace {

// An extended run's outcome beyond the case table: written by the pool
// thread, read after its completion on the loop thread.
std::array<CaseMeasurement, kBenchCaseCount> g_Measurements;
std::optional<nlohmann::json> g_ResultsContext;

// The extended run: every case's files checked against the manifest (when
// there is one) before its clock, measured apart, and its progress sent.
// Without a decoder every case fails with the reason Init gave.
void RunExtendedBenchmark(DXVA2VideoDecoder& decoder, const std::string& initFailure)
{
    const ThreadPin pin;
    DataCheckOutcome data;
    int64_t loadStart = MonotonicNanoseconds();
    const DataManifest manifest = DataManifest::Load();
    data.checkUs = MicrosecondsSince(loadStart);
    // A manifest that cannot be read checks nothing; every case fails with its error.
    data.checked = manifest.GetState() == DataManifest::State::loaded;
    data.identity = manifest.Identity();
    data.error = manifest.Error();

    CaseCheck check = [&](const BenchCase& benchCase) -> std::string {
        if (!initFailure.empty())
            return initFailure;
        if (manifest.GetState() == DataManifest::State::absent)
            return {};
        if (manifest.GetState() == DataManifest::State::invalid)
            return manifest.Error();
        int64_t start = MonotonicNanoseconds();
        std::string reason;
        for (size_t index = 0; index < benchCase.frameCount && reason.empty(); ++index)
            reason = manifest.Check(FrameFileName(benchCase, static_cast<int32_t>(index)));
        data.checkUs += MicrosecondsSince(start);
        return reason;
    };
    size_t finishedCount = 0;
    CaseFinished finished = [&](const BenchCase& benchCase, const CaseMeasurement&) {
        ++finishedCount;
        if (g_BenchRequest.progress)
            g_ComChan->send(new ComChanJsonMessage(BuildProgressMessage(benchCase, finishedCount, kBenchCaseCount)));
    };
    RunMeasuredCases(decoder, g_BenchCases, g_BenchRequest.settings, g_Measurements, check, finished);
    g_ResultsContext = ResultsContext(decoder.Adapter(), data, g_BenchRequest.settings, pin.Processor());
}

}  // namespace

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
    if (!g_BenchRequest.extended) {
        decoder.Init();
        RunBenchmarkCases(decoder, g_BenchCases);
        return;
    }
    std::string initFailure;
    {
        FirstErrorCapture capture;
        if (decoder.Init() < 0)
            initFailure = capture.Text().empty() ? std::string("decoder: no usable video decoder") : capture.Text();
    }
    RunExtendedBenchmark(decoder, initFailure);
}

void SendBenchReport()
{
    nlohmann::json report = BuildBenchReport(g_BenchCases);
    g_ComChan->send(new ComChanJsonMessage(report));
    if (g_BenchRequest.extended) {
        // A run that failed before its end still says what it has.
        nlohmann::json context = g_ResultsContext ? *g_ResultsContext : nlohmann::json::object();
        g_ComChan->send(new ComChanJsonMessage(BuildResultsMessage(std::move(context), g_BenchCases, g_Measurements)));
    }
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
