#pragma once

#include <cstdint>

#include "decoder/pictures/h264_reference_frames.h"

struct H264Pps;
struct H264SliceHeader;

// A slice's two reference picture lists as indices into the reference frames
// the picture started with; kNoFrame where the list has no picture.
struct H264SliceLists {
    static constexpr uint32_t kMaxEntries = 32;
    static constexpr uint8_t kNoFrame = 0xFF;

    uint8_t entries[2][kMaxEntries];
    uint32_t count[2];  // num_ref_idx_lX_active_minus1 + 1; 0 for a list the slice has not
};

// The lists of a frame slice (8.2.4): the initial order of P/SP or B slices,
// cut or padded to the active count, then the slice's modifications. False,
// with one error line, when the slice names a frame the buffer does not hold
// or more entries than a list can take.
bool BuildH264SliceLists(const H264ReferenceFrames& frames, uint32_t maxFrameNum, const H264Pps& pps,
                         const H264SliceHeader& sh, int32_t currentPicOrderCnt, H264SliceLists& lists);
