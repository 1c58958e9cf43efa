#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "bench/results_message.h"
#include "bench/sample_summary.h"

namespace {

TEST(SampleSummary, OrderStatisticsAndSpread)
{
    const struct {
        std::vector<uint64_t> samples;
        uint64_t min, median, p95, max;
        double mean, cv;
    } rows[] = {
        {{5}, 5, 5, 5, 5, 5, 0},
        // 20 samples: the middle two's mean, rounded down, and the 19th is the
        // smallest at or above 95 %; 21: the 20th.
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, 1, 10, 19, 20, 10.5,
         0.5634361698190111},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}, 1, 11, 20, 21, 11, 0.5640760748177662},
    };
    for (const auto& row : rows) {
        auto summary = Summarize(row.samples);
        ASSERT_TRUE(summary);
        EXPECT_EQ(std::vector<uint64_t>({summary->min, summary->median, summary->p95, summary->max}),
                  std::vector<uint64_t>({row.min, row.median, row.p95, row.max}));
        EXPECT_DOUBLE_EQ(summary->mean, row.mean);
        EXPECT_NEAR(summary->cv, row.cv, 1e-9) << row.samples.size();
    }
    EXPECT_FALSE(Summarize({}));
    // Unsorted, and two middle values near the top of the range do not overflow.
    const uint64_t top = std::numeric_limits<uint64_t>::max();
    EXPECT_EQ(Summarize(std::vector<uint64_t>{top, top - 2})->median, top - 1);
}

// 30 frames a second leave 33,333.3 us a picture and 1 s for 30 pictures.
TEST(SampleSummary, KeepingUpNeedsThroughputAndLatencyWithinTheFrameInterval)
{
    const struct {
        uint32_t fps;
        size_t frames;
        uint64_t medianPassUs, latencyP95Us;
        bool keepsUp;
    } rows[] = {
        {30, 30, 1000000, 33333, true}, {30, 30, 1000001, 33333, false}, {30, 30, 1000000, 33334, false},
        {60, 30, 500000, 16667, false}, {0, 30, 1, 1, false},           {30, 0, 0, 0, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(KeepsUpWith(row.fps, row.frames, row.medianPassUs, row.latencyP95Us), row.keepsUp)
            << row.fps << " fps, " << row.medianPassUs << " us, p95 " << row.latencyP95Us;
}

TEST(ResultsMessage, PassedAndFailedCases)
{
    const BenchCase cases[] = {{"./a/", 1280, 720, 0, 30, true, 300}, {"./b/", 3840, 2160, 1, 30, false, 0}};
    CaseMeasurement passed;
    passed.passed = true;
    passed.setupUs = 7;
    passed.samplesUs = {300000, 100000, 200000};
    passed.latenciesUs = {9000, 10000, 9500};
    CaseMeasurement failed;
    failed.reason = "decoder: it broke";
    failed.latenciesUs = {5};
    const CaseMeasurement measurements[] = {passed, failed};

    const nlohmann::json message = BuildResultsMessage({{"time", "now"}}, cases, measurements);
    const nlohmann::json expected = nlohmann::json::parse(R"({"results": {"schemaVersion": 1, "context": {"time": "now"},
      "cases": [
        {"codec": "h264", "width": 1280, "height": 720, "frames": 30, "pass": true, "setupUs": 7,
         "samplesUs": [300000, 100000, 200000], "minUs": 100000, "medianUs": 200000, "p95Us": 300000,
         "meanUs": 200000.0, "cv": 0.5, "latencyUs": {"median": 9500, "p95": 10000, "max": 10000},
         "realTime": {"30": true, "60": true, "120": false}},
        {"codec": "h265", "width": 3840, "height": 2160, "frames": 30, "pass": false, "reason": "decoder: it broke",
         "setupUs": 0, "samplesUs": [], "minUs": null, "medianUs": null, "p95Us": null, "meanUs": null, "cv": null,
         "latencyUs": null, "realTime": {"30": false, "60": false, "120": false}}]}})");
    EXPECT_EQ(message, expected) << message.dump(1);
}

}  // namespace
