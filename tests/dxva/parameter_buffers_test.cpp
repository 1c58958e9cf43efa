// Parameter buffers from hand-set parser records: the rules the fixture
// streams do not reach, and buffers that must be refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "decoder/dxva/dxva_buffers.h"
#include "decoder/dxva/hevc_scan_order.h"
#include "support/log_capture.h"

namespace {

using Values = std::vector<int64_t>;
using Picture = DXVA_PicParams_H264;
using Slice = DXVA_Slice_H264_Long;

// A stream of either codec with its first parameter sets active.
template <typename Stream>
std::unique_ptr<Stream, void (*)(Stream*)> WithActiveSets(Stream* created, void (*destroy)(Stream*))
{
    std::unique_ptr<Stream, void (*)(Stream*)> stream(created, destroy);
    stream->sps = &stream->spsTable[0];
    stream->pps = &stream->ppsTable[0];
    return stream;
}
auto NewStream() { return WithActiveSets(CreateH264Stream(), DestroyH264Stream); }
auto NewHevcStream() { return WithActiveSets(CreateHevcStream(), DestroyHevcStream); }

// The picture buffer's account of a picture in surface 0 (order counts 12
// and 13) with two reference frames: surface 1 (frame_num 4, counts 8 and 9)
// and surface 2 as LongTermFrameIdx 1 (counts 2 and 2).
H264PictureReferences TwoReferences()
{
    H264PictureReferences references = {0, {12, 13}, {}, {{8, 9}, {2, 2}}, {4, 1}, 0xF, 0};
    std::fill(std::begin(references.RefFrameList), std::end(references.RefFrameList), 0xFF);
    references.RefFrameList[0] = 1;
    references.RefFrameList[1] = 0x82;
    return references;
}

// Lists as RefFrameList indices: P takes both frames, the second first.
H264SliceLists ListsFor(uint32_t sliceType)
{
    H264SliceLists lists;
    std::fill(&lists.entries[0][0], &lists.entries[0][0] + sizeof(lists.entries), 0xFF);
    lists.count[0] = lists.count[1] = 0;
    if (sliceType % 5 == 0) {
        lists.entries[0][0] = 1;
        lists.entries[0][1] = 0;
        lists.count[0] = 2;
    }
    return lists;
}

// Each row changes a P slice of a progressive picture with TwoReferences()
// and reads back what it should change.
TEST(H264Buffers, RulesTheFixtureDoesNotReach)
{
    auto refs = [](const Picture& pp, const Slice& s) {
        return Values{pp.IntraPicFlag, pp.RefFrameList[0].bPicEntry, s.RefPicList[0][0].bPicEntry, s.RefPicList[0][1].bPicEntry, s.RefPicList[1][0].bPicEntry};
    };
    auto structure = [](const Picture& pp, const Slice&) { return Values{pp.MbaffFrameFlag, pp.field_pic_flag, pp.MinLumaBipredSize8x8Flag}; };
    auto chroma = [](const Picture& pp, const Slice&) { return Values{pp.chroma_qp_index_offset, pp.second_chroma_qp_index_offset}; };
    // Weights[list][reference][Y, Cb, Cr][weight, offset]
    auto weights = [](const Picture&, const Slice& s) { return Values{s.Weights[0][0][0][0], s.Weights[0][0][0][1], s.Weights[0][0][1][0], s.Weights[0][0][2][0]}; };
    struct Case { std::function<void(H264Stream&)> set; std::function<Values(const Picture&, const Slice&)> get; Values expected; };
    const Case cases[] = {
        // An intra picture still lists the frames kept for later pictures; its slices have no lists.
        {[](H264Stream& s) { s.sh->slice_type = 7; }, refs, {1, 1, 0xFF, 0xFF, 0xFF}},
        {[](H264Stream& s) { s.sh->slice_type = 4; }, refs, {1, 1, 0xFF, 0xFF, 0xFF}},  // SI
        {[](H264Stream& s) { s.sps->level_idc = 30; }, structure, {0, 0, 0}},
        {[](H264Stream& s) { s.sps->frame_mbs_only_flag = 0; s.sps->mb_adaptive_frame_field_flag = 1; s.sps->level_idc = 31; }, structure, {1, 0, 1}},
        {[](H264Stream& s) { s.sps->frame_mbs_only_flag = 0; s.sps->mb_adaptive_frame_field_flag = 1; s.sh->field_pic_flag = 1; }, structure, {0, 1, 0}},
        // The fixture's two offsets are equal; distinct values show a swap.
        {[](H264Stream& s) { s.pps->chroma_qp_index_offset = -3; s.pps->second_chroma_qp_index_offset = 5; }, chroma, {-3, 5}},
        // Default weights follow the denominators; out-of-range ones from a damaged header leave no bit.
        {[](H264Stream& s) { s.sh->luma_log2_weight_denom = 7; s.sh->chroma_log2_weight_denom = 7; }, weights, {128, 0, 128, 128}},
        {[](H264Stream& s) { s.sh->luma_log2_weight_denom = 40; s.sh->chroma_log2_weight_denom = 16; }, weights, {0, 0, 0, 0}},
        // Explicit luma next to default chroma (the fixture has both or neither).
        {[](H264Stream& s) {
             s.sh->luma_log2_weight_denom = 5;
             s.sh->chroma_log2_weight_denom = 3;
             s.sh->luma_weight_l0_flag[0] = 1;
             s.sh->luma_weight_l0[0] = 40;
             s.sh->luma_offset_l0[0] = -3;
         }, weights, {40, -3, 8, 8}},
    };
    for (size_t row = 0; row < std::size(cases); ++row) {
        auto stream = NewStream();
        stream->sps->frame_mbs_only_flag = 1;
        stream->sh->slice_type = 5;
        cases[row].set(*stream);
        Picture pp{};
        Slice slice{};
        uint32_t counter = 0;
        ASSERT_EQ(FillPictureParametersH264(*stream, TwoReferences(), false, counter, &pp, sizeof(pp)), 1040);
        ASSERT_EQ(FillSliceControlH264(*stream, TwoReferences(), ListsFor(stream->sh->slice_type), false, &slice, sizeof(slice), 0, 0), 864);
        EXPECT_EQ(cases[row].get(pp, slice), cases[row].expected) << "row " << row;
    }
}

// A buffer too small or missing, or no active parameter sets: refused with
// its line, nothing written and no feedback number used up. The numbers
// then go on from the same counter for both codecs, skipping 0 as it wraps.
TEST(ParameterBuffers, ShortMissingOrUnparsedBuffersAreRefusedUntouched)
{
    auto a = NewStream();
    auto b = NewHevcStream();
    std::array<uint8_t, 2048> buffer;
    uint32_t counter = 0xFFFFFFFF;
    using Fill = std::function<int32_t()>;
    const std::pair<Fill, const char*> cases[] = {
        {[&] { return FillPictureParametersH264(*a, TwoReferences(), false, counter, buffer.data(), 1039); }, "h264 picture parameters buffer holds 1039 bytes, 1040 needed"},
        {[&] { return FillQuantizationMatrixH264(*a, buffer.data(), 223); }, "h264 quantization matrix buffer holds 223 bytes, 224 needed"},
        {[&] { return FillSliceControlH264(*a, TwoReferences(), ListsFor(0), false, buffer.data(), 863, 0, 0); }, "h264 slice control buffer holds 863 bytes, 864 needed"},
        {[&] { return FillPictureParametersHevc(*b, HevcPictureReferences{}, counter, buffer.data(), 231); }, "hevc picture parameters buffer holds 231 bytes, 232 needed"},
        {[&] { return FillPictureParametersHevc(*b, HevcPictureReferences{}, counter, nullptr, 4096); }, "no hevc picture parameters buffer"},
        {[&] { return FillQuantizationMatrixHevc(*b, buffer.data(), 999); }, "hevc quantization matrix buffer holds 999 bytes, 1000 needed"},
        {[&] { a->sps = nullptr; return FillPictureParametersH264(*a, TwoReferences(), false, counter, buffer.data(), 2048); }, "no active h264 parameter sets"},
        {[&] { b->sps = nullptr; return FillPictureParametersHevc(*b, HevcPictureReferences{}, counter, buffer.data(), 2048); }, "no active hevc parameter sets"},
    };
    for (const auto& [fill, line] : cases) {
        LogCapture log;
        buffer.fill(0xAB);
        EXPECT_LT(fill(), 0) << line;
        EXPECT_EQ(log.count(line), 1u) << line;
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xAB), 2048) << line;
    }
    a->sps = &a->spsTable[0];
    b->sps = &b->spsTable[0];
    Picture h264{};
    DXVA_PicParams_HEVC hevc{};
    ASSERT_EQ(FillPictureParametersH264(*a, TwoReferences(), false, counter, &h264, sizeof(h264)), 1040);
    ASSERT_EQ(FillPictureParametersHevc(*b, HevcPictureReferences{}, counter, &hevc, sizeof(hevc)), 232);
    EXPECT_EQ(Values({h264.StatusReportFeedbackNumber, hevc.StatusReportFeedbackNumber}), Values({0xFFFFFFFF, 1}));
}

