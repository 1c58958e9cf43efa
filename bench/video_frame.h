#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bench/network_frame.h"

// Codec values carried in the frame header and read by the decoder.
constexpr uint8_t kCodecH264 = 0;
constexpr uint8_t kCodecH265 = 1;

// Size of the frame header: codec and version byte, then a 32-bit little-endian timestamp.
constexpr size_t kFrameHeaderSize = 5;
// The probe only looks for a sequence parameter set this far into the payload.
constexpr size_t kStreamInfoWindow = 100;

// A frame of video: the header fields plus what the sequence parameter set at
// the start of the payload says about the picture.
class VideoFrame : public virtual NetworkFrame {
public:
    std::string Describe() const override;
    size_t ReadInfo(const uint8_t* data, size_t size) override;

    // Fills the picture fields from the first SPS within the payload's first
    // kStreamInfoWindow bytes. False only when an SPS was found and could not
    // be used; no SPS at all leaves the fields as they are and gives true.
    bool ReadStreamInfo(const uint8_t* payload, size_t size);

    uint32_t timestamp = 0;
    uint8_t version = 0;
    uint8_t codec = 0;
    bool hasStreamInfo = false;
    uint32_t profile = 0;
    uint32_t level = 0;
    float fps = 0.0f;   // -1 when the SPS gives no frame rate
    float sar = 0.0f;   // -1 (H.265) or 1 (H.264) when the SPS gives no aspect ratio
    size_t width = 0;   // after cropping
    size_t height = 0;  // after cropping
    size_t codedWidth = 0;
    size_t codedHeight = 0;

private:
    bool ReadH264StreamInfo(const uint8_t* nal, size_t size);
    bool ReadHevcStreamInfo(const uint8_t* nal, size_t size);
};

// Creates the probe's parser states now, so that the first probe of a timed
// run does not pay for setting them up.
void PrepareStreamInfoProbe();
