// The driver reads our DXVA parameter and slice-control buffers as the SDK
// lays them out. This file fails to compile if any of our records differs from
// the SDK's: its size, each field's offset and size, and each bit-field's
// position and width. Nothing here runs.
#include "decoder/platform/d3d11/sdk_agreement.h"

#include <cstddef>
#include <cstdint>

#include <windows.h>
// dxva.h takes its types from windows.h.
#include <dxva.h>

// Our records carry the SDK's names, so they are read into a namespace of
// their own to stand beside the SDK's.
namespace ours {
#include "decoder/dxva/dxva_structures.h"
}

// A named namespace: the bit-field checks must be emitted to be checked.
namespace dxva_sdk_agreement {

// Offsets of bit-fields cannot be taken, so each bit-field is set to all ones
// in a zeroed record and the enclosing word is read back. Optimisation folds
// the comparison to a constant; the call to the error-attributed function
// survives, and stops the build, only when the two masks differ. Without
// optimisation nothing would fold, so unoptimised builds leave this out.
#if defined(__OPTIMIZE__)
void BitFieldMismatch() __attribute__((error("bit-field position or width differs")));

#define TARSEL_SAME_DXVA_BIT_FIELD(type, word, field)                                                                  \
    void Check_##type##_##field()                                                                                      \
    {                                                                                                                  \
        auto sdk = [] {                                                                                                \
            ::type value {};                                                                                           \
            value.field = ~value.field;                                                                                \
            return value.word;                                                                                         \
        };                                                                                                             \
        auto own = [] {                                                                                                \
            ours::type value {};                                                                                       \
            value.field = ~value.field;                                                                                \
            return value.word;                                                                                         \
        };                                                                                                             \
        if (sdk() != own())                                                                                            \
            BitFieldMismatch();                                                                                        \
    }
#define TARSEL_SAME_DXVA_BITS(type, word, ...) TARSEL_FOR_EACH(TARSEL_SAME_DXVA_BIT_FIELD, (type, word), __VA_ARGS__)
#else
#define TARSEL_SAME_DXVA_BITS(type, word, ...)
#endif

TARSEL_SAME_RECORD(ours, DXVA_PicEntry_H264, bPicEntry)
TARSEL_SAME_DXVA_BITS(DXVA_PicEntry_H264, bPicEntry, Index7Bits, AssociatedFlag)

TARSEL_SAME_RECORD(ours, DXVA_PicParams_H264, wFrameWidthInMbsMinus1, wFrameHeightInMbsMinus1, CurrPic, num_ref_frames,
    wBitFields, bit_depth_luma_minus8, bit_depth_chroma_minus8, Reserved16Bits, StatusReportFeedbackNumber,
    RefFrameList, CurrFieldOrderCnt, FieldOrderCntList, pic_init_qs_minus26, chroma_qp_index_offset,
    second_chroma_qp_index_offset, ContinuationFlag, pic_init_qp_minus26, num_ref_idx_l0_active_minus1,
    num_ref_idx_l1_active_minus1, Reserved8BitsA, FrameNumList, UsedForReferenceFlags, NonExistingFrameFlags, frame_num,
    log2_max_frame_num_minus4, pic_order_cnt_type, log2_max_pic_order_cnt_lsb_minus4, delta_pic_order_always_zero_flag,
    direct_8x8_inference_flag, entropy_coding_mode_flag, pic_order_present_flag, num_slice_groups_minus1,
    slice_group_map_type, deblocking_filter_control_present_flag, redundant_pic_cnt_present_flag, Reserved8BitsB,
    slice_group_change_rate_minus1, SliceGroupMap)
TARSEL_SAME_DXVA_BITS(DXVA_PicParams_H264, wBitFields, field_pic_flag, MbaffFrameFlag, residual_colour_transform_flag,
    sp_for_switch_flag, chroma_format_idc, RefPicFlag, constrained_intra_pred_flag, weighted_pred_flag,
    weighted_bipred_idc, MbsConsecutiveFlag, frame_mbs_only_flag, transform_8x8_mode_flag, MinLumaBipredSize8x8Flag,
    IntraPicFlag)

TARSEL_SAME_RECORD(ours, DXVA_Qmatrix_H264, bScalingLists4x4, bScalingLists8x8)

TARSEL_SAME_RECORD(ours, DXVA_Slice_H264_Short, BSNALunitDataLocation, SliceBytesInBuffer, wBadSliceChopping)

TARSEL_SAME_RECORD(ours, DXVA_Slice_H264_Long, BSNALunitDataLocation, SliceBytesInBuffer, wBadSliceChopping,
    first_mb_in_slice, NumMbsForSlice, BitOffsetToSliceData, slice_type, luma_log2_weight_denom,
    chroma_log2_weight_denom, num_ref_idx_l0_active_minus1, num_ref_idx_l1_active_minus1, slice_alpha_c0_offset_div2,
    slice_beta_offset_div2, Reserved8Bits, RefPicList, Weights, slice_qs_delta, slice_qp_delta, redundant_pic_cnt,
    direct_spatial_mv_pred_flag, cabac_init_idc, disable_deblocking_filter_idc, slice_id)

TARSEL_SAME_RECORD(ours, DXVA_PicEntry_HEVC, bPicEntry)
TARSEL_SAME_DXVA_BITS(DXVA_PicEntry_HEVC, bPicEntry, Index7Bits, AssociatedFlag)

TARSEL_SAME_RECORD(ours, DXVA_PicParams_HEVC, PicWidthInMinCbsY, PicHeightInMinCbsY, wFormatAndSequenceInfoFlags,
    CurrPic, sps_max_dec_pic_buffering_minus1, log2_min_luma_coding_block_size_minus3,
    log2_diff_max_min_luma_coding_block_size, log2_min_transform_block_size_minus2,
    log2_diff_max_min_transform_block_size, max_transform_hierarchy_depth_inter, max_transform_hierarchy_depth_intra,
    num_short_term_ref_pic_sets, num_long_term_ref_pics_sps, num_ref_idx_l0_default_active_minus1,
    num_ref_idx_l1_default_active_minus1, init_qp_minus26, ucNumDeltaPocsOfRefRpsIdx, wNumBitsForShortTermRPSInSlice,
    ReservedBits2, dwCodingParamToolFlags, dwCodingSettingPicturePropertyFlags, pps_cb_qp_offset, pps_cr_qp_offset,
    num_tile_columns_minus1, num_tile_rows_minus1, column_width_minus1, row_height_minus1, diff_cu_qp_delta_depth,
    pps_beta_offset_div2, pps_tc_offset_div2, log2_parallel_merge_level_minus2, CurrPicOrderCntVal, RefPicList,
    ReservedBits5, PicOrderCntValList, RefPicSetStCurrBefore, RefPicSetStCurrAfter, RefPicSetLtCurr, ReservedBits6,
    ReservedBits7, StatusReportFeedbackNumber)
TARSEL_SAME_DXVA_BITS(DXVA_PicParams_HEVC, wFormatAndSequenceInfoFlags, chroma_format_idc, separate_colour_plane_flag,
    bit_depth_luma_minus8, bit_depth_chroma_minus8, log2_max_pic_order_cnt_lsb_minus4, NoPicReorderingFlag,
    NoBiPredFlag, ReservedBits1)
TARSEL_SAME_DXVA_BITS(DXVA_PicParams_HEVC, dwCodingParamToolFlags, scaling_list_enabled_flag, amp_enabled_flag,
    sample_adaptive_offset_enabled_flag, pcm_enabled_flag, pcm_sample_bit_depth_luma_minus1,
    pcm_sample_bit_depth_chroma_minus1, log2_min_pcm_luma_coding_block_size_minus3,
    log2_diff_max_min_pcm_luma_coding_block_size, pcm_loop_filter_disabled_flag, long_term_ref_pics_present_flag,
    sps_temporal_mvp_enabled_flag, strong_intra_smoothing_enabled_flag, dependent_slice_segments_enabled_flag,
    output_flag_present_flag, num_extra_slice_header_bits, sign_data_hiding_enabled_flag, cabac_init_present_flag,
    ReservedBits3)
TARSEL_SAME_DXVA_BITS(DXVA_PicParams_HEVC, dwCodingSettingPicturePropertyFlags, constrained_intra_pred_flag,
    transform_skip_enabled_flag, cu_qp_delta_enabled_flag, pps_slice_chroma_qp_offsets_present_flag, weighted_pred_flag,
    weighted_bipred_flag, transquant_bypass_enabled_flag, tiles_enabled_flag, entropy_coding_sync_enabled_flag,
    uniform_spacing_flag, loop_filter_across_tiles_enabled_flag, pps_loop_filter_across_slices_enabled_flag,
    deblocking_filter_override_enabled_flag, pps_deblocking_filter_disabled_flag, lists_modification_present_flag,
    slice_segment_header_extension_present_flag, IrapPicFlag, IdrPicFlag, IntraPicFlag, ReservedBits4)

TARSEL_SAME_RECORD(ours, DXVA_Qmatrix_HEVC, ucScalingLists0, ucScalingLists1, ucScalingLists2, ucScalingLists3,
    ucScalingListDCCoefSizeID2, ucScalingListDCCoefSizeID3)

TARSEL_SAME_RECORD(ours, DXVA_Slice_HEVC_Short, BSNALunitDataLocation, SliceBytesInBuffer, wBadSliceChopping)

} // namespace dxva_sdk_agreement
