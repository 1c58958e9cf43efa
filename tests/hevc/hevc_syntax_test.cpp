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

struct RefusedCase {
    const char* name;
    std::function<std::vector<uint8_t>()> write;
    const char* logged;  // part of the error line
};

TEST(HevcBounds, OutOfRangeIdsAndCountsAreRefusedAndChangeNothing)
{
    const RefusedCase cases[] = {
        {"sps id 16", [] { TestSps s; s.sps_seq_parameter_set_id = 16; return WriteTestSps(s); }, "sps_seq_parameter_set_id"},
        {"max sub-layers 8", [] { TestSps s; s.sps_max_sub_layers_minus1 = 7; return WriteTestSps(s); }, "sps_max_sub_layers_minus1"},
        {"65 short-term sets", [] { TestSps s; s.num_short_term_ref_pic_sets = 65; return WriteTestSps(s); }, "num_short_term_ref_pic_sets"},
        {"33 negative pictures", [] { TestSps s; s.num_short_term_ref_pic_sets = 1; s.num_negative_pics = 33; return WriteTestSps(s); }, "num_negative_pics"},
        {"33 long-term pictures in the sps", [] { TestSps s; s.longTermPresent = true; s.num_long_term_ref_pics_sps = 33; return WriteTestSps(s); }, "num_long_term_ref_pics_sps"},
        {"poc lsb of 17 bits", [] { TestSps s; s.log2_max_pic_order_cnt_lsb_minus4 = 13; return WriteTestSps(s); }, "log2_max_pic_order_cnt_lsb_minus4"},
        {"pps id 64", [] { TestPps p; p.pps_pic_parameter_set_id = 64; return WriteTestPps(p); }, "pps_pic_parameter_set_id"},
        {"pps naming sps 16", [] { TestPps p; p.pps_seq_parameter_set_id = 16; return WriteTestPps(p); }, "pps_seq_parameter_set_id"},
        {"21 tile column widths", [] { TestPps p; p.tiles = true; p.num_tile_columns_minus1 = 21; return WriteTestPps(p); }, "num_tile_columns_minus1"},
        {"23 tile row heights", [] { TestPps p; p.tiles = true; p.num_tile_rows_minus1 = 23; return WriteTestPps(p); }, "num_tile_rows_minus1"},
        {"slice naming pps 64", [] { TestSlice t; t.slice_pic_parameter_set_id = 64; uint32_t b; return WriteTestSlice(t, b); }, "slice_pic_parameter_set_id"},
        {"33 long-term pictures in a slice", [] { TestSlice t; t.nal_unit_type = 1; t.num_long_term_pics = 33; uint32_t b; return WriteTestSlice(t, b); }, "num_long_term_pics"},
        {"sps cut after its header", [] { return std::vector<uint8_t>{33 << 1, 1}; }, "runs past the end"},
        {"pps cut in half", [] { auto p = WriteTestPps({}); p.resize(p.size() / 2); return p; }, "runs past the end"},
        {"extension of 257 bytes", [] { TestSlice t; t.extension.assign(257, 0x5A); uint32_t b; return WriteTestSlice(t, b); }, "slice_segment_header_extension_length"},
    };
    for (const RefusedCase& refused : cases) {
        SCOPED_TRACE(refused.name);
        HevcStreamPtr stream(CreateHevcStream());
        TestSps sps;
        sps.longTermPresent = true;
        ASSERT_EQ(Parse(stream.get(), WriteTestSps(sps)), static_cast<int32_t>(WriteTestSps(sps).size()));
        ASSERT_GT(Parse(stream.get(), WriteTestPps({})), 0);
        uint32_t headerBits = 0;
        ASSERT_GT(Parse(stream.get(), WriteTestSlice({}, headerBits)), 0);

        auto before = std::make_unique<HevcStream>(*stream);
        const HevcSliceHeader shBefore = *stream->sh;
        const uint32_t headerBitsBefore = stream->loc->headerBits;
        LogCapture log;
        EXPECT_EQ(Parse(stream.get(), refused.write()), -1);
        EXPECT_TRUE(log.contains(refused.logged)) << "log: " << (log.lines().empty() ? "" : log.lines().back());
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
    TestSps sps;
    sps.sps_seq_parameter_set_id = 15;
    sps.sps_max_sub_layers_minus1 = 6;
    sps.num_short_term_ref_pic_sets = 2;
    sps.num_negative_pics = 32;
    sps.longTermPresent = true;
    sps.num_long_term_ref_pics_sps = 32;
    ASSERT_GT(Parse(stream.get(), WriteTestSps(sps)), 0);
    EXPECT_EQ(stream->sps, &stream->spsTable[15]);
    EXPECT_EQ(stream->sps->stRps.num_negative_pics, 32u);
    EXPECT_EQ(stream->sps->lt_ref_pic_poc_lsb_sps[31], 31u);
    EXPECT_EQ(stream->sps->pic_width_in_luma_samples, 1920u);  // read after both arrays

    TestPps pps;
    pps.pps_pic_parameter_set_id = 63;
    pps.pps_seq_parameter_set_id = 15;
    pps.tiles = true;
    pps.num_tile_columns_minus1 = 20;
    pps.num_tile_rows_minus1 = 22;
    ASSERT_GT(Parse(stream.get(), WriteTestPps(pps)), 0);
    EXPECT_EQ(stream->pps, &stream->ppsTable[63]);
    EXPECT_EQ(stream->pps->num_tile_rows_minus1, 22u);
    EXPECT_EQ(stream->pps->loop_filter_across_tiles_enabled_flag, 1u);
}

TEST(HevcSliceHeader, GarbageEntryPointCountIsRefusedWithoutSpinning)
{
    // A count of about 2^31 in a short unit: every offset past the data would
    // read as zero; the parse must stop once it has run past the end.
    BitWriter w;
    w.u(1, 1); w.u(1, 0); w.ue(0); w.ue(2); w.se(0);
    w.ue(0x7FFFFFFF); w.ue(31);
    HevcStreamPtr stream(CreateHevcStream());
    ASSERT_GT(Parse(stream.get(), WriteTestSps({})), 0);
    ASSERT_GT(Parse(stream.get(), WriteTestPps({})), 0);
    LogCapture log;
    EXPECT_EQ(Parse(stream.get(), MakeNal(w, 19)), -1);
    EXPECT_TRUE(log.contains("num_entry_point_offsets"));
}

TEST(HevcStream, UnitLongerThanTheRbspBufferIsRefused)
{
    HevcStreamPtr stream(CreateHevcStream());
    std::vector<uint8_t> huge(kRbspCapacity + 1, 0x55);
    huge[0] = 33 << 1;
    huge[1] = 1;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ParseHevcNal(stream.get(), huge.data(), huge.size()), -1);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("parser: rbsp buffer is too small ..."), std::string::npos);
    EXPECT_EQ(stream->sps, nullptr);
    // The largest accepted size still parses.
    huge.resize(kRbspCapacity);
    EXPECT_EQ(ParseHevcNal(stream.get(), huge.data(), huge.size()), static_cast<int32_t>(kRbspCapacity));
}

