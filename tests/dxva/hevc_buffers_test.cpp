// HEVC parameter buffers from hand-set parser records: the rules that the
// fixture stream does not reach, and buffers that must be refused.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

#include "bitstream/hevc/hevc_parser.h"
#include "decoder/dxva/dxva_buffers.h"
#include "decoder/dxva/hevc_scan_order.h"
#include "support/log_capture.h"

namespace {

struct HevcStreamDeleter {
    void operator()(HevcStream* stream) const { DestroyHevcStream(stream); }
};

class HevcBuffers : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Stream.reset(CreateHevcStream());
        ASSERT_NE(m_Stream, nullptr);
        m_Stream->sps = &m_Stream->spsTable[0];
        m_Stream->pps = &m_Stream->ppsTable[0];
        m_Stream->nal->nal_unit_type = 1;
        sps().pic_width_in_luma_samples = 1920;
        sps().pic_height_in_luma_samples = 1080;
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

    DXVA_Qmatrix_HEVC FillQmatrix()
    {
        DXVA_Qmatrix_HEVC qm{};
        EXPECT_EQ(FillQuantizationMatrixHevc(*m_Stream, &qm, sizeof(qm)), 1000);
        return qm;
    }

    std::unique_ptr<HevcStream, HevcStreamDeleter> m_Stream;
};

// Partial minimum coding blocks are not counted (the fixture's sizes divide evenly).
TEST_F(HevcBuffers, PictureSizeInMinimumCodingBlocks)
{
    sps().log2_min_luma_coding_block_size_minus3 = 1;
    const DXVA_PicParams_HEVC pp = FillPicParams();
    EXPECT_EQ(pp.PicWidthInMinCbsY, 120);
    EXPECT_EQ(pp.PicHeightInMinCbsY, 67);   // 1080 / 16 = 67.5
}

TEST_F(HevcBuffers, PcmFieldsOnlyWhenPcmIsEnabled)
{
    sps().pcm_sample_bit_depth_luma_minus1 = 7;
    sps().pcm_sample_bit_depth_chroma_minus1 = 6;
    sps().log2_min_pcm_luma_coding_block_size_minus3 = 2;
    sps().log2_diff_max_min_pcm_luma_coding_block_size = 1;
    sps().pcm_loop_filter_disabled_flag = 1;
    for (uint32_t enabled : {0u, 1u}) {
        SCOPED_TRACE(enabled);
        sps().pcm_enabled_flag = enabled;
        const DXVA_PicParams_HEVC pp = FillPicParams();
        EXPECT_EQ(pp.pcm_enabled_flag, enabled);
        EXPECT_EQ(pp.pcm_sample_bit_depth_luma_minus1, 7u * enabled);
        EXPECT_EQ(pp.pcm_sample_bit_depth_chroma_minus1, 6u * enabled);
        EXPECT_EQ(pp.log2_min_pcm_luma_coding_block_size_minus3, 2u * enabled);
        EXPECT_EQ(pp.log2_diff_max_min_pcm_luma_coding_block_size, 1u * enabled);
        if (enabled) {
            EXPECT_EQ(pp.pcm_loop_filter_disabled_flag, 1u);
        }
    }
}

TEST_F(HevcBuffers, TileLayoutFollowsTilesAndSpacingFlags)
{
    // The largest layout the parser stores: 20 columns and 22 rows, one
    // entry more each than the buffer holds.
    pps().num_tile_columns_minus1 = 19;
    pps().num_tile_rows_minus1 = 21;
    pps().loop_filter_across_tiles_enabled_flag = 1;
    for (uint32_t i = 0; i < 20; ++i)
        pps().column_width_minus1[i] = 100 + i;
    for (uint32_t i = 0; i < 22; ++i)
        pps().row_height_minus1[i] = 200 + i;

    pps().tiles_enabled_flag = 0;
    DXVA_PicParams_HEVC pp = FillPicParams();
    EXPECT_EQ(pp.num_tile_columns_minus1, 0);
    EXPECT_EQ(pp.num_tile_rows_minus1, 0);
    EXPECT_EQ(pp.loop_filter_across_tiles_enabled_flag, 0u);
    EXPECT_EQ(pp.column_width_minus1[0], 0);

    pps().tiles_enabled_flag = 1;
    pps().uniform_spacing_flag = 1;
    pp = FillPicParams();
    EXPECT_EQ(pp.num_tile_columns_minus1, 19);
    EXPECT_EQ(pp.num_tile_rows_minus1, 21);
    EXPECT_EQ(pp.loop_filter_across_tiles_enabled_flag, 1u);
    EXPECT_EQ(pp.column_width_minus1[0], 0) << "uniform spacing carries no widths";

    pps().uniform_spacing_flag = 0;
    pp = FillPicParams();
    for (uint16_t i = 0; i < 19; ++i)
        EXPECT_EQ(pp.column_width_minus1[i], 100 + i);
    for (uint16_t i = 0; i < 21; ++i)
        EXPECT_EQ(pp.row_height_minus1[i], 200 + i);
    // What follows the arrays is untouched by the entries that do not fit.
    EXPECT_EQ(pp.diff_cu_qp_delta_depth, 0);
}

