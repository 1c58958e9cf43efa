#include <cstring>

#include "bitstream/checked_read.h"
#include "bitstream/h264/h264_syntax.h"
#include "logging/spdlog_logger.h"

namespace {

enum SliceKind : uint32_t { kSliceP = 0, kSliceB = 1, kSliceI = 2, kSliceSP = 3, kSliceSI = 4 };

struct ModificationList {
    uint32_t& flag;
    uint32_t* idc;
    uint32_t* absDiffPicNumMinus1;
    uint32_t* longTermPicNum;
};

bool ReadModificationList(BitReader& reader, const ModificationList& list)
{
    list.flag = ReadBit(reader);
    if (!list.flag)
        return true;
    for (size_t k = 0;; ++k) {
        if (k == kH264MaxListOperations) {
            g_Logger.Log(LogLevel::error, "parser: more than %d ref_pic_list_modification operations",
                         static_cast<int>(kH264MaxListOperations));
            return false;
        }
        list.idc[k] = ReadUe(reader);
        if (list.idc[k] == 0 || list.idc[k] == 1)
            list.absDiffPicNumMinus1[k] = ReadUe(reader);
        else if (list.idc[k] == 2)
            list.longTermPicNum[k] = ReadUe(reader);
        if (list.idc[k] == 3 || reader.cursor >= reader.end)
            return true;
    }
}

struct WeightList {
    uint32_t* lumaFlag;
    int32_t* lumaWeight;
    int32_t* lumaOffset;
    uint32_t* chromaFlag;
    int32_t (*chromaWeight)[2];
    int32_t (*chromaOffset)[2];
};

bool ReadWeightList(BitReader& reader, const WeightList& list, uint32_t activeMinus1, bool hasChroma)
{
    if (activeMinus1 >= kH264MaxRefs) {
        g_Logger.Log(LogLevel::error, "parser: pred_weight_table over %u references (at most %d)",
                     activeMinus1 + 1, static_cast<int>(kH264MaxRefs));
        return false;
    }
    for (uint32_t i = 0; i <= activeMinus1; ++i) {
        list.lumaFlag[i] = ReadBit(reader);
        if (list.lumaFlag[i]) {
            list.lumaWeight[i] = ReadSe(reader);
            list.lumaOffset[i] = ReadSe(reader);
        }
        if (hasChroma) {
            list.chromaFlag[i] = ReadBit(reader);
            if (list.chromaFlag[i]) {
                for (int j = 0; j < 2; ++j) {
                    list.chromaWeight[i][j] = ReadSe(reader);
                    list.chromaOffset[i][j] = ReadSe(reader);
                }
            }
        }
    }
    return true;
}

bool ReadDecRefPicMarking(BitReader& reader, H264SliceHeader& sh, uint32_t nal_unit_type)
{
    if (nal_unit_type == 5) {
        sh.no_output_of_prior_pics_flag = ReadBit(reader);
        sh.long_term_reference_flag = ReadBit(reader);
        return true;
    }
    sh.adaptive_ref_pic_marking_mode_flag = ReadBit(reader);
    if (!sh.adaptive_ref_pic_marking_mode_flag)
        return true;
    for (size_t k = 0;; ++k) {
        if (k == kH264MaxListOperations) {
            g_Logger.Log(LogLevel::error, "parser: more than %d memory_management_control_operation entries",
                         static_cast<int>(kH264MaxListOperations));
            return false;
        }
        uint32_t operation = ReadUe(reader);
        sh.memory_management_control_operation[k] = operation;
        if (operation == 1 || operation == 3)
            sh.difference_of_pic_nums_minus1[k] = ReadUe(reader);
        if (operation == 2)
            sh.long_term_pic_num[k] = ReadUe(reader);
        if (operation == 3 || operation == 6)
            sh.long_term_frame_idx[k] = ReadUe(reader);
        if (operation == 4)
            sh.max_long_term_frame_idx_plus1[k] = ReadUe(reader);
        if (operation == 0 || reader.cursor >= reader.end)
            return true;
    }
}

// Ceil(Log2(PicSizeInMapUnits / SliceGroupChangeRate + 1)) with exact division:
// the smallest n with 2^n * rate >= size + rate.
int SliceGroupChangeCycleBits(const H264Sps& sps, const H264Pps& pps)
{
    uint64_t picSizeInMapUnits = (uint64_t{sps.pic_width_in_mbs_minus1} + 1) * (uint64_t{sps.pic_height_in_map_units_minus1} + 1);
    uint64_t rate = uint64_t{pps.slice_group_change_rate_minus1} + 1;
    int bits = 0;
    while (bits < 32 && (rate << bits) < picSizeInMapUnits + rate)
        ++bits;
    return bits;
}

} // namespace

