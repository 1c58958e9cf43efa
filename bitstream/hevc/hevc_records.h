#pragma once

#include <cstddef>
#include <cstdint>

#include "bitstream/nal_unit.h"

// Capacities of the fixed tables and arrays below. Every id or count read
// from a bitstream is checked against the one it indexes before it is used.
constexpr uint32_t kHevcMaxVpsCount = 16;           // vps_video_parameter_set_id is u(4)
constexpr uint32_t kHevcMaxSpsCount = 16;           // sps_seq_parameter_set_id 0..15
constexpr uint32_t kHevcMaxPpsCount = 64;           // pps_pic_parameter_set_id 0..63
constexpr uint32_t kHevcMaxSubLayers = 7;           // sps_max_sub_layers_minus1 0..6
// Per list of one short-term set. A set names at most
// sps_max_dec_pic_buffering_minus1 (at most 15) pictures, and a predicted set
// one more, so 16 holds every set a conforming stream can send; the SPS keeps
// 64 of them, which is why the bound is not looser.
constexpr uint32_t kHevcMaxRpsEntries = 16;
// delta_poc_s0/s1_minus1 and abs_delta_rps_minus1 run to 2^15 - 1, which also
// keeps the order-count sums of a set far from overflow.
constexpr uint32_t kHevcMaxDeltaPocMinus1 = 32767;
constexpr uint32_t kHevcMaxShortTermRefPicSets = 64;
constexpr uint32_t kHevcMaxLongTermRefPicsSps = 32;
constexpr uint32_t kHevcMaxLongTermPics = 32;       // num_long_term_sps + num_long_term_pics
constexpr uint32_t kHevcMaxTileColumns = 20;        // stored column_width_minus1 entries
constexpr uint32_t kHevcMaxTileRows = 22;           // stored row_height_minus1 entries
constexpr uint32_t kHevcMaxStoredExtensionBytes = 32;

struct HevcProfileTierLevel {
    uint32_t general_profile_space;
    uint32_t general_tier_flag;
    uint32_t general_profile_idc;
    uint32_t general_profile_compatibility_flag[32];
    uint32_t general_progressive_source_flag;
    uint32_t general_interlaced_source_flag;
    uint32_t general_non_packed_constraint_flag;
    uint32_t general_frame_only_constraint_flag;
    uint32_t general_max_12bit_constraint_flag;
    uint32_t general_max_10bit_constraint_flag;
    uint32_t general_max_8bit_constraint_flag;
    uint32_t general_max_422chroma_constraint_flag;
    uint32_t general_max_420chroma_constraint_flag;
    uint32_t general_max_monochrome_constraint_flag;
    uint32_t general_intra_constraint_flag;
    uint32_t general_one_picture_only_constraint_flag;
    uint32_t general_lower_bit_rate_constraint_flag;
    uint32_t general_max_14bit_constraint_flag;
    uint32_t general_inbld_flag;
    uint32_t general_level_idc;
    uint32_t sub_layer_profile_present_flag[kHevcMaxSubLayers];
    uint32_t sub_layer_level_present_flag[kHevcMaxSubLayers];
    uint32_t sub_layer_profile_space[kHevcMaxSubLayers];
    uint32_t sub_layer_tier_flag[kHevcMaxSubLayers];
    uint32_t sub_layer_profile_idc[kHevcMaxSubLayers];
    uint32_t sub_layer_profile_compatibility_flag[kHevcMaxSubLayers][32];
    uint32_t sub_layer_progressive_source_flag[kHevcMaxSubLayers];
    uint32_t sub_layer_interlaced_source_flag[kHevcMaxSubLayers];
    uint32_t sub_layer_non_packed_constraint_flag[kHevcMaxSubLayers];
    uint32_t sub_layer_frame_only_constraint_flag[kHevcMaxSubLayers];
    uint32_t sub_layer_level_idc[kHevcMaxSubLayers];
};

