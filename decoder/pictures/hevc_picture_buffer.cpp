#include "decoder/pictures/hevc_picture_buffer.h"

#include <algorithm>
#include <cstring>

#include "bitstream/hevc/hevc_parser.h"
#include "decoder/pictures/free_surface.h"
#include "logging/spdlog_logger.h"

namespace {

constexpr uint8_t kNoEntry = 0xFF;

bool IsRadlOrRasl(uint32_t type) { return type >= 6 && type <= 9; }
// TRAIL_N, TSA_N, STSA_N, RADL_N, RASL_N and the reserved RSV_VCL_N10/12/14.
bool IsSubLayerNonReference(uint32_t type) { return type <= 14 && type % 2 == 0; }

// The order count of clause 8.3.1: its most significant part follows the
// previous anchor's, stepping by MaxPicOrderCntLsb when the low part wraps.
int32_t DerivePicOrderCnt(int32_t prevTid0PicOrderCnt, uint32_t lsb, uint32_t log2MaxLsb, bool msbReset)
{
    const int64_t maxLsb = int64_t{1} << std::min<uint32_t>(log2MaxLsb, 16);
    if (msbReset)
        return static_cast<int32_t>(lsb);
    const int64_t prevLsb = prevTid0PicOrderCnt & (maxLsb - 1);
    const int64_t prevMsb = prevTid0PicOrderCnt - prevLsb;
    int64_t msb = prevMsb;
    if (lsb < prevLsb && prevLsb - lsb >= maxLsb / 2)
        msb = prevMsb + maxLsb;
    else if (lsb > prevLsb && lsb - prevLsb > maxLsb / 2)
        msb = prevMsb - maxLsb;
    return static_cast<int32_t>(msb + lsb);
}

}  // namespace

// The long-term entries of a slice header (equations 7-52 and 8-5): each
// names a picture by its full order count, or by its low bits when the
// header leaves out the high part.
HevcPictureBuffer::LongTermSet HevcPictureBuffer::ReadLongTermSet(const HevcStream& stream, int32_t poc)
{
    const HevcSps& sps = *stream.sps;
    const HevcSliceHeader& sh = *stream.sh;
    LongTermSet set;
    set.maxLsb = int64_t{1} << std::min<uint32_t>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4, 16);
    set.count = std::min<uint32_t>(sh.num_long_term_sps + sh.num_long_term_pics, kHevcMaxLongTermPics);
    int64_t msbCycle = 0;
    for (uint32_t i = 0; i < set.count; ++i) {
        const bool fromSps = i < sh.num_long_term_sps;
        const uint32_t spsIndex = sh.lt_idx_sps[i] % kHevcMaxLongTermRefPicsSps;
        const int64_t lsb = fromSps ? sps.lt_ref_pic_poc_lsb_sps[spsIndex] : sh.poc_lsb_lt[i];
        set.usedByCurrPic[i] = fromSps ? sps.used_by_curr_pic_lt_sps_flag[spsIndex] != 0 : sh.used_by_curr_pic_lt_flag[i] != 0;
        // The cycle accumulates within each of the two groups of entries.
        msbCycle = (i == 0 || i == sh.num_long_term_sps) ? sh.delta_poc_msb_cycle_lt[i]
                                                          : msbCycle + sh.delta_poc_msb_cycle_lt[i];
        set.fullOrderCnt[i] = sh.delta_poc_msb_present_flag[i] != 0;
        set.orderCnt[i] = set.fullOrderCnt[i] ? poc - msbCycle * set.maxLsb - (poc & (set.maxLsb - 1)) + lsb : lsb;
    }
    return set;
}

bool HevcPictureBuffer::LongTermSet::Names(uint32_t entry, int32_t picOrderCnt) const
{
    return fullOrderCnt[entry] ? orderCnt[entry] == picOrderCnt : orderCnt[entry] == (picOrderCnt & (maxLsb - 1));
}

uint32_t HevcPictureBuffer::LongTermSet::Find(int32_t picOrderCnt) const
{
    uint32_t entry = 0;
    while (entry < count && !Names(entry, picOrderCnt))
        ++entry;
    return entry;
}

uint32_t HevcPictureBuffer::SurfacesFor(const HevcSps& sps)
{
    const uint32_t highest = std::min(sps.sps_max_sub_layers_minus1, kHevcMaxSubLayers - 1);
    const uint32_t pictures = std::min(sps.sps_max_dec_pic_buffering_minus1[highest], kMaxSurfaces - 2) + 1;
    return pictures + 1;
}

