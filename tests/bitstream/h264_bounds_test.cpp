#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bitstream/h264/h264_parser.h"
#include "h264_builders.h"
#include "support/log_capture.h"

// Ids and counts from the stream index fixed tables and arrays: the last
// value that fits is taken, the first that does not fails the NAL unit with
// -1 and names the element in the log; an id refused leaves the tables alone.

namespace {

using StreamPtr = std::unique_ptr<H264Stream, void (*)(H264Stream*)>;

TEST(H264Bounds, LastFittingValueIsTakenFirstOverflowingIsRefused)
{
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> setup;  // parsed first, must succeed
        std::vector<uint8_t> unit;
        const char* logged;  // null: accepted
    };
    const auto sps = MakeSps({});
    const auto pps = MakePps({});
    const auto weightedPps = MakePps({.weighted_pred_flag = 1});
    const Case cases[] = {
        {"sps id 31", {}, MakeSps({.seq_parameter_set_id = 31}), nullptr},
        {"sps id 32", {}, MakeSps({.seq_parameter_set_id = 32}), "seq_parameter_set_id out of range: 32 (at most 31)"},
        {"sps id huge", {}, MakeSps({.seq_parameter_set_id = 0xFFFFFFFEu}), "seq_parameter_set_id"},
        {"poc cycle 256", {}, MakeSps({.pic_order_cnt_type = 1, .num_ref_frames_in_pic_order_cnt_cycle = 256}), nullptr},
        {"poc cycle 257", {}, MakeSps({.pic_order_cnt_type = 1, .num_ref_frames_in_pic_order_cnt_cycle = 257}), "num_ref_frames_in_pic_order_cnt_cycle"},
        {"cpb count 32", {}, MakeSps({.cpb_cnt_minus1 = 31}), nullptr},
        {"cpb count 33", {}, MakeSps({.cpb_cnt_minus1 = 32}), "cpb_cnt_minus1"},
        {"pps id 255", {sps}, MakePps({.pic_parameter_set_id = 255}), nullptr},
        {"pps id 256", {sps}, MakePps({.pic_parameter_set_id = 256}), "pic_parameter_set_id out of range: 256 (at most 255)"},
        {"pps naming sps 32", {sps}, MakePps({.seq_parameter_set_id = 32}), "seq_parameter_set_id"},
        {"slice groups 8", {sps}, MakePps({.num_slice_groups_minus1 = 7}), nullptr},
        {"slice groups 9", {sps}, MakePps({.num_slice_groups_minus1 = 8}), "num_slice_groups_minus1"},
        {"map units 256", {sps}, MakePps({.num_slice_groups_minus1 = 1, .slice_group_map_type = 6, .pic_size_in_map_units_minus1 = 255}), nullptr},
        {"map units 257", {sps}, MakePps({.num_slice_groups_minus1 = 1, .slice_group_map_type = 6, .pic_size_in_map_units_minus1 = 256}), "pic_size_in_map_units_minus1"},
        {"slice naming pps 256", {sps, pps}, MakePSlice({.pic_parameter_set_id = 256}).nal, "pic_parameter_set_id"},
        {"64 list modifications", {sps, pps}, MakePSlice({.modificationOperations = 64}).nal, nullptr},
        {"65 list modifications", {sps, pps}, MakePSlice({.modificationOperations = 65}).nal, "ref_pic_list_modification"},
        {"64 marking operations", {sps, pps}, MakePSlice({.markingOperations = 64}).nal, nullptr},
        {"65 marking operations", {sps, pps}, MakePSlice({.markingOperations = 65}).nal, "memory_management_control_operation"},
        {"64 weights", {sps, weightedPps}, MakePSlice({.override = true, .num_ref_idx_l0_active_minus1 = 63, .weightEntries = 64}).nal, nullptr},
        {"65 weights", {sps, weightedPps}, MakePSlice({.override = true, .num_ref_idx_l0_active_minus1 = 64, .weightEntries = 65}).nal, "num_ref_idx_l0_active_minus1"},
        {"65 weights from the pps default", {sps, MakePps({.num_ref_idx_l0_default_active_minus1 = 64, .weighted_pred_flag = 1})},
         MakePSlice({.weightEntries = 65}).nal, "pred_weight_table"},
    };
    for (const Case& c : cases) {
        StreamPtr stream(CreateH264Stream(), DestroyH264Stream);
        for (const auto& unit : c.setup)
            ASSERT_EQ(ParseH264Nal(stream.get(), unit.data(), unit.size()), static_cast<int32_t>(unit.size())) << c.what;
        const H264Sps* activeSps = stream->sps;
        const H264Pps* activePps = stream->pps;
        LogCapture log;
        int32_t result = ParseH264Nal(stream.get(), c.unit.data(), c.unit.size());
        if (!c.logged) {
            EXPECT_EQ(result, static_cast<int32_t>(c.unit.size())) << c.what;
            EXPECT_EQ(log.count("parser:"), 0u) << c.what;
            continue;
        }
        EXPECT_EQ(result, -1) << c.what;
        EXPECT_TRUE(log.contains(c.logged)) << c.what;
        if (c.unit[0] != 0x41 && std::string(c.logged).find("parameter_set_id") != std::string::npos) {
            // a parameter set refused for its id changes nothing
            EXPECT_EQ(stream->sps, activeSps) << c.what;
            EXPECT_EQ(stream->pps, activePps) << c.what;
            EXPECT_EQ(stream->nal->parsed, nullptr) << c.what;
        }
    }
    // The refused SPS (id 40) did not overwrite the table slot that its
    // masked id would name.
    StreamPtr stream(CreateH264Stream(), DestroyH264Stream);
    for (const auto& unit : {MakeSps({.pic_width_in_mbs_minus1 = 10}), MakeSps({.seq_parameter_set_id = 40, .pic_width_in_mbs_minus1 = 20})})
        ParseH264Nal(stream.get(), unit.data(), unit.size());
    EXPECT_EQ(stream->spsTable[0].pic_width_in_mbs_minus1, 10u);
    EXPECT_EQ(stream->spsTable[8].pic_width_in_mbs_minus1, 0u);
}

} // namespace
