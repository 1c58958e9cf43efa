#include "bitstream/checked_read.h"
#include "bitstream/hevc/hevc_syntax.h"

namespace {

constexpr uint32_t kMaxCpbCount = 32;  // cpb_cnt_minus1 0..31

void SkipSubLayerHrdParameters(BitReader& reader, uint32_t cpbCount, bool subPicParamsPresent)
{
    for (uint32_t i = 0; i < cpbCount; ++i) {
        ReadUe(reader);  // bit_rate_value_minus1
        ReadUe(reader);  // cpb_size_value_minus1
        if (subPicParamsPresent) {
            ReadUe(reader);  // cpb_size_du_value_minus1
            ReadUe(reader);  // bit_rate_du_value_minus1
        }
        SkipBits(reader, 1);  // cbr_flag
    }
}

// hrd_parameters(1, maxNumSubLayersMinus1): consumed so that the VUI fields
// after it are read from their own bits; no reader uses the values.
bool SkipHrdParameters(BitReader& reader, uint32_t maxNumSubLayersMinus1)
{
    const uint32_t nal_hrd_parameters_present_flag = ReadBit(reader);
    const uint32_t vcl_hrd_parameters_present_flag = ReadBit(reader);
    uint32_t sub_pic_hrd_params_present_flag = 0;
    if (nal_hrd_parameters_present_flag || vcl_hrd_parameters_present_flag) {
        sub_pic_hrd_params_present_flag = ReadBit(reader);
        if (sub_pic_hrd_params_present_flag)
            SkipBits(reader, 8 + 5 + 1 + 5);  // tick divisor, du delay lengths, sei flag
        SkipBits(reader, 4 + 4);              // bit_rate_scale, cpb_size_scale
        if (sub_pic_hrd_params_present_flag)
            SkipBits(reader, 4);              // cpb_size_du_scale
        SkipBits(reader, 5 + 5 + 5);          // delay and output length fields
    }
    for (uint32_t i = 0; i <= maxNumSubLayersMinus1; ++i) {
        const uint32_t fixed_pic_rate_general_flag = ReadBit(reader);
        uint32_t fixed_pic_rate_within_cvs_flag = 1;
        if (!fixed_pic_rate_general_flag)
            fixed_pic_rate_within_cvs_flag = ReadBit(reader);
        uint32_t low_delay_hrd_flag = 0;
        if (fixed_pic_rate_within_cvs_flag)
            ReadUe(reader);  // elemental_duration_in_tc_minus1
        else
            low_delay_hrd_flag = ReadBit(reader);
        uint32_t cpb_cnt_minus1 = 0;
        if (!low_delay_hrd_flag && !ReadUeMax(reader, "cpb_cnt_minus1", kMaxCpbCount - 1, cpb_cnt_minus1))
            return false;
        if (nal_hrd_parameters_present_flag)
            SkipSubLayerHrdParameters(reader, cpb_cnt_minus1 + 1, sub_pic_hrd_params_present_flag);
        if (vcl_hrd_parameters_present_flag)
            SkipSubLayerHrdParameters(reader, cpb_cnt_minus1 + 1, sub_pic_hrd_params_present_flag);
    }
    return true;
}

} // namespace

bool ParseHevcVui(BitReader& reader, HevcSps& sps)
{
    sps.aspect_ratio_info_present_flag = ReadBit(reader);
    if (sps.aspect_ratio_info_present_flag) {
        sps.aspect_ratio_idc = ReadBits(reader, 8);
        if (sps.aspect_ratio_idc == 255) {  // EXTENDED_SAR
            sps.sar_width = ReadBits(reader, 16);
            sps.sar_height = ReadBits(reader, 16);
        }
    }
    sps.overscan_info_present_flag = ReadBit(reader);
    if (sps.overscan_info_present_flag)
        sps.overscan_appropriate_flag = ReadBit(reader);
    sps.video_signal_type_present_flag = ReadBit(reader);
    if (sps.video_signal_type_present_flag) {
        sps.video_format = ReadBits(reader, 3);
        sps.video_full_range_flag = ReadBit(reader);
        sps.colour_description_present_flag = ReadBit(reader);
        if (sps.colour_description_present_flag) {
            sps.colour_primaries = ReadBits(reader, 8);
            sps.transfer_characteristics = ReadBits(reader, 8);
            sps.matrix_coeffs = ReadBits(reader, 8);
        }
    }
    sps.chroma_loc_info_present_flag = ReadBit(reader);
    if (sps.chroma_loc_info_present_flag) {
        sps.chroma_sample_loc_type_top_field = ReadUe(reader);
        sps.chroma_sample_loc_type_bottom_field = ReadUe(reader);
    }
    sps.neutral_chroma_indication_flag = ReadBit(reader);
    sps.field_seq_flag = ReadBit(reader);
    sps.frame_field_info_present_flag = ReadBit(reader);
    sps.default_display_window_flag = ReadBit(reader);
    if (sps.default_display_window_flag) {
        sps.def_disp_win_left_offset = ReadUe(reader);
        sps.def_disp_win_right_offset = ReadUe(reader);
        sps.def_disp_win_top_offset = ReadUe(reader);
        sps.def_disp_win_bottom_offset = ReadUe(reader);
    }
    sps.vui_timing_info_present_flag = ReadBit(reader);
    if (sps.vui_timing_info_present_flag) {
        sps.vui_num_units_in_tick = ReadBits(reader, 32);
        sps.vui_time_scale = ReadBits(reader, 32);
        sps.vui_poc_proportional_to_timing_flag = ReadBit(reader);
        if (sps.vui_poc_proportional_to_timing_flag)
            sps.vui_num_ticks_poc_diff_one_minus1 = ReadUe(reader);
        sps.vui_hrd_parameters_present_flag = ReadBit(reader);
        if (sps.vui_hrd_parameters_present_flag && !SkipHrdParameters(reader, sps.sps_max_sub_layers_minus1))
            return false;
    }
    sps.bitstream_restriction_flag = ReadBit(reader);
    if (sps.bitstream_restriction_flag) {
        sps.tiles_fixed_structure_flag = ReadBit(reader);
        sps.motion_vectors_over_pic_boundaries_flag = ReadBit(reader);
        sps.restricted_ref_pic_lists_flag = ReadBit(reader);
        sps.min_spatial_segmentation_idc = ReadUe(reader);
        sps.max_bytes_per_pic_denom = ReadUe(reader);
        sps.max_bits_per_min_cu_denom = ReadUe(reader);
        sps.log2_max_mv_length_horizontal = ReadUe(reader);
        sps.log2_max_mv_length_vertical = ReadUe(reader);
    }
    return true;
}
