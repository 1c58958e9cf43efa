#pragma once

#include "bitstream/bit_reader.h"
#include "bitstream/h264/h264_records.h"

// Syntax structures behind ParseH264Nal. Each returns false when an id or
// count is out of range for its table (the caller fails the NAL unit).
bool ParseH264Sps(H264Stream& stream, BitReader& reader);
bool ParseH264Pps(H264Stream& stream, BitReader& reader);
bool ParseH264SliceHeader(H264Stream& stream, BitReader& reader);

// scaling_list(): fills `list` with `size` entries, or with `defaultList`
// when the stream asks for the default matrix.
void ReadH264ScalingList(BitReader& reader, uint8_t* list, int size, const uint8_t* defaultList);

// u(n) with n from a stream field; clamped so that garbage cannot ask for
// more than 32 bits.
inline uint32_t ReadBitsCounted(BitReader& reader, uint64_t count)
{
    return ReadBits(reader, static_cast<int>(count > 32 ? 32 : count));
}
