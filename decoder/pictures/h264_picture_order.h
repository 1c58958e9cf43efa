#pragma once

#include <cstdint>

struct H264Sps;
struct H264SliceHeader;

// A frame's two field order counts; PicOrderCnt of the frame is the smaller.
struct H264FieldOrderCounts {
    int32_t top;
    int32_t bottom;
};

inline int32_t FramePicOrderCnt(const H264FieldOrderCounts& counts)
{
    return counts.top < counts.bottom ? counts.top : counts.bottom;
}

// The picture order counts of coded frames (clause 8.2.1, all three types).
// Each derivation also makes the frame the "previous" one the next frame
// derives from, so the caller works on a copy until the frame is decoded.
class H264PictureOrder {
public:
    H264FieldOrderCounts Derive(const H264Sps& sps, const H264SliceHeader& sh, bool idr, bool reference);
    // A frame inferred for a gap in frame_num: types 1 and 2 count it as a
    // reference frame with no deltas; type 0 has no lsb for it, so it takes
    // the previous reference frame's counts.
    H264FieldOrderCounts DeriveNonExisting(const H264Sps& sps, uint32_t frameNum);
    // The frame just derived carried memory_management_control_operation 5:
    // its counts become relative to its own, and the next frame counts from
    // there with frame_num 0. Returns the counts it keeps in the buffer.
    H264FieldOrderCounts ResetAfter(const H264Sps& sps, const H264FieldOrderCounts& counts);

private:
    int64_t FrameNumOffset(const H264Sps& sps, uint32_t frameNum, bool idr) const;

    // Type 0: of the previous reference frame.
    int64_t m_PrevPicOrderCntMsb = 0;
    int64_t m_PrevPicOrderCntLsb = 0;
    H264FieldOrderCounts m_PrevReferenceCounts = {0, 0};
    // Types 1 and 2: of the previous frame.
    int64_t m_PrevFrameNumOffset = 0;
    uint32_t m_PrevFrameNum = 0;
};
