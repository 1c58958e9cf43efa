// The H.265 decoded picture buffer's order counts, by the rules of clause
// 8.3.1 (the pictures it refuses are named in the buffer tests' trace walk).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bitstream/hevc/hevc_parser.h"
#include "decoder/pictures/hevc_picture_buffer.h"

namespace {

using StreamPtr = std::unique_ptr<HevcStream, void (*)(HevcStream*)>;

// MaxPicOrderCntLsb 16. Each row is a picture in decoding order with the
// order count the clause's equations give: the high part follows the last
// picture of sub-layer 0 that is not a sub-layer non-reference picture, and
// restarts at IDR, BLA and a CRA that opens the sequence only.
TEST(HevcPictureBuffer, OrderCountsFollowThePreviousSubLayerZeroPicture)
{
    struct Row { uint32_t type, temporalIdPlus1, lsb; int32_t picOrderCnt; const char* why; };
    const Row rows[] = {
        {21, 1, 12, 12, "a CRA opening the sequence has no high part (else -4)"},
        {19, 1, 0, 0, "IDR"},
        {1, 1, 8, 8, "half the range up is not a wrap"},
        {1, 1, 15, 15, ""},
        {1, 1, 2, 18, "wraps upwards"},
        {0, 1, 9, 25, "TRAIL_N: not an anchor"},
        {1, 2, 10, 26, "temporal sub-layer 1: not an anchor"},
        {1, 1, 12, 12, "from 18, not from 25 or 26 (which would give 28)"},
        {21, 1, 3, 19, "a CRA inside the sequence keeps counting"},
        {16, 1, 5, 5, "BLA restarts"},
        {1, 1, 14, -2, "rises by 9: a step down, below zero"},
        {1, 1, 6, 6, "falls by exactly half the range (from 14): a step up"},
        {1, 1, 14, 14, "rises by exactly half the range: no step"},
        {1, 1, 6, 22, "falls by exactly half the range again"},
    };
    StreamPtr stream{CreateHevcStream(), DestroyHevcStream};
    stream->sps = &stream->spsTable[0];
    stream->sps->log2_max_pic_order_cnt_lsb_minus4 = 0;
    HevcPictureBuffer pictures;
    pictures.Reset(3);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        stream->nal->nal_unit_type = row.type;
        stream->nal->nuh_temporal_id_plus1 = row.temporalIdPlus1;
        stream->sh->slice_pic_order_cnt_lsb = row.lsb;
        uint32_t surface = 0;
        ASSERT_TRUE(pictures.FindFreeSurface(surface));
        ASSERT_TRUE(pictures.StartPicture(*stream, surface));
        EXPECT_EQ(pictures.Current().CurrPicOrderCntVal, row.picOrderCnt);
        pictures.FinishPicture();
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Buffer sizing.

namespace {

// The highest sub-layer's sps_max_dec_pic_buffering_minus1 + 1 pictures and
// the current one, within the 16-picture ceiling.
TEST(HevcPictureBuffer, SurfacesFollowTheHighestSubLayerUpToTheCeiling)
{
    struct Row { uint32_t maxSubLayersMinus1; std::vector<uint32_t> decPicBufferingMinus1; uint32_t surfaces; };
    const Row rows[] = {
        {0, {4, 9}, 6},  // sub-layer 1 is not coded: its stale value is not read
        {2, {1, 3, 5}, 7},
        {1, {2, 2}, 4},
        {6, {0, 0, 0, 0, 0, 0, 15}, 17},
        {2, {3, 8, 16}, 17},  // past the ceiling
        {0, {0xFFFFFFFF}, 17},
        {9, {0, 0, 0, 0, 0, 0, 7}, 9},  // a count past the last sub-layer stops at it
    };
    for (const Row& row : rows) {
        HevcSps sps{};
        sps.sps_max_sub_layers_minus1 = row.maxSubLayersMinus1;
        std::copy(row.decPicBufferingMinus1.begin(), row.decPicBufferingMinus1.end(), sps.sps_max_dec_pic_buffering_minus1);
        EXPECT_EQ(HevcPictureBuffer::SurfacesFor(sps), row.surfaces) << "row " << (&row - rows);
    }
}

}  // namespace
