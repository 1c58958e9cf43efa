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
    // nothing decoded before them is referred to.
    const bool restart = IsHevcIrap(type) && (type != 21 || m_SequenceStart);
    const uint32_t lsb = IsHevcIdr(type) ? 0 : sh.slice_pic_order_cnt_lsb;
    const int32_t poc = DerivePicOrderCnt(m_PrevTid0PicOrderCnt, lsb, sps.log2_max_pic_order_cnt_lsb_minus4 + 4, restart);

    HevcPictureReferences& current = m_Current;
    current.surface = surface;
    current.CurrPicOrderCntVal = poc;
    std::memset(current.RefPicList, kNoEntry, sizeof(current.RefPicList));
    std::memset(current.PicOrderCntValList, 0, sizeof(current.PicOrderCntValList));
    std::memset(current.RefPicSetStCurrBefore, kNoEntry, sizeof(current.RefPicSetStCurrBefore));
    std::memset(current.RefPicSetStCurrAfter, kNoEntry, sizeof(current.RefPicSetStCurrAfter));
    std::memset(current.RefPicSetLtCurr, kNoEntry, sizeof(current.RefPicSetLtCurr));
    std::memset(m_KeepAfterCurrent, 0, sizeof(m_KeepAfterCurrent));
    current.sliceShortTermRpsBits = 0;
    current.sliceRefRpsNumDeltaPocs = 0;
    if (!IsHevcIdr(type) && !sh.short_term_ref_pic_set_sps_flag) {
        // The slice's own set is the last one parsed into the SPS's slot.
        const ShortTermRps& own = sps.stRps;
        current.sliceShortTermRpsBits = static_cast<uint32_t>(own.numBitsStRps);
        const uint32_t refRpsIdx = sps.num_short_term_ref_pic_sets - (own.delta_idx_minus1 + 1);
        if (own.inter_ref_pic_set_prediction_flag && refRpsIdx < kHevcMaxShortTermRefPicSets)
            current.sliceRefRpsNumDeltaPocs = sps.NumDeltaPocs[refRpsIdx];
    }

    if (!restart) {
        if (sh.num_long_term_sps + sh.num_long_term_pics > 0) {
            g_Logger.Log(LogLevel::error, "decoder: hevc picture %d refers to long-term pictures, which are not kept", poc);
            return false;
        }
        const HevcStRefPicSet& set = sh.stRefPicSet;
        // Every held picture the set names stays, whether the current picture
        // uses it or a later one will; RefPicList lists them all.
        uint32_t listed = 0;
        for (uint32_t index = 0; index < m_SurfaceCount; ++index) {
            if (!m_Surfaces[index].kept || index == surface)
                continue;
            const int32_t delta = m_Surfaces[index].picOrderCnt - poc;
            bool named = false;
            for (uint32_t i = 0; i < set.NumNegativePics && !named; ++i)
                named = set.DeltaPocS0[i] == delta;
            for (uint32_t i = 0; i < set.NumPositivePics && !named; ++i)
                named = set.DeltaPocS1[i] == delta;
            if (!named)
                continue;
            if (listed == HevcPictureReferences::kListSize) {
                g_Logger.Log(LogLevel::error, "decoder: hevc picture %d keeps more than %d reference pictures", poc,
                             HevcPictureReferences::kListSize);
                return false;
            }
            m_KeepAfterCurrent[index] = true;
            current.RefPicList[listed] = static_cast<uint8_t>(index);
            current.PicOrderCntValList[listed] = m_Surfaces[index].picOrderCnt;
            ++listed;
        }
        uint32_t before = 0;
        for (uint32_t i = 0; i < set.NumNegativePics; ++i) {
            if (!set.UsedByCurrPicS0[i])
                continue;
            const int32_t wanted = poc + set.DeltaPocS0[i];
            uint32_t entry = 0;
            while (entry < listed && current.PicOrderCntValList[entry] != wanted)
                ++entry;
            if (entry == listed) {
                g_Logger.Log(LogLevel::error, "decoder: hevc picture %d refers to picture %d, which is not kept", poc, wanted);
                return false;
            }
            if (before == HevcPictureReferences::kSetSize) {
                g_Logger.Log(LogLevel::error, "decoder: hevc picture %d refers to more than %d earlier pictures", poc,
                             HevcPictureReferences::kSetSize);
                return false;
            }
            current.RefPicSetStCurrBefore[before++] = static_cast<uint8_t>(entry);
        }
        for (uint32_t i = 0; i < set.NumPositivePics; ++i) {
            if (set.UsedByCurrPicS1[i]) {
                g_Logger.Log(LogLevel::error, "decoder: hevc picture %d refers to the later picture %d, which is not kept",
                             poc, poc + set.DeltaPocS1[i]);
                return false;
            }
        }
    }

    m_CurrentIsTid0Anchor = temporalId == 0 && !IsRadlOrRasl(type) && !IsSubLayerNonReference(type);
    m_Started = true;
    return true;
}

void HevcPictureBuffer::FinishPicture()
{
    if (!m_Started)
        return;
    m_Started = false;
    for (uint32_t index = 0; index < m_SurfaceCount; ++index)
        m_Surfaces[index].kept = m_KeepAfterCurrent[index];
    if (m_Current.surface < m_SurfaceCount)
        m_Surfaces[m_Current.surface] = {true, m_Current.CurrPicOrderCntVal};
    if (m_CurrentIsTid0Anchor)
        m_PrevTid0PicOrderCnt = m_Current.CurrPicOrderCntVal;
    m_SequenceStart = false;
}
