// Hand-made units and records for what the encoder fixtures never carry: the
// bounds on ids and counts, the picture size, aspect and rate; and scaling
// lists as H.264 clause 7.4.2.1.1 resolves the ones a parameter set leaves
// out (Table 7-2). The default lists are Tables 7-3 and 7-4 of the
// standard, written out here.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/h264/h264_parser.h"
#include "bounds_check.h"
#include "h264_builders.h"

namespace {

using StreamPtr = std::unique_ptr<H264Stream, void (*)(H264Stream*)>;

// Ids and counts from the stream index fixed tables and arrays: the last
// value that fits is taken; the first that does not is refused.
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
    std::vector<uint8_t> largest(kRbspCapacity, 0x55), tooLarge(kRbspCapacity + 1, 0x55);
    largest[0] = 0x06;  // an SEI, not parsed
    tooLarge[0] = 0x65;
    const Case cases[] = {
        {"largest sps ids and counts", {}, MakeSps({.seq_parameter_set_id = 31, .pic_order_cnt_type = 1, .num_ref_frames_in_pic_order_cnt_cycle = 256, .cpb_cnt_minus1 = 31}), nullptr},
        {"sps id 32", {}, MakeSps({.seq_parameter_set_id = 32}), "seq_parameter_set_id out of range: 32 (at most 31)"},
        {"poc cycle 257", {}, MakeSps({.pic_order_cnt_type = 1, .num_ref_frames_in_pic_order_cnt_cycle = 257}), "num_ref_frames_in_pic_order_cnt_cycle"},
        {"cpb count 33", {}, MakeSps({.cpb_cnt_minus1 = 32}), "cpb_cnt_minus1"},
        {"pps id 255, 8 slice groups", {sps}, MakePps({.pic_parameter_set_id = 255, .num_slice_groups_minus1 = 7}), nullptr},
        {"pps id 256", {sps}, MakePps({.pic_parameter_set_id = 256}), "pic_parameter_set_id out of range: 256 (at most 255)"},
        {"slice groups 9", {sps}, MakePps({.num_slice_groups_minus1 = 8}), "num_slice_groups_minus1"},
        {"map units 256", {sps}, MakePps({.num_slice_groups_minus1 = 1, .slice_group_map_type = 6, .pic_size_in_map_units_minus1 = 255}), nullptr},
        {"map units 257", {sps}, MakePps({.num_slice_groups_minus1 = 1, .slice_group_map_type = 6, .pic_size_in_map_units_minus1 = 256}), "pic_size_in_map_units_minus1"},
        {"slice naming pps 256", {sps, pps}, MakePSlice({.pic_parameter_set_id = 256}), "pic_parameter_set_id"},
        {"64 list modifications, marking operations and weights", {sps, weightedPps},
         MakePSlice({.override = true, .num_ref_idx_l0_active_minus1 = 63, .modificationOperations = 64, .markingOperations = 64, .weightEntries = 64}), nullptr},
        {"65 list modifications", {sps, pps}, MakePSlice({.modificationOperations = 65}), "ref_pic_list_modification"},
        {"65 marking operations", {sps, pps}, MakePSlice({.markingOperations = 65}), "memory_management_control_operation"},
        {"65 weights", {sps, weightedPps}, MakePSlice({.override = true, .num_ref_idx_l0_active_minus1 = 64, .weightEntries = 65}), "num_ref_idx_l0_active_minus1"},
        {"65 weights from the pps default", {sps, MakePps({.num_ref_idx_l0_default_active_minus1 = 64, .weighted_pred_flag = 1})},
         MakePSlice({.weightEntries = 65}), "pred_weight_table"},
        {"largest unit", {}, largest, nullptr},
        {"unit beyond the RBSP buffer", {sps, pps}, tooLarge, "parser: rbsp buffer is too small"},
        {"sps cut short", {sps, pps}, std::vector<uint8_t>(sps.begin(), sps.begin() + 8), "overrun detected: nal type: 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StreamPtr stream(CreateH264Stream(), DestroyH264Stream);
        for (const auto& unit : c.setup)
            ASSERT_EQ(ParseH264Nal(stream.get(), unit.data(), unit.size()), static_cast<int32_t>(unit.size()));
        ExpectTakenOrRefused(*stream, ParseH264Nal, c.unit, c.logged, false);
    }
}

// Crop units follow the chroma format and field coding; the sample aspect
// comes from the table of aspect_ratio_idc; the rate is time_scale over
// twice num_units_in_tick, truncated, or -1 without timing.
TEST(H264PictureInfo, SizesAspectAndRate)
{
    struct Case {
        const char* what;
        void (*set)(H264Sps&);
        std::vector<int64_t> sizes;  // cropped and coded width, cropped and coded height
        float sampleAspect, frameRate;
    };
    const Case cases[] = {
        {"field coded 4:2:0", [](H264Sps& s) { s.pic_width_in_mbs_minus1 = 44; s.pic_height_in_map_units_minus1 = 17; s.chroma_format_idc = 1;
                                              s.frame_cropping_flag = 1; s.frame_crop_left_offset = 1; s.frame_crop_top_offset = 2; },
         {718, 720, 568, 576}, 1.0f, -1.0f},
        {"4:2:2", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.chroma_format_idc = 2; s.frame_cropping_flag = 1; s.frame_crop_right_offset = 1;
                                  s.frame_crop_bottom_offset = 3; }, {14, 16, 13, 16}, 1.0f, -1.0f},
        {"4:4:4", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.chroma_format_idc = 3; s.frame_cropping_flag = 1;
                                  s.frame_crop_right_offset = 3; s.frame_crop_bottom_offset = 3; }, {13, 16, 13, 16}, 1.0f, -1.0f},
        {"sar 2:1, 29.97 fps", [](H264Sps& s) { s.vui_parameters_present_flag = s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 16;
                                               s.timing_info_present_flag = 1; s.num_units_in_tick = 1001; s.time_scale = 60000; },
         {16, 16, 32, 32}, 2.0f, 29.0f},
    };
    for (const Case& c : cases) {
        H264Sps sps{};
        c.set(sps);
        std::vector<int64_t> sizes(4);
        float sampleAspect = 0, frameRate = 0;
        EXPECT_TRUE(GetH264PictureInfo(&sps, sizes[0], sizes[1], sizes[2], sizes[3], sampleAspect, frameRate));
        EXPECT_EQ(sizes, c.sizes) << c.what;
        EXPECT_EQ(sampleAspect, c.sampleAspect) << c.what;
        EXPECT_EQ(frameRate, c.frameRate) << c.what;
    }
}

