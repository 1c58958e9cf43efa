#include "bench/measured_run.h"

#include <exception>
#include <memory>

#include "bench/benchmark_runner.h"
#include "bench/performance_counter.h"
#include "bench/video_frame.h"
#include "decoder/video_decoder.h"
#include "logging/first_error_capture.h"
#include "logging/spdlog_logger.h"

namespace {

// The decoder and its surfaces for the case's first frame, so that no pass
// pays for them.
bool SetUp(VideoDecoder& decoder, const BenchCase& benchCase, CaseMeasurement& measurement)
{
    const std::string fileName = FrameFileName(benchCase, 0);
    std::unique_ptr<VideoFrame> first = LoadFrameFile(fileName);
    if (!first)
        return false;
    const int64_t start = MonotonicNanoseconds();
    const int64_t prepared = decoder.Prepare(*first);
    measurement.setupUs = MicrosecondsSince(start);
    return prepared >= 0;
}

// One pass that waits for each picture before submitting the next, so that
// every wait is one picture's latency; the frame is loaded before its clock.
bool MeasureLatencies(VideoDecoder& decoder, const BenchCase& benchCase, CaseMeasurement& measurement)
{
    measurement.latenciesUs.reserve(benchCase.frameCount);
    for (size_t index = 0; index < benchCase.frameCount; ++index) {
        const std::string fileName = FrameFileName(benchCase, static_cast<int32_t>(index));
        std::unique_ptr<VideoFrame> frame = LoadFrameFile(fileName);
        if (!frame)
            return false;
        const int64_t start = MonotonicNanoseconds();
        const bool accepted = DecodeLoadedFrame(decoder, frame, fileName) && decoder.WaitUntilDecoded() >= 0;
        measurement.latenciesUs.push_back(MicrosecondsSince(start));
        if (!accepted)
            return false;
    }
    return true;
}

bool MeasureCase(VideoDecoder& decoder, const BenchCase& benchCase, const MeasureSettings& settings,
                 CaseMeasurement& measurement)
{
    if (benchCase.frameCount == 0 || !SetUp(decoder, benchCase, measurement))
        return false;
    for (uint32_t pass = 0; pass < settings.warmup; ++pass) {
        if (!DecodeCasePass(decoder, benchCase))
            return false;
    }
    measurement.samplesUs.reserve(settings.repeat);
    for (uint32_t pass = 0; pass < settings.repeat; ++pass) {
        const int64_t start = MonotonicNanoseconds();
        const bool passed = DecodeCasePass(decoder, benchCase);
        const uint64_t elapsed = MicrosecondsSince(start);
        if (!passed)
            return false;
        measurement.samplesUs.push_back(elapsed);
    }
    return MeasureLatencies(decoder, benchCase, measurement);
}

// Nothing may escape into the pool thread, and a case that throws must not
// take the cases after it along.
bool MeasureCaseGuarded(VideoDecoder& decoder, const BenchCase& benchCase, const MeasureSettings& settings,
                        CaseMeasurement& measurement)
{
    try {
        return MeasureCase(decoder, benchCase, settings, measurement);
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "bench: case %s failed: %s", benchCase.path, ex.what());
    } catch (...) {
        g_Logger.Log(LogLevel::error, "bench: case %s failed", benchCase.path);
    }
    return false;
}

}  // namespace

void RunMeasuredCases(VideoDecoder& decoder, std::span<BenchCase> cases, const MeasureSettings& settings,
                      std::span<CaseMeasurement> measurements, const CaseCheck& check, const CaseFinished& finished)
{
    PrepareRun(cases);
    for (size_t index = 0; index < cases.size() && index < measurements.size(); ++index) {
        BenchCase& benchCase = cases[index];
        CaseMeasurement& measurement = measurements[index];
        measurement = CaseMeasurement{};
        {
            FirstErrorCapture capture;
            measurement.reason = check ? check(benchCase) : std::string();
            if (!measurement.reason.empty())
                g_Logger.Log(LogLevel::error, "%s", measurement.reason);
            else
                measurement.passed = MeasureCaseGuarded(decoder, benchCase, settings, measurement);
            if (!measurement.passed && measurement.reason.empty()) {
                measurement.reason = capture.Text().empty()
                                         ? "bench: " + benchCase.path + " failed without an error line"
                                         : capture.Text();
            }
        }
        benchCase.passed = measurement.passed;
        benchCase.elapsedUs = measurement.samplesUs.empty() ? 0 : measurement.samplesUs.front();
        if (finished)
            finished(benchCase, measurement);
    }
}
