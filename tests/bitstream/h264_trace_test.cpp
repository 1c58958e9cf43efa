#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/h264/h264_parser.h"
#include "trace_fields.h"

// The elements that the decoder or the stream probe read must have the
// values ffmpeg's trace_headers prints for the fixture streams, and each
// slice's headerBits must point where the trace shows slice data beginning.
// The other elements are stored but read by nothing; a misreading of them
// shows in the values and positions of what follows.

namespace {

using Fields = TraceFields<H264Stream>;
#define SPS(f) TRACE_FIELD(H264Stream, f, r.sps->f)
#define PPS(f) TRACE_FIELD(H264Stream, f, r.pps->f)
#define SH(f) TRACE_FIELD(H264Stream, f, r.sh->f)
#define SH_ARRAY(f) TRACE_FIELD(H264Stream, f, r.sh->f[i.at(0)])
#define SH_ARRAY2(f) TRACE_FIELD(H264Stream, f, r.sh->f[i.at(0)][i.at(1)])

const Fields kNalFields = {TRACE_FIELD(H264Stream, forbidden_zero_bit, r.nal->forbidden_zero_bit), TRACE_FIELD(H264Stream, nal_ref_idc, r.nal->nal_ref_idc),
                           TRACE_FIELD(H264Stream, nal_unit_type, r.nal->nal_unit_type), TRACE_FIELD(H264Stream, primary_pic_type, *r.aud)};

// SPS and slice elements with one value across every fixture here that the
// picture parameters buffer carries are left to that buffer's trace test.
const Fields kSpsFields = {
    SPS(profile_idc), SPS(level_idc), SPS(seq_parameter_set_id), SPS(chroma_format_idc), SPS(separate_colour_plane_flag),
    SPS(bit_depth_luma_minus8), SPS(bit_depth_chroma_minus8), SPS(pic_order_cnt_type), SPS(log2_max_pic_order_cnt_lsb_minus4),
    SPS(delta_pic_order_always_zero_flag), SPS(max_num_ref_frames), SPS(pic_width_in_mbs_minus1), SPS(pic_height_in_map_units_minus1),
    SPS(frame_mbs_only_flag), SPS(mb_adaptive_frame_field_flag), SPS(frame_cropping_flag), SPS(frame_crop_left_offset),
    SPS(frame_crop_right_offset), SPS(frame_crop_top_offset), SPS(frame_crop_bottom_offset), SPS(vui_parameters_present_flag),
    SPS(aspect_ratio_info_present_flag), SPS(aspect_ratio_idc), SPS(sar_width), SPS(sar_height), SPS(timing_info_present_flag),
    SPS(num_units_in_tick), SPS(time_scale),
};

const Fields kPpsFields = {
    PPS(pic_parameter_set_id), PPS(seq_parameter_set_id), PPS(entropy_coding_mode_flag), PPS(bottom_field_pic_order_in_frame_present_flag),
    PPS(num_slice_groups_minus1), PPS(num_ref_idx_l0_default_active_minus1), PPS(num_ref_idx_l1_default_active_minus1), PPS(weighted_pred_flag),
    PPS(weighted_bipred_idc), PPS(pic_init_qp_minus26), PPS(pic_init_qs_minus26), PPS(chroma_qp_index_offset),
    PPS(deblocking_filter_control_present_flag), PPS(constrained_intra_pred_flag), PPS(redundant_pic_cnt_present_flag),
    PPS(transform_8x8_mode_flag), PPS(second_chroma_qp_index_offset),
};

const Fields kSliceFields = {
    SH(first_mb_in_slice), SH(slice_type), SH(pic_parameter_set_id), SH(frame_num), SH(field_pic_flag), SH(redundant_pic_cnt),
    SH(direct_spatial_mv_pred_flag), SH(num_ref_idx_l0_active_minus1), SH(num_ref_idx_l1_active_minus1), SH(slice_qp_delta),
    SH(sp_for_switch_flag), SH(slice_qs_delta), SH(disable_deblocking_filter_idc), SH(slice_alpha_c0_offset_div2),
    SH(slice_beta_offset_div2), SH_ARRAY(luma_weight_l0_flag), SH_ARRAY(luma_weight_l0),
    SH_ARRAY(luma_offset_l0), SH_ARRAY(chroma_weight_l0_flag), SH_ARRAY2(chroma_weight_l0), SH_ARRAY2(chroma_offset_l0),
};

const char* const kFixtures[] = {"baseline", "baseline_aud", "main_b", "high_slices", "high_weighted", "cqm_custom", "cqm_jvt",
                                 "interlaced", "yuv444", "lossless444", "cropped", "hrd_cbr", "high10"};

class H264TraceTest : public testing::TestWithParam<const char*> {};

TEST_P(H264TraceTest, ParsedFieldsMatchTheReferenceTrace)
{
    const std::vector<Bytes> units = SplitNalUnits(ReadFileBytes(FixturePath("h264", GetParam() + std::string(".264"))));
    const HeaderTrace trace = HeaderTrace::FromFile(FixturePath("h264", GetParam() + std::string(".trace")));
    ASSERT_EQ(units.size(), trace.units().size()) << "NAL units found vs traced";
    std::unique_ptr<H264Stream, void (*)(H264Stream*)> stream(CreateH264Stream(), DestroyH264Stream);
    size_t compared = 0;
    for (size_t u = 0; u < units.size(); ++u) {
        const std::string where = GetParam() + (" unit " + std::to_string(u));
        ASSERT_EQ(ParseH264Nal(stream.get(), units[u].data(), units[u].size()), static_cast<int32_t>(units[u].size())) << where;
        const TraceUnit& unit = trace.units()[u];
        const uint32_t type = stream->nal->nal_unit_type;
        const Fields* fields = type == 7 ? &kSpsFields : type == 8 ? &kPpsFields : type == 1 || type == 5 ? &kSliceFields : nullptr;
        compared += CompareTracedFields(*stream, unit, kNalFields, where);
        if (fields)
            compared += CompareTracedFields(*stream, unit, *fields, where);
        if (fields != &kSliceFields)
            continue;
        // Slice data begins at the first cabac_alignment_one_bit, or right
        // after the header; the trace counts the NAL header byte, headerBits does not.
        const TraceElement* alignment = unit.find("cabac_alignment_one_bit");
        EXPECT_EQ(stream->loc->headerBits, (alignment ? alignment->position : unit.end()) - 8) << where;
    }
    EXPECT_GT(compared, 10u * units.size());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, H264TraceTest, testing::ValuesIn(kFixtures),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

} // namespace
