#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "decoder/dxva/hevc_scan_order.h"

namespace {

TEST(HevcScanOrder, FourByFourVisitsTheStandardOrder)
{
    // Raster positions of the 4x4 up-right diagonal scan, H.265 clause 6.5.3.
    constexpr std::array<uint8_t, 16> kExpected = {0, 4, 1, 8, 5, 2, 12, 9, 6, 3, 13, 10, 7, 14, 11, 15};
    EXPECT_EQ(kUpRightDiagonalScan4x4, kExpected);
}

TEST(HevcScanOrder, EightByEightWalksEachAntiDiagonalUpwardsOnce)
{
    std::array<bool, 64> seen{};
    int previousDiagonal = 0;
    int previousX = -1;
    for (uint8_t raster : kUpRightDiagonalScan8x8) {
        ASSERT_LT(raster, 64);
        EXPECT_FALSE(seen[raster]) << "position " << int(raster) << " visited twice";
        seen[raster] = true;
        const int x = raster % 8;
        const int y = raster / 8;
        const int diagonal = x + y;
        // Diagonals in order; within one, x grows (y shrinks): bottom-left to top-right.
        if (diagonal == previousDiagonal) {
            EXPECT_GT(x, previousX);
        } else {
            EXPECT_EQ(diagonal, previousDiagonal + 1);
            EXPECT_EQ(y, std::min(diagonal, 7));
        }
        previousDiagonal = diagonal;
        previousX = x;
    }
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](bool visited) { return visited; }));
    // The last positions of the block: (6,7), (7,6), (7,7).
    EXPECT_EQ(kUpRightDiagonalScan8x8[61], 62);
    EXPECT_EQ(kUpRightDiagonalScan8x8[62], 55);
    EXPECT_EQ(kUpRightDiagonalScan8x8[63], 63);
}

}  // namespace
