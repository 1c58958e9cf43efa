#include "app/bench_work.h"

#include <algorithm>
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
    std::vector<BenchCase> cases;
    std::vector<CaseMeasurement> measurements;
    nlohmann::json context;
};
std::vector<AdapterOutcome> g_Outcomes;
// The row of a run over the user's stream, once it has run.
std::vector<BenchCase> g_StreamCases;

// The cases as no run has left them: the case table, or the stream's one
// row, which its run fills in.
std::vector<BenchCase> InitialCases()
{
    if (!g_BenchRequest.stream)
        return {g_BenchCases.begin(), g_BenchCases.end()};
    return {BenchCase{*g_BenchRequest.stream, 0, 0, g_BenchRequest.streamCodec, 0, false, 0}};
}

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
    // A manifest that cannot be read checks nothing; every case fails with
    // its error. It says nothing of a user's stream.
    data.checked = manifest.GetState() == DataManifest::State::loaded && !g_BenchRequest.stream;
    if (!g_BenchRequest.stream) {
        data.identity = manifest.Identity();
        data.error = manifest.Error();
    }

    CaseCheck check = [&](const BenchCase& benchCase) -> std::string {
        if (!initFailure.empty())
            return initFailure;
        if (g_BenchRequest.stream || manifest.GetState() == DataManifest::State::absent)
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
    // Init's failure, not the stream's, is the reason when there is no decoder.
    if (g_BenchRequest.stream && initFailure.empty())
        RunMeasuredStream(decoder, *g_BenchRequest.stream, g_BenchRequest.streamCodec, g_BenchRequest.settings,
                          outcome.cases[0], outcome.measurements[0], check, finished);
    else
        RunMeasuredCases(decoder, outcome.cases, g_BenchRequest.settings, outcome.measurements, check, finished);
    outcome.context = ResultsContext(decoder.Adapter(), data, g_BenchRequest.settings, pin.Processor());
    if (g_BenchRequest.stream)
        outcome.context["stream"] = {{"path", *g_BenchRequest.stream}};
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

    // Each adapter starts from the cases as no run has left them.
    const std::vector<BenchCase> initial = InitialCases();
    if (!g_BenchRequest.extended) {
        DXVA2VideoDecoder decoder(OnDecoderOutputChanged, OnDecoderError);
        decoder.RequireAdapter(adapters.front());
        decoder.Init();
        if (!g_BenchRequest.stream) {
            RunBenchmarkCases(decoder, g_BenchCases);
            return;
        }
        g_StreamCases = initial;
        RunStreamCase(decoder, *g_BenchRequest.stream, g_BenchRequest.streamCodec, g_StreamCases[0]);
        return;
    }
    size_t finishedCount = 0;
    for (const std::optional<platform::UINT>& adapter : adapters) {
        AdapterOutcome& outcome = g_Outcomes.emplace_back();
        outcome.adapter = adapter;
        outcome.cases = initial;
        outcome.measurements.resize(initial.size());
        DXVA2VideoDecoder decoder(OnDecoderOutputChanged, OnDecoderError);
        decoder.RequireAdapter(adapter);
        std::string initFailure;
        {
            FirstErrorCapture capture;
            if (decoder.Init() < 0)
                initFailure = capture.Text().empty() ? std::string("decoder: no usable video decoder") : capture.Text();
        }
        RunExtendedBenchmark(decoder, initFailure, outcome, finishedCount, initial.size() * adapters.size());
    }
    // The bare report stays the rule's adapter's.
    const AdapterOutcome* reported = &g_Outcomes.front();
    for (const AdapterOutcome& outcome : g_Outcomes) {
        if (g_BenchRequest.adapters && outcome.adapter == g_BenchRequest.adapters->ruleAdapter)
            reported = &outcome;
    }
    if (g_BenchRequest.stream)
        g_StreamCases = reported->cases;
    else
        std::copy(reported->cases.begin(), reported->cases.end(), g_BenchCases.begin());
}

void SendBenchReport()
{
    if (g_BenchRequest.allAdapters && g_BenchRequest.adapters)
        g_ComChan->send(new ComChanJsonMessage(AdaptersMessage(*g_BenchRequest.adapters)));
    // A stream's run that failed before its row was written reports the row as asked.
    if (g_BenchRequest.stream && g_StreamCases.empty())
        g_StreamCases = InitialCases();
    nlohmann::json report =
        g_BenchRequest.stream ? BuildBenchReport(g_StreamCases) : BuildBenchReport(g_BenchCases);
    g_ComChan->send(new ComChanJsonMessage(report));
    if (g_BenchRequest.extended) {
        // A run that failed before its end still says what it has.
        if (g_Outcomes.empty()) {
            AdapterOutcome& outcome = g_Outcomes.emplace_back();
            outcome.cases = InitialCases();
            outcome.measurements.resize(outcome.cases.size());
            outcome.context = nlohmann::json::object();
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
