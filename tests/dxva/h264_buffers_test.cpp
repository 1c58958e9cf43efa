// H.264 parameter buffers from hand-set parser records: the rules the
// fixture stream does not reach, and buffers that must be refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

#include "bitstream/h264/h264_parser.h"
#include "decoder/dxva/dxva_buffers.h"
#include "support/log_capture.h"

namespace {

class H264Buffers : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Stream->sps = &m_Stream->spsTable[0];
        m_Stream->pps = &m_Stream->ppsTable[0];
        m_Stream->sps->frame_mbs_only_flag = 1;
        sh().slice_type = 5;  // P
    }
    H264SliceHeader& sh() { return *m_Stream->sh; }

    DXVA_PicParams_H264 FillPicParams(DxvaSurfaceIndices surfaces = {0, 1})
    {
        DXVA_PicParams_H264 pp{};
        uint32_t counter = 0;
        EXPECT_EQ(FillPictureParametersH264(*m_Stream, surfaces, counter, &pp, sizeof(pp)), 1040);
        return pp;
    }
    DXVA_Slice_H264_Long FillSlice()
    {
        DXVA_Slice_H264_Long entry{};
        EXPECT_EQ(FillSliceControlH264(*m_Stream, {0, 1}, &entry, sizeof(entry), 0, 0), 864);
        return entry;
    }

    std::unique_ptr<H264Stream, void (*)(H264Stream*)> m_Stream{CreateH264Stream(), DestroyH264Stream};
};

TEST_F(H264Buffers, ReferencesFollowSliceTypeAndFrameNumber)
{
    // After a frame_num wrap the previous picture carried the largest value.
    const std::tuple<uint32_t, DxvaSurfaceIndices, uint16_t> cases[] = {{5, {0, 1}, 4}, {1, {1, 0}, 0}, {0, {0, 1}, 0xFFFF}};
    for (auto [frameNum, surfaces, expected] : cases) {
        sh().frame_num = frameNum;
        const DXVA_PicParams_H264 pp = FillPicParams(surfaces);
        EXPECT_EQ(std::vector<int64_t>({pp.CurrPic.bPicEntry, pp.RefFrameList[0].bPicEntry, pp.FrameNumList[0], pp.UsedForReferenceFlags}),
                  std::vector<int64_t>({surfaces.current, surfaces.reference, expected, 3})) << frameNum;
    }
    for (uint32_t sliceType = 0; sliceType < 10; ++sliceType) {
        sh().slice_type = sliceType;
        const bool intra = sliceType % 5 == 2 || sliceType % 5 == 4;  // I and SI in both numbering ranges
        EXPECT_EQ(FillPicParams().IntraPicFlag, intra ? 1 : 0) << sliceType;
        EXPECT_EQ(FillPicParams().RefFrameList[0].bPicEntry, intra ? 0xFF : 1) << sliceType;
        EXPECT_EQ(FillSlice().RefPicList[0][0].bPicEntry, intra ? 0xFF : 1) << sliceType;
    }
}

TEST_F(H264Buffers, FrameStructureLevelAndChromaOffsets)
{
    struct Case { uint32_t frameMbsOnly, mbAdaptive, fieldPic, levelIdc; int mbaff, bipred8x8; };
    const Case cases[] = {{1, 0, 0, 30, 0, 0}, {0, 1, 0, 31, 1, 1}, {0, 1, 1, 40, 0, 1}};  // progressive, MBAFF frame, its field
    for (const Case& c : cases) {
        m_Stream->sps->frame_mbs_only_flag = c.frameMbsOnly;
        m_Stream->sps->mb_adaptive_frame_field_flag = c.mbAdaptive;
        m_Stream->sps->level_idc = c.levelIdc;
        sh().field_pic_flag = c.fieldPic;
        const DXVA_PicParams_H264 pp = FillPicParams();
        EXPECT_EQ(std::vector<int64_t>({pp.MbaffFrameFlag, pp.field_pic_flag, pp.MinLumaBipredSize8x8Flag}),
                  std::vector<int64_t>({c.mbaff, static_cast<int>(c.fieldPic), c.bipred8x8})) << c.levelIdc;
    }
    // The fixture's two offsets are equal; distinct values show a swap.
    m_Stream->pps->chroma_qp_index_offset = -3;
    m_Stream->pps->second_chroma_qp_index_offset = 5;
    const DXVA_PicParams_H264 pp = FillPicParams();
    EXPECT_EQ(std::vector<int64_t>({pp.chroma_qp_index_offset, pp.second_chroma_qp_index_offset}), std::vector<int64_t>({-3, 5}));
}

