#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bench/measured_run.h"
#include "bench/video_frame.h"
#include "decoder/video_decoder.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

// Writes down what the run asked of it: "P" set-up, "D<timestamp>" a decode,
// "W" a wait. Set-up is slow, so that a pass that contains it shows.
struct RecordingDecoder : VideoDecoder {
    bool IsInitialized() override { return true; }
    int32_t Init() override { return 1; }
    int64_t Prepare(VideoFrame&) override
    {
        events.push_back("P");
        if (throwOnPrepare)
            throw std::runtime_error("out of video memory");
        std::this_thread::sleep_for(kSetUp);
        return 0;
    }
    int64_t Decode(std::unique_ptr<VideoFrame>& frame) override
    {
        events.push_back("D" + std::to_string(frame->timestamp));
        lastDecoded = frame->timestamp;
        if (!refused.count(frame->timestamp))
            return 0;
        g_Logger.Log(LogLevel::error, "decoder: picture %d refused\n", frame->timestamp);
        g_Logger.Log(LogLevel::error, "videoDecoderError -3");
        return -3;
    }
    int64_t WaitUntilDecoded() override
    {
        events.push_back("W");
        return lastDecoded == failedWaitAfter ? -3 : 0;
    }
    static constexpr auto kSetUp = std::chrono::milliseconds(60);
    std::vector<std::string> events;
    std::set<uint32_t> refused;
    uint32_t lastDecoded = 0;
    uint32_t failedWaitAfter = UINT32_MAX;  // the wait after this picture fails, silently
    bool throwOnPrepare = false;
};

// Cases of `frames` frame files each, whose timestamps are row * 100 + index.
std::vector<BenchCase> MakeCases(const TempDir& dir, size_t rows, size_t frames)
{
    std::vector<BenchCase> cases;
    for (size_t row = 0; row < rows; ++row) {
        cases.push_back({(dir.path() / std::to_string(row)).string() + "/", 64, 48, 0, frames, false, 0});
        for (size_t index = 0, stamp = row * 100; index < frames; ++index, ++stamp)
            WriteFileContents(FrameFileName(cases.back(), int32_t(index)),
                              std::string{'\x21', char(stamp), char(stamp >> 8), '\0', '\0'});
    }
    return cases;
}

TEST(MeasuredRun, SetUpOnceThenWarmUpRecordedAndLatencyPasses)
{
    LogCapture log;
    TempDir dir;
    std::vector<BenchCase> cases = MakeCases(dir, 1, 3);
    std::vector<CaseMeasurement> measurements(1);
    RecordingDecoder decoder;
    RunMeasuredCases(decoder, cases, {2, 1}, measurements, nullptr, nullptr);

    // One warm-up and two recorded passes; the latency pass waits after every picture.
    const std::vector<std::string> expected = {"P",  "D0", "D1", "D2", "W", "D0", "D1", "D2", "W", "D0", "D1",
                                               "D2", "W",  "D0", "W",  "D1", "W", "D2", "W"};
    EXPECT_EQ(decoder.events, expected);

    const CaseMeasurement& measured = measurements[0];
    ASSERT_EQ(measured.samplesUs.size(), 2u);
    // The set-up's 60 ms are its own and in no pass.
    EXPECT_GE(measured.setupUs, 60000u);
    for (uint64_t sample : measured.samplesUs)
        EXPECT_LT(sample, 60000u);
}

// A case fails with the first error line of its own, or says it had none; a
// set-up that throws fails its case only, and the next one starts clean.
TEST(MeasuredRun, FailedCasesCarryTheirFirstErrorAndTheRunGoesOn)
{
    LogCapture log;
    TempDir dir;
    std::vector<BenchCase> cases = MakeCases(dir, 6, 2);
    std::filesystem::remove(FrameFileName(cases[2], 1));
    std::vector<CaseMeasurement> measurements(cases.size());
    measurements[5].reason = "left over from an earlier run";
    RecordingDecoder decoder;
    decoder.refused = {101};
    decoder.failedWaitAfter = 301;
    std::vector<std::string> finished;
    const std::string checkReason = "data: " + FrameFileName(cases[0], 1) + " does not match";
    RunMeasuredCases(
        decoder, cases, {3, 0}, measurements,
        [&](const BenchCase& benchCase) { return &benchCase == &cases[0] ? checkReason : std::string(); },
        [&](const BenchCase& benchCase, const CaseMeasurement& measured) {
            finished.push_back(benchCase.path + (measured.passed ? " passed" : " failed"));
            decoder.throwOnPrepare = &benchCase == &cases[3];
        });

    // The refused check decodes nothing of its case and is logged once.
    EXPECT_EQ(std::count(decoder.events.begin(), decoder.events.end(), "D0"), 0);
    EXPECT_EQ(log.count(checkReason), 1u);
    const std::vector<std::string> reasons = {checkReason,
                                              "decoder: picture 101 refused",
                                              "video: videoframe -> could not open frame file: " + FrameFileName(cases[2], 1),
                                              "bench: " + cases[3].path + " failed without an error line",
                                              "bench: case " + cases[4].path + " failed: out of video memory"};
    for (size_t row = 0; row < reasons.size(); ++row) {
        EXPECT_EQ(measurements[row].reason, reasons[row]) << row;
        EXPECT_FALSE(cases[row].passed) << row;
        EXPECT_EQ(cases[row].elapsedUs, 0u) << row;
    }
    EXPECT_EQ(measurements[5].reason, "");
    std::vector<std::string> expectedFinished;
    for (const BenchCase& benchCase : cases)
        expectedFinished.push_back(benchCase.path + (&benchCase == &cases[5] ? " passed" : " failed"));
    EXPECT_EQ(finished, expectedFinished);
}

}  // namespace
