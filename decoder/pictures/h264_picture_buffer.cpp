#include "decoder/pictures/h264_picture_buffer.h"

#include <algorithm>
#include <cstring>

#include "bitstream/h264/h264_parser.h"
#include "decoder/pictures/free_surface.h"
#include "logging/spdlog_logger.h"

namespace {

constexpr uint8_t kNoEntry = 0xFF;
constexpr uint32_t kNalIdr = 5;

// MaxDpbMbs of each level (Table A-1); level_idc 9 is level 1b.
struct LevelLimit {
    uint32_t levelIdc;
    uint32_t maxDpbMbs;
};
constexpr LevelLimit kLevelLimits[] = {
    {9, 396},     {10, 396},    {11, 900},    {12, 2376},   {13, 2376},   {20, 2376},   {21, 4752},
    {22, 8100},   {30, 8100},   {31, 18000},  {32, 20480},  {40, 32768},  {41, 32768},  {42, 34816},
    {50, 110400}, {51, 184320}, {52, 184320}, {60, 696320}, {61, 696320}, {62, 696320},
};

uint32_t MaxDpbMbs(const H264Sps& sps)
{
    // Baseline, Main and Extended signal level 1b as level 1.1 with constraint_set3_flag.
    const bool constrainedProfile = sps.profile_idc == 66 || sps.profile_idc == 77 || sps.profile_idc == 88;
    const uint32_t level = sps.level_idc == 11 && sps.constraint_set3_flag && constrainedProfile ? 9 : sps.level_idc;
    for (const LevelLimit& limit : kLevelLimits) {
        if (limit.levelIdc == level)
            return limit.maxDpbMbs;
    }
    return 0;
}

}  // namespace

uint32_t H264PictureBuffer::DpbFramesFor(const H264Sps& sps)
{
    constexpr uint32_t kMaxFrames = H264ReferenceFrames::kMaxFrames;
    uint32_t frames = kMaxFrames;
    if (sps.vui_parameters_present_flag && sps.bitstream_restriction_flag) {
        frames = std::min(sps.max_dec_frame_buffering, kMaxFrames);
    } else if (const uint32_t maxDpbMbs = MaxDpbMbs(sps); maxDpbMbs != 0) {
        // An unknown level leaves the ceiling.
        const uint64_t frameMbs = (uint64_t{sps.pic_width_in_mbs_minus1} + 1) * (2 - std::min(sps.frame_mbs_only_flag, 1u)) *
                                  (uint64_t{sps.pic_height_in_map_units_minus1} + 1);
        frames = static_cast<uint32_t>(std::min<uint64_t>(maxDpbMbs / frameMbs, kMaxFrames));
    }
    return std::max({frames, std::min(sps.max_num_ref_frames, kMaxFrames), 1u});
}

void H264PictureBuffer::Reset(uint32_t surfaceCount)
{
    m_SurfaceCount = std::min(surfaceCount, kMaxSurfaces);
    m_State = State();
    m_Started = false;
}

bool H264PictureBuffer::FindFreeSurface(uint32_t& surface) const
{
    return LowestFreeSurface(m_SurfaceCount, [&](uint32_t index) { return m_State.frames.HoldsSurface(index); },
                             surface);
}

bool H264PictureBuffer::StartPicture(const H264Stream& stream, uint32_t surface)
{
    m_Started = false;
    const H264Sps& sps = *stream.sps;
    const H264SliceHeader& sh = *stream.sh;
    if (sh.field_pic_flag) {
        g_Logger.Log(LogLevel::error, "decoder: H.264 field pictures (field_pic_flag 1) are not supported");
        return false;
    }
    if (!sps.frame_mbs_only_flag) {
        g_Logger.Log(LogLevel::error, sps.mb_adaptive_frame_field_flag
                                          ? "decoder: H.264 MBAFF field coding (frame_mbs_only_flag 0, mb_adaptive_frame_field_flag 1) is not supported"
                                          : "decoder: H.264 field coding (frame_mbs_only_flag 0) is not supported");
        return false;
    }
    if (SurfacesFor(sps) > m_SurfaceCount) {
        g_Logger.Log(LogLevel::error, "decoder: h264 stream needs %u surfaces (a DPB of %u frames), the decoder has %u",
                     SurfacesFor(sps), DpbFramesFor(sps), m_SurfaceCount);
        return false;
    }
    if (surface >= m_SurfaceCount || m_State.frames.HoldsSurface(surface)) {
        g_Logger.Log(LogLevel::error, "decoder: h264 surface %u is not free for the next picture", surface);
        return false;
    }

    const bool idr = stream.nal->nal_unit_type == kNalIdr;
    const bool reference = stream.nal->nal_ref_idc != 0;
    m_MaxFrameNum = 1u << std::min<uint32_t>(sps.log2_max_frame_num_minus4 + 4, 16);
    // The gap walk counts up to frame_num modulo MaxFrameNum: one beyond would never end.
    if (sh.frame_num >= m_MaxFrameNum) {
        g_Logger.Log(LogLevel::error, "decoder: h264 frame_num %u is not below MaxFrameNum %u", sh.frame_num,
                     m_MaxFrameNum);
        return false;
    }
    m_Next = m_State;
    if (idr) {
        // Every frame before an IDR picture is gone before it is decoded.
        m_Next.frames.Clear();
        m_Next.prevRefFrameNum = 0;
    } else if (m_Next.started && sh.frame_num != m_Next.prevRefFrameNum &&
               sh.frame_num != (m_Next.prevRefFrameNum + 1) % m_MaxFrameNum) {
        if (!sps.gaps_in_frame_num_value_allowed_flag) {
            g_Logger.Log(LogLevel::error,
                         "decoder: h264 frame_num jumps from %u to %u while gaps_in_frame_num_value_allowed_flag is 0",
                         m_Next.prevRefFrameNum, sh.frame_num);
            return false;
        }
        if (!FillGap(sps, sh.frame_num, surface))
            return false;
    }

    const H264FieldOrderCounts counts = m_Next.order.Derive(sps, sh, idr, reference);
    m_CurrentPicOrderCnt = FramePicOrderCnt(counts);
    m_ListFrames = m_Next.frames;
    m_Current.surface = surface;
    m_Current.CurrFieldOrderCnt[0] = counts.top;
    m_Current.CurrFieldOrderCnt[1] = counts.bottom;
    DescribeReferences();

    if (reference) {
        H264ReferenceFrame current = {surface, sh.frame_num, 0, counts, false, false};
        if (idr) {
            m_Next.frames.Clear(sh.long_term_reference_flag ? 0 : H264ReferenceFrames::kNoLongTermFrameIdx);
            current.longTerm = sh.long_term_reference_flag != 0;
        } else if (sh.adaptive_ref_pic_marking_mode_flag) {
            int64_t longTermFrameIdx = -1;
            bool reset = false;
            m_Next.frames.ApplyOperations(sh, sh.frame_num, m_MaxFrameNum, longTermFrameIdx, reset);
            if (reset) {
                // From here on the picture counts as frame_num 0 with its order count at 0.
                current.counts = m_Next.order.ResetAfter(sps, counts);
                current.frameNum = 0;
            }
            if (longTermFrameIdx >= 0) {
                current.longTerm = true;
                current.longTermFrameIdx = static_cast<uint32_t>(longTermFrameIdx);
            }
        } else {
            m_Next.frames.SlideWindow(sps.max_num_ref_frames, sh.frame_num, m_MaxFrameNum);
        }
        if (!m_Next.frames.Add(current)) {
            g_Logger.Log(LogLevel::error, "decoder: h264 picture %d would keep more than %u reference frames",
                         m_CurrentPicOrderCnt, H264ReferenceFrames::kMaxFrames);
            return false;
        }
        m_Next.prevRefFrameNum = current.frameNum;
        m_Next.started = true;
    }
    m_Started = true;
    return true;
}

