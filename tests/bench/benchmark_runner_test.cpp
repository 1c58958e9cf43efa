#include <chrono>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bench/bench_case.h"
#include "bench/benchmark_runner.h"
#include "bench/video_frame.h"
#include "decoder/video_decoder.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

// Takes 1 ms a frame, records each by its timestamp (row * 100 + index) and
// answers with the result it is given for that frame, 0 by default.
struct FakeDecoder : VideoDecoder {
    bool IsInitialized() override { return true; }
    int32_t Init() override { return 1; }
    int64_t Decode(std::unique_ptr<VideoFrame>& frame) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        decoded.push_back(frame->timestamp);
        return results.count(frame->timestamp) ? results[frame->timestamp] : 0;
    }
    std::vector<uint32_t> decoded;
    std::map<uint32_t, int64_t> results;
};

TEST(BenchmarkRunner, RefusedOrMissingFrameEndsOnlyItsCase)
{
    LogCapture log;
    TempDir dir;
    // Frames per case and how many of them exist; codec 2 is never probed.
    const std::pair<size_t, size_t> shapes[] = {{30, 30}, {30, 30}, {30, 3}, {0, 0}, {2, 2}, {1, 1}};
    std::vector<BenchCase> cases;
    for (size_t row = 0; row < std::size(shapes); ++row) {
        cases.push_back({(dir.path() / std::to_string(row)).string() + "/", 1280, 720, 0, shapes[row].first, false, 0});
        std::filesystem::create_directories(cases.back().path);
        for (size_t i = 0, stamp = row * 100; i < shapes[row].second; ++i, ++stamp)
            std::ofstream(FrameFileName(cases.back(), int32_t(i))) << "\x21" << char(stamp) << char(stamp >> 8) << std::string(2, '\0');
    }
    FakeDecoder decoder;
    decoder.results = {{105, -3}, {400, 1}, {500, INT64_MIN}};
    RunBenchmarkCases(decoder, cases);

    for (size_t row = 0; row < cases.size(); ++row)
        EXPECT_EQ(cases[row].passed, row == 0 || row == 4) << row;
    EXPECT_EQ(decoder.decoded.size(), 30 + 6 + 3 + 0 + 2 + 1u);
    EXPECT_EQ(log.count(FrameFileName(cases[2], 3)), 1u);
    // Microseconds: 30 frames of 1 ms each.
    EXPECT_GE(cases[0].elapsedUs, 30000u);
    EXPECT_LT(cases[0].elapsedUs, 3000000u);
}

}  // namespace
