// The benchmark's data set, loaded and probed as the benchmark does, and
// walked NAL unit by NAL unit with the project's parsers.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/video_file_frame.h"
#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/nal_unit.h"
#include "support/log_capture.h"

namespace {

constexpr int kFramesPerCase = 30;

struct DataCase {
    const char* folder;
    uint8_t codec;
    size_t width, height;
};

const DataCase kCases[] = {
    {"h264/1280_720", kCodecH264, 1280, 720},  {"h264/1920_1080", kCodecH264, 1920, 1080},
    {"h264/2560_1440", kCodecH264, 2560, 1440}, {"h264/3840_2160", kCodecH264, 3840, 2160},
    {"h265/1280_720", kCodecH265, 1280, 720},  {"h265/1920_1080", kCodecH265, 1920, 1080},
    {"h265/2560_1440", kCodecH265, 2560, 1440}, {"h265/3840_2160", kCodecH265, 3840, 2160},
};

std::string FramePath(const DataCase& c, int index)
{
    return std::string(TARSEL_SOURCE_DIR) + "/data/" + c.folder + "/frame_" + std::to_string(index) + ".frame";
}

class DataSetTest : public ::testing::TestWithParam<DataCase> {};

// Frame 0 alone carries the parameter sets, and the probe reads the case's
// picture from them; every picture refers to at most one earlier picture.
TEST_P(DataSetTest, ThirtyFramesOfOneSecondWithOneReferenceEach)
{
    const DataCase& c = GetParam();
    const bool h264 = c.codec == kCodecH264;
    LogCapture log;
    std::unique_ptr<H264Stream, void (*)(H264Stream*)> avc(CreateH264Stream(), DestroyH264Stream);
    std::unique_ptr<HevcStream, void (*)(HevcStream*)> hevc(CreateHevcStream(), DestroyHevcStream);
    int ppsCount = 0, pictures = 0;
    size_t total = 0;
    for (int index = 0; index < kFramesPerCase; ++index) {
        SCOPED_TRACE(index);
        VideoFileFrame frame(FramePath(c, index));
        EXPECT_EQ(frame.codec, c.codec);
        EXPECT_EQ(frame.version, 1);
        EXPECT_EQ(frame.timestamp, static_cast<uint32_t>(index) * 3000u);  // 90 kHz at 30 fps
        ASSERT_EQ(frame.hasStreamInfo, index == 0);
        if (index == 0) {
            EXPECT_EQ(frame.width, c.width);
            EXPECT_EQ(frame.height, c.height);
            // Coded sizes round up to whole macroblocks or coding blocks.
            EXPECT_TRUE(frame.codedWidth >= c.width && frame.codedWidth < c.width + 16) << frame.codedWidth;
            EXPECT_TRUE(frame.codedHeight >= c.height && frame.codedHeight < c.height + 16) << frame.codedHeight;
            EXPECT_EQ(frame.fps, 30.0f);
            // H.264 High, levels 3.1 to 5.2; H.265 Main, levels 3.1 (93) to 5.2 (156).
            EXPECT_EQ(frame.profile, h264 ? 100u : 1u);
            EXPECT_TRUE(frame.level >= (h264 ? 31u : 93u) && frame.level <= (h264 ? 52u : 156u)) << frame.level;
            EXPECT_TRUE(log.lines().empty()) << log.lines().front();
        } else {
            // A P picture of a noisy source is never a handful of bytes.
            EXPECT_GT(frame.DataSize(), c.width * c.height / 200);
        }
        total += frame.DataSize();

        std::vector<uint8_t> payload(frame.DataSize());
        frame.CopyData(payload.data(), payload.size());
        uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
        for (size_t at = 0; FindNalUnit(payload.data() + at, payload.size() - at, nalStart, nalEnd, startCodeLength) > 0;
             at += nalEnd) {
            const uint8_t* nal = payload.data() + at + nalStart;
            size_t size = nalEnd - nalStart;
            if (h264) {
                ASSERT_GE(ParseH264Nal(avc.get(), nal, size), 0);
                uint32_t type = nal[0] & 0x1F;
                if (type == 8) {
                    ++ppsCount;
                    EXPECT_EQ(avc->pps->num_ref_idx_l0_default_active_minus1, 0u);
                } else if (type == 1 || type == 5) {
                    pictures += avc->sh->first_mb_in_slice == 0;
                    EXPECT_EQ(avc->sh->num_ref_idx_active_override_flag, 0u);
                    EXPECT_EQ(type == 5, index == 0) << "only frame 0 is an IDR picture";
                }
            } else {
                ASSERT_GE(ParseHevcNal(hevc.get(), nal, size), 0);
                uint32_t type = (nal[0] >> 1) & 0x3F;
                if (type == 34) {
                    ++ppsCount;
                    EXPECT_EQ(hevc->pps->num_ref_idx_l0_default_active_minus1, 0u);
                } else if (type <= 31) {
                    pictures += hevc->sh->first_slice_segment_in_pic_flag != 0;
                    EXPECT_EQ(hevc->sh->num_ref_idx_active_override_flag, 0u);
                    EXPECT_EQ(IsHevcIdr(type), index == 0) << "only frame 0 is an IDR picture";
                }
            }
        }
    }
    EXPECT_FALSE(std::filesystem::exists(FramePath(c, kFramesPerCase)));
    EXPECT_EQ(ppsCount, 1);
    EXPECT_EQ(pictures, kFramesPerCase);
    // Roughly the game-streaming rate: H.264 10 Mbit/s at 720p up to 60 at 2160p,
    // H.265 at 70 %. One second of video, so bytes * 8 ~ bits per second.
    double megabits = total * 8.0 / 1e6;
    EXPECT_GT(megabits, 5.0);
    EXPECT_LT(megabits, 100.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataSetTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.folder;
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
});

}  // namespace
