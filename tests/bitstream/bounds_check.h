#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/log_capture.h"

// Parses one unit into a stream of either codec. Accepted (logged null): the
// whole unit, without a parser line or printout. Refused: -1, naming the
// element in the log or on standard output, with the tables, the active sets
// and where slice data starts left as they were; the slice header too where
// the parser does not read it in place (the H.264 one does).
template <typename Stream>
void ExpectTakenOrRefused(Stream& stream, int32_t (*parse)(Stream*, const uint8_t*, size_t), const std::vector<uint8_t>& unit,
                          const char* logged, bool sliceHeaderKept = true)
{
    auto before = std::make_unique<Stream>(stream);
    const auto shBefore = *stream.sh;
    const uint32_t headerBitsBefore = stream.loc->headerBits;
    LogCapture log;
    testing::internal::CaptureStdout();
    const int32_t result = parse(&stream, unit.data(), unit.size());
    const std::string printed = testing::internal::GetCapturedStdout();
    if (!logged) {
        EXPECT_EQ(result, static_cast<int32_t>(unit.size()));
        EXPECT_EQ(log.count("parser:") + printed.size(), 0u) << printed;
        return;
    }
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(log.contains(logged) || printed.find(logged) != std::string::npos) << (log.lines().empty() ? printed : log.lines().back());
    EXPECT_EQ(std::memcmp(stream.spsTable, before->spsTable, sizeof(before->spsTable)), 0);
    EXPECT_EQ(std::memcmp(stream.ppsTable, before->ppsTable, sizeof(before->ppsTable)), 0);
    EXPECT_TRUE(!sliceHeaderKept || std::memcmp(stream.sh, &shBefore, sizeof(shBefore)) == 0);
    EXPECT_EQ(stream.sps, before->sps);
    EXPECT_EQ(stream.pps, before->pps);
    EXPECT_EQ(stream.loc->headerBits, headerBitsBefore);
}
