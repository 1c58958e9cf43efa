#include "decoder/dxva/dxva_dump.h"

#include <cstddef>
#include <type_traits>

namespace {

using Json = nlohmann::ordered_json;

// Widened first, so that a signed char prints as a number and a bit field
// can be passed at all.
template <typename Integer>
    requires std::is_integral_v<Integer>
Json Value(Integer value)
{
    if constexpr (std::is_signed_v<Integer>)
        return static_cast<int64_t>(value);
    else
        return static_cast<uint64_t>(value);
}

Json Value(const DXVA_PicEntry_H264& entry) { return entry.bPicEntry; }
Json Value(const DXVA_PicEntry_HEVC& entry) { return entry.bPicEntry; }

template <typename Element, size_t Count>
Json Value(const Element (&elements)[Count])
{
    Json array = Json::array();
    for (const Element& element : elements)
        array.push_back(Value(element));
    return array;
}

}  // namespace

// One member per field: the name is the field's own spelling.
#define DXVA_FIELD(name) json[#name] = Value(record.name)

Json DxvaJson(const DXVA_PicParams_H264& record)
{
    Json json = Json::object();
    DXVA_FIELD(wFrameWidthInMbsMinus1); DXVA_FIELD(wFrameHeightInMbsMinus1); DXVA_FIELD(CurrPic);
    DXVA_FIELD(num_ref_frames);
    DXVA_FIELD(field_pic_flag); DXVA_FIELD(MbaffFrameFlag); DXVA_FIELD(residual_colour_transform_flag);
    DXVA_FIELD(sp_for_switch_flag); DXVA_FIELD(chroma_format_idc); DXVA_FIELD(RefPicFlag);
    DXVA_FIELD(constrained_intra_pred_flag); DXVA_FIELD(weighted_pred_flag); DXVA_FIELD(weighted_bipred_idc);
    DXVA_FIELD(MbsConsecutiveFlag); DXVA_FIELD(frame_mbs_only_flag); DXVA_FIELD(transform_8x8_mode_flag);
    DXVA_FIELD(MinLumaBipredSize8x8Flag); DXVA_FIELD(IntraPicFlag);
    DXVA_FIELD(bit_depth_luma_minus8); DXVA_FIELD(bit_depth_chroma_minus8); DXVA_FIELD(Reserved16Bits);
    DXVA_FIELD(StatusReportFeedbackNumber); DXVA_FIELD(RefFrameList); DXVA_FIELD(CurrFieldOrderCnt);
    DXVA_FIELD(FieldOrderCntList); DXVA_FIELD(pic_init_qs_minus26); DXVA_FIELD(chroma_qp_index_offset);
    DXVA_FIELD(second_chroma_qp_index_offset); DXVA_FIELD(ContinuationFlag); DXVA_FIELD(pic_init_qp_minus26);
    DXVA_FIELD(num_ref_idx_l0_active_minus1); DXVA_FIELD(num_ref_idx_l1_active_minus1); DXVA_FIELD(Reserved8BitsA);
    DXVA_FIELD(FrameNumList); DXVA_FIELD(UsedForReferenceFlags); DXVA_FIELD(NonExistingFrameFlags);
    DXVA_FIELD(frame_num); DXVA_FIELD(log2_max_frame_num_minus4); DXVA_FIELD(pic_order_cnt_type);
    DXVA_FIELD(log2_max_pic_order_cnt_lsb_minus4); DXVA_FIELD(delta_pic_order_always_zero_flag);
    DXVA_FIELD(direct_8x8_inference_flag); DXVA_FIELD(entropy_coding_mode_flag); DXVA_FIELD(pic_order_present_flag);
    DXVA_FIELD(num_slice_groups_minus1); DXVA_FIELD(slice_group_map_type);
    DXVA_FIELD(deblocking_filter_control_present_flag); DXVA_FIELD(redundant_pic_cnt_present_flag);
    DXVA_FIELD(Reserved8BitsB); DXVA_FIELD(slice_group_change_rate_minus1); DXVA_FIELD(SliceGroupMap);
    return json;
}

