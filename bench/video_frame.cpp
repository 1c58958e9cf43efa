#include "bench/video_frame.h"

std::string VideoFrame::Describe() const
{
    return " version: " + std::to_string(version) + " timestamp: " + std::to_string(timestamp);
}

size_t VideoFrame::ReadInfo(const uint8_t* data, size_t size)
{
    // Nothing to read from a buffer shorter than the header; the loader
    // already refuses such files, this keeps direct callers in bounds too.
    if (size < kFrameHeaderSize)
        return 0;

    codec = data[0] >> 4;
    version = data[0] & 0x0F;
    timestamp = static_cast<uint32_t>(data[1]) | static_cast<uint32_t>(data[2]) << 8 |
                static_cast<uint32_t>(data[3]) << 16 | static_cast<uint32_t>(data[4]) << 24;

    // A payload without usable stream information is still a frame; the
    // probe logs its own failures.
    ReadStreamInfo(data + kFrameHeaderSize, size - kFrameHeaderSize);
    return kFrameHeaderSize;
}
