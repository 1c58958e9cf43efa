#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bitstream/h264/h264_parser.h"
#include "h264_builders.h"
#include "support/log_capture.h"

namespace {

using StreamPtr = std::unique_ptr<H264Stream, void (*)(H264Stream*)>;

StreamPtr NewStream()
{
    return StreamPtr(CreateH264Stream(), DestroyH264Stream);
}

int32_t Parse(H264Stream* stream, const std::vector<uint8_t>& unit)
{
    return ParseH264Nal(stream, unit.data(), unit.size());
}

TEST(H264PictureInfo, SizesAspectAndRate)
{
    struct Case {
        const char* what;
        void (*set)(H264Sps&);
        int64_t croppedWidth, codedWidth, croppedHeight, codedHeight;
        float sampleAspect, frameRate;
        const char* warning;
    };
    const Case cases[] = {
        {"field coded 4:2:0 crop", [](H264Sps& s) { s.pic_width_in_mbs_minus1 = 44; s.pic_height_in_map_units_minus1 = 17; s.chroma_format_idc = 1;
                                                   s.frame_cropping_flag = 1; s.frame_crop_left_offset = 1; s.frame_crop_top_offset = 2; },
         718, 720, 568, 576, 1.0f, -1.0f, nullptr},
        {"monochrome field crop", [](H264Sps& s) { s.frame_cropping_flag = 1; s.frame_crop_right_offset = 3; s.frame_crop_bottom_offset = 1; },
         13, 16, 30, 32, 1.0f, -1.0f, nullptr},
        {"4:2:2 crop", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.chroma_format_idc = 2; s.frame_cropping_flag = 1; s.frame_crop_right_offset = 1;
                                       s.frame_crop_bottom_offset = 3; }, 14, 16, 13, 16, 1.0f, -1.0f, nullptr},
        {"4:4:4 crop", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.chroma_format_idc = 3; s.frame_cropping_flag = 1;
                                       s.frame_crop_right_offset = 3; s.frame_crop_bottom_offset = 3; }, 13, 16, 13, 16, 1.0f, -1.0f, nullptr},
        {"sar 10:11", [](H264Sps& s) { s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 3; },
         16, 16, 32, 32, 0.0f, -1.0f, nullptr},
        {"sar 2:1", [](H264Sps& s) { s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 16; },
         16, 16, 32, 32, 2.0f, -1.0f, nullptr},
        {"extended 0:3", [](H264Sps& s) { s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 255; s.sar_height = 3; },
         16, 16, 32, 32, 1.0f, -1.0f, "warning: decoder: aspect_ratio_idc -> sar extended. fail, value: [0,3]"},
        {"reserved idc", [](H264Sps& s) { s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 17; },
         16, 16, 32, 32, 1.0f, -1.0f, "warning: decoder: unexpected aspect_ratio_idc value: 17"},
        {"29.97 fps truncated", [](H264Sps& s) { s.vui_parameters_present_flag = 1; s.timing_info_present_flag = 1; s.num_units_in_tick = 1001; s.time_scale = 60000; },
         16, 16, 32, 32, 1.0f, 29.0f, nullptr},
        {"zero tick", [](H264Sps& s) { s.vui_parameters_present_flag = 1; s.timing_info_present_flag = 1; s.time_scale = 50; },
         16, 16, 32, 32, 1.0f, -1.0f, nullptr},
    };
    for (const Case& c : cases) {
        H264Sps sps{};
        c.set(sps);
        LogCapture log;
        int64_t sizes[4] = {};
        float sampleAspect = 0, frameRate = 0;
        EXPECT_TRUE(GetH264PictureInfo(&sps, sizes[0], sizes[1], sizes[2], sizes[3], sampleAspect, frameRate));
        EXPECT_EQ(std::vector<int64_t>(sizes, sizes + 4), (std::vector<int64_t>{c.croppedWidth, c.codedWidth, c.croppedHeight, c.codedHeight})) << c.what;
        EXPECT_EQ(sampleAspect, c.sampleAspect) << c.what;
        EXPECT_EQ(frameRate, c.frameRate) << c.what;
        EXPECT_EQ(log.lines(), c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{}) << c.what;
    }
}