// The largest layout the parser stores: 20 columns and 22 rows, one entry
// more each than the buffer holds; column i is 100 + i wide, row i 200 + i high.
void LargestTileLayout(HevcPps& p, uint32_t uniform)
{
    p.tiles_enabled_flag = 1;
    p.uniform_spacing_flag = uniform;
    p.num_tile_columns_minus1 = 19;
    p.num_tile_rows_minus1 = 21;
    p.loop_filter_across_tiles_enabled_flag = 1;
    for (uint32_t i = 0; i < 22; ++i) {
        p.column_width_minus1[std::min(i, 19u)] = 100 + std::min(i, 19u);
        p.row_height_minus1[i] = 200 + i;
    }
}

// The PCM and tile fields carry their parameter sets' values only while the
// tool is on: an SPS or PPS record may hold stale values from an earlier set;
// with uniform spacing the layout's sizes stay out. Explicit spacing fills
// every entry the buffer holds; those that do not fit must not spill into
// the next field.
TEST(HevcBuffers, PcmAndTileFieldsOnlyWhileTheirToolIsOn)
{
    auto pcm = [](const DXVA_PicParams_HEVC& pp) {
        return Values{pp.pcm_enabled_flag, pp.pcm_sample_bit_depth_luma_minus1, pp.pcm_sample_bit_depth_chroma_minus1,
                      pp.log2_min_pcm_luma_coding_block_size_minus3, pp.log2_diff_max_min_pcm_luma_coding_block_size,
                      pp.pcm_loop_filter_disabled_flag};
    };
    auto tiles = [](const DXVA_PicParams_HEVC& pp) {
        return Values{pp.tiles_enabled_flag, pp.num_tile_columns_minus1, pp.num_tile_rows_minus1, pp.loop_filter_across_tiles_enabled_flag,
                      pp.column_width_minus1[0], pp.column_width_minus1[18], pp.row_height_minus1[0], pp.row_height_minus1[20], pp.diff_cu_qp_delta_depth};
    };
    auto pcmValues = [](HevcSps& s, const std::array<uint32_t, 6>& v) {
        s.pcm_enabled_flag = v[0]; s.pcm_sample_bit_depth_luma_minus1 = v[1]; s.pcm_sample_bit_depth_chroma_minus1 = v[2];
        s.log2_min_pcm_luma_coding_block_size_minus3 = v[3]; s.log2_diff_max_min_pcm_luma_coding_block_size = v[4];
        s.pcm_loop_filter_disabled_flag = v[5];
    };
    struct Case { const char* what; std::function<void(HevcSps&, HevcPps&)> set; std::function<Values(const DXVA_PicParams_HEVC&)> get; Values expected; };
    const Case cases[] = {
        {"pcm on", [&](HevcSps& s, HevcPps&) { pcmValues(s, {1, 7, 6, 2, 1, 1}); }, pcm, {1, 7, 6, 2, 1, 1}},
        {"pcm off, stale values", [&](HevcSps& s, HevcPps&) { pcmValues(s, {0, 7, 6, 2, 1, 1}); }, pcm, {0, 0, 0, 0, 0, 0}},
        {"tiles off, stale layout", [](HevcSps&, HevcPps& p) { LargestTileLayout(p, 0); p.tiles_enabled_flag = 0; }, tiles, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"tiles on, uniform spacing", [](HevcSps&, HevcPps& p) { LargestTileLayout(p, 1); }, tiles, {1, 19, 21, 1, 0, 0, 0, 0, 0}},
        {"tiles on, explicit spacing", [](HevcSps&, HevcPps& p) { LargestTileLayout(p, 0); }, tiles, {1, 19, 21, 1, 100, 118, 200, 220, 0}},
    };
    for (const Case& c : cases) {
        auto fresh = NewHevcStream();
        c.set(*fresh->sps, *fresh->pps);
        DXVA_PicParams_HEVC pp{};
        uint32_t counter = 0;
        ASSERT_EQ(FillPictureParametersHevc(*fresh, HevcPictureReferences{}, counter, &pp, sizeof(pp)), 232);
        EXPECT_EQ(c.get(pp), c.expected) << c.what;
    }
}