// The one short-term set slot of an SPS: the last st_ref_pic_set() parsed,
// from the SPS itself or from a slice segment header that carries its own.
struct ShortTermRps {
    uint32_t inter_ref_pic_set_prediction_flag;
    uint32_t delta_idx_minus1;
    uint32_t delta_rps_sign;
    uint32_t abs_delta_rps_minus1;
    uint32_t used_by_curr_pic_flag[kHevcMaxRpsEntries];
    uint32_t use_delta_flag[kHevcMaxRpsEntries];
    uint32_t num_negative_pics;
    uint32_t num_positive_pics;
    uint32_t delta_poc_s0_minus1[kHevcMaxRpsEntries];
    uint32_t used_by_curr_pic_s0_flag[kHevcMaxRpsEntries];
    uint32_t delta_poc_s1_minus1[kHevcMaxRpsEntries];
    uint32_t used_by_curr_pic_s1_flag[kHevcMaxRpsEntries];
    uint64_t numBitsStRps;  // bits the last st_ref_pic_set() occupied in the RBSP
};

// A short-term set as a picture uses it: the variables the standard derives
// from st_ref_pic_set(), with a predicted set resolved against the set it
// refers to. Picture order count differences to the current picture, the
// nearest first in each list.
struct HevcStRefPicSet {
    uint32_t NumNegativePics;
    uint32_t NumPositivePics;
    int32_t DeltaPocS0[kHevcMaxRpsEntries];
    int32_t DeltaPocS1[kHevcMaxRpsEntries];
    uint8_t UsedByCurrPicS0[kHevcMaxRpsEntries];
    uint8_t UsedByCurrPicS1[kHevcMaxRpsEntries];
};

// Scaling factors [sizeId][matrixId][coefficient], each matrix in raster
// order (4x4 matrices use the first 16 entries), then the DC factors of
// sizeId 2 and 3.
struct HevcScalingLists {
    // Factors run 1..255, as the DXVA matrices that carry them.
    uint8_t ScalingList[4][6][64];
    uint8_t ScalingListDcCoef[2][6];  // the factor itself: scaling_list_dc_coef_minus8 + 8
};

struct HevcVps {
    uint32_t vps_video_parameter_set_id;
};

