// HEVC parameter buffers filled from a real encoder stream, checked against
// the values ffmpeg's trace_headers printed for the same stream.

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "bitstream/annexb_fixture.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/trace_fields.h"
#include "decoder/dxva/dxva_buffers.h"
#include "decoder/pictures/hevc_picture_buffer.h"
#include "support/log_capture.h"

namespace {

using Values = std::vector<int64_t>;

bool IsSliceSegment(int64_t type) { return type <= 9 || (type >= 16 && type <= 21); }

// NumDeltaPocs of the set the slice's own set predicts from, as the trace
// shows it: the used_by_curr_pic_flag elements cover that set's pictures and
// the reference picture itself (slice units trace no set of the SPS).
int64_t TracedRefDeltaPocs(const TraceUnit& unit)
{
    int64_t flags = 0;
    TraceIndex index;
    for (const TraceElement& element : unit.elements)
        flags += SplitTraceName(element.name, index) == "used_by_curr_pic_flag";
    return flags > 0 ? flags - 1 : 0;
}

#define PP(name, field) TRACE_FIELD(DXVA_PicParams_HEVC, name, r.field)
#define SAME(name) PP(name, name)

// Buffer fields by the name of the SPS or PPS element they carry (an
// element the trace does not show is not compared).
const TraceFields<DXVA_PicParams_HEVC> kPictureFields = {
    SAME(sps_max_dec_pic_buffering_minus1),
    PP(log2_min_luma_transform_block_size_minus2, log2_min_transform_block_size_minus2),
    PP(log2_diff_max_min_luma_transform_block_size, log2_diff_max_min_transform_block_size),
    SAME(chroma_format_idc), SAME(bit_depth_luma_minus8), SAME(bit_depth_chroma_minus8), SAME(log2_max_pic_order_cnt_lsb_minus4),
    SAME(log2_min_luma_coding_block_size_minus3), SAME(log2_diff_max_min_luma_coding_block_size), SAME(max_transform_hierarchy_depth_inter),
    SAME(max_transform_hierarchy_depth_intra), SAME(num_short_term_ref_pic_sets), SAME(scaling_list_enabled_flag), SAME(amp_enabled_flag),
    SAME(sample_adaptive_offset_enabled_flag), SAME(pcm_enabled_flag), SAME(long_term_ref_pics_present_flag),
    SAME(sps_temporal_mvp_enabled_flag), SAME(strong_intra_smoothing_enabled_flag),
    SAME(num_ref_idx_l0_default_active_minus1), SAME(num_ref_idx_l1_default_active_minus1), SAME(init_qp_minus26),
    SAME(dependent_slice_segments_enabled_flag), SAME(output_flag_present_flag), SAME(num_extra_slice_header_bits),
    SAME(sign_data_hiding_enabled_flag), SAME(cabac_init_present_flag), SAME(constrained_intra_pred_flag), SAME(transform_skip_enabled_flag),
    SAME(cu_qp_delta_enabled_flag), SAME(pps_cb_qp_offset), SAME(pps_cr_qp_offset), SAME(pps_slice_chroma_qp_offsets_present_flag),
    SAME(weighted_pred_flag), SAME(weighted_bipred_flag), SAME(transquant_bypass_enabled_flag), SAME(tiles_enabled_flag),
    SAME(entropy_coding_sync_enabled_flag), SAME(pps_loop_filter_across_slices_enabled_flag), SAME(lists_modification_present_flag),
    SAME(log2_parallel_merge_level_minus2), SAME(slice_segment_header_extension_present_flag), SAME(diff_cu_qp_delta_depth),
    SAME(deblocking_filter_override_enabled_flag), SAME(pps_deblocking_filter_disabled_flag), SAME(pps_beta_offset_div2), SAME(pps_tc_offset_div2),
};

// The H.265 default 8x8 factors in up-right diagonal order: the
// fixture enables scaling with the default lists.
constexpr std::array<uint8_t, 64> kIntra = {
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 16, 17, 16, 17, 18, 17, 18, 18, 17, 18, 21,
    19, 20, 21, 20, 19, 21, 24, 22, 22, 24, 24, 22, 22, 24, 25, 25, 27, 30, 27, 25, 25, 29,
    31, 35, 35, 31, 29, 36, 41, 44, 41, 36, 47, 54, 54, 47, 65, 70, 65, 88, 88, 115};
constexpr std::array<uint8_t, 64> kInter = {
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 17, 17, 17, 17, 18, 18, 18, 18, 18, 18, 20,
    20, 20, 20, 20, 20, 20, 24, 24, 24, 24, 24, 24, 24, 24, 25, 25, 25, 25, 25, 25, 25, 28,
    28, 28, 28, 28, 28, 33, 33, 33, 33, 33, 41, 41, 41, 41, 54, 54, 54, 71, 71, 91};

TEST(HevcStreamBuffers, PictureParametersAndMatricesOfEveryPictureAgreeWithTheTrace)
{
    const std::string fixture = std::string(TARSEL_SOURCE_DIR) + "/tests/dxva/fixtures/hevc_200x120";
    const std::vector<Bytes> units = SplitNalUnits(ReadFileBytes(fixture + ".h265"));
    const HeaderTrace trace = HeaderTrace::FromFile(fixture + ".trace");
    ASSERT_EQ(units.size(), trace.units().size());
    std::unique_ptr<HevcStream, void (*)(HevcStream*)> stream{CreateHevcStream(), DestroyHevcStream};
    const TraceUnit* sps = nullptr;
    const TraceUnit* pps = nullptr;
    HevcPictureBuffer pictures;
    uint32_t counter = 41;
    size_t pictureCount = 0, compared = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        const TraceUnit& unit = trace.units()[i];
        const int64_t type = unit.value("nal_unit_type");
        ASSERT_EQ(ParseHevcNal(stream.get(), units[i].data(), units[i].size()), static_cast<int32_t>(units[i].size()));
        sps = type == 33 ? &unit : sps;
        pps = type == 34 ? &unit : pps;
        if (!IsSliceSegment(type))
            continue;
        ASSERT_TRUE(sps && pps);
        SCOPED_TRACE("picture " + std::to_string(pictureCount) + ", nal_unit_type " + std::to_string(type));
        if (pictures.SurfaceCount() == 0)
            pictures.Reset(HevcPictureBuffer::SurfacesFor(*stream->sps));
        uint32_t surface = 0;
        ASSERT_TRUE(pictures.FindFreeSurface(surface));
        ASSERT_TRUE(pictures.StartPicture(*stream, surface));
        pictures.NoteSlice(*stream->sh);
        DXVA_PicParams_HEVC pp;
        ASSERT_EQ(FillPictureParametersHevc(*stream, pictures.Current(), counter, &pp, sizeof(pp)), 232);
        compared += CompareTracedFields(pp, *sps, kPictureFields, "sps") + CompareTracedFields(pp, *pps, kPictureFields, "pps");
        const bool idr = type == 19 || type == 20;
        // Each picture has one slice: only a B slice (slice_type 0) withdraws the promise of no bi-prediction.
        EXPECT_EQ(Values({pp.IdrPicFlag, pp.IrapPicFlag, pp.IntraPicFlag, pp.StatusReportFeedbackNumber, pp.NoBiPredFlag, pp.NoPicReorderingFlag}),
                  Values({idr, type >= 16 && type <= 23, idr, 41 + int64_t(pictureCount), unit.value("slice_type") != 0, 0}));
        // The picture size in coding blocks, order counts, reference sets and
        // surfaces: the simulated device checks them for this stream against
        // its own reading of the headers (HevcSubmit).
        pictures.FinishPicture();
        DXVA_Qmatrix_HEVC qm;
        ASSERT_EQ(FillQuantizationMatrixHevc(*stream, &qm, sizeof(qm)), 1000);
        auto row = [](const uint8_t* list) { return std::vector<uint8_t>(list, list + 64); };
        for (size_t m = 0; m < 6; ++m) {
            const std::vector<uint8_t> expected = row((m < 3 ? kIntra : kInter).data());
            EXPECT_EQ(std::vector<uint8_t>(qm.ucScalingLists0[m], qm.ucScalingLists0[m] + 16), std::vector<uint8_t>(16, 16)) << m;
            EXPECT_EQ(row(qm.ucScalingLists1[m]), expected) << m;
            EXPECT_EQ(qm.ucScalingListDCCoefSizeID2[m] + qm.ucScalingListDCCoefSizeID3[m / 3], 32) << m;
        }
        ++pictureCount;
    }
    EXPECT_GT(compared, 6 * 40u);
}

