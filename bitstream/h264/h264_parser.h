#pragma once

#include <cstddef>
#include <cstdint>

#include "bitstream/h264/h264_records.h"

// Sample aspect ratio per aspect_ratio_idc 0..16, as truncated integer
// quotients of the ratios of the standard's Table E-1 (1.0 for index 0).
extern const float kSarTable[17];

// Default scaling lists (Tables 7-3 and 7-4), zig-zag order.
extern const uint8_t kDefault4x4Intra[16];
extern const uint8_t kDefault4x4Inter[16];
extern const uint8_t kDefault8x8Intra[64];
extern const uint8_t kDefault8x8Inter[64];

// Null only when the stream record itself cannot be allocated. The
// parameter-set tables start zero-filled.
H264Stream* CreateH264Stream();
void DestroyH264Stream(H264Stream* stream);

// Parses one NAL unit (header byte first, no start code). A slice may be
// passed as only its leading bytes. Returns length, or -1 when the unit is
// larger than kRbspCapacity, an id or count exceeds its table, or the syntax
// ran at least a byte past the data.
int32_t ParseH264Nal(H264Stream* stream, const uint8_t* data, size_t length);

// Picture size, sample aspect ratio and frame rate (-1.0 when unknown) of an
// SPS. False only for a null SPS.
bool GetH264PictureInfo(const H264Sps* sps, int64_t& croppedWidth, int64_t& codedWidth, int64_t& croppedHeight,
                        int64_t& codedHeight, float& sampleAspect, float& frameRate);
