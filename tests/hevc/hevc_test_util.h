#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bitstream/annexb_fixture.h"  // ReadFileBytes, SplitNalUnits
#include "bitstream/bit_writer.h"
#include "bitstream/hevc/hevc_parser.h"

struct HevcStreamDeleter {
    void operator()(HevcStream* stream) const { DestroyHevcStream(stream); }
};
using HevcStreamPtr = std::unique_ptr<HevcStream, HevcStreamDeleter>;

// rbsp_trailing_bits() and the escaped NAL unit behind a two-byte header.
std::vector<uint8_t> MakeNal(BitWriter& writer, uint32_t nal_unit_type);
std::string HevcFixturePath(const std::string& name);

// Knobs of the small parameter sets and slices the synthetic tests write.
struct TestSps {
    uint32_t sps_seq_parameter_set_id = 0;
    uint32_t sps_max_sub_layers_minus1 = 0;
    uint32_t sps_sub_layer_ordering_info_present_flag = 1;
    uint32_t log2_max_pic_order_cnt_lsb_minus4 = 4;
    uint32_t num_short_term_ref_pic_sets = 0;
    uint32_t num_negative_pics = 1;  // of each explicit set
    uint32_t num_long_term_ref_pics_sps = 0;
    bool longTermPresent = false;
    uint32_t vui_num_units_in_tick = 0;  // > 0: a VUI with timing
    uint32_t vui_time_scale = 0;
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
    uint32_t num_long_term_pics = 0;  // non-IDR types only
    std::vector<uint32_t> entryPoints = {};
    uint32_t offset_len_minus1 = 31;
    std::vector<uint8_t> extension = {};
    size_t sliceDataBytes = 64;
};

// 1920x1080, 64x64 CTBs, 4:2:0, 8 bits.
std::vector<uint8_t> WriteTestSps(const TestSps& sps);
// Wavefront and slice header extensions enabled.
std::vector<uint8_t> WriteTestPps(const TestPps& pps);
// An I slice; headerBits receives where its slice data starts (NAL header
// bits included), as the writer counted it.
std::vector<uint8_t> WriteTestSlice(const TestSlice& slice, uint32_t& headerBits);
