#pragma once

// Syntax functions shared by the files of the H.265 parser. Each returns
// false when an id or count exceeds the table or array it would index; the
// failure has been logged and the NAL unit is refused.

#include <cstdint>

#include "bitstream/bit_reader.h"
#include "bitstream/checked_read.h"
#include "bitstream/hevc/hevc_records.h"

// Why a parse attempt failed. A slice segment header may be parsed again over
// a longer piece of its unit, so its failure is held here and logged only
// once the attempt is final.
struct HevcParseFailure {
    char message[160];
};

// Records the failure and returns false.
bool FailHevcParse(HevcParseFailure& failure, const char* format, ...) __attribute__((format(printf, 2, 3)));
// ReadUeMax that records instead of logging.
[[nodiscard]] bool ReadHevcUeMax(BitReader& reader, const char* name, uint32_t maxValue, uint32_t& value,
                                 HevcParseFailure& failure);

[[nodiscard]] bool ParseHevcProfileTierLevel(BitReader& reader, uint32_t maxNumSubLayersMinus1, HevcProfileTierLevel& ptl);

// vui_parameters() of `sps`, whose sps_max_sub_layers_minus1 is set.
[[nodiscard]] bool ParseHevcVui(BitReader& reader, HevcSps& sps);

// scaling_list_data() into `lists`, which the caller has filled with the
// defaults.
[[nodiscard]] bool ParseHevcScalingListData(BitReader& reader, HevcScalingLists& lists);

// What the rest of the stream needs to know of one short-term set.
struct HevcShortTermRpsCounts {
    uint32_t numDeltaPocs;     // pictures in the set
    uint32_t numUsedByCurr;    // of them, used by the current picture
};

// st_ref_pic_set(stRpsIdx) into `rps`, and the set it defines into
// `derived`. numDeltaPocs and derivedSets hold NumDeltaPocs and the derived
// sets of the SPS's sets 0..stRpsIdx-1.
[[nodiscard]] bool ParseHevcShortTermRps(BitReader& reader, uint32_t stRpsIdx, uint32_t num_short_term_ref_pic_sets,
                                         const uint32_t* numDeltaPocs, const HevcStRefPicSet* derivedSets,
                                         ShortTermRps& rps, HevcShortTermRpsCounts& counts, HevcStRefPicSet& derived,
                                         HevcParseFailure& failure);

[[nodiscard]] bool ParseHevcVps(HevcStream& stream, BitReader& reader);
[[nodiscard]] bool ParseHevcSps(HevcStream& stream, BitReader& reader);
[[nodiscard]] bool ParseHevcPps(HevcStream& stream, BitReader& reader);

// What a slice segment header selects; the caller commits it (sh, current
// sets, the SPS's short-term slot) only after the whole header parsed.
struct HevcSliceSelection {
    HevcSps* sps;
    HevcPps* pps;
    bool ownShortTermRps;  // the slice carried its own set, now in stRpsScratch
};

// slice_segment_header() up to, not including, byte_alignment(), into
// stream.shScratch.
[[nodiscard]] bool ParseHevcSliceSegmentHeader(HevcStream& stream, BitReader& reader, uint32_t nal_unit_type,
                                               HevcSliceSelection& selection, HevcParseFailure& failure);
