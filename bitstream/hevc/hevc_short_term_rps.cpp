#include <cstdarg>
#include <cstdio>

#include "bitstream/hevc/hevc_syntax.h"

namespace {

void AppendDelta(int32_t* deltas, uint8_t* used, uint32_t& count, int32_t deltaPoc, uint32_t usedByCurrPic)
{
    deltas[count] = deltaPoc;
    used[count] = static_cast<uint8_t>(usedByCurrPic);
    ++count;
}

// The predicted set: each picture of the reference set, and the reference
// picture itself (entry NumDeltaPocs), moved by deltaRps and kept when its
// use_delta_flag says so; the negative ones nearest first, then the positive.
void DerivePredictedSet(const ShortTermRps& rps, const HevcStRefPicSet& ref, HevcStRefPicSet& set)
{
    const int32_t deltaRps = (1 - 2 * static_cast<int32_t>(rps.delta_rps_sign)) * static_cast<int32_t>(rps.abs_delta_rps_minus1 + 1);
    const uint32_t refNumDeltaPocs = ref.NumNegativePics + ref.NumPositivePics;
    // An absent use_delta_flag is 1.
    auto kept = [&rps](uint32_t j) { return rps.used_by_curr_pic_flag[j] || rps.use_delta_flag[j]; };
    set = {};
    for (uint32_t j = ref.NumPositivePics; j-- > 0;) {
        const int32_t dPoc = ref.DeltaPocS1[j] + deltaRps;
        if (dPoc < 0 && kept(ref.NumNegativePics + j))
            AppendDelta(set.DeltaPocS0, set.UsedByCurrPicS0, set.NumNegativePics, dPoc, rps.used_by_curr_pic_flag[ref.NumNegativePics + j]);
    }
    if (deltaRps < 0 && kept(refNumDeltaPocs))
        AppendDelta(set.DeltaPocS0, set.UsedByCurrPicS0, set.NumNegativePics, deltaRps, rps.used_by_curr_pic_flag[refNumDeltaPocs]);
    for (uint32_t j = 0; j < ref.NumNegativePics; ++j) {
        const int32_t dPoc = ref.DeltaPocS0[j] + deltaRps;
        if (dPoc < 0 && kept(j))
            AppendDelta(set.DeltaPocS0, set.UsedByCurrPicS0, set.NumNegativePics, dPoc, rps.used_by_curr_pic_flag[j]);
    }
    for (uint32_t j = ref.NumNegativePics; j-- > 0;) {
        const int32_t dPoc = ref.DeltaPocS0[j] + deltaRps;
        if (dPoc > 0 && kept(j))
            AppendDelta(set.DeltaPocS1, set.UsedByCurrPicS1, set.NumPositivePics, dPoc, rps.used_by_curr_pic_flag[j]);
    }
    if (deltaRps > 0 && kept(refNumDeltaPocs))
        AppendDelta(set.DeltaPocS1, set.UsedByCurrPicS1, set.NumPositivePics, deltaRps, rps.used_by_curr_pic_flag[refNumDeltaPocs]);
    for (uint32_t j = 0; j < ref.NumPositivePics; ++j) {
        const int32_t dPoc = ref.DeltaPocS1[j] + deltaRps;
        if (dPoc > 0 && kept(ref.NumNegativePics + j))
            AppendDelta(set.DeltaPocS1, set.UsedByCurrPicS1, set.NumPositivePics, dPoc, rps.used_by_curr_pic_flag[ref.NumNegativePics + j]);
    }
}

void DeriveExplicitSet(const ShortTermRps& rps, HevcStRefPicSet& set)
{
    set = {};
    int32_t deltaPoc = 0;
    for (uint32_t i = 0; i < rps.num_negative_pics; ++i) {
        deltaPoc -= static_cast<int32_t>(rps.delta_poc_s0_minus1[i]) + 1;
        AppendDelta(set.DeltaPocS0, set.UsedByCurrPicS0, set.NumNegativePics, deltaPoc, rps.used_by_curr_pic_s0_flag[i]);
    }
    deltaPoc = 0;
    for (uint32_t i = 0; i < rps.num_positive_pics; ++i) {
        deltaPoc += static_cast<int32_t>(rps.delta_poc_s1_minus1[i]) + 1;
        AppendDelta(set.DeltaPocS1, set.UsedByCurrPicS1, set.NumPositivePics, deltaPoc, rps.used_by_curr_pic_s1_flag[i]);
    }
}

}  // namespace

