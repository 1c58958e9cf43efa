#include <string>

#include <gtest/gtest.h>

#include "bench/bench_case.h"
#include "bench/bench_report.h"

namespace {

// The parent parses this text: key names, their order and the nesting of
// the H.265 group one level below the H.264 group are fixed.
TEST(BenchReport, TextIsExact)
{
    auto table = g_BenchCases;
    const char* sizes[] = {"\"height\":720,\"width\":1280", "\"height\":1080,\"width\":1920",
                           "\"height\":1440,\"width\":2560", "\"height\":2160,\"width\":3840"};
    std::string groups[2];
    for (size_t i = 0; i < table.size(); ++i) {
        table[i].passed = i % 3 != 0;
        table[i].elapsedUs = i == 7 ? UINT64_MAX : 100 + i;
        groups[i / 4] += std::string(i % 4 ? "," : "") + "{\"bench-frame\":30,\"bench-pass\":" + (i % 3 ? "true" : "false") +
                         ",\"bench-time\":" + (i == 7 ? "18446744073709551615" : std::to_string(100 + i)) + "," +
                         sizes[i % 4] + "}";
    }
    EXPECT_EQ(BuildBenchReport(table).dump(), "{\"bench\":[\"h264\",[" + groups[0] + "],[\"h265\",[" + groups[1] + "]]]}");
}

}  // namespace
