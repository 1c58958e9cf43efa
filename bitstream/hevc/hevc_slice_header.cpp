#include <algorithm>
#include <cstdint>
#include <cstring>

#include "bitstream/hevc/hevc_syntax.h"

namespace {

constexpr uint32_t kSliceTypeB = 0;
constexpr uint32_t kSliceTypeP = 1;
// Standard ranges of counts that drive loops or size u(v) reads.
constexpr uint32_t kMaxOffsetLenMinus1 = 31;
constexpr uint32_t kMaxSliceSegmentHeaderExtensionLength = 256;
constexpr uint32_t kMaxRefIdxActiveMinus1 = 14;

uint32_t CeilLog2Of64(uint64_t x)
{
    uint32_t bits = 0;
    while (bits < 64 && (uint64_t{1} << bits) < x)
        ++bits;
    return bits;
}

// Bits of slice_segment_address: Ceil(Log2(PicSizeInCtbsY)). Computed in 64
// bits so that no SPS value, sensible or not, can overflow it.
uint32_t SliceAddressBits(const HevcSps& sps)
{
    const uint64_t log2CtbSize = uint64_t{sps.log2_min_luma_coding_block_size_minus3} + 3 +
                                 sps.log2_diff_max_min_luma_coding_block_size;
    const uint32_t shift = log2CtbSize > 40 ? 40 : static_cast<uint32_t>(log2CtbSize);
    const uint64_t ctbSize = uint64_t{1} << shift;
    const uint64_t widthInCtbs = (uint64_t{sps.pic_width_in_luma_samples} + ctbSize - 1) / ctbSize;
    const uint64_t heightInCtbs = (uint64_t{sps.pic_height_in_luma_samples} + ctbSize - 1) / ctbSize;
    return CeilLog2Of64(widthInCtbs * heightInCtbs);
}

// pred_weight_table(): consumed so that the fields after it are read from
// their own bits; the weights themselves have no reader.
void SkipPredWeightTable(BitReader& reader, const HevcSps& sps, const HevcSliceHeader& sh, uint32_t l0ActiveMinus1,
                         uint32_t l1ActiveMinus1)
{
    const bool hasChroma = sps.chroma_format_idc != 0;
    ReadUe(reader);  // luma_log2_weight_denom
    if (hasChroma)
        ReadSe(reader);  // delta_chroma_log2_weight_denom
    const uint32_t listCount = sh.slice_type == kSliceTypeB ? 2 : 1;
    for (uint32_t list = 0; list < listCount; ++list) {
        const uint32_t count = (list == 0 ? l0ActiveMinus1 : l1ActiveMinus1) + 1;
        uint32_t lumaWeightFlag[kMaxRefIdxActiveMinus1 + 1] = {};
        uint32_t chromaWeightFlag[kMaxRefIdxActiveMinus1 + 1] = {};
        for (uint32_t i = 0; i < count; ++i)
            lumaWeightFlag[i] = ReadBit(reader);
        if (hasChroma) {
            for (uint32_t i = 0; i < count; ++i)
                chromaWeightFlag[i] = ReadBit(reader);
        }
        for (uint32_t i = 0; i < count; ++i) {
            if (lumaWeightFlag[i]) {
                ReadSe(reader);  // delta_luma_weight
                ReadSe(reader);  // luma_offset
            }
            if (chromaWeightFlag[i]) {
                for (int j = 0; j < 4; ++j)
                    ReadSe(reader);  // delta_chroma_weight and delta_chroma_offset of Cb and Cr
            }
        }
    }
}

bool ParseLongTermPictures(BitReader& reader, const HevcSps& sps, HevcSliceHeader& sh, HevcParseFailure& failure)
{
    if (sps.num_long_term_ref_pics_sps > 0 &&
        !ReadHevcUeMax(reader, "num_long_term_sps", sps.num_long_term_ref_pics_sps, sh.num_long_term_sps, failure))
        return false;
    if (!ReadHevcUeMax(reader, "num_long_term_pics", kHevcMaxLongTermPics - sh.num_long_term_sps, sh.num_long_term_pics, failure))
        return false;
    const int ltIdxBits = static_cast<int>(CeilLog2(sps.num_long_term_ref_pics_sps));
    const int pocLsbBits = static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4);
    for (uint32_t i = 0; i < sh.num_long_term_sps + sh.num_long_term_pics; ++i) {
        if (i < sh.num_long_term_sps) {
            if (sps.num_long_term_ref_pics_sps > 1)
                sh.lt_idx_sps[i] = ReadBits(reader, ltIdxBits);
            if (sh.lt_idx_sps[i] >= sps.num_long_term_ref_pics_sps)
                return FailHevcParse(failure, "parser: lt_idx_sps out of range: %u (at most %u)", sh.lt_idx_sps[i],
                                     sps.num_long_term_ref_pics_sps - 1);
        } else {
            sh.poc_lsb_lt[i] = ReadBits(reader, pocLsbBits);
            sh.used_by_curr_pic_lt_flag[i] = ReadBit(reader);
        }
        sh.delta_poc_msb_present_flag[i] = ReadBit(reader);
        if (sh.delta_poc_msb_present_flag[i])
            sh.delta_poc_msb_cycle_lt[i] = ReadUe(reader);
    }
    return true;
}

