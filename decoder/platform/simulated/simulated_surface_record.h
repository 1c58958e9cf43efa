#pragma once

#include <cstddef>
#include <cstdint>

// What the simulated device remembers of the pictures it wrote, kept apart
// from anything the decoder tells it about them later, so that a reference
// list naming the wrong surface or leaving a held picture out is caught.
namespace platform {

// DXVA names a surface with seven bits.
constexpr size_t kSimulatedSurfaceSlots = 128;
constexpr uint8_t kSimulatedNoSurface = 0xFF;

// The picture last written into one surface.
struct SimulatedSurfaceRecord {
    bool written = false;
    uint16_t frameNum = 0;           // H.264
    int32_t orderCounts[2] = {};     // H.264 top and bottom; H.265 PicOrderCntVal in [0]
};

// One H.264 frame the stream holds as reference (8.2.5): a decoded one in
// its surface, or a frame inferred for a gap in frame_num, which has none.
struct SimulatedH264Reference {
    uint8_t surface = kSimulatedNoSurface;
    uint16_t frameNum = 0;
    int32_t orderCounts[2] = {};
    bool longTerm = false;
    uint16_t longTermFrameIdx = 0;
};

// The H.264 decoded reference picture marking and the order-count state the
// next picture starts from, as the device derives them from the slice headers.
struct SimulatedH264Marking {
    static constexpr size_t kMaxReferences = 16;
    SimulatedH264Reference references[kMaxReferences];
    uint8_t count = 0;
    // False until an IDR picture, and after a field picture: fields are
    // not modelled, so the held-reference rules rest until the next IDR.
    bool known = false;
    int32_t maxLongTermFrameIdx = -1;  // -1: no long-term frame indices
    uint16_t prevRefFrameNum = 0;
    uint16_t prevFrameNum = 0;
    int64_t prevFrameNumOffset = 0;
    int64_t prevPicOrderCntMsb = 0;
    int64_t prevPicOrderCntLsb = 0;
};

// H.265: the pictures kept as reference after the last picture's set.
struct SimulatedHevcReferences {
    static constexpr size_t kMaxReferences = 16;
    uint8_t surfaces[kMaxReferences] = {};
    int32_t picOrderCnts[kMaxReferences] = {};
    uint8_t count = 0;
};

struct SimulatedReferenceRecord {
    SimulatedSurfaceRecord surfaces[kSimulatedSurfaceSlots];
    SimulatedH264Marking h264;
    SimulatedHevcReferences hevc;
};

}  // namespace platform