struct HevcSps {
    uint32_t sps_max_sub_layers_minus1;
    uint32_t sps_temporal_id_nesting_flag;
    HevcProfileTierLevel ptl;
    uint32_t sps_seq_parameter_set_id;
    uint32_t chroma_format_idc;  // ChromaArrayType: 0 with separate colour planes
    uint32_t separate_colour_plane_flag;
    uint32_t pic_width_in_luma_samples;
    uint32_t pic_height_in_luma_samples;
    uint32_t conformance_window_flag;
    uint32_t conf_win_left_offset;
    uint32_t conf_win_right_offset;
    uint32_t conf_win_top_offset;
    uint32_t conf_win_bottom_offset;
    uint32_t bit_depth_luma_minus8;
    uint32_t bit_depth_chroma_minus8;
    uint32_t log2_max_pic_order_cnt_lsb_minus4;
    uint32_t sps_sub_layer_ordering_info_present_flag;
    uint32_t sps_max_dec_pic_buffering_minus1[kHevcMaxSubLayers];
    uint32_t sps_max_num_reorder_pics[kHevcMaxSubLayers];
    uint32_t sps_max_latency_increase_plus1[kHevcMaxSubLayers];
    uint32_t log2_min_luma_coding_block_size_minus3;
    uint32_t log2_diff_max_min_luma_coding_block_size;
    uint32_t log2_min_luma_transform_block_size_minus2;
    uint32_t log2_diff_max_min_luma_transform_block_size;
    uint32_t max_transform_hierarchy_depth_inter;
    uint32_t max_transform_hierarchy_depth_intra;
    uint32_t scaling_list_enabled_flag;
    HevcScalingLists scalingLists;
    uint32_t sps_scaling_list_data_present_flag;
    uint32_t amp_enabled_flag;
    uint32_t sample_adaptive_offset_enabled_flag;
    uint32_t pcm_enabled_flag;
    uint32_t pcm_sample_bit_depth_luma_minus1;
    uint32_t pcm_sample_bit_depth_chroma_minus1;
    uint32_t log2_min_pcm_luma_coding_block_size_minus3;
    uint32_t log2_diff_max_min_pcm_luma_coding_block_size;
    uint32_t pcm_loop_filter_disabled_flag;
    uint32_t num_short_term_ref_pic_sets;
    ShortTermRps stRps;
    uint32_t long_term_ref_pics_present_flag;
    uint32_t num_long_term_ref_pics_sps;
    uint32_t lt_ref_pic_poc_lsb_sps[kHevcMaxLongTermRefPicsSps];
    uint32_t used_by_curr_pic_lt_sps_flag[kHevcMaxLongTermRefPicsSps];
    uint32_t sps_temporal_mvp_enabled_flag;
    uint32_t strong_intra_smoothing_enabled_flag;
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
    uint32_t matrix_coeffs;
    uint32_t chroma_loc_info_present_flag;
    uint32_t chroma_sample_loc_type_top_field;
    uint32_t chroma_sample_loc_type_bottom_field;
    uint32_t neutral_chroma_indication_flag;
    uint32_t field_seq_flag;
    uint32_t frame_field_info_present_flag;
    uint32_t default_display_window_flag;
    uint32_t def_disp_win_left_offset;
    uint32_t def_disp_win_right_offset;
    uint32_t def_disp_win_top_offset;
    uint32_t def_disp_win_bottom_offset;
    uint32_t vui_timing_info_present_flag;
    uint32_t vui_num_units_in_tick;
    uint32_t vui_time_scale;
    uint32_t vui_poc_proportional_to_timing_flag;
    uint32_t vui_num_ticks_poc_diff_one_minus1;
    uint32_t vui_hrd_parameters_present_flag;
    uint32_t bitstream_restriction_flag;
    uint32_t tiles_fixed_structure_flag;
    uint32_t motion_vectors_over_pic_boundaries_flag;
    uint32_t restricted_ref_pic_lists_flag;
    uint32_t min_spatial_segmentation_idc;
    uint32_t max_bytes_per_pic_denom;
    uint32_t max_bits_per_min_cu_denom;
    uint32_t log2_max_mv_length_horizontal;
    uint32_t log2_max_mv_length_vertical;
    uint32_t sps_extension_present_flag;
    // NumDeltaPocs of each of the SPS's short-term sets: an inter-predicted
    // set (in the SPS or in a slice) loops over the entries of the set it
    // refers to, which is not always the last one parsed.
    uint32_t NumDeltaPocs[kHevcMaxShortTermRefPicSets];
    // Pictures of each set used by the current picture; they size the list
    // entries of ref_pic_lists_modification().
    uint32_t NumUsedByCurrPics[kHevcMaxShortTermRefPicSets];
    // Every set of the SPS, derived: a slice may select any of them.
    HevcStRefPicSet stRefPicSets[kHevcMaxShortTermRefPicSets];
};

struct HevcPps {
    uint32_t pps_pic_parameter_set_id;
    uint32_t pps_seq_parameter_set_id;
    uint32_t dependent_slice_segments_enabled_flag;
    uint32_t output_flag_present_flag;
    uint32_t num_extra_slice_header_bits;
    uint32_t sign_data_hiding_enabled_flag;
    uint32_t cabac_init_present_flag;
    uint32_t num_ref_idx_l0_default_active_minus1;
    uint32_t num_ref_idx_l1_default_active_minus1;
    int32_t init_qp_minus26;
    uint32_t constrained_intra_pred_flag;
    uint32_t transform_skip_enabled_flag;
    uint32_t cu_qp_delta_enabled_flag;
    uint32_t diff_cu_qp_delta_depth;
    int32_t pps_cb_qp_offset;
    int32_t pps_cr_qp_offset;
    uint32_t pps_slice_chroma_qp_offsets_present_flag;
    uint32_t weighted_pred_flag;
    uint32_t weighted_bipred_flag;
    uint32_t transquant_bypass_enabled_flag;
    uint32_t tiles_enabled_flag;
    uint32_t entropy_coding_sync_enabled_flag;
    uint32_t num_tile_columns_minus1;
    uint32_t num_tile_rows_minus1;
    uint32_t uniform_spacing_flag;
    uint32_t column_width_minus1[kHevcMaxTileColumns];
    uint32_t row_height_minus1[kHevcMaxTileRows];
    uint32_t loop_filter_across_tiles_enabled_flag;
    uint32_t pps_loop_filter_across_slices_enabled_flag;
    uint32_t deblocking_filter_control_present_flag;
    uint32_t deblocking_filter_override_enabled_flag;
    uint32_t pps_deblocking_filter_disabled_flag;
    int32_t pps_beta_offset_div2;
    int32_t pps_tc_offset_div2;
    uint32_t pps_scaling_list_data_present_flag;
    HevcScalingLists scalingLists;
    uint32_t lists_modification_present_flag;
    uint32_t log2_parallel_merge_level_minus2;
    uint32_t slice_segment_header_extension_present_flag;
    uint32_t pps_extension_present_flag;
};

