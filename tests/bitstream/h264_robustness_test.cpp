#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "annexb_fixture.h"
#include "bitstream/h264/h264_parser.h"
#include "h264_builders.h"
#include "support/log_capture.h"

namespace {

using StreamPtr = std::unique_ptr<H264Stream, void (*)(H264Stream*)>;

// Corrupted copies of real units (bytes overwritten, bits flipped, units cut)
// parse or fail with -1; the sanitizer build checks that nothing reads or
// writes out of bounds on the way.
TEST(H264Robustness, CorruptedUnitsParseOrFailCleanly)
{
    std::mt19937 random(2024);
    LogCapture log;
    testing::internal::CaptureStdout();
    for (const char* name : {"baseline", "main_b", "high_weighted", "cqm_custom", "interlaced", "yuv444", "hrd_cbr"}) {
        std::vector<Bytes> units = SplitNalUnits(ReadFileBytes(H264FixturePath(std::string(name) + ".264")));
        StreamPtr stream(CreateH264Stream(), DestroyH264Stream);
        for (int round = 0; round < 300; ++round) {
            const Bytes& original = units[random() % units.size()];
            size_t length = original.size() > 64 && round % 2 ? 64 : original.size();
            std::unique_ptr<uint8_t[]> copy(new uint8_t[length]);
            std::copy(original.begin(), original.begin() + static_cast<long>(length), copy.get());
            int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits; ++e) {
                size_t at = 1 + random() % (length - 1 ? length - 1 : 1);
                if (at >= length)
                    continue;
                if (e % 2)
                    copy[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                else
                    copy[at] = static_cast<uint8_t>(random() % 3 ? random() : 0);
            }
            int32_t result = ParseH264Nal(stream.get(), copy.get(), length);
            ASSERT_TRUE(result == static_cast<int32_t>(length) || result == -1) << name << " round " << round;
        }
    }
    testing::internal::GetCapturedStdout();
}

// Field pictures: the bottom-field POC delta is read only for frames, and
// colour_plane_id only for separately coded planes.
TEST(H264SliceHeader, FieldAndPlaneConditions)
{
    StreamPtr stream(CreateH264Stream(), DestroyH264Stream);
    ASSERT_GT(ParseH264Nal(stream.get(), MakeSps({.frame_mbs_only_flag = 0}).data(), MakeSps({.frame_mbs_only_flag = 0}).size()), 0);
    // PPS with bottom_field_pic_order_in_frame_present_flag set, written by hand.
    BitWriter pps;
    pps.ue(0).ue(0).u(1, 0).u(1, 1).ue(0).ue(0).ue(0).u(1, 0).u(2, 0).se(0).se(0).se(0).u(1, 0).u(1, 0).u(1, 0).trailing();
    Bytes ppsUnit = pps.nal({0x68});
    ASSERT_GT(ParseH264Nal(stream.get(), ppsUnit.data(), ppsUnit.size()), 0);

    struct Case { uint32_t field_pic_flag, bottom_field_flag; int32_t deltaBottom; };
    for (Case c : {Case{0, 0, -3}, Case{1, 0, 0}, Case{1, 1, 0}}) {
        BitWriter slice;  // I slice, IDR, CAVLC, no deblocking control
        slice.ue(0).ue(7).ue(0).u(4, 0).u(1, c.field_pic_flag);
        if (c.field_pic_flag)
            slice.u(1, c.bottom_field_flag);
        slice.ue(3).u(6, 4);
        if (!c.field_pic_flag)
            slice.se(c.deltaBottom);
        slice.u(1, 0).u(1, 0).se(2);
        size_t headerBits = slice.bitCount();
        slice.u(16, 0xBEEF).trailing();
        Bytes unit = slice.nal({0x65});
        ASSERT_EQ(ParseH264Nal(stream.get(), unit.data(), unit.size()), static_cast<int32_t>(unit.size()));
        const H264SliceHeader& sh = *stream->sh;
        EXPECT_EQ(sh.field_pic_flag, c.field_pic_flag);
        EXPECT_EQ(sh.bottom_field_flag, c.bottom_field_flag);
        EXPECT_EQ(sh.idr_pic_id, 3u);
        EXPECT_EQ(sh.pic_order_cnt_lsb, 4u);
        EXPECT_EQ(sh.delta_pic_order_cnt_bottom, c.deltaBottom);
        EXPECT_EQ(sh.slice_qp_delta, 2);
        EXPECT_EQ(stream->loc->headerBits, headerBits);
    }
}

} // namespace