TEST(H264Nal, SizeLimitAndOverrunAreReportedOnStandardOutput)
{
    StreamPtr stream = NewStream();
    std::vector<uint8_t> huge(kRbspCapacity + 1, 0x55);
    huge[0] = 0x65;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Parse(stream.get(), huge), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "parser: rbsp buffer is too small ...\n");
    huge.resize(kRbspCapacity);  // the largest accepted unit: an SEI, not parsed
    huge[0] = 0x06;
    EXPECT_EQ(Parse(stream.get(), huge), static_cast<int32_t>(kRbspCapacity));

    ASSERT_GT(Parse(stream.get(), MakeSps({})), 0);
    ASSERT_GT(Parse(stream.get(), MakePps({})), 0);
    BuiltSlice slice = MakePSlice({.modificationOperations = 3});
    size_t headerBytes = 1 + slice.headerBits / 8;
    // Missing less than a byte of the header is tolerated (zeros are read) ...
    testing::internal::CaptureStdout();
    EXPECT_EQ(ParseH264Nal(stream.get(), slice.nal.data(), headerBytes), static_cast<int32_t>(headerBytes));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // ... a whole byte past the data is an overrun: after one RBSP byte,
    // frame_num and pic_order_cnt_lsb still need 10 bits.
    testing::internal::CaptureStdout();
    EXPECT_EQ(ParseH264Nal(stream.get(), slice.nal.data(), 2), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "overrun detected: nal type: 1\n");
    EXPECT_EQ(ParseH264Nal(stream.get(), nullptr, 0), 0);
    EXPECT_EQ(ParseH264Nal(nullptr, slice.nal.data(), slice.nal.size()), -1);
    DestroyH264Stream(nullptr);
}

// Explicit bi-prediction weights (no fixture has them): list 1 has its own
// count and arrays, and a non-reference B slice carries no marking.
TEST(H264Nal, ExplicitBipredWeightsForBothLists)
{
    StreamPtr stream = NewStream();
    ASSERT_GT(Parse(stream.get(), MakeSps({})), 0);
    ASSERT_GT(Parse(stream.get(), MakePps({.weighted_bipred_idc = 1})), 0);
    BitWriter w;
    w.ue(0).ue(6).ue(0).u(4, 3).u(6, 9).u(1, 1).u(1, 1).ue(1).ue(2).u(1, 0).u(1, 0).ue(5).ue(3);
    w.u(1, 0).u(1, 1).se(-4).se(7).se(5).se(-6);  // l0[0]: chroma only
    w.u(1, 1).se(9).se(-2).u(1, 0);               // l0[1]: luma only
    for (int i = 0; i < 3; ++i) {
        w.u(1, 1).se(10 + i).se(-i).u(1, i == 2);
        if (i == 2)
            w.se(1).se(2).se(3).se(4);
    }
    w.ue(2).se(1).ue(1);
    size_t headerBits = w.bitCount();
    w.u(8, 0x77).trailing();
    std::vector<uint8_t> unit = w.nal({0x01});
    ASSERT_EQ(Parse(stream.get(), unit), static_cast<int32_t>(unit.size()));
    const H264SliceHeader& sh = *stream->sh;
    EXPECT_EQ(std::vector<int64_t>({sh.direct_spatial_mv_pred_flag, sh.num_ref_idx_l1_active_minus1, sh.luma_log2_weight_denom,
                                    sh.chroma_log2_weight_denom, sh.chroma_weight_l0[0][1], sh.chroma_offset_l0[0][1],
                                    sh.luma_weight_l0[0], sh.luma_weight_l0[1], sh.luma_offset_l1[2], sh.chroma_weight_l1_flag[2],
                                    sh.chroma_offset_l1[2][1], sh.cabac_init_idc, sh.slice_qp_delta}),
              std::vector<int64_t>({1, 2, 5, 3, 5, -6, 0, 9, -2, 1, 4, 2, 1}));
    EXPECT_EQ(stream->loc->headerBits, headerBits);
}

} // namespace
