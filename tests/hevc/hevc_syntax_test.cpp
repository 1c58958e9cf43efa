// Synthetic parameter sets and slices: the bounds on ids and counts, the
// values read around them, and the stream's behaviour on refused units.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "hevc_test_util.h"
#include "support/log_capture.h"

namespace {

int32_t Parse(HevcStream* stream, const std::vector<uint8_t>& nal)
{
    return ParseHevcNal(stream, nal.data(), nal.size());
}

std::vector<uint8_t> Slice(const TestSlice& slice)
{
    uint32_t headerBits = 0;
    return WriteTestSlice(slice, headerBits);
}

TEST(HevcBounds, OutOfRangeIdsAndCountsAreRefusedAndChangeNothing)
{
    const std::pair<std::function<std::vector<uint8_t>()>, const char*> cases[] = {
        {[] { return WriteTestSps({.sps_seq_parameter_set_id = 16}); }, "sps_seq_parameter_set_id"},
        {[] { return WriteTestSps({.sps_max_sub_layers_minus1 = 7}); }, "sps_max_sub_layers_minus1 out of range: 7 (at most 6)"},
        {[] { return WriteTestSps({.num_short_term_ref_pic_sets = 65}); }, "num_short_term_ref_pic_sets"},
        {[] { return WriteTestSps({.num_short_term_ref_pic_sets = 1, .num_negative_pics = 33}); }, "num_negative_pics"},
        {[] { return WriteTestSps({.num_long_term_ref_pics_sps = 33, .longTermPresent = true}); }, "num_long_term_ref_pics_sps"},
        {[] { return WriteTestSps({.log2_max_pic_order_cnt_lsb_minus4 = 13}); }, "log2_max_pic_order_cnt_lsb_minus4"},
        {[] { return WriteTestPps({.pps_pic_parameter_set_id = 64}); }, "pps_pic_parameter_set_id"},
        {[] { return WriteTestPps({.pps_seq_parameter_set_id = 16}); }, "pps_seq_parameter_set_id"},
        {[] { return WriteTestPps({.tiles = true, .num_tile_columns_minus1 = 21}); }, "num_tile_columns_minus1"},
        {[] { return WriteTestPps({.tiles = true, .num_tile_rows_minus1 = 23}); }, "num_tile_rows_minus1"},
        {[] { return Slice({.slice_pic_parameter_set_id = 64}); }, "slice_pic_parameter_set_id"},
        {[] { return Slice({.nal_unit_type = 1, .num_long_term_pics = 33}); }, "num_long_term_pics"},
        {[] { return std::vector<uint8_t>{33 << 1, 1}; }, "runs past the end"},
        {[] { auto p = WriteTestPps({}); p.resize(p.size() / 2); return p; }, "runs past the end"},
        {[] { return Slice({.extension = std::vector<uint8_t>(257, 0x5A)}); }, "slice_segment_header_extension_length"},
    };
    for (const auto& [write, logged] : cases) {
        SCOPED_TRACE(logged);
        HevcStreamPtr stream(CreateHevcStream());
        ASSERT_GT(Parse(stream.get(), WriteTestSps({.longTermPresent = true})), 0);
        ASSERT_GT(Parse(stream.get(), WriteTestPps({})), 0);
        ASSERT_GT(Parse(stream.get(), Slice({})), 0);
        auto before = std::make_unique<HevcStream>(*stream);
        const HevcSliceHeader shBefore = *stream->sh;
        const uint32_t headerBitsBefore = stream->loc->headerBits;
        LogCapture log;
        EXPECT_EQ(Parse(stream.get(), write()), -1);
        EXPECT_TRUE(log.contains(logged)) << "log: " << (log.lines().empty() ? "" : log.lines().back());
        EXPECT_EQ(std::memcmp(stream->spsTable, before->spsTable, sizeof(before->spsTable)), 0);
        EXPECT_EQ(std::memcmp(stream->ppsTable, before->ppsTable, sizeof(before->ppsTable)), 0);
        EXPECT_EQ(std::memcmp(stream->sh, &shBefore, sizeof(shBefore)), 0);
        EXPECT_EQ(stream->sps, before->sps);
        EXPECT_EQ(stream->pps, before->pps);
        EXPECT_EQ(stream->loc->headerBits, headerBitsBefore);
    }
}

TEST(HevcBounds, LargestAcceptedValuesAreStored)
{
    HevcStreamPtr stream(CreateHevcStream());
    ASSERT_GT(Parse(stream.get(), WriteTestSps({.sps_seq_parameter_set_id = 15, .sps_max_sub_layers_minus1 = 6, .num_short_term_ref_pic_sets = 2,
                                                .num_negative_pics = 32, .num_long_term_ref_pics_sps = 32, .longTermPresent = true})), 0);
    EXPECT_EQ(stream->sps, &stream->spsTable[15]);
    EXPECT_EQ(stream->sps->stRps.num_negative_pics, 32u);
    EXPECT_EQ(stream->sps->lt_ref_pic_poc_lsb_sps[31], 31u);
    EXPECT_EQ(stream->sps->pic_width_in_luma_samples, 1920u);  // read after both arrays
    ASSERT_GT(Parse(stream.get(), WriteTestPps({.pps_pic_parameter_set_id = 63, .pps_seq_parameter_set_id = 15, .tiles = true,
                                                .num_tile_columns_minus1 = 20, .num_tile_rows_minus1 = 22})), 0);
    EXPECT_EQ(stream->pps, &stream->ppsTable[63]);
    EXPECT_EQ(stream->pps->num_tile_rows_minus1, 22u);
    EXPECT_EQ(stream->pps->loop_filter_across_tiles_enabled_flag, 1u);
}

TEST(HevcStream, UnitsBeyondTheBufferOrWithGarbageCountsAreRefused)
{
    HevcStreamPtr stream(CreateHevcStream());
    std::vector<uint8_t> huge(kRbspCapacity + 1, 0x55);
    huge[0] = 33 << 1;
    huge[1] = 1;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Parse(stream.get(), huge), -1);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("parser: rbsp buffer is too small ..."), std::string::npos);
    EXPECT_EQ(stream->sps, nullptr);
    huge.resize(kRbspCapacity);  // the largest accepted size still parses
    EXPECT_EQ(Parse(stream.get(), huge), static_cast<int32_t>(kRbspCapacity));

    // About 2^31 entry points in a short unit: every offset past the data
    // would read as zero; the parse must stop once it has run past the end.
    BitWriter w;
    w.u(1, 1).u(1, 0).ue(0).ue(2).se(0).ue(0x7FFFFFFF).ue(31);
    ASSERT_GT(Parse(stream.get(), WriteTestSps({})), 0);
    ASSERT_GT(Parse(stream.get(), WriteTestPps({})), 0);
    LogCapture log;
    EXPECT_EQ(Parse(stream.get(), MakeNal(w, 19)), -1);
    EXPECT_TRUE(log.contains("num_entry_point_offsets"));
}

