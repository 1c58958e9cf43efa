#include <algorithm>
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

// Loads reuse their storage: each record must report its own file, after a
// longer or a shorter one, while another record lives beside it or after it
// was deleted.
TEST(FrameLoadTest, EachRecordReportsItsOwnSizeAndPayloadWhateverWasLoadedBefore)
{
    TempDir dir;
    const size_t payloadSizes[] = {300000, 17, 0, 200000, 1000000, 64};
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<std::string> paths;
    for (size_t i = 0; i < std::size(payloadSizes); ++i) {
        std::vector<uint8_t> bytes = {0x21, 0x01, 0x00, 0x00, 0x00};  // codec 2: not probed
        for (size_t k = 0; k < payloadSizes[i]; ++k)
            bytes.push_back(static_cast<uint8_t>(i * 31 + k * 7));
        paths.push_back((dir.path() / ("frame_" + std::to_string(i) + ".frame")).string());
        std::ofstream(paths.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        payloads.emplace_back(bytes.begin() + 5, bytes.end());
    }
    auto expectOwn = [&](const VideoFileFrame& frame, size_t i) {
        std::vector<uint8_t> copied(frame.DataSize());
        ASSERT_EQ(frame.CopyData(copied.data(), copied.size()), static_cast<int64_t>(copied.size()));
        EXPECT_EQ(copied, payloads[i]) << "file " << i;
        EXPECT_TRUE(std::equal(copied.begin(), copied.end(), frame.Payload())) << "file " << i;
    };
    std::unique_ptr<VideoFileFrame> previous;
    for (size_t i = 0; i < paths.size(); ++i) {
        VideoFileFrame frame(paths[i]);
        size_t following = (i + 1) % paths.size();
        auto next = std::make_unique<VideoFileFrame>(paths[following]);
        expectOwn(frame, i);
        expectOwn(*next, following);
        if (previous)
            expectOwn(*previous, i);
        previous = std::move(next);
    }
}

// Each refusal names its path once; a FIFO with no writer would block a plain open forever.
TEST(FrameLoadTest, RefusesWhatIsNotARegularFrameFileWithoutWaiting)
{
    TempDir dir;
    const std::string directory = dir.path().string(), missing = (dir.path() / "missing.frame").string();
    const std::string shortFile = (dir.path() / "short.frame").string(), fifo = (dir.path() / "fifo.frame").string();
    std::ofstream(shortFile, std::ios::binary) << "\x00\x01\x02\x03";
    std::vector<std::pair<std::string, std::string>> cases = {{missing, "could not open frame file"},
        {directory, "could not open frame file"}, {shortFile, "frame file is shorter than its header"}};
#ifndef _WIN32
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.emplace_back(fifo, "could not open frame file");
#endif
    for (const auto& [path, reason] : cases) {
        LogCapture log;
        EXPECT_THROW(VideoFileFrame frame(path), std::runtime_error) << path;
        EXPECT_EQ(log.count("video: videoframe -> " + reason + ": " + path), 1u) << path;
    }
}

}  // namespace
