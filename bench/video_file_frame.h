#pragma once

#include <string>

#include "bench/file_frame.h"
#include "bench/video_frame.h"

// A benchmark frame: loaded from its file and probed when constructed.
class VideoFileFrame : public VideoFrame, public FileFrame {
public:
    // Throws std::runtime_error (message names the path) when the file cannot
    // be opened or read, or is shorter than the frame header.
    explicit VideoFileFrame(const std::string& path);

    std::string Describe() const override;
};
