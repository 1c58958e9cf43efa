#include <cstring>

#include "bitstream/h264/h264_parser.h"
#include "decoder/dxva/dxva_buffer_space.h"
#include "decoder/dxva/dxva_buffers.h"
#include "logging/spdlog_logger.h"

namespace {

constexpr int32_t kPicParamsSize = sizeof(DXVA_PicParams_H264);
constexpr int32_t kQmatrixSize = sizeof(DXVA_Qmatrix_H264);
constexpr int32_t kSliceLongSize = sizeof(DXVA_Slice_H264_Long);

// The buffers read the current SPS and PPS and the last slice header.
bool HasActiveParameterSets(const H264Stream& stream)
{
    if (stream.sps == nullptr || stream.pps == nullptr || stream.sh == nullptr || stream.nal == nullptr) {
        g_Logger.Log(LogLevel::error, "decoder: no active h264 parameter sets for the picture");
        return false;
    }
    return true;
}

// I and SI, in both slice_type ranges.
bool IsIntraSlice(uint32_t slice_type)
{
    return slice_type == 2 || slice_type == 4 || slice_type == 7 || slice_type == 9;
}

// The default explicit weight 2^denominator in the 16-bit weight field; a
// denominator beyond the field's width leaves no bit set.
int16_t DefaultWeight(uint32_t log2Denominator)
{
    return static_cast<int16_t>(log2Denominator < 16 ? (1u << log2Denominator) : 0u);
}

void FillSequenceAndPictureFields(const H264Stream& stream, DXVA_PicParams_H264& pp)
{
    const H264Sps& sps = *stream.sps;
    const H264Pps& pps = *stream.pps;
    const H264SliceHeader& sh = *stream.sh;

    pp.wFrameWidthInMbsMinus1 = static_cast<uint16_t>(sps.pic_width_in_mbs_minus1);
    pp.wFrameHeightInMbsMinus1 = static_cast<uint16_t>(sps.pic_height_in_map_units_minus1);
    pp.num_ref_frames = static_cast<uint8_t>(sps.max_num_ref_frames);

    pp.field_pic_flag = sh.field_pic_flag;
    pp.MbaffFrameFlag = (sps.mb_adaptive_frame_field_flag && !sh.field_pic_flag) ? 1 : 0;
    pp.residual_colour_transform_flag = sps.separate_colour_plane_flag;
    pp.sp_for_switch_flag = sh.sp_for_switch_flag;
    pp.chroma_format_idc = sps.chroma_format_idc;
    pp.RefPicFlag = stream.nal->nal_ref_idc != 0 ? 1 : 0;
    pp.constrained_intra_pred_flag = pps.constrained_intra_pred_flag;
    pp.weighted_pred_flag = pps.weighted_pred_flag;
    pp.weighted_bipred_idc = pps.weighted_bipred_idc;
    pp.MbsConsecutiveFlag = 1;
    pp.frame_mbs_only_flag = sps.frame_mbs_only_flag;
    pp.transform_8x8_mode_flag = pps.transform_8x8_mode_flag;
    pp.MinLumaBipredSize8x8Flag = sps.level_idc >= 31 ? 1 : 0;
    pp.IntraPicFlag = IsIntraSlice(sh.slice_type) ? 1 : 0;

    pp.bit_depth_luma_minus8 = static_cast<uint8_t>(sps.bit_depth_luma_minus8);
    pp.bit_depth_chroma_minus8 = static_cast<uint8_t>(sps.bit_depth_chroma_minus8);

    pp.pic_init_qs_minus26 = static_cast<int8_t>(pps.pic_init_qs_minus26);
    pp.chroma_qp_index_offset = static_cast<int8_t>(pps.chroma_qp_index_offset);
    pp.second_chroma_qp_index_offset = static_cast<int8_t>(pps.second_chroma_qp_index_offset);
    pp.ContinuationFlag = 1;
    pp.pic_init_qp_minus26 = static_cast<int8_t>(pps.pic_init_qp_minus26);
    pp.num_ref_idx_l0_active_minus1 = static_cast<uint8_t>(pps.num_ref_idx_l0_default_active_minus1);
    pp.num_ref_idx_l1_active_minus1 = static_cast<uint8_t>(pps.num_ref_idx_l1_default_active_minus1);

    pp.frame_num = static_cast<uint16_t>(sh.frame_num);
    pp.log2_max_frame_num_minus4 = static_cast<uint8_t>(sps.log2_max_frame_num_minus4);
    pp.pic_order_cnt_type = static_cast<uint8_t>(sps.pic_order_cnt_type);
    pp.log2_max_pic_order_cnt_lsb_minus4 = static_cast<uint8_t>(sps.log2_max_pic_order_cnt_lsb_minus4);
    pp.delta_pic_order_always_zero_flag = static_cast<uint8_t>(sps.delta_pic_order_always_zero_flag);
    pp.direct_8x8_inference_flag = static_cast<uint8_t>(sps.direct_8x8_inference_flag);
    pp.entropy_coding_mode_flag = static_cast<uint8_t>(pps.entropy_coding_mode_flag);
    pp.pic_order_present_flag = static_cast<uint8_t>(pps.bottom_field_pic_order_in_frame_present_flag);
    pp.num_slice_groups_minus1 = static_cast<uint8_t>(pps.num_slice_groups_minus1);
    pp.slice_group_map_type = static_cast<uint8_t>(pps.slice_group_map_type);
    pp.deblocking_filter_control_present_flag = static_cast<uint8_t>(pps.deblocking_filter_control_present_flag);
    pp.redundant_pic_cnt_present_flag = static_cast<uint8_t>(pps.redundant_pic_cnt_present_flag);
}

void FillReferenceFrames(const H264PictureReferences& references, DXVA_PicParams_H264& pp)
{
    for (uint32_t index = 0; index < H264PictureReferences::kListSize; ++index) {
        pp.RefFrameList[index].bPicEntry = references.RefFrameList[index];
        pp.FieldOrderCntList[index][0] = references.FieldOrderCntList[index][0];
        pp.FieldOrderCntList[index][1] = references.FieldOrderCntList[index][1];
        pp.FrameNumList[index] = references.FrameNumList[index];
    }
    pp.CurrFieldOrderCnt[0] = references.CurrFieldOrderCnt[0];
    pp.CurrFieldOrderCnt[1] = references.CurrFieldOrderCnt[1];
    pp.UsedForReferenceFlags = references.UsedForReferenceFlags;
    pp.NonExistingFrameFlags = references.NonExistingFrameFlags;
}

// One list's pred_weight_table entries as the slice header holds them.
struct WeightTable {
    const uint32_t* lumaFlag;
    const int32_t* lumaWeight;
    const int32_t* lumaOffset;
    const uint32_t* chromaFlag;
    const int32_t (*chromaWeight)[2];
    const int32_t (*chromaOffset)[2];
};

// Weights[list][reference][component][0 weight, 1 offset] of every active
// entry: the coded values when the slice carries them, else the defaults
// that leave the prediction unweighted.
void FillListWeights(const H264SliceHeader& sh, const WeightTable& table, uint32_t count, int16_t (*weights)[3][2])
{
    for (uint32_t reference = 0; reference < count && reference < kH264MaxRefs; ++reference) {
        if (table.lumaFlag[reference]) {
            weights[reference][0][0] = static_cast<int16_t>(table.lumaWeight[reference]);
            weights[reference][0][1] = static_cast<int16_t>(table.lumaOffset[reference]);
        } else {
            weights[reference][0][0] = DefaultWeight(sh.luma_log2_weight_denom);
            weights[reference][0][1] = 0;
        }
        for (size_t chroma = 0; chroma < 2; ++chroma) {
            if (table.chromaFlag[reference]) {
                weights[reference][1 + chroma][0] = static_cast<int16_t>(table.chromaWeight[reference][chroma]);
                weights[reference][1 + chroma][1] = static_cast<int16_t>(table.chromaOffset[reference][chroma]);
            } else {
                weights[reference][1 + chroma][0] = DefaultWeight(sh.chroma_log2_weight_denom);
                weights[reference][1 + chroma][1] = 0;
            }
        }
    }
}

}  // namespace

