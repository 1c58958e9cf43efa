#include <cstring>
#include <string>

#include <fmt/format.h>

#include "bitstream/bit_reader.h"
#include "bitstream/nal_unit.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/simulated/simulated_h264_marking.h"
#include "decoder/platform/simulated/simulated_objects.h"
#include "decoder/platform/simulated/simulated_reference_checks.h"

// What a strict driver checks of an H.264 picture's references against the
// bitstream and the pictures it has decoded. The DXVA H.264 document has
// RefFrameList name every frame marked as used for reference and nothing
// else, FrameNumList carry a short-term frame's frame_num or a long-term
// frame's LongTermFrameIdx (AssociatedFlag set), FieldOrderCntList its two
// order counts, and RefPicList index RefFrameList; Intel's vendor profile
// instead takes surface indices in RefPicList and 0x34C in Reserved16Bits.
namespace platform {

namespace {

using std::to_string;

constexpr uint8_t kEmptyPicEntry = 0xFF;
// Enough RBSP for first_mb_in_slice, slice_type, pic_parameter_set_id,
// colour_plane_id and a 16-bit frame_num at their longest.
constexpr size_t kHeaderBytes = 24;
constexpr size_t kStartCode = 3;

// frame_num of the slice whose NAL unit starts at `nal` (header byte first),
// read from the slice header as clause 7.3.3 lays it out.
uint32_t SliceFrameNum(const uint8_t* nal, size_t size, const DXVA_PicParams_H264& picture)
{
    uint8_t rbsp[kHeaderBytes];
    size_t length = 0;
    NalPrefixToRbsp(nal, size, kHeaderBytes + 1, 1, rbsp, length);
    BitReader reader = MakeBitReader(rbsp, length);
    ReadUe(reader);  // first_mb_in_slice
    ReadUe(reader);  // slice_type
    ReadUe(reader);  // pic_parameter_set_id
    if (picture.residual_colour_transform_flag)  // separate_colour_plane_flag
        ReadBits(reader, 2);
    return ReadBits(reader, picture.log2_max_frame_num_minus4 + 4);
}

bool InUse(const DXVA_PicParams_H264& picture, size_t i) { return picture.RefFrameList[i].bPicEntry != kEmptyPicEntry; }
bool NonExisting(const DXVA_PicParams_H264& picture, size_t i) { return (picture.NonExistingFrameFlags >> i) & 1; }

// Each active RefPicList entry of a long slice entry names a RefFrameList
// entry in use (Intel: the surface of one); a predicted slice has a first.
std::string CheckSliceLists(bool intelMode, const DXVA_PicParams_H264& picture, const DXVA_Slice_H264_Long& entry,
                            size_t entryIndex)
{
    const uint32_t kind = entry.slice_type % 5;
    const uint32_t lists = kind == 1 ? 2 : (kind == 0 || kind == 3) ? 1 : 0;
    for (uint32_t list = 0; list < lists; ++list) {
        const uint32_t active = (list == 0 ? entry.num_ref_idx_l0_active_minus1 : entry.num_ref_idx_l1_active_minus1) + 1u;
        for (uint32_t k = 0; k < active && k < 32; ++k) {
            const uint8_t value = entry.RefPicList[list][k].bPicEntry;
            if (value == kEmptyPicEntry && (list > 0 || k > 0))
                continue;
            const uint8_t index = value & 0x7F;
            bool named = false;
            for (size_t i = 0; i < 16 && !named; ++i)
                named = intelMode ? InUse(picture, i) && picture.RefFrameList[i].Index7Bits == index
                                  : i == index && InUse(picture, i) && value != kEmptyPicEntry;
            if (!named)
                return SliceEntryName(entryIndex) + " RefPicList[" + to_string(list) + "][" + to_string(k) + "] is " +
                       to_string(value) +
                       (intelMode ? ", not the surface of a RefFrameList entry" : ", not an entry of RefFrameList");
        }
    }
    return {};
}

std::string Pair(const int32_t* counts) { return fmt::format("({}, {})", counts[0], counts[1]); }

// One listed frame against the reference the device holds in its surface.
std::string CheckListedFrame(const DXVA_PicParams_H264& picture, size_t i, const SimulatedH264Reference& held)
{
    // Put together only for a refusal.
    auto name = [i] { return ListEntryName("RefFrameList", i); };
    auto where = [&held] { return " (surface " + to_string(held.surface) + ")"; };
    if (picture.RefFrameList[i].AssociatedFlag != held.longTerm)
        return name() + (held.longTerm ? " is marked short-term, the frame" + where() + " is a long-term reference"
                                       : " is marked long-term, the frame" + where() + " is a short-term reference");
    const uint16_t value = held.longTerm ? held.longTermFrameIdx : held.frameNum;
    if (picture.FrameNumList[i] != value)
        return ListEntryName("FrameNumList", i) + " is " + to_string(picture.FrameNumList[i]) + ", the frame" +
               where() + (held.longTerm ? " has LongTermFrameIdx " : " has frame_num ") + to_string(value);
    if (picture.FieldOrderCntList[i][0] != held.orderCounts[0] || picture.FieldOrderCntList[i][1] != held.orderCounts[1])
        return ListEntryName("FieldOrderCntList", i) + " is " + Pair(picture.FieldOrderCntList[i]) + ", the frame" +
               where() + " has order counts " + Pair(held.orderCounts);
    if (((picture.UsedForReferenceFlags >> (2 * i)) & 3) != 3)
        return name() + " is not marked as used for reference in UsedForReferenceFlags";
    return {};
}

// The listed frames against the surfaces and, while the marking is known,
// the frames the stream holds as reference: each listed frame is one of
// them, and each of them is listed.
std::string CheckReferenceFrames(const SimulatedVideoDecoder& decoder, const DXVA_PicParams_H264& picture,
                                 const SimulatedH264Marking& marking, uint8_t target)
{
    const SimulatedReferenceRecord& record = decoder.m_References;
    for (size_t i = 0; i < 16; ++i) {
        if (!InUse(picture, i) || NonExisting(picture, i))
            continue;
        auto name = [i] { return ListEntryName("RefFrameList", i); };
        const uint8_t surface = picture.RefFrameList[i].Index7Bits;
        if (surface == target)
            return name() + " names surface " + to_string(surface) + ", the one being written";
        if (!record.surfaces[surface].written)
            return name() + " names surface " + to_string(surface) + ", which holds no picture";
        for (size_t j = 0; j < i; ++j) {
            if (InUse(picture, j) && !NonExisting(picture, j) && picture.RefFrameList[j].Index7Bits == surface)
                return name() + " names surface " + to_string(surface) + " again";
        }
        if (!marking.known)
            continue;
        const SimulatedH264Reference* held = nullptr;
        for (size_t r = 0; r < marking.count && !held; ++r)
            held = marking.references[r].surface == surface ? &marking.references[r] : nullptr;
        if (!held)
            return name() + " names surface " + to_string(surface) + ", whose frame (frame_num " +
                   to_string(record.surfaces[surface].frameNum) + ") is no longer used for reference";
        std::string problem = CheckListedFrame(picture, i, *held);
        if (!problem.empty())
            return problem;
    }
    if (!marking.known)
        return {};
    for (size_t r = 0; r < marking.count; ++r) {
        const SimulatedH264Reference& held = marking.references[r];
        bool listed = false;
        for (size_t i = 0; i < 16 && !listed; ++i) {
            listed = InUse(picture, i) && (held.surface == kSimulatedNoSurface
                                               ? NonExisting(picture, i) && picture.FrameNumList[i] == held.frameNum
                                               : !NonExisting(picture, i) && picture.RefFrameList[i].Index7Bits == held.surface);
        }
        if (listed)
            continue;
        if (held.surface == kSimulatedNoSurface)
            return "frame_num " + to_string(held.frameNum) +
                   ", inferred for a gap in frame_num and still a reference, is missing from RefFrameList";
        return std::string(held.longTerm ? "long-term frame " : "frame ") + "(frame_num " + to_string(held.frameNum) +
               ", surface " + to_string(held.surface) + ") is still held as reference but missing from RefFrameList";
    }
    return {};
}

}  // namespace

std::string CheckH264References(const SimulatedVideoDecoder& decoder, const DXVA_PicParams_H264& picture,
                                const uint8_t* entries, size_t entryCount, const uint8_t* bitstream,
                                SimulatedPendingPicture& pending)
{
    const bool longFormat = decoder.LongSliceFormat();
    const bool intelMode = decoder.m_Description.Guid == kH264VendorProfileB;
    const uint16_t reserved = intelMode ? 0x34C : 3;
    if (picture.Reserved16Bits != reserved)
        return "Reserved16Bits is " + to_string(picture.Reserved16Bits) + ", this profile takes " + to_string(reserved);
    const size_t entrySize = longFormat ? sizeof(DXVA_Slice_H264_Long) : sizeof(DXVA_Slice_H264_Short);
    for (size_t index = 0; index < entryCount; ++index) {
        DXVA_Slice_H264_Long entry = {};
        std::memcpy(&entry, entries + index * entrySize, entrySize);
        // Entries were checked to cover a start code and a NAL header inside the bitstream.
        const uint8_t* nal = bitstream + entry.BSNALunitDataLocation + kStartCode;
        uint32_t frameNum = SliceFrameNum(nal, entry.SliceBytesInBuffer - kStartCode, picture);
        if (frameNum != picture.frame_num)
            return SliceEntryName(index) + " has frame_num " + to_string(frameNum) + ", the picture parameters " +
                   to_string(picture.frame_num);
        if (longFormat) {
            std::string problem = CheckSliceLists(intelMode, picture, entry, index);
            if (!problem.empty())
                return problem;
        }
    }

    // The marking is the same in every slice of a picture: the first one's serves.
    DXVA_Slice_H264_Short first = {};
    std::memcpy(&first, entries, sizeof(first));
    SimulatedH264SliceHeader header;
    std::string problem = ReadH264SliceHeader(bitstream + first.BSNALunitDataLocation + kStartCode,
                                              first.SliceBytesInBuffer - kStartCode, picture, header);
    if (!problem.empty())
        return "slice entry 0: " + problem;
    if (picture.RefPicFlag != (header.nalRefIdc != 0))
        return "RefPicFlag is " + to_string(picture.RefPicFlag) + ", the slice's nal_ref_idc is " + to_string(header.nalRefIdc);

    bool listed = false;
    for (size_t i = 0; i < 16; ++i)
        listed = listed || InUse(picture, i);
    if (!picture.IntraPicFlag && !listed)
        return "predicted picture without a reference";

    const uint8_t target = decoder.m_Target->m_Description.Texture2D.ArraySlice & 0x7F;
    pending.surface = target;
    pending.h264 = decoder.m_References.h264;
    SimulatedH264Marking& marking = pending.h264;
    const SimulatedH264Order order = StartH264Picture(marking, header, picture);
    int32_t counts[2] = {picture.CurrFieldOrderCnt[0], picture.CurrFieldOrderCnt[1]};
    if (marking.known && order.derived) {
        const bool top = !header.fieldPic || !header.bottomField;
        const bool bottom = !header.fieldPic || header.bottomField;
        if ((top && counts[0] != order.counts[0]) || (bottom && counts[1] != order.counts[1])) {
            const int32_t wanted[2] = {static_cast<int32_t>(order.counts[0]), static_cast<int32_t>(order.counts[1])};
            return "CurrFieldOrderCnt is " + Pair(counts) + ", the slice header gives " + Pair(wanted);
        }
    }
    problem = CheckReferenceFrames(decoder, picture, marking, target);
    if (!problem.empty())
        return problem;
    problem = MarkH264Picture(marking, header, picture, order, target, counts);
    if (!problem.empty())
        return "slice entry 0: " + problem;
    pending.record.written = true;
    pending.record.frameNum = ResetsH264Numbering(header) ? 0 : static_cast<uint16_t>(header.frameNum);
    pending.record.orderCounts[0] = counts[0];
    pending.record.orderCounts[1] = counts[1];
    return {};
}

}  // namespace platform
