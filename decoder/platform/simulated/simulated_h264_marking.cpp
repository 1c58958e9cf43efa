#include "decoder/platform/simulated/simulated_h264_marking.h"

#include <algorithm>

#include "bitstream/bit_reader.h"
#include "bitstream/nal_unit.h"

namespace platform {

namespace {

using std::to_string;

// Room for the longest header the marking needs: 32 weights in each list
// and the modification and marking loops at their usual lengths. Only a
// header that reads to the end of the first piece is read again from this
// much of its unit.
constexpr size_t kHeaderRbspBytes = 1024;
constexpr size_t kFirstPieceBytes = 128;
constexpr uint32_t kMaxModifications = 100;

enum SliceKind : uint32_t { kP = 0, kB = 1, kI = 2, kSP = 3, kSI = 4 };

bool SkipListModification(BitReader& reader)
{
    if (!ReadBit(reader))
        return true;
    for (uint32_t count = 0; count < kMaxModifications && !HasOverrun(reader); ++count) {
        uint32_t idc = ReadUe(reader);
        if (idc == 3)
            return true;
        if (idc > 5)
            return false;
        ReadUe(reader);  // abs_diff_pic_num_minus1, long_term_pic_num or abs_diff_view_idx_minus1
    }
    return false;
}

void SkipWeights(BitReader& reader, uint32_t count, bool chroma)
{
    for (uint32_t index = 0; index < count && !HasOverrun(reader); ++index) {
        if (ReadBit(reader)) {
            ReadSe(reader);
            ReadSe(reader);
        }
        if (chroma && ReadBit(reader)) {
            for (int component = 0; component < 4; ++component)
                ReadSe(reader);
        }
    }
}

std::string ReadMarking(BitReader& reader, SimulatedH264SliceHeader& header)
{
    if (header.idr) {
        ReadBit(reader);  // no_output_of_prior_pics_flag
        header.longTermReference = ReadBit(reader) != 0;
        return {};
    }
    header.adaptiveMarking = ReadBit(reader) != 0;
    if (!header.adaptiveMarking)
        return {};
    while (!HasOverrun(reader)) {
        uint32_t operation = ReadUe(reader);
        if (operation == 0)
            return {};
        if (operation > 6)
            return "memory_management_control_operation " + to_string(operation) + " does not exist";
        if (header.operationCount == SimulatedH264SliceHeader::kMaxOperations)
            return "more memory management control operations than a picture can have";
        SimulatedH264MarkingOperation& op = header.operations[header.operationCount++];
        op.operation = operation;
        if (operation == 1 || operation == 3)
            op.differenceOfPicNumsMinus1 = ReadUe(reader);
        if (operation == 2)
            op.longTermPicNum = ReadUe(reader);
        if (operation == 3 || operation == 6)
            op.longTermFrameIdx = ReadUe(reader);
        if (operation == 4)
            op.maxLongTermFrameIdxPlus1 = ReadUe(reader);
    }
    return "the memory management control operations run past the slice";
}

int64_t MaxFrameNum(const DXVA_PicParams_H264& picture)
{
    return int64_t{1} << std::min(picture.log2_max_frame_num_minus4 + 4, 16);
}

// FrameNumWrap of 8.2.4.1, which is PicNum for a frame.
int64_t FrameNumWrap(uint16_t frameNum, int64_t currentFrameNum, int64_t maxFrameNum)
{
    return frameNum > currentFrameNum ? frameNum - maxFrameNum : frameNum;
}

void Remove(SimulatedH264Marking& marking, size_t index)
{
    std::copy(marking.references + index + 1, marking.references + marking.count, marking.references + index);
    --marking.count;
}

size_t LongTermCount(const SimulatedH264Marking& marking)
{
    return static_cast<size_t>(std::count_if(marking.references, marking.references + marking.count,
                                             [](const SimulatedH264Reference& r) { return r.longTerm; }));
}

// 8.2.5.3: with the window full, the short-term frame of the smallest
// FrameNumWrap leaves it.
void SlideWindow(SimulatedH264Marking& marking, const DXVA_PicParams_H264& picture, int64_t currentFrameNum)
{
    const size_t window = std::max<size_t>(picture.num_ref_frames, 1);
    while (marking.count >= window && LongTermCount(marking) < marking.count) {
        size_t oldest = marking.count;
        for (size_t index = 0; index < marking.count; ++index) {
            const SimulatedH264Reference& r = marking.references[index];
            if (!r.longTerm && (oldest == marking.count ||
                                FrameNumWrap(r.frameNum, currentFrameNum, MaxFrameNum(picture)) <
                                    FrameNumWrap(marking.references[oldest].frameNum, currentFrameNum, MaxFrameNum(picture))))
                oldest = index;
        }
        Remove(marking, oldest);
    }
}

void RemoveLongTermIndex(SimulatedH264Marking& marking, uint32_t longTermFrameIdx)
{
    for (size_t index = 0; index < marking.count; ++index) {
        if (marking.references[index].longTerm && marking.references[index].longTermFrameIdx == longTermFrameIdx) {
            Remove(marking, index);
            return;
        }
    }
}

size_t FindShortTerm(const SimulatedH264Marking& marking, int64_t picNum, int64_t currentFrameNum, int64_t maxFrameNum)
{
    for (size_t index = 0; index < marking.count; ++index) {
        const SimulatedH264Reference& r = marking.references[index];
        if (!r.longTerm && FrameNumWrap(r.frameNum, currentFrameNum, maxFrameNum) == picNum)
            return index;
    }
    return marking.count;
}

// 8.2.5.4 for a frame; sets `currentLongTerm` and `reset` as operations 6 and 5 ask.
std::string ApplyOperations(SimulatedH264Marking& marking, const SimulatedH264SliceHeader& header,
                            const DXVA_PicParams_H264& picture, SimulatedH264Reference& current, bool& reset)
{
    const int64_t currentFrameNum = header.frameNum;
    const int64_t maxFrameNum = MaxFrameNum(picture);
    for (uint32_t i = 0; i < header.operationCount; ++i) {
        const SimulatedH264MarkingOperation& op = header.operations[i];
        auto name = [&op] { return "memory_management_control_operation " + to_string(op.operation); };
        const int64_t picNum = currentFrameNum - (int64_t{op.differenceOfPicNumsMinus1} + 1);
        if ((op.operation == 3 || op.operation == 6) && int64_t{op.longTermFrameIdx} > marking.maxLongTermFrameIdx)
            return name() + " gives LongTermFrameIdx " + to_string(op.longTermFrameIdx) +
                   " beyond the largest allowed, " + to_string(marking.maxLongTermFrameIdx);
        switch (op.operation) {
        case 1:
        case 3: {
            size_t index = FindShortTerm(marking, picNum, currentFrameNum, maxFrameNum);
            if (index == marking.count)
                return name() + " names picture number " + to_string(picNum) + ", which no short-term reference has";
            if (op.operation == 1) {
                Remove(marking, index);
                break;
            }
            uint16_t frameNum = marking.references[index].frameNum;
            RemoveLongTermIndex(marking, op.longTermFrameIdx);
            index = FindShortTerm(marking, FrameNumWrap(frameNum, currentFrameNum, maxFrameNum), currentFrameNum, maxFrameNum);
            marking.references[index].longTerm = true;
            marking.references[index].longTermFrameIdx = static_cast<uint16_t>(op.longTermFrameIdx);
            break;
        }
        case 2: {
            size_t index = 0;
            while (index < marking.count && !(marking.references[index].longTerm &&
                                              marking.references[index].longTermFrameIdx == op.longTermPicNum))
                ++index;
            if (index == marking.count)
                return name() + " names long-term picture number " + to_string(op.longTermPicNum) +
                       ", which no long-term reference has";
            Remove(marking, index);
            break;
        }
        case 4:
            marking.maxLongTermFrameIdx = static_cast<int32_t>(op.maxLongTermFrameIdxPlus1) - 1;
            for (size_t index = marking.count; index-- > 0;) {
                if (marking.references[index].longTerm &&
                    int64_t{marking.references[index].longTermFrameIdx} > marking.maxLongTermFrameIdx)
                    Remove(marking, index);
            }
            break;
        case 5:
            marking.count = 0;
            marking.maxLongTermFrameIdx = -1;
            reset = true;
            break;
        case 6:
            RemoveLongTermIndex(marking, op.longTermFrameIdx);
            current.longTerm = true;
            current.longTermFrameIdx = static_cast<uint16_t>(op.longTermFrameIdx);
            break;
        default:
            break;
        }
    }
    return {};
}

std::string ParseSliceHeader(BitReader& reader, uint8_t nalHeader, const DXVA_PicParams_H264& picture,
                             SimulatedH264SliceHeader& header)
{
    header = SimulatedH264SliceHeader{};
    header.nalRefIdc = (nalHeader >> 5) & 3;
    header.idr = (nalHeader & 0x1F) == 5;
    ReadUe(reader);  // first_mb_in_slice
    header.sliceType = ReadUe(reader);
    if (header.sliceType > 9)
        return "slice_type " + to_string(header.sliceType) + " does not exist";
    const uint32_t kind = header.sliceType % 5;
    ReadUe(reader);  // pic_parameter_set_id
    if (picture.residual_colour_transform_flag)  // separate_colour_plane_flag
        ReadBits(reader, 2);
    header.frameNum = ReadBits(reader, picture.log2_max_frame_num_minus4 + 4);
    if (!picture.frame_mbs_only_flag) {
        header.fieldPic = ReadBit(reader) != 0;
        if (header.fieldPic)
            header.bottomField = ReadBit(reader) != 0;
    }
    if (header.idr)
        ReadUe(reader);  // idr_pic_id
    if (picture.pic_order_cnt_type == 0) {
        header.picOrderCntLsb = ReadBits(reader, picture.log2_max_pic_order_cnt_lsb_minus4 + 4);
        if (picture.pic_order_present_flag && !header.fieldPic)
            header.deltaPicOrderCntBottom = ReadSe(reader);
    }
    if (picture.pic_order_cnt_type == 1 && !picture.delta_pic_order_always_zero_flag) {
        ReadSe(reader);
        if (picture.pic_order_present_flag && !header.fieldPic)
            ReadSe(reader);
    }
    if (picture.redundant_pic_cnt_present_flag)
        ReadUe(reader);
    if (kind == kB)
        ReadBit(reader);  // direct_spatial_mv_pred_flag
    uint32_t activeMinus1[2] = {picture.num_ref_idx_l0_active_minus1, picture.num_ref_idx_l1_active_minus1};
    if (kind == kP || kind == kSP || kind == kB) {
        if (ReadBit(reader)) {
            activeMinus1[0] = ReadUe(reader);
            if (kind == kB)
                activeMinus1[1] = ReadUe(reader);
        }
        if (activeMinus1[0] > 31 || activeMinus1[1] > 31)
            return "slice header gives more than 32 active references";
    }
    if (kind != kI && kind != kSI) {
        bool parsed = SkipListModification(reader);
        if (parsed && kind == kB)
            parsed = SkipListModification(reader);
        if (!parsed)
            return "ref_pic_list_modification does not parse";
    }
    if ((picture.weighted_pred_flag && (kind == kP || kind == kSP)) || (picture.weighted_bipred_idc == 1 && kind == kB)) {
        const bool chroma = !picture.residual_colour_transform_flag && picture.chroma_format_idc != 0;
        ReadUe(reader);  // luma_log2_weight_denom
        if (chroma)
            ReadUe(reader);
        SkipWeights(reader, activeMinus1[0] + 1, chroma);
        if (kind == kB)
            SkipWeights(reader, activeMinus1[1] + 1, chroma);
    }
    if (header.nalRefIdc != 0) {
        std::string problem = ReadMarking(reader, header);
        if (!problem.empty())
            return problem;
    }
    if (HasOverrun(reader))
        return "slice header runs past its NAL unit";
    return {};
}

}  // namespace

bool ResetsH264Numbering(const SimulatedH264SliceHeader& header)
{
    for (uint32_t i = 0; i < header.operationCount; ++i) {
        if (header.operations[i].operation == 5)
            return true;
    }
    return false;
}

std::string ReadH264SliceHeader(const uint8_t* nal, size_t size, const DXVA_PicParams_H264& picture,
                                SimulatedH264SliceHeader& header)
{
    if (size < 2) {
        header = SimulatedH264SliceHeader{};
        return "slice NAL unit without a header";
    }
    uint8_t rbsp[kHeaderRbspBytes];
    for (size_t piece = kFirstPieceBytes;; piece = kHeaderRbspBytes) {
        size_t converted = 0;
        const size_t finalBytes = NalPrefixToRbsp(nal, size, piece + 1, 1, rbsp, converted);
        const bool last = piece == kHeaderRbspBytes;
        BitReader reader = MakeBitReader(rbsp, last ? converted : finalBytes);
        std::string problem = ParseSliceHeader(reader, nal[0], picture, header);
        // A header that reads into what the piece could not settle is read again from more of its unit.
        if (last || finalBytes == converted || reader.cursor < reader.end)
            return problem;
    }
}

SimulatedH264Order StartH264Picture(SimulatedH264Marking& marking, const SimulatedH264SliceHeader& header,
                                    const DXVA_PicParams_H264& picture)
{
    const int64_t maxFrameNum = MaxFrameNum(picture);
    if (header.idr) {
        marking.count = 0;
        marking.known = true;
        marking.maxLongTermFrameIdx = -1;
        marking.prevRefFrameNum = 0;
        marking.prevFrameNum = 0;
        marking.prevFrameNumOffset = 0;
        marking.prevPicOrderCntMsb = 0;
        marking.prevPicOrderCntLsb = 0;
    } else if (marking.known && header.frameNum != marking.prevRefFrameNum &&
               header.frameNum != (marking.prevRefFrameNum + 1) % maxFrameNum) {
        // 8.2.5.2: each frame_num skipped stands for a frame marked by the
        // sliding window, with no picture behind it.
        for (int64_t frameNum = (marking.prevRefFrameNum + 1) % maxFrameNum; frameNum != header.frameNum;
             frameNum = (frameNum + 1) % maxFrameNum) {
            SlideWindow(marking, picture, frameNum);
            SimulatedH264Reference& inferred = marking.references[std::min<size_t>(marking.count, SimulatedH264Marking::kMaxReferences - 1)];
            inferred = SimulatedH264Reference{};
            inferred.frameNum = static_cast<uint16_t>(frameNum);
            marking.count = static_cast<uint8_t>(std::min<size_t>(marking.count + 1u, SimulatedH264Marking::kMaxReferences));
            if (marking.prevFrameNum > frameNum)
                marking.prevFrameNumOffset += maxFrameNum;
            marking.prevFrameNum = static_cast<uint16_t>(frameNum);
            marking.prevRefFrameNum = static_cast<uint16_t>(frameNum);
        }
    }
    if (header.fieldPic) {
        marking.known = false;
        marking.count = 0;
    }

    SimulatedH264Order order;
    order.frameNumOffset = header.idr ? 0
                           : marking.prevFrameNum > header.frameNum ? marking.prevFrameNumOffset + maxFrameNum
                                                                     : marking.prevFrameNumOffset;
    if (picture.pic_order_cnt_type == 0) {
        // 8.2.1.1
        const int64_t maxLsb = int64_t{1} << std::min(picture.log2_max_pic_order_cnt_lsb_minus4 + 4, 16);
        const int64_t lsb = header.picOrderCntLsb;
        const int64_t prevLsb = marking.prevPicOrderCntLsb;
        order.picOrderCntMsb = marking.prevPicOrderCntMsb;
        if (lsb < prevLsb && prevLsb - lsb >= maxLsb / 2)
            order.picOrderCntMsb += maxLsb;
        else if (lsb > prevLsb && lsb - prevLsb > maxLsb / 2)
            order.picOrderCntMsb -= maxLsb;
        order.counts[0] = order.picOrderCntMsb + lsb;
        order.counts[1] = header.fieldPic ? order.counts[0] : order.counts[0] + header.deltaPicOrderCntBottom;
        order.derived = true;
    } else if (picture.pic_order_cnt_type == 2) {
        // 8.2.1.3
        int64_t count = header.idr ? 0 : 2 * (order.frameNumOffset + header.frameNum) - (header.nalRefIdc == 0 ? 1 : 0);
        order.counts[0] = order.counts[1] = count;
        order.derived = true;
    }
    return order;
}

std::string MarkH264Picture(SimulatedH264Marking& marking, const SimulatedH264SliceHeader& header,
                            const DXVA_PicParams_H264& picture, const SimulatedH264Order& order, uint8_t surface,
                            int32_t orderCounts[2])
{
    bool reset = false;
    SimulatedH264Reference current;
    current.surface = surface;
    current.frameNum = static_cast<uint16_t>(header.frameNum);
    if (!marking.known) {
        // Only the order-count state carries on.
        reset = ResetsH264Numbering(header);
    } else if (header.nalRefIdc != 0) {
        if (header.idr) {
            marking.maxLongTermFrameIdx = header.longTermReference ? 0 : -1;
            current.longTerm = header.longTermReference;
        } else if (header.adaptiveMarking) {
            std::string problem = ApplyOperations(marking, header, picture, current, reset);
            if (!problem.empty())
                return problem;
        } else {
            SlideWindow(marking, picture, header.frameNum);
        }
    }
    // 8.2.1: after operation 5 the picture counts from 0 in frame_num and order.
    if (reset) {
        const int32_t base = header.fieldPic ? orderCounts[header.bottomField ? 1 : 0] : std::min(orderCounts[0], orderCounts[1]);
        orderCounts[0] -= base;
        orderCounts[1] -= base;
        current.frameNum = 0;
    }
    current.orderCounts[0] = orderCounts[0];
    current.orderCounts[1] = orderCounts[1];

    marking.prevFrameNum = reset ? 0 : static_cast<uint16_t>(header.frameNum);
    marking.prevFrameNumOffset = reset ? 0 : order.frameNumOffset;
    if (header.nalRefIdc != 0) {
        marking.prevRefFrameNum = reset ? 0 : static_cast<uint16_t>(header.frameNum);
        marking.prevPicOrderCntMsb = reset ? 0 : order.picOrderCntMsb;
        marking.prevPicOrderCntLsb = reset ? (header.bottomField ? 0 : orderCounts[0]) : header.picOrderCntLsb;
        if (!marking.known)
            return {};
        const size_t limit = std::max<size_t>(picture.num_ref_frames, 1);
        if (marking.count >= limit || marking.count >= SimulatedH264Marking::kMaxReferences)
            return "the picture would be reference frame " + to_string(marking.count + 1) + " of at most " +
                   to_string(limit) + " (num_ref_frames)";
        marking.references[marking.count++] = current;
    }
    return {};
}

}  // namespace platform
