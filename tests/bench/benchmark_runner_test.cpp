#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "bench/bench_case.h"
#include "bench/benchmark_runner.h"
#include "bench/performance_counter.h"
#include "bench/video_frame.h"
#include "decoder/video_decoder.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

// Records every decode by the frame's timestamp (the test writes the frame
// index there) and refuses the frames it is told to.
class FakeDecoder : public VideoDecoder {
public:
    bool IsInitialized() override { return true; }
    int32_t Init() override { return 1; }
    int64_t Decode(std::unique_ptr<VideoFrame>& frame) override
    {
        decoded.push_back(frame->timestamp);
        auto refusal = refused.find(frame->timestamp);
        return refusal != refused.end() ? refusal->second : 0;
    }

    std::vector<uint32_t> decoded;
    std::map<uint32_t, int64_t> refused;
};

// Frame files with an unknown codec (no probing) whose timestamp is
// row * 100 + index, so the fake decoder can tell them apart.
class RunnerTest : public ::testing::Test {
protected:
    BenchCase MakeCase(int row, size_t frameCount, size_t filesOnDisk)
    {
        std::string dir = (m_Dir.path() / ("case" + std::to_string(row))).string() + "/";
        std::filesystem::create_directories(dir);
        BenchCase benchCase{dir, 1280, 720, 0, frameCount, false, 0};
        for (size_t i = 0; i < filesOnDisk; ++i) {
            uint32_t stamp = static_cast<uint32_t>(row * 100 + i);
            std::ofstream out(FrameFileName(benchCase, static_cast<int32_t>(i)), std::ios::binary);
            const char bytes[] = {0x21, char(stamp), char(stamp >> 8), 0, 0, 0, 0, 1, 0x65};
            out.write(bytes, sizeof bytes);
        }
        return benchCase;
    }

    TempDir m_Dir;
    LogCapture m_Log;
};

TEST_F(RunnerTest, RefusedFrameEndsOnlyItsCase)
{
    std::vector<BenchCase> cases;
    for (int row = 0; row < 8; ++row)
        cases.push_back(MakeCase(row, 30, 30));
    FakeDecoder decoder;
    decoder.refused[205] = -3;  // frame 5 of row 2

    RunBenchmarkCases(decoder, cases);

    std::set<uint32_t> decodedRow2;
    for (uint32_t stamp : decoder.decoded)
        if (stamp / 100 == 2)
            decodedRow2.insert(stamp);
    EXPECT_EQ(decodedRow2, (std::set<uint32_t>{200, 201, 202, 203, 204, 205}));
    EXPECT_EQ(decoder.decoded.size(), 7 * 30 + 6u);
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(cases[row].passed, row != 2) << row;
        EXPECT_GT(cases[row].elapsedUs, 0u) << row;
    }
}

TEST_F(RunnerTest, ZeroResultCountsAsAcceptedAndAnyNegativeAsRefused)
{
    struct Row {
        int64_t result;
        bool passed;
    } rows[] = {{0, true}, {1, true}, {-1, false}, {-9, false}, {INT64_MIN, false}};
    for (auto& row : rows) {
        std::vector<BenchCase> cases = {MakeCase(0, 1, 1)};
        FakeDecoder decoder;
        decoder.refused[0] = row.result;
        RunBenchmarkCases(decoder, cases);
        EXPECT_EQ(cases[0].passed, row.passed) << row.result;
    }
}

TEST_F(RunnerTest, EmptyCaseKeepsItsPassFlag)
{
    std::vector<BenchCase> cases = {MakeCase(0, 0, 0), MakeCase(1, 0, 0)};
    cases[1].passed = true;
    FakeDecoder decoder;
    RunBenchmarkCases(decoder, cases);
    EXPECT_TRUE(decoder.decoded.empty());
    EXPECT_FALSE(cases[0].passed);
    EXPECT_TRUE(cases[1].passed);
    EXPECT_LT(cases[0].elapsedUs, 100000u);
}

TEST_F(RunnerTest, MissingOrTruncatedFrameFailsTheCaseAndTheRunGoesOn)
{
    std::vector<BenchCase> cases = {MakeCase(0, 30, 3), MakeCase(1, 2, 2), MakeCase(2, 1, 1)};
    // A file shorter than its five-byte header.
    { std::ofstream(FrameFileName(cases[2], 0), std::ios::binary | std::ios::trunc) << "\x21\x01"; }
    FakeDecoder decoder;
    RunBenchmarkCases(decoder, cases);

    EXPECT_FALSE(cases[0].passed);
    EXPECT_TRUE(cases[1].passed);
    EXPECT_FALSE(cases[2].passed);
    EXPECT_EQ(decoder.decoded, (std::vector<uint32_t>{0, 1, 2, 100, 101}));
    const std::string missing = FrameFileName(cases[0], 3);
    EXPECT_EQ(m_Log.count(missing), 1u);
    EXPECT_EQ(m_Log.count(FrameFileName(cases[2], 0)), 1u);
    for (auto& line : m_Log.lines()) {
        if (line.find(missing) != std::string::npos) {
            EXPECT_EQ(line.rfind("error: ", 0), 0u) << line;
        }
    }
}

TEST(PerformanceCounter, NanosecondArithmeticTruncatesAndNeverOverflows)
{
    struct Case {
        int64_t counter, frequency, nanoseconds;
    } cases[] = {
        {1999, 1000000000, 1999},
        {3, 10000000, 300},                     // 10 MHz counter, as Windows reports
        {10000001, 10000000, 1000000100},
        // Ten years of a 10 MHz counter: counter * 10^9 alone would overflow.
        {3153600000000007, 10000000, 315360000000000700},
        {7, 3, 2333333333LL},
    };
    for (auto& c : cases)
        EXPECT_EQ(CounterToNanoseconds(c.counter, c.frequency), c.nanoseconds) << c.counter << "/" << c.frequency;
    // 1999 ns is stored as 1 us by the runner's truncating division.
    EXPECT_EQ(CounterToNanoseconds(1999, 1000000000) / 1000, 1);
    int64_t first = MonotonicNanoseconds();
    EXPECT_GE(MonotonicNanoseconds(), first);
}

}  // namespace
