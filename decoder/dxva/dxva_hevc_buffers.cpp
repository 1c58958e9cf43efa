#include <algorithm>
#include <cstring>
#include <type_traits>

#include "bitstream/hevc/hevc_parser.h"
#include "decoder/dxva/dxva_buffer_space.h"
#include "decoder/dxva/dxva_buffers.h"
#include "decoder/dxva/hevc_scan_order.h"
#include "logging/spdlog_logger.h"

namespace {

constexpr int32_t kPicParamsSize = sizeof(DXVA_PicParams_HEVC);
constexpr int32_t kQmatrixSize = sizeof(DXVA_Qmatrix_HEVC);

bool HasActiveParameterSets(const HevcStream& stream)
{
    if (stream.sps == nullptr || stream.pps == nullptr || stream.nal == nullptr) {
        g_Logger.Log(LogLevel::error, "decoder: no active hevc parameter sets for the picture");
        return false;
    }
    return true;
}

void FillSequenceFields(const HevcSps& sps, DXVA_PicParams_HEVC& pp)
{
    const uint32_t minCbShift = sps.log2_min_luma_coding_block_size_minus3 + 3;
    // A shift of 32 or more is undefined; such an SPS names no usable size.
    pp.PicWidthInMinCbsY = static_cast<uint16_t>(minCbShift < 32 ? sps.pic_width_in_luma_samples >> minCbShift : 0);
    pp.PicHeightInMinCbsY = static_cast<uint16_t>(minCbShift < 32 ? sps.pic_height_in_luma_samples >> minCbShift : 0);

    pp.chroma_format_idc = sps.chroma_format_idc;
    pp.separate_colour_plane_flag = sps.separate_colour_plane_flag;
    pp.bit_depth_luma_minus8 = sps.bit_depth_luma_minus8;
    pp.bit_depth_chroma_minus8 = sps.bit_depth_chroma_minus8;
    pp.log2_max_pic_order_cnt_lsb_minus4 = sps.log2_max_pic_order_cnt_lsb_minus4;
    pp.NoPicReorderingFlag = 0;

    // The buffer size of the highest sub-layer: the one that holds every
    // picture the stream keeps when all its sub-layers are decoded.
    const uint32_t highest = std::min(sps.sps_max_sub_layers_minus1, kHevcMaxSubLayers - 1);
    pp.sps_max_dec_pic_buffering_minus1 = static_cast<uint8_t>(sps.sps_max_dec_pic_buffering_minus1[highest]);
    pp.log2_min_luma_coding_block_size_minus3 = static_cast<uint8_t>(sps.log2_min_luma_coding_block_size_minus3);
    pp.log2_diff_max_min_luma_coding_block_size = static_cast<uint8_t>(sps.log2_diff_max_min_luma_coding_block_size);
    pp.log2_min_transform_block_size_minus2 = static_cast<uint8_t>(sps.log2_min_luma_transform_block_size_minus2);
    pp.log2_diff_max_min_transform_block_size = static_cast<uint8_t>(sps.log2_diff_max_min_luma_transform_block_size);
    pp.max_transform_hierarchy_depth_inter = static_cast<uint8_t>(sps.max_transform_hierarchy_depth_inter);
    pp.max_transform_hierarchy_depth_intra = static_cast<uint8_t>(sps.max_transform_hierarchy_depth_intra);
    pp.num_short_term_ref_pic_sets = static_cast<uint8_t>(sps.num_short_term_ref_pic_sets);
    pp.num_long_term_ref_pics_sps = static_cast<uint8_t>(sps.num_long_term_ref_pics_sps);

    pp.scaling_list_enabled_flag = sps.scaling_list_enabled_flag;
    pp.amp_enabled_flag = sps.amp_enabled_flag;
    pp.sample_adaptive_offset_enabled_flag = sps.sample_adaptive_offset_enabled_flag;
    pp.pcm_enabled_flag = sps.pcm_enabled_flag;
    if (sps.pcm_enabled_flag) {
        pp.pcm_sample_bit_depth_luma_minus1 = sps.pcm_sample_bit_depth_luma_minus1;
        pp.pcm_sample_bit_depth_chroma_minus1 = sps.pcm_sample_bit_depth_chroma_minus1;
        pp.log2_min_pcm_luma_coding_block_size_minus3 = sps.log2_min_pcm_luma_coding_block_size_minus3;
        pp.log2_diff_max_min_pcm_luma_coding_block_size = sps.log2_diff_max_min_pcm_luma_coding_block_size;
        pp.pcm_loop_filter_disabled_flag = sps.pcm_loop_filter_disabled_flag;
    }
    pp.long_term_ref_pics_present_flag = sps.long_term_ref_pics_present_flag;
    pp.sps_temporal_mvp_enabled_flag = sps.sps_temporal_mvp_enabled_flag;
    pp.strong_intra_smoothing_enabled_flag = sps.strong_intra_smoothing_enabled_flag;
}

void FillTileFields(const HevcPps& pps, DXVA_PicParams_HEVC& pp)
{
    if (!pps.tiles_enabled_flag)
        return;
    pp.loop_filter_across_tiles_enabled_flag = pps.loop_filter_across_tiles_enabled_flag;
    pp.num_tile_columns_minus1 = static_cast<uint8_t>(pps.num_tile_columns_minus1);
    pp.num_tile_rows_minus1 = static_cast<uint8_t>(pps.num_tile_rows_minus1);
    if (pps.uniform_spacing_flag)
        return;
    // The counts come from the bitstream: bound them by both arrays.
    constexpr size_t kColumnCapacity = std::min(std::extent_v<decltype(DXVA_PicParams_HEVC::column_width_minus1)>,
                                                std::extent_v<decltype(HevcPps::column_width_minus1)>);
    constexpr size_t kRowCapacity = std::min(std::extent_v<decltype(DXVA_PicParams_HEVC::row_height_minus1)>,
                                             std::extent_v<decltype(HevcPps::row_height_minus1)>);
    const size_t columns = std::min<size_t>(size_t{pps.num_tile_columns_minus1} + 1, kColumnCapacity);
    const size_t rows = std::min<size_t>(size_t{pps.num_tile_rows_minus1} + 1, kRowCapacity);
    for (size_t i = 0; i < columns; ++i)
        pp.column_width_minus1[i] = static_cast<uint16_t>(pps.column_width_minus1[i]);
    for (size_t i = 0; i < rows; ++i)
        pp.row_height_minus1[i] = static_cast<uint16_t>(pps.row_height_minus1[i]);
}

void FillPictureFields(const HevcPps& pps, DXVA_PicParams_HEVC& pp)
{
    pp.num_ref_idx_l0_default_active_minus1 = static_cast<uint8_t>(pps.num_ref_idx_l0_default_active_minus1);
    pp.num_ref_idx_l1_default_active_minus1 = static_cast<uint8_t>(pps.num_ref_idx_l1_default_active_minus1);
    pp.init_qp_minus26 = static_cast<int8_t>(pps.init_qp_minus26);

    pp.dependent_slice_segments_enabled_flag = pps.dependent_slice_segments_enabled_flag;
    pp.output_flag_present_flag = pps.output_flag_present_flag;
    pp.num_extra_slice_header_bits = pps.num_extra_slice_header_bits;
    pp.sign_data_hiding_enabled_flag = pps.sign_data_hiding_enabled_flag;
    pp.cabac_init_present_flag = pps.cabac_init_present_flag;

    pp.constrained_intra_pred_flag = pps.constrained_intra_pred_flag;
    pp.transform_skip_enabled_flag = pps.transform_skip_enabled_flag;
    pp.cu_qp_delta_enabled_flag = pps.cu_qp_delta_enabled_flag;
    pp.pps_slice_chroma_qp_offsets_present_flag = pps.pps_slice_chroma_qp_offsets_present_flag;
    pp.weighted_pred_flag = pps.weighted_pred_flag;
    pp.weighted_bipred_flag = pps.weighted_bipred_flag;
    pp.transquant_bypass_enabled_flag = pps.transquant_bypass_enabled_flag;
    pp.tiles_enabled_flag = pps.tiles_enabled_flag;
    pp.entropy_coding_sync_enabled_flag = pps.entropy_coding_sync_enabled_flag;
    pp.uniform_spacing_flag = pps.uniform_spacing_flag;
    pp.pps_loop_filter_across_slices_enabled_flag = pps.pps_loop_filter_across_slices_enabled_flag;
    pp.deblocking_filter_override_enabled_flag = pps.deblocking_filter_override_enabled_flag;
    pp.pps_deblocking_filter_disabled_flag = pps.pps_deblocking_filter_disabled_flag;
    pp.lists_modification_present_flag = pps.lists_modification_present_flag;
    pp.slice_segment_header_extension_present_flag = pps.slice_segment_header_extension_present_flag;

    pp.pps_cb_qp_offset = static_cast<int8_t>(pps.pps_cb_qp_offset);
    pp.pps_cr_qp_offset = static_cast<int8_t>(pps.pps_cr_qp_offset);
    FillTileFields(pps, pp);
    pp.diff_cu_qp_delta_depth = static_cast<uint8_t>(pps.diff_cu_qp_delta_depth);
    pp.pps_beta_offset_div2 = static_cast<int8_t>(pps.pps_beta_offset_div2);
    pp.pps_tc_offset_div2 = static_cast<int8_t>(pps.pps_tc_offset_div2);
    pp.log2_parallel_merge_level_minus2 = static_cast<uint8_t>(pps.log2_parallel_merge_level_minus2);
}

void FillReferences(const HevcPictureReferences& references, DXVA_PicParams_HEVC& pp)
{
    pp.CurrPic.bPicEntry = DxvaPicEntry(references.surface);
    pp.CurrPicOrderCntVal = references.CurrPicOrderCntVal;
    for (uint32_t i = 0; i < HevcPictureReferences::kListSize; ++i) {
        const uint8_t surface = references.RefPicList[i];
        pp.RefPicList[i].bPicEntry = surface == kDxvaEmptyPicEntry ? kDxvaEmptyPicEntry : DxvaPicEntry(surface);
        // The entry's flag bit marks a long-term picture.
        if (surface != kDxvaEmptyPicEntry && references.longTerm[i])
            pp.RefPicList[i].AssociatedFlag = 1;
        pp.PicOrderCntValList[i] = references.PicOrderCntValList[i];
    }
    // A promise that no slice of the picture is bi-predicted; never made for one with a B slice.
    pp.NoBiPredFlag = references.biPredicted ? 0 : 1;
    std::memcpy(pp.RefPicSetStCurrBefore, references.RefPicSetStCurrBefore, sizeof(pp.RefPicSetStCurrBefore));
    std::memcpy(pp.RefPicSetStCurrAfter, references.RefPicSetStCurrAfter, sizeof(pp.RefPicSetStCurrAfter));
    std::memcpy(pp.RefPicSetLtCurr, references.RefPicSetLtCurr, sizeof(pp.RefPicSetLtCurr));
    // Hardware that parses slice headers itself skips the slice's own set by
    // its length.
    pp.wNumBitsForShortTermRPSInSlice = static_cast<uint16_t>(references.sliceShortTermRpsBits);
    pp.ucNumDeltaPocsOfRefRpsIdx = static_cast<uint8_t>(references.sliceRefRpsNumDeltaPocs);
}

// The scaling lists in the order and layout the HEVC quantisation matrix
// buffer wants them.
DXVA_Qmatrix_HEVC BuildQuantizationMatrixHevc(const HevcScalingLists& store)
{
    const auto& list = store.ScalingList;
    DXVA_Qmatrix_HEVC qm{};
    for (size_t matrixId = 0; matrixId < 6; ++matrixId) {
        for (size_t j = 0; j < kUpRightDiagonalScan4x4.size(); ++j)
            qm.ucScalingLists0[matrixId][j] = static_cast<uint8_t>(list[0][matrixId][kUpRightDiagonalScan4x4[j]]);
        for (size_t j = 0; j < kUpRightDiagonalScan8x8.size(); ++j) {
            qm.ucScalingLists1[matrixId][j] = static_cast<uint8_t>(list[1][matrixId][kUpRightDiagonalScan8x8[j]]);
            qm.ucScalingLists2[matrixId][j] = static_cast<uint8_t>(list[2][matrixId][kUpRightDiagonalScan8x8[j]]);
        }
        qm.ucScalingListDCCoefSizeID2[matrixId] = static_cast<uint8_t>(store.ScalingListDcCoef[0][matrixId]);
    }
    // 32x32 blocks carry only the intra and inter luma matrices (matrixId 0 and 3).
    for (size_t m = 0; m < 2; ++m) {
        for (size_t j = 0; j < kUpRightDiagonalScan8x8.size(); ++j)
            qm.ucScalingLists3[m][j] = static_cast<uint8_t>(list[3][3 * m][kUpRightDiagonalScan8x8[j]]);
        qm.ucScalingListDCCoefSizeID3[m] = static_cast<uint8_t>(store.ScalingListDcCoef[1][3 * m]);
    }
    return qm;
}

}  // namespace

