// The H.264 decoded picture buffer: order counts, marking, gaps in frame_num,
// its size and the slices' reference lists, each worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bitstream/h264/h264_parser.h"
#include "decoder/pictures/h264_picture_buffer.h"
#include "support/log_capture.h"

namespace {

// One coded frame: IDR or not, nal_ref_idc, frame_num, pic_order_cnt_lsb,
// then delta_pic_order_cnt_bottom (type 0) or delta_pic_order_cnt[0] (type 1)
// and delta_pic_order_cnt[1].
struct Picture {
    bool idr;
    uint32_t refIdc, frameNum, lsb = 0;
    int32_t delta0 = 0, delta1 = 0;
};

// A memory_management_control_operation and its one or two values:
// difference_of_pic_nums_minus1, long_term_pic_num or
// max_long_term_frame_idx_plus1 first, long_term_frame_idx second.
struct Operation {
    uint32_t operation, value = 0, longTermFrameIdx = 0;
};

// A 176x144 stream (MaxFrameNum 16, MaxPicOrderCntLsb 16) fed picture by picture.
struct Dpb {
    Dpb(uint32_t maxNumRefFrames = 4, uint32_t pocType = 0)
    {
        stream->sps = &stream->spsTable[0];
        stream->pps = &stream->ppsTable[0];
        H264Sps& sps = *stream->sps;
        sps.profile_idc = 100;
        sps.level_idc = 40;
        sps.pic_width_in_mbs_minus1 = 10;
        sps.pic_height_in_map_units_minus1 = 8;
        sps.frame_mbs_only_flag = 1;
        sps.max_num_ref_frames = maxNumRefFrames;
        sps.pic_order_cnt_type = pocType;
        buffer.Reset(H264PictureBuffer::kMaxSurfaces);
    }

    // Starts the picture in the lowest free surface; finishes it when started.
    bool Decode(const Picture& picture, const std::vector<Operation>& operations = {}, bool longTermIdr = false)
    {
        stream->nal->nal_unit_type = picture.idr ? 5 : 1;
        stream->nal->nal_ref_idc = picture.refIdc;
        H264SliceHeader& sh = *stream->sh;
        sh = H264SliceHeader();
        sh.slice_type = 5;
        sh.frame_num = picture.frameNum;
        sh.pic_order_cnt_lsb = picture.lsb;
        sh.delta_pic_order_cnt_bottom = picture.delta0;
        sh.delta_pic_order_cnt[0] = picture.delta0;
        sh.delta_pic_order_cnt[1] = picture.delta1;
        sh.long_term_reference_flag = longTermIdr;
        sh.adaptive_ref_pic_marking_mode_flag = !operations.empty();
        for (size_t k = 0; k < operations.size(); ++k) {
            sh.memory_management_control_operation[k] = operations[k].operation;
            sh.difference_of_pic_nums_minus1[k] = sh.long_term_pic_num[k] = operations[k].value;
            sh.max_long_term_frame_idx_plus1[k] = operations[k].value;
            sh.long_term_frame_idx[k] = operations[k].longTermFrameIdx;
        }
        uint32_t surface = 0;
        if (!buffer.FindFreeSurface(surface) || !buffer.StartPicture(*stream, surface))
            return false;
        buffer.FinishPicture();
        return true;
    }

    // The reference frames oldest first: FrameNum of a short-term frame,
    // "L" and LongTermFrameIdx of a long-term one, "n" before a non-existing one.
    std::string Frames() const
    {
        std::string text;
        const H264ReferenceFrames& frames = buffer.Frames();
        for (uint32_t i = 0; i < frames.Count(); ++i) {
            text += text.empty() ? "" : " ";
            text += frames[i].longTerm ? "L" : (frames[i].nonExisting ? "n" : "");
            text += std::to_string(frames[i].longTerm ? frames[i].longTermFrameIdx : frames[i].frameNum);
        }
        return text;
    }

    std::vector<int32_t> Counts() const { return {buffer.Current().CurrFieldOrderCnt[0], buffer.Current().CurrFieldOrderCnt[1]}; }

