#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "support/header_trace.h"

namespace {

// Shape of real trace_headers output: an extradata section, then packets
// with their NAL list, titles, nested SEI titles and a progress line that
// ran into a trace line.
constexpr const char* kSample = R"(Reading option '-bsf:v' ... matched as option 'bsf'
[trace_headers @ 0x55] Extradata
[trace_headers @ 0x55] nal_unit_type: 7(SPS), nal_ref_idc: 3
[trace_headers @ 0x55] Sequence Parameter Set
[trace_headers @ 0x55] 0           forbidden_zero_bit                                          0 = 0
[trace_headers @ 0x55] 8           profile_idc                                          01100100 = 100
[trace_headers @ 0x55] Packet: 1201 bytes, key frame, no pts, dts 0, duration 48000.
[trace_headers @ 0x55] nal_unit_type: 6(SEI), nal_ref_idc: 0
[trace_headers @ 0x55] nal_unit_type: 5(IDR), nal_ref_idc: 3
[trace_headers @ 0x55] Supplemental Enhancement Information
[trace_headers @ 0x55] 0           forbidden_zero_bit                                          0 = 0
[trace_headers @ 0x55] User Data Unregistered
[trace_headers @ 0x55] 40          uuid_iso_iec_11578[0]                                11011100 = 220
[trace_headers @ 0x55] Slice Header
[trace_headers @ 0x55] 0           forbidden_zero_bit                                          0 = 0
[trace_headers @ 0x55] 9           slice_type                                            0001000 = 7
[trace_headers @ 0x55] 26          chroma_qp_index_offset                                  00101 = -2
[trace_headers @ 0x55] 30          luma_weight_l0_flag[0]                                      1 = 1
[trace_headers @ 0x55] 31          luma_weight_l0_flag[1]                                      0 = 0
[trace_headers @ 0x55] 32          cabac_alignment_one_bit                                     1 = 1
frame=    2 fps=0.0 q=-0.0 size=N/A    [trace_headers @ 0x55] Packet: 13 bytes, no pts, dts 48000.
[trace_headers @ 0x55] Slice Header
[trace_headers @ 0x55] 0           forbidden_zero_bit                                          0 = 0
[trace_headers @ 0x55] 76          num_units_in_tick            00000000000000000000000000000001 = 1
)";

TEST(HeaderTrace, WalksUnitsOfPacketsAndFindsElementsByExactName)
{
    std::istringstream in(kSample);
    HeaderTrace trace = HeaderTrace::Parse(in);

    ASSERT_EQ(trace.extradataUnits().size(), 1u);
    EXPECT_EQ(trace.extradataUnits()[0].value("profile_idc"), 100);
    EXPECT_EQ(trace.packetCount(), 2u);
    ASSERT_EQ(trace.units().size(), 3u);

    const TraceUnit& sei = trace.units()[0];
    EXPECT_EQ(sei.title, "Supplemental Enhancement Information");
    EXPECT_EQ(sei.packet, 0);
    EXPECT_TRUE(sei.has("uuid_iso_iec_11578[0]"));

    const TraceUnit& slice = trace.units()[1];
    EXPECT_EQ(slice.title, "Slice Header");
    EXPECT_EQ(slice.value("chroma_qp_index_offset"), -2);
    EXPECT_EQ(slice.value("luma_weight_l0_flag[1]"), 0);
    EXPECT_FALSE(slice.has("luma_weight_l0_flag"));
    const TraceElement* sliceType = slice.find("slice_type");
    ASSERT_NE(sliceType, nullptr);
    EXPECT_EQ(sliceType->position, 9u);
    EXPECT_EQ(sliceType->end(), 16u);
    EXPECT_EQ(slice.end(), 33u);
    EXPECT_THROW(slice.value("pic_order_cnt_lsb"), std::out_of_range);

    const TraceUnit& last = trace.units()[2];
    EXPECT_EQ(last.packet, 1);
    EXPECT_EQ(last.value("num_units_in_tick"), 1);
    EXPECT_EQ(last.end(), 108u);
}

} // namespace
