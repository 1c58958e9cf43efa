#include <cstring>

#include "bitstream/checked_read.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/hevc/hevc_syntax.h"
#include "logging/spdlog_logger.h"

namespace {

// Standard range of log2_max_pic_order_cnt_lsb_minus4; it sizes later u(v)
// reads, which must stay within 32 bits.
constexpr uint32_t kMaxLog2MaxPicOrderCntLsbMinus4 = 12;

bool ParseSubLayerOrdering(BitReader& reader, HevcSps& sps)
{
    const uint32_t highest = sps.sps_max_sub_layers_minus1;
    for (uint32_t i = sps.sps_sub_layer_ordering_info_present_flag ? 0 : highest; i <= highest; ++i) {
        sps.sps_max_dec_pic_buffering_minus1[i] = ReadUe(reader);
        sps.sps_max_num_reorder_pics[i] = ReadUe(reader);
        sps.sps_max_latency_increase_plus1[i] = ReadUe(reader);
    }
    if (!sps.sps_sub_layer_ordering_info_present_flag) {
        for (uint32_t i = 0; i < highest; ++i) {
            sps.sps_max_dec_pic_buffering_minus1[i] = sps.sps_max_dec_pic_buffering_minus1[highest];
            sps.sps_max_num_reorder_pics[i] = sps.sps_max_num_reorder_pics[highest];
            sps.sps_max_latency_increase_plus1[i] = sps.sps_max_latency_increase_plus1[highest];
        }
    }
    return true;
}

bool ParseSpsReferenceSets(BitReader& reader, HevcSps& sps)
{
    if (!ReadUeMax(reader, "num_short_term_ref_pic_sets", kHevcMaxShortTermRefPicSets, sps.num_short_term_ref_pic_sets))
        return false;
    for (uint32_t i = 0; i < sps.num_short_term_ref_pic_sets; ++i) {
        HevcShortTermRpsCounts counts{};
        HevcParseFailure failure{};
        if (!ParseHevcShortTermRps(reader, i, sps.num_short_term_ref_pic_sets, sps.NumDeltaPocs, sps.stRefPicSets,
                                   sps.stRps, counts, sps.stRefPicSets[i], failure)) {
            g_Logger.Log(LogLevel::error, "%s", failure.message);
            return false;
        }
        sps.NumDeltaPocs[i] = counts.numDeltaPocs;
        sps.NumUsedByCurrPics[i] = counts.numUsedByCurr;
    }

    sps.long_term_ref_pics_present_flag = ReadBit(reader);
    if (sps.long_term_ref_pics_present_flag) {
        if (!ReadUeMax(reader, "num_long_term_ref_pics_sps", kHevcMaxLongTermRefPicsSps, sps.num_long_term_ref_pics_sps))
            return false;
        for (uint32_t i = 0; i < sps.num_long_term_ref_pics_sps; ++i) {
            sps.lt_ref_pic_poc_lsb_sps[i] = ReadBits(reader, static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4));
            sps.used_by_curr_pic_lt_sps_flag[i] = ReadBit(reader);
        }
    }
    return true;
}

// A set that read a whole byte past its end was cut short or is corrupt;
// storing it would replace a good set with zeros.
bool RanPastEnd(const BitReader& reader, const char* what)
{
    if (!HasOverrun(reader))
        return false;
    g_Logger.Log(LogLevel::error, "parser: hevc %s runs past the end of its nal unit", what);
    return true;
}

} // namespace

bool ParseHevcVps(HevcStream& stream, BitReader& reader)
{
    // Only the id is read; its slot is cleared and nothing else changes.
    const uint32_t vps_video_parameter_set_id = ReadBits(reader, 4);
    stream.vpsTable[vps_video_parameter_set_id] = {};
    stream.vpsTable[vps_video_parameter_set_id].vps_video_parameter_set_id = vps_video_parameter_set_id;
    return true;
}