// 8.2.5.2: every frame_num skipped gets a "non-existing" short-term frame,
// marked by the sliding window like a decoded one.
bool H264PictureBuffer::FillGap(const H264Sps& sps, uint32_t frameNum, uint32_t surface)
{
    uint32_t standIn = kMaxSurfaces;
    for (uint32_t index = m_Next.frames.Count(); index-- > 0 && standIn == kMaxSurfaces;) {
        if (!m_Next.frames[index].nonExisting)
            standIn = m_Next.frames[index].surface;
    }
    if (standIn == kMaxSurfaces || standIn == surface) {
        g_Logger.Log(LogLevel::error, "decoder: h264 frame_num gap before %u with no decoded reference frame to stand in for the missing ones",
                     frameNum);
        return false;
    }
    for (uint32_t missing = (m_Next.prevRefFrameNum + 1) % m_MaxFrameNum; missing != frameNum;
         missing = (missing + 1) % m_MaxFrameNum) {
        m_Next.frames.SlideWindow(sps.max_num_ref_frames, missing, m_MaxFrameNum);
        const H264FieldOrderCounts counts = m_Next.order.DeriveNonExisting(sps, missing);
        if (!m_Next.frames.Add({standIn, missing, 0, counts, false, true})) {
            g_Logger.Log(LogLevel::error, "decoder: h264 frame_num gap before %u leaves more than %u reference frames",
                         frameNum, H264ReferenceFrames::kMaxFrames);
            return false;
        }
        m_Next.prevRefFrameNum = missing;
    }
    return true;
}

void H264PictureBuffer::DescribeReferences()
{
    H264PictureReferences& current = m_Current;
    std::memset(current.RefFrameList, kNoEntry, sizeof(current.RefFrameList));
    std::memset(current.FieldOrderCntList, 0, sizeof(current.FieldOrderCntList));
    std::memset(current.FrameNumList, 0, sizeof(current.FrameNumList));
    current.UsedForReferenceFlags = 0;
    current.NonExistingFrameFlags = 0;
    for (uint32_t index = 0; index < m_ListFrames.Count(); ++index) {
        const H264ReferenceFrame& frame = m_ListFrames[index];
        current.RefFrameList[index] = static_cast<uint8_t>((frame.surface & 0x7F) | (frame.longTerm ? 0x80 : 0));
        current.FieldOrderCntList[index][0] = frame.counts.top;
        current.FieldOrderCntList[index][1] = frame.counts.bottom;
        current.FrameNumList[index] = static_cast<uint16_t>(frame.longTerm ? frame.longTermFrameIdx : frame.frameNum);
        current.UsedForReferenceFlags |= 3u << (2 * index);
        if (frame.nonExisting)
            current.NonExistingFrameFlags = static_cast<uint16_t>(current.NonExistingFrameFlags | (1u << index));
    }
}

bool H264PictureBuffer::BuildSliceLists(const H264Stream& stream, H264SliceLists& lists) const
{
    if (!m_Started) {
        g_Logger.Log(LogLevel::error, "decoder: h264 slice outside a started picture");
        return false;
    }
    return BuildH264SliceLists(m_ListFrames, m_MaxFrameNum, *stream.pps, *stream.sh, m_CurrentPicOrderCnt, lists);
}

void H264PictureBuffer::FinishPicture()
{
    if (!m_Started)
        return;
    m_Started = false;
    m_State = m_Next;
}