int32_t FillPictureParametersHevc(const HevcStream& stream, const HevcPictureReferences& references,
                                  uint32_t& statusReportCounter, void* buffer, size_t bufferSize)
{
    if (!DxvaBufferHasRoom(buffer, bufferSize, kPicParamsSize, "hevc picture parameters") ||
        !HasActiveParameterSets(stream))
        return -1;

    DXVA_PicParams_HEVC pp{};
    FillSequenceFields(*stream.sps, pp);
    FillPictureFields(*stream.pps, pp);

    const uint32_t nalUnitType = stream.nal->nal_unit_type;
    const bool idr = IsHevcIdr(nalUnitType);
    pp.IrapPicFlag = IsHevcIrap(nalUnitType) ? 1 : 0;
    pp.IdrPicFlag = idr ? 1 : 0;
    pp.IntraPicFlag = pp.IdrPicFlag;
    FillReferences(references, pp);

    pp.StatusReportFeedbackNumber = TakeStatusReportFeedbackNumber(statusReportCounter);
    std::memcpy(buffer, &pp, sizeof(pp));
    return kPicParamsSize;
}

int32_t FillQuantizationMatrixHevc(const HevcStream& stream, void* buffer, size_t bufferSize)
{
    if (!DxvaBufferHasRoom(buffer, bufferSize, kQmatrixSize, "hevc quantization matrix") ||
        !HasActiveParameterSets(stream))
        return -1;

    const HevcScalingLists& store =
        stream.pps->pps_scaling_list_data_present_flag ? stream.pps->scalingLists : stream.sps->scalingLists;

    // The matrices depend on the scaling lists alone, which stay the same
    // for whole streams: reorder them again only when they change.
    struct Built {
        bool valid = false;
        HevcScalingLists from;
        DXVA_Qmatrix_HEVC qm;
    };
    static thread_local Built last;
    if (!last.valid || std::memcmp(&last.from, &store, sizeof(store)) != 0) {
        last.qm = BuildQuantizationMatrixHevc(store);
        last.from = store;
        last.valid = true;
    }
    std::memcpy(buffer, &last.qm, sizeof(last.qm));
    return kQmatrixSize;
}
