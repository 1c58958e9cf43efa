#include <algorithm>
#include <string>

#include "decoder/platform/simulated/simulated_objects.h"
#include "decoder/platform/simulated/simulated_reference_checks.h"

// H.265 keeps as reference exactly the pictures of the current slice's
// reference picture set (8.3.2): the short-term ones by order count, the
// long-term ones by order count or, without their high part, by its low
// bits. The DXVA HEVC document has RefPicList name those pictures, used by
// the current picture or kept for later ones, and no others.
namespace platform {

namespace {

using std::to_string;

constexpr uint8_t kEmptyPicEntry = 0xFF;
constexpr size_t kMaxSetPictures = 32;

struct ReferenceSet {
    int32_t shortTerm[kMaxSetPictures] = {};
    size_t shortTermCount = 0;
    int32_t longTerm[kMaxSetPictures] = {};
    bool fullLongTerm[kMaxSetPictures] = {};  // false: only the low bits are known
    bool usedLongTerm[kMaxSetPictures] = {};
    size_t longTermCount = 0;
    int32_t maxLsb = 16;

    bool NamesLongTerm(size_t i, int32_t poc) const
    {
        return fullLongTerm[i] ? longTerm[i] == poc : longTerm[i] == (poc & (maxLsb - 1));
    }

