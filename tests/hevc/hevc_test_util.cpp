#include "hevc_test_util.h"


void BitWriter::Put(uint64_t value, int bits)
{
    for (int i = bits - 1; i >= 0; --i) {
        if (m_BitCount % 8 == 0)
            m_Bytes.push_back(0);
        if ((value >> i) & 1)
            m_Bytes.back() |= static_cast<uint8_t>(0x80 >> (m_BitCount % 8));
        ++m_BitCount;
    }
}

void BitWriter::PutUe(uint32_t value)
{
    const uint64_t coded = uint64_t{value} + 1;
    int bits = 0;
    while ((coded >> bits) > 1)
        ++bits;
    Put(0, bits);
    Put(coded, bits + 1);
}

void BitWriter::PutSe(int32_t value)
{
    PutUe(value > 0 ? static_cast<uint32_t>(2 * int64_t{value} - 1) : static_cast<uint32_t>(-2 * int64_t{value}));
}

std::vector<uint8_t> BitWriter::NalUnit(uint32_t nal_unit_type)
{
    Put(1, 1);
    while (m_BitCount % 8 != 0)
        Put(0, 1);
    std::vector<uint8_t> nal = {static_cast<uint8_t>(nal_unit_type << 1), 1};
    int zeros = 0;
    for (uint8_t byte : m_Bytes) {
        if (zeros >= 2 && byte <= 3) {
            nal.push_back(3);
            zeros = 0;
        }
        nal.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return nal;
}

std::string HevcFixturePath(const std::string& name)
{
    return std::string(TARSEL_SOURCE_DIR) + "/tests/fixtures/hevc/" + name;
}

std::vector<uint8_t> WriteTestSps(const TestSps& sps)
{
    BitWriter w;
    w.Put(0, 4);
    w.Put(sps.sps_max_sub_layers_minus1, 3);
    w.Put(1, 1);
    // profile_tier_level: Main, level 4.1, no sub-layer profiles or levels.
    w.Put(0, 2); w.Put(0, 1); w.Put(1, 5);
    w.Put(0x60000000, 32);
    w.Put(0b1001, 4);
    w.Put(0, 43); w.Put(0, 1); w.Put(123, 8);
    for (uint32_t i = 0; i < sps.sps_max_sub_layers_minus1 && i < 8; ++i)
        w.Put(0, 2);
    if (sps.sps_max_sub_layers_minus1 > 0 && sps.sps_max_sub_layers_minus1 < 8)
        w.Put(0, 2 * static_cast<int>(8 - sps.sps_max_sub_layers_minus1));
    w.PutUe(sps.sps_seq_parameter_set_id);
    w.PutUe(1); w.PutUe(1920); w.PutUe(1080); w.Put(0, 1);
    w.PutUe(0); w.PutUe(0); w.PutUe(sps.log2_max_pic_order_cnt_lsb_minus4);
    w.Put(sps.sps_sub_layer_ordering_info_present_flag, 1);
    const uint32_t first = sps.sps_sub_layer_ordering_info_present_flag ? 0 : sps.sps_max_sub_layers_minus1;
    for (uint32_t i = first; i <= sps.sps_max_sub_layers_minus1 && i < 8; ++i) {
        w.PutUe(4 + i); w.PutUe(2); w.PutUe(0);
    }
    w.PutUe(0); w.PutUe(3); w.PutUe(0); w.PutUe(3); w.PutUe(0); w.PutUe(0);
    w.Put(0, 1);                 // scaling_list_enabled_flag
    w.Put(0, 1); w.Put(0, 1); w.Put(0, 1);
    w.PutUe(sps.num_short_term_ref_pic_sets);
    for (uint32_t i = 0; i < sps.num_short_term_ref_pic_sets; ++i) {
        if (i > 0)
            w.Put(0, 1);
        w.PutUe(sps.num_negative_pics); w.PutUe(0);
        for (uint32_t j = 0; j < sps.num_negative_pics; ++j) {
            w.PutUe(0); w.Put(1, 1);
        }
    }
    w.Put(sps.longTermPresent, 1);
    if (sps.longTermPresent) {
        w.PutUe(sps.num_long_term_ref_pics_sps);
        for (uint32_t i = 0; i < sps.num_long_term_ref_pics_sps; ++i) {
            w.Put(i, static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4)); w.Put(1, 1);
        }
    }
    w.Put(0, 1); w.Put(1, 1);
    w.Put(sps.timing, 1);        // vui_parameters_present_flag
    if (sps.timing) {
        w.Put(0, 1); w.Put(0, 1); w.Put(0, 1); w.Put(0, 1);
        w.Put(0, 1); w.Put(0, 1); w.Put(0, 1); w.Put(0, 1);
        w.Put(1, 1); w.Put(sps.vui_num_units_in_tick, 32); w.Put(sps.vui_time_scale, 32);
        w.Put(0, 1); w.Put(0, 1);
        w.Put(0, 1);
    }
    w.Put(0, 1);
    return w.NalUnit(33);
}

