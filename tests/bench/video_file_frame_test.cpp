#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/video_file_frame.h"
#include "frame_test_support.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

class VideoFileFrameTest : public ::testing::Test {
protected:
    std::string Write(const std::vector<uint8_t>& bytes, const std::string& name = "frame_0.frame")
    {
        std::filesystem::path path = m_Dir.path() / name;
        WriteBytes(path, bytes);
        return path.string();
    }

    TempDir m_Dir;
};

struct HeaderCase {
    std::vector<uint8_t> header;
    uint8_t codec;
    uint8_t version;
    uint32_t timestamp;
};

TEST_F(VideoFileFrameTest, DecodesTheHeaderFields)
{
    const HeaderCase cases[] = {
        {{0x10, 0x01, 0x00, 0x00, 0x00}, 1, 0, 1},
        {{0x01, 0x78, 0x56, 0x34, 0x12}, 0, 1, 0x12345678},
        {{0x23, 0xff, 0xff, 0xff, 0xff}, 2, 3, 0xffffffffu},
        {{0xf0, 0x00, 0x00, 0x00, 0x80}, 15, 0, 0x80000000u},
    };
    for (const HeaderCase& c : cases) {
        // A payload of bytes that are no Annex B stream: the header alone decides.
        std::vector<uint8_t> bytes = c.header;
        bytes.insert(bytes.end(), {0xde, 0xad, 0xbe, 0xef});
        VideoFileFrame frame(Write(bytes));
        SCOPED_TRACE(testing::PrintToString(c.header));
        EXPECT_EQ(frame.codec, c.codec);
        EXPECT_EQ(frame.version, c.version);
        EXPECT_EQ(frame.timestamp, c.timestamp);
        EXPECT_EQ(frame.headerSize, 5u);
        EXPECT_EQ(frame.fileSize, 9u);
        EXPECT_EQ(frame.DataSize(), 4u);
        EXPECT_FALSE(frame.hasStreamInfo);
        EXPECT_EQ(frame.width, 0u);
    }
}

TEST_F(VideoFileFrameTest, OtherCodecsAreNotProbed)
{
    // An H.264 SPS right after the header would be read for codec 0; codec 2 ignores it.
    const std::vector<uint8_t> sps = {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0xc0, 0x1f, 0xda, 0x01, 0x40, 0x16,
                                      0xec, 0x04, 0x40, 0x00, 0x00, 0x03, 0x00, 0x40, 0x00, 0x00, 0x0c, 0x83,
                                      0xc6, 0x0c, 0xa8};
    VideoFileFrame other(Write(FrameBytes(0x23, 0, sps)));
    EXPECT_EQ(other.codec, 2);
    EXPECT_EQ(other.version, 3);
    EXPECT_FALSE(other.hasStreamInfo);
    EXPECT_EQ(other.width, 0u);
    EXPECT_EQ(other.fps, 0.0f);

    VideoFileFrame h264(Write(FrameBytes(0x01, 0, sps)));
    EXPECT_TRUE(h264.hasStreamInfo);
    EXPECT_EQ(h264.width, 1280u);
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

TEST_F(VideoFileFrameTest, AHeaderOnlyFileHasAnEmptyPayload)
{
    VideoFileFrame frame(Write({0x11, 0xe8, 0x03, 0x00, 0x00}));
    EXPECT_EQ(frame.DataSize(), 0u);
    uint8_t destination[4] = {0xaa, 0xaa, 0xaa, 0xaa};
    EXPECT_EQ(frame.CopyData(destination, sizeof destination), 0);
    EXPECT_EQ(destination[0], 0xaa);
    EXPECT_EQ(frame.timestamp, 1000u);
}

TEST_F(VideoFileFrameTest, CopyDataStopsAtTheCapacityAndNeverWritesBeyondIt)
{
    std::vector<uint8_t> payload(64);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i + 1);
    VideoFileFrame frame(Write(FrameBytes(0x21, 7, payload)));
    ASSERT_EQ(frame.DataSize(), payload.size());

    for (size_t capacity : {size_t{0}, size_t{1}, size_t{17}, payload.size(), payload.size() + 10}) {
        SCOPED_TRACE(capacity);
        // A guard byte after the capacity shows any write past it.
        std::vector<uint8_t> destination(capacity + 1, 0xee);
        int64_t copied = frame.CopyData(destination.data(), capacity);
        size_t expected = std::min(capacity, payload.size());
        ASSERT_EQ(copied, static_cast<int64_t>(expected));
        EXPECT_EQ(std::memcmp(destination.data(), payload.data(), expected), 0);
        EXPECT_EQ(destination[expected], 0xee);
    }
}

TEST_F(VideoFileFrameTest, DescribeShowsVersionAndTimestamp)
{
    VideoFileFrame frame(Write({0x01, 0xe8, 0x03, 0x00, 0x00}));
    EXPECT_EQ(frame.Describe(), " version: 1 timestamp: 1000");
    // Through the base interface the same text comes out.
    const NetworkFrame& base = frame;
    EXPECT_EQ(base.Describe(), " version: 1 timestamp: 1000");
    EXPECT_FALSE(base.QueryFlag());
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