void HevcPictureBuffer::Reset(uint32_t surfaceCount)
{
    std::memset(m_Surfaces, 0, sizeof(m_Surfaces));
    m_SurfaceCount = std::min(surfaceCount, kMaxSurfaces);
    m_PrevTid0PicOrderCnt = 0;
    m_SequenceStart = true;
    m_SkipRasl = true;
    m_Started = false;
}

bool HevcPictureBuffer::FindFreeSurface(uint32_t& surface) const
{
    return LowestFreeSurface(m_SurfaceCount, [&](uint32_t index) { return m_Surfaces[index].kept; }, surface);
}

bool HevcPictureBuffer::StartPicture(const HevcStream& stream, uint32_t surface)
{
    m_Started = false;
    const HevcSps& sps = *stream.sps;
    const HevcSliceHeader& sh = *stream.sh;
    const uint32_t type = stream.nal->nal_unit_type;
    const uint32_t temporalId = stream.nal->nuh_temporal_id_plus1 > 0 ? stream.nal->nuh_temporal_id_plus1 - 1 : 0;
    // IDR and BLA pictures, and a CRA that starts the sequence, begin afresh:
    // nothing decoded before them is referred to (NoRaslOutputFlag).
    const bool restart = IsHevcIrap(type) && (type != 21 || m_SequenceStart);
    const uint32_t lsb = IsHevcIdr(type) ? 0 : sh.slice_pic_order_cnt_lsb;
    const int32_t poc = DerivePicOrderCnt(m_PrevTid0PicOrderCnt, lsb, sps.log2_max_pic_order_cnt_lsb_minus4 + 4, restart);

    HevcPictureReferences& current = m_Current;
    current.surface = surface;
    current.CurrPicOrderCntVal = poc;
    std::memset(current.RefPicList, kNoEntry, sizeof(current.RefPicList));
    std::memset(current.PicOrderCntValList, 0, sizeof(current.PicOrderCntValList));
    std::memset(current.longTerm, 0, sizeof(current.longTerm));
    std::memset(current.RefPicSetStCurrBefore, kNoEntry, sizeof(current.RefPicSetStCurrBefore));
    std::memset(current.RefPicSetStCurrAfter, kNoEntry, sizeof(current.RefPicSetStCurrAfter));
    std::memset(current.RefPicSetLtCurr, kNoEntry, sizeof(current.RefPicSetLtCurr));
    std::memset(m_KeepAfterCurrent, 0, sizeof(m_KeepAfterCurrent));
    std::memset(m_LongTermAfterCurrent, 0, sizeof(m_LongTermAfterCurrent));
    current.sliceShortTermRpsBits = 0;
    current.sliceRefRpsNumDeltaPocs = 0;
    current.biPredicted = false;
    if (!IsHevcIdr(type) && !sh.short_term_ref_pic_set_sps_flag) {
        // The slice's own set is the last one parsed into the SPS's slot.
        const ShortTermRps& own = sps.stRps;
        current.sliceShortTermRpsBits = static_cast<uint32_t>(own.numBitsStRps);
        const uint32_t refRpsIdx = sps.num_short_term_ref_pic_sets - (own.delta_idx_minus1 + 1);
        if (own.inter_ref_pic_set_prediction_flag && refRpsIdx < kHevcMaxShortTermRefPicSets)
            current.sliceRefRpsNumDeltaPocs = sps.NumDeltaPocs[refRpsIdx];
    }

    if (!restart && !MarkReferences(stream, poc))
        return false;

    m_CurrentIsTid0Anchor = temporalId == 0 && !IsRadlOrRasl(type) && !IsSubLayerNonReference(type);
    m_CurrentIsIrap = IsHevcIrap(type);
    m_CurrentOpensSequence = restart;
    m_Started = true;
    return true;
}

// Clause 8.3.2: the pictures the set names stay, long-term ones found by
// their full order count or by its low bits alone, short-term ones by their
// distance from the current picture; every other picture goes. A picture a
// long-term entry names is long-term from then on.
bool HevcPictureBuffer::MarkReferences(const HevcStream& stream, int32_t poc)
{
    const HevcStRefPicSet& set = stream.sh->stRefPicSet;
    const LongTermSet longTerm = ReadLongTermSet(stream, poc);
    uint32_t listed = 0;
    for (uint32_t index = 0; index < m_SurfaceCount; ++index) {
        const Surface& held = m_Surfaces[index];
        if (!held.kept || index == m_Current.surface)
            continue;
        const bool isLongTerm = longTerm.Find(held.picOrderCnt) < longTerm.count;
        bool named = isLongTerm;
        const int64_t delta = int64_t{held.picOrderCnt} - poc;
        for (uint32_t i = 0; i < set.NumNegativePics && !named && !held.longTerm; ++i)
            named = set.DeltaPocS0[i] == delta;
        for (uint32_t i = 0; i < set.NumPositivePics && !named && !held.longTerm; ++i)
            named = set.DeltaPocS1[i] == delta;
        if (!named)
            continue;
        if (listed == HevcPictureReferences::kListSize) {
            g_Logger.Log(LogLevel::error, "decoder: hevc picture %d keeps more than %d reference pictures", poc,
                         HevcPictureReferences::kListSize);
            return false;
        }
        m_KeepAfterCurrent[index] = true;
        m_LongTermAfterCurrent[index] = isLongTerm;
        m_Current.RefPicList[listed] = static_cast<uint8_t>(index);
        m_Current.PicOrderCntValList[listed] = held.picOrderCnt;
        m_Current.longTerm[listed] = isLongTerm;
        ++listed;
    }
    return ListCurrentReferences(stream, poc, longTerm, listed);
}

