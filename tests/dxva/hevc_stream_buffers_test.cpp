// HEVC parameter buffers filled from a real encoder stream, checked against
// the values ffmpeg's trace_headers printed for the same stream.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "bitstream/hevc/hevc_parser.h"
#include "decoder/dxva/dxva_buffers.h"
#include "fixture_stream.h"
#include "support/header_trace.h"

namespace {

struct HevcStreamDeleter {
    void operator()(HevcStream* stream) const { DestroyHevcStream(stream); }
};
using HevcStreamPtr = std::unique_ptr<HevcStream, HevcStreamDeleter>;

bool IsSliceSegment(int64_t type)
{
    return (type >= 0 && type <= 9) || (type >= 16 && type <= 21);
}

int64_t ValueOrZero(const TraceUnit& unit, const char* name)
{
    return unit.has(name) ? unit.value(name) : 0;
}

using PicParamsField = std::function<int64_t(const DXVA_PicParams_HEVC&)>;
struct CopiedField {
    const char* traceName;
    PicParamsField field;
};

#define FIELD(name) [](const DXVA_PicParams_HEVC& pp) -> int64_t { return pp.name; }
#define SAME(name) {#name, FIELD(name)}

// Fields the buffer takes over unchanged from the sequence parameter set.
const std::vector<CopiedField> kSpsFields = {
    {"sps_max_dec_pic_buffering_minus1[0]", FIELD(sps_max_dec_pic_buffering_minus1)},
    {"log2_min_luma_transform_block_size_minus2", FIELD(log2_min_transform_block_size_minus2)},
    {"log2_diff_max_min_luma_transform_block_size", FIELD(log2_diff_max_min_transform_block_size)},
    SAME(chroma_format_idc), SAME(bit_depth_luma_minus8), SAME(bit_depth_chroma_minus8),
    SAME(log2_max_pic_order_cnt_lsb_minus4), SAME(log2_min_luma_coding_block_size_minus3),
    SAME(log2_diff_max_min_luma_coding_block_size), SAME(max_transform_hierarchy_depth_inter),
    SAME(max_transform_hierarchy_depth_intra), SAME(num_short_term_ref_pic_sets),
    SAME(scaling_list_enabled_flag), SAME(amp_enabled_flag), SAME(sample_adaptive_offset_enabled_flag),
    SAME(pcm_enabled_flag), SAME(long_term_ref_pics_present_flag), SAME(sps_temporal_mvp_enabled_flag),
    SAME(strong_intra_smoothing_enabled_flag),
};

// Fields taken over from the picture parameter set.
const std::vector<CopiedField> kPpsFields = {
    SAME(num_ref_idx_l0_default_active_minus1), SAME(num_ref_idx_l1_default_active_minus1),
    SAME(init_qp_minus26), SAME(dependent_slice_segments_enabled_flag), SAME(output_flag_present_flag),
    SAME(num_extra_slice_header_bits), SAME(sign_data_hiding_enabled_flag), SAME(cabac_init_present_flag),
    SAME(constrained_intra_pred_flag), SAME(transform_skip_enabled_flag), SAME(cu_qp_delta_enabled_flag),
    SAME(pps_cb_qp_offset), SAME(pps_cr_qp_offset), SAME(pps_slice_chroma_qp_offsets_present_flag),
    SAME(weighted_pred_flag), SAME(weighted_bipred_flag), SAME(transquant_bypass_enabled_flag),
    SAME(tiles_enabled_flag), SAME(entropy_coding_sync_enabled_flag),
    SAME(pps_loop_filter_across_slices_enabled_flag), SAME(lists_modification_present_flag),
    SAME(log2_parallel_merge_level_minus2), SAME(slice_segment_header_extension_present_flag),
};

// Coded only under a condition; absent means 0.
const std::vector<CopiedField> kConditionalPpsFields = {
    SAME(diff_cu_qp_delta_depth), SAME(deblocking_filter_override_enabled_flag),
    SAME(pps_deblocking_filter_disabled_flag), SAME(pps_beta_offset_div2), SAME(pps_tc_offset_div2),
};

#undef SAME
#undef FIELD

// H.265 Table 7-6: the default 8x8 factors, listed by the standard in
// up-right diagonal scan order.
constexpr std::array<uint8_t, 64> kDefaultIntra8x8 = {
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 16, 17, 16, 17, 18, 17, 18, 18, 17, 18, 21,
    19, 20, 21, 20, 19, 21, 24, 22, 22, 24, 24, 22, 22, 24, 25, 25, 27, 30, 27, 25, 25, 29,
    31, 35, 35, 31, 29, 36, 41, 44, 41, 36, 47, 54, 54, 47, 65, 70, 65, 88, 88, 115};
constexpr std::array<uint8_t, 64> kDefaultInter8x8 = {
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 17, 17, 17, 17, 18, 18, 18, 18, 18, 18, 20,
    20, 20, 20, 20, 20, 20, 24, 24, 24, 24, 24, 24, 24, 24, 25, 25, 25, 25, 25, 25, 25, 28,
    28, 28, 28, 28, 28, 33, 33, 33, 33, 33, 41, 41, 41, 41, 54, 54, 54, 71, 71, 91};

template <size_t N>
std::array<uint8_t, N> Row(const uint8_t (&list)[N])
{
    std::array<uint8_t, N> row{};
    std::copy(std::begin(list), std::end(list), row.begin());
    return row;
}

class HevcStreamBuffers : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Bytes = ReadFixture("hevc_200x120.h265");
        m_Trace = HeaderTrace::FromFile(std::string(TARSEL_SOURCE_DIR) + "/tests/dxva/fixtures/hevc_200x120.trace");
        m_Units = SplitNalUnits(m_Bytes);
        m_Stream.reset(CreateHevcStream());
        ASSERT_NE(m_Stream, nullptr);
        ASSERT_EQ(m_Units.size(), m_Trace.units().size()) << "NAL units found differ from the trace";
    }

    std::vector<uint8_t> m_Bytes;
    HeaderTrace m_Trace;
    std::vector<std::span<const uint8_t>> m_Units;
    HevcStreamPtr m_Stream;
};