// Also counts NumPicTotalCurr, the pictures the slice may reference.
bool ParseReferenceSets(HevcStream& stream, BitReader& reader, const HevcSps& sps, HevcSliceHeader& sh,
                        HevcSliceSelection& selection, uint32_t& numPicTotalCurr, HevcParseFailure& failure)
{
    numPicTotalCurr = 0;
    sh.slice_pic_order_cnt_lsb = ReadBits(reader, static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4));
    sh.short_term_ref_pic_set_sps_flag = ReadBit(reader);
    if (!sh.short_term_ref_pic_set_sps_flag) {
        // The slice's own set replaces the SPS's slot once the header is
        // complete; an inter-predicted one starts from the slot's content.
        stream.stRpsScratch = sps.stRps;
        HevcShortTermRpsCounts counts{};
        if (!ParseHevcShortTermRps(reader, sps.num_short_term_ref_pic_sets, sps.num_short_term_ref_pic_sets,
                                   sps.NumDeltaPocs, sps.stRefPicSets, stream.stRpsScratch, counts, sh.stRefPicSet,
                                   failure))
            return false;
        selection.ownShortTermRps = true;
        numPicTotalCurr = counts.numUsedByCurr;
    } else {
        if (sps.num_short_term_ref_pic_sets > 1)
            sh.short_term_ref_pic_set_idx = ReadBits(reader, static_cast<int>(CeilLog2(sps.num_short_term_ref_pic_sets)));
        // A slice naming a set the SPS does not have reads it as empty.
        if (sh.short_term_ref_pic_set_idx < sps.num_short_term_ref_pic_sets) {
            numPicTotalCurr = sps.NumUsedByCurrPics[sh.short_term_ref_pic_set_idx];
            sh.stRefPicSet = sps.stRefPicSets[sh.short_term_ref_pic_set_idx];
        }
    }
    if (sps.long_term_ref_pics_present_flag) {
        if (!ParseLongTermPictures(reader, sps, sh, failure))
            return false;
        for (uint32_t i = 0; i < sh.num_long_term_sps + sh.num_long_term_pics; ++i) {
            numPicTotalCurr += i < sh.num_long_term_sps ? sps.used_by_curr_pic_lt_sps_flag[sh.lt_idx_sps[i]]
                                                        : sh.used_by_curr_pic_lt_flag[i];
        }
    }
    if (sps.sps_temporal_mvp_enabled_flag)
        sh.slice_temporal_mvp_enabled_flag = ReadBit(reader);
    return true;
}

// ref_pic_lists_modification(): consumed, the entries have no reader.
void SkipRefPicListsModification(BitReader& reader, const HevcSliceHeader& sh, uint32_t l0ActiveMinus1,
                                 uint32_t l1ActiveMinus1, uint32_t numPicTotalCurr)
{
    const int entryBits = static_cast<int>(CeilLog2(numPicTotalCurr));
    const uint32_t listCount = sh.slice_type == kSliceTypeB ? 2 : 1;
    for (uint32_t list = 0; list < listCount; ++list) {
        const uint32_t ref_pic_list_modification_flag = ReadBit(reader);
        if (ref_pic_list_modification_flag) {
            const uint32_t count = (list == 0 ? l0ActiveMinus1 : l1ActiveMinus1) + 1;
            for (uint32_t i = 0; i < count; ++i)
                ReadBits(reader, entryBits);  // list_entry
        }
    }
}

