#include "bench/measured_run.h"

#include <exception>
#include <memory>

#include "bench/benchmark_runner.h"
#include "bench/frame_source.h"
#include "bench/performance_counter.h"
#include "bench/stream_source.h"
#include "bench/video_frame.h"
#include "decoder/video_decoder.h"
#include "logging/first_error_capture.h"
#include "logging/spdlog_logger.h"

namespace {

// The decoder and its surfaces for the case's first frame, so that no pass
// pays for them.
bool SetUp(VideoDecoder& decoder, FrameSource& source, CaseMeasurement& measurement)
{
    std::unique_ptr<VideoFrame> first = source.Load(0);
    if (!first)
        return false;
    const int64_t start = MonotonicNanoseconds();
    const int64_t prepared = decoder.Prepare(*first);
    measurement.setupUs = MicrosecondsSince(start);
    return prepared >= 0;
}

// One pass that waits for each picture before submitting the next, so that
// every wait is one picture's latency; the frame is loaded before its clock.
bool MeasureLatencies(VideoDecoder& decoder, FrameSource& source, CaseMeasurement& measurement)
{
    measurement.latenciesUs.reserve(source.FrameCount());
    decoder.StartOver();
    for (size_t index = 0; index < source.FrameCount(); ++index) {
        std::unique_ptr<VideoFrame> frame = source.Load(index);
        if (!frame)
            return false;
        const int64_t start = MonotonicNanoseconds();
        const bool accepted = DecodeLoadedFrame(decoder, frame, source, index) && decoder.WaitUntilDecoded() >= 0;
        measurement.latenciesUs.push_back(MicrosecondsSince(start));
        if (!accepted)
            return false;
    }
    return true;
}

bool MeasureCase(VideoDecoder& decoder, FrameSource& source, const MeasureSettings& settings,
                 CaseMeasurement& measurement)
{
    if (source.FrameCount() == 0 || !SetUp(decoder, source, measurement))
        return false;
    for (uint32_t pass = 0; pass < settings.warmup; ++pass) {
        if (!DecodeCasePass(decoder, source))
            return false;
    }
    measurement.samplesUs.reserve(settings.repeat);
    for (uint32_t pass = 0; pass < settings.repeat; ++pass) {
        const int64_t start = MonotonicNanoseconds();
        const bool passed = DecodeCasePass(decoder, source);
        const uint64_t elapsed = MicrosecondsSince(start);
        if (!passed)
            return false;
        measurement.samplesUs.push_back(elapsed);
    }
    return MeasureLatencies(decoder, source, measurement);
}

// Nothing may escape into the pool thread, and a case that throws must not
// take the cases after it along.
bool MeasureCaseGuarded(VideoDecoder& decoder, const BenchCase& benchCase, FrameSource& source,
                        const MeasureSettings& settings, CaseMeasurement& measurement)
{
    try {
        return MeasureCase(decoder, source, settings, measurement);
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "bench: case %s failed: %s", benchCase.path, ex.what());
    } catch (...) {
        g_Logger.Log(LogLevel::error, "bench: case %s failed", benchCase.path);
    }
    return false;
}

// Sets the case's row from its measurement and reports it finished.
void FinishCase(BenchCase& benchCase, const CaseMeasurement& measurement, const CaseFinished& finished)
{
    benchCase.passed = measurement.passed;
    benchCase.elapsedUs = measurement.samplesUs.empty() ? 0 : measurement.samplesUs.front();
    if (finished)
        finished(benchCase, measurement);
}

// The check, then the measurement; a failed case keeps its first error line.
void RunMeasuredCase(VideoDecoder& decoder, BenchCase& benchCase, FrameSource& source, const MeasureSettings& settings,
                     CaseMeasurement& measurement, const CaseCheck& check, const CaseFinished& finished)
{
    {
        FirstErrorCapture capture;
        measurement.reason = check ? check(benchCase) : std::string();
        if (!measurement.reason.empty())
            g_Logger.Log(LogLevel::error, "%s", measurement.reason);
        else
            measurement.passed = MeasureCaseGuarded(decoder, benchCase, source, settings, measurement);
        if (!measurement.passed && measurement.reason.empty()) {
            measurement.reason = capture.Text().empty()
                                     ? "bench: " + benchCase.path + " failed without an error line"
                                     : capture.Text();
        }
    }
    FinishCase(benchCase, measurement, finished);
}

}  // namespace

void RunMeasuredCases(VideoDecoder& decoder, std::span<BenchCase> cases, const MeasureSettings& settings,
                      std::span<CaseMeasurement> measurements, const CaseCheck& check, const CaseFinished& finished)
{
    PrepareRun(cases);
    for (size_t index = 0; index < cases.size() && index < measurements.size(); ++index) {
        measurements[index] = CaseMeasurement{};
        FrameFileSource source(cases[index]);
        RunMeasuredCase(decoder, cases[index], source, settings, measurements[index], check, finished);
    }
}

void RunMeasuredStream(VideoDecoder& decoder, const std::string& path, uint8_t codec, const MeasureSettings& settings,
                       BenchCase& benchCase, CaseMeasurement& measurement, const CaseCheck& check,
                       const CaseFinished& finished)
{
    measurement = CaseMeasurement{};
    benchCase = {path, 0, 0, codec, 0, false, 0};
    std::unique_ptr<StreamFrameSource> source;
    try {
        source = StreamFrameSource::Open(path, codec, measurement.reason);
    } catch (const std::exception& ex) {
        measurement.reason = "stream: " + path + ": " + ex.what();
    }
    if (!source) {
        g_Logger.Log(LogLevel::error, "%s", measurement.reason);
        FinishCase(benchCase, measurement, finished);
        return;
    }
    benchCase = source->Case();
    PrepareRunFor(source->LargestFrame());
    RunMeasuredCase(decoder, benchCase, *source, settings, measurement, check, finished);
}