Json DxvaJson(const DXVA_Qmatrix_H264& record)
{
    Json json = Json::object();
    DXVA_FIELD(bScalingLists4x4); DXVA_FIELD(bScalingLists8x8);
    return json;
}

Json DxvaJson(const DXVA_Slice_H264_Short& record)
{
    Json json = Json::object();
    DXVA_FIELD(BSNALunitDataLocation); DXVA_FIELD(SliceBytesInBuffer); DXVA_FIELD(wBadSliceChopping);
    return json;
}

Json DxvaJson(const DXVA_Slice_H264_Long& record)
{
    Json json = Json::object();
    DXVA_FIELD(BSNALunitDataLocation); DXVA_FIELD(SliceBytesInBuffer); DXVA_FIELD(wBadSliceChopping);
    DXVA_FIELD(first_mb_in_slice); DXVA_FIELD(NumMbsForSlice); DXVA_FIELD(BitOffsetToSliceData);
    DXVA_FIELD(slice_type); DXVA_FIELD(luma_log2_weight_denom); DXVA_FIELD(chroma_log2_weight_denom);
    DXVA_FIELD(num_ref_idx_l0_active_minus1); DXVA_FIELD(num_ref_idx_l1_active_minus1);
    DXVA_FIELD(slice_alpha_c0_offset_div2); DXVA_FIELD(slice_beta_offset_div2); DXVA_FIELD(Reserved8Bits);
    DXVA_FIELD(RefPicList); DXVA_FIELD(Weights); DXVA_FIELD(slice_qs_delta); DXVA_FIELD(slice_qp_delta);
    DXVA_FIELD(redundant_pic_cnt); DXVA_FIELD(direct_spatial_mv_pred_flag); DXVA_FIELD(cabac_init_idc);
    DXVA_FIELD(disable_deblocking_filter_idc); DXVA_FIELD(slice_id);
    return json;
}