TEST(HevcStream, SliceNamingSetsNeverReceivedReadsZeroFilledTables)
{
    HevcStreamPtr stream(CreateHevcStream());
    TestSlice slice;
    slice.slice_pic_parameter_set_id = 7;
    uint32_t headerBits = 0;
    const std::vector<uint8_t> nal = WriteTestSlice(slice, headerBits);
    ASSERT_EQ(Parse(stream.get(), nal), static_cast<int32_t>(nal.size()));
    EXPECT_EQ(stream->pps, &stream->ppsTable[7]);
    EXPECT_EQ(stream->sps, &stream->spsTable[0]);
    EXPECT_EQ(stream->sh->slice_type, 2u);
    // Without wavefront or extension in the (zero) PPS, the header ends
    // after slice_qp_delta.
    EXPECT_EQ(stream->loc->headerBits, 16u + 1 + 1 + 7 + 3 + 1);
}

TEST(HevcStream, OtherUnitsReturnTheirLengthAndChangeNothing)
{
    HevcStreamPtr stream(CreateHevcStream());
    ASSERT_GT(Parse(stream.get(), WriteTestSps({})), 0);
    auto before = std::make_unique<HevcStream>(*stream);
    const std::vector<uint8_t> units[] = {
        {39 << 1, 1, 5, 2, 0xAB, 0xCD, 0x80},   // SEI
        {35 << 1, 1, 0x50},                     // access unit delimiter
        {32 << 1, 1, 0x3C, 0xFF, 0x80},         // VPS 3
        {36 << 1},                              // end of sequence, header cut short
    };
    for (const std::vector<uint8_t>& nal : units)
        EXPECT_EQ(ParseHevcNal(stream.get(), nal.data(), nal.size()), static_cast<int32_t>(nal.size()));
    EXPECT_EQ(std::memcmp(stream->spsTable, before->spsTable, sizeof(before->spsTable)), 0);
    EXPECT_EQ(stream->sps, before->sps);
}

