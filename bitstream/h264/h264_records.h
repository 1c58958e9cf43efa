#pragma once

#include <cstddef>
#include <cstdint>

#include "bitstream/nal_unit.h"

// Table and array capacities; every id or count read from a stream is
// checked against these before it indexes anything.
constexpr size_t kH264MaxSps = 32;                  // seq_parameter_set_id 0..31
constexpr size_t kH264MaxPps = 256;                 // pic_parameter_set_id 0..255
constexpr size_t kH264MaxSliceGroups = 8;           // num_slice_groups_minus1 0..7
constexpr size_t kH264MaxMapUnits = 256;            // slice_group_id entries
constexpr size_t kH264MaxRefFramesInPocCycle = 256;
constexpr size_t kH264MaxCpb = 32;                  // cpb_cnt_minus1 0..31
constexpr size_t kH264MaxScalingLists = 12;
constexpr size_t kH264MaxRefs = 64;                 // weight-table entries per list
constexpr size_t kH264MaxListOperations = 64;       // modification / marking operations
constexpr uint32_t kH264MaxLog2Minus4 = 12;         // log2_max_frame_num_minus4, log2_max_pic_order_cnt_lsb_minus4

struct H264NalUnit {
    uint32_t forbidden_zero_bit;
    uint32_t nal_ref_idc;
    uint32_t nal_unit_type;
    void* parsed;          // record filled from this NAL unit, or null
    uint32_t parsedSize;
    uint8_t rbsp[kRbspCapacity];
    uint64_t rbspSize;
};

// One record for both the NAL and the VCL HRD; the VCL values win.
struct H264Hrd {
    uint32_t cpb_cnt_minus1;
    uint32_t bit_rate_scale;
    uint32_t cpb_size_scale;
    uint32_t bit_rate_value_minus1[kH264MaxCpb];
    uint32_t cpb_size_value_minus1[kH264MaxCpb];
    uint32_t cbr_flag[kH264MaxCpb];
    uint32_t initial_cpb_removal_delay_length_minus1;
    uint32_t cpb_removal_delay_length_minus1;
    uint32_t dpb_output_delay_length_minus1;
    uint32_t time_offset_length;
};

struct H264Sps {
    uint32_t profile_idc;
    uint32_t constraint_set0_flag;
    uint32_t constraint_set1_flag;
    uint32_t constraint_set2_flag;
    uint32_t constraint_set3_flag;
    uint32_t constraint_set4_flag;
    uint32_t constraint_set5_flag;
    uint32_t reserved_zero_2bits;
    uint32_t level_idc;
    uint32_t seq_parameter_set_id;

    uint32_t chroma_format_idc;
    uint32_t separate_colour_plane_flag;
    uint32_t bit_depth_luma_minus8;
    uint32_t bit_depth_chroma_minus8;
    uint32_t qpprime_y_zero_transform_bypass_flag;
    uint32_t seq_scaling_matrix_present_flag;
    uint32_t seq_scaling_list_present_flag[kH264MaxScalingLists];

    // Zig-zag scan order, as scaling_list() delivers them.
    uint8_t ScalingList4x4[6][16];
    uint8_t ScalingList8x8[6][64];

    uint32_t log2_max_frame_num_minus4;
    uint32_t pic_order_cnt_type;
    uint32_t log2_max_pic_order_cnt_lsb_minus4;
    uint32_t delta_pic_order_always_zero_flag;
    int32_t offset_for_non_ref_pic;
    int32_t offset_for_top_to_bottom_field;
    uint32_t num_ref_frames_in_pic_order_cnt_cycle;
    int32_t offset_for_ref_frame[kH264MaxRefFramesInPocCycle];

    uint32_t max_num_ref_frames;
    uint32_t gaps_in_frame_num_value_allowed_flag;
    uint32_t pic_width_in_mbs_minus1;
    uint32_t pic_height_in_map_units_minus1;
    uint32_t frame_mbs_only_flag;
    uint32_t mb_adaptive_frame_field_flag;
    uint32_t direct_8x8_inference_flag;
    uint32_t frame_cropping_flag;
    uint32_t frame_crop_left_offset;
    uint32_t frame_crop_right_offset;
    uint32_t frame_crop_top_offset;
    uint32_t frame_crop_bottom_offset;
    uint32_t vui_parameters_present_flag;

    uint32_t aspect_ratio_info_present_flag;
    uint32_t aspect_ratio_idc;
    uint32_t sar_width;
    uint32_t sar_height;
    uint32_t overscan_info_present_flag;
    uint32_t overscan_appropriate_flag;
    uint32_t video_signal_type_present_flag;
    uint32_t video_format;
    uint32_t video_full_range_flag;
    uint32_t colour_description_present_flag;
    uint32_t colour_primaries;
    uint32_t transfer_characteristics;
    uint32_t matrix_coefficients;
    uint32_t chroma_loc_info_present_flag;
    uint32_t chroma_sample_loc_type_top_field;
    uint32_t chroma_sample_loc_type_bottom_field;
    uint32_t timing_info_present_flag;
    uint32_t num_units_in_tick;
    uint32_t time_scale;
    uint32_t fixed_frame_rate_flag;
    uint32_t nal_hrd_parameters_present_flag;
    uint32_t vcl_hrd_parameters_present_flag;
    uint32_t low_delay_hrd_flag;
    uint32_t pic_struct_present_flag;
    uint32_t bitstream_restriction_flag;
    uint32_t motion_vectors_over_pic_boundaries_flag;
    uint32_t max_bytes_per_pic_denom;
    uint32_t max_bits_per_mb_denom;
    uint32_t log2_max_mv_length_horizontal;
    uint32_t log2_max_mv_length_vertical;
    uint32_t max_num_reorder_frames;
    uint32_t max_dec_frame_buffering;