bool ParseH264SliceHeader(H264Stream& stream, BitReader& reader)
{
    H264SliceHeader& sh = *stream.sh;
    std::memset(&sh, 0, sizeof(sh));
    const uint32_t nal_unit_type = stream.nal->nal_unit_type;

    sh.first_mb_in_slice = ReadUe(reader);
    sh.slice_type = ReadUe(reader);
    if (!ReadUeMax(reader, "pic_parameter_set_id", kH264MaxPps - 1, sh.pic_parameter_set_id))
        return false;
    const H264Pps& pps = stream.ppsTable[sh.pic_parameter_set_id];
    // The PPS's own id was checked when it was parsed; a never-received slot is zero.
    const H264Sps& sps = stream.spsTable[pps.seq_parameter_set_id];
    stream.pps = &stream.ppsTable[sh.pic_parameter_set_id];
    stream.sps = &stream.spsTable[pps.seq_parameter_set_id];

    const uint32_t kind = sh.slice_type >= 5 ? sh.slice_type - 5 : sh.slice_type;
    const bool isB = kind == kSliceB;
    const bool isPOrSP = kind == kSliceP || kind == kSliceSP;
    const bool isIntra = kind == kSliceI || kind == kSliceSI;

    if (sps.separate_colour_plane_flag)
        sh.colour_plane_id = ReadBits(reader, 2);
    sh.frame_num = ReadBitsCounted(reader, uint64_t{sps.log2_max_frame_num_minus4} + 4);
    if (!sps.frame_mbs_only_flag) {
        sh.field_pic_flag = ReadBit(reader);
        if (sh.field_pic_flag)
            sh.bottom_field_flag = ReadBit(reader);
    }
    if (nal_unit_type == 5)
        sh.idr_pic_id = ReadUe(reader);
    const bool hasBottomDelta = pps.bottom_field_pic_order_in_frame_present_flag && !sh.field_pic_flag;
    if (sps.pic_order_cnt_type == 0) {
        sh.pic_order_cnt_lsb = ReadBitsCounted(reader, uint64_t{sps.log2_max_pic_order_cnt_lsb_minus4} + 4);
        if (hasBottomDelta)
            sh.delta_pic_order_cnt_bottom = ReadSe(reader);
    }
    if (sps.pic_order_cnt_type == 1 && !sps.delta_pic_order_always_zero_flag) {
        sh.delta_pic_order_cnt[0] = ReadSe(reader);
        if (hasBottomDelta)
            sh.delta_pic_order_cnt[1] = ReadSe(reader);
    }
    if (pps.redundant_pic_cnt_present_flag)
        sh.redundant_pic_cnt = ReadUe(reader);

    if (isB)
        sh.direct_spatial_mv_pred_flag = ReadBit(reader);
    if (isPOrSP || isB) {
        sh.num_ref_idx_active_override_flag = ReadBit(reader);
        if (sh.num_ref_idx_active_override_flag) {
            if (!ReadUeMax(reader, "num_ref_idx_l0_active_minus1", kH264MaxRefs - 1, sh.num_ref_idx_l0_active_minus1))
                return false;
            if (isB && !ReadUeMax(reader, "num_ref_idx_l1_active_minus1", kH264MaxRefs - 1, sh.num_ref_idx_l1_active_minus1))
                return false;
        }
    }

    if (!isIntra) {
        if (!ReadModificationList(reader, {sh.ref_pic_list_modification_flag_l0, sh.modification_of_pic_nums_idc_l0,
                                           sh.abs_diff_pic_num_minus1_l0, sh.long_term_pic_num_l0}))
            return false;
        if (isB && !ReadModificationList(reader, {sh.ref_pic_list_modification_flag_l1, sh.modification_of_pic_nums_idc_l1,
                                                  sh.abs_diff_pic_num_minus1_l1, sh.long_term_pic_num_l1}))
            return false;
    }

    if ((pps.weighted_pred_flag && isPOrSP) || (pps.weighted_bipred_idc == 1 && isB)) {
        // ChromaArrayType: a separately coded 4:4:4 picture has no chroma weights.
        const bool hasChroma = sps.chroma_format_idc != 0 && !sps.separate_colour_plane_flag;
        sh.luma_log2_weight_denom = ReadUe(reader);
        if (hasChroma)
            sh.chroma_log2_weight_denom = ReadUe(reader);
        uint32_t l0 = sh.num_ref_idx_active_override_flag ? sh.num_ref_idx_l0_active_minus1 : pps.num_ref_idx_l0_default_active_minus1;
        if (!ReadWeightList(reader, {sh.luma_weight_l0_flag, sh.luma_weight_l0, sh.luma_offset_l0, sh.chroma_weight_l0_flag,
                                     sh.chroma_weight_l0, sh.chroma_offset_l0}, l0, hasChroma))
            return false;
        if (isB) {
            uint32_t l1 = sh.num_ref_idx_active_override_flag ? sh.num_ref_idx_l1_active_minus1 : pps.num_ref_idx_l1_default_active_minus1;
            if (!ReadWeightList(reader, {sh.luma_weight_l1_flag, sh.luma_weight_l1, sh.luma_offset_l1, sh.chroma_weight_l1_flag,
                                         sh.chroma_weight_l1, sh.chroma_offset_l1}, l1, hasChroma))
                return false;
        }
    }

    if (stream.nal->nal_ref_idc != 0 && !ReadDecRefPicMarking(reader, sh, nal_unit_type))
        return false;

    if (pps.entropy_coding_mode_flag && !isIntra)
        sh.cabac_init_idc = ReadUe(reader);
    sh.slice_qp_delta = ReadSe(reader);
    if (kind == kSliceSP)
        sh.sp_for_switch_flag = ReadBit(reader);
    if (kind == kSliceSP || kind == kSliceSI)
        sh.slice_qs_delta = ReadSe(reader);
    if (pps.deblocking_filter_control_present_flag) {
        sh.disable_deblocking_filter_idc = ReadUe(reader);
        if (sh.disable_deblocking_filter_idc != 1) {
            sh.slice_alpha_c0_offset_div2 = ReadSe(reader);
            sh.slice_beta_offset_div2 = ReadSe(reader);
        }
    }
    if (pps.num_slice_groups_minus1 > 0 && pps.slice_group_map_type >= 3 && pps.slice_group_map_type <= 5)
        sh.slice_group_change_cycle = ReadBits(reader, SliceGroupChangeCycleBits(sps, pps));
    return true;
}
