#include "decoder/pictures/h264_reference_frames.h"

#include "bitstream/h264/h264_records.h"

bool H264ReferenceFrames::HoldsSurface(uint32_t surface) const
{
    for (uint32_t index = 0; index < m_Count; ++index) {
        if (m_Frames[index].surface == surface)
            return true;
    }
    return false;
}

void H264ReferenceFrames::Clear(int32_t maxLongTermFrameIdx)
{
    m_Count = 0;
    m_MaxLongTermFrameIdx = maxLongTermFrameIdx;
}

bool H264ReferenceFrames::Add(const H264ReferenceFrame& frame)
{
    if (m_Count == kMaxFrames)
        return false;
    m_Frames[m_Count++] = frame;
    return true;
}

void H264ReferenceFrames::Remove(uint32_t index)
{
    for (uint32_t next = index + 1; next < m_Count; ++next)
        m_Frames[next - 1] = m_Frames[next];
    --m_Count;
}

void H264ReferenceFrames::RemoveLongTermIndex(uint32_t longTermFrameIdx)
{
    for (uint32_t index = 0; index < m_Count; ++index) {
        if (m_Frames[index].longTerm && m_Frames[index].longTermFrameIdx == longTermFrameIdx) {
            Remove(index);
            return;
        }
    }
}

uint32_t H264ReferenceFrames::FindShortTerm(int64_t picNum, uint32_t currentFrameNum, uint32_t maxFrameNum) const
{
    for (uint32_t index = 0; index < m_Count; ++index) {
        const H264ReferenceFrame& frame = m_Frames[index];
        if (!frame.longTerm && H264PicNum(frame.frameNum, currentFrameNum, maxFrameNum) == picNum)
            return index;
    }
    return kMaxFrames;
}

void H264ReferenceFrames::SlideWindow(uint32_t maxNumRefFrames, uint32_t currentFrameNum, uint32_t maxFrameNum)
{
    const uint32_t limit = maxNumRefFrames > 0 ? maxNumRefFrames : 1;
    while (m_Count >= limit) {
        uint32_t oldest = kMaxFrames;
        for (uint32_t index = 0; index < m_Count; ++index) {
            const H264ReferenceFrame& frame = m_Frames[index];
            if (frame.longTerm)
                continue;
            if (oldest == kMaxFrames || H264PicNum(frame.frameNum, currentFrameNum, maxFrameNum) <
                                            H264PicNum(m_Frames[oldest].frameNum, currentFrameNum, maxFrameNum))
                oldest = index;
        }
        // Only long-term frames left: nothing the window may take.
        if (oldest == kMaxFrames)
            return;
        Remove(oldest);
    }
}

void H264ReferenceFrames::ApplyOperations(const H264SliceHeader& sh, uint32_t currentFrameNum, uint32_t maxFrameNum,
                                          int64_t& currentLongTermFrameIdx, bool& reset)
{
    currentLongTermFrameIdx = -1;
    reset = false;
    for (size_t k = 0; k < kH264MaxListOperations; ++k) {
        const uint32_t operation = sh.memory_management_control_operation[k];
        if (operation == 0 || operation > 6)
            return;
        // picNumX of operations 1 and 3 (8-39).
        const int64_t picNumX = int64_t{currentFrameNum} - (int64_t{sh.difference_of_pic_nums_minus1[k]} + 1);
        switch (operation) {
        case 1: {
            const uint32_t index = FindShortTerm(picNumX, currentFrameNum, maxFrameNum);
            if (index < m_Count)
                Remove(index);
            break;
        }
        case 2:
            // LongTermPicNum is LongTermFrameIdx for frames.
            RemoveLongTermIndex(sh.long_term_pic_num[k]);
            break;
        case 3: {
            uint32_t index = FindShortTerm(picNumX, currentFrameNum, maxFrameNum);
            if (index == kMaxFrames)
                break;
            const uint32_t frameNum = m_Frames[index].frameNum;
            RemoveLongTermIndex(sh.long_term_frame_idx[k]);
            // The removal may have moved the frame.
            index = FindShortTerm(picNumX, currentFrameNum, maxFrameNum);
            if (index < m_Count && m_Frames[index].frameNum == frameNum) {
                m_Frames[index].longTerm = true;
                m_Frames[index].longTermFrameIdx = sh.long_term_frame_idx[k];
            }
            break;
        }
        case 4: {
            m_MaxLongTermFrameIdx = static_cast<int32_t>(sh.max_long_term_frame_idx_plus1[k] > 16 ? 16 : sh.max_long_term_frame_idx_plus1[k]) - 1;
            for (uint32_t index = m_Count; index-- > 0;) {
                if (m_Frames[index].longTerm && static_cast<int64_t>(m_Frames[index].longTermFrameIdx) > m_MaxLongTermFrameIdx)
                    Remove(index);
            }
            break;
        }
        case 5:
            Clear();
            reset = true;
            break;
        case 6:
            RemoveLongTermIndex(sh.long_term_frame_idx[k]);
            currentLongTermFrameIdx = sh.long_term_frame_idx[k];
            break;
        }
    }
}
