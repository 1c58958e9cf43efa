#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bitstream/annexb_fixture.h"
#include "bitstream/bit_writer.h"
#include "bitstream/hevc/hevc_parser.h"

using HevcStreamPtr = std::unique_ptr<HevcStream, void (*)(HevcStream*)>;

// rbsp_trailing_bits() and the escaped NAL unit behind a two-byte header.
inline std::vector<uint8_t> MakeNal(BitWriter& writer, uint32_t nal_unit_type)
{
    return writer.trailing().nal({static_cast<uint8_t>(nal_unit_type << 1), 1});
}

// Knobs of the small parameter sets and slices the synthetic tests write.
struct TestSps {
    uint32_t sps_seq_parameter_set_id = 0;
    uint32_t sps_max_sub_layers_minus1 = 0;
    uint32_t sps_sub_layer_ordering_info_present_flag = 1;
    uint32_t log2_max_pic_order_cnt_lsb_minus4 = 4;
    uint32_t num_short_term_ref_pic_sets = 0;
    uint32_t num_negative_pics = 1;  // of each explicit set
    uint32_t delta_poc_s0_minus1 = 0;  // of each of their pictures
    uint32_t num_long_term_ref_pics_sps = 0;
    bool longTermPresent = false;
};

struct TestPps {
    uint32_t pps_pic_parameter_set_id = 0;
    uint32_t pps_seq_parameter_set_id = 0;
    bool tiles = false;
    uint32_t num_tile_columns_minus1 = 0;
    uint32_t num_tile_rows_minus1 = 0;
};

struct TestSlice {
    uint32_t nal_unit_type = 19;
    uint32_t slice_pic_parameter_set_id = 0;
    // Non-IDR types only: the long-term pictures (entry i of low bits i,
    // used, without the high part).
    uint32_t num_long_term_pics = 0;
    std::vector<uint8_t> extension = {};
};

// 1920x1080, 64x64 CTBs, 4:2:0, 8 bits.
inline std::vector<uint8_t> WriteTestSps(const TestSps& sps)
{
    BitWriter w;
    w.u(4, 0).u(3, sps.sps_max_sub_layers_minus1).u(1, 1);
    // profile_tier_level: Main, level 4.1, no sub-layer profiles or levels.
    w.u(2, 0).u(1, 0).u(5, 1).u(32, 0x60000000).u(4, 0b1001).u(43, 0).u(1, 0).u(8, 123);
    for (uint32_t i = 0; i < sps.sps_max_sub_layers_minus1 && i < 8; ++i)
        w.u(2, 0);
    if (sps.sps_max_sub_layers_minus1 > 0 && sps.sps_max_sub_layers_minus1 < 8)
        w.u(2 * static_cast<int>(8 - sps.sps_max_sub_layers_minus1), 0);
    w.ue(sps.sps_seq_parameter_set_id).ue(1).ue(1920).ue(1080).u(1, 0).ue(0).ue(0).ue(sps.log2_max_pic_order_cnt_lsb_minus4).u(1, sps.sps_sub_layer_ordering_info_present_flag);
    const uint32_t first = sps.sps_sub_layer_ordering_info_present_flag ? 0 : sps.sps_max_sub_layers_minus1;
    for (uint32_t i = first; i <= sps.sps_max_sub_layers_minus1 && i < 8; ++i)
        w.ue(4 + i).ue(2).ue(0);
    w.ue(0).ue(3).ue(0).ue(3).ue(0).ue(0).u(1, 0).u(1, 0).u(1, 0).u(1, 0).ue(sps.num_short_term_ref_pic_sets);  // no scaling lists
    for (uint32_t i = 0; i < sps.num_short_term_ref_pic_sets; ++i) {
        if (i > 0)
            w.u(1, 0);
        w.ue(sps.num_negative_pics).ue(0);
        for (uint32_t j = 0; j < sps.num_negative_pics; ++j)
            w.ue(sps.delta_poc_s0_minus1).u(1, 1);
    }
    w.u(1, sps.longTermPresent);
    if (sps.longTermPresent) {
        w.ue(sps.num_long_term_ref_pics_sps);
        for (uint32_t i = 0; i < sps.num_long_term_ref_pics_sps; ++i)
            w.u(static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4), i).u(1, 1);
    }
    w.u(1, 0).u(1, 1).u(1, 0).u(1, 0);  // no temporal mvp, strong intra smoothing, no VUI, no extension
    return MakeNal(w, 33);
}

// Wavefront and slice header extensions enabled.
inline std::vector<uint8_t> WriteTestPps(const TestPps& pps)
{
    BitWriter w;
    w.ue(pps.pps_pic_parameter_set_id).ue(pps.pps_seq_parameter_set_id).u(1, 0).u(1, 0).u(3, 0).u(1, 0).u(1, 0);
    w.ue(0).ue(0).se(0).u(1, 0).u(1, 0).u(1, 0).se(0).se(0).u(1, 0).u(1, 0).u(1, 0).u(1, 0).u(1, pps.tiles).u(1, 1);
    if (pps.tiles) {
        w.ue(pps.num_tile_columns_minus1).ue(pps.num_tile_rows_minus1).u(1, 0);
        for (uint32_t i = 0; i < pps.num_tile_columns_minus1; ++i)
            w.ue(0);
        for (uint32_t i = 0; i < pps.num_tile_rows_minus1; ++i)
            w.ue(0);
        w.u(1, 1);
    }
    w.u(1, 0).u(1, 0).u(1, 0).u(1, 0).ue(0).u(1, 1).u(1, 0);
    return MakeNal(w, 34);
}

// An I slice without entry points, and some slice data.
inline std::vector<uint8_t> WriteTestSlice(const TestSlice& slice)
{
    BitWriter w;
    w.u(1, 1);
    if (slice.nal_unit_type >= 16 && slice.nal_unit_type <= 23)
        w.u(1, 0);
    w.ue(slice.slice_pic_parameter_set_id).ue(2);  // I slice
    if (slice.nal_unit_type != 19 && slice.nal_unit_type != 20) {
        // pic_order_cnt_lsb 0, an empty short-term set of its own, long-term pictures
        w.u(8, 0).u(1, 0).ue(0).ue(0).ue(slice.num_long_term_pics);
        for (uint32_t i = 0; i < slice.num_long_term_pics; ++i)
            w.u(8, i).u(1, 1).u(1, 0);
    }
    // slice_qp_delta, no entry points, the extension
    w.se(0).ue(0).ue(static_cast<uint32_t>(slice.extension.size()));
    for (uint8_t byte : slice.extension)
        w.u(8, byte);
    // byte_alignment() is the trailing-bits pattern; the slice data follows.
    std::vector<uint8_t> nal = MakeNal(w, slice.nal_unit_type);
    nal.insert(nal.end(), 64, 0x5A);
    return nal;
}