bool ParseHevcShortTermRps(BitReader& reader, uint32_t stRpsIdx, uint32_t num_short_term_ref_pic_sets,
                           const uint32_t* numDeltaPocs, const HevcStRefPicSet* derivedSets, ShortTermRps& rps,
                           HevcShortTermRpsCounts& counts, HevcStRefPicSet& derived, HevcParseFailure& failure)
{
    const size_t startPosition = BitPosition(reader);

    rps.inter_ref_pic_set_prediction_flag = stRpsIdx != 0 ? ReadBit(reader) : 0;
    if (rps.inter_ref_pic_set_prediction_flag) {
        rps.delta_idx_minus1 = 0;
        if (stRpsIdx == num_short_term_ref_pic_sets &&
            !ReadHevcUeMax(reader, "delta_idx_minus1", stRpsIdx - 1, rps.delta_idx_minus1, failure))
            return false;
        rps.delta_rps_sign = ReadBit(reader);
        if (!ReadHevcUeMax(reader, "abs_delta_rps_minus1", kHevcMaxDeltaPocMinus1, rps.abs_delta_rps_minus1, failure))
            return false;

        // One flag pair per picture of the reference set, plus one for the
        // reference picture itself.
        const uint32_t refRpsIdx = stRpsIdx - (rps.delta_idx_minus1 + 1);
        const uint32_t flagCount = numDeltaPocs[refRpsIdx] + 1;
        if (flagCount > kHevcMaxRpsEntries) {
            return FailHevcParse(failure, "parser: inter-predicted short-term set of %u entries (at most %u)", flagCount,
                                 kHevcMaxRpsEntries);
        }
        counts = {};
        for (uint32_t j = 0; j < kHevcMaxRpsEntries; ++j) {
            rps.used_by_curr_pic_flag[j] = 0;
            rps.use_delta_flag[j] = 0;
        }
        for (uint32_t j = 0; j < flagCount; ++j) {
            rps.used_by_curr_pic_flag[j] = ReadBit(reader);
            if (!rps.used_by_curr_pic_flag[j])
                rps.use_delta_flag[j] = ReadBit(reader);
            // An absent use_delta_flag means 1: the entry is kept.
            if (rps.used_by_curr_pic_flag[j] || rps.use_delta_flag[j])
                ++counts.numDeltaPocs;
            counts.numUsedByCurr += rps.used_by_curr_pic_flag[j];
        }
        // The reference set's derived lists hold at most its NumDeltaPocs
        // entries, so the flags read above cover every entry visited.
        DerivePredictedSet(rps, derivedSets[refRpsIdx], derived);
    } else {
        rps.delta_idx_minus1 = 0;
        rps.delta_rps_sign = 0;
        rps.abs_delta_rps_minus1 = 0;
        for (uint32_t j = 0; j < kHevcMaxRpsEntries; ++j) {
            rps.used_by_curr_pic_flag[j] = 0;
            rps.use_delta_flag[j] = 0;
        }
        if (!ReadHevcUeMax(reader, "num_negative_pics", kHevcMaxRpsEntries, rps.num_negative_pics, failure) ||
            !ReadHevcUeMax(reader, "num_positive_pics", kHevcMaxRpsEntries, rps.num_positive_pics, failure))
            return false;
        counts = {};
        for (uint32_t i = 0; i < rps.num_negative_pics; ++i) {
            if (!ReadHevcUeMax(reader, "delta_poc_s0_minus1", kHevcMaxDeltaPocMinus1, rps.delta_poc_s0_minus1[i], failure))
                return false;
            rps.used_by_curr_pic_s0_flag[i] = ReadBit(reader);
            counts.numUsedByCurr += rps.used_by_curr_pic_s0_flag[i];
        }
        for (uint32_t i = 0; i < rps.num_positive_pics; ++i) {
            if (!ReadHevcUeMax(reader, "delta_poc_s1_minus1", kHevcMaxDeltaPocMinus1, rps.delta_poc_s1_minus1[i], failure))
                return false;
            rps.used_by_curr_pic_s1_flag[i] = ReadBit(reader);
            counts.numUsedByCurr += rps.used_by_curr_pic_s1_flag[i];
        }
        counts.numDeltaPocs = rps.num_negative_pics + rps.num_positive_pics;
        DeriveExplicitSet(rps, derived);
    }

    rps.numBitsStRps = BitPosition(reader) - startPosition;
    return true;
}

bool FailHevcParse(HevcParseFailure& failure, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(failure.message, sizeof(failure.message), format, arguments);
    va_end(arguments);
    return false;
}

bool ReadHevcUeMax(BitReader& reader, const char* name, uint32_t maxValue, uint32_t& value, HevcParseFailure& failure)
{
    const uint32_t read = ReadUe(reader);
    if (read > maxValue)
        return FailHevcParse(failure, "parser: %s out of range: %u (at most %u)", name, read, maxValue);
    value = read;
    return true;
}
