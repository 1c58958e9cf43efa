// H.264 parameter buffers from hand-set parser records: the rules the
// fixture stream does not reach, and buffers that must be refused.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

#include "bitstream/h264/h264_parser.h"
#include "decoder/dxva/dxva_buffers.h"
#include "support/log_capture.h"

namespace {

struct H264StreamDeleter {
    void operator()(H264Stream* stream) const { DestroyH264Stream(stream); }
};

class H264Buffers : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Stream.reset(CreateH264Stream());
        ASSERT_NE(m_Stream, nullptr);
        m_Stream->sps = &m_Stream->spsTable[0];
        m_Stream->pps = &m_Stream->ppsTable[0];
        sps().frame_mbs_only_flag = 1;
        sh().slice_type = 5;   // P
    }

    H264Sps& sps() { return *m_Stream->sps; }
    H264Pps& pps() { return *m_Stream->pps; }
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

    std::unique_ptr<H264Stream, H264StreamDeleter> m_Stream;
};

TEST_F(H264Buffers, PredictedPictureNamesThePreviousSurfaceAndFrame)
{
    struct Case {
        uint32_t frameNum;
        DxvaSurfaceIndices surfaces;
        uint16_t expectedFrameNum;
    };
    const Case cases[] = {
        {5, {0, 1}, 4},
        {1, {1, 0}, 0},
        {0, {0, 1}, 0xFFFF},  // after a frame_num wrap the previous picture carried the largest value
    };
    for (const Case& c : cases) {
        sh().frame_num = c.frameNum;
        const DXVA_PicParams_H264 pp = FillPicParams(c.surfaces);
        EXPECT_EQ(pp.CurrPic.bPicEntry, c.surfaces.current);
        EXPECT_EQ(pp.RefFrameList[0].bPicEntry, c.surfaces.reference);
        EXPECT_EQ(pp.FrameNumList[0], c.expectedFrameNum) << "frame_num " << c.frameNum;
        EXPECT_EQ(pp.UsedForReferenceFlags, 3u);
        EXPECT_EQ(pp.IntraPicFlag, 0);
    }
}

TEST_F(H264Buffers, IntraSlicesOfBothNumberingRangesAreIntra)
{
    for (uint32_t sliceType = 0; sliceType < 10; ++sliceType) {
        SCOPED_TRACE(sliceType);
        sh().slice_type = sliceType;
        sh().frame_num = 3;
        const bool intra = sliceType % 5 == 2 || sliceType % 5 == 4;
        const DXVA_PicParams_H264 pp = FillPicParams();
        EXPECT_EQ(pp.IntraPicFlag, intra ? 1 : 0);
        EXPECT_EQ(pp.RefFrameList[0].bPicEntry, intra ? 0xFF : 1);
        EXPECT_EQ(FillSlice().RefPicList[0][0].bPicEntry, intra ? 0xFF : 1);
    }
}

TEST_F(H264Buffers, FrameStructureAndLevelFlags)
{
    struct Case {
        uint32_t frameMbsOnly, mbAdaptive, fieldPic, levelIdc;
        uint16_t mbaff, bipred8x8;
    };
    const Case cases[] = {
        {1, 0, 0, 30, 0, 0},  // progressive
        {0, 1, 0, 31, 1, 1},  // MBAFF frame
        {0, 1, 1, 40, 0, 1},  // field picture of an MBAFF stream
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.levelIdc);
        sps().frame_mbs_only_flag = c.frameMbsOnly;
        sps().mb_adaptive_frame_field_flag = c.mbAdaptive;
        sps().level_idc = c.levelIdc;
        sh().field_pic_flag = c.fieldPic;
        const DXVA_PicParams_H264 pp = FillPicParams();
        EXPECT_EQ(pp.MbaffFrameFlag, c.mbaff);
        EXPECT_EQ(pp.field_pic_flag, c.fieldPic);
        EXPECT_EQ(pp.MinLumaBipredSize8x8Flag, c.bipred8x8);
    }
}

