#include "bench/video_file_frame.h"

VideoFileFrame::VideoFileFrame(const std::string& path)
{
    LoadFile(path, kFrameHeaderSize);
    headerSize = ReadInfo(data.data(), data.size());
}

std::string VideoFileFrame::Describe() const
{
    return FileFrame::Describe() + VideoFrame::Describe();
}