int32_t FillPictureParametersH264(const H264Stream& stream, const H264PictureReferences& references, bool intelVendorMode,
                                  uint32_t& statusReportCounter, void* buffer, size_t bufferSize)
{
    if (!DxvaBufferHasRoom(buffer, bufferSize, kPicParamsSize, "h264 picture parameters") ||
        !HasActiveParameterSets(stream))
        return -1;

    DXVA_PicParams_H264 pp{};
    FillSequenceAndPictureFields(stream, pp);
    pp.CurrPic.bPicEntry = DxvaPicEntry(references.surface);
    FillReferenceFrames(references, pp);
    // Intel's vendor mode wants its own value here; 3 elsewhere.
    pp.Reserved16Bits = intelVendorMode ? 0x34C : 3;

    pp.StatusReportFeedbackNumber = TakeStatusReportFeedbackNumber(statusReportCounter);
    std::memcpy(buffer, &pp, sizeof(pp));
    return kPicParamsSize;
}

int32_t FillQuantizationMatrixH264(const H264Stream& stream, void* buffer, size_t bufferSize)
{
    if (!DxvaBufferHasRoom(buffer, bufferSize, kQmatrixSize, "h264 quantization matrix") ||
        !HasActiveParameterSets(stream))
        return -1;

    // The parser has already resolved the lists of the PPS against its SPS.
    // Only the two luma 8x8 lists (intra, inter) have a place in the buffer.
    DXVA_Qmatrix_H264 qm{};
    static_assert(sizeof(qm.bScalingLists4x4) == sizeof(H264Pps{}.ScalingList4x4));
    static_assert(sizeof(qm.bScalingLists8x8) <= sizeof(H264Pps{}.ScalingList8x8));
    std::memcpy(qm.bScalingLists4x4, stream.pps->ScalingList4x4, sizeof(qm.bScalingLists4x4));
    std::memcpy(qm.bScalingLists8x8, stream.pps->ScalingList8x8, sizeof(qm.bScalingLists8x8));

    std::memcpy(buffer, &qm, sizeof(qm));
    return kQmatrixSize;
}