TEST(HevcSps, SubLayerOrderingCopiesTheHighestEntryWhenOnlyItIsCoded)
{
    HevcStreamPtr stream(CreateHevcStream());
    TestSps sps;
    sps.sps_max_sub_layers_minus1 = 2;
    sps.sps_sub_layer_ordering_info_present_flag = 0;
    ASSERT_GT(Parse(stream.get(), WriteTestSps(sps)), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(stream->sps->sps_max_dec_pic_buffering_minus1[i], 6u) << i;
    EXPECT_EQ(stream->sps->sps_max_dec_pic_buffering_minus1[3], 0u);
}

TEST(HevcSps, FrameRateFromTiming)
{
    struct Row { bool timing; uint32_t ticks; uint32_t scale; float expected; };
    const Row rows[] = {{true, 1001, 60000, 59.0f}, {true, 1, 25, 25.0f}, {true, 0, 60000, -1.0f}, {false, 1, 25, -1.0f}};
    for (const Row& row : rows) {
        HevcStreamPtr stream(CreateHevcStream());
        TestSps sps;
        sps.timing = row.timing;
        sps.vui_num_units_in_tick = row.ticks;
        sps.vui_time_scale = row.scale;
        ASSERT_GT(Parse(stream.get(), WriteTestSps(sps)), 0);
        EXPECT_EQ(GetHevcFrameRate(stream->sps), row.expected) << row.ticks << "/" << row.scale;
    }
    EXPECT_EQ(GetHevcFrameRate(nullptr), -1.0f);
}

TEST(HevcScalingLists, DefaultsInRasterOrder)
{
    HevcScalingLists lists{};
    SetDefaultHevcScalingLists(lists);
    const uint32_t intraRow0[8] = {16, 16, 16, 16, 17, 18, 21, 24};
    const uint32_t interRow0[8] = {16, 16, 16, 16, 17, 18, 20, 24};
    for (int sizeId = 1; sizeId < 4; ++sizeId) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(lists.ScalingList[sizeId][0][x], intraRow0[x]);
            EXPECT_EQ(lists.ScalingList[sizeId][5][x], interRow0[x]);
        }
        // The matrices are symmetric; the far corner holds the largest factor.
        EXPECT_EQ(lists.ScalingList[sizeId][2][63], 115u);
        EXPECT_EQ(lists.ScalingList[sizeId][3][63], 91u);
        EXPECT_EQ(lists.ScalingList[sizeId][1][8 * 2 + 5], lists.ScalingList[sizeId][1][8 * 5 + 2]);
    }
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(lists.ScalingList[0][4][i], 16u);
    for (const auto& row : lists.ScalingListDcCoef) {
        for (uint32_t dc : row)
            EXPECT_EQ(dc, 16u);
    }
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
    EXPECT_EQ(lists.ScalingList[0][0][0], 9u);
    EXPECT_EQ(lists.ScalingList[0][0][4], 9u);
    EXPECT_EQ(lists.ScalingList[0][0][1], 9u);
    EXPECT_EQ(lists.ScalingList[0][0][8], 10u);
    EXPECT_EQ(lists.ScalingList[0][0][15], 8u + 6);
    EXPECT_EQ(std::memcmp(lists.ScalingList[1][1], lists.ScalingList[1][0], sizeof(lists.ScalingList[1][0])), 0);
    EXPECT_EQ(lists.ScalingList[2][0][0], 25u);
    EXPECT_EQ(lists.ScalingListDcCoef[0][0], 24u);
    EXPECT_EQ(lists.ScalingListDcCoef[0][1], 24u);
    EXPECT_EQ(lists.ScalingList[3][3][63], 91u);
    EXPECT_EQ(lists.ScalingListDcCoef[1][3], 16u);
}

} // namespace
