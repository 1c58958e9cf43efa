#include <cstring>
#include <string>

#include "bitstream/bit_reader.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/simulated/simulated_objects.h"

// What a strict driver checks of an H.264 picture's reference against the
// bitstream and the pictures it has decoded: the DXVA H.264 document has
// FrameNumList carry each reference's own frame_num and RefPicList index
// RefFrameList; Intel's vendor profile instead takes surface indices in
// RefPicList and 0x34C in Reserved16Bits.
namespace platform {

namespace {

using std::to_string;

constexpr uint8_t kEmptyPicEntry = 0xFF;
// Enough RBSP for first_mb_in_slice, slice_type, pic_parameter_set_id,
// colour_plane_id and a 16-bit frame_num at their longest.
constexpr size_t kHeaderBytes = 24;

// frame_num of the slice whose NAL unit starts at `nal` (header byte first),
// read from the slice header as clause 7.3.3 lays it out.
uint32_t SliceFrameNum(const uint8_t* nal, size_t size, const DXVA_PicParams_H264& picture)
{
    uint8_t rbsp[kHeaderBytes] = {};
    size_t length = 0;
    int zeros = 0;
    for (size_t index = 1; index < size && length < kHeaderBytes; ++index) {
        if (zeros >= 2 && nal[index] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[index] == 0 ? zeros + 1 : 0;
        rbsp[length++] = nal[index];
    }
    BitReader reader = MakeBitReader(rbsp, length);
    ReadUe(reader);  // first_mb_in_slice
    ReadUe(reader);  // slice_type
    ReadUe(reader);  // pic_parameter_set_id
    if (picture.residual_colour_transform_flag)  // separate_colour_plane_flag
        ReadBits(reader, 2);
    return ReadBits(reader, picture.log2_max_frame_num_minus4 + 4);
}

bool IsIntraSliceType(uint32_t type)
{
    return type % 5 == 2 || type % 5 == 4;
}

}  // namespace

std::string CheckH264References(const SimulatedVideoDecoder& decoder, const DXVA_PicParams_H264& picture,
                                const uint8_t* entries, size_t entryCount, const uint8_t* bitstream)
{
    bool longFormat = decoder.LongSliceFormat();
    bool intelMode = decoder.m_Description.Guid == kH264VendorProfileB;
    uint16_t reserved = intelMode ? 0x34C : 3;
    if (picture.Reserved16Bits != reserved)
        return "Reserved16Bits is " + to_string(picture.Reserved16Bits) + ", this profile takes " + to_string(reserved);
    size_t entrySize = longFormat ? sizeof(DXVA_Slice_H264_Long) : sizeof(DXVA_Slice_H264_Short);
    for (size_t index = 0; index < entryCount; ++index) {
        DXVA_Slice_H264_Long entry = {};
        std::memcpy(&entry, entries + index * entrySize, entrySize);
        // Entries were checked to cover a start code and a NAL header inside the bitstream.
        const uint8_t* nal = bitstream + entry.BSNALunitDataLocation + 3;
        uint32_t frameNum = SliceFrameNum(nal, entry.SliceBytesInBuffer - 3, picture);
        std::string name = "slice entry " + to_string(index);
        if (frameNum != picture.frame_num)
            return name + " has frame_num " + to_string(frameNum) + ", the picture parameters " +
                   to_string(picture.frame_num);
        if (!longFormat || IsIntraSliceType(entry.slice_type))
            continue;
        uint8_t listEntry = entry.RefPicList[0][0].bPicEntry;
        if (intelMode) {
            if (listEntry != picture.RefFrameList[0].bPicEntry)
                return name + " RefPicList[0][0] is " + to_string(listEntry) + ", not the reference's surface";
        } else if (listEntry == kEmptyPicEntry || (listEntry & 0x7F) >= 16 ||
                   picture.RefFrameList[listEntry & 0x7F].bPicEntry == kEmptyPicEntry) {
            return name + " RefPicList[0][0] is " + to_string(listEntry) + ", not an entry of RefFrameList";
        }
    }
    if (picture.IntraPicFlag)
        return {};
    // The reference named by RefFrameList[0] was checked to hold a picture.
    uint8_t surface = picture.RefFrameList[0].Index7Bits;
    uint16_t held = decoder.m_Target->m_Texture->m_FrameNums[surface];
    if (picture.FrameNumList[0] != held)
        return "FrameNumList[0] is " + to_string(picture.FrameNumList[0]) + ", the reference surface holds frame_num " +
               to_string(held);
    if ((picture.UsedForReferenceFlags & 3) != 3)
        return "reference frame not marked as used for reference";
    return {};
}

}  // namespace platform
