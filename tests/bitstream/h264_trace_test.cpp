#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/h264/h264_parser.h"
#include "support/log_capture.h"
#include "trace_fields.h"

// Every syntax element that ffmpeg's trace_headers prints for the fixture
// streams must have the same value in the parsed records, and each slice's
// headerBits must point where the trace shows slice data beginning.

namespace {

using Fields = TraceFields<H264Stream>;
#define SPS(f) TRACE_FIELD(H264Stream, f, r.sps->f)
#define SPS_ARRAY(f) TRACE_FIELD(H264Stream, f, r.sps->f[i.at(0)])
#define HRD(f) TRACE_FIELD(H264Stream, f, r.sps->hrd.f)
#define HRD_ARRAY(f) TRACE_FIELD(H264Stream, f, r.sps->hrd.f[i.at(0)])
#define PPS(f) TRACE_FIELD(H264Stream, f, r.pps->f)
#define SH(f) TRACE_FIELD(H264Stream, f, r.sh->f)
#define SH_ARRAY(f) TRACE_FIELD(H264Stream, f, r.sh->f[i.at(0)])
#define SH_ARRAY2(f) TRACE_FIELD(H264Stream, f, r.sh->f[i.at(0)][i.at(1)])

const Fields kNalFields = {TRACE_FIELD(H264Stream, forbidden_zero_bit, r.nal->forbidden_zero_bit), TRACE_FIELD(H264Stream, nal_ref_idc, r.nal->nal_ref_idc),
                           TRACE_FIELD(H264Stream, nal_unit_type, r.nal->nal_unit_type), TRACE_FIELD(H264Stream, primary_pic_type, *r.aud)};

const Fields kSpsFields = {
    SPS(profile_idc), SPS(constraint_set0_flag), SPS(constraint_set1_flag), SPS(constraint_set2_flag), SPS(constraint_set3_flag),
    SPS(constraint_set4_flag), SPS(constraint_set5_flag), SPS(reserved_zero_2bits), SPS(level_idc), SPS(seq_parameter_set_id),
    SPS(chroma_format_idc), SPS(separate_colour_plane_flag), SPS(bit_depth_luma_minus8), SPS(bit_depth_chroma_minus8),
    SPS(qpprime_y_zero_transform_bypass_flag), SPS(seq_scaling_matrix_present_flag), SPS_ARRAY(seq_scaling_list_present_flag),
    SPS(log2_max_frame_num_minus4), SPS(pic_order_cnt_type), SPS(log2_max_pic_order_cnt_lsb_minus4),
    SPS(delta_pic_order_always_zero_flag), SPS(offset_for_non_ref_pic), SPS(offset_for_top_to_bottom_field),
    SPS(num_ref_frames_in_pic_order_cnt_cycle), SPS_ARRAY(offset_for_ref_frame), SPS(max_num_ref_frames),
    TRACE_FIELD(H264Stream, gaps_in_frame_num_allowed_flag, r.sps->gaps_in_frame_num_value_allowed_flag),
    SPS(pic_width_in_mbs_minus1), SPS(pic_height_in_map_units_minus1), SPS(frame_mbs_only_flag), SPS(mb_adaptive_frame_field_flag),
    SPS(direct_8x8_inference_flag), SPS(frame_cropping_flag), SPS(frame_crop_left_offset), SPS(frame_crop_right_offset),
    SPS(frame_crop_top_offset), SPS(frame_crop_bottom_offset), SPS(vui_parameters_present_flag), SPS(aspect_ratio_info_present_flag),
    SPS(aspect_ratio_idc), SPS(sar_width), SPS(sar_height), SPS(overscan_info_present_flag), SPS(overscan_appropriate_flag),
    SPS(video_signal_type_present_flag), SPS(video_format), SPS(video_full_range_flag), SPS(colour_description_present_flag),
    SPS(colour_primaries), SPS(transfer_characteristics), SPS(matrix_coefficients), SPS(chroma_loc_info_present_flag),
    SPS(chroma_sample_loc_type_top_field), SPS(chroma_sample_loc_type_bottom_field), SPS(timing_info_present_flag),
    SPS(num_units_in_tick), SPS(time_scale), SPS(fixed_frame_rate_flag), SPS(nal_hrd_parameters_present_flag),
    SPS(vcl_hrd_parameters_present_flag), SPS(low_delay_hrd_flag), SPS(pic_struct_present_flag), SPS(bitstream_restriction_flag),
    SPS(motion_vectors_over_pic_boundaries_flag), SPS(max_bytes_per_pic_denom), SPS(max_bits_per_mb_denom),
    SPS(log2_max_mv_length_horizontal), SPS(log2_max_mv_length_vertical), SPS(max_num_reorder_frames), SPS(max_dec_frame_buffering),
    HRD(cpb_cnt_minus1), HRD(bit_rate_scale), HRD(cpb_size_scale), HRD_ARRAY(bit_rate_value_minus1), HRD_ARRAY(cpb_size_value_minus1),
    HRD_ARRAY(cbr_flag), HRD(initial_cpb_removal_delay_length_minus1), HRD(cpb_removal_delay_length_minus1),
    HRD(dpb_output_delay_length_minus1), HRD(time_offset_length),
};

const Fields kPpsFields = {
    PPS(pic_parameter_set_id), PPS(seq_parameter_set_id), PPS(entropy_coding_mode_flag), PPS(bottom_field_pic_order_in_frame_present_flag),
    PPS(num_slice_groups_minus1), PPS(slice_group_map_type), PPS(slice_group_change_direction_flag), PPS(slice_group_change_rate_minus1),
    PPS(pic_size_in_map_units_minus1), PPS(num_ref_idx_l0_default_active_minus1), PPS(num_ref_idx_l1_default_active_minus1),
    PPS(weighted_pred_flag), PPS(weighted_bipred_idc), PPS(pic_init_qp_minus26), PPS(pic_init_qs_minus26), PPS(chroma_qp_index_offset),
    PPS(deblocking_filter_control_present_flag), PPS(constrained_intra_pred_flag), PPS(redundant_pic_cnt_present_flag),
    PPS(transform_8x8_mode_flag), PPS(pic_scaling_matrix_present_flag), TRACE_FIELD(H264Stream, pic_scaling_list_present_flag, r.pps->pic_scaling_list_present_flag[i.at(0)]),
    PPS(second_chroma_qp_index_offset),
};

const Fields kSliceFields = {
    SH(first_mb_in_slice), SH(slice_type), SH(pic_parameter_set_id), SH(colour_plane_id), SH(frame_num), SH(field_pic_flag),
    SH(bottom_field_flag), SH(idr_pic_id), SH(pic_order_cnt_lsb), SH(delta_pic_order_cnt_bottom), SH_ARRAY(delta_pic_order_cnt),
    SH(redundant_pic_cnt), SH(direct_spatial_mv_pred_flag), SH(num_ref_idx_active_override_flag), SH(num_ref_idx_l0_active_minus1),
    SH(num_ref_idx_l1_active_minus1), SH(cabac_init_idc), SH(slice_qp_delta), SH(sp_for_switch_flag), SH(slice_qs_delta),
    SH(disable_deblocking_filter_idc), SH(slice_alpha_c0_offset_div2), SH(slice_beta_offset_div2), SH(slice_group_change_cycle),
    SH(luma_log2_weight_denom), SH(chroma_log2_weight_denom), SH_ARRAY(luma_weight_l0_flag), SH_ARRAY(luma_weight_l0),
    SH_ARRAY(luma_offset_l0), SH_ARRAY(chroma_weight_l0_flag), SH_ARRAY2(chroma_weight_l0), SH_ARRAY2(chroma_offset_l0),
    SH_ARRAY(luma_weight_l1_flag), SH_ARRAY(luma_weight_l1), SH_ARRAY(luma_offset_l1), SH_ARRAY(chroma_weight_l1_flag),
    SH_ARRAY2(chroma_weight_l1), SH_ARRAY2(chroma_offset_l1), SH(ref_pic_list_modification_flag_l0),
    SH(ref_pic_list_modification_flag_l1), SH(no_output_of_prior_pics_flag), SH(long_term_reference_flag),
    SH(adaptive_ref_pic_marking_mode_flag), SH_ARRAY(modification_of_pic_nums_idc_l0), SH_ARRAY(abs_diff_pic_num_minus1_l0),
    SH_ARRAY(long_term_pic_num_l0), SH_ARRAY(modification_of_pic_nums_idc_l1), SH_ARRAY(abs_diff_pic_num_minus1_l1),
    SH_ARRAY(long_term_pic_num_l1), SH_ARRAY(memory_management_control_operation), SH_ARRAY(difference_of_pic_nums_minus1),
    SH_ARRAY(long_term_pic_num), SH_ARRAY(long_term_frame_idx), SH_ARRAY(max_long_term_frame_idx_plus1),
};

// The trace prints list operations as repeated names without an index:
// name them as the record stores them (list suffix, operation index). The
// NAL and VCL HRD share one record, so only the last copy of an HRD element counts.
TraceUnit AsStored(TraceUnit unit)
{
    const std::set<std::string> starts = {"modification_of_pic_nums_idc", "memory_management_control_operation"};
    const std::set<std::string> hrd = {"cpb_cnt_minus1", "bit_rate_scale", "cpb_size_scale", "cbr_flag", "time_offset_length",
                                       "initial_cpb_removal_delay_length_minus1", "cpb_removal_delay_length_minus1", "dpb_output_delay_length_minus1"};
    std::string suffix;
    int operation = -1;
    for (size_t e = 0; e < unit.elements.size(); ++e) {
        std::string& name = unit.elements[e].name;
        TraceIndex index;
        std::string base = SplitTraceName(name, index);
        if (base == "ref_pic_list_modification_flag_l0" || base == "ref_pic_list_modification_flag_l1" || base == "adaptive_ref_pic_marking_mode_flag") {
            suffix = base == "adaptive_ref_pic_marking_mode_flag" ? "" : base.substr(base.size() - 3);
            operation = -1;
        } else if (starts.count(base) || base == "abs_diff_pic_num_minus1" || base == "long_term_pic_num" ||
                   base == "difference_of_pic_nums_minus1" || base == "long_term_frame_idx" || base == "max_long_term_frame_idx_plus1") {
            operation += starts.count(base) ? 1 : 0;
            name = base + suffix + "[" + std::to_string(operation) + "]";
        } else if (hrd.count(base) || base == "bit_rate_value_minus1" || base == "cpb_size_value_minus1") {
            for (size_t later = e + 1; later < unit.elements.size(); ++later) {
                if (unit.elements[later].name == name) {
                    name = "shadowed " + name;
                    break;
                }
            }
        }
    }
    return unit;
}

const char* const kFixtures[] = {"baseline", "baseline_aud", "main_b", "high_slices", "high_weighted", "cqm_custom", "cqm_jvt",
                                 "interlaced", "yuv444", "lossless444", "cropped", "hrd_cbr", "high10"};

class H264TraceTest : public testing::TestWithParam<size_t> {
protected:
    std::string Name() const { return kFixtures[GetParam()]; }
    std::vector<Bytes> Units() const { return SplitNalUnits(ReadFileBytes(H264FixturePath(Name() + ".264"))); }
};

TEST_P(H264TraceTest, ParsedFieldsMatchTheReferenceTrace)
{
    std::vector<Bytes> units = Units();
    HeaderTrace trace = HeaderTrace::FromFile(H264FixturePath(Name() + ".trace"));
    ASSERT_EQ(units.size(), trace.units().size()) << "NAL units found vs traced";
    std::unique_ptr<H264Stream, void (*)(H264Stream*)> stream(CreateH264Stream(), DestroyH264Stream);
    size_t compared = 0;
    for (size_t u = 0; u < units.size(); ++u) {
        std::string where = Name() + " unit " + std::to_string(u);
        ASSERT_EQ(ParseH264Nal(stream.get(), units[u].data(), units[u].size()), static_cast<int32_t>(units[u].size())) << where;
        const TraceUnit unit = AsStored(trace.units()[u]);
        compared += CompareTracedFields(*stream, unit, kNalFields, where);
        const Fields* fields = unit.title == "Sequence Parameter Set" ? &kSpsFields : unit.title == "Picture Parameter Set" ? &kPpsFields
                             : unit.title == "Slice Header"            ? &kSliceFields : nullptr;
        if (fields)
            compared += CompareTracedFields(*stream, unit, *fields, where);
        if (fields != &kSliceFields)
            continue;
        // Slice data begins at the first cabac_alignment_one_bit, or right
        // after the header; the trace counts the NAL header byte, headerBits does not.
        const TraceElement* alignment = unit.find("cabac_alignment_one_bit");
        EXPECT_EQ(stream->loc->headerBits, (alignment ? alignment->position : unit.end()) - 8) << where;
        EXPECT_EQ(stream->loc->remainingBytes, stream->nal->rbspSize - stream->loc->headerBits / 8 - 1) << where;
    }
    EXPECT_GT(compared, 10u * units.size());
}

// Every prefix of every unit, each in its own allocation so the sanitizers
// see any read past it, and every bit flip past the NAL header (which keeps
// the unit type, so the whole unit can restore the tables) parse or fail cleanly.
TEST_P(H264TraceTest, EveryPrefixAndEveryBitFlipParsesSafely)
{
    std::unique_ptr<H264Stream, void (*)(H264Stream*)> stream(CreateH264Stream(), DestroyH264Stream);
    LogCapture log;
    testing::internal::CaptureStdout();
    for (Bytes unit : Units()) {
        for (size_t length = 0; length < unit.size(); ++length) {
            std::unique_ptr<uint8_t[]> prefix(new uint8_t[length]);
            std::copy(unit.begin(), unit.begin() + static_cast<long>(length), prefix.get());
            int32_t result = ParseH264Nal(stream.get(), length ? prefix.get() : nullptr, length);
            ASSERT_TRUE(result == static_cast<int32_t>(length) || result == -1) << result;
        }
        for (size_t bit = 8; bit < unit.size() * 8; ++bit) {
            unit[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
            int32_t result = ParseH264Nal(stream.get(), unit.data(), unit.size());
            ASSERT_TRUE(result == static_cast<int32_t>(unit.size()) || result == -1) << bit;
            unit[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
        }
        // The whole unit restores whatever the damaged copies replaced.
        ASSERT_EQ(ParseH264Nal(stream.get(), unit.data(), unit.size()), static_cast<int32_t>(unit.size()));
    }
    testing::internal::GetCapturedStdout();
}

INSTANTIATE_TEST_SUITE_P(Fixtures, H264TraceTest, testing::Range(size_t{0}, std::size(kFixtures)),
                         [](const testing::TestParamInfo<size_t>& info) { return std::string(kFixtures[info.param]); });

} // namespace