TEST_F(HevcStreamBuffers, PictureParametersOfEveryPictureAgreeWithTheTrace)
{
    const TraceUnit* sps = nullptr;
    const TraceUnit* pps = nullptr;
    DxvaSurfaceIndices surfaces{0, 1};
    constexpr uint32_t kFirstFeedbackNumber = 41;
    uint32_t counter = kFirstFeedbackNumber;
    int pictures = 0;
    int idrPictures = 0;
    int craPictures = 0;

    for (size_t i = 0; i < m_Units.size(); ++i) {
        const TraceUnit& unit = m_Trace.units()[i];
        const int64_t type = unit.value("nal_unit_type");
        ASSERT_EQ(ParseHevcNal(m_Stream.get(), m_Units[i].data(), m_Units[i].size()),
                  static_cast<int32_t>(m_Units[i].size()));
        ASSERT_EQ(m_Stream->nal->nal_unit_type, type) << "unit " << i;
        if (type == 33)
            sps = &unit;
        if (type == 34)
            pps = &unit;
        if (!IsSliceSegment(type))
            continue;
        ASSERT_TRUE(sps != nullptr && pps != nullptr);
        SCOPED_TRACE("picture " + std::to_string(pictures) + ", nal_unit_type " + std::to_string(type));

        std::array<uint8_t, sizeof(DXVA_PicParams_HEVC)> buffer;
        buffer.fill(0xCD);
        ASSERT_EQ(FillPictureParametersHevc(*m_Stream, surfaces, counter, buffer.data(), buffer.size()), 232);
        DXVA_PicParams_HEVC pp;
        std::memcpy(&pp, buffer.data(), sizeof(pp));

        const int64_t minCbShift = sps->value("log2_min_luma_coding_block_size_minus3") + 3;
        EXPECT_EQ(pp.PicWidthInMinCbsY, sps->value("pic_width_in_luma_samples") >> minCbShift);
        EXPECT_EQ(pp.PicHeightInMinCbsY, sps->value("pic_height_in_luma_samples") >> minCbShift);
        for (const CopiedField& copied : kSpsFields)
            EXPECT_EQ(copied.field(pp), sps->value(copied.traceName)) << copied.traceName;
        for (const CopiedField& copied : kPpsFields)
            EXPECT_EQ(copied.field(pp), pps->value(copied.traceName)) << copied.traceName;
        for (const CopiedField& copied : kConditionalPpsFields)
            EXPECT_EQ(copied.field(pp), ValueOrZero(*pps, copied.traceName)) << copied.traceName;
        EXPECT_EQ(pp.NoBiPredFlag, 1);
        EXPECT_EQ(pp.NoPicReorderingFlag, 0);
        EXPECT_EQ(pp.ReservedBits1 | pp.ReservedBits3 | pp.ReservedBits4, 0u) << "reserved bits must stay clear";

        const bool idr = type == 19 || type == 20;
        const bool irap = type >= 16 && type <= 23;
        EXPECT_EQ(pp.IdrPicFlag, idr ? 1u : 0u);
        EXPECT_EQ(pp.IrapPicFlag, irap ? 1u : 0u);
        EXPECT_EQ(pp.IntraPicFlag, idr ? 1u : 0u);
        EXPECT_EQ(pp.CurrPic.bPicEntry, surfaces.current);
        EXPECT_EQ(pp.RefPicList[0].bPicEntry, idr ? 0xFF : surfaces.reference);
        EXPECT_EQ(pp.RefPicSetStCurrBefore[0], idr ? 0xFF : 0);
        EXPECT_EQ(pp.RefPicSetStCurrAfter[0], idr ? 0xFF : 0);
        EXPECT_EQ(pp.RefPicSetLtCurr[0], idr ? 0xFF : 0);
        for (size_t k = 1; k < 15; ++k)
            EXPECT_EQ(pp.RefPicList[k].bPicEntry, 0xFF);
        for (size_t k = 1; k < 8; ++k)
            EXPECT_EQ(pp.RefPicSetStCurrBefore[k] & pp.RefPicSetStCurrAfter[k] & pp.RefPicSetLtCurr[k], 0xFF);
        EXPECT_EQ(pp.StatusReportFeedbackNumber, kFirstFeedbackNumber + static_cast<uint32_t>(pictures));

        idrPictures += idr;
        craPictures += type == 21;
        ++pictures;
        surfaces = {surfaces.reference, surfaces.current};
    }
    EXPECT_EQ(counter, kFirstFeedbackNumber + static_cast<uint32_t>(pictures));
    // The fixture must exercise the three kinds of picture.
    EXPECT_EQ(pictures, 6);
    EXPECT_EQ(idrPictures, 1);
    EXPECT_EQ(craPictures, 1);
}

