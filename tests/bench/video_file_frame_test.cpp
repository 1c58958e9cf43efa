#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/video_file_frame.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

class VideoFileFrameTest : public ::testing::Test {
protected:
    std::string Write(const std::vector<uint8_t>& bytes, const std::string& name = "frame_0.frame")
    {
        std::filesystem::path path = m_Dir.path() / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    TempDir m_Dir;
};

// An H.264 SPS (1280x720) right after the header.
const std::vector<uint8_t> kH264Sps = {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0xc0, 0x1f, 0xda, 0x01, 0x40, 0x16,
                                       0xec, 0x04, 0x40, 0x00, 0x00, 0x03, 0x00, 0x40, 0x00, 0x00, 0x0c, 0x83,
                                       0xc6, 0x0c, 0xa8};

TEST_F(VideoFileFrameTest, DecodesTheHeaderAndProbesOnlyKnownCodecs)
{
    const struct {
        std::vector<uint8_t> header;
        uint8_t codec, version;
        uint32_t timestamp;
        size_t width;  // the SPS is read for H.264 only
    } cases[] = {
        {{0x10, 0x01, 0x00, 0x00, 0x00}, 1, 0, 1, 0},  // H.265: the SPS is no H.265 SPS
        {{0x01, 0x78, 0x56, 0x34, 0x12}, 0, 1, 0x12345678, 1280},
        {{0x23, 0xff, 0xff, 0xff, 0xff}, 2, 3, 0xffffffffu, 0},
        {{0xf0, 0x00, 0x00, 0x00, 0x80}, 15, 0, 0x80000000u, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.header));
        std::vector<uint8_t> bytes = c.header;
        bytes.insert(bytes.end(), kH264Sps.begin(), kH264Sps.end());
        VideoFileFrame frame(Write(bytes));
        EXPECT_EQ(frame.codec, c.codec);
        EXPECT_EQ(frame.version, c.version);
        EXPECT_EQ(frame.timestamp, c.timestamp);
        EXPECT_EQ(frame.headerSize, 5u);
        EXPECT_EQ(frame.fileSize, bytes.size());
        EXPECT_EQ(frame.DataSize(), kH264Sps.size());
        EXPECT_EQ(frame.hasStreamInfo, c.width != 0);
        EXPECT_EQ(frame.width, c.width);
        EXPECT_EQ(frame.Describe(), " version: " + std::to_string(c.version) + " timestamp: " + std::to_string(c.timestamp));
    }
}

TEST_F(VideoFileFrameTest, RefusesFilesShorterThanTheHeaderOrMissing)
{
    LogCapture log;
    std::vector<std::string> paths;
    for (size_t size = 0; size < 5; ++size)
        paths.push_back(Write(std::vector<uint8_t>(size, 0x10), "short_" + std::to_string(size) + ".frame"));
    paths.push_back((m_Dir.path() / "missing.frame").string());
    paths.push_back(m_Dir.path().string());  // a directory is no frame file either

    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        try {
            VideoFileFrame frame(path);
            ADD_FAILURE() << "loaded a file that is not a frame";
        } catch (const std::exception& error) {
            EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
        }
    }
    // Each refusal also leaves an error line in the log.
    EXPECT_EQ(log.count("video: videoframe -> "), paths.size());
}

TEST_F(VideoFileFrameTest, CopyDataStopsAtTheCapacityAndNeverWritesBeyondIt)
{
    std::vector<uint8_t> bytes = {0x21, 0x07, 0x00, 0x00, 0x00};
    for (size_t i = 0; i < 64; ++i)
        bytes.push_back(static_cast<uint8_t>(i + 1));
    for (size_t payloadSize : {size_t{64}, size_t{0}}) {
        bytes.resize(5 + payloadSize);
        VideoFileFrame frame(Write(bytes));
        ASSERT_EQ(frame.DataSize(), payloadSize);
        for (size_t capacity : {size_t{0}, size_t{1}, size_t{17}, size_t{64}, size_t{74}}) {
            SCOPED_TRACE(testing::Message() << "payload " << payloadSize << " capacity " << capacity);
            // A guard byte after the capacity shows any write past it.
            std::vector<uint8_t> destination(capacity + 1, 0xee);
            size_t expected = std::min(capacity, payloadSize);
            ASSERT_EQ(frame.CopyData(destination.data(), capacity), static_cast<int64_t>(expected));
            EXPECT_EQ(std::memcmp(destination.data(), bytes.data() + 5, expected), 0);
            EXPECT_EQ(destination[expected], 0xee);
        }
    }
}

TEST(VideoFrameTest, ReadInfoOnAShortBufferReadsNothing)
{
    // The loader refuses such files; a direct caller must not read past the bytes either.
    class ProbeOnly : public VideoFrame {
    public:
        int64_t CopyData(uint8_t*, size_t) const override { return 0; }
        size_t DataSize() const override { return 0; }
        bool QueryFlag() const override { return false; }
    } frame;
    const uint8_t bytes[4] = {0x10, 0x01, 0x02, 0x03};
    EXPECT_EQ(frame.ReadInfo(bytes, sizeof bytes), 0u);
    EXPECT_EQ(frame.codec, 0);
    EXPECT_EQ(frame.timestamp, 0u);
}

}  // namespace