bool ParseInterPrediction(BitReader& reader, const HevcSps& sps, const HevcPps& pps, HevcSliceHeader& sh,
                          uint32_t numPicTotalCurr, HevcParseFailure& failure)
{
    sh.num_ref_idx_active_override_flag = ReadBit(reader);
    if (sh.num_ref_idx_active_override_flag) {
        sh.num_ref_idx_l0_active_minus1 = ReadUe(reader);
        if (sh.slice_type == kSliceTypeB)
            sh.num_ref_idx_l1_active_minus1 = ReadUe(reader);
    }
    const uint32_t l0ActiveMinus1 = sh.num_ref_idx_active_override_flag ? sh.num_ref_idx_l0_active_minus1
                                                                        : pps.num_ref_idx_l0_default_active_minus1;
    const uint32_t l1ActiveMinus1 = sh.num_ref_idx_active_override_flag ? sh.num_ref_idx_l1_active_minus1
                                                                        : pps.num_ref_idx_l1_default_active_minus1;
    // They size the loops of the two skipped structures below.
    if (l0ActiveMinus1 > kMaxRefIdxActiveMinus1 || (sh.slice_type == kSliceTypeB && l1ActiveMinus1 > kMaxRefIdxActiveMinus1)) {
        return FailHevcParse(failure, "parser: active reference count out of range: %u, %u (at most %u)",
                             l0ActiveMinus1, l1ActiveMinus1, kMaxRefIdxActiveMinus1);
    }
    if (pps.lists_modification_present_flag && numPicTotalCurr > 1)
        SkipRefPicListsModification(reader, sh, l0ActiveMinus1, l1ActiveMinus1, numPicTotalCurr);
    if (sh.slice_type == kSliceTypeB)
        sh.mvd_l1_zero_flag = ReadBit(reader);
    if (pps.cabac_init_present_flag)
        sh.cabac_init_flag = ReadBit(reader);
    if (sh.slice_temporal_mvp_enabled_flag) {
        if (sh.slice_type == kSliceTypeB)
            sh.collocated_from_l0_flag = ReadBit(reader);
        if ((sh.collocated_from_l0_flag && l0ActiveMinus1 > 0) || (!sh.collocated_from_l0_flag && l1ActiveMinus1 > 0))
            sh.collocated_ref_idx = ReadUe(reader);
    }
    const bool weighted = sh.slice_type == kSliceTypeP ? pps.weighted_pred_flag : pps.weighted_bipred_flag;
    if (weighted)
        SkipPredWeightTable(reader, sps, sh, l0ActiveMinus1, l1ActiveMinus1);
    sh.five_minus_max_num_merge_cand = ReadUe(reader);
    return true;
}

void ParseQpAndFilters(BitReader& reader, const HevcPps& pps, HevcSliceHeader& sh)
{
    sh.slice_qp_delta = ReadSe(reader);
    if (pps.pps_slice_chroma_qp_offsets_present_flag) {
        sh.slice_cb_qp_offset = ReadSe(reader);
        sh.slice_cr_qp_offset = ReadSe(reader);
    }
    sh.slice_beta_offset_div2 = pps.pps_beta_offset_div2;
    sh.slice_tc_offset_div2 = pps.pps_tc_offset_div2;
    if (pps.deblocking_filter_override_enabled_flag)
        sh.deblocking_filter_override_flag = ReadBit(reader);
    if (sh.deblocking_filter_override_flag) {
        sh.slice_deblocking_filter_disabled_flag = ReadBit(reader);
        if (!sh.slice_deblocking_filter_disabled_flag) {
            sh.slice_beta_offset_div2 = ReadSe(reader);
            sh.slice_tc_offset_div2 = ReadSe(reader);
        }
    } else {
        sh.slice_deblocking_filter_disabled_flag = pps.pps_deblocking_filter_disabled_flag;
    }
    if (pps.pps_loop_filter_across_slices_enabled_flag &&
        (sh.slice_sao_luma_flag || sh.slice_sao_chroma_flag || !sh.slice_deblocking_filter_disabled_flag))
        sh.slice_loop_filter_across_slices_enabled_flag = ReadBit(reader);
}

