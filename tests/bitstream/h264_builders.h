#pragma once

#include <cstdint>
#include <vector>

#include "bit_writer.h"
#include "bitstream/nal_unit.h"

// Hand-made H.264 parameter sets and slices with the knobs the parser tests
// turn; everything else takes a plain, valid value.

struct SpsOptions {
    uint32_t profile_idc = 100;
    uint64_t seq_parameter_set_id = 0;
    uint32_t chroma_format_idc = 1;
    bool scalingMatrix = false;
    std::vector<std::vector<int>> scalingDeltas = {};  // per list; empty = list not present
    uint32_t pic_order_cnt_type = 0;
    uint64_t num_ref_frames_in_pic_order_cnt_cycle = 0;
    uint32_t pic_width_in_mbs_minus1 = 119;
    uint32_t pic_height_in_map_units_minus1 = 67;
    uint32_t frame_mbs_only_flag = 1;
    uint32_t frame_crop_bottom_offset = 0;
    bool timing = false;
    uint32_t num_units_in_tick = 1;
    uint32_t time_scale = 50;
    int64_t cpb_cnt_minus1 = -1;  // >= 0: a NAL HRD is present
};

inline std::vector<uint8_t> MakeSps(const SpsOptions& s)
{
    BitWriter w;
    w.u(8, s.profile_idc).u(8, 0).u(8, 40).ue(s.seq_parameter_set_id);
    if (s.profile_idc == 100 || s.profile_idc == 244) {
        w.ue(s.chroma_format_idc);
        if (s.chroma_format_idc == 3)
            w.u(1, 0);
        w.ue(0).ue(0).u(1, 0).u(1, s.scalingMatrix);
        if (s.scalingMatrix) {
            for (size_t i = 0; i < (s.chroma_format_idc == 3 ? 12u : 8u); ++i) {
                bool present = i < s.scalingDeltas.size() && !s.scalingDeltas[i].empty();
                w.u(1, present);
                if (present) {
                    for (int delta : s.scalingDeltas[i])
                        w.se(delta);
                }
            }
        }
    }
    w.ue(0).ue(s.pic_order_cnt_type);  // frame_num: 4 bits
    if (s.pic_order_cnt_type == 0)
        w.ue(2);  // pic_order_cnt_lsb: 6 bits
    if (s.pic_order_cnt_type == 1) {
        w.u(1, 0).se(0).se(0).ue(s.num_ref_frames_in_pic_order_cnt_cycle);
        for (uint64_t i = 0; i < s.num_ref_frames_in_pic_order_cnt_cycle; ++i)
            w.se(static_cast<int64_t>(i % 5) - 2);
    }
    w.ue(4).u(1, 0).ue(s.pic_width_in_mbs_minus1).ue(s.pic_height_in_map_units_minus1).u(1, s.frame_mbs_only_flag);
    if (!s.frame_mbs_only_flag)
        w.u(1, 0);
    w.u(1, 1).u(1, s.frame_crop_bottom_offset != 0);
    if (s.frame_crop_bottom_offset != 0)
        w.ue(0).ue(0).ue(0).ue(s.frame_crop_bottom_offset);
    bool vui = s.timing || s.cpb_cnt_minus1 >= 0;
    w.u(1, vui);
    if (vui) {
        w.u(1, 0).u(1, 0).u(1, 0).u(1, 0).u(1, s.timing);
        if (s.timing)
            w.u(32, s.num_units_in_tick).u(32, s.time_scale).u(1, 1);
        w.u(1, s.cpb_cnt_minus1 >= 0);
        if (s.cpb_cnt_minus1 >= 0) {
            w.ue(static_cast<uint64_t>(s.cpb_cnt_minus1)).u(4, 1).u(4, 2);
            for (int64_t i = 0; i <= s.cpb_cnt_minus1 && i < 40; ++i)
                w.ue(1000 + static_cast<uint64_t>(i)).ue(2000).u(1, 1);
            w.u(5, 23).u(5, 23).u(5, 23).u(5, 24);
        }
        w.u(1, 0);
        if (s.cpb_cnt_minus1 >= 0)
            w.u(1, 0);
        w.u(1, 0).u(1, 0);
    }
    w.trailing();
    return w.nal({0x67});
}

