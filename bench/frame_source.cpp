#include "bench/frame_source.h"

#include "bench/benchmark_runner.h"
#include "bench/video_frame.h"

std::unique_ptr<VideoFrame> FrameFileSource::Load(size_t index)
{
    return LoadFrameFile(FrameName(index));
}

std::string FrameFileSource::FrameName(size_t index) const
{
    return FrameFileName(m_Case, static_cast<int32_t>(index));
}