bool ParseHevcSps(HevcStream& stream, BitReader& reader)
{
    HevcSps& sps = stream.spsScratch;
    std::memset(&sps, 0, sizeof(sps));

    SkipBits(reader, 4);  // sps_video_parameter_set_id, not kept
    if (!ReadBitsMax(reader, 3, "sps_max_sub_layers_minus1", kHevcMaxSubLayers - 1, sps.sps_max_sub_layers_minus1))
        return false;
    sps.sps_temporal_id_nesting_flag = ReadBit(reader);
    if (!ParseHevcProfileTierLevel(reader, sps.sps_max_sub_layers_minus1, sps.ptl))
        return false;
    if (!ReadUeMax(reader, "sps_seq_parameter_set_id", kHevcMaxSpsCount - 1, sps.sps_seq_parameter_set_id))
        return false;

    sps.chroma_format_idc = ReadUe(reader);
    if (sps.chroma_format_idc == 3) {
        sps.separate_colour_plane_flag = ReadBit(reader);
        if (sps.separate_colour_plane_flag)
            sps.chroma_format_idc = 0;
    }
    sps.pic_width_in_luma_samples = ReadUe(reader);
    sps.pic_height_in_luma_samples = ReadUe(reader);
    sps.conformance_window_flag = ReadBit(reader);
    if (sps.conformance_window_flag) {
        sps.conf_win_left_offset = ReadUe(reader);
        sps.conf_win_right_offset = ReadUe(reader);
        sps.conf_win_top_offset = ReadUe(reader);
        sps.conf_win_bottom_offset = ReadUe(reader);
    }
    sps.bit_depth_luma_minus8 = ReadUe(reader);
    sps.bit_depth_chroma_minus8 = ReadUe(reader);
    if (!ReadUeMax(reader, "log2_max_pic_order_cnt_lsb_minus4", kMaxLog2MaxPicOrderCntLsbMinus4,
                   sps.log2_max_pic_order_cnt_lsb_minus4))
        return false;
    sps.sps_sub_layer_ordering_info_present_flag = ReadBit(reader);
    if (!ParseSubLayerOrdering(reader, sps))
        return false;

    sps.log2_min_luma_coding_block_size_minus3 = ReadUe(reader);
    sps.log2_diff_max_min_luma_coding_block_size = ReadUe(reader);
    sps.log2_min_luma_transform_block_size_minus2 = ReadUe(reader);
    sps.log2_diff_max_min_luma_transform_block_size = ReadUe(reader);
    sps.max_transform_hierarchy_depth_inter = ReadUe(reader);
    sps.max_transform_hierarchy_depth_intra = ReadUe(reader);
    sps.scaling_list_enabled_flag = ReadBit(reader);
    if (sps.scaling_list_enabled_flag) {
        SetDefaultHevcScalingLists(sps.scalingLists);
        sps.sps_scaling_list_data_present_flag = ReadBit(reader);
        if (sps.sps_scaling_list_data_present_flag && !ParseHevcScalingListData(reader, sps.scalingLists))
            return false;
    }

    sps.amp_enabled_flag = ReadBit(reader);
    sps.sample_adaptive_offset_enabled_flag = ReadBit(reader);
    sps.pcm_enabled_flag = ReadBit(reader);
    if (sps.pcm_enabled_flag) {
        sps.pcm_sample_bit_depth_luma_minus1 = ReadBits(reader, 4);
        sps.pcm_sample_bit_depth_chroma_minus1 = ReadBits(reader, 4);
        sps.log2_min_pcm_luma_coding_block_size_minus3 = ReadUe(reader);
        sps.log2_diff_max_min_pcm_luma_coding_block_size = ReadUe(reader);
        sps.pcm_loop_filter_disabled_flag = ReadBit(reader);
    }
    if (!ParseSpsReferenceSets(reader, sps))
        return false;

    sps.sps_temporal_mvp_enabled_flag = ReadBit(reader);
    sps.strong_intra_smoothing_enabled_flag = ReadBit(reader);
    sps.vui_parameters_present_flag = ReadBit(reader);
    if (sps.vui_parameters_present_flag && !ParseHevcVui(reader, sps))
        return false;
    sps.sps_extension_present_flag = ReadBit(reader);
    if (RanPastEnd(reader, "sps"))
        return false;

    HevcSps& slot = stream.spsTable[sps.sps_seq_parameter_set_id];
    slot = sps;
    stream.sps = &slot;
    return true;
}