struct PpsOptions {
    uint64_t pic_parameter_set_id = 0;
    uint64_t seq_parameter_set_id = 0;
    uint32_t entropy_coding_mode_flag = 1;
    uint64_t num_slice_groups_minus1 = 0;
    uint32_t slice_group_map_type = 0;
    uint64_t pic_size_in_map_units_minus1 = 0;
    uint64_t num_ref_idx_l0_default_active_minus1 = 0;
    uint32_t weighted_pred_flag = 0;
    uint32_t weighted_bipred_idc = 0;
    int chroma_qp_index_offset = -2;
    bool highExtension = false;
    uint32_t transform_8x8_mode_flag = 1;
    bool scalingMatrix = false;
    std::vector<std::vector<int>> scalingDeltas = {};
    int second_chroma_qp_index_offset = 3;
};

inline std::vector<uint8_t> MakePps(const PpsOptions& s)
{
    BitWriter w;
    w.ue(s.pic_parameter_set_id).ue(s.seq_parameter_set_id).u(1, s.entropy_coding_mode_flag).u(1, 0);
    w.ue(s.num_slice_groups_minus1);
    if (s.num_slice_groups_minus1 > 0) {
        w.ue(s.slice_group_map_type);
        if (s.slice_group_map_type == 0) {
            for (uint64_t i = 0; i <= s.num_slice_groups_minus1 && i < 20; ++i)
                w.ue(5);
        } else if (s.slice_group_map_type == 6) {
            w.ue(s.pic_size_in_map_units_minus1);
            for (uint64_t i = 0; i <= s.pic_size_in_map_units_minus1 && i < 300; ++i)
                w.u(static_cast<int>(CeilLog2(static_cast<uint32_t>(s.num_slice_groups_minus1) + 1)), i % (s.num_slice_groups_minus1 + 1));
        }
    }
    w.ue(s.num_ref_idx_l0_default_active_minus1).ue(0).u(1, s.weighted_pred_flag).u(2, s.weighted_bipred_idc);
    w.se(0).se(0).se(s.chroma_qp_index_offset).u(1, 1).u(1, 0).u(1, 0);
    if (s.highExtension) {
        w.u(1, s.transform_8x8_mode_flag).u(1, s.scalingMatrix);
        if (s.scalingMatrix) {
            for (size_t i = 0; i < 6 + 2 * s.transform_8x8_mode_flag; ++i) {
                bool present = i < s.scalingDeltas.size() && !s.scalingDeltas[i].empty();
                w.u(1, present);
                if (present) {
                    for (int delta : s.scalingDeltas[i])
                        w.se(delta);
                }
            }
        }
        w.se(s.second_chroma_qp_index_offset);
    }
    w.trailing();
    return w.nal({0x68});
}

// A P slice (nal_ref_idc 2, non-IDR) for the SPS and PPS above with their
// defaults: frame_num 4 bits, pic_order_cnt_lsb 6 bits, CABAC, deblocking
// control present.
struct SliceOptions {
    uint64_t pic_parameter_set_id = 0;
    bool override = false;
    uint64_t num_ref_idx_l0_active_minus1 = 0;
    size_t modificationOperations = 0;  // including the closing idc 3
    size_t markingOperations = 0;       // including the closing operation 0
    bool weighted = false;              // the PPS has weighted_pred_flag
    size_t weightEntries = 1;
};

struct BuiltSlice {
    std::vector<uint8_t> nal;
    size_t headerBits;  // RBSP bits before the slice data
};

inline BuiltSlice MakePSlice(const SliceOptions& s)
{
    BitWriter w;
    w.ue(0).ue(5).ue(s.pic_parameter_set_id).u(4, 1).u(6, 2);
    w.u(1, s.override);
    if (s.override)
        w.ue(s.num_ref_idx_l0_active_minus1);
    w.u(1, s.modificationOperations > 0);
    for (size_t k = 0; k + 1 < s.modificationOperations; ++k)
        w.ue(0).ue(k);
    if (s.modificationOperations > 0)
        w.ue(3);
    if (s.weighted) {
        w.ue(0).ue(0);
        for (size_t i = 0; i < s.weightEntries; ++i) {
            bool luma = i % 2 == 1;  // every other entry carries a luma weight
            w.u(1, luma);
            if (luma)
                w.se(2).se(-1);
            w.u(1, 0);
        }
    }
    w.u(1, s.markingOperations > 0);
    for (size_t k = 0; k + 1 < s.markingOperations; ++k)
        w.ue(1).ue(k);
    if (s.markingOperations > 0)
        w.ue(0);
    w.ue(0).se(-3).ue(1);
    size_t headerBits = w.bitCount();
    w.u(8, 0xA5).u(8, 0x5A).u(8, 0xC3).trailing();
    return {w.nal({0x41}), headerBits};
}
