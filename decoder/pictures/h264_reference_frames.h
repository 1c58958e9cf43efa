#pragma once

#include <cstdint>

#include "decoder/pictures/h264_picture_order.h"

struct H264SliceHeader;

// A frame marked "used for reference".
struct H264ReferenceFrame {
    // The surface it was decoded into; a non-existing frame names the surface
    // of a decoded frame standing in for it.
    uint32_t surface;
    uint32_t frameNum;          // FrameNum of a short-term frame
    uint32_t longTermFrameIdx;  // of a long-term frame
    H264FieldOrderCounts counts;
    bool longTerm;
    bool nonExisting;           // inferred for a gap in frame_num
};

// The reference frames of the decoded picture buffer, oldest first, and the
// marking operations of clause 8.2.5 on them (frames only).
class H264ReferenceFrames {
public:
    static constexpr uint32_t kMaxFrames = 16;
    // MaxLongTermFrameIdx of "no long-term frame indices".
    static constexpr int32_t kNoLongTermFrameIdx = -1;

    uint32_t Count() const { return m_Count; }
    const H264ReferenceFrame& operator[](uint32_t index) const { return m_Frames[index]; }
    int32_t MaxLongTermFrameIdx() const { return m_MaxLongTermFrameIdx; }
    bool HoldsSurface(uint32_t surface) const;

    // Every frame unused (an IDR picture, memory_management_control_operation
    // 5); no long-term frame indices either. `maxLongTermFrameIdx` is what an
    // IDR picture sets.
    void Clear(int32_t maxLongTermFrameIdx = kNoLongTermFrameIdx);
    // Adds a frame; false when the buffer already holds kMaxFrames.
    bool Add(const H264ReferenceFrame& frame);
    // The sliding window (8.2.5.3): while the buffer holds max(max_num_ref_frames, 1)
    // frames, the short-term frame with the smallest FrameNumWrap, seen from
    // `currentFrameNum`, goes.
    void SlideWindow(uint32_t maxNumRefFrames, uint32_t currentFrameNum, uint32_t maxFrameNum);
    // The slice's memory_management_control_operation list (8.2.5.4) for the
    // frame `currentFrameNum`. Sets `currentLongTermFrameIdx` (else -1) when
    // operation 6 marks the current frame long-term and `reset` when it holds
    // operation 5.
    void ApplyOperations(const H264SliceHeader& sh, uint32_t currentFrameNum, uint32_t maxFrameNum,
                         int64_t& currentLongTermFrameIdx, bool& reset);

private:
    void Remove(uint32_t index);
    void RemoveLongTermIndex(uint32_t longTermFrameIdx);
    // The short-term frame with PicNum `picNum`; kMaxFrames when there is none.
    uint32_t FindShortTerm(int64_t picNum, uint32_t currentFrameNum, uint32_t maxFrameNum) const;

    H264ReferenceFrame m_Frames[kMaxFrames] = {};
    uint32_t m_Count = 0;
    int32_t m_MaxLongTermFrameIdx = kNoLongTermFrameIdx;
};

// PicNum of a short-term frame, FrameNumWrap for frames (8-27, 8-28).
inline int64_t H264PicNum(uint32_t frameNum, uint32_t currentFrameNum, uint32_t maxFrameNum)
{
    return frameNum > currentFrameNum ? int64_t{frameNum} - maxFrameNum : int64_t{frameNum};
}