using List = std::vector<int>;

const List kIntra4x4 = {6, 13, 13, 20, 20, 20, 28, 28, 28, 28, 32, 32, 32, 37, 37, 42};
const List kInter4x4 = {10, 14, 14, 20, 20, 20, 24, 24, 24, 24, 27, 27, 27, 30, 30, 34};
const List kIntra8x8 = {6,  10, 10, 13, 11, 13, 16, 16, 16, 16, 18, 18, 18, 18, 18, 23, 23, 23, 23, 23, 23, 25,
                        25, 25, 25, 25, 25, 25, 27, 27, 27, 27, 27, 27, 27, 27, 29, 29, 29, 29, 29, 29, 29, 31,
                        31, 31, 31, 31, 31, 33, 33, 33, 33, 33, 36, 36, 36, 36, 38, 38, 38, 40, 40, 42};
const List kInter8x8 = {9,  13, 13, 15, 13, 15, 17, 17, 17, 17, 19, 19, 19, 19, 19, 21, 21, 21, 21, 21, 21, 22,
                        22, 22, 22, 22, 22, 22, 24, 24, 24, 24, 24, 24, 24, 24, 25, 25, 25, 25, 25, 25, 25, 27,
                        27, 27, 27, 27, 27, 28, 28, 28, 28, 28, 30, 30, 30, 30, 32, 32, 32, 33, 33, 35};

List Flat4x4(int value) { return List(16, value); }
List Flat8x8(int value) { return List(64, value); }

// The PPS's lists 0-5 (4x4), then its 8x8 lists, in coding order.
std::vector<List> PpsLists(const H264Pps& pps, size_t count)
{
    std::vector<List> lists;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* list = i < 6 ? pps.ScalingList4x4[i] : pps.ScalingList8x8[i - 6];
        lists.emplace_back(list, list + (i < 6 ? 16 : 64));
    }
    return lists;
}

// x264 codes its matrices in the PPS only: with cqm=jvt it leaves every list
// out (rule A gives the defaults); its 4:4:4 stream leaves out the lists
// that equal the one before them (custom444.cqm). In the hand-made sets a
// list a PPS leaves out takes the SPS's list when the SPS carries a matrix
// (fall-back rule B); a PPS without a matrix takes the SPS's lists whole.
TEST(H264ScalingLists, FallBackRules)
{
    // SPS: list 0 all 6 (1 and 2 follow it), list 6 all 11, the others left out.
    const Bytes sps = MakeSps({.scalingDeltas = {{-2, -6}, {}, {}, {}, {}, {}, {3, -11}}});
    const struct {
        const char* what;
        std::vector<Bytes> units;  // parsed up to the first PPS
        std::vector<List> lists;
    } kCases[] = {
        {"cqm_jvt", SplitNalUnits(ReadFileBytes(FixturePath("h264", "cqm_jvt.264"))),
         {kIntra4x4, kIntra4x4, kIntra4x4, kInter4x4, kInter4x4, kInter4x4, kIntra8x8, kInter8x8}},
        {"cqm_absent444", SplitNalUnits(ReadFileBytes(FixturePath("h264", "cqm_absent444.264"))),
         {Flat4x4(6), Flat4x4(7), Flat4x4(7), Flat4x4(9), Flat4x4(9), Flat4x4(9), Flat8x8(11), Flat8x8(12), Flat8x8(13), Flat8x8(12),
          Flat8x8(13), Flat8x8(12)}},
        {"no matrix in the pps", {sps, MakePps({})}, {Flat4x4(6), Flat4x4(6), Flat4x4(6), kInter4x4, kInter4x4, kInter4x4, Flat8x8(11), kInter8x8}},
        // PPS: list 1 all 9, list 7 coded as "use the default".
        {"rule b", {sps, MakePps({.scalingDeltas = {{}, {1, -9}, {}, {}, {}, {}, {}, {-8}}})},
         {Flat4x4(6), Flat4x4(9), Flat4x4(9), kInter4x4, kInter4x4, kInter4x4, Flat8x8(11), kInter8x8}},
    };
    for (const auto& c : kCases) {
        StreamPtr stream(CreateH264Stream(), DestroyH264Stream);
        for (const Bytes& unit : c.units) {
            ASSERT_EQ(ParseH264Nal(stream.get(), unit.data(), unit.size()), static_cast<int32_t>(unit.size())) << c.what;
            if ((unit[0] & 0x1F) == 8)
                break;
        }
        EXPECT_EQ(PpsLists(*stream->pps, c.lists.size()), c.lists) << c.what;
    }
}

} // namespace