TEST_F(H264Buffers, DefaultWeightsFollowTheDenominators)
{
    // Out-of-range denominators from a damaged header: no bit fits.
    const std::tuple<uint32_t, uint32_t, int16_t, int16_t> cases[] = {{0, 6, 1, 64}, {7, 7, 128, 128}, {40, 16, 0, 0}};
    for (auto [lumaDenominator, chromaDenominator, lumaWeight, chromaWeight] : cases) {
        sh().luma_log2_weight_denom = lumaDenominator;
        sh().chroma_log2_weight_denom = chromaDenominator;
        const DXVA_Slice_H264_Long entry = FillSlice();
        const auto& w = entry.Weights[0][0];
        EXPECT_EQ(std::vector<int64_t>({w[0][0], w[1][0], w[2][0], w[0][1] | w[1][1] | w[2][1], entry.Weights[0][1][0][0] | entry.Weights[1][0][0][0]}),
                  std::vector<int64_t>({lumaWeight, chromaWeight, chromaWeight, 0, 0})) << lumaDenominator;
    }
    // Explicit luma next to default chroma (the fixture has both or neither).
    sh().luma_log2_weight_denom = 5;
    sh().chroma_log2_weight_denom = 3;
    sh().luma_weight_l0_flag[0] = 1;
    sh().luma_weight_l0[0] = 40;
    sh().luma_offset_l0[0] = -3;
    const auto& w = FillSlice().Weights[0][0];
    EXPECT_EQ(std::vector<int64_t>({w[0][0], w[0][1], w[1][0], w[2][1]}), std::vector<int64_t>({40, -3, 8, 0}));
}

TEST_F(H264Buffers, QuantizationMatrixCopiesThePpsListsInStoredOrder)
{
    for (uint32_t i = 0; i < 6; ++i) {
        for (uint32_t j = 0; j < 64; ++j)
            m_Stream->pps->ScalingList8x8[i][j] = static_cast<uint8_t>(100 + i * 64 + j);
        for (uint32_t j = 0; j < 16; ++j)
            m_Stream->pps->ScalingList4x4[i][j] = static_cast<uint8_t>(i * 16 + j);
    }
    DXVA_Qmatrix_H264 qm{};
    ASSERT_EQ(FillQuantizationMatrixH264(*m_Stream, &qm, sizeof(qm)), 224);
    for (uint32_t j = 0; j < 96; ++j)
        EXPECT_EQ(qm.bScalingLists4x4[j / 16][j % 16], j);
    // Intra Y and inter Y only: lists 0 and 1 of the 8x8 set.
    for (uint32_t j = 0; j < 128; ++j)
        EXPECT_EQ(qm.bScalingLists8x8[j / 64][j % 64], static_cast<uint8_t>(100 + j));
}

TEST_F(H264Buffers, ShortMissingOrUnparsedBuffersAreRefusedUntouched)
{
    LogCapture log;
    std::array<uint8_t, 2048> buffer;
    buffer.fill(0xAB);
    uint32_t counter = 9;
    EXPECT_LT(FillPictureParametersH264(*m_Stream, {0, 1}, counter, buffer.data(), 1039), 0);
    EXPECT_LT(FillQuantizationMatrixH264(*m_Stream, buffer.data(), 223), 0);
    EXPECT_LT(FillSliceControlH264(*m_Stream, {0, 1}, buffer.data(), 863, 0, 0), 0);
    EXPECT_LT(FillSliceControlH264(*m_Stream, {0, 1}, nullptr, 864, 0, 0), 0);
    m_Stream->sps = nullptr;
    EXPECT_LT(FillPictureParametersH264(*m_Stream, {0, 1}, counter, buffer.data(), buffer.size()), 0);
    EXPECT_LT(FillSliceControlH264(*m_Stream, {0, 1}, buffer.data(), buffer.size(), 0, 0), 0);
    EXPECT_EQ(counter, 9u);
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xAB), 2048);
    for (const char* line : {"h264 picture parameters buffer holds 1039 bytes, 1040 needed", "h264 quantization matrix buffer holds 223 bytes, 224 needed",
                             "h264 slice control buffer holds 863 bytes, 864 needed", "no h264 slice control buffer"})
        EXPECT_EQ(log.count(line), 1u) << line;
    EXPECT_EQ(log.count("decoder: no active h264 parameter sets for the picture"), 2u);
}

}  // namespace
