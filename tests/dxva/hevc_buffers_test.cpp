// HEVC parameter buffers from hand-set parser records: the rules that the
// fixture stream does not reach.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

#include "bitstream/hevc/hevc_parser.h"
#include "decoder/dxva/dxva_buffers.h"
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
}

DXVA_PicParams_HEVC FillPicParams(HevcStream& stream)
{
    DXVA_PicParams_HEVC pp{};
    uint32_t counter = 0;
    EXPECT_EQ(FillPictureParametersHevc(stream, {0, 1}, counter, &pp, sizeof(pp)), 232);
    return pp;
}

struct HevcBuffers : ::testing::Test {
    HevcBuffers()
    {
        stream->sps = &stream->spsTable[0];
        stream->pps = &stream->ppsTable[0];
    }
    std::unique_ptr<HevcStream, void (*)(HevcStream*)> stream{CreateHevcStream(), DestroyHevcStream};
    HevcSps& sps = stream->spsTable[0];
    HevcPps& pps = stream->ppsTable[0];
};

TEST_F(HevcBuffers, TileLayoutFollowsTilesAndSpacingFlags)
{
    // The largest layout the parser stores: 20 columns and 22 rows, one
    // entry more each than the buffer holds.
    pps.num_tile_columns_minus1 = 19;
    pps.num_tile_rows_minus1 = 21;
    pps.loop_filter_across_tiles_enabled_flag = 1;
    for (uint32_t i = 0; i < 22; ++i) {
        pps.column_width_minus1[std::min(i, 19u)] = 100 + std::min(i, 19u);
        pps.row_height_minus1[i] = 200 + i;
    }
    for (int tiles : {0, 1}) {  // no tiles: nothing; uniform spacing: no widths
        pps.tiles_enabled_flag = tiles;
        pps.uniform_spacing_flag = 1;
        const DXVA_PicParams_HEVC pp = FillPicParams(*stream);
        EXPECT_EQ(std::vector<int64_t>({pp.num_tile_columns_minus1, pp.num_tile_rows_minus1, pp.loop_filter_across_tiles_enabled_flag, pp.column_width_minus1[0]}),
                  std::vector<int64_t>({19 * tiles, 21 * tiles, tiles, 0}));
    }
    pps.uniform_spacing_flag = 0;
    const DXVA_PicParams_HEVC pp = FillPicParams(*stream);
    EXPECT_EQ(std::vector<uint16_t>(pp.column_width_minus1, pp.column_width_minus1 + 19), std::vector<uint16_t>(pps.column_width_minus1, pps.column_width_minus1 + 19));
    EXPECT_EQ(std::vector<uint16_t>(pp.row_height_minus1, pp.row_height_minus1 + 21), std::vector<uint16_t>(pps.row_height_minus1, pps.row_height_minus1 + 21));
    EXPECT_EQ(pp.diff_cu_qp_delta_depth, 0) << "the entries that do not fit must not spill over";
}

// The fixture carries its lists in the SPS only. Each PPS factor encodes
// where it was stored (sizeId, matrixId, raster position), so a wrong source,
// matrix or order shows in the value.
TEST_F(HevcBuffers, ScalingListsComeFromThePpsOnlyWhenItCarriesThem)
{
    auto pattern = [](uint32_t sizeId, uint32_t matrixId, uint32_t raster) { return (sizeId * 64 + matrixId * 10 + raster) & 0xFF; };
    for (uint32_t k = 0; k < 4 * 6 * 64; ++k) {
        pps.scalingLists.ScalingList[k / 384][k / 64 % 6][k % 64] = pattern(k / 384, k / 64 % 6, k % 64);
        sps.scalingLists.ScalingList[k / 384][k / 64 % 6][k % 64] = 1;
    }
    for (uint32_t m = 0; m < 12; ++m) {
        pps.scalingLists.ScalingListDcCoef[m / 6][m % 6] = 20 + m;
        sps.scalingLists.ScalingListDcCoef[m / 6][m % 6] = 1;
    }
    DXVA_Qmatrix_HEVC qm{};
    for (int fromPps : {0, 1}) {
        pps.pps_scaling_list_data_present_flag = fromPps;
        ASSERT_EQ(FillQuantizationMatrixHevc(*stream, &qm, sizeof(qm)), 1000);
        for (uint32_t m = 0; m < 6; ++m) {
            for (uint32_t j = 0; j < 64; ++j) {
                EXPECT_EQ(qm.ucScalingLists0[m][j % 16], fromPps ? pattern(0, m, kUpRightDiagonalScan4x4[j % 16]) : 1);
                EXPECT_EQ(qm.ucScalingLists1[m][j], fromPps ? pattern(1, m, kUpRightDiagonalScan8x8[j]) : 1);
                EXPECT_EQ(qm.ucScalingLists2[m][j], fromPps ? pattern(2, m, kUpRightDiagonalScan8x8[j]) : 1);
                // 32x32: the intra and inter luma matrices, matrixId 0 and 3.
                EXPECT_EQ(qm.ucScalingLists3[m / 3][j], fromPps ? pattern(3, m / 3 * 3, kUpRightDiagonalScan8x8[j]) : 1);
            }
            EXPECT_EQ(qm.ucScalingListDCCoefSizeID2[m], fromPps ? 20 + m : 1);
            EXPECT_EQ(qm.ucScalingListDCCoefSizeID3[m / 3], fromPps ? 26 + m / 3 * 3 : 1);
        }
    }
}

}  // namespace
