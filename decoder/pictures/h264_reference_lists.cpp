#include "decoder/pictures/h264_reference_lists.h"

#include <algorithm>
#include <cstring>

#include "bitstream/h264/h264_records.h"
#include "logging/spdlog_logger.h"

namespace {

using Frames = H264ReferenceFrames;
constexpr uint8_t kNoFrame = H264SliceLists::kNoFrame;
// One more than a list holds: a modification shifts the list before it drops the last entry.
constexpr uint32_t kWorkEntries = H264SliceLists::kMaxEntries + 1;

struct InitialList {
    uint8_t entries[Frames::kMaxFrames];
    uint32_t count = 0;
};

// Appends the frames `take` accepts, sorted by `before`.
template <typename Take, typename Before>
void AppendSorted(const Frames& frames, InitialList& list, Take take, Before before)
{
    const uint32_t start = list.count;
    for (uint32_t index = 0; index < frames.Count(); ++index) {
        if (take(frames[index]))
            list.entries[list.count++] = static_cast<uint8_t>(index);
    }
    std::stable_sort(list.entries + start, list.entries + list.count,
                     [&](uint8_t a, uint8_t b) { return before(frames[a], frames[b]); });
}

void AppendLongTerm(const Frames& frames, InitialList& list)
{
    AppendSorted(frames, list, [](const H264ReferenceFrame& f) { return f.longTerm; },
                 [](const H264ReferenceFrame& a, const H264ReferenceFrame& b) { return a.longTermFrameIdx < b.longTermFrameIdx; });
}

// P and SP (8.2.4.2.1): short-term frames by descending PicNum, then long-term by ascending LongTermPicNum.
void InitialP(const Frames& frames, uint32_t currentFrameNum, uint32_t maxFrameNum, InitialList& list)
{
    AppendSorted(frames, list, [](const H264ReferenceFrame& f) { return !f.longTerm; },
                 [&](const H264ReferenceFrame& a, const H264ReferenceFrame& b) {
                     return H264PicNum(a.frameNum, currentFrameNum, maxFrameNum) > H264PicNum(b.frameNum, currentFrameNum, maxFrameNum);
                 });
    AppendLongTerm(frames, list);
}

// B (8.2.4.2.3): short-term frames on the list's own side of the current
// picture nearest first, then those on the other side, then long-term.
void InitialB(const Frames& frames, int32_t currentPoc, bool list1, InitialList& list)
{
    auto earlier = [&](const H264ReferenceFrame& f) { return !f.longTerm && FramePicOrderCnt(f.counts) < currentPoc; };
    auto later = [&](const H264ReferenceFrame& f) { return !f.longTerm && FramePicOrderCnt(f.counts) > currentPoc; };
    auto descending = [](const H264ReferenceFrame& a, const H264ReferenceFrame& b) { return FramePicOrderCnt(a.counts) > FramePicOrderCnt(b.counts); };
    auto ascending = [](const H264ReferenceFrame& a, const H264ReferenceFrame& b) { return FramePicOrderCnt(a.counts) < FramePicOrderCnt(b.counts); };
    if (list1) {
        AppendSorted(frames, list, later, ascending);
        AppendSorted(frames, list, earlier, descending);
    } else {
        AppendSorted(frames, list, earlier, descending);
        AppendSorted(frames, list, later, ascending);
    }
    AppendLongTerm(frames, list);
}

struct Modifications {
    uint32_t flag;
    const uint32_t* idc;
    const uint32_t* absDiffPicNumMinus1;
    const uint32_t* longTermPicNum;
};

// 8.2.4.3: each operation puts the frame it names at the next index and
// drops that frame's later copy.
bool Modify(const Frames& frames, uint32_t currentFrameNum, uint32_t maxFrameNum, const Modifications& m, uint32_t active,
            uint8_t* list, int listIndex)
{
    if (!m.flag)
        return true;
    int64_t picNumPred = currentFrameNum;
    uint32_t refIdx = 0;
    for (size_t k = 0; k < kH264MaxListOperations && m.idc[k] != 3; ++k) {
        const uint32_t idc = m.idc[k];
        if (idc > 3) {
            g_Logger.Log(LogLevel::error, "decoder: h264 slice has modification_of_pic_nums_idc %u in list %d", idc, listIndex);
            return false;
        }
        if (refIdx == active) {
            g_Logger.Log(LogLevel::error, "decoder: h264 slice modifies list %d beyond its %u entries", listIndex, active);
            return false;
        }
        uint32_t found = Frames::kMaxFrames;
        bool longTerm = idc == 2;
        int64_t wanted = 0;
        if (longTerm) {
            wanted = m.longTermPicNum[k];
            for (uint32_t index = 0; index < frames.Count() && found == Frames::kMaxFrames; ++index) {
                if (frames[index].longTerm && frames[index].longTermFrameIdx == wanted)
                    found = index;
            }
        } else {
            const int64_t step = int64_t{m.absDiffPicNumMinus1[k]} + 1;
            int64_t noWrap = idc == 0 ? picNumPred - step : picNumPred + step;
            if (idc == 0 && noWrap < 0)
                noWrap += maxFrameNum;
            if (idc == 1 && noWrap >= maxFrameNum)
                noWrap -= maxFrameNum;
            picNumPred = noWrap;
            wanted = noWrap > currentFrameNum ? noWrap - maxFrameNum : noWrap;
            for (uint32_t index = 0; index < frames.Count() && found == Frames::kMaxFrames; ++index) {
                if (!frames[index].longTerm && H264PicNum(frames[index].frameNum, currentFrameNum, maxFrameNum) == wanted)
                    found = index;
            }
        }
        if (found == Frames::kMaxFrames) {
            g_Logger.Log(LogLevel::error, "decoder: h264 slice puts %s %lld in list %d, which is not a reference frame",
                         longTerm ? "LongTermPicNum" : "PicNum", static_cast<long long>(wanted), listIndex);
            return false;
        }
        for (uint32_t c = active; c > refIdx; --c)
            list[c] = list[c - 1];
        list[refIdx++] = static_cast<uint8_t>(found);
        uint32_t kept = refIdx;
        for (uint32_t c = refIdx; c <= active; ++c) {
            if (list[c] != found)
                list[kept++] = list[c];
        }
    }
    return true;
}

}  // namespace

