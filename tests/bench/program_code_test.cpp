#include <cstdint>

#include <gtest/gtest.h>

#include "bench/program_code.h"

namespace {

int g_DataMarker = 1;

bool InRanges(uintptr_t address)
{
    for (std::span<const std::byte> range : ProgramCodeRanges()) {
        const auto start = reinterpret_cast<uintptr_t>(range.data());
        if (address >= start && address < start + range.size())
            return true;
    }
    return false;
}

// The ranges are this executable's code as mapped: they hold its functions
// and not its data, and reading them visits every byte they span.
TEST(ProgramCode, IsTheExecutablesOwnCodeReadWhole)
{
    EXPECT_TRUE(InRanges(reinterpret_cast<uintptr_t>(&ReadProgramCode)));
    EXPECT_TRUE(InRanges(reinterpret_cast<uintptr_t>(&InRanges)));
    EXPECT_FALSE(InRanges(reinterpret_cast<uintptr_t>(&g_DataMarker)));
    size_t total = 0;
    for (std::span<const std::byte> range : ProgramCodeRanges())
        total += range.size();
    EXPECT_GT(total, 0u);
    EXPECT_EQ(ReadProgramCode(), total);
}

}  // namespace
