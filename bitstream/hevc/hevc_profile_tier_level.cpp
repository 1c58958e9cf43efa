#include <initializer_list>

#include "bitstream/hevc/hevc_syntax.h"

namespace {

// True when general_profile_idc or one of its compatibility flags names one
// of the given profiles; this decides which constraint flags are coded.
bool NamesProfile(const HevcProfileTierLevel& ptl, std::initializer_list<uint32_t> profiles)
{
    for (uint32_t profile : profiles) {
        if (ptl.general_profile_idc == profile || ptl.general_profile_compatibility_flag[profile])
            return true;
    }
    return false;
}

} // namespace

bool ParseHevcProfileTierLevel(BitReader& reader, uint32_t maxNumSubLayersMinus1, HevcProfileTierLevel& ptl)
{
    if (maxNumSubLayersMinus1 >= kHevcMaxSubLayers)
        return false;

    ptl.general_profile_space = ReadBits(reader, 2);
    ptl.general_tier_flag = ReadBit(reader);
    ptl.general_profile_idc = ReadBits(reader, 5);
    for (uint32_t& flag : ptl.general_profile_compatibility_flag)
        flag = ReadBit(reader);
    ptl.general_progressive_source_flag = ReadBit(reader);
    ptl.general_interlaced_source_flag = ReadBit(reader);
    ptl.general_non_packed_constraint_flag = ReadBit(reader);
    ptl.general_frame_only_constraint_flag = ReadBit(reader);

    if (NamesProfile(ptl, {4, 5, 6, 7, 8, 9, 10})) {
        ptl.general_max_12bit_constraint_flag = ReadBit(reader);
        ptl.general_max_10bit_constraint_flag = ReadBit(reader);
        ptl.general_max_8bit_constraint_flag = ReadBit(reader);
        ptl.general_max_422chroma_constraint_flag = ReadBit(reader);
        ptl.general_max_420chroma_constraint_flag = ReadBit(reader);
        ptl.general_max_monochrome_constraint_flag = ReadBit(reader);
        ptl.general_intra_constraint_flag = ReadBit(reader);
        ptl.general_one_picture_only_constraint_flag = ReadBit(reader);
        ptl.general_lower_bit_rate_constraint_flag = ReadBit(reader);
        if (NamesProfile(ptl, {5, 9, 10})) {
            ptl.general_max_14bit_constraint_flag = ReadBit(reader);
            SkipBits(reader, 33);
        } else {
            SkipBits(reader, 34);
        }
    } else {
        SkipBits(reader, 43);
    }
    if (NamesProfile(ptl, {1, 2, 3, 4, 5, 9}))
        ptl.general_inbld_flag = ReadBit(reader);
    else
        SkipBits(reader, 1);
    ptl.general_level_idc = ReadBits(reader, 8);

    for (uint32_t i = 0; i < maxNumSubLayersMinus1; ++i) {
        ptl.sub_layer_profile_present_flag[i] = ReadBit(reader);
        ptl.sub_layer_level_present_flag[i] = ReadBit(reader);
    }
    if (maxNumSubLayersMinus1 > 0)
        SkipBits(reader, 2 * (8 - maxNumSubLayersMinus1));

    for (uint32_t i = 0; i < maxNumSubLayersMinus1; ++i) {
        if (ptl.sub_layer_profile_present_flag[i]) {
            ptl.sub_layer_profile_space[i] = ReadBits(reader, 2);
            ptl.sub_layer_tier_flag[i] = ReadBit(reader);
            ptl.sub_layer_profile_idc[i] = ReadBits(reader, 5);
            for (uint32_t& flag : ptl.sub_layer_profile_compatibility_flag[i])
                flag = ReadBit(reader);
            ptl.sub_layer_progressive_source_flag[i] = ReadBit(reader);
            ptl.sub_layer_interlaced_source_flag[i] = ReadBit(reader);
            ptl.sub_layer_non_packed_constraint_flag[i] = ReadBit(reader);
            ptl.sub_layer_frame_only_constraint_flag[i] = ReadBit(reader);
            // The sub-layer constraint flags and inbld flag: no reader uses them.
            SkipBits(reader, 44);
        }
        if (ptl.sub_layer_level_present_flag[i])
            ptl.sub_layer_level_idc[i] = ReadBits(reader, 8);
    }
    return true;
}