TEST_F(HevcBuffers, ScalingListsComeFromThePpsOnlyWhenItCarriesThem)
{
    // Each factor encodes where it was stored: sizeId, matrixId and raster
    // position, so a wrong source, matrix or order shows in the value.
    auto pattern = [](uint32_t sizeId, uint32_t matrixId, uint32_t raster) {
        return (sizeId * 64 + matrixId * 10 + raster) & 0xFF;
    };
    for (uint32_t s = 0; s < 4; ++s)
        for (uint32_t m = 0; m < 6; ++m)
            for (uint32_t k = 0; k < 64; ++k) {
                pps().scalingLists.ScalingList[s][m][k] = pattern(s, m, k);
                sps().scalingLists.ScalingList[s][m][k] = 1;
            }
    for (uint32_t m = 0; m < 6; ++m) {
        pps().scalingLists.ScalingListDcCoef[0][m] = 20 + m;
        pps().scalingLists.ScalingListDcCoef[1][m] = 30 + m;
        sps().scalingLists.ScalingListDcCoef[0][m] = 1;
        sps().scalingLists.ScalingListDcCoef[1][m] = 1;
    }

    pps().pps_scaling_list_data_present_flag = 0;
    DXVA_Qmatrix_HEVC qm = FillQmatrix();
    EXPECT_EQ(qm.ucScalingLists2[4][9], 1);
    EXPECT_EQ(qm.ucScalingListDCCoefSizeID3[1], 1);

    pps().pps_scaling_list_data_present_flag = 1;
    qm = FillQmatrix();
    for (uint32_t m = 0; m < 6; ++m) {
        for (uint32_t j = 0; j < 16; ++j)
            EXPECT_EQ(qm.ucScalingLists0[m][j], pattern(0, m, kUpRightDiagonalScan4x4[j]));
        for (uint32_t j = 0; j < 64; ++j) {
            EXPECT_EQ(qm.ucScalingLists1[m][j], pattern(1, m, kUpRightDiagonalScan8x8[j]));
            EXPECT_EQ(qm.ucScalingLists2[m][j], pattern(2, m, kUpRightDiagonalScan8x8[j]));
        }
        EXPECT_EQ(qm.ucScalingListDCCoefSizeID2[m], 20 + m);
    }
    // 32x32: the intra and inter luma matrices, matrixId 0 and 3.
    for (uint32_t j = 0; j < 64; ++j) {
        EXPECT_EQ(qm.ucScalingLists3[0][j], pattern(3, 0, kUpRightDiagonalScan8x8[j]));
        EXPECT_EQ(qm.ucScalingLists3[1][j], pattern(3, 3, kUpRightDiagonalScan8x8[j]));
    }
    EXPECT_EQ(qm.ucScalingListDCCoefSizeID3[0], 30);
    EXPECT_EQ(qm.ucScalingListDCCoefSizeID3[1], 33);
}

TEST_F(HevcBuffers, ShortMissingOrUnparsedBuffersAreRefusedUntouched)
{
    LogCapture log;
    std::array<uint8_t, 1000> buffer;
    buffer.fill(0xAB);
    uint32_t counter = 5;

    EXPECT_LT(FillPictureParametersHevc(*m_Stream, {0, 1}, counter, buffer.data(), 231), 0);
    EXPECT_LT(FillPictureParametersHevc(*m_Stream, {0, 1}, counter, nullptr, 4096), 0);
    EXPECT_LT(FillQuantizationMatrixHevc(*m_Stream, buffer.data(), 999), 0);
    m_Stream->sps = nullptr;
    EXPECT_LT(FillPictureParametersHevc(*m_Stream, {0, 1}, counter, buffer.data(), buffer.size()), 0);
    m_Stream->sps = &m_Stream->spsTable[0];
    m_Stream->pps = nullptr;
    EXPECT_LT(FillQuantizationMatrixHevc(*m_Stream, buffer.data(), buffer.size()), 0);

    EXPECT_EQ(counter, 5u) << "a refused picture must not use up a feedback number";
    for (uint8_t byte : buffer)
        ASSERT_EQ(byte, 0xAB);
    EXPECT_EQ(log.count("hevc picture parameters buffer holds 231 bytes, 232 needed"), 1u);
    EXPECT_EQ(log.count("no hevc picture parameters buffer"), 1u);
    EXPECT_EQ(log.count("hevc quantization matrix buffer holds 999 bytes, 1000 needed"), 1u);
    EXPECT_EQ(log.count("decoder: no active hevc parameter sets for the picture"), 2u);
}

}  // namespace
