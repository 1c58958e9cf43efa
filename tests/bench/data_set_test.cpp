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

TEST_P(DataSetTest, FrameZeroProbesToTheCase)
{
    const DataCase& c = GetParam();
    LogCapture log;
    VideoFileFrame frame(FramePath(c, 0));
    EXPECT_EQ(frame.codec, c.codec);
    EXPECT_EQ(frame.version, 1);
    EXPECT_EQ(frame.timestamp, 0u);
    ASSERT_TRUE(frame.hasStreamInfo);
    EXPECT_EQ(frame.width, c.width);
    EXPECT_EQ(frame.height, c.height);
    // Coded sizes round up to whole macroblocks or coding blocks.
    EXPECT_GE(frame.codedWidth, c.width);
    EXPECT_LT(frame.codedWidth, c.width + 16);
    EXPECT_GE(frame.codedHeight, c.height);
    EXPECT_LT(frame.codedHeight, c.height + 16);
    EXPECT_EQ(frame.fps, 30.0f);
    if (c.codec == kCodecH264) {
        EXPECT_EQ(frame.profile, 100u);  // High
        EXPECT_GE(frame.level, 31u);
        EXPECT_LE(frame.level, 52u);
    } else {
        EXPECT_EQ(frame.profile, 1u);  // Main
        EXPECT_GE(frame.level, 93u);   // 3.1 ...
        EXPECT_LE(frame.level, 156u);  // ... 5.2
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_P(DataSetTest, LaterFramesCarryNoStreamInformationAndRealPayloads)
{
    const DataCase& c = GetParam();
    size_t total = 0;
    for (int index = 1; index < kFramesPerCase; ++index) {
        SCOPED_TRACE(index);
        VideoFileFrame frame(FramePath(c, index));
        EXPECT_EQ(frame.codec, c.codec);
        EXPECT_EQ(frame.timestamp, static_cast<uint32_t>(index) * 3000u);  // 90 kHz at 30 fps
        EXPECT_FALSE(frame.hasStreamInfo);
        EXPECT_EQ(frame.width, 0u);
        // A P picture of a noisy source is never a handful of bytes.
        EXPECT_GT(frame.DataSize(), c.width * c.height / 200);
        total += frame.DataSize();
    }
    EXPECT_FALSE(std::filesystem::exists(FramePath(c, kFramesPerCase)));
    // Roughly the game-streaming rate: H.264 10 Mbit/s at 720p up to 60 at 2160p,
    // H.265 at 70 %. One second of video, so bytes * 8 ~ bits per second.
    double megabits = total * 8.0 / 1e6;
    EXPECT_GT(megabits, 5.0);
    EXPECT_LT(megabits, 100.0);
}

// Walks every NAL unit of a case's frames through a fresh parser state.
template <typename Visit>
void ForEachNal(const DataCase& c, Visit visit)
{
    for (int index = 0; index < kFramesPerCase; ++index) {
        VideoFileFrame frame(FramePath(c, index));
        std::vector<uint8_t> payload(frame.DataSize());
        frame.CopyData(payload.data(), payload.size());
        size_t position = 0;
        uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
        while (FindNalUnit(payload.data() + position, payload.size() - position, nalStart, nalEnd, startCodeLength) >
               0) {
            visit(index, payload.data() + position + nalStart, nalEnd - nalStart);
            position += nalEnd;
        }
    }
}

TEST_P(DataSetTest, EveryPictureUsesASingleListZeroReference)
{
    const DataCase& c = GetParam();
    int ppsCount = 0, pictures = 0;
    if (c.codec == kCodecH264) {
        std::unique_ptr<H264Stream, void (*)(H264Stream*)> stream(CreateH264Stream(), DestroyH264Stream);
        ForEachNal(c, [&](int index, const uint8_t* nal, size_t size) {
            ASSERT_GE(ParseH264Nal(stream.get(), nal, size), 0) << "frame " << index;
            uint32_t type = nal[0] & 0x1F;
            if (type == 8) {
                ++ppsCount;
                EXPECT_EQ(stream->pps->num_ref_idx_l0_default_active_minus1, 0u);
            } else if (type == 1 || type == 5) {
                pictures += stream->sh->first_mb_in_slice == 0;
                EXPECT_EQ(stream->sh->num_ref_idx_active_override_flag, 0u) << "frame " << index;
                EXPECT_EQ(type == 5, index == 0) << "only frame 0 is an IDR picture";
            }
        });
    } else {
        std::unique_ptr<HevcStream, void (*)(HevcStream*)> stream(CreateHevcStream(), DestroyHevcStream);
        ForEachNal(c, [&](int index, const uint8_t* nal, size_t size) {
            ASSERT_GE(ParseHevcNal(stream.get(), nal, size), 0) << "frame " << index;
            uint32_t type = (nal[0] >> 1) & 0x3F;
            if (type == 34) {
                ++ppsCount;
                EXPECT_EQ(stream->pps->num_ref_idx_l0_default_active_minus1, 0u);
            } else if (type <= 31) {
                pictures += stream->sh->first_slice_segment_in_pic_flag != 0;
                EXPECT_EQ(stream->sh->num_ref_idx_active_override_flag, 0u) << "frame " << index;
                EXPECT_EQ(IsHevcIdr(type), index == 0) << "only frame 0 is an IDR picture";
            }
        });
    }
    EXPECT_EQ(ppsCount, 1);
    EXPECT_EQ(pictures, kFramesPerCase);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataSetTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DataCase>& info) {
                             std::string name = info.param.folder;
                             for (char& ch : name)
                                 if (ch == '/')
                                     ch = '_';
                             return name;
                         });

}  // namespace