bool ParseEntryPoints(BitReader& reader, HevcSliceHeader& sh, HevcParseFailure& failure)
{
    sh.num_entry_point_offsets = ReadUe(reader);
    if (sh.num_entry_point_offsets == 0)
        return true;
    if (!ReadHevcUeMax(reader, "offset_len_minus1", kMaxOffsetLenMinus1, sh.offset_len_minus1, failure))
        return false;
    // The offsets locate substreams the hardware finds for itself, so they
    // are skipped whole. A count that runs past the data is garbage.
    const uint64_t offsetBits = uint64_t{sh.num_entry_point_offsets} * (sh.offset_len_minus1 + 1);
    SkipBits(reader, static_cast<size_t>(std::min<uint64_t>(offsetBits, SIZE_MAX / 2)));
    if (HasOverrun(reader)) {
        return FailHevcParse(failure, "parser: num_entry_point_offsets %u runs past the end of the slice",
                             sh.num_entry_point_offsets);
    }
    return true;
}

bool ParseHeaderExtension(BitReader& reader, HevcSliceHeader& sh, HevcParseFailure& failure)
{
    if (!ReadHevcUeMax(reader, "slice_segment_header_extension_length", kMaxSliceSegmentHeaderExtensionLength,
                       sh.slice_segment_header_extension_length, failure))
        return false;
    for (uint32_t i = 0; i < sh.slice_segment_header_extension_length; ++i) {
        const uint32_t byte = ReadBits(reader, 8);
        if (i < kHevcMaxStoredExtensionBytes)
            sh.slice_segment_header_extension_data_byte[i] = byte;
    }
    return true;
}

} // namespace

bool ParseHevcSliceSegmentHeader(HevcStream& stream, BitReader& reader, uint32_t nal_unit_type,
                                 HevcSliceSelection& selection, HevcParseFailure& failure)
{
    HevcSliceHeader& sh = stream.shScratch;
    std::memset(&sh, 0, sizeof(sh));
    sh.collocated_from_l0_flag = 1;
    selection = {};

    const bool isIrap = nal_unit_type >= 16 && nal_unit_type <= 23;
    const bool isIdr = nal_unit_type == 19 || nal_unit_type == 20;

    sh.first_slice_segment_in_pic_flag = ReadBit(reader);
    if (isIrap)
        sh.no_output_of_prior_pics_flag = ReadBit(reader);
    if (!ReadHevcUeMax(reader, "slice_pic_parameter_set_id", kHevcMaxPpsCount - 1, sh.slice_pic_parameter_set_id, failure))
        return false;
    // A set never received reads as its zero-filled slot.
    const HevcPps& pps = stream.ppsTable[sh.slice_pic_parameter_set_id];
    const HevcSps& sps = stream.spsTable[pps.pps_seq_parameter_set_id];
    selection.pps = &stream.ppsTable[sh.slice_pic_parameter_set_id];
    selection.sps = &stream.spsTable[pps.pps_seq_parameter_set_id];

    if (!sh.first_slice_segment_in_pic_flag) {
        if (pps.dependent_slice_segments_enabled_flag)
            sh.dependent_slice_segment_flag = ReadBit(reader);
        const uint32_t addressBits = SliceAddressBits(sps);
        if (addressBits > 32) {
            return FailHevcParse(failure, "parser: slice_segment_address of %u bits", addressBits);
        }
        sh.slice_segment_address = ReadBits(reader, static_cast<int>(addressBits));
    }

    if (!sh.dependent_slice_segment_flag) {
        SkipBits(reader, pps.num_extra_slice_header_bits);
        sh.slice_type = ReadUe(reader);
        if (pps.output_flag_present_flag)
            sh.pic_output_flag = ReadBit(reader);
        if (sps.separate_colour_plane_flag)
            sh.colour_plane_id = ReadBits(reader, 2);
        uint32_t numPicTotalCurr = 0;
        if (!isIdr && !ParseReferenceSets(stream, reader, sps, sh, selection, numPicTotalCurr, failure))
            return false;
        if (sps.sample_adaptive_offset_enabled_flag) {
            sh.slice_sao_luma_flag = ReadBit(reader);
            if (sps.chroma_format_idc != 0)
                sh.slice_sao_chroma_flag = ReadBit(reader);
        }
        if ((sh.slice_type == kSliceTypeP || sh.slice_type == kSliceTypeB) &&
            !ParseInterPrediction(reader, sps, pps, sh, numPicTotalCurr, failure))
            return false;
        ParseQpAndFilters(reader, pps, sh);
    }

    if ((pps.tiles_enabled_flag || pps.entropy_coding_sync_enabled_flag) && !ParseEntryPoints(reader, sh, failure))
        return false;
    if (pps.slice_segment_header_extension_present_flag && !ParseHeaderExtension(reader, sh, failure))
        return false;
    return true;
}
