#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/simulated/simulated_surface_record.h"

// The device's own reading of an H.264 slice header, as far as the decoded
// reference picture marking goes, and the marking and order counts of the
// H.264 standard (8.2.1, 8.2.5) it derives from it. The sequence and picture
// parameter set values come from the picture parameters.
namespace platform {

struct SimulatedH264MarkingOperation {
    uint32_t operation = 0;  // memory_management_control_operation
    uint32_t differenceOfPicNumsMinus1 = 0;
    uint32_t longTermPicNum = 0;
    uint32_t longTermFrameIdx = 0;
    uint32_t maxLongTermFrameIdxPlus1 = 0;
};

struct SimulatedH264SliceHeader {
    static constexpr size_t kMaxOperations = 66;
    uint32_t nalRefIdc = 0;
    bool idr = false;
    uint32_t sliceType = 0;
    uint32_t frameNum = 0;
    bool fieldPic = false;
    bool bottomField = false;
    uint32_t picOrderCntLsb = 0;
    int32_t deltaPicOrderCntBottom = 0;
    bool longTermReference = false;     // IDR only
    bool adaptiveMarking = false;
    SimulatedH264MarkingOperation operations[kMaxOperations];
    uint32_t operationCount = 0;
};

// Reads the header of the slice whose NAL unit (header byte first) is
// `size` bytes at `nal`; empty when it parsed, else why not.
std::string ReadH264SliceHeader(const uint8_t* nal, size_t size, const DXVA_PicParams_H264& picture,
                                SimulatedH264SliceHeader& header);

// Whether the picture's marking has operation 5, after which it counts as
// frame_num 0 and its order counts start from 0.
bool ResetsH264Numbering(const SimulatedH264SliceHeader& header);

// The current picture's order counts and what the next picture needs of them.
struct SimulatedH264Order {
    bool derived = false;  // pic_order_cnt_type 1 needs the SPS's cycle, which the device is not given
    int64_t counts[2] = {};
    int64_t picOrderCntMsb = 0;
    int64_t frameNumOffset = 0;
};

// The stream's state before the current picture is decoded: an IDR picture
// empties it, a gap in frame_num adds the frames it leaves out; and the
// current picture's order counts.
SimulatedH264Order StartH264Picture(SimulatedH264Marking& marking, const SimulatedH264SliceHeader& header,
                                    const DXVA_PicParams_H264& picture);

// Marks the decoded picture in `surface` and the references its header
// releases; empty, or the marking the header asks for and cannot have.
// `orderCounts` are the counts the picture keeps (reduced by operation 5).
std::string MarkH264Picture(SimulatedH264Marking& marking, const SimulatedH264SliceHeader& header,
                            const DXVA_PicParams_H264& picture, const SimulatedH264Order& order, uint8_t surface,
                            int32_t orderCounts[2]);

}  // namespace platform
