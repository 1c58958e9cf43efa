#include "decoder/pictures/h264_picture_order.h"

#include <algorithm>

#include "bitstream/h264/h264_records.h"

namespace {

int64_t MaxFrameNum(const H264Sps& sps)
{
    return int64_t{1} << std::min<uint32_t>(sps.log2_max_frame_num_minus4 + 4, 16);
}

H264FieldOrderCounts Counts(int64_t top, int64_t bottom)
{
    // Wrapping, as the counts of a stream that overflows them are meaningless anyway.
    return {static_cast<int32_t>(top), static_cast<int32_t>(bottom)};
}

// ExpectedPicOrderCnt of a type 1 frame (equations 8-7 to 8-10).
int64_t ExpectedPicOrderCnt(const H264Sps& sps, int64_t frameNumOffset, uint32_t frameNum, bool reference)
{
    const uint32_t cycle = std::min<uint32_t>(sps.num_ref_frames_in_pic_order_cnt_cycle, kH264MaxRefFramesInPocCycle);
    int64_t absFrameNum = cycle != 0 ? frameNumOffset + frameNum : 0;
    if (!reference && absFrameNum > 0)
        --absFrameNum;
    int64_t expected = 0;
    if (absFrameNum > 0) {
        int64_t deltaPerCycle = 0;
        for (uint32_t i = 0; i < cycle; ++i)
            deltaPerCycle += sps.offset_for_ref_frame[i];
        const int64_t cycleCount = (absFrameNum - 1) / cycle;
        const int64_t inCycle = (absFrameNum - 1) % cycle;
        expected = cycleCount * deltaPerCycle;
        for (int64_t i = 0; i <= inCycle; ++i)
            expected += sps.offset_for_ref_frame[i];
    }
    if (!reference)
        expected += sps.offset_for_non_ref_pic;
    return expected;
}

}  // namespace

int64_t H264PictureOrder::FrameNumOffset(const H264Sps& sps, uint32_t frameNum, bool idr) const
{
    if (idr)
        return 0;
    return m_PrevFrameNum > frameNum ? m_PrevFrameNumOffset + MaxFrameNum(sps) : m_PrevFrameNumOffset;
}

H264FieldOrderCounts H264PictureOrder::Derive(const H264Sps& sps, const H264SliceHeader& sh, bool idr, bool reference)
{
    H264FieldOrderCounts counts = {0, 0};
    if (sps.pic_order_cnt_type == 0) {
        if (idr) {
            m_PrevPicOrderCntMsb = 0;
            m_PrevPicOrderCntLsb = 0;
        }
        const int64_t maxLsb = int64_t{1} << std::min<uint32_t>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4, 16);
        const int64_t lsb = sh.pic_order_cnt_lsb;
        int64_t msb = m_PrevPicOrderCntMsb;
        if (lsb < m_PrevPicOrderCntLsb && m_PrevPicOrderCntLsb - lsb >= maxLsb / 2)
            msb += maxLsb;
        else if (lsb > m_PrevPicOrderCntLsb && lsb - m_PrevPicOrderCntLsb > maxLsb / 2)
            msb -= maxLsb;
        counts = Counts(msb + lsb, msb + lsb + sh.delta_pic_order_cnt_bottom);
        if (reference) {
            m_PrevPicOrderCntMsb = msb;
            m_PrevPicOrderCntLsb = lsb;
        }
    } else {
        const int64_t frameNumOffset = FrameNumOffset(sps, sh.frame_num, idr);
        if (sps.pic_order_cnt_type == 1) {
            const int64_t top = ExpectedPicOrderCnt(sps, frameNumOffset, sh.frame_num, reference) + sh.delta_pic_order_cnt[0];
            counts = Counts(top, top + sps.offset_for_top_to_bottom_field + sh.delta_pic_order_cnt[1]);
        } else {
            // Type 2: output order is decoding order, non-reference frames just before their successor.
            int64_t temp = 0;
            if (!idr)
                temp = 2 * (frameNumOffset + sh.frame_num) - (reference ? 0 : 1);
            counts = Counts(temp, temp);
        }
        m_PrevFrameNumOffset = frameNumOffset;
    }
    m_PrevFrameNum = sh.frame_num;
    if (reference)
        m_PrevReferenceCounts = counts;
    return counts;
}

H264FieldOrderCounts H264PictureOrder::DeriveNonExisting(const H264Sps& sps, uint32_t frameNum)
{
    if (sps.pic_order_cnt_type == 0) {
        m_PrevFrameNum = frameNum;
        return m_PrevReferenceCounts;
    }
    H264SliceHeader sh{};
    sh.frame_num = frameNum;
    return Derive(sps, sh, false, true);
}

H264FieldOrderCounts H264PictureOrder::ResetAfter(const H264Sps& sps, const H264FieldOrderCounts& counts)
{
    const int64_t temp = FramePicOrderCnt(counts);
    const H264FieldOrderCounts kept = Counts(counts.top - temp, counts.bottom - temp);
    if (sps.pic_order_cnt_type == 0) {
        m_PrevPicOrderCntMsb = 0;
        m_PrevPicOrderCntLsb = kept.top;
    }
    m_PrevFrameNumOffset = 0;
    m_PrevFrameNum = 0;
    m_PrevReferenceCounts = kept;
    return kept;
}
