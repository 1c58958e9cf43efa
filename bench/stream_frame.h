#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "bench/file_frame.h"
#include "bench/stream_reader.h"
#include "bench/video_frame.h"

// One access unit of a stream as the decoder takes it. It has no frame
// header: the codec is the stream's, the timestamp the unit's index in the
// stream (no clock is known), and the picture fields come from the unit's
// first SPS wherever it lies in the unit.
class StreamFrame : public VideoFrame, public FileFrame {
public:
    std::string Describe() const override;
};

// Copies the unit into a new record; null when its memory cannot be had.
std::unique_ptr<StreamFrame> MakeStreamFrame(uint8_t codec, uint32_t index, const AccessUnitView& unit);