// NumDeltaPocs of the predicted slice-header sets, which only the crafted
// stream carries (the set lengths are checked over the encoder corpus end to
// end), whatever the picture buffer makes of the picture: picture 8 names
// picture 7, never decoded, through the SPS's set 2.
TEST(HevcStreamBuffers, PredictedSliceSetsAgreeWithTheTrace)
{
    LogCapture log;
    const std::vector<Bytes> units = SplitNalUnits(ReadFileBytes(FixturePath("hevc", "crafted.hevc")));
    const HeaderTrace trace = HeaderTrace::FromFile(FixturePath("hevc", "crafted.trace.txt"));
    ASSERT_EQ(units.size(), trace.units().size());
    std::unique_ptr<HevcStream, void (*)(HevcStream*)> stream{CreateHevcStream(), DestroyHevcStream};
    HevcPictureBuffer pictures;
    pictures.Reset(HevcPictureBuffer::kMaxSurfaces);
    uint32_t counter = 1;
    size_t predictedSets = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        const TraceUnit& unit = trace.units()[i];
        ASSERT_GT(ParseHevcNal(stream.get(), units[i].data(), units[i].size()), 0);
        if (!IsSliceSegment(unit.value("nal_unit_type")) || !unit.value("first_slice_segment_in_pic_flag"))
            continue;
        SCOPED_TRACE("unit " + std::to_string(i));
        uint32_t surface = 0;
        ASSERT_TRUE(pictures.FindFreeSurface(surface));
        const bool started = pictures.StartPicture(*stream, surface);
        DXVA_PicParams_HEVC pp;
        ASSERT_EQ(FillPictureParametersHevc(*stream, pictures.Current(), counter, &pp, sizeof(pp)), 232);
        const int64_t traced = TracedRefDeltaPocs(unit);
        EXPECT_EQ(pp.ucNumDeltaPocsOfRefRpsIdx, traced);
        predictedSets += traced > 0;
        if (started)
            pictures.FinishPicture();
    }
    EXPECT_EQ(log.count("decoder: hevc picture 8 refers to the earlier picture 7, which is not kept"), 1u);
    EXPECT_GT(predictedSets, 0u);
}

}  // namespace
