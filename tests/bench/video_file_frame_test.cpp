#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/video_file_frame.h"
#include "support/temp_dir.h"

namespace {

// Header: codec (high nibble) and version, then a little-endian 32-bit
// timestamp; the rest is payload, probed for H.264 (codec 0) and H.265 (1).
TEST(VideoFileFrame, ReadsTheFiveByteHeaderAndHandsOnTheRest)
{
    TempDir dir;
    const std::string sps("\0\0\0\x01\x67\x42\xc0\x1f\xda\x01\x40\x16\xec\x04\x40\0\0\x03\0\x40\0\0\x0c\x83\xc6\x0c\xa8", 27);
    for (const std::string& header : {std::string("\x01\x78\x56\x34\x12"), std::string("\x23\xff\xff\xff\xff")}) {
        std::ofstream(dir.path() / "f", std::ios::binary) << header << sps;
        VideoFileFrame frame((dir.path() / "f").string());
        bool h264 = header[0] == 0x01;
        EXPECT_EQ(std::vector<uint32_t>({frame.codec, frame.version, frame.timestamp, uint32_t(frame.width)}),
                  h264 ? std::vector<uint32_t>({0, 1, 0x12345678, 1280}) : std::vector<uint32_t>({2, 3, 0xffffffff, 0}));
        EXPECT_EQ(frame.DataSize(), sps.size());
        // Copies stop at the capacity and never write past it.
        for (size_t capacity : {size_t{0}, size_t{5}, sps.size()}) {
            std::string payload(sps.size() + 1, '#');
            ASSERT_EQ(frame.CopyData(reinterpret_cast<uint8_t*>(payload.data()), capacity), int64_t(capacity));
            EXPECT_EQ(payload, sps.substr(0, capacity) + std::string(sps.size() + 1 - capacity, '#'));
        }
    }
}

}  // namespace