// The three sets the current picture predicts from, as indices into
// RefPicList in the order the slice header gives them.
bool HevcPictureBuffer::ListCurrentReferences(const HevcStream& stream, int32_t poc, const LongTermSet& longTerm,
                                              uint32_t listed)
{
    HevcPictureReferences& current = m_Current;
    // Finds the listed picture that `matches` and appends its index to `list`.
    auto add = [&](uint8_t* list, uint32_t& count, const char* which, int64_t wanted, auto matches) {
        const bool wantLongTerm = list == current.RefPicSetLtCurr;
        uint32_t entry = 0;
        while (entry < listed && (current.longTerm[entry] != wantLongTerm || !matches(current.PicOrderCntValList[entry])))
            ++entry;
        if (entry == listed) {
            g_Logger.Log(LogLevel::error, "decoder: hevc picture %d refers to the %s picture %lld, which is not kept", poc,
                         which, static_cast<long long>(wanted));
            return false;
        }
        if (count == HevcPictureReferences::kSetSize) {
            g_Logger.Log(LogLevel::error, "decoder: hevc picture %d refers to more than %d %s pictures", poc,
                         HevcPictureReferences::kSetSize, which);
            return false;
        }
        list[count++] = static_cast<uint8_t>(entry);
        return true;
    };
    const HevcStRefPicSet& set = stream.sh->stRefPicSet;
    uint32_t before = 0;
    uint32_t after = 0;
    uint32_t lt = 0;
    for (uint32_t i = 0; i < set.NumNegativePics; ++i) {
        const int64_t wanted = int64_t{poc} + set.DeltaPocS0[i];
        if (set.UsedByCurrPicS0[i] &&
            !add(current.RefPicSetStCurrBefore, before, "earlier", wanted, [&](int32_t held) { return held == wanted; }))
            return false;
    }
    for (uint32_t i = 0; i < set.NumPositivePics; ++i) {
        const int64_t wanted = int64_t{poc} + set.DeltaPocS1[i];
        if (set.UsedByCurrPicS1[i] &&
            !add(current.RefPicSetStCurrAfter, after, "later", wanted, [&](int32_t held) { return held == wanted; }))
            return false;
    }
    for (uint32_t i = 0; i < longTerm.count; ++i) {
        if (longTerm.usedByCurrPic[i] && !add(current.RefPicSetLtCurr, lt, "long-term", longTerm.orderCnt[i],
                                              [&](int32_t held) { return longTerm.Names(i, held); }))
            return false;
    }
    return true;
}

void HevcPictureBuffer::NoteSlice(const HevcSliceHeader& sh)
{
    // slice_type 0 is B; a dependent segment carries its slice's type unread.
    if (!sh.dependent_slice_segment_flag && sh.slice_type == 0)
        m_Current.biPredicted = true;
}

bool HevcPictureBuffer::SkipsPicture(uint32_t nal_unit_type) const
{
    // After an end of sequence the next IRAP opens one, even if it has not decoded yet.
    return (nal_unit_type == 8 || nal_unit_type == 9) && (m_SkipRasl || m_SequenceStart);
}

void HevcPictureBuffer::FinishPicture()
{
    if (!m_Started)
        return;
    m_Started = false;
    for (uint32_t index = 0; index < m_SurfaceCount; ++index) {
        m_Surfaces[index].kept = m_KeepAfterCurrent[index];
        m_Surfaces[index].longTerm = m_LongTermAfterCurrent[index];
    }
    if (m_Current.surface < m_SurfaceCount)
        m_Surfaces[m_Current.surface] = {true, false, m_Current.CurrPicOrderCntVal};
    if (m_CurrentIsTid0Anchor)
        m_PrevTid0PicOrderCnt = m_Current.CurrPicOrderCntVal;
    if (m_CurrentIsIrap)
        m_SkipRasl = m_CurrentOpensSequence;
    m_SequenceStart = false;
}
