// The H.265 decoded picture buffer: order counts by the rules of clause
// 8.3.1, and the pictures it refuses, named from the encoders' traces.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bitstream/annexb_fixture.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/trace_fields.h"
#include "decoder/hevc_picture_buffer.h"
#include "support/log_capture.h"

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

// Each fixture walked picture by picture until the buffer refuses one; the
// numbers in the line are the trace's order counts.
TEST(HevcPictureBuffer, RefusesWhatItCannotHold)
{
    struct Case { std::string name; const char* line; };
    const Case cases[] = {
        // The B picture of order count 2 uses the later picture 3 (delta_poc_s1_minus1[0] 0).
        {"inter_rps", "decoder: hevc picture 2 refers to the later picture 3, which is not kept"},
        // Its picture 8 names a long-term picture (num_long_term_pics 1).
        {"crafted", "decoder: hevc picture 8 refers to long-term pictures, which are not kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::vector<Bytes> units = SplitNalUnits(ReadFileBytes(FixturePath("hevc", c.name + ".hevc")));
        const HeaderTrace trace = HeaderTrace::FromFile(FixturePath("hevc", c.name + ".trace.txt"));
        ASSERT_EQ(units.size(), trace.units().size());
        StreamPtr stream{CreateHevcStream(), DestroyHevcStream};
        HevcPictureBuffer pictures;
        pictures.Reset(HevcPictureBuffer::kMaxSurfaces);
        LogCapture log;
        size_t refused = 0;
        for (size_t i = 0; i < units.size() && refused == 0; ++i) {
            ASSERT_GT(ParseHevcNal(stream.get(), units[i].data(), units[i].size()), 0);
            const TraceUnit& unit = trace.units()[i];
            if (!unit.has("first_slice_segment_in_pic_flag") || !unit.value("first_slice_segment_in_pic_flag"))
                continue;
            uint32_t surface = 0;
            ASSERT_TRUE(pictures.FindFreeSurface(surface));
            if (pictures.StartPicture(*stream, surface))
                pictures.FinishPicture();
            else
                ++refused;
        }
        EXPECT_EQ(refused, 1u);
        EXPECT_EQ(log.count(c.line), 1u) << ::testing::PrintToString(log.messages());
    }
}

}  // namespace
