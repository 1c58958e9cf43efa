#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "bench/video_file_frame.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

std::vector<uint8_t> FrameBytes(size_t payloadSize, uint8_t seed)
{
    std::vector<uint8_t> bytes = {0x21, 0x01, 0x00, 0x00, 0x00};  // codec 2: not probed
    for (size_t i = 0; i < payloadSize; ++i)
        bytes.push_back(static_cast<uint8_t>(seed + i * 7));
    return bytes;
}

void ExpectPayload(const VideoFileFrame& frame, const std::vector<uint8_t>& bytes)
{
    size_t payloadSize = bytes.size() - 5;
    ASSERT_EQ(frame.fileSize, bytes.size());
    ASSERT_EQ(frame.DataSize(), payloadSize);
    std::vector<uint8_t> copied(payloadSize + 1, 0xee);
    ASSERT_EQ(frame.CopyData(copied.data(), copied.size()), static_cast<int64_t>(payloadSize));
    EXPECT_TRUE(std::equal(bytes.begin() + 5, bytes.end(), copied.begin()));
    EXPECT_EQ(copied[payloadSize], 0xee);
    ASSERT_NE(frame.Payload(), nullptr);
    EXPECT_EQ(std::memcmp(frame.Payload(), bytes.data() + 5, payloadSize), 0);
}

// Loads reuse their storage: each record must still report its own file,
// after a longer or a shorter one, whether the earlier record is gone or
// still alive beside it.
TEST(FrameLoadTest, EachRecordReportsItsOwnSizeAndPayloadWhateverWasLoadedBefore)
{
    TempDir dir;
    const size_t payloadSizes[] = {300000, 17, 0, 200000, 1000000, 64};
    std::vector<std::vector<uint8_t>> files;
    std::vector<std::string> paths;
    for (size_t i = 0; i < std::size(payloadSizes); ++i) {
        files.push_back(FrameBytes(payloadSizes[i], static_cast<uint8_t>(i * 31 + 1)));
        paths.push_back((dir.path() / ("frame_" + std::to_string(i) + ".frame")).string());
        std::ofstream(paths.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(files.back().data()), static_cast<std::streamsize>(files.back().size()));
    }

    std::unique_ptr<VideoFileFrame> previous;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE("file " + std::to_string(i));
        VideoFileFrame frame(paths[i]);  // loaded after the previous one was deleted
        ExpectPayload(frame, files[i]);
        auto alongside = std::make_unique<VideoFileFrame>(paths[(i + 1) % files.size()]);
        ExpectPayload(frame, files[i]);
        ExpectPayload(*alongside, files[(i + 1) % files.size()]);
        if (previous)
            ExpectPayload(*previous, files[i]);  // the same file, loaded one step earlier
        previous = std::move(alongside);
    }
}

#ifndef _WIN32
// A FIFO with no writer would block a plain open forever.
TEST(FrameLoadTest, RefusesAFifoWithoutWaitingForAWriter)
{
    TempDir dir;
    std::string path = (dir.path() / "frame_0.frame").string();
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    LogCapture log;
    EXPECT_THROW(VideoFileFrame frame(path), std::runtime_error);
    EXPECT_EQ(log.count("video: videoframe -> could not open frame file: " + path), 1u);
}
#endif

}  // namespace
