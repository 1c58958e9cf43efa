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

class HevcBuffers : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Stream->sps = &m_Stream->spsTable[0];
        m_Stream->pps = &m_Stream->ppsTable[0];
        m_Stream->nal->nal_unit_type = 1;
    }
    HevcSps& sps() { return *m_Stream->sps; }
    HevcPps& pps() { return *m_Stream->pps; }

    DXVA_PicParams_HEVC FillPicParams()
    {
        DXVA_PicParams_HEVC pp{};
        uint32_t counter = 0;
        EXPECT_EQ(FillPictureParametersHevc(*m_Stream, {0, 1}, counter, &pp, sizeof(pp)), 232);
        return pp;
    }

    std::unique_ptr<HevcStream, void (*)(HevcStream*)> m_Stream{CreateHevcStream(), DestroyHevcStream};
};

// Partial minimum coding blocks are not counted (the fixture's sizes divide
// evenly); the PCM fields stay clear while PCM is off.
TEST_F(HevcBuffers, SizeInMinimumBlocksAndPcmFields)
{
    sps().pic_width_in_luma_samples = 1920;
    sps().pic_height_in_luma_samples = 1080;
    sps().log2_min_luma_coding_block_size_minus3 = 1;
    sps().pcm_sample_bit_depth_luma_minus1 = 7;
    sps().pcm_sample_bit_depth_chroma_minus1 = 6;
    sps().log2_min_pcm_luma_coding_block_size_minus3 = 2;
    sps().log2_diff_max_min_pcm_luma_coding_block_size = 1;
    for (int enabled : {0, 1}) {
        sps().pcm_enabled_flag = enabled;
        const DXVA_PicParams_HEVC pp = FillPicParams();
        EXPECT_EQ(std::vector<int64_t>({pp.PicWidthInMinCbsY, pp.PicHeightInMinCbsY, pp.pcm_enabled_flag, pp.pcm_sample_bit_depth_luma_minus1,
                                        pp.pcm_sample_bit_depth_chroma_minus1, pp.log2_min_pcm_luma_coding_block_size_minus3,
                                        pp.log2_diff_max_min_pcm_luma_coding_block_size}),
                  std::vector<int64_t>({120, 67, enabled, 7 * enabled, 6 * enabled, 2 * enabled, enabled}));
    }
}

TEST_F(HevcBuffers, TileLayoutFollowsTilesAndSpacingFlags)
{
    // The largest layout the parser stores: 20 columns and 22 rows, one
    // entry more each than the buffer holds.
    pps().num_tile_columns_minus1 = 19;
    pps().num_tile_rows_minus1 = 21;
    pps().loop_filter_across_tiles_enabled_flag = 1;
    for (uint32_t i = 0; i < 22; ++i) {
        pps().column_width_minus1[std::min(i, 19u)] = 100 + std::min(i, 19u);
        pps().row_height_minus1[i] = 200 + i;
    }
    for (int tiles : {0, 1}) {  // no tiles: nothing; uniform spacing: no widths
        pps().tiles_enabled_flag = tiles;
        pps().uniform_spacing_flag = 1;
        const DXVA_PicParams_HEVC pp = FillPicParams();
        EXPECT_EQ(std::vector<int64_t>({pp.num_tile_columns_minus1, pp.num_tile_rows_minus1, pp.loop_filter_across_tiles_enabled_flag, pp.column_width_minus1[0]}),
                  std::vector<int64_t>({19 * tiles, 21 * tiles, tiles, 0}));
    }
    pps().uniform_spacing_flag = 0;
    const DXVA_PicParams_HEVC pp = FillPicParams();
    for (uint16_t i = 0; i < 19; ++i)
        EXPECT_EQ(pp.column_width_minus1[i], 100 + i);
    for (uint16_t i = 0; i < 21; ++i)
        EXPECT_EQ(pp.row_height_minus1[i], 200 + i);
    EXPECT_EQ(pp.diff_cu_qp_delta_depth, 0) << "the entries that do not fit must not spill over";
}

// The fixture carries its lists in the SPS only. Each PPS factor encodes
// where it was stored (sizeId, matrixId, raster position), so a wrong source,
// matrix or order shows in the value.
TEST_F(HevcBuffers, ScalingListsComeFromThePpsOnlyWhenItCarriesThem)
{
    auto pattern = [](uint32_t sizeId, uint32_t matrixId, uint32_t raster) { return (sizeId * 64 + matrixId * 10 + raster) & 0xFF; };
    for (uint32_t s = 0; s < 4; ++s) {
        for (uint32_t m = 0; m < 6; ++m) {
            for (uint32_t k = 0; k < 64; ++k) {
                pps().scalingLists.ScalingList[s][m][k] = pattern(s, m, k);
                sps().scalingLists.ScalingList[s][m][k] = 1;
            }
            pps().scalingLists.ScalingListDcCoef[s / 2][m] = 20 + 10 * (s / 2) + m;
            sps().scalingLists.ScalingListDcCoef[s / 2][m] = 1;
        }
    }
    DXVA_Qmatrix_HEVC qm{};
    for (int fromPps : {0, 1}) {
        pps().pps_scaling_list_data_present_flag = fromPps;
        ASSERT_EQ(FillQuantizationMatrixHevc(*m_Stream, &qm, sizeof(qm)), 1000);
        for (uint32_t m = 0; m < 6; ++m) {
            for (uint32_t j = 0; j < 64; ++j) {
                EXPECT_EQ(qm.ucScalingLists0[m][j % 16], fromPps ? pattern(0, m, kUpRightDiagonalScan4x4[j % 16]) : 1);
                EXPECT_EQ(qm.ucScalingLists1[m][j], fromPps ? pattern(1, m, kUpRightDiagonalScan8x8[j]) : 1);
                EXPECT_EQ(qm.ucScalingLists2[m][j], fromPps ? pattern(2, m, kUpRightDiagonalScan8x8[j]) : 1);
                // 32x32: the intra and inter luma matrices, matrixId 0 and 3.
                EXPECT_EQ(qm.ucScalingLists3[m / 3][j], fromPps ? pattern(3, m / 3 * 3, kUpRightDiagonalScan8x8[j]) : 1);
            }
            EXPECT_EQ(qm.ucScalingListDCCoefSizeID2[m], fromPps ? 20 + m : 1);
            EXPECT_EQ(qm.ucScalingListDCCoefSizeID3[m / 3], fromPps ? 30 + m / 3 * 3 : 1);
        }
    }
}

}  // namespace