TEST(HevcStream, SetsNeverReceivedAndUnitsWithoutSyntax)
{
    HevcStreamPtr stream(CreateHevcStream());
    const std::vector<uint8_t> nal = Slice({.slice_pic_parameter_set_id = 7});
    ASSERT_EQ(Parse(stream.get(), nal), static_cast<int32_t>(nal.size()));
    EXPECT_EQ(stream->pps, &stream->ppsTable[7]);
    EXPECT_EQ(stream->sps, &stream->spsTable[0]);
    // Without wavefront or extension in the (zero) PPS the header ends after slice_qp_delta.
    EXPECT_EQ(stream->loc->headerBits, 16u + 1 + 1 + 7 + 3 + 1);

    ASSERT_GT(Parse(stream.get(), WriteTestSps({})), 0);
    auto before = std::make_unique<HevcStream>(*stream);
    const std::vector<uint8_t> units[] = {
        {39 << 1, 1, 5, 2, 0xAB, 0xCD, 0x80},  // SEI
        {35 << 1, 1, 0x50},                    // access unit delimiter
        {32 << 1, 1, 0x3C, 0xFF, 0x80},        // VPS 3
        {36 << 1},                             // end of sequence, header cut short
    };
    for (const std::vector<uint8_t>& unit : units)
        EXPECT_EQ(Parse(stream.get(), unit), static_cast<int32_t>(unit.size()));
    EXPECT_EQ(std::memcmp(stream->spsTable, before->spsTable, sizeof(before->spsTable)), 0);
    EXPECT_EQ(stream->sps, before->sps);
}

TEST(HevcSps, SubLayerOrderingAndFrameRate)
{
    HevcStreamPtr stream(CreateHevcStream());
    // Only the highest sub-layer's entry coded: it applies to all of them.
    ASSERT_GT(Parse(stream.get(), WriteTestSps({.sps_max_sub_layers_minus1 = 2, .sps_sub_layer_ordering_info_present_flag = 0})), 0);
    EXPECT_EQ(std::vector<uint32_t>(stream->sps->sps_max_dec_pic_buffering_minus1, stream->sps->sps_max_dec_pic_buffering_minus1 + 4),
              (std::vector<uint32_t>{6, 6, 6, 0}));

    const std::tuple<uint32_t, uint32_t, float> rows[] = {{1001, 60000, 59.0f}, {1, 25, 25.0f}, {0, 0, -1.0f}};
    for (auto [ticks, scale, expected] : rows) {
        ASSERT_GT(Parse(stream.get(), WriteTestSps({.vui_num_units_in_tick = ticks, .vui_time_scale = scale})), 0);
        EXPECT_EQ(GetHevcFrameRate(stream->sps), expected) << ticks << "/" << scale;
    }
    EXPECT_EQ(GetHevcFrameRate(nullptr), -1.0f);
}

TEST(HevcScalingLists, CodedListsOfTheCraftedFixture)
{
    // make_crafted.py codes even matrices with a +1 step at every third
    // coefficient (from 8, or from a DC of 24), copies odd ones from their
    // predecessor, and sends the 32x32 inter matrix back to the default.
    const auto units = SplitNalUnits(ReadFileBytes(HevcFixturePath("crafted.hevc")));
    HevcStreamPtr stream(CreateHevcStream());
    ASSERT_GT(Parse(stream.get(), units.at(1)), 0);
    const HevcScalingLists& lists = stream->sps->scalingLists;
    // 4x4 up-right diagonal: coding order 0, 1, 2, 3 sit at raster 0, 4, 1, 8.
    const uint32_t* list = lists.ScalingList[0][0];
    EXPECT_EQ(std::vector<uint32_t>({list[0], list[4], list[1], list[8], list[15]}), (std::vector<uint32_t>{9, 9, 9, 10, 14}));
    EXPECT_EQ(std::memcmp(lists.ScalingList[1][1], lists.ScalingList[1][0], sizeof(lists.ScalingList[1][0])), 0);
    EXPECT_EQ(lists.ScalingList[2][0][0], 25u);
    EXPECT_EQ(lists.ScalingListDcCoef[0][0], 24u);
    EXPECT_EQ(lists.ScalingListDcCoef[0][1], 24u);
    EXPECT_EQ(lists.ScalingList[3][3][63], 91u);  // Table 7-6: last inter factor
    EXPECT_EQ(lists.ScalingListDcCoef[1][3], 16u);
}

} // namespace
