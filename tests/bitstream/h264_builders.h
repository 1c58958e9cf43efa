#pragma once

#include <cstdint>
#include <vector>

#include "bit_writer.h"
#include "bitstream/nal_unit.h"

// Hand-made H.264 parameter sets and slices with the knobs the parser tests
// turn; everything else takes a plain, valid value.

// Scaling matrices as deltas per list, 8 lists; a list without deltas is not
// coded. Empty: no matrix.
using ScalingDeltas = std::vector<std::vector<int64_t>>;

inline void WriteScalingMatrix(BitWriter& w, const ScalingDeltas& lists)
{
    for (size_t i = 0; i < 8; ++i) {
        w.u(1, i < lists.size() && !lists[i].empty());
        for (int64_t delta : i < lists.size() ? lists[i] : std::vector<int64_t>{})
            w.se(delta);
    }
}

struct SpsOptions {
    uint64_t seq_parameter_set_id = 0;
    uint32_t pic_order_cnt_type = 0;
    uint64_t num_ref_frames_in_pic_order_cnt_cycle = 0;
    int64_t cpb_cnt_minus1 = -1;  // >= 0: a VUI with a NAL HRD is present
    ScalingDeltas scalingDeltas = {};
};

// High profile, 4:2:0, frame_num of 4 bits, pic_order_cnt_lsb of 6 bits.
inline std::vector<uint8_t> MakeSps(const SpsOptions& s)
{
    BitWriter w;
    w.u(8, 100).u(8, 0).u(8, 40).ue(s.seq_parameter_set_id).ue(1).ue(0).ue(0).u(1, 0).u(1, !s.scalingDeltas.empty());
    if (!s.scalingDeltas.empty())
        WriteScalingMatrix(w, s.scalingDeltas);
    w.ue(0).ue(s.pic_order_cnt_type);
    if (s.pic_order_cnt_type == 0)
        w.ue(2);
    if (s.pic_order_cnt_type == 1) {
        w.u(1, 0).se(0).se(0).ue(s.num_ref_frames_in_pic_order_cnt_cycle);
        for (uint64_t i = 0; i < s.num_ref_frames_in_pic_order_cnt_cycle; ++i)
            w.se(static_cast<int64_t>(i % 5) - 2);
    }
    w.ue(4).u(1, 0).ue(119).ue(67).u(1, 1).u(1, 1).u(1, 0).u(1, s.cpb_cnt_minus1 >= 0);
    if (s.cpb_cnt_minus1 >= 0) {
        w.u(5, 0).u(1, 1).ue(static_cast<uint64_t>(s.cpb_cnt_minus1)).u(4, 1).u(4, 2);
        for (int64_t i = 0; i <= s.cpb_cnt_minus1 && i < 40; ++i)
            w.ue(1000 + static_cast<uint64_t>(i)).ue(2000).u(1, 1);
        w.u(5, 23).u(5, 23).u(5, 23).u(5, 24).u(1, 0).u(1, 0).u(1, 0).u(1, 0);
    }
    w.trailing();
    return w.nal({0x67});
}

struct PpsOptions {
    uint64_t pic_parameter_set_id = 0;
    uint64_t num_slice_groups_minus1 = 0;
    uint32_t slice_group_map_type = 0;
    uint64_t pic_size_in_map_units_minus1 = 0;
    uint64_t num_ref_idx_l0_default_active_minus1 = 0;
    uint32_t weighted_pred_flag = 0;
    ScalingDeltas scalingDeltas = {};  // with an 8x8 transform
};

// CABAC, deblocking control present.
inline std::vector<uint8_t> MakePps(const PpsOptions& s)
{
    BitWriter w;
    w.ue(s.pic_parameter_set_id).ue(0).u(1, 1).u(1, 0).ue(s.num_slice_groups_minus1);
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
    w.ue(s.num_ref_idx_l0_default_active_minus1).ue(0).u(1, s.weighted_pred_flag).u(2, 0);
    w.se(0).se(0).se(-2).u(1, 1).u(1, 0).u(1, 0);
    if (!s.scalingDeltas.empty()) {
        w.u(1, 1).u(1, 1);
        WriteScalingMatrix(w, s.scalingDeltas);
        w.se(-2);
    }
    w.trailing();
    return w.nal({0x68});
}

// A P slice (nal_ref_idc 2, non-IDR) for the SPS and PPS above.
struct SliceOptions {
    uint64_t pic_parameter_set_id = 0;
    bool override = false;
    uint64_t num_ref_idx_l0_active_minus1 = 0;
    size_t modificationOperations = 0;  // including the closing idc 3
    size_t markingOperations = 0;       // including the closing operation 0
    size_t weightEntries = 0;           // > 0: the PPS has weighted_pred_flag
};

inline std::vector<uint8_t> MakePSlice(const SliceOptions& s)
{
    BitWriter w;
    w.ue(0).ue(5).ue(s.pic_parameter_set_id).u(4, 1).u(6, 2).u(1, s.override);
    if (s.override)
        w.ue(s.num_ref_idx_l0_active_minus1);
    w.u(1, s.modificationOperations > 0);
    for (size_t k = 0; k + 1 < s.modificationOperations; ++k)
        w.ue(0).ue(k);
    if (s.modificationOperations > 0)
        w.ue(3);
    if (s.weightEntries > 0)
        w.ue(0).ue(0);
    for (size_t i = 0; i < s.weightEntries; ++i) {
        w.u(1, i % 2);  // every other entry carries a luma weight
        if (i % 2)
            w.se(2).se(-1);
        w.u(1, 0);
    }
    w.u(1, s.markingOperations > 0);
    for (size_t k = 0; k + 1 < s.markingOperations; ++k)
        w.ue(1).ue(k);
    if (s.markingOperations > 0)
        w.ue(0);
    w.ue(0).se(-3).ue(1);
    w.u(24, 0xA55AC3).trailing();
    return w.nal({0x41});
}