    H264Hrd hrd;
};

struct H264Pps {
    uint32_t pic_parameter_set_id;
    uint32_t seq_parameter_set_id;
    uint32_t entropy_coding_mode_flag;
    uint32_t bottom_field_pic_order_in_frame_present_flag;
    uint32_t num_slice_groups_minus1;
    uint32_t slice_group_map_type;
    uint32_t run_length_minus1[kH264MaxSliceGroups];
    uint32_t top_left[kH264MaxSliceGroups];
    uint32_t bottom_right[kH264MaxSliceGroups];
    uint32_t slice_group_change_direction_flag;
    uint32_t slice_group_change_rate_minus1;
    uint32_t pic_size_in_map_units_minus1;
    uint32_t slice_group_id[kH264MaxMapUnits];
    uint32_t num_ref_idx_l0_default_active_minus1;
    uint32_t num_ref_idx_l1_default_active_minus1;
    uint32_t weighted_pred_flag;
    uint32_t weighted_bipred_idc;
    int32_t pic_init_qp_minus26;
    int32_t pic_init_qs_minus26;
    int32_t chroma_qp_index_offset;
    uint32_t deblocking_filter_control_present_flag;
    uint32_t constrained_intra_pred_flag;
    uint32_t redundant_pic_cnt_present_flag;
    uint32_t moreRbspData;
    uint32_t transform_8x8_mode_flag;
    uint32_t pic_scaling_matrix_present_flag;
    uint32_t pic_scaling_list_present_flag[kH264MaxScalingLists];
    uint8_t ScalingList4x4[6][16];
    uint8_t ScalingList8x8[6][64];
    int32_t second_chroma_qp_index_offset;
};

struct H264SliceHeader {
    uint32_t first_mb_in_slice;
    uint32_t slice_type;
    uint32_t pic_parameter_set_id;
    uint32_t colour_plane_id;
    uint32_t frame_num;
    uint32_t field_pic_flag;
    uint32_t bottom_field_flag;
    uint32_t idr_pic_id;
    uint32_t pic_order_cnt_lsb;
    int32_t delta_pic_order_cnt_bottom;
    int32_t delta_pic_order_cnt[2];
    uint32_t redundant_pic_cnt;
    uint32_t direct_spatial_mv_pred_flag;
    uint32_t num_ref_idx_active_override_flag;
    uint32_t num_ref_idx_l0_active_minus1;
    uint32_t num_ref_idx_l1_active_minus1;
    uint32_t cabac_init_idc;
    int32_t slice_qp_delta;
    uint32_t sp_for_switch_flag;
    int32_t slice_qs_delta;
    uint32_t disable_deblocking_filter_idc;
    int32_t slice_alpha_c0_offset_div2;
    int32_t slice_beta_offset_div2;
    uint32_t slice_group_change_cycle;

    // pred_weight_table()
    uint32_t luma_log2_weight_denom;
    uint32_t chroma_log2_weight_denom;
    uint32_t luma_weight_l0_flag[kH264MaxRefs];
    int32_t luma_weight_l0[kH264MaxRefs];
    int32_t luma_offset_l0[kH264MaxRefs];
    uint32_t chroma_weight_l0_flag[kH264MaxRefs];
    int32_t chroma_weight_l0[kH264MaxRefs][2];
    int32_t chroma_offset_l0[kH264MaxRefs][2];
    uint32_t luma_weight_l1_flag[kH264MaxRefs];
    int32_t luma_weight_l1[kH264MaxRefs];
    int32_t luma_offset_l1[kH264MaxRefs];
    uint32_t chroma_weight_l1_flag[kH264MaxRefs];
    int32_t chroma_weight_l1[kH264MaxRefs][2];
    int32_t chroma_offset_l1[kH264MaxRefs][2];

    // ref_pic_list_modification(); entry k belongs to operation k.
    uint32_t ref_pic_list_modification_flag_l0;
    uint32_t modification_of_pic_nums_idc_l0[kH264MaxListOperations];
    uint32_t abs_diff_pic_num_minus1_l0[kH264MaxListOperations];
    uint32_t long_term_pic_num_l0[kH264MaxListOperations];
    uint32_t ref_pic_list_modification_flag_l1;
    uint32_t modification_of_pic_nums_idc_l1[kH264MaxListOperations];
    uint32_t abs_diff_pic_num_minus1_l1[kH264MaxListOperations];
    uint32_t long_term_pic_num_l1[kH264MaxListOperations];

    // dec_ref_pic_marking(); entry k belongs to operation k.
    uint32_t no_output_of_prior_pics_flag;
    uint32_t long_term_reference_flag;
    uint32_t adaptive_ref_pic_marking_mode_flag;
    uint32_t memory_management_control_operation[kH264MaxListOperations];
    uint32_t difference_of_pic_nums_minus1[kH264MaxListOperations];
    uint32_t long_term_pic_num[kH264MaxListOperations];
    uint32_t long_term_frame_idx[kH264MaxListOperations];
    uint32_t max_long_term_frame_idx_plus1[kH264MaxListOperations];
};

struct H264Stream {
    H264NalUnit* nal;
    H264Sps* sps;       // current SPS, a slot of spsTable (null until one is selected)
    H264Pps* pps;       // current PPS, a slot of ppsTable
    uint32_t* aud;      // primary_pic_type of the last access unit delimiter
    H264SliceHeader* sh;
    SliceDataLocation* loc;
    H264Sps spsTable[kH264MaxSps];
    H264Pps ppsTable[kH264MaxPps];
};
