// Parses the encoder fixtures and compares the fields with the header trace
// that ffmpeg printed for the same files.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bitstream/trace_fields.h"
#include "hevc_test_util.h"

namespace {

using Fields = TraceFields<HevcStream>;
#define SPS_FIELD(field) TRACE_FIELD(HevcStream, field, r.sps->field)
#define SPS_ARRAY(field) TRACE_FIELD(HevcStream, field, r.sps->field[i.at(0)])
#define PTL_FIELD(field) TRACE_FIELD(HevcStream, field, r.sps->ptl.field)
#define PTL_ARRAY(field) TRACE_FIELD(HevcStream, field, r.sps->ptl.field[i.at(0)])
#define PPS_FIELD(field) TRACE_FIELD(HevcStream, field, r.pps->field)
#define PPS_ARRAY(field) TRACE_FIELD(HevcStream, field, r.pps->field[i.at(0)])
#define SH_FIELD(field) TRACE_FIELD(HevcStream, field, r.sh->field)
#define SH_ARRAY(field) TRACE_FIELD(HevcStream, field, r.sh->field[i.at(0)])
// The slice's own short-term set lands in the slot of its SPS.
#define RPS_FIELD(field) TRACE_FIELD(HevcStream, field, r.sps->stRps.field)
#define RPS_ARRAY(field) TRACE_FIELD(HevcStream, field, r.sps->stRps.field[i.at(0)])
#define NAL_FIELD(field) TRACE_FIELD(HevcStream, field, r.nal->field)

const Fields kNalHeaderFields = {NAL_FIELD(nal_unit_type), NAL_FIELD(nuh_layer_id), NAL_FIELD(nuh_temporal_id_plus1)};

const Fields kSpsFields = {
    SPS_FIELD(sps_max_sub_layers_minus1), SPS_FIELD(sps_temporal_id_nesting_flag), PTL_FIELD(general_profile_space), PTL_FIELD(general_tier_flag),
    PTL_FIELD(general_profile_idc), PTL_ARRAY(general_profile_compatibility_flag), PTL_FIELD(general_progressive_source_flag),
    PTL_FIELD(general_interlaced_source_flag), PTL_FIELD(general_non_packed_constraint_flag), PTL_FIELD(general_frame_only_constraint_flag),
    PTL_FIELD(general_max_12bit_constraint_flag), PTL_FIELD(general_max_10bit_constraint_flag), PTL_FIELD(general_max_8bit_constraint_flag),
    PTL_FIELD(general_max_422chroma_constraint_flag), PTL_FIELD(general_max_420chroma_constraint_flag),
    PTL_FIELD(general_max_monochrome_constraint_flag), PTL_FIELD(general_intra_constraint_flag), PTL_FIELD(general_one_picture_only_constraint_flag),
    PTL_FIELD(general_lower_bit_rate_constraint_flag), PTL_FIELD(general_inbld_flag), PTL_FIELD(general_level_idc),
    PTL_ARRAY(sub_layer_profile_present_flag), PTL_ARRAY(sub_layer_level_present_flag), PTL_ARRAY(sub_layer_level_idc),
    SPS_FIELD(sps_seq_parameter_set_id), SPS_FIELD(chroma_format_idc), SPS_FIELD(separate_colour_plane_flag), SPS_FIELD(pic_width_in_luma_samples),
    SPS_FIELD(pic_height_in_luma_samples), SPS_FIELD(conformance_window_flag), SPS_FIELD(conf_win_left_offset), SPS_FIELD(conf_win_right_offset),
    SPS_FIELD(conf_win_top_offset), SPS_FIELD(conf_win_bottom_offset), SPS_FIELD(bit_depth_luma_minus8), SPS_FIELD(bit_depth_chroma_minus8),
    SPS_FIELD(log2_max_pic_order_cnt_lsb_minus4), SPS_FIELD(sps_sub_layer_ordering_info_present_flag), SPS_ARRAY(sps_max_dec_pic_buffering_minus1),
    SPS_ARRAY(sps_max_num_reorder_pics), SPS_ARRAY(sps_max_latency_increase_plus1), SPS_FIELD(log2_min_luma_coding_block_size_minus3),
    SPS_FIELD(log2_diff_max_min_luma_coding_block_size), SPS_FIELD(log2_min_luma_transform_block_size_minus2),
    SPS_FIELD(log2_diff_max_min_luma_transform_block_size), SPS_FIELD(max_transform_hierarchy_depth_inter),
    SPS_FIELD(max_transform_hierarchy_depth_intra), SPS_FIELD(scaling_list_enabled_flag), SPS_FIELD(sps_scaling_list_data_present_flag),
    SPS_FIELD(amp_enabled_flag), SPS_FIELD(sample_adaptive_offset_enabled_flag), SPS_FIELD(pcm_enabled_flag), SPS_FIELD(num_short_term_ref_pic_sets),
    SPS_FIELD(long_term_ref_pics_present_flag), SPS_FIELD(num_long_term_ref_pics_sps), SPS_FIELD(sps_temporal_mvp_enabled_flag),
    SPS_FIELD(strong_intra_smoothing_enabled_flag), SPS_FIELD(vui_parameters_present_flag), SPS_FIELD(aspect_ratio_info_present_flag),
    SPS_FIELD(aspect_ratio_idc), SPS_FIELD(sar_width), SPS_FIELD(sar_height), SPS_FIELD(overscan_info_present_flag),
    SPS_FIELD(video_signal_type_present_flag), SPS_FIELD(video_format), SPS_FIELD(video_full_range_flag), SPS_FIELD(colour_description_present_flag),
    SPS_FIELD(colour_primaries), SPS_FIELD(transfer_characteristics), TRACE_FIELD(HevcStream, matrix_coefficients, r.sps->matrix_coeffs),
    SPS_FIELD(chroma_loc_info_present_flag), SPS_FIELD(neutral_chroma_indication_flag), SPS_FIELD(field_seq_flag),
    SPS_FIELD(frame_field_info_present_flag), SPS_FIELD(default_display_window_flag), SPS_FIELD(vui_timing_info_present_flag),
    SPS_FIELD(vui_num_units_in_tick), SPS_FIELD(vui_time_scale), SPS_FIELD(vui_poc_proportional_to_timing_flag),
    SPS_FIELD(vui_hrd_parameters_present_flag), SPS_FIELD(bitstream_restriction_flag), SPS_FIELD(sps_extension_present_flag),
    SPS_FIELD(pcm_sample_bit_depth_luma_minus1), SPS_FIELD(pcm_sample_bit_depth_chroma_minus1), SPS_FIELD(log2_min_pcm_luma_coding_block_size_minus3),
    SPS_FIELD(log2_diff_max_min_pcm_luma_coding_block_size), SPS_FIELD(pcm_loop_filter_disabled_flag), SPS_ARRAY(lt_ref_pic_poc_lsb_sps),
    SPS_ARRAY(used_by_curr_pic_lt_sps_flag), SPS_FIELD(overscan_appropriate_flag), SPS_FIELD(chroma_sample_loc_type_top_field),
    SPS_FIELD(chroma_sample_loc_type_bottom_field), SPS_FIELD(def_disp_win_left_offset), SPS_FIELD(def_disp_win_right_offset),
    SPS_FIELD(def_disp_win_top_offset), SPS_FIELD(def_disp_win_bottom_offset), SPS_FIELD(vui_num_ticks_poc_diff_one_minus1),
    SPS_FIELD(tiles_fixed_structure_flag), SPS_FIELD(motion_vectors_over_pic_boundaries_flag), SPS_FIELD(restricted_ref_pic_lists_flag),
    SPS_FIELD(min_spatial_segmentation_idc), SPS_FIELD(max_bytes_per_pic_denom), SPS_FIELD(max_bits_per_min_cu_denom),
    SPS_FIELD(log2_max_mv_length_horizontal), SPS_FIELD(log2_max_mv_length_vertical),
};

const Fields kPpsFields = {
    PPS_FIELD(pps_pic_parameter_set_id), PPS_FIELD(pps_seq_parameter_set_id), PPS_FIELD(dependent_slice_segments_enabled_flag),
    PPS_FIELD(output_flag_present_flag), PPS_FIELD(num_extra_slice_header_bits), PPS_FIELD(sign_data_hiding_enabled_flag),
    PPS_FIELD(cabac_init_present_flag), PPS_FIELD(num_ref_idx_l0_default_active_minus1), PPS_FIELD(num_ref_idx_l1_default_active_minus1),
    PPS_FIELD(init_qp_minus26), PPS_FIELD(constrained_intra_pred_flag), PPS_FIELD(transform_skip_enabled_flag), PPS_FIELD(cu_qp_delta_enabled_flag),
    PPS_FIELD(diff_cu_qp_delta_depth), PPS_FIELD(pps_cb_qp_offset), PPS_FIELD(pps_cr_qp_offset), PPS_FIELD(pps_slice_chroma_qp_offsets_present_flag),
    PPS_FIELD(weighted_pred_flag), PPS_FIELD(weighted_bipred_flag), PPS_FIELD(transquant_bypass_enabled_flag), PPS_FIELD(tiles_enabled_flag),
    PPS_FIELD(entropy_coding_sync_enabled_flag), PPS_FIELD(pps_loop_filter_across_slices_enabled_flag),
    PPS_FIELD(deblocking_filter_control_present_flag), PPS_FIELD(deblocking_filter_override_enabled_flag),
    PPS_FIELD(pps_deblocking_filter_disabled_flag), PPS_FIELD(pps_beta_offset_div2), PPS_FIELD(pps_tc_offset_div2),
    PPS_FIELD(pps_scaling_list_data_present_flag), PPS_FIELD(lists_modification_present_flag), PPS_FIELD(log2_parallel_merge_level_minus2),
    PPS_FIELD(slice_segment_header_extension_present_flag), PPS_FIELD(pps_extension_present_flag), PPS_FIELD(num_tile_columns_minus1),
    PPS_FIELD(num_tile_rows_minus1), PPS_FIELD(uniform_spacing_flag), PPS_ARRAY(column_width_minus1), PPS_ARRAY(row_height_minus1),
    PPS_FIELD(loop_filter_across_tiles_enabled_flag),
};

const Fields kSliceFields = {
    SH_FIELD(first_slice_segment_in_pic_flag), SH_FIELD(no_output_of_prior_pics_flag), SH_FIELD(slice_pic_parameter_set_id),
    SH_FIELD(dependent_slice_segment_flag), SH_FIELD(slice_segment_address), SH_FIELD(slice_type), SH_FIELD(pic_output_flag),
    SH_FIELD(colour_plane_id), SH_FIELD(slice_pic_order_cnt_lsb), SH_FIELD(short_term_ref_pic_set_sps_flag), SH_FIELD(short_term_ref_pic_set_idx),
    SH_FIELD(num_long_term_sps), SH_FIELD(num_long_term_pics), SH_FIELD(slice_temporal_mvp_enabled_flag), SH_FIELD(slice_sao_luma_flag),
    SH_FIELD(slice_sao_chroma_flag), SH_FIELD(num_ref_idx_active_override_flag), SH_FIELD(num_ref_idx_l0_active_minus1),
    SH_FIELD(num_ref_idx_l1_active_minus1), SH_FIELD(mvd_l1_zero_flag), SH_FIELD(cabac_init_flag), SH_FIELD(collocated_from_l0_flag),
    SH_FIELD(collocated_ref_idx), SH_FIELD(five_minus_max_num_merge_cand), SH_FIELD(slice_qp_delta), SH_FIELD(slice_cb_qp_offset),
    SH_FIELD(slice_cr_qp_offset), SH_FIELD(deblocking_filter_override_flag), SH_FIELD(slice_deblocking_filter_disabled_flag),
    SH_FIELD(slice_beta_offset_div2), SH_FIELD(slice_tc_offset_div2), SH_FIELD(slice_loop_filter_across_slices_enabled_flag),
    SH_FIELD(num_entry_point_offsets), SH_FIELD(offset_len_minus1), SH_FIELD(slice_segment_header_extension_length),
    SH_ARRAY(slice_segment_header_extension_data_byte), SH_ARRAY(entry_point_offset_minus1), SH_ARRAY(lt_idx_sps), SH_ARRAY(poc_lsb_lt),
    SH_ARRAY(used_by_curr_pic_lt_flag), SH_ARRAY(delta_poc_msb_present_flag), SH_ARRAY(delta_poc_msb_cycle_lt),
};

// The elements of a slice's own short-term set, whose coded size the parser keeps.
const Fields kSliceRpsFields = {
    RPS_FIELD(inter_ref_pic_set_prediction_flag), RPS_FIELD(delta_idx_minus1), RPS_FIELD(delta_rps_sign), RPS_FIELD(abs_delta_rps_minus1),
    RPS_ARRAY(used_by_curr_pic_flag), RPS_ARRAY(use_delta_flag), RPS_FIELD(num_negative_pics), RPS_FIELD(num_positive_pics),
    RPS_ARRAY(delta_poc_s0_minus1), RPS_ARRAY(used_by_curr_pic_s0_flag), RPS_ARRAY(delta_poc_s1_minus1), RPS_ARRAY(used_by_curr_pic_s1_flag),
};


bool IsSlice(uint32_t nal_unit_type)
{
    return nal_unit_type <= 9 || (nal_unit_type >= 16 && nal_unit_type <= 21);
}

// headerBits must point at byte_alignment(), where the trace shows the
// alignment bit; a slice's own short-term set must have its traced size.
void CheckSliceLocation(const HevcStream& stream, const TraceUnit& traced)
{
    const TraceElement* alignment = traced.find("alignment_bit_equal_to_one");
    ASSERT_NE(alignment, nullptr);
    EXPECT_EQ(stream.loc->headerBits, alignment->position);
    if (stream.sh->short_term_ref_pic_set_sps_flag || stream.sh->dependent_slice_segment_flag ||
        !traced.has("short_term_ref_pic_set_sps_flag"))
        return;
    uint64_t rpsBits = 0;
    TraceIndex index;
    for (const TraceElement& element : traced.elements)
        rpsBits += kSliceRpsFields.count(SplitTraceName(element.name, index)) ? element.bits.size() : 0;
    EXPECT_EQ(stream.sps->stRps.numBitsStRps, rpsBits);
}

class HevcFixtureTest : public ::testing::TestWithParam<std::string> {
protected:
    std::vector<Bytes> Units() const { return SplitNalUnits(ReadFileBytes(HevcFixturePath(GetParam() + ".hevc"))); }
};

TEST_P(HevcFixtureTest, ParsedFieldsMatchTrace)
{
    const std::vector<Bytes> units = Units();
    const HeaderTrace trace = HeaderTrace::FromFile(HevcFixturePath(GetParam() + ".trace.txt"));
    ASSERT_EQ(units.size(), trace.units().size());
    HevcStreamPtr stream(CreateHevcStream());
    size_t compared = 0;
    for (size_t u = 0; u < units.size(); ++u) {
        const TraceUnit& traced = trace.units()[u];
        const std::string where = GetParam() + " unit " + std::to_string(u) + " (" + traced.title + ")";
        ASSERT_EQ(ParseHevcNal(stream.get(), units[u].data(), units[u].size()), static_cast<int32_t>(units[u].size())) << where;
        const uint32_t type = stream->nal->nal_unit_type;
        const Fields* fields = type == 33 ? &kSpsFields : type == 34 ? &kPpsFields : IsSlice(type) ? &kSliceFields : nullptr;
        compared += CompareTracedFields(*stream, traced, kNalHeaderFields, where);
        // Only the first entry points are stored; the rest count through headerBits.
        auto unstored = [&traced](size_t e) {
            TraceIndex index;
            return SplitTraceName(traced.elements[e].name, index) == "entry_point_offset_minus1" && index[0] >= kHevcMaxStoredEntryPoints;
        };
        if (fields)
            compared += CompareTracedFields(*stream, traced, *fields, where, unstored);
        if (IsSlice(type)) {
            compared += CompareTracedFields(*stream, traced, kSliceRpsFields, where);
            CheckSliceLocation(*stream, traced);
        }
    }
    EXPECT_GT(compared, 100u);
}

// Each cut of the file leaves a truncated last unit, and each bit flip
// corrupts an id, count or length somewhere; under the sanitizers this
// proves that no input makes the parser read or write out of bounds.
TEST_P(HevcFixtureTest, EveryPrefixAndEveryBitFlipParsesSafely)
{
    const Bytes bytes = ReadFileBytes(HevcFixturePath(GetParam() + ".hevc"));
    HevcStreamPtr stream(CreateHevcStream());
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        for (const Bytes& nal : SplitNalUnits(Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut)))) {
            std::unique_ptr<uint8_t[]> exact(new uint8_t[nal.size()]);  // any over-read trips
            std::copy(nal.begin(), nal.end(), exact.get());
            const int32_t result = ParseHevcNal(stream.get(), exact.get(), nal.size());
            ASSERT_TRUE(result == static_cast<int32_t>(nal.size()) || result == -1) << cut;
        }
    }
    for (const Bytes& original : Units()) {
        Bytes nal = original;
        for (size_t bit = 0; bit < nal.size() * 8; ++bit) {
            nal[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
            const int32_t result = ParseHevcNal(stream.get(), nal.data(), nal.size());
            ASSERT_TRUE(result == static_cast<int32_t>(nal.size()) || result == -1) << bit;
            nal[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
        }
        ParseHevcNal(stream.get(), original.data(), original.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, HevcFixtureTest,
                         ::testing::Values("wpp_entry_points", "slices", "scaling_default", "inter_rps",
                                           "conformance_window", "conformance_444", "main10",
                                           "aud_temporal_layers", "hrd", "crafted"));

} // namespace