bool BuildH264SliceLists(const Frames& frames, uint32_t maxFrameNum, const H264Pps& pps, const H264SliceHeader& sh,
                         int32_t currentPicOrderCnt, H264SliceLists& lists)
{
    std::memset(lists.entries, kNoFrame, sizeof(lists.entries));
    lists.count[0] = lists.count[1] = 0;
    const uint32_t kind = sh.slice_type % 5;
    const bool isB = kind == 1;
    if (kind != 0 && kind != 3 && !isB)
        return true;
    const uint32_t activeMinus1[2] = {
        sh.num_ref_idx_active_override_flag ? sh.num_ref_idx_l0_active_minus1 : pps.num_ref_idx_l0_default_active_minus1,
        sh.num_ref_idx_active_override_flag ? sh.num_ref_idx_l1_active_minus1 : pps.num_ref_idx_l1_default_active_minus1};
    const Modifications modifications[2] = {
        {sh.ref_pic_list_modification_flag_l0, sh.modification_of_pic_nums_idc_l0, sh.abs_diff_pic_num_minus1_l0, sh.long_term_pic_num_l0},
        {sh.ref_pic_list_modification_flag_l1, sh.modification_of_pic_nums_idc_l1, sh.abs_diff_pic_num_minus1_l1, sh.long_term_pic_num_l1}};

    InitialList initial[2];
    if (isB) {
        InitialB(frames, currentPicOrderCnt, false, initial[0]);
        InitialB(frames, currentPicOrderCnt, true, initial[1]);
        if (initial[1].count > 1 && initial[0].count == initial[1].count &&
            std::equal(initial[0].entries, initial[0].entries + initial[0].count, initial[1].entries))
            std::swap(initial[1].entries[0], initial[1].entries[1]);
    } else {
        InitialP(frames, sh.frame_num, maxFrameNum, initial[0]);
    }

    for (int list = 0; list < (isB ? 2 : 1); ++list) {
        if (activeMinus1[list] >= H264SliceLists::kMaxEntries) {
            g_Logger.Log(LogLevel::error, "decoder: h264 slice has %u entries in list %d, at most %u fit",
                         activeMinus1[list] + 1, list, H264SliceLists::kMaxEntries);
            return false;
        }
        const uint32_t active = activeMinus1[list] + 1;
        uint8_t work[kWorkEntries];
        std::memset(work, kNoFrame, sizeof(work));
        std::copy(initial[list].entries, initial[list].entries + std::min(initial[list].count, active), work);
        if (!Modify(frames, sh.frame_num, maxFrameNum, modifications[list], active, work, list))
            return false;
        std::copy(work, work + active, lists.entries[list]);
        lists.count[list] = active;
    }
    return true;
}