int32_t FillSliceControlH264(const H264Stream& stream, const H264PictureReferences& references, const H264SliceLists& lists,
                             bool intelVendorMode, void* entry, size_t entrySpace, uint32_t location, uint32_t size)
{
    if (!DxvaBufferHasRoom(entry, entrySpace, kSliceLongSize, "h264 slice control") ||
        !HasActiveParameterSets(stream) || stream.loc == nullptr)
        return -1;

    const H264SliceHeader& sh = *stream.sh;
    DXVA_Slice_H264_Long slice{};
    slice.BSNALunitDataLocation = location;
    slice.SliceBytesInBuffer = size;
    slice.wBadSliceChopping = 0;
    slice.first_mb_in_slice = static_cast<uint16_t>(sh.first_mb_in_slice);
    slice.NumMbsForSlice = 0;
    slice.BitOffsetToSliceData = static_cast<uint16_t>(stream.loc->headerBits);
    slice.slice_type = static_cast<uint8_t>(sh.slice_type);
    slice.luma_log2_weight_denom = static_cast<uint8_t>(sh.luma_log2_weight_denom);
    slice.chroma_log2_weight_denom = static_cast<uint8_t>(sh.chroma_log2_weight_denom);
    // The active counts, whether the slice overrides the PPS's or not.
    slice.num_ref_idx_l0_active_minus1 = static_cast<uint8_t>(lists.count[0] > 0 ? lists.count[0] - 1 : 0);
    slice.num_ref_idx_l1_active_minus1 = static_cast<uint8_t>(lists.count[1] > 0 ? lists.count[1] - 1 : 0);
    slice.slice_alpha_c0_offset_div2 = static_cast<int8_t>(sh.slice_alpha_c0_offset_div2);
    slice.slice_beta_offset_div2 = static_cast<int8_t>(sh.slice_beta_offset_div2);

    std::memset(slice.RefPicList, kDxvaEmptyPicEntry, sizeof(slice.RefPicList));
    for (uint32_t list = 0; list < 2; ++list) {
        for (uint32_t index = 0; index < lists.count[list] && index < H264SliceLists::kMaxEntries; ++index) {
            const uint8_t frame = lists.entries[list][index];
            if (frame >= H264PictureReferences::kListSize)
                continue;
            // An index into RefFrameList; Intel's vendor mode names the frame's surface instead.
            slice.RefPicList[list][index].bPicEntry = DxvaPicEntry(intelVendorMode ? references.RefFrameList[frame] : frame);
        }
    }
    FillListWeights(sh, {sh.luma_weight_l0_flag, sh.luma_weight_l0, sh.luma_offset_l0, sh.chroma_weight_l0_flag, sh.chroma_weight_l0,
                         sh.chroma_offset_l0}, lists.count[0], slice.Weights[0]);
    FillListWeights(sh, {sh.luma_weight_l1_flag, sh.luma_weight_l1, sh.luma_offset_l1, sh.chroma_weight_l1_flag, sh.chroma_weight_l1,
                         sh.chroma_offset_l1}, lists.count[1], slice.Weights[1]);

    slice.slice_qs_delta = static_cast<int8_t>(sh.slice_qs_delta);
    slice.slice_qp_delta = static_cast<int8_t>(sh.slice_qp_delta);
    slice.redundant_pic_cnt = static_cast<uint8_t>(sh.redundant_pic_cnt);
    slice.direct_spatial_mv_pred_flag = static_cast<uint8_t>(sh.direct_spatial_mv_pred_flag);
    slice.cabac_init_idc = static_cast<uint8_t>(sh.cabac_init_idc);
    slice.disable_deblocking_filter_idc = static_cast<uint8_t>(sh.disable_deblocking_filter_idc);
    slice.slice_id = static_cast<uint16_t>(stream.loc->slice_id);

    std::memcpy(entry, &slice, sizeof(slice));
    return kSliceLongSize;
}