Json DxvaJson(const DXVA_PicParams_HEVC& record)
{
    Json json = Json::object();
    DXVA_FIELD(PicWidthInMinCbsY); DXVA_FIELD(PicHeightInMinCbsY);
    DXVA_FIELD(chroma_format_idc); DXVA_FIELD(separate_colour_plane_flag); DXVA_FIELD(bit_depth_luma_minus8);
    DXVA_FIELD(bit_depth_chroma_minus8); DXVA_FIELD(log2_max_pic_order_cnt_lsb_minus4);
    DXVA_FIELD(NoPicReorderingFlag); DXVA_FIELD(NoBiPredFlag); DXVA_FIELD(ReservedBits1);
    DXVA_FIELD(CurrPic); DXVA_FIELD(sps_max_dec_pic_buffering_minus1); DXVA_FIELD(log2_min_luma_coding_block_size_minus3);
    DXVA_FIELD(log2_diff_max_min_luma_coding_block_size); DXVA_FIELD(log2_min_transform_block_size_minus2);
    DXVA_FIELD(log2_diff_max_min_transform_block_size); DXVA_FIELD(max_transform_hierarchy_depth_inter);
    DXVA_FIELD(max_transform_hierarchy_depth_intra); DXVA_FIELD(num_short_term_ref_pic_sets);
    DXVA_FIELD(num_long_term_ref_pics_sps); DXVA_FIELD(num_ref_idx_l0_default_active_minus1);
    DXVA_FIELD(num_ref_idx_l1_default_active_minus1); DXVA_FIELD(init_qp_minus26); DXVA_FIELD(ucNumDeltaPocsOfRefRpsIdx);
    DXVA_FIELD(wNumBitsForShortTermRPSInSlice); DXVA_FIELD(ReservedBits2);
    DXVA_FIELD(scaling_list_enabled_flag); DXVA_FIELD(amp_enabled_flag); DXVA_FIELD(sample_adaptive_offset_enabled_flag);
    DXVA_FIELD(pcm_enabled_flag); DXVA_FIELD(pcm_sample_bit_depth_luma_minus1); DXVA_FIELD(pcm_sample_bit_depth_chroma_minus1);
    DXVA_FIELD(log2_min_pcm_luma_coding_block_size_minus3); DXVA_FIELD(log2_diff_max_min_pcm_luma_coding_block_size);
    DXVA_FIELD(pcm_loop_filter_disabled_flag); DXVA_FIELD(long_term_ref_pics_present_flag);
    DXVA_FIELD(sps_temporal_mvp_enabled_flag); DXVA_FIELD(strong_intra_smoothing_enabled_flag);
    DXVA_FIELD(dependent_slice_segments_enabled_flag); DXVA_FIELD(output_flag_present_flag);
    DXVA_FIELD(num_extra_slice_header_bits); DXVA_FIELD(sign_data_hiding_enabled_flag); DXVA_FIELD(cabac_init_present_flag);
    DXVA_FIELD(ReservedBits3);
    DXVA_FIELD(constrained_intra_pred_flag); DXVA_FIELD(transform_skip_enabled_flag); DXVA_FIELD(cu_qp_delta_enabled_flag);
    DXVA_FIELD(pps_slice_chroma_qp_offsets_present_flag); DXVA_FIELD(weighted_pred_flag); DXVA_FIELD(weighted_bipred_flag);
    DXVA_FIELD(transquant_bypass_enabled_flag); DXVA_FIELD(tiles_enabled_flag); DXVA_FIELD(entropy_coding_sync_enabled_flag);
    DXVA_FIELD(uniform_spacing_flag); DXVA_FIELD(loop_filter_across_tiles_enabled_flag);
    DXVA_FIELD(pps_loop_filter_across_slices_enabled_flag); DXVA_FIELD(deblocking_filter_override_enabled_flag);
    DXVA_FIELD(pps_deblocking_filter_disabled_flag); DXVA_FIELD(lists_modification_present_flag);
    DXVA_FIELD(slice_segment_header_extension_present_flag); DXVA_FIELD(IrapPicFlag); DXVA_FIELD(IdrPicFlag);
    DXVA_FIELD(IntraPicFlag); DXVA_FIELD(ReservedBits4);
    DXVA_FIELD(pps_cb_qp_offset); DXVA_FIELD(pps_cr_qp_offset); DXVA_FIELD(num_tile_columns_minus1);
    DXVA_FIELD(num_tile_rows_minus1); DXVA_FIELD(column_width_minus1); DXVA_FIELD(row_height_minus1);
    DXVA_FIELD(diff_cu_qp_delta_depth); DXVA_FIELD(pps_beta_offset_div2); DXVA_FIELD(pps_tc_offset_div2);
    DXVA_FIELD(log2_parallel_merge_level_minus2); DXVA_FIELD(CurrPicOrderCntVal); DXVA_FIELD(RefPicList);
    DXVA_FIELD(ReservedBits5); DXVA_FIELD(PicOrderCntValList); DXVA_FIELD(RefPicSetStCurrBefore);
    DXVA_FIELD(RefPicSetStCurrAfter); DXVA_FIELD(RefPicSetLtCurr); DXVA_FIELD(ReservedBits6); DXVA_FIELD(ReservedBits7);
    DXVA_FIELD(StatusReportFeedbackNumber);
    return json;
}

Json DxvaJson(const DXVA_Qmatrix_HEVC& record)
{
    Json json = Json::object();
    DXVA_FIELD(ucScalingLists0); DXVA_FIELD(ucScalingLists1); DXVA_FIELD(ucScalingLists2); DXVA_FIELD(ucScalingLists3);
    DXVA_FIELD(ucScalingListDCCoefSizeID2); DXVA_FIELD(ucScalingListDCCoefSizeID3);
    return json;
}

Json DxvaJson(const DXVA_Slice_HEVC_Short& record)
{
    Json json = Json::object();
    DXVA_FIELD(BSNALunitDataLocation); DXVA_FIELD(SliceBytesInBuffer); DXVA_FIELD(wBadSliceChopping);
    return json;
}
