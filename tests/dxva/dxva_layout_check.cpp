// Compiled only by the Windows cross compiler (see dxva_layout_check.cmake):
// puts our parameter-buffer layouts next to the SDK's and fails to compile
// when any structure size, field offset, field size or bit-field position
// differs. Nothing here is ever run.

#include <windows.h>
#include <dxva.h>

#include <cstddef>
#include <cstdint>

namespace ours {
#include "decoder/dxva/dxva_structures.h"
}

#define SAME_SIZE(type) \
    static_assert(sizeof(::type) == sizeof(ours::type), #type ": structure size differs")

#define SAME_FIELD(type, field)                                                     \
    static_assert(offsetof(::type, field) == offsetof(ours::type, field),           \
                  #type "::" #field ": offset differs");                            \
    static_assert(sizeof(::type::field) == sizeof(ours::type::field),               \
                  #type "::" #field ": size differs")

// Offsets of bit-fields cannot be taken, so each bit-field is set to all ones
// in a zeroed structure and the enclosing word is read back. With optimisation
// the comparison folds to a constant; a call to the error-attributed function
// survives, and stops the build, only when the two masks differ.
void BitFieldMismatch() __attribute__((error("bit-field position or width differs")));

#define SAME_BITS(type, word, field)                                   \
    void Check_##type##_##field()                                      \
    {                                                                  \
        auto sdk = [] {                                                \
            ::type value{};                                            \
            value.field = ~value.field;                                \
            return value.word;                                         \
        };                                                             \
        auto own = [] {                                                \
            ours::type value{};                                        \
            value.field = ~value.field;                                \
            return value.word;                                         \
        };                                                             \
        if (sdk() != own())                                            \
            BitFieldMismatch();                                        \
    }                                                                  \
    static_assert(true)

// -------------------------------------------------------------- H.264

SAME_SIZE(DXVA_PicEntry_H264);
SAME_FIELD(DXVA_PicEntry_H264, bPicEntry);
SAME_BITS(DXVA_PicEntry_H264, bPicEntry, Index7Bits);
SAME_BITS(DXVA_PicEntry_H264, bPicEntry, AssociatedFlag);

SAME_SIZE(DXVA_PicParams_H264);
SAME_FIELD(DXVA_PicParams_H264, wFrameWidthInMbsMinus1);
SAME_FIELD(DXVA_PicParams_H264, wFrameHeightInMbsMinus1);
SAME_FIELD(DXVA_PicParams_H264, CurrPic);
SAME_FIELD(DXVA_PicParams_H264, num_ref_frames);
SAME_FIELD(DXVA_PicParams_H264, wBitFields);
SAME_BITS(DXVA_PicParams_H264, wBitFields, field_pic_flag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, MbaffFrameFlag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, residual_colour_transform_flag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, sp_for_switch_flag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, chroma_format_idc);
SAME_BITS(DXVA_PicParams_H264, wBitFields, RefPicFlag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, constrained_intra_pred_flag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, weighted_pred_flag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, weighted_bipred_idc);
SAME_BITS(DXVA_PicParams_H264, wBitFields, MbsConsecutiveFlag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, frame_mbs_only_flag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, transform_8x8_mode_flag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, MinLumaBipredSize8x8Flag);
SAME_BITS(DXVA_PicParams_H264, wBitFields, IntraPicFlag);
SAME_FIELD(DXVA_PicParams_H264, bit_depth_luma_minus8);
SAME_FIELD(DXVA_PicParams_H264, bit_depth_chroma_minus8);
SAME_FIELD(DXVA_PicParams_H264, Reserved16Bits);
SAME_FIELD(DXVA_PicParams_H264, StatusReportFeedbackNumber);
SAME_FIELD(DXVA_PicParams_H264, RefFrameList);
SAME_FIELD(DXVA_PicParams_H264, CurrFieldOrderCnt);
SAME_FIELD(DXVA_PicParams_H264, FieldOrderCntList);
SAME_FIELD(DXVA_PicParams_H264, pic_init_qs_minus26);
SAME_FIELD(DXVA_PicParams_H264, chroma_qp_index_offset);
SAME_FIELD(DXVA_PicParams_H264, second_chroma_qp_index_offset);
SAME_FIELD(DXVA_PicParams_H264, ContinuationFlag);
SAME_FIELD(DXVA_PicParams_H264, pic_init_qp_minus26);
SAME_FIELD(DXVA_PicParams_H264, num_ref_idx_l0_active_minus1);
SAME_FIELD(DXVA_PicParams_H264, num_ref_idx_l1_active_minus1);
SAME_FIELD(DXVA_PicParams_H264, Reserved8BitsA);
SAME_FIELD(DXVA_PicParams_H264, FrameNumList);
SAME_FIELD(DXVA_PicParams_H264, UsedForReferenceFlags);
SAME_FIELD(DXVA_PicParams_H264, NonExistingFrameFlags);
SAME_FIELD(DXVA_PicParams_H264, frame_num);
SAME_FIELD(DXVA_PicParams_H264, log2_max_frame_num_minus4);
SAME_FIELD(DXVA_PicParams_H264, pic_order_cnt_type);
SAME_FIELD(DXVA_PicParams_H264, log2_max_pic_order_cnt_lsb_minus4);
SAME_FIELD(DXVA_PicParams_H264, delta_pic_order_always_zero_flag);
SAME_FIELD(DXVA_PicParams_H264, direct_8x8_inference_flag);
SAME_FIELD(DXVA_PicParams_H264, entropy_coding_mode_flag);
SAME_FIELD(DXVA_PicParams_H264, pic_order_present_flag);
SAME_FIELD(DXVA_PicParams_H264, num_slice_groups_minus1);
SAME_FIELD(DXVA_PicParams_H264, slice_group_map_type);
SAME_FIELD(DXVA_PicParams_H264, deblocking_filter_control_present_flag);
SAME_FIELD(DXVA_PicParams_H264, redundant_pic_cnt_present_flag);
SAME_FIELD(DXVA_PicParams_H264, Reserved8BitsB);
SAME_FIELD(DXVA_PicParams_H264, slice_group_change_rate_minus1);
SAME_FIELD(DXVA_PicParams_H264, SliceGroupMap);

SAME_SIZE(DXVA_Qmatrix_H264);
SAME_FIELD(DXVA_Qmatrix_H264, bScalingLists4x4);
SAME_FIELD(DXVA_Qmatrix_H264, bScalingLists8x8);

SAME_SIZE(DXVA_Slice_H264_Short);
SAME_FIELD(DXVA_Slice_H264_Short, BSNALunitDataLocation);
SAME_FIELD(DXVA_Slice_H264_Short, SliceBytesInBuffer);
SAME_FIELD(DXVA_Slice_H264_Short, wBadSliceChopping);

SAME_SIZE(DXVA_Slice_H264_Long);
SAME_FIELD(DXVA_Slice_H264_Long, BSNALunitDataLocation);
SAME_FIELD(DXVA_Slice_H264_Long, SliceBytesInBuffer);
SAME_FIELD(DXVA_Slice_H264_Long, wBadSliceChopping);
SAME_FIELD(DXVA_Slice_H264_Long, first_mb_in_slice);
SAME_FIELD(DXVA_Slice_H264_Long, NumMbsForSlice);
SAME_FIELD(DXVA_Slice_H264_Long, BitOffsetToSliceData);
SAME_FIELD(DXVA_Slice_H264_Long, slice_type);
SAME_FIELD(DXVA_Slice_H264_Long, luma_log2_weight_denom);
SAME_FIELD(DXVA_Slice_H264_Long, chroma_log2_weight_denom);
SAME_FIELD(DXVA_Slice_H264_Long, num_ref_idx_l0_active_minus1);
SAME_FIELD(DXVA_Slice_H264_Long, num_ref_idx_l1_active_minus1);
SAME_FIELD(DXVA_Slice_H264_Long, slice_alpha_c0_offset_div2);
SAME_FIELD(DXVA_Slice_H264_Long, slice_beta_offset_div2);
SAME_FIELD(DXVA_Slice_H264_Long, Reserved8Bits);
SAME_FIELD(DXVA_Slice_H264_Long, RefPicList);
SAME_FIELD(DXVA_Slice_H264_Long, Weights);
SAME_FIELD(DXVA_Slice_H264_Long, slice_qs_delta);
SAME_FIELD(DXVA_Slice_H264_Long, slice_qp_delta);
SAME_FIELD(DXVA_Slice_H264_Long, redundant_pic_cnt);
SAME_FIELD(DXVA_Slice_H264_Long, direct_spatial_mv_pred_flag);
SAME_FIELD(DXVA_Slice_H264_Long, cabac_init_idc);
SAME_FIELD(DXVA_Slice_H264_Long, disable_deblocking_filter_idc);
SAME_FIELD(DXVA_Slice_H264_Long, slice_id);

// --------------------------------------------------------------- HEVC

SAME_SIZE(DXVA_PicEntry_HEVC);
SAME_FIELD(DXVA_PicEntry_HEVC, bPicEntry);
SAME_BITS(DXVA_PicEntry_HEVC, bPicEntry, Index7Bits);
SAME_BITS(DXVA_PicEntry_HEVC, bPicEntry, AssociatedFlag);

SAME_SIZE(DXVA_PicParams_HEVC);
SAME_FIELD(DXVA_PicParams_HEVC, PicWidthInMinCbsY);
SAME_FIELD(DXVA_PicParams_HEVC, PicHeightInMinCbsY);
SAME_FIELD(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags);
SAME_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, chroma_format_idc);
SAME_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, separate_colour_plane_flag);
SAME_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, bit_depth_luma_minus8);
SAME_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, bit_depth_chroma_minus8);
SAME_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, log2_max_pic_order_cnt_lsb_minus4);
SAME_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, NoPicReorderingFlag);
SAME_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, NoBiPredFlag);
SAME_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, ReservedBits1);
SAME_FIELD(DXVA_PicParams_HEVC, CurrPic);
SAME_FIELD(DXVA_PicParams_HEVC, sps_max_dec_pic_buffering_minus1);
SAME_FIELD(DXVA_PicParams_HEVC, log2_min_luma_coding_block_size_minus3);
SAME_FIELD(DXVA_PicParams_HEVC, log2_diff_max_min_luma_coding_block_size);
SAME_FIELD(DXVA_PicParams_HEVC, log2_min_transform_block_size_minus2);
SAME_FIELD(DXVA_PicParams_HEVC, log2_diff_max_min_transform_block_size);
SAME_FIELD(DXVA_PicParams_HEVC, max_transform_hierarchy_depth_inter);
SAME_FIELD(DXVA_PicParams_HEVC, max_transform_hierarchy_depth_intra);
SAME_FIELD(DXVA_PicParams_HEVC, num_short_term_ref_pic_sets);
SAME_FIELD(DXVA_PicParams_HEVC, num_long_term_ref_pics_sps);
SAME_FIELD(DXVA_PicParams_HEVC, num_ref_idx_l0_default_active_minus1);
SAME_FIELD(DXVA_PicParams_HEVC, num_ref_idx_l1_default_active_minus1);
SAME_FIELD(DXVA_PicParams_HEVC, init_qp_minus26);
SAME_FIELD(DXVA_PicParams_HEVC, ucNumDeltaPocsOfRefRpsIdx);
SAME_FIELD(DXVA_PicParams_HEVC, wNumBitsForShortTermRPSInSlice);
SAME_FIELD(DXVA_PicParams_HEVC, ReservedBits2);
SAME_FIELD(DXVA_PicParams_HEVC, dwCodingParamToolFlags);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, scaling_list_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, amp_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, sample_adaptive_offset_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, pcm_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, pcm_sample_bit_depth_luma_minus1);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, pcm_sample_bit_depth_chroma_minus1);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, log2_min_pcm_luma_coding_block_size_minus3);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, log2_diff_max_min_pcm_luma_coding_block_size);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, pcm_loop_filter_disabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, long_term_ref_pics_present_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, sps_temporal_mvp_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, strong_intra_smoothing_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, dependent_slice_segments_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, output_flag_present_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, num_extra_slice_header_bits);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, sign_data_hiding_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, cabac_init_present_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, ReservedBits3);
SAME_FIELD(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, constrained_intra_pred_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, transform_skip_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, cu_qp_delta_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, pps_slice_chroma_qp_offsets_present_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, weighted_pred_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, weighted_bipred_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, transquant_bypass_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, tiles_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, entropy_coding_sync_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, uniform_spacing_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, loop_filter_across_tiles_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, pps_loop_filter_across_slices_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, deblocking_filter_override_enabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, pps_deblocking_filter_disabled_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, lists_modification_present_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, slice_segment_header_extension_present_flag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, IrapPicFlag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, IdrPicFlag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, IntraPicFlag);
SAME_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, ReservedBits4);
SAME_FIELD(DXVA_PicParams_HEVC, pps_cb_qp_offset);
SAME_FIELD(DXVA_PicParams_HEVC, pps_cr_qp_offset);
SAME_FIELD(DXVA_PicParams_HEVC, num_tile_columns_minus1);
SAME_FIELD(DXVA_PicParams_HEVC, num_tile_rows_minus1);
SAME_FIELD(DXVA_PicParams_HEVC, column_width_minus1);
SAME_FIELD(DXVA_PicParams_HEVC, row_height_minus1);
SAME_FIELD(DXVA_PicParams_HEVC, diff_cu_qp_delta_depth);
SAME_FIELD(DXVA_PicParams_HEVC, pps_beta_offset_div2);
SAME_FIELD(DXVA_PicParams_HEVC, pps_tc_offset_div2);
SAME_FIELD(DXVA_PicParams_HEVC, log2_parallel_merge_level_minus2);
SAME_FIELD(DXVA_PicParams_HEVC, CurrPicOrderCntVal);
SAME_FIELD(DXVA_PicParams_HEVC, RefPicList);
SAME_FIELD(DXVA_PicParams_HEVC, ReservedBits5);
SAME_FIELD(DXVA_PicParams_HEVC, PicOrderCntValList);
SAME_FIELD(DXVA_PicParams_HEVC, RefPicSetStCurrBefore);
SAME_FIELD(DXVA_PicParams_HEVC, RefPicSetStCurrAfter);
SAME_FIELD(DXVA_PicParams_HEVC, RefPicSetLtCurr);
SAME_FIELD(DXVA_PicParams_HEVC, ReservedBits6);
SAME_FIELD(DXVA_PicParams_HEVC, ReservedBits7);
SAME_FIELD(DXVA_PicParams_HEVC, StatusReportFeedbackNumber);

SAME_SIZE(DXVA_Qmatrix_HEVC);
SAME_FIELD(DXVA_Qmatrix_HEVC, ucScalingLists0);
SAME_FIELD(DXVA_Qmatrix_HEVC, ucScalingLists1);
SAME_FIELD(DXVA_Qmatrix_HEVC, ucScalingLists2);
SAME_FIELD(DXVA_Qmatrix_HEVC, ucScalingLists3);
SAME_FIELD(DXVA_Qmatrix_HEVC, ucScalingListDCCoefSizeID2);
SAME_FIELD(DXVA_Qmatrix_HEVC, ucScalingListDCCoefSizeID3);

SAME_SIZE(DXVA_Slice_HEVC_Short);
SAME_FIELD(DXVA_Slice_HEVC_Short, BSNALunitDataLocation);
SAME_FIELD(DXVA_Slice_HEVC_Short, SliceBytesInBuffer);
SAME_FIELD(DXVA_Slice_HEVC_Short, wBadSliceChopping);
