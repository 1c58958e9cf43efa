#include "hevc_test_util.h"

std::vector<uint8_t> MakeNal(BitWriter& writer, uint32_t nal_unit_type)
{
    return writer.trailing().nal({static_cast<uint8_t>(nal_unit_type << 1), 1});
}

std::string HevcFixturePath(const std::string& name)
{
    return std::string(TARSEL_SOURCE_DIR) + "/tests/fixtures/hevc/" + name;
}

std::vector<uint8_t> WriteTestSps(const TestSps& sps)
{
    BitWriter w;
    w.u(4, 0).u(3, sps.sps_max_sub_layers_minus1).u(1, 1);
    // profile_tier_level: Main, level 4.1, no sub-layer profiles or levels.
    w.u(2, 0).u(1, 0).u(5, 1).u(32, 0x60000000).u(4, 0b1001).u(43, 0).u(1, 0).u(8, 123);
    for (uint32_t i = 0; i < sps.sps_max_sub_layers_minus1 && i < 8; ++i)
        w.u(2, 0);
    if (sps.sps_max_sub_layers_minus1 > 0 && sps.sps_max_sub_layers_minus1 < 8)
        w.u(2 * static_cast<int>(8 - sps.sps_max_sub_layers_minus1), 0);
    w.ue(sps.sps_seq_parameter_set_id);
    w.ue(1); w.ue(1920); w.ue(1080); w.u(1, 0);
    w.ue(0); w.ue(0); w.ue(sps.log2_max_pic_order_cnt_lsb_minus4);
    w.u(1, sps.sps_sub_layer_ordering_info_present_flag);
    const uint32_t first = sps.sps_sub_layer_ordering_info_present_flag ? 0 : sps.sps_max_sub_layers_minus1;
    for (uint32_t i = first; i <= sps.sps_max_sub_layers_minus1 && i < 8; ++i) {
        w.ue(4 + i); w.ue(2); w.ue(0);
    }
    w.ue(0); w.ue(3); w.ue(0); w.ue(3); w.ue(0); w.ue(0);
    w.u(1, 0);                 // scaling_list_enabled_flag
    w.u(1, 0); w.u(1, 0); w.u(1, 0);
    w.ue(sps.num_short_term_ref_pic_sets);
    for (uint32_t i = 0; i < sps.num_short_term_ref_pic_sets; ++i) {
        if (i > 0)
            w.u(1, 0);
        w.ue(sps.num_negative_pics); w.ue(0);
        for (uint32_t j = 0; j < sps.num_negative_pics; ++j) {
            w.ue(0); w.u(1, 1);
        }
    }
    w.u(1, sps.longTermPresent);
    if (sps.longTermPresent) {
        w.ue(sps.num_long_term_ref_pics_sps);
        for (uint32_t i = 0; i < sps.num_long_term_ref_pics_sps; ++i) {
            w.u(static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4), i); w.u(1, 1);
        }
    }
    w.u(1, 0); w.u(1, 1);
    w.u(1, sps.vui_num_units_in_tick > 0);  // vui_parameters_present_flag
    if (sps.vui_num_units_in_tick > 0)
        w.u(9, 1).u(32, sps.vui_num_units_in_tick).u(32, sps.vui_time_scale).u(3, 0);
    w.u(1, 0);
    return MakeNal(w, 33);
}

std::vector<uint8_t> WriteTestPps(const TestPps& pps)
{
    BitWriter w;
    w.ue(pps.pps_pic_parameter_set_id); w.ue(pps.pps_seq_parameter_set_id);
    w.u(1, 0); w.u(1, 0); w.u(3, 0); w.u(1, 0); w.u(1, 0);
    w.ue(0); w.ue(0); w.se(0);
    w.u(1, 0); w.u(1, 0); w.u(1, 0);
    w.se(0); w.se(0);
    w.u(1, 0); w.u(1, 0); w.u(1, 0); w.u(1, 0);
    w.u(1, pps.tiles); w.u(1, 1);
    if (pps.tiles) {
        w.ue(pps.num_tile_columns_minus1); w.ue(pps.num_tile_rows_minus1); w.u(1, 0);
        for (uint32_t i = 0; i < pps.num_tile_columns_minus1; ++i)
            w.ue(0);
        for (uint32_t i = 0; i < pps.num_tile_rows_minus1; ++i)
            w.ue(0);
        w.u(1, 1);
    }
    w.u(1, 0); w.u(1, 0);
    w.u(1, 0); w.u(1, 0); w.ue(0);
    w.u(1, 1); w.u(1, 0);
    return MakeNal(w, 34);
}

std::vector<uint8_t> WriteTestSlice(const TestSlice& slice, uint32_t& headerBits)
{
    BitWriter w;
    w.u(1, 1);
    if (slice.nal_unit_type >= 16 && slice.nal_unit_type <= 23)
        w.u(1, 0);
    w.ue(slice.slice_pic_parameter_set_id);
    w.ue(2);                  // I slice
    if (slice.nal_unit_type != 19 && slice.nal_unit_type != 20) {
        w.u(8, 0);             // slice_pic_order_cnt_lsb
        w.u(1, 0);             // its own short-term set: empty
        w.ue(0); w.ue(0);
        w.ue(slice.num_long_term_pics);
        for (uint32_t i = 0; i < slice.num_long_term_pics; ++i) {
            w.u(8, i); w.u(1, 1); w.u(1, 0);
        }
    }
    w.se(0);                  // slice_qp_delta
    w.ue(static_cast<uint32_t>(slice.entryPoints.size()));
    if (!slice.entryPoints.empty()) {
        w.ue(slice.offset_len_minus1);
        for (uint32_t offset : slice.entryPoints)
            w.u(static_cast<int>(slice.offset_len_minus1 + 1), offset);
    }
    w.ue(static_cast<uint32_t>(slice.extension.size()));
    for (uint8_t byte : slice.extension)
        w.u(8, byte);
    headerBits = static_cast<uint32_t>(w.bitCount() + 16);
    // byte_alignment() is the trailing-bits pattern; the slice data follows.
    std::vector<uint8_t> nal = MakeNal(w, slice.nal_unit_type);
    for (size_t i = 0; i < slice.sliceDataBytes; ++i)
        nal.push_back(static_cast<uint8_t>(0x40 + i % 0xB0));
    return nal;
}