TEST_F(HevcStreamBuffers, DefaultScalingListsComeOutInDiagonalOrder)
{
    for (size_t i = 0; i < m_Units.size(); ++i) {
        ParseHevcNal(m_Stream.get(), m_Units[i].data(), m_Units[i].size());
        const TraceUnit& unit = m_Trace.units()[i];
        if (unit.value("nal_unit_type") == 33) {
            // Precondition: scaling enabled with the default lists.
            ASSERT_EQ(unit.value("scaling_list_enabled_flag"), 1);
            ASSERT_EQ(unit.value("sps_scaling_list_data_present_flag"), 0);
        }
        if (unit.value("nal_unit_type") == 34) {
            ASSERT_EQ(unit.value("pps_scaling_list_data_present_flag"), 0);
        }
        if (IsSliceSegment(unit.value("nal_unit_type")))
            break;
    }

    std::array<uint8_t, sizeof(DXVA_Qmatrix_HEVC)> buffer;
    buffer.fill(0xCD);
    ASSERT_EQ(FillQuantizationMatrixHevc(*m_Stream, buffer.data(), buffer.size()), 1000);
    DXVA_Qmatrix_HEVC qm;
    std::memcpy(&qm, buffer.data(), sizeof(qm));

    std::array<uint8_t, 16> flat4x4;
    flat4x4.fill(16);
    for (size_t m = 0; m < 6; ++m) {
        SCOPED_TRACE("matrixId " + std::to_string(m));
        const auto& expected8x8 = m < 3 ? kDefaultIntra8x8 : kDefaultInter8x8;
        EXPECT_EQ(Row(qm.ucScalingLists0[m]), flat4x4);
        EXPECT_EQ(Row(qm.ucScalingLists1[m]), expected8x8);
        EXPECT_EQ(Row(qm.ucScalingLists2[m]), expected8x8);
        EXPECT_EQ(qm.ucScalingListDCCoefSizeID2[m], 16);
    }
    EXPECT_EQ(Row(qm.ucScalingLists3[0]), kDefaultIntra8x8);
    EXPECT_EQ(Row(qm.ucScalingLists3[1]), kDefaultInter8x8);
    EXPECT_EQ(qm.ucScalingListDCCoefSizeID3[0], 16);
    EXPECT_EQ(qm.ucScalingListDCCoefSizeID3[1], 16);
}

}  // namespace