    std::unique_ptr<H264Stream, void (*)(H264Stream*)> stream{CreateH264Stream(), DestroyH264Stream};
    H264PictureBuffer buffer;
};

struct CountRow { Picture picture; int32_t top, bottom; const char* why; };

void ExpectCounts(Dpb& dpb, const std::vector<CountRow>& rows)
{
    for (const CountRow& row : rows) {
        SCOPED_TRACE(row.why);
        ASSERT_TRUE(dpb.Decode(row.picture));
        EXPECT_EQ(dpb.Counts(), std::vector<int32_t>({row.top, row.bottom}));
    }
}

// Type 0: the high part follows the previous reference frame and steps by
// MaxPicOrderCntLsb (16) when the lsb moves by half of it or more. Type 1: a
// cycle of two reference frames, offsets 4 and 2 (6 a cycle),
// offset_for_non_ref_pic -5, offset_for_top_to_bottom_field 1. Type 2: a
// non-reference frame is one below twice its frame_num (the wrap of frame_num
// is compared with the corpus streams end to end).
TEST(H264PictureOrder, EachTypeOfOrderCount)
{
    Dpb zero;
    ExpectCounts(zero, {
        {{true, 3, 0, 0}, 0, 0, "IDR"},
        {{false, 2, 1, 8}, 8, 8, "rises by exactly half the range: not a wrap"},
        {{false, 2, 2, 12}, 12, 12, ""},
        {{false, 0, 3, 2}, 18, 18, "12 to 2 wraps upwards"},
        {{false, 2, 3, 5, -1}, 5, 4, "from 12, not from the non-reference 18 (which gives 21); bottom delta -1"},
        {{false, 2, 4, 14}, -2, -2, "5 to 14 is more than half the range: wraps downwards"},
    });

    Dpb one(4, 1);
    H264Sps& sps = *one.stream->sps;
    sps.num_ref_frames_in_pic_order_cnt_cycle = 2;
    sps.offset_for_ref_frame[0] = 4;
    sps.offset_for_ref_frame[1] = 2;
    sps.offset_for_non_ref_pic = -5;
    sps.offset_for_top_to_bottom_field = 1;
    ExpectCounts(one, {
        {{true, 3, 0}, 0, 1, "IDR: absFrameNum 0"},
        {{false, 2, 1}, 4, 5, "first frame of the cycle"},
        {{false, 2, 2}, 6, 7, "4 + 2"},
        {{false, 0, 3, 0, 2}, 3, 4, "non-reference: absFrameNum 2, 6 - 5, delta_pic_order_cnt[0] 2"},
        {{false, 2, 3, 0, 0, -3}, 10, 8, "second cycle: 6 + 4; delta_pic_order_cnt[1] -3"},
    });

    Dpb two(2, 2);
    ExpectCounts(two, {
        {{true, 3, 0}, 0, 0, "IDR"},
        {{false, 0, 1}, 1, 1, "non-reference: 2 * 1 - 1"},
    });
}

// max_num_ref_frames 2 after an IDR kept long-term: the window drops the
// oldest short-term frame, never the long-term one. (The window over
// short-term frames alone is compared with the corpus streams end to end.)
TEST(H264PictureBuffer, SlidingWindowKeepsALongTermIdr)
{
    Dpb dpb(2);
    ASSERT_TRUE(dpb.Decode({true, 3, 0}, {}, true));
    ASSERT_TRUE(dpb.Decode({false, 2, 1}));
    EXPECT_EQ(dpb.Frames(), "L0 1");
    ASSERT_TRUE(dpb.Decode({false, 2, 2}));
    EXPECT_EQ(dpb.Frames(), "L0 2");
}

// After frames 0 to 3, picture frame_num 4 (CurrPicNum 4) with each list of
// operations; picNumX is 4 - (difference_of_pic_nums_minus1 + 1).
TEST(H264PictureBuffer, MemoryManagementOperations)
{
    struct Row { std::vector<Operation> operations; const char* frames; const char* why; };
    const Row rows[] = {
        {{{4, 2}, {3, 0, 1}}, "0 1 2 L1 4", "3: picNumX 3 becomes LongTermFrameIdx 1"},
        {{{4, 1}, {3, 3, 0}, {2, 0}}, "1 2 3 4", "2: LongTermPicNum 0 (made from frame 0) unused"},
        {{{4, 3}, {3, 0, 2}, {3, 1, 0}, {4, 1}}, "0 1 L0 4", "4: MaxLongTermFrameIdx 0 drops LongTermFrameIdx 2"},
        {{{4, 1}, {3, 0, 0}, {3, 1, 0}}, "0 1 L0 4", "3 onto a taken LongTermFrameIdx: frame 3 goes, frame 2 takes it"},
        {{{1, 0}, {4, 1}, {6, 0, 0}}, "0 1 2 L0", "6: the current frame becomes LongTermFrameIdx 0"},
        {{{5}}, "0", "5: everything unused, the current frame counts as frame_num 0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        Dpb dpb;
        for (uint32_t frameNum = 0; frameNum < 4; ++frameNum)
            ASSERT_TRUE(dpb.Decode({frameNum == 0, 2, frameNum, 2 * frameNum}));
        ASSERT_TRUE(dpb.Decode({false, 2, 4, 8, 2}, row.operations));
        EXPECT_EQ(dpb.Frames(), row.frames);
    }

    // Operation 5 also restarts the order counts (the frame keeps 6 and 8
    // less its smaller count 6) and frame_num: 1 follows without a gap.
    Dpb dpb;
    ASSERT_TRUE(dpb.Decode({true, 3, 0, 0}));
    ASSERT_TRUE(dpb.Decode({false, 2, 1, 6, 2}, {{5}}));
    const H264ReferenceFrame& kept = dpb.buffer.Frames()[0];
    EXPECT_EQ(std::vector<int32_t>({kept.counts.top, kept.counts.bottom}), std::vector<int32_t>({0, 2}));
    ASSERT_TRUE(dpb.Decode({false, 2, 1, 4}));
    EXPECT_EQ(dpb.Counts(), std::vector<int32_t>({4, 4}));
    EXPECT_EQ(dpb.Frames(), "0 1");
}

// max_num_ref_frames 3, frames 0 and 1 in surfaces 0 and 1, then frame_num
// 4: frames 2 and 3 are inferred, standing in with surface 1, and the window
// makes room for each.
TEST(H264PictureBuffer, GapInFrameNumInfersNonExistingFrames)
{
    Dpb dpb(3);
    dpb.stream->sps->gaps_in_frame_num_value_allowed_flag = 1;
    ASSERT_TRUE(dpb.Decode({true, 3, 0, 0}));
    ASSERT_TRUE(dpb.Decode({false, 2, 1, 2}));
    ASSERT_TRUE(dpb.Decode({false, 2, 4, 8}));
    const H264PictureReferences& current = dpb.buffer.Current();
    EXPECT_EQ(current.surface, 2u);
    EXPECT_EQ(std::vector<int>(current.RefFrameList, current.RefFrameList + 4), std::vector<int>({1, 1, 1, 0xFF}));
    EXPECT_EQ(std::vector<int>(current.FrameNumList, current.FrameNumList + 4), std::vector<int>({1, 2, 3, 0}));
    EXPECT_EQ(std::vector<uint32_t>({current.NonExistingFrameFlags, current.UsedForReferenceFlags}),
              std::vector<uint32_t>({0x6, 0x3F}));
    EXPECT_EQ(dpb.Frames(), "n2 n3 4");
    // Surface 1 stays out of use while frames stand in with it.
    uint32_t surface = 9;
    ASSERT_TRUE(dpb.buffer.FindFreeSurface(surface));
    EXPECT_EQ(surface, 0u);

    // Without gaps_in_frame_num_value_allowed_flag the picture fails and changes nothing.
    LogCapture log;
    dpb.stream->sps->gaps_in_frame_num_value_allowed_flag = 0;
    EXPECT_FALSE(dpb.Decode({false, 2, 7, 14}));
    EXPECT_EQ(log.count("decoder: h264 frame_num jumps from 4 to 7 while gaps_in_frame_num_value_allowed_flag is 0"), 1u);
    EXPECT_EQ(dpb.Frames(), "n2 n3 4");
}

// Frames the DPB holds: MaxDpbMbs of the level over the frame's macroblocks,
// at most 16, or max_dec_frame_buffering from the VUI; never fewer than
// max_num_ref_frames or 1.
TEST(H264PictureBuffer, DpbSizeFromTheLevelOrTheVui)
{
    struct Row {
        uint32_t profile, level, constraintSet3, widthMbs, heightMapUnits, frameMbsOnly, maxNumRefFrames;
        int32_t maxDecFrameBuffering;  // -1: no bitstream_restriction_flag
        uint32_t frames;
        const char* why;
    };
    const Row rows[] = {
        {100, 40, 0, 120, 68, 1, 1, -1, 4, "1920x1088 at 4: 32768 / 8160"},
        {100, 51, 0, 80, 45, 1, 1, -1, 16, "1280x720 at 5.1: 51, capped"},
        {66, 11, 1, 11, 9, 1, 1, -1, 4, "Baseline 1.1 with constraint_set3_flag is 1b: 396 / 99"},
        {100, 11, 1, 11, 9, 1, 1, -1, 9, "High 1.1 stays 1.1: 900 / 99"},
        {100, 9, 0, 11, 9, 1, 1, -1, 4, "level_idc 9 is 1b"},
        {77, 30, 0, 45, 18, 0, 1, -1, 5, "field coding: two map units a macroblock row pair"},
        {100, 99, 0, 11, 9, 1, 1, -1, 16, "unknown level: the ceiling"},
        {100, 40, 0, 120, 68, 1, 3, 1, 3, "VUI below max_num_ref_frames"},
        {100, 40, 0, 120, 68, 1, 0, 0, 1, "intra only: still one"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        H264Sps sps{};
        sps.profile_idc = row.profile;
        sps.level_idc = row.level;
        sps.constraint_set3_flag = row.constraintSet3;
        sps.pic_width_in_mbs_minus1 = row.widthMbs - 1;
        sps.pic_height_in_map_units_minus1 = row.heightMapUnits - 1;
        sps.frame_mbs_only_flag = row.frameMbsOnly;
        sps.max_num_ref_frames = row.maxNumRefFrames;
        sps.vui_parameters_present_flag = sps.bitstream_restriction_flag = row.maxDecFrameBuffering >= 0;
        sps.max_dec_frame_buffering = static_cast<uint32_t>(std::max(row.maxDecFrameBuffering, 0));
        EXPECT_EQ(H264PictureBuffer::DpbFramesFor(sps), row.frames);
    }
}

// Reference frames, by index: 0 frame_num 5 (POC 10), 1 frame_num 7 (POC
// 14), 2 long-term 1 (POC 4), 3 frame_num 6 (POC 20), 4 long-term 0 (POC
// 30); the current frame is frame_num 8, POC 16, MaxFrameNum 16. The
// "wrapped" rows hold 0 frame_num 15 (POC 10) and 1 frame_num 0 (POC 14)
// before frame_num 1 and take their counts from the PPS: both lists of a B
// slice whose frames all precede it would be the same, so list 1 swaps its
// first two; frame_num 15 is PicNum -1, before frame_num 0.
TEST(H264ReferenceLists, InitialOrderTruncationAndModifications)
{
    H264ReferenceFrames frames, wrapped;
    const H264ReferenceFrame held[] = {
        {0, 5, 0, {10, 10}, false, false}, {1, 7, 0, {14, 15}, false, false}, {2, 0, 1, {4, 4}, true, false},
        {3, 6, 0, {21, 20}, false, false}, {4, 0, 0, {30, 30}, true, false},
    };
    for (const H264ReferenceFrame& frame : held)
        ASSERT_TRUE(frames.Add(frame));
    ASSERT_TRUE(wrapped.Add({0, 15, 0, {10, 10}, false, false}));
    ASSERT_TRUE(wrapped.Add({1, 0, 0, {14, 14}, false, false}));

    struct Modification { uint32_t idc, value; };
    struct Row {
        uint32_t sliceType, active0, active1;
        std::vector<Modification> modifications;
        std::vector<int> list0, list1;
        const char* why;
        const char* failure = nullptr;
        bool wrapped = false;
    };
    const Row rows[] = {
        {5, 2, 0, {}, {1, 3}, {}, "cut to the active count"},
        {0, 7, 0, {}, {1, 3, 0, 4, 2, 0xFF, 0xFF}, {}, "P: PicNum 7, 6, 5, then LongTermPicNum 0, 1, padded with no frame"},
        {1, 5, 5, {}, {1, 0, 3, 4, 2}, {3, 1, 0, 4, 2}, "B: POC 14, 10 before 16, 20 after; the other way for list 1"},
        {0, 5, 0, {{2, 1}, {0, 2}}, {2, 0, 1, 3, 4}, {}, "LongTermPicNum 1 first, then PicNum 8 - 3 = 5"},
        {0, 3, 0, {{1, 0}}, {}, {}, "PicNum 8 + 1 is above CurrPicNum: 9 - 16", "decoder: h264 slice puts PicNum -7 in list 0, which is not a reference frame"},
        {0, 2, 0, {{0, 0}, {0, 0}, {0, 0}}, {}, {}, "three operations on two entries", "decoder: h264 slice modifies list 0 beyond its 2 entries"},
        {1, 2, 2, {}, {1, 0}, {0, 1}, "wrapped B: equal lists, list 1 swapped", nullptr, true},
        {0, 2, 2, {}, {1, 0}, {}, "wrapped P: PicNum 0 then -1, no list 1", nullptr, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        H264Pps pps{};
        H264SliceHeader sh{};
        sh.slice_type = row.sliceType;
        sh.frame_num = row.wrapped ? 1 : 8;
        sh.num_ref_idx_active_override_flag = !row.wrapped;
        (row.wrapped ? pps.num_ref_idx_l0_default_active_minus1 : sh.num_ref_idx_l0_active_minus1) = row.active0 - 1;
        (row.wrapped ? pps.num_ref_idx_l1_default_active_minus1 : sh.num_ref_idx_l1_active_minus1) = row.active1 > 0 ? row.active1 - 1 : 0;
        sh.ref_pic_list_modification_flag_l0 = !row.modifications.empty();
        for (size_t k = 0; k < row.modifications.size(); ++k) {
            sh.modification_of_pic_nums_idc_l0[k] = row.modifications[k].idc;
            sh.abs_diff_pic_num_minus1_l0[k] = sh.long_term_pic_num_l0[k] = row.modifications[k].value;
        }
        sh.modification_of_pic_nums_idc_l0[row.modifications.size()] = 3;
        H264SliceLists lists;
        LogCapture log;
        const bool built = BuildH264SliceLists(row.wrapped ? wrapped : frames, 16, pps, sh, 16, lists);
        if (row.failure) {
            EXPECT_FALSE(built);
            EXPECT_EQ(log.count(row.failure), 1u) << ::testing::PrintToString(log.messages());
            continue;
        }
        ASSERT_TRUE(built);
        EXPECT_EQ(std::vector<int>(lists.entries[0], lists.entries[0] + lists.count[0]), row.list0);
        EXPECT_EQ(std::vector<int>(lists.entries[1], lists.entries[1] + lists.count[1]), row.list1);
    }
}

// Field pictures and field coding are refused, naming the property (MBAFF
// is refused through the decoder by the corpus's end-to-end tests).
TEST(H264PictureBuffer, FieldCodingIsRefused)
{
    LogCapture log;
    Dpb dpb;
    dpb.stream->sps->frame_mbs_only_flag = 0;
    EXPECT_FALSE(dpb.Decode({true, 3, 0}));
    EXPECT_EQ(log.count("decoder: H.264 field coding (frame_mbs_only_flag 0) is not supported"), 1u);
    dpb.stream->sh->field_pic_flag = 1;
    EXPECT_FALSE(dpb.buffer.StartPicture(*dpb.stream, 0));
    EXPECT_EQ(log.count("decoder: H.264 field pictures (field_pic_flag 1) are not supported"), 1u);
}

}  // namespace
