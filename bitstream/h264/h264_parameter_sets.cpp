#include <cstring>

#include "bitstream/checked_read.h"
#include "bitstream/h264/h264_parser.h"
#include "bitstream/h264/h264_syntax.h"

namespace {

// Profiles whose SPS carries chroma format, bit depths and scaling matrices.
bool HasChromaAndScalingSyntax(uint32_t profile_idc)
{
    switch (profile_idc) {
    case 44: case 83: case 86: case 100: case 110: case 118:
    case 122: case 128: case 134: case 138: case 139: case 244:
        return true;
    default:
        return false;
    }
}

const uint8_t* DefaultScalingList(size_t index)
{
    if (index < 3)
        return kDefault4x4Intra;
    if (index < 6)
        return kDefault4x4Inter;
    return (index - 6) % 2 == 0 ? kDefault8x8Intra : kDefault8x8Inter;
}

// List i < 6 is a 4x4 list, the others 8x8 lists i - 6.
uint8_t* ScalingListSlot(uint8_t (&lists4x4)[6][16], uint8_t (&lists8x8)[6][64], size_t index)
{
    return index < 6 ? lists4x4[index] : lists8x8[index - 6];
}

const uint8_t* ScalingListSlot(const uint8_t (&lists4x4)[6][16], const uint8_t (&lists8x8)[6][64], size_t index)
{
    return index < 6 ? lists4x4[index] : lists8x8[index - 6];
}

// Lists 0, 3, 6 and 7 open a kind (intra/inter, 4x4/8x8); every other list
// follows the previous list of its kind (Table 7-2).
bool OpensScalingListKind(size_t index)
{
    return index == 0 || index == 3 || index == 6 || index == 7;
}

// Reads the scaling lists of one parameter set, `codedCount` of them coded
// with a present flag each, and resolves the ones it leaves out (Table 7-2):
// a list that opens its kind takes the default list (fall-back rule A) or,
// given `sequence`, the SPS's list (rule B); the others take the previous
// list of their kind. Lists beyond `codedCount` are resolved the same way so
// that no entry is left undefined for a buffer that copies them all.
void ReadScalingMatrix(BitReader& reader, size_t codedCount, uint32_t (&presentFlags)[kH264MaxScalingLists],
                       uint8_t (&lists4x4)[6][16], uint8_t (&lists8x8)[6][64], const H264Sps* sequence)
{
    for (size_t i = 0; i < kH264MaxScalingLists; ++i) {
        const size_t size = i < 6 ? 16 : 64;
        uint8_t* list = ScalingListSlot(lists4x4, lists8x8, i);
        presentFlags[i] = i < codedCount ? ReadBit(reader) : 0;
        if (presentFlags[i])
            ReadH264ScalingList(reader, list, static_cast<int>(size), DefaultScalingList(i));
        else if (OpensScalingListKind(i) && sequence != nullptr)
            std::memcpy(list, ScalingListSlot(sequence->ScalingList4x4, sequence->ScalingList8x8, i), size);
        else if (OpensScalingListKind(i))
            std::memcpy(list, DefaultScalingList(i), size);
        else
            std::memcpy(list, ScalingListSlot(lists4x4, lists8x8, i < 6 ? i - 1 : i - 2), size);
    }
}

bool ReadHrd(BitReader& reader, H264Hrd& hrd)
{
    uint32_t cpb_cnt_minus1 = 0;
    if (!ReadUeMax(reader, "cpb_cnt_minus1", kH264MaxCpb - 1, cpb_cnt_minus1))
        return false;
    hrd.cpb_cnt_minus1 = cpb_cnt_minus1;
    hrd.bit_rate_scale = ReadBits(reader, 4);
    hrd.cpb_size_scale = ReadBits(reader, 4);
    for (uint32_t i = 0; i <= cpb_cnt_minus1; ++i) {
        hrd.bit_rate_value_minus1[i] = ReadUe(reader);
        hrd.cpb_size_value_minus1[i] = ReadUe(reader);
        hrd.cbr_flag[i] = ReadBit(reader);
    }
    hrd.initial_cpb_removal_delay_length_minus1 = ReadBits(reader, 5);
    hrd.cpb_removal_delay_length_minus1 = ReadBits(reader, 5);
    hrd.dpb_output_delay_length_minus1 = ReadBits(reader, 5);
    hrd.time_offset_length = ReadBits(reader, 5);
    return true;
}

bool ReadVui(BitReader& reader, H264Sps& sps)
{
    sps.aspect_ratio_info_present_flag = ReadBit(reader);
    if (sps.aspect_ratio_info_present_flag) {
        sps.aspect_ratio_idc = ReadBits(reader, 8);
        if (sps.aspect_ratio_idc >= 255) {  // Extended_SAR
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
            sps.matrix_coefficients = ReadBits(reader, 8);
        }
    }
    sps.chroma_loc_info_present_flag = ReadBit(reader);
    if (sps.chroma_loc_info_present_flag) {
        sps.chroma_sample_loc_type_top_field = ReadUe(reader);
        sps.chroma_sample_loc_type_bottom_field = ReadUe(reader);
    }
    sps.timing_info_present_flag = ReadBit(reader);
    if (sps.timing_info_present_flag) {
        sps.num_units_in_tick = ReadBits(reader, 32);
        sps.time_scale = ReadBits(reader, 32);
        sps.fixed_frame_rate_flag = ReadBit(reader);
    }
    sps.nal_hrd_parameters_present_flag = ReadBit(reader);
    if (sps.nal_hrd_parameters_present_flag && !ReadHrd(reader, sps.hrd))
        return false;
    sps.vcl_hrd_parameters_present_flag = ReadBit(reader);
    if (sps.vcl_hrd_parameters_present_flag && !ReadHrd(reader, sps.hrd))
        return false;
    if (sps.nal_hrd_parameters_present_flag || sps.vcl_hrd_parameters_present_flag)
        sps.low_delay_hrd_flag = ReadBit(reader);
    sps.pic_struct_present_flag = ReadBit(reader);
    sps.bitstream_restriction_flag = ReadBit(reader);
    if (sps.bitstream_restriction_flag) {
        sps.motion_vectors_over_pic_boundaries_flag = ReadBit(reader);
        sps.max_bytes_per_pic_denom = ReadUe(reader);
        sps.max_bits_per_mb_denom = ReadUe(reader);
        sps.log2_max_mv_length_horizontal = ReadUe(reader);
        sps.log2_max_mv_length_vertical = ReadUe(reader);
        sps.max_num_reorder_frames = ReadUe(reader);
        sps.max_dec_frame_buffering = ReadUe(reader);
    }
    return true;
}

} // namespace