bool ParseHevcPps(HevcStream& stream, BitReader& reader)
{
    HevcPps& pps = stream.ppsScratch;
    std::memset(&pps, 0, sizeof(pps));

    if (!ReadUeMax(reader, "pps_pic_parameter_set_id", kHevcMaxPpsCount - 1, pps.pps_pic_parameter_set_id) ||
        !ReadUeMax(reader, "pps_seq_parameter_set_id", kHevcMaxSpsCount - 1, pps.pps_seq_parameter_set_id))
        return false;
    pps.dependent_slice_segments_enabled_flag = ReadBit(reader);
    pps.output_flag_present_flag = ReadBit(reader);
    pps.num_extra_slice_header_bits = ReadBits(reader, 3);
    pps.sign_data_hiding_enabled_flag = ReadBit(reader);
    pps.cabac_init_present_flag = ReadBit(reader);
    pps.num_ref_idx_l0_default_active_minus1 = ReadUe(reader);
    pps.num_ref_idx_l1_default_active_minus1 = ReadUe(reader);
    pps.init_qp_minus26 = ReadSe(reader);
    pps.constrained_intra_pred_flag = ReadBit(reader);
    pps.transform_skip_enabled_flag = ReadBit(reader);
    pps.cu_qp_delta_enabled_flag = ReadBit(reader);
    if (pps.cu_qp_delta_enabled_flag)
        pps.diff_cu_qp_delta_depth = ReadUe(reader);
    pps.pps_cb_qp_offset = ReadSe(reader);
    pps.pps_cr_qp_offset = ReadSe(reader);
    pps.pps_slice_chroma_qp_offsets_present_flag = ReadBit(reader);
    pps.weighted_pred_flag = ReadBit(reader);
    pps.weighted_bipred_flag = ReadBit(reader);
    pps.transquant_bypass_enabled_flag = ReadBit(reader);
    pps.tiles_enabled_flag = ReadBit(reader);
    pps.entropy_coding_sync_enabled_flag = ReadBit(reader);

    if (pps.tiles_enabled_flag) {
        if (!ReadUeMax(reader, "num_tile_columns_minus1", kHevcMaxTileColumns, pps.num_tile_columns_minus1) ||
            !ReadUeMax(reader, "num_tile_rows_minus1", kHevcMaxTileRows, pps.num_tile_rows_minus1))
            return false;
        pps.uniform_spacing_flag = ReadBit(reader);
        if (!pps.uniform_spacing_flag) {
            for (uint32_t i = 0; i < pps.num_tile_columns_minus1; ++i)
                pps.column_width_minus1[i] = ReadUe(reader);
            for (uint32_t i = 0; i < pps.num_tile_rows_minus1; ++i)
                pps.row_height_minus1[i] = ReadUe(reader);
        }
        pps.loop_filter_across_tiles_enabled_flag = ReadBit(reader);
    }

    pps.pps_loop_filter_across_slices_enabled_flag = ReadBit(reader);
    pps.deblocking_filter_control_present_flag = ReadBit(reader);
    if (pps.deblocking_filter_control_present_flag) {
        pps.deblocking_filter_override_enabled_flag = ReadBit(reader);
        pps.pps_deblocking_filter_disabled_flag = ReadBit(reader);
        if (!pps.pps_deblocking_filter_disabled_flag) {
            pps.pps_beta_offset_div2 = ReadSe(reader);
            pps.pps_tc_offset_div2 = ReadSe(reader);
        }
    }
    pps.pps_scaling_list_data_present_flag = ReadBit(reader);
    if (pps.pps_scaling_list_data_present_flag) {
        SetDefaultHevcScalingLists(pps.scalingLists);
        if (!ParseHevcScalingListData(reader, pps.scalingLists))
            return false;
    }
    pps.lists_modification_present_flag = ReadBit(reader);
    pps.log2_parallel_merge_level_minus2 = ReadUe(reader);
    pps.slice_segment_header_extension_present_flag = ReadBit(reader);
    pps.pps_extension_present_flag = ReadBit(reader);
    if (RanPastEnd(reader, "pps"))
        return false;

    HevcPps& slot = stream.ppsTable[pps.pps_pic_parameter_set_id];
    slot = pps;
    stream.pps = &slot;
    return true;
}

float GetHevcFrameRate(const HevcSps* sps)
{
    if (!sps || !sps->vui_parameters_present_flag || !sps->vui_timing_info_present_flag ||
        sps->vui_num_units_in_tick == 0)
        return -1.0f;
    return static_cast<float>(sps->vui_time_scale / sps->vui_num_units_in_tick);
}
