#include "app/bench_work.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// One adapter's extended run: written by the pool thread, read after its
// completion on the loop thread.
struct AdapterOutcome {
    std::optional<platform::UINT> adapter;  // the one asked for; none: the rule's
    std::array<BenchCase, kBenchCaseCount> cases;
    std::array<CaseMeasurement, kBenchCaseCount> measurements;
    nlohmann::json context;
};
std::vector<AdapterOutcome> g_Outcomes;

// The extended run on one adapter: every case's files checked against the
// manifest (when there is one) before its clock, measured apart, and its
// progress sent. Without a decoder every case fails with the reason Init gave.
void RunExtendedBenchmark(DXVA2VideoDecoder& decoder, const std::string& initFailure, AdapterOutcome& outcome,
                          size_t& finishedCount, size_t caseCount)
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
    CaseFinished finished = [&](const BenchCase& benchCase, const CaseMeasurement&) {
        ++finishedCount;
        if (!g_BenchRequest.progress)
            return;
        nlohmann::json message = BuildProgressMessage(benchCase, finishedCount, caseCount);
        if (g_BenchRequest.allAdapters && outcome.adapter)
            message["progress"]["adapter"] = *outcome.adapter;
        g_ComChan->send(new ComChanJsonMessage(std::move(message)));
    };
    RunMeasuredCases(decoder, outcome.cases, g_BenchRequest.settings, outcome.measurements, check, finished);
    outcome.context = ResultsContext(decoder.Adapter(), data, g_BenchRequest.settings, pin.Processor());
    if (outcome.context["adapter"].is_object()) {
        const std::optional<platform::UINT>& rule =
            g_BenchRequest.adapters ? g_BenchRequest.adapters->ruleAdapter : decoder.Adapter()->index;
        outcome.context["adapter"]["benchmark"] = rule == decoder.Adapter()->index;
    }
}

// {"adapters": {...}}: which adapters were measured, the rule's, and why each
// other one was not.
nlohmann::json AdaptersMessage(const AdapterPlan& plan)
{
    nlohmann::json skipped = nlohmann::json::array();
    for (const SkippedAdapter& adapter : plan.skipped) {
        nlohmann::json value = AdapterIdentityValue(adapter.identity);
        value["reason"] = adapter.reason;
        skipped.push_back(std::move(value));
    }
    return {{"adapters",
             {{"benchmark", plan.ruleAdapter ? nlohmann::json(*plan.ruleAdapter) : nlohmann::json()},
              {"measured", plan.measured},
              {"skipped", std::move(skipped)}}}};
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
    std::vector<std::optional<platform::UINT>> adapters;
    if (g_BenchRequest.adapters)
        adapters.assign(g_BenchRequest.adapters->measured.begin(), g_BenchRequest.adapters->measured.end());
    // Without an adapter that can run it, the run still says why each case failed.
    if (adapters.empty())
        adapters.emplace_back();

    if (!g_BenchRequest.extended) {
        DXVA2VideoDecoder decoder(OnDecoderOutputChanged, OnDecoderError);
        decoder.RequireAdapter(adapters.front());
        decoder.Init();
        RunBenchmarkCases(decoder, g_BenchCases);
        return;
    }
    // Each adapter starts from the table as no run has left it.
    const std::array<BenchCase, kBenchCaseCount> table = g_BenchCases;
    size_t finishedCount = 0;
    for (const std::optional<platform::UINT>& adapter : adapters) {
        AdapterOutcome& outcome = g_Outcomes.emplace_back();
        outcome.adapter = adapter;
        outcome.cases = table;
        DXVA2VideoDecoder decoder(OnDecoderOutputChanged, OnDecoderError);
        decoder.RequireAdapter(adapter);
        std::string initFailure;
        {
            FirstErrorCapture capture;
            if (decoder.Init() < 0)
                initFailure = capture.Text().empty() ? std::string("decoder: no usable video decoder") : capture.Text();
        }
        RunExtendedBenchmark(decoder, initFailure, outcome, finishedCount, kBenchCaseCount * adapters.size());
    }
    // The bare report stays the rule's adapter's.
    const AdapterOutcome* reported = &g_Outcomes.front();
    for (const AdapterOutcome& outcome : g_Outcomes) {
        if (g_BenchRequest.adapters && outcome.adapter == g_BenchRequest.adapters->ruleAdapter)
            reported = &outcome;
    }
    g_BenchCases = reported->cases;
}

void SendBenchReport()
{
    if (g_BenchRequest.allAdapters && g_BenchRequest.adapters)
        g_ComChan->send(new ComChanJsonMessage(AdaptersMessage(*g_BenchRequest.adapters)));
    nlohmann::json report = BuildBenchReport(g_BenchCases);
    g_ComChan->send(new ComChanJsonMessage(report));
    if (g_BenchRequest.extended) {
        // A run that failed before its end still says what it has.
        if (g_Outcomes.empty()) {
            g_Outcomes.emplace_back().cases = g_BenchCases;
            g_Outcomes.back().context = nlohmann::json::object();
        }
        for (const AdapterOutcome& outcome : g_Outcomes) {
            nlohmann::json context = outcome.context.is_object() ? outcome.context : nlohmann::json::object();
            g_ComChan->send(
                new ComChanJsonMessage(BuildResultsMessage(std::move(context), outcome.cases, outcome.measurements)));
        }
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