    // Whether the picture of order count `poc` is in the set, and as what.
    bool Holds(int32_t poc, bool& isLongTerm) const
    {
        isLongTerm = false;
        if (std::find(shortTerm, shortTerm + shortTermCount, poc) != shortTerm + shortTermCount)
            return true;
        for (size_t i = 0; i < longTermCount; ++i) {
            if (NamesLongTerm(i, poc)) {
                isLongTerm = true;
                return true;
            }
        }
        return false;
    }
};

ReferenceSet ReadReferenceSet(const HevcStream& stream, int32_t picOrderCnt)
{
    ReferenceSet set;
    const HevcSliceHeader& sh = *stream.sh;
    const HevcSps& sps = *stream.sps;
    set.maxLsb = 1 << std::min(sps.log2_max_pic_order_cnt_lsb_minus4 + 4, 16u);
    const HevcStRefPicSet& st = sh.stRefPicSet;
    for (uint32_t i = 0; i < st.NumNegativePics && i < kHevcMaxRpsEntries; ++i)
        set.shortTerm[set.shortTermCount++] = picOrderCnt + st.DeltaPocS0[i];
    for (uint32_t i = 0; i < st.NumPositivePics && i < kHevcMaxRpsEntries && set.shortTermCount < kMaxSetPictures; ++i)
        set.shortTerm[set.shortTermCount++] = picOrderCnt + st.DeltaPocS1[i];
    // (7-52): the high part's cycle counts from the first entry of each kind.
    int64_t msbCycle = 0;
    const uint32_t total = std::min<uint32_t>(sh.num_long_term_sps + sh.num_long_term_pics, kHevcMaxLongTermPics);
    for (uint32_t i = 0; i < total; ++i) {
        const uint32_t spsIndex = sh.lt_idx_sps[i] % kHevcMaxLongTermRefPicsSps;
        const uint32_t lsb = i < sh.num_long_term_sps ? sps.lt_ref_pic_poc_lsb_sps[spsIndex] : sh.poc_lsb_lt[i];
        set.usedLongTerm[i] = (i < sh.num_long_term_sps ? sps.used_by_curr_pic_lt_sps_flag[spsIndex]
                                                        : sh.used_by_curr_pic_lt_flag[i]) != 0;
        msbCycle = (i == 0 || i == sh.num_long_term_sps) ? sh.delta_poc_msb_cycle_lt[i]
                                                          : sh.delta_poc_msb_cycle_lt[i] + msbCycle;
        set.fullLongTerm[i] = sh.delta_poc_msb_present_flag[i] != 0;
        set.longTerm[i] = set.fullLongTerm[i]
                              ? static_cast<int32_t>(picOrderCnt - msbCycle * set.maxLsb -
                                                     (int64_t{sh.slice_pic_order_cnt_lsb} - lsb))
                              : static_cast<int32_t>(lsb);
    }
    set.longTermCount = total;
    return set;
}

}  // namespace

std::string CheckHevcSet(const DXVA_PicParams_HEVC& picture, const char* name, const uint8_t* set, uint32_t count,
                         const std::function<bool(uint32_t, int32_t)>& names,
                         const std::function<std::string(uint32_t)>& named)
{
    // Names are put together only for a refusal: an accepted frame allocates nothing here.
    auto entry = [name](uint32_t i) { return ListEntryName(name, i); };
    for (uint32_t i = 0; i < 8; ++i) {
        if (i >= count) {
            if (set[i] != kEmptyPicEntry)
                return entry(i) + " is " + to_string(set[i]) + ", the slice header names " + to_string(count) + " pictures";
            continue;
        }
        if (set[i] >= 15 || picture.RefPicList[set[i]].bPicEntry == kEmptyPicEntry)
            return entry(i) + " is " + to_string(set[i]) + ", not a RefPicList entry";
        if (!names(i, picture.PicOrderCntValList[set[i]]))
            return entry(i) + " gives picture " + to_string(picture.PicOrderCntValList[set[i]]) + ", " + named(i);
    }
    return {};
}

std::string CheckHevcHeldReferences(const SimulatedVideoDecoder& decoder, const DXVA_PicParams_HEVC& picture,
                                    const HevcStream& stream, int32_t picOrderCnt, bool clearsReferences,
                                    SimulatedPendingPicture& pending)
{
    const ReferenceSet set = ReadReferenceSet(stream, picOrderCnt);
    // RefPicSetLtCurr lists the long-term entries the slice uses, in their order.
    uint32_t used[8] = {};
    uint32_t usedCount = 0;
    for (uint32_t i = 0; i < set.longTermCount && usedCount < 8; ++i) {
        if (set.usedLongTerm[i])
            used[usedCount++] = i;
    }
    std::string problem = CheckHevcSet(
        picture, "RefPicSetLtCurr", picture.RefPicSetLtCurr, usedCount,
        [&](uint32_t i, int32_t poc) { return set.NamesLongTerm(used[i], poc); },
        [&](uint32_t i) {
            return (set.fullLongTerm[used[i]] ? "the slice uses long-term picture "
                                              : "the slice uses the long-term picture of low bits ") +
                   to_string(set.longTerm[used[i]]);
        });
    if (!problem.empty())
        return problem;

    for (uint32_t i = 0; i < 15; ++i) {
        if (picture.RefPicList[i].bPicEntry == kEmptyPicEntry)
            continue;
        auto name = [i] { return ListEntryName("RefPicList", i); };
        bool longTerm = false;
        if (!set.Holds(picture.PicOrderCntValList[i], longTerm))
            return name() + " gives picture " + to_string(picture.PicOrderCntValList[i]) +
                   ", which the slice's reference set does not hold";
        if (picture.RefPicList[i].AssociatedFlag != longTerm)
            return name() + (longTerm ? " is marked short-term, the slice's reference set holds picture "
                                      : " is marked long-term, the slice's reference set holds picture ") +
                   to_string(picture.PicOrderCntValList[i]) + (longTerm ? " as long-term" : " as short-term");
    }

    const SimulatedHevcReferences held = clearsReferences ? SimulatedHevcReferences{} : decoder.m_References.hevc;
    SimulatedHevcReferences& next = pending.hevc;
    next = SimulatedHevcReferences{};
    for (size_t h = 0; h < held.count; ++h) {
        bool longTerm = false;
        if (!set.Holds(held.picOrderCnts[h], longTerm))
            continue;  // no longer a reference
        bool listed = false;
        for (uint32_t i = 0; i < 15 && !listed; ++i)
            listed = picture.RefPicList[i].bPicEntry != kEmptyPicEntry &&
                     picture.RefPicList[i].Index7Bits == held.surfaces[h] &&
                     picture.PicOrderCntValList[i] == held.picOrderCnts[h];
        if (!listed)
            return "picture " + to_string(held.picOrderCnts[h]) + " (surface " + to_string(held.surfaces[h]) +
                   ") is in the slice's reference set but missing from RefPicList";
        if (next.count < SimulatedHevcReferences::kMaxReferences - 1) {
            next.surfaces[next.count] = held.surfaces[h];
            next.picOrderCnts[next.count++] = held.picOrderCnts[h];
        }
    }
    // Every decoded picture is a short-term reference until a later set leaves it out.
    pending.surface = decoder.m_Target->m_Description.Texture2D.ArraySlice & 0x7F;
    next.surfaces[next.count] = pending.surface;
    next.picOrderCnts[next.count++] = picOrderCnt;
    pending.record.written = true;
    pending.record.orderCounts[0] = picOrderCnt;
    return {};
}

}  // namespace platform
