#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "decoder/dxva/hevc_scan_order.h"

namespace {

TEST(HevcScanOrder, UpRightDiagonalScans)
{
    // Raster positions (row * size + column), H.265 clause 6.5.3: each
    // anti-diagonal walked from its bottom-left end to its top-right end.
    constexpr std::array<uint8_t, 16> kExpected4x4 = {0, 4, 1, 8, 5, 2, 12, 9, 6, 3, 13, 10, 7, 14, 11, 15};
    EXPECT_EQ(kUpRightDiagonalScan4x4, kExpected4x4);
    const std::array<uint8_t, 8> kFirst8x8 = {0, 8, 1, 16, 9, 2, 24, 17};
    EXPECT_TRUE(std::equal(kFirst8x8.begin(), kFirst8x8.end(), kUpRightDiagonalScan8x8.begin()));
    EXPECT_EQ(kUpRightDiagonalScan8x8[28], 56);  // the longest diagonal, bottom-left ...
    EXPECT_EQ(kUpRightDiagonalScan8x8[35], 7);   // ... to top-right
    EXPECT_EQ(kUpRightDiagonalScan8x8[63], 63);
}

}  // namespace