// The SPS source is the fixture stream's (HevcStreamBuffers). Each PPS
// factor encodes where it was stored (sizeId, matrixId, raster position), so
// a wrong source, matrix or order shows in the value. The 4x4 order is
// written out here: the raster positions (row * 4 + column), each
// anti-diagonal walked from its bottom-left end to its top-right end; the
// 8x8 order shows in the stream test's default matrices.
TEST(HevcBuffers, ScalingListsComeFromThePpsWhenItCarriesThem)
{
    constexpr uint8_t kDiagonal4x4[16] = {0, 4, 1, 8, 5, 2, 12, 9, 6, 3, 13, 10, 7, 14, 11, 15};
    auto stream = NewHevcStream();
    HevcPps& pps = *stream->pps;
    auto pattern = [](uint32_t sizeId, uint32_t matrixId, uint32_t raster) { return (sizeId * 64 + matrixId * 10 + raster) & 0xFF; };
    for (uint32_t k = 0; k < 4 * 6 * 64; ++k)
        pps.scalingLists.ScalingList[k / 384][k / 64 % 6][k % 64] = pattern(k / 384, k / 64 % 6, k % 64);
    for (uint32_t m = 0; m < 12; ++m)
        pps.scalingLists.ScalingListDcCoef[m / 6][m % 6] = 20 + m;
    pps.pps_scaling_list_data_present_flag = 1;
    DXVA_Qmatrix_HEVC qm{};
    ASSERT_EQ(FillQuantizationMatrixHevc(*stream, &qm, sizeof(qm)), 1000);
    for (uint32_t m = 0; m < 6; ++m) {
        for (uint32_t j = 0; j < 64; ++j) {
            EXPECT_EQ(qm.ucScalingLists0[m][j % 16], pattern(0, m, kDiagonal4x4[j % 16]));
            EXPECT_EQ(qm.ucScalingLists1[m][j], pattern(1, m, kUpRightDiagonalScan8x8[j]));
            EXPECT_EQ(qm.ucScalingLists2[m][j], pattern(2, m, kUpRightDiagonalScan8x8[j]));
            // 32x32: the intra and inter luma matrices, matrixId 0 and 3.
            EXPECT_EQ(qm.ucScalingLists3[m / 3][j], pattern(3, m / 3 * 3, kUpRightDiagonalScan8x8[j]));
        }
        EXPECT_EQ(qm.ucScalingListDCCoefSizeID2[m], 20 + m);
        EXPECT_EQ(qm.ucScalingListDCCoefSizeID3[m / 3], 26 + m / 3 * 3);
    }
}

}  // namespace
