#include <array>
#include <string>

#include <gtest/gtest.h>

#include "bench/bench_case.h"
#include "bench/bench_report.h"

namespace {

std::array<BenchCase, kBenchCaseCount> FreshTable()
{
    std::array<BenchCase, kBenchCaseCount> table = g_BenchCases;
    for (BenchCase& row : table) {
        row.passed = false;
        row.elapsedUs = 0;
    }
    return table;
}

TEST(BenchReport, AllPassedTextIsExact)
{
    auto table = FreshTable();
    for (BenchCase& row : table) {
        row.passed = true;
        row.elapsedUs = 1000;
    }
    const std::string caseText[4] = {
        R"({"bench-frame":30,"bench-pass":true,"bench-time":1000,"height":720,"width":1280})",
        R"({"bench-frame":30,"bench-pass":true,"bench-time":1000,"height":1080,"width":1920})",
        R"({"bench-frame":30,"bench-pass":true,"bench-time":1000,"height":1440,"width":2560})",
        R"({"bench-frame":30,"bench-pass":true,"bench-time":1000,"height":2160,"width":3840})",
    };
    std::string group = "[" + caseText[0] + "," + caseText[1] + "," + caseText[2] + "," + caseText[3] + "]";
    std::string expected = R"({"bench":["h264",)" + group + R"(,["h265",)" + group + "]]}";

    std::string text = BuildBenchReport(table).dump();
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.size(), 685u);
}

TEST(BenchReport, RowsKeepTheirOwnOutcome)
{
    auto table = FreshTable();
    table[1].passed = true;
    table[1].elapsedUs = 12345;
    table[6].passed = false;  // failed at its first frame
    table[6].elapsedUs = 17;
    table[7].elapsedUs = UINT64_MAX;

    nlohmann::json report = BuildBenchReport(table);
    ASSERT_EQ(report.size(), 1u);
    const nlohmann::json& bench = report.at("bench");
    ASSERT_TRUE(bench.is_array());
    ASSERT_EQ(bench.size(), 3u);
    EXPECT_EQ(bench[0], "h264");
    ASSERT_EQ(bench[1].size(), 4u);
    ASSERT_EQ(bench[2].size(), 2u);
    EXPECT_EQ(bench[2][0], "h265");
    ASSERT_EQ(bench[2][1].size(), 4u);

    // A row the run never reached: false and 0.
    EXPECT_EQ(bench[1][0]["bench-pass"], false);
    EXPECT_EQ(bench[1][0]["bench-time"], 0u);
    EXPECT_EQ(bench[1][1]["bench-pass"], true);
    EXPECT_EQ(bench[1][1]["bench-time"], 12345u);
    // The configured frame count is reported even for a failed case.
    EXPECT_EQ(bench[2][1][2]["bench-frame"], 30u);
    EXPECT_EQ(bench[2][1][2]["bench-pass"], false);
    EXPECT_EQ(bench[2][1][2]["bench-time"], 17u);
    EXPECT_EQ(bench[2][1][2]["width"], 2560u);
    EXPECT_EQ(bench[2][1][3]["bench-time"].get<uint64_t>(), UINT64_MAX);
    EXPECT_LT(report.dump().size(), 820u);
}

}  // namespace
