#pragma once

#include <cstdint>
#include <vector>

// Builds H.265 sequence parameter sets bit by bit, so that the probe can be
// fed SPS fields that no encoder at hand would write (zero tick lengths,
// odd aspect ratios, 4:2:2 cropping). Only the syntax a Main-profile SPS
// without sub-layers, scaling lists or reference sets needs.
struct HevcSpsFields {
    uint32_t chroma_format_idc = 1;
    uint32_t pic_width_in_luma_samples = 1920;
    uint32_t pic_height_in_luma_samples = 1088;
    bool conformance_window_flag = false;
    uint32_t conf_win_left_offset = 0;
    uint32_t conf_win_right_offset = 0;
    uint32_t conf_win_top_offset = 0;
    uint32_t conf_win_bottom_offset = 0;
    uint32_t general_level_idc = 120;
    bool vui_parameters_present_flag = false;
    bool aspect_ratio_info_present_flag = false;
    uint32_t aspect_ratio_idc = 0;
    uint32_t sar_width = 0;
    uint32_t sar_height = 0;
    bool vui_timing_info_present_flag = false;
    uint32_t vui_num_units_in_tick = 0;
    uint32_t vui_time_scale = 0;
};

class BitWriter {
public:
    void Bits(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            Bit((value >> i) & 1);
    }
    void Bit(uint32_t bit)
    {
        if (m_Used == 0)
            m_Bytes.push_back(0);
        m_Bytes.back() |= static_cast<uint8_t>(bit << (7 - m_Used));
        m_Used = (m_Used + 1) % 8;
    }
    void Ue(uint32_t value)
    {
        uint64_t code = uint64_t{value} + 1;
        int length = 0;
        while ((code >> length) > 1)
            ++length;
        Bits(0, length);
        for (int i = length; i >= 0; --i)
            Bit(static_cast<uint32_t>((code >> i) & 1));
    }
    void TrailingBits()
    {
        Bit(1);
        while (m_Used != 0)
            Bit(0);
    }
    const std::vector<uint8_t>& bytes() const { return m_Bytes; }

private:
    std::vector<uint8_t> m_Bytes;
    int m_Used = 0;
};

// The SPS NAL unit (two header bytes, then the RBSP with emulation prevention).
inline std::vector<uint8_t> MakeHevcSps(const HevcSpsFields& f)
{
    BitWriter w;
    w.Bits(0, 4);      // sps_video_parameter_set_id
    w.Bits(0, 3);      // sps_max_sub_layers_minus1
    w.Bit(1);          // sps_temporal_id_nesting_flag
    w.Bits(0, 2);      // general_profile_space
    w.Bit(0);          // general_tier_flag
    w.Bits(1, 5);      // general_profile_idc: Main
    w.Bits(0x60000000, 32);
    w.Bits(0x9, 4);    // progressive, interlaced, non-packed, frame-only
    w.Bits(0, 32);     // constraint flags and reserved bits: 43 ...
    w.Bits(0, 11);
    w.Bit(0);          // ... and general_inbld_flag
    w.Bits(f.general_level_idc, 8);
    w.Ue(0);           // sps_seq_parameter_set_id
    w.Ue(f.chroma_format_idc);
    if (f.chroma_format_idc == 3)
        w.Bit(0);      // separate_colour_plane_flag
    w.Ue(f.pic_width_in_luma_samples);
    w.Ue(f.pic_height_in_luma_samples);
    w.Bit(f.conformance_window_flag);
    if (f.conformance_window_flag) {
        w.Ue(f.conf_win_left_offset);
        w.Ue(f.conf_win_right_offset);
        w.Ue(f.conf_win_top_offset);
        w.Ue(f.conf_win_bottom_offset);
    }
    w.Ue(0);           // bit_depth_luma_minus8
    w.Ue(0);           // bit_depth_chroma_minus8
    w.Ue(4);           // log2_max_pic_order_cnt_lsb_minus4
    w.Bit(1);          // sps_sub_layer_ordering_info_present_flag
    w.Ue(1);           // sps_max_dec_pic_buffering_minus1
    w.Ue(0);           // sps_max_num_reorder_pics
    w.Ue(0);           // sps_max_latency_increase_plus1
    w.Ue(0);           // log2_min_luma_coding_block_size_minus3
    w.Ue(3);           // log2_diff_max_min_luma_coding_block_size
    w.Ue(0);           // log2_min_luma_transform_block_size_minus2
    w.Ue(3);           // log2_diff_max_min_luma_transform_block_size
    w.Ue(0);           // max_transform_hierarchy_depth_inter
    w.Ue(0);           // max_transform_hierarchy_depth_intra
    w.Bit(0);          // scaling_list_enabled_flag
    w.Bit(0);          // amp_enabled_flag
    w.Bit(0);          // sample_adaptive_offset_enabled_flag
    w.Bit(0);          // pcm_enabled_flag
    w.Ue(0);           // num_short_term_ref_pic_sets
    w.Bit(0);          // long_term_ref_pics_present_flag
    w.Bit(0);          // sps_temporal_mvp_enabled_flag
    w.Bit(0);          // strong_intra_smoothing_enabled_flag
    w.Bit(f.vui_parameters_present_flag);
    if (f.vui_parameters_present_flag) {
        w.Bit(f.aspect_ratio_info_present_flag);
        if (f.aspect_ratio_info_present_flag) {
            w.Bits(f.aspect_ratio_idc, 8);
            if (f.aspect_ratio_idc == 255) {
                w.Bits(f.sar_width, 16);
                w.Bits(f.sar_height, 16);
            }
        }
        w.Bit(0);      // overscan_info_present_flag
        w.Bit(0);      // video_signal_type_present_flag
        w.Bit(0);      // chroma_loc_info_present_flag
        w.Bit(0);      // neutral_chroma_indication_flag
        w.Bit(0);      // field_seq_flag
        w.Bit(0);      // frame_field_info_present_flag
        w.Bit(0);      // default_display_window_flag
        w.Bit(f.vui_timing_info_present_flag);
        if (f.vui_timing_info_present_flag) {
            w.Bits(f.vui_num_units_in_tick, 32);
            w.Bits(f.vui_time_scale, 32);
            w.Bit(0);  // vui_poc_proportional_to_timing_flag
            w.Bit(0);  // vui_hrd_parameters_present_flag
        }
        w.Bit(0);      // bitstream_restriction_flag
    }
    w.Bit(0);          // sps_extension_present_flag
    w.TrailingBits();

    std::vector<uint8_t> nal = {0x42, 0x01};
    int zeros = 0;
    for (uint8_t byte : w.bytes()) {
        if (zeros >= 2 && byte <= 3) {
            nal.push_back(0x03);
            zeros = 0;
        }
        nal.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return nal;
}