TEST_F(H264Buffers, DefaultWeightsFollowTheDenominators)
{
    struct Case {
        uint32_t lumaDenominator, chromaDenominator;
        int16_t lumaWeight, chromaWeight;
    };
    const Case cases[] = {
        {0, 6, 1, 64},
        {7, 7, 128, 128},
        {40, 16, 0, 0},  // out-of-range denominators from a damaged header: no bit fits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lumaDenominator);
        sh().luma_log2_weight_denom = c.lumaDenominator;
        sh().chroma_log2_weight_denom = c.chromaDenominator;
        const DXVA_Slice_H264_Long entry = FillSlice();
        const auto& weights = entry.Weights[0][0];
        EXPECT_EQ(weights[0][0], c.lumaWeight);
        EXPECT_EQ(weights[1][0], c.chromaWeight);
        EXPECT_EQ(weights[2][0], c.chromaWeight);
        EXPECT_EQ(weights[0][1] | weights[1][1] | weights[2][1], 0);
        EXPECT_EQ(entry.Weights[0][1][0][0] | entry.Weights[1][0][0][0], 0) << "only list 0, reference 0";
    }
    // Explicit luma next to default chroma (the fixture stream has both or neither).
    sh().luma_log2_weight_denom = 5;
    sh().chroma_log2_weight_denom = 3;
    sh().luma_weight_l0_flag[0] = 1;
    sh().luma_weight_l0[0] = 40;
    sh().luma_offset_l0[0] = -3;
    const DXVA_Slice_H264_Long entry = FillSlice();
    EXPECT_EQ(entry.Weights[0][0][0][0], 40);
    EXPECT_EQ(entry.Weights[0][0][0][1], -3);
    EXPECT_EQ(entry.Weights[0][0][1][0], 8);
    EXPECT_EQ(entry.Weights[0][0][2][1], 0);
}

TEST_F(H264Buffers, QuantizationMatrixCopiesThePpsListsInStoredOrder)
{
    for (uint32_t i = 0; i < 6; ++i) {
        for (uint32_t j = 0; j < 16; ++j)
            pps().ScalingList4x4[i][j] = static_cast<uint8_t>(i * 16 + j);
        for (uint32_t j = 0; j < 64; ++j)
            pps().ScalingList8x8[i][j] = static_cast<uint8_t>(100 + i * 64 + j);
    }
    std::memset(sps().ScalingList4x4, 1, sizeof(sps().ScalingList4x4));
    DXVA_Qmatrix_H264 qm{};
    ASSERT_EQ(FillQuantizationMatrixH264(*m_Stream, &qm, sizeof(qm)), 224);
    for (uint32_t i = 0; i < 6; ++i)
        for (uint32_t j = 0; j < 16; ++j)
            EXPECT_EQ(qm.bScalingLists4x4[i][j], i * 16 + j);
    // Intra Y and inter Y only: lists 0 and 1 of the 8x8 set.
    for (uint32_t i = 0; i < 2; ++i)
        for (uint32_t j = 0; j < 64; ++j)
            EXPECT_EQ(qm.bScalingLists8x8[i][j], static_cast<uint8_t>(100 + i * 64 + j));
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
    for (uint8_t byte : buffer)
        ASSERT_EQ(byte, 0xAB);
    EXPECT_EQ(log.count("h264 picture parameters buffer holds 1039 bytes, 1040 needed"), 1u);
    EXPECT_EQ(log.count("h264 quantization matrix buffer holds 223 bytes, 224 needed"), 1u);
    EXPECT_EQ(log.count("h264 slice control buffer holds 863 bytes, 864 needed"), 1u);
    EXPECT_EQ(log.count("no h264 slice control buffer"), 1u);
    EXPECT_EQ(log.count("decoder: no active h264 parameter sets for the picture"), 2u);
}

}  // namespace
