#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "bitstream/hevc/hevc_records.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/simulated/simulated_surface_record.h"

// The reference checks of one submission. Each works on a copy of the
// decoder's record and hands back what the picture changes, which is kept
// only once the whole submission is accepted: an accepted submission is the
// one its frame's end writes into the surface.
namespace platform {

class SimulatedVideoDecoder;

// How a refusal names a slice-control entry, and entry `index` of a list
// ("RefPicList[3]"); both are put together only when a check refuses.
inline std::string SliceEntryName(size_t index) { return "slice entry " + std::to_string(index); }
inline std::string ListEntryName(const char* list, size_t index)
{
    return std::string(list) + "[" + std::to_string(index) + "]";
}

struct SimulatedPendingPicture {
    uint8_t surface = 0;
    SimulatedSurfaceRecord record;
    SimulatedH264Marking h264;
    SimulatedHevcReferences hevc;
};

// The H.264 picture's slices and reference lists against the bitstream and
// the device's record; the slice entries were found sound already.
std::string CheckH264References(const SimulatedVideoDecoder& decoder, const DXVA_PicParams_H264& picture,
                                const uint8_t* entries, size_t entryCount, const uint8_t* bitstream,
                                SimulatedPendingPicture& pending);

// The H.265 picture's RefPicSetLtCurr and RefPicList against the pictures
// the slice's reference set uses and keeps, of those the device holds.
std::string CheckHevcHeldReferences(const SimulatedVideoDecoder& decoder, const DXVA_PicParams_HEVC& picture,
                                    const HevcStream& stream, int32_t picOrderCnt, bool clearsReferences,
                                    SimulatedPendingPicture& pending);

// One of the three current sets: its first `count` entries index RefPicList
// entries holding a picture `names(i, poc)` takes for entry i, in order; the
// rest are empty. `named(i)` says, for a refusal, what the header names.
std::string CheckHevcSet(const DXVA_PicParams_HEVC& picture, const char* name, const uint8_t* set, uint32_t count,
                         const std::function<bool(uint32_t, int32_t)>& names,
                         const std::function<std::string(uint32_t)>& named);

}  // namespace platform
