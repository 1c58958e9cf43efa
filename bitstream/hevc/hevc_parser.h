#pragma once

#include <cstddef>
#include <cstdint>

#include "bitstream/hevc/hevc_records.h"

// Allocates a stream with zero-filled tables; null when out of memory.
HevcStream* CreateHevcStream();
// Null is accepted.
void DestroyHevcStream(HevcStream* stream);

// Parses one NAL unit that starts at its first header byte (no start code).
// Returns length, or -1 when the unit is longer than kRbspCapacity or an id
// or count in it exceeds the table or array it indexes; a refused unit
// leaves the parameter-set tables, the current sets and `sh` as they were.
int32_t ParseHevcNal(HevcStream* stream, const uint8_t* data, size_t length);

bool IsHevcIdr(uint32_t nal_unit_type);
bool IsHevcIrap(uint32_t nal_unit_type);

// End of sequence (36) or of bitstream (37): the next picture opens a sequence.
bool IsHevcEndOfSequence(uint32_t nal_unit_type);

// The nal_unit_type of the first VCL NAL unit of an Annex B access unit;
// -1 when it has none.
int32_t FindHevcPictureType(const uint8_t* data, size_t size);

// Fills every list with the default factors (flat 16 for 4x4 and the DC
// values, the default intra/inter 8x8 matrices elsewhere).
void SetDefaultHevcScalingLists(HevcScalingLists& lists);

// Frames per second from the VUI timing of `sps` (integer quotient of
// vui_time_scale by vui_num_units_in_tick); -1.0 when the SPS carries no
// timing or a zero tick.
float GetHevcFrameRate(const HevcSps* sps);
