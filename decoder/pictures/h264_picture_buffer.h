#pragma once

#include <cstdint>

#include "decoder/pictures/h264_picture_order.h"
#include "decoder/pictures/h264_reference_frames.h"
#include "decoder/pictures/h264_reference_lists.h"

struct H264Sps;
struct H264Stream;

// What the parameter buffers need to know of the picture being decoded and
// the reference frames it starts with. Unused entries are 0xFF.
struct H264PictureReferences {
    static constexpr uint32_t kListSize = H264ReferenceFrames::kMaxFrames;

    uint32_t surface;  // where the picture is decoded
    int32_t CurrFieldOrderCnt[2];
    // Every reference frame by surface, 0x80 set for a long-term one.
    uint8_t RefFrameList[kListSize];
    int32_t FieldOrderCntList[kListSize][2];
    // FrameNum of a short-term frame, LongTermFrameIdx of a long-term one.
    uint16_t FrameNumList[kListSize];
    uint32_t UsedForReferenceFlags;  // both fields of each listed frame
    uint16_t NonExistingFrameFlags;
};

// The H.264 decoded picture buffer: which surface holds which reference
// frame, the order counts, the marking after each picture and the slices'
// reference lists. Frames only: field pictures and MBAFF are refused.
//
// Frames inferred for a gap in frame_num hold no surface of their own: each
// names the surface of the newest decoded reference frame at the gap, which
// stays out of use for new pictures while any of them is kept, so whatever a
// driver reads through one is a decoded picture and never the one being
// written. They count against max_num_ref_frames like any reference frame,
// so DPB size + 1 surfaces still suffice.
class H264PictureBuffer {
public:
    // The DPB's ceiling of 16 frames plus the picture being decoded.
    static constexpr uint32_t kMaxSurfaces = H264ReferenceFrames::kMaxFrames + 1;

    // Frames the DPB of a stream with this SPS holds: max_dec_frame_buffering
    // when the VUI gives it, else the level's MaxDpbMbs over the frame size,
    // at most 16 and never fewer than max_num_ref_frames (or 1).
    static uint32_t DpbFramesFor(const H264Sps& sps);
    // The DPB and the picture being decoded.
    static uint32_t SurfacesFor(const H264Sps& sps) { return DpbFramesFor(sps) + 1; }

    // Forgets every frame; `surfaceCount` surfaces from now on.
    void Reset(uint32_t surfaceCount);
    uint32_t SurfaceCount() const { return m_SurfaceCount; }
    // The lowest surface no reference frame holds; false when there is none.
    bool FindFreeSurface(uint32_t& surface) const;

    // Works out the order counts, the frames inferred for a gap in frame_num
    // and the references of the picture whose first slice `stream` has just
    // parsed, to be decoded into `surface`, and how the picture will be
    // marked. False, with one error line saying why, for a picture this
    // buffer cannot take.
    bool StartPicture(const H264Stream& stream, uint32_t surface);
    // The lists of the slice `stream` has just parsed, of the started picture.
    bool BuildSliceLists(const H264Stream& stream, H264SliceLists& lists) const;
    // The started picture was decoded: the buffer now holds what its marking
    // keeps. A picture started and never finished changes nothing.
    void FinishPicture();

    const H264PictureReferences& Current() const { return m_Current; }
    const H264ReferenceFrames& Frames() const { return m_State.frames; }

private:
    // Everything a picture changes, so that a failed one can leave it as it was.
    struct State {
        H264ReferenceFrames frames;
        H264PictureOrder order;
        uint32_t prevRefFrameNum = 0;
        // No IDR picture since the reset: frame_num has nothing to follow.
        bool started = false;
    };

    bool FillGap(const H264Sps& sps, uint32_t frameNum, uint32_t surface);
    void DescribeReferences();

    uint32_t m_SurfaceCount = 0;
    State m_State;

    // The started picture: the state it leaves, the frames its slices refer
    // to and its order count.
    bool m_Started = false;
    State m_Next;
    H264ReferenceFrames m_ListFrames;
    int32_t m_CurrentPicOrderCnt = 0;
    uint32_t m_MaxFrameNum = 16;
    H264PictureReferences m_Current = {};
};