struct HevcSliceHeader {
    uint32_t first_slice_segment_in_pic_flag;
    uint32_t no_output_of_prior_pics_flag;
    uint32_t slice_pic_parameter_set_id;
    uint32_t dependent_slice_segment_flag;
    uint32_t slice_segment_address;
    uint32_t slice_type;
    uint32_t pic_output_flag;
    uint32_t colour_plane_id;
    uint32_t slice_pic_order_cnt_lsb;
    uint32_t short_term_ref_pic_set_sps_flag;
    uint32_t short_term_ref_pic_set_idx;
    uint32_t num_long_term_sps;
    uint32_t num_long_term_pics;
    uint32_t lt_idx_sps[kHevcMaxLongTermPics];
    uint32_t poc_lsb_lt[kHevcMaxLongTermPics];
    uint32_t used_by_curr_pic_lt_flag[kHevcMaxLongTermPics];
    uint32_t delta_poc_msb_present_flag[kHevcMaxLongTermPics];
    uint32_t delta_poc_msb_cycle_lt[kHevcMaxLongTermPics];
    uint32_t slice_temporal_mvp_enabled_flag;
    uint32_t slice_sao_luma_flag;
    uint32_t slice_sao_chroma_flag;
    uint32_t num_ref_idx_active_override_flag;
    uint32_t num_ref_idx_l0_active_minus1;
    uint32_t num_ref_idx_l1_active_minus1;
    uint32_t mvd_l1_zero_flag;
    uint32_t cabac_init_flag;
    uint32_t collocated_from_l0_flag;
    uint32_t collocated_ref_idx;
    uint32_t five_minus_max_num_merge_cand;
    int32_t slice_qp_delta;
    int32_t slice_cb_qp_offset;
    int32_t slice_cr_qp_offset;
    uint32_t deblocking_filter_override_flag;
    uint32_t slice_deblocking_filter_disabled_flag;
    int32_t slice_beta_offset_div2;
    int32_t slice_tc_offset_div2;
    uint32_t slice_loop_filter_across_slices_enabled_flag;
    uint32_t num_entry_point_offsets;
    uint32_t offset_len_minus1;
    uint32_t slice_segment_header_extension_length;
    uint32_t slice_segment_header_extension_data_byte[kHevcMaxStoredExtensionBytes];
    // The picture's short-term set, its own or the SPS's it selects; empty
    // for an IDR picture.
    HevcStRefPicSet stRefPicSet;
};

struct HevcNalUnit {
    uint32_t nal_unit_type;
    uint32_t nuh_layer_id;
    uint32_t nuh_temporal_id_plus1;
    // The payload without emulation prevention. For a slice segment only the
    // front that its header needed has been converted (rbspSize says how
    // much); the slice data is never read here.
    uint8_t rbsp[kRbspCapacity];
    uint64_t rbspSize;
};

struct HevcStream {
    HevcNalUnit* nal;
    HevcVps* vps;  // reserved; never set
    HevcSps* sps;  // current SPS, a slot of spsTable
    HevcPps* pps;  // current PPS, a slot of ppsTable
    SliceDataLocation* loc;
    HevcSliceHeader* sh;
    HevcVps vpsTable[kHevcMaxVpsCount];
    HevcSps spsTable[kHevcMaxSpsCount];
    HevcPps ppsTable[kHevcMaxPpsCount];
    // Parse targets: a parameter set or slice header is built here and copied
    // into place only when the whole NAL unit parsed, so a refused unit leaves
    // the previous state intact.
    HevcSps spsScratch;
    HevcPps ppsScratch;
    HevcSliceHeader shScratch;
    ShortTermRps stRpsScratch;
};