void ReadH264ScalingList(BitReader& reader, uint8_t* list, int size, const uint8_t* defaultList)
{
    int32_t lastScale = 8;
    int32_t nextScale = 8;
    for (int j = 0; j < size; ++j) {
        if (nextScale != 0) {
            int64_t delta_scale = ReadSe(reader);
            nextScale = static_cast<int32_t>(((lastScale + delta_scale) % 256 + 256) % 256);
            if (j == 0 && nextScale == 0) {  // useDefaultScalingMatrixFlag
                std::memcpy(list, defaultList, static_cast<size_t>(size));
                return;
            }
        }
        list[j] = static_cast<uint8_t>(nextScale == 0 ? lastScale : nextScale);
        lastScale = list[j];
    }
}

bool ParseH264Sps(H264Stream& stream, BitReader& reader)
{
    uint32_t profile_idc = ReadBits(reader, 8);
    uint32_t constraintFlags[6];
    for (uint32_t& flag : constraintFlags)
        flag = ReadBit(reader);
    uint32_t reserved_zero_2bits = ReadBits(reader, 2);
    uint32_t level_idc = ReadBits(reader, 8);
    uint32_t seq_parameter_set_id = 0;
    if (!ReadUeMax(reader, "seq_parameter_set_id", kH264MaxSps - 1, seq_parameter_set_id))
        return false;

    // Read into a copy: a unit refused or cut short below leaves the table as it was.
    H264Sps sps{};
    sps.profile_idc = profile_idc;
    sps.constraint_set0_flag = constraintFlags[0];
    sps.constraint_set1_flag = constraintFlags[1];
    sps.constraint_set2_flag = constraintFlags[2];
    sps.constraint_set3_flag = constraintFlags[3];
    sps.constraint_set4_flag = constraintFlags[4];
    sps.constraint_set5_flag = constraintFlags[5];
    sps.reserved_zero_2bits = reserved_zero_2bits;
    sps.level_idc = level_idc;
    sps.seq_parameter_set_id = seq_parameter_set_id;
    sps.chroma_format_idc = 1;
    std::memset(sps.ScalingList4x4, 16, sizeof(sps.ScalingList4x4));
    std::memset(sps.ScalingList8x8, 16, sizeof(sps.ScalingList8x8));

    if (HasChromaAndScalingSyntax(profile_idc)) {
        sps.chroma_format_idc = ReadUe(reader);
        if (sps.chroma_format_idc == 3)
            sps.separate_colour_plane_flag = ReadBit(reader);
        sps.bit_depth_luma_minus8 = ReadUe(reader);
        sps.bit_depth_chroma_minus8 = ReadUe(reader);
        sps.qpprime_y_zero_transform_bypass_flag = ReadBit(reader);
        sps.seq_scaling_matrix_present_flag = ReadBit(reader);
        if (sps.seq_scaling_matrix_present_flag)
            ReadScalingMatrix(reader, sps.chroma_format_idc == 3 ? 12 : 8, sps.seq_scaling_list_present_flag,
                              sps.ScalingList4x4, sps.ScalingList8x8, nullptr);
    }

    // Both lengths are 4 to 16 bits; a longer one would make frame_num and
    // the order count's low part wider than anything that counts them.
    if (!ReadUeMax(reader, "log2_max_frame_num_minus4", kH264MaxLog2Minus4, sps.log2_max_frame_num_minus4))
        return false;
    sps.pic_order_cnt_type = ReadUe(reader);
    if (sps.pic_order_cnt_type == 0) {
        if (!ReadUeMax(reader, "log2_max_pic_order_cnt_lsb_minus4", kH264MaxLog2Minus4,
                       sps.log2_max_pic_order_cnt_lsb_minus4))
            return false;
    } else if (sps.pic_order_cnt_type == 1) {
        sps.delta_pic_order_always_zero_flag = ReadBit(reader);
        sps.offset_for_non_ref_pic = ReadSe(reader);
        sps.offset_for_top_to_bottom_field = ReadSe(reader);
        if (!ReadUeMax(reader, "num_ref_frames_in_pic_order_cnt_cycle", kH264MaxRefFramesInPocCycle,
                       sps.num_ref_frames_in_pic_order_cnt_cycle))
            return false;
        for (uint32_t i = 0; i < sps.num_ref_frames_in_pic_order_cnt_cycle; ++i)
            sps.offset_for_ref_frame[i] = ReadSe(reader);
    }
    sps.max_num_ref_frames = ReadUe(reader);
    sps.gaps_in_frame_num_value_allowed_flag = ReadBit(reader);
    sps.pic_width_in_mbs_minus1 = ReadUe(reader);
    sps.pic_height_in_map_units_minus1 = ReadUe(reader);
    sps.frame_mbs_only_flag = ReadBit(reader);
    if (!sps.frame_mbs_only_flag)
        sps.mb_adaptive_frame_field_flag = ReadBit(reader);
    sps.direct_8x8_inference_flag = ReadBit(reader);
    sps.frame_cropping_flag = ReadBit(reader);
    if (sps.frame_cropping_flag) {
        sps.frame_crop_left_offset = ReadUe(reader);
        sps.frame_crop_right_offset = ReadUe(reader);
        sps.frame_crop_top_offset = ReadUe(reader);
        sps.frame_crop_bottom_offset = ReadUe(reader);
    }
    sps.vui_parameters_present_flag = ReadBit(reader);
    if (sps.vui_parameters_present_flag && !ReadVui(reader, sps))
        return false;
    SkipTrailingBits(reader);
    if (!HasOverrun(reader)) {
        stream.spsTable[seq_parameter_set_id] = sps;
        stream.sps = &stream.spsTable[seq_parameter_set_id];
    }
    return true;
}

