#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "bench/video_file_frame.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

// Header: codec (high nibble) and version, then a little-endian 32-bit
// timestamp; the rest is payload, probed for H.264 (codec 0) and H.265 (1).
// Loads reuse their storage: each record keeps its own payload while the
// next, longer or shorter, is loaded beside it. Copies into a short buffer
// are held to its size by the fuzz replay.
TEST(VideoFileFrame, ReadsItsHeaderAndOwnPayloadAndRefusesWhatIsNoFrameFile)
{
    TempDir dir;
    const std::string sps("\0\0\0\x01\x67\x42\xc0\x1f\xda\x01\x40\x16\xec\x04\x40\0\0\x03\0\x40\0\0\x0c\x83\xc6\x0c\xa8", 27);
    const struct {
        std::string header;
        size_t payload;                // bytes after the header; the SPS above for codec 0
        std::vector<uint32_t> fields;  // codec, version, timestamp, probed width
    } rows[] = {
        {std::string("\x01\x78\x56\x34\x12", 5), 0, {0, 1, 0x12345678, 1280}},
        {std::string("\x23\xff\xff\xff\xff", 5), 300000, {2, 3, 0xffffffff, 0}},
        {std::string("\x21\x05\x00\x00\x00", 5), 17, {2, 1, 5, 0}},
    };
    auto expectOwn = [](const VideoFileFrame& frame, const std::string& payload) {
        ASSERT_EQ(frame.DataSize(), payload.size());
        EXPECT_TRUE(payload == std::string_view(reinterpret_cast<const char*>(frame.Payload()), payload.size()));
    };
    std::unique_ptr<VideoFileFrame> previous;
    std::string previousPayload;
    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string payload = rows[i].fields[0] == 0 ? sps : "";
        for (size_t k = 0; k < rows[i].payload; ++k)
            payload += char(i * 31 + k * 7);
        const std::string path = WriteFileContents(dir.path() / std::to_string(i), rows[i].header + payload);
        auto frame = std::make_unique<VideoFileFrame>(path);
        EXPECT_EQ(std::vector<uint32_t>({frame->codec, frame->version, frame->timestamp, uint32_t(frame->width)}), rows[i].fields);
        expectOwn(*frame, payload);
        if (previous)
            expectOwn(*previous, previousPayload);
        previous = std::move(frame);
        previousPayload = payload;
    }

    // What is no regular frame file is refused, naming its path once; a FIFO
    // with no writer would block a plain open forever.
    WriteFileContents(dir.path() / "short", std::string("\x21\0\0\0", 4));
    std::vector<std::pair<std::string, std::string>> cases = {
        {"missing", "could not open frame file"}, {"", "could not open frame file"}, {"short", "frame file is shorter than its header"}};
#ifndef _WIN32
    ASSERT_EQ(mkfifo((dir.path() / "fifo").string().c_str(), 0600), 0);
    cases.emplace_back("fifo", "could not open frame file");
#endif
    for (const auto& [name, reason] : cases) {
        const std::string path = (dir.path() / name).string();
        LogCapture log;
        EXPECT_THROW(VideoFileFrame frame(path), std::runtime_error) << path;
        EXPECT_EQ(log.count("video: videoframe -> " + reason + ": " + path), 1u) << path;
    }
}

}  // namespace
