#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "decoder/dxva/hevc_scan_order.h"

namespace {

TEST(HevcScanOrder, UpRightDiagonalScans)
{
    // Raster positions of the 4x4 up-right diagonal scan, H.265 clause 6.5.3.
    constexpr std::array<uint8_t, 16> kExpected4x4 = {0, 4, 1, 8, 5, 2, 12, 9, 6, 3, 13, 10, 7, 14, 11, 15};
    EXPECT_EQ(kUpRightDiagonalScan4x4, kExpected4x4);

    // 8x8: every position once, anti-diagonals in order, each walked from
    // bottom-left to top-right.
    std::array<bool, 64> seen{};
    int previousDiagonal = 0;
    int previousX = -1;
    for (uint8_t raster : kUpRightDiagonalScan8x8) {
        ASSERT_LT(raster, 64);
        EXPECT_FALSE(seen[raster]) << int(raster);
        seen[raster] = true;
        const int x = raster % 8, y = raster / 8, diagonal = x + y;
        if (diagonal == previousDiagonal) {
            EXPECT_GT(x, previousX);
        } else {
            EXPECT_EQ(diagonal, previousDiagonal + 1);
            EXPECT_EQ(y, std::min(diagonal, 7));
        }
        previousDiagonal = diagonal;
        previousX = x;
    }
}

}  // namespace
