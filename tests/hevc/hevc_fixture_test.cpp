// Parses the encoder fixtures and the crafted stream and compares the fields
// that the decoder, the stream probe or the cutter read with the header trace
// ffmpeg printed for the same files; a misreading of the other elements shows
// in the values and positions of what follows.
#include <gtest/gtest.h>

#include <string>

#include "bitstream/trace_fields.h"
#include "hevc_test_util.h"

namespace {

using Fields = TraceFields<HevcStream>;
#define SPS_FIELD(field) TRACE_FIELD(HevcStream, field, r.sps->field)
#define SPS_ARRAY(field) TRACE_FIELD(HevcStream, field, r.sps->field[i.at(0)])
#define PTL_FIELD(field) TRACE_FIELD(HevcStream, field, r.sps->ptl.field)
#define PPS_FIELD(field) TRACE_FIELD(HevcStream, field, r.pps->field)
#define PPS_ARRAY(field) TRACE_FIELD(HevcStream, field, r.pps->field[i.at(0)])
#define SH_FIELD(field) TRACE_FIELD(HevcStream, field, r.sh->field)
#define NAL_FIELD(field) TRACE_FIELD(HevcStream, field, r.nal->field)

const Fields kNalHeaderFields = {NAL_FIELD(nal_unit_type), NAL_FIELD(nuh_layer_id), NAL_FIELD(nuh_temporal_id_plus1)};

// Elements with one value across every fixture here that the picture
// parameters buffer carries are left to that buffer's trace test.
const Fields kSpsFields = {
    PTL_FIELD(general_profile_idc), PTL_FIELD(general_level_idc), SPS_FIELD(sps_seq_parameter_set_id), SPS_FIELD(chroma_format_idc),
    SPS_FIELD(separate_colour_plane_flag), SPS_FIELD(pic_width_in_luma_samples), SPS_FIELD(pic_height_in_luma_samples),
    SPS_FIELD(conformance_window_flag), SPS_FIELD(conf_win_left_offset), SPS_FIELD(conf_win_right_offset), SPS_FIELD(conf_win_top_offset),
    SPS_FIELD(conf_win_bottom_offset), SPS_FIELD(bit_depth_luma_minus8), SPS_FIELD(bit_depth_chroma_minus8),
    SPS_ARRAY(sps_max_dec_pic_buffering_minus1), SPS_FIELD(log2_diff_max_min_luma_coding_block_size),
    SPS_FIELD(log2_diff_max_min_luma_transform_block_size), SPS_FIELD(max_transform_hierarchy_depth_inter),
    SPS_FIELD(max_transform_hierarchy_depth_intra), SPS_FIELD(scaling_list_enabled_flag), SPS_FIELD(amp_enabled_flag),
    SPS_FIELD(num_short_term_ref_pic_sets), SPS_FIELD(long_term_ref_pics_present_flag), SPS_FIELD(num_long_term_ref_pics_sps),
    SPS_FIELD(vui_parameters_present_flag), SPS_FIELD(aspect_ratio_info_present_flag), SPS_FIELD(aspect_ratio_idc), SPS_FIELD(sar_width),
    SPS_FIELD(sar_height), SPS_FIELD(vui_timing_info_present_flag), SPS_FIELD(vui_num_units_in_tick), SPS_FIELD(vui_time_scale),
};

const Fields kPpsFields = {
    PPS_FIELD(pps_pic_parameter_set_id), PPS_FIELD(pps_seq_parameter_set_id), PPS_FIELD(dependent_slice_segments_enabled_flag),
    PPS_FIELD(output_flag_present_flag), PPS_FIELD(num_extra_slice_header_bits), PPS_FIELD(sign_data_hiding_enabled_flag),
    PPS_FIELD(cabac_init_present_flag), PPS_FIELD(num_ref_idx_l0_default_active_minus1), PPS_FIELD(init_qp_minus26),
    PPS_FIELD(diff_cu_qp_delta_depth), PPS_FIELD(pps_cb_qp_offset), PPS_FIELD(pps_cr_qp_offset),
    PPS_FIELD(pps_slice_chroma_qp_offsets_present_flag), PPS_FIELD(weighted_bipred_flag), PPS_FIELD(tiles_enabled_flag),
    PPS_FIELD(entropy_coding_sync_enabled_flag), PPS_FIELD(pps_loop_filter_across_slices_enabled_flag),
    PPS_FIELD(deblocking_filter_control_present_flag), PPS_FIELD(pps_scaling_list_data_present_flag), PPS_FIELD(lists_modification_present_flag),
    PPS_FIELD(slice_segment_header_extension_present_flag), PPS_FIELD(num_tile_columns_minus1), PPS_FIELD(num_tile_rows_minus1),
    PPS_FIELD(uniform_spacing_flag), PPS_ARRAY(column_width_minus1), PPS_ARRAY(row_height_minus1), PPS_FIELD(loop_filter_across_tiles_enabled_flag),
};

const Fields kSliceFields = {
    SH_FIELD(first_slice_segment_in_pic_flag), SH_FIELD(slice_pic_parameter_set_id), SH_FIELD(slice_type),
    SH_FIELD(short_term_ref_pic_set_idx), SH_FIELD(num_ref_idx_l0_active_minus1), SH_FIELD(num_ref_idx_l1_active_minus1),
    SH_FIELD(slice_qp_delta), SH_FIELD(slice_beta_offset_div2),
};

class HevcFixtureTest : public ::testing::TestWithParam<std::string> {};

TEST_P(HevcFixtureTest, ParsedFieldsMatchTrace)
{
    const std::vector<Bytes> units = SplitNalUnits(ReadFileBytes(FixturePath("hevc", GetParam() + ".hevc")));
    const HeaderTrace trace = HeaderTrace::FromFile(FixturePath("hevc", GetParam() + ".trace.txt"));
    ASSERT_EQ(units.size(), trace.units().size());
    HevcStreamPtr stream(CreateHevcStream(), DestroyHevcStream);
    size_t compared = 0;
    for (size_t u = 0; u < units.size(); ++u) {
        const TraceUnit& traced = trace.units()[u];
        const std::string where = GetParam() + " unit " + std::to_string(u);
        ASSERT_EQ(ParseHevcNal(stream.get(), units[u].data(), units[u].size()), static_cast<int32_t>(units[u].size())) << where;
        const uint32_t type = stream->nal->nal_unit_type;
        const bool slice = type <= 9 || (type >= 16 && type <= 21);
        const Fields* fields = type == 33 ? &kSpsFields : type == 34 ? &kPpsFields : slice ? &kSliceFields : nullptr;
        compared += CompareTracedFields(*stream, traced, kNalHeaderFields, where);
        if (fields)
            compared += CompareTracedFields(*stream, traced, *fields, where);
        // headerBits must point at byte_alignment(), where the trace shows the alignment bit.
        if (slice) {
            ASSERT_TRUE(traced.has("alignment_bit_equal_to_one")) << where;
            EXPECT_EQ(stream->loc->headerBits, traced.find("alignment_bit_equal_to_one")->position) << where;
        }
    }
    EXPECT_GT(compared, 50u);
}

INSTANTIATE_TEST_SUITE_P(Encoders, HevcFixtureTest,
                         ::testing::Values("wpp_entry_points", "slices", "scaling_default", "inter_rps", "conformance_window",
                                           "conformance_444", "main10", "aud_temporal_layers", "hrd", "crafted"));

} // namespace
