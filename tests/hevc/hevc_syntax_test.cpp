// Synthetic parameter sets and slices: the bounds on ids and counts, and
// the sub-layer ordering no encoder fixture carries.
#include <gtest/gtest.h>

#include <functional>

#include "bitstream/bounds_check.h"
#include "hevc_test_util.h"

namespace {

int32_t Parse(HevcStream* stream, const std::vector<uint8_t>& nal)
{
    return ParseHevcNal(stream, nal.data(), nal.size());
}

// The largest value that fits is taken; the first that does not is refused.
TEST(HevcBounds, LargestValuesAreTakenLargerOnesRefusedAndChangeNothing)
{
    const std::pair<const char*, std::function<std::vector<uint8_t>()>> cases[] = {
        {nullptr, [] { return WriteTestSps({.sps_seq_parameter_set_id = 15, .sps_max_sub_layers_minus1 = 6, .num_short_term_ref_pic_sets = 64,
                                            .num_negative_pics = 16, .delta_poc_s0_minus1 = 32767, .num_long_term_ref_pics_sps = 32,
                                            .longTermPresent = true}); }},
        {nullptr, [] { return WriteTestPps({.pps_pic_parameter_set_id = 63, .tiles = true, .num_tile_columns_minus1 = 20, .num_tile_rows_minus1 = 22}); }},
        {nullptr, [] { return WriteTestSlice({.nal_unit_type = 1, .num_long_term_pics = 32, .extension = std::vector<uint8_t>(256, 0x5A)}); }},
        {nullptr, [] { std::vector<uint8_t> sei(kRbspCapacity, 0x55); sei[0] = 39 << 1; sei[1] = 1; return sei; }},
        {"sps_seq_parameter_set_id", [] { return WriteTestSps({.sps_seq_parameter_set_id = 16}); }},
        {"sps_max_sub_layers_minus1 out of range: 7 (at most 6)", [] { return WriteTestSps({.sps_max_sub_layers_minus1 = 7}); }},
        {"num_short_term_ref_pic_sets", [] { return WriteTestSps({.num_short_term_ref_pic_sets = 65}); }},
        {"num_negative_pics", [] { return WriteTestSps({.num_short_term_ref_pic_sets = 1, .num_negative_pics = 17}); }},
        {"delta_poc_s0_minus1", [] { return WriteTestSps({.num_short_term_ref_pic_sets = 1, .delta_poc_s0_minus1 = 32768}); }},
        {"num_long_term_ref_pics_sps", [] { return WriteTestSps({.num_long_term_ref_pics_sps = 33, .longTermPresent = true}); }},
        {"log2_max_pic_order_cnt_lsb_minus4", [] { return WriteTestSps({.log2_max_pic_order_cnt_lsb_minus4 = 13}); }},
        {"pps_pic_parameter_set_id", [] { return WriteTestPps({.pps_pic_parameter_set_id = 64}); }},
        {"pps_seq_parameter_set_id", [] { return WriteTestPps({.pps_seq_parameter_set_id = 16}); }},
        {"num_tile_columns_minus1", [] { return WriteTestPps({.tiles = true, .num_tile_columns_minus1 = 21}); }},
        {"num_tile_rows_minus1", [] { return WriteTestPps({.tiles = true, .num_tile_rows_minus1 = 23}); }},
        {"slice_pic_parameter_set_id", [] { return WriteTestSlice({.slice_pic_parameter_set_id = 64}); }},
        {"num_long_term_pics", [] { return WriteTestSlice({.nal_unit_type = 1, .num_long_term_pics = 33}); }},
        {"slice_segment_header_extension_length", [] { return WriteTestSlice({.extension = std::vector<uint8_t>(257, 0x5A)}); }},
        // About 2^31 entry points in a short unit: the parse must stop once it has run past the end.
        {"num_entry_point_offsets", [] { BitWriter w; w.u(1, 1).u(1, 0).ue(0).ue(2).se(0).ue(0x7FFFFFFF).ue(31); return MakeNal(w, 19); }},
        {"rbsp buffer is too small", [] { std::vector<uint8_t> sps(kRbspCapacity + 1, 0x55); sps[0] = 33 << 1; sps[1] = 1; return sps; }},
    };
    for (const auto& [logged, write] : cases) {
        SCOPED_TRACE(logged ? logged : "accepted");
        HevcStreamPtr stream(CreateHevcStream(), DestroyHevcStream);
        ASSERT_GT(Parse(stream.get(), WriteTestSps({.longTermPresent = true})), 0);
        ASSERT_GT(Parse(stream.get(), WriteTestPps({})), 0);
        ASSERT_GT(Parse(stream.get(), WriteTestSlice({})), 0);
        ExpectTakenOrRefused(*stream, ParseHevcNal, write(), logged);
    }
}

// Only the highest sub-layer's entry coded: it applies to all of them (the
// picture parameters take entry 0).
TEST(HevcSps, SubLayerOrderingInfoOfTheHighestLayerOnly)
{
    HevcStreamPtr stream(CreateHevcStream(), DestroyHevcStream);
    ASSERT_GT(Parse(stream.get(), WriteTestSps({.sps_max_sub_layers_minus1 = 2, .sps_sub_layer_ordering_info_present_flag = 0})), 0);
    EXPECT_EQ(std::vector<uint32_t>(stream->sps->sps_max_dec_pic_buffering_minus1, stream->sps->sps_max_dec_pic_buffering_minus1 + 4),
              (std::vector<uint32_t>{6, 6, 6, 0}));
}

} // namespace
