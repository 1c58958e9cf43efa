#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bitstream/h264/h264_parser.h"
#include "h264_builders.h"
#include "support/log_capture.h"

// Ids and counts from the stream index fixed tables and arrays: the last
// value that fits is taken, the first that does not fails the NAL unit with
// -1 and names the element in the log.

namespace {

using StreamPtr = std::unique_ptr<H264Stream, void (*)(H264Stream*)>;

StreamPtr NewStream()
{
    return StreamPtr(CreateH264Stream(), DestroyH264Stream);
}

struct BoundCase {
    const char* what;
    std::vector<std::vector<uint8_t>> setup;  // parsed first, must succeed
    std::vector<uint8_t> unit;
    bool accepted;
    const char* logged;  // text expected in the log when refused
};

std::vector<BoundCase> Cases()
{
    const auto sps = MakeSps({});
    const auto weightedPps = MakePps({.weighted_pred_flag = 1});
    return {
        {"sps id 31", {}, MakeSps({.seq_parameter_set_id = 31}), true, ""},
        {"sps id 32", {}, MakeSps({.seq_parameter_set_id = 32}), false, "seq_parameter_set_id out of range: 32"},
        {"sps id huge", {}, MakeSps({.seq_parameter_set_id = 0xFFFFFFFEu}), false, "seq_parameter_set_id"},
        {"poc cycle 256", {}, MakeSps({.pic_order_cnt_type = 1, .num_ref_frames_in_pic_order_cnt_cycle = 256}), true, ""},
        {"poc cycle 257", {}, MakeSps({.pic_order_cnt_type = 1, .num_ref_frames_in_pic_order_cnt_cycle = 257}), false,
         "num_ref_frames_in_pic_order_cnt_cycle"},
        {"cpb count 32", {}, MakeSps({.cpb_cnt_minus1 = 31}), true, ""},
        {"cpb count 33", {}, MakeSps({.cpb_cnt_minus1 = 32}), false, "cpb_cnt_minus1"},
        {"pps id 255", {sps}, MakePps({.pic_parameter_set_id = 255}), true, ""},
        {"pps id 256", {sps}, MakePps({.pic_parameter_set_id = 256}), false, "pic_parameter_set_id out of range: 256"},
        {"pps naming sps 32", {sps}, MakePps({.seq_parameter_set_id = 32}), false, "seq_parameter_set_id"},
        {"slice groups 8", {sps}, MakePps({.num_slice_groups_minus1 = 7}), true, ""},
        {"slice groups 9", {sps}, MakePps({.num_slice_groups_minus1 = 8}), false, "num_slice_groups_minus1"},
        {"map units 256", {sps}, MakePps({.num_slice_groups_minus1 = 1, .slice_group_map_type = 6, .pic_size_in_map_units_minus1 = 255}), true, ""},
        {"map units 257", {sps}, MakePps({.num_slice_groups_minus1 = 1, .slice_group_map_type = 6, .pic_size_in_map_units_minus1 = 256}), false,
         "pic_size_in_map_units_minus1"},
        {"slice naming pps 256", {sps, MakePps({})}, MakePSlice({.pic_parameter_set_id = 256}).nal, false, "pic_parameter_set_id"},
        {"64 list modifications", {sps, MakePps({})}, MakePSlice({.modificationOperations = 64}).nal, true, ""},
        {"65 list modifications", {sps, MakePps({})}, MakePSlice({.modificationOperations = 65}).nal, false, "ref_pic_list_modification"},
        {"64 marking operations", {sps, MakePps({})}, MakePSlice({.markingOperations = 64}).nal, true, ""},
        {"65 marking operations", {sps, MakePps({})}, MakePSlice({.markingOperations = 65}).nal, false, "memory_management_control_operation"},
        {"64 weights", {sps, weightedPps}, MakePSlice({.override = true, .num_ref_idx_l0_active_minus1 = 63, .weighted = true, .weightEntries = 64}).nal, true, ""},
        {"65 weights", {sps, weightedPps}, MakePSlice({.override = true, .num_ref_idx_l0_active_minus1 = 64, .weighted = true, .weightEntries = 65}).nal, false,
         "num_ref_idx_l0_active_minus1"},
        {"65 weights from the pps default", {sps, MakePps({.num_ref_idx_l0_default_active_minus1 = 64, .weighted_pred_flag = 1})},
         MakePSlice({.weighted = true, .weightEntries = 65}).nal, false, "pred_weight_table"},
    };
}

TEST(H264Bounds, LastFittingValueIsTakenFirstOverflowingIsRefused)
{
    for (const BoundCase& c : Cases()) {
        StreamPtr stream = NewStream();
        for (const auto& unit : c.setup)
            ASSERT_EQ(ParseH264Nal(stream.get(), unit.data(), unit.size()), static_cast<int32_t>(unit.size())) << c.what;
        LogCapture log;
        int32_t result = ParseH264Nal(stream.get(), c.unit.data(), c.unit.size());
        if (c.accepted) {
            EXPECT_EQ(result, static_cast<int32_t>(c.unit.size())) << c.what;
            EXPECT_EQ(log.count("parser:"), 0u) << c.what;
        } else {
            EXPECT_EQ(result, -1) << c.what;
            EXPECT_TRUE(log.contains(c.logged)) << c.what << " logged: " << (log.messages().empty() ? "" : log.messages()[0]);
        }
    }
}

TEST(H264Bounds, RefusedParameterSetsLeaveTheTablesAlone)
{
    StreamPtr stream = NewStream();
    auto sps = MakeSps({.pic_width_in_mbs_minus1 = 10});
    ASSERT_GT(ParseH264Nal(stream.get(), sps.data(), sps.size()), 0);
    H264Sps* current = stream->sps;

    auto badSps = MakeSps({.seq_parameter_set_id = 40, .pic_width_in_mbs_minus1 = 20});
    auto badPps = MakePps({.pic_parameter_set_id = 300});
    LogCapture log;
    EXPECT_EQ(ParseH264Nal(stream.get(), badSps.data(), badSps.size()), -1);
    EXPECT_EQ(ParseH264Nal(stream.get(), badPps.data(), badPps.size()), -1);
    EXPECT_EQ(stream->sps, current);
    EXPECT_EQ(stream->spsTable[0].pic_width_in_mbs_minus1, 10u);
    EXPECT_EQ(stream->pps, nullptr);
    EXPECT_EQ(stream->nal->parsed, nullptr);
}

} // namespace