std::vector<uint8_t> WriteTestPps(const TestPps& pps)
{
    BitWriter w;
    w.PutUe(pps.pps_pic_parameter_set_id); w.PutUe(pps.pps_seq_parameter_set_id);
    w.Put(0, 1); w.Put(0, 1); w.Put(0, 3); w.Put(0, 1); w.Put(0, 1);
    w.PutUe(0); w.PutUe(0); w.PutSe(0);
    w.Put(0, 1); w.Put(0, 1); w.Put(0, 1);
    w.PutSe(0); w.PutSe(0);
    w.Put(0, 1); w.Put(0, 1); w.Put(0, 1); w.Put(0, 1);
    w.Put(pps.tiles, 1); w.Put(pps.wavefront, 1);
    if (pps.tiles) {
        w.PutUe(pps.num_tile_columns_minus1); w.PutUe(pps.num_tile_rows_minus1); w.Put(0, 1);
        for (uint32_t i = 0; i < pps.num_tile_columns_minus1; ++i)
            w.PutUe(0);
        for (uint32_t i = 0; i < pps.num_tile_rows_minus1; ++i)
            w.PutUe(0);
        w.Put(1, 1);
    }
    w.Put(0, 1); w.Put(0, 1);
    w.Put(0, 1); w.Put(0, 1); w.PutUe(0);
    w.Put(pps.headerExtension, 1); w.Put(0, 1);
    return w.NalUnit(34);
}

std::vector<uint8_t> WriteTestSlice(const TestSlice& slice, uint32_t& headerBits)
{
    BitWriter w;
    w.Put(1, 1);
    if (slice.nal_unit_type >= 16 && slice.nal_unit_type <= 23)
        w.Put(0, 1);
    w.PutUe(slice.slice_pic_parameter_set_id);
    w.PutUe(2);                  // I slice
    if (slice.nal_unit_type != 19 && slice.nal_unit_type != 20) {
        w.Put(0, 8);             // slice_pic_order_cnt_lsb
        w.Put(0, 1);             // its own short-term set: empty
        w.PutUe(0); w.PutUe(0);
        w.PutUe(slice.num_long_term_pics);
        for (uint32_t i = 0; i < slice.num_long_term_pics; ++i) {
            w.Put(i, 8); w.Put(1, 1); w.Put(0, 1);
        }
    }
    w.PutSe(0);                  // slice_qp_delta
    w.PutUe(static_cast<uint32_t>(slice.entryPoints.size()));
    if (!slice.entryPoints.empty()) {
        w.PutUe(slice.offset_len_minus1);
        for (uint32_t offset : slice.entryPoints)
            w.Put(offset, static_cast<int>(slice.offset_len_minus1 + 1));
    }
    w.PutUe(static_cast<uint32_t>(slice.extension.size()));
    for (uint8_t byte : slice.extension)
        w.Put(byte, 8);
    headerBits = static_cast<uint32_t>(w.BitCount() + 16);
    // byte_alignment() is the trailing-bits pattern; the slice data follows.
    std::vector<uint8_t> nal = w.NalUnit(slice.nal_unit_type);
    for (size_t i = 0; i < slice.sliceDataBytes; ++i)
        nal.push_back(static_cast<uint8_t>(0x40 + i % 0xB0));
    return nal;
}