bool ParseH264Pps(H264Stream& stream, BitReader& reader)
{
    uint32_t pic_parameter_set_id = 0;
    uint32_t seq_parameter_set_id = 0;
    if (!ReadUeMax(reader, "pic_parameter_set_id", kH264MaxPps - 1, pic_parameter_set_id) ||
        !ReadUeMax(reader, "seq_parameter_set_id", kH264MaxSps - 1, seq_parameter_set_id))
        return false;

    const H264Sps& sps = stream.spsTable[seq_parameter_set_id];
    // Read into a copy: a unit refused or cut short below leaves the table as it was.
    H264Pps pps{};
    pps.pic_parameter_set_id = pic_parameter_set_id;
    pps.seq_parameter_set_id = seq_parameter_set_id;

    pps.entropy_coding_mode_flag = ReadBit(reader);
    pps.bottom_field_pic_order_in_frame_present_flag = ReadBit(reader);
    if (!ReadUeMax(reader, "num_slice_groups_minus1", kH264MaxSliceGroups - 1, pps.num_slice_groups_minus1))
        return false;
    if (pps.num_slice_groups_minus1 > 0) {
        pps.slice_group_map_type = ReadUe(reader);
        if (pps.slice_group_map_type == 0) {
            for (uint32_t i = 0; i <= pps.num_slice_groups_minus1; ++i)
                pps.run_length_minus1[i] = ReadUe(reader);
        } else if (pps.slice_group_map_type == 2) {
            for (uint32_t i = 0; i < pps.num_slice_groups_minus1; ++i) {
                pps.top_left[i] = ReadUe(reader);
                pps.bottom_right[i] = ReadUe(reader);
            }
        } else if (pps.slice_group_map_type >= 3 && pps.slice_group_map_type <= 5) {
            pps.slice_group_change_direction_flag = ReadBit(reader);
            pps.slice_group_change_rate_minus1 = ReadUe(reader);
        } else if (pps.slice_group_map_type == 6) {
            if (!ReadUeMax(reader, "pic_size_in_map_units_minus1", kH264MaxMapUnits - 1,
                           pps.pic_size_in_map_units_minus1))
                return false;
            int bits = static_cast<int>(CeilLog2(pps.num_slice_groups_minus1 + 1));
            for (uint32_t i = 0; i <= pps.pic_size_in_map_units_minus1; ++i)
                pps.slice_group_id[i] = ReadBits(reader, bits);
        }
    }
    pps.num_ref_idx_l0_default_active_minus1 = ReadUe(reader);
    pps.num_ref_idx_l1_default_active_minus1 = ReadUe(reader);
    pps.weighted_pred_flag = ReadBit(reader);
    pps.weighted_bipred_idc = ReadBits(reader, 2);
    pps.pic_init_qp_minus26 = ReadSe(reader);
    pps.pic_init_qs_minus26 = ReadSe(reader);
    pps.chroma_qp_index_offset = ReadSe(reader);
    pps.deblocking_filter_control_present_flag = ReadBit(reader);
    pps.constrained_intra_pred_flag = ReadBit(reader);
    pps.redundant_pic_cnt_present_flag = ReadBit(reader);

    // Without a matrix of its own the PPS uses the SPS's resolved lists.
    std::memcpy(pps.ScalingList4x4, sps.ScalingList4x4, sizeof(pps.ScalingList4x4));
    std::memcpy(pps.ScalingList8x8, sps.ScalingList8x8, sizeof(pps.ScalingList8x8));

    pps.moreRbspData = MoreRbspData(reader) ? 1 : 0;
    if (pps.moreRbspData) {
        pps.transform_8x8_mode_flag = ReadBit(reader);
        pps.pic_scaling_matrix_present_flag = ReadBit(reader);
        if (pps.pic_scaling_matrix_present_flag) {
            size_t listCount = 6 + (sps.chroma_format_idc == 3 ? 6 : 2) * pps.transform_8x8_mode_flag;
            // Fall-back rule B when the SPS carries matrices, rule A when not.
            ReadScalingMatrix(reader, listCount, pps.pic_scaling_list_present_flag, pps.ScalingList4x4,
                              pps.ScalingList8x8, sps.seq_scaling_matrix_present_flag ? &sps : nullptr);
        }
        pps.second_chroma_qp_index_offset = ReadSe(reader);
    } else {
        pps.second_chroma_qp_index_offset = pps.chroma_qp_index_offset;
    }
    SkipTrailingBits(reader);
    if (!HasOverrun(reader)) {
        stream.ppsTable[pic_parameter_set_id] = pps;
        stream.sps = &stream.spsTable[seq_parameter_set_id];
        stream.pps = &stream.ppsTable[pic_parameter_set_id];
    }
    return true;
}
