#pragma once

#include <cstdint>

#include "bitstream/hevc/hevc_records.h"

// What the parameter buffers need to know of the picture being decoded and
// the pictures it may refer to. Unused entries are 0xFF.
struct HevcPictureReferences {
    static constexpr uint32_t kListSize = 15;
    static constexpr uint32_t kSetSize = 8;

    uint32_t surface;  // where the picture is decoded
    int32_t CurrPicOrderCntVal;
    // Every picture the current set keeps, by surface, with its order count
    // and whether it is kept as a long-term picture.
    uint8_t RefPicList[kListSize];
    int32_t PicOrderCntValList[kListSize];
    bool longTerm[kListSize];
    // Indices into RefPicList.
    uint8_t RefPicSetStCurrBefore[kSetSize];
    uint8_t RefPicSetStCurrAfter[kSetSize];
    uint8_t RefPicSetLtCurr[kSetSize];
    // Of the picture's first slice segment: the bits of the short-term set it
    // codes itself (0 when it takes one of the SPS's), and NumDeltaPocs of the
    // set that one predicts from (0 when it is not predicted).
    uint32_t sliceShortTermRpsBits;
    uint32_t sliceRefRpsNumDeltaPocs;
    // Some slice of the picture is a B slice.
    bool biPredicted;
};

// The H.265 decoded picture buffer: which surface holds which kept picture,
// its picture order count and whether it is a long-term picture. Each picture
// is marked from its reference picture set (clause 8.3.2) before it is
// decoded and goes into a surface that no kept picture holds. A picture that
// uses a reference the buffer does not hold is refused; the RASL pictures of
// a CRA that opens a sequence are skipped, as their references never came.
class HevcPictureBuffer {
public:
    // The decoded picture buffer's ceiling (16) plus the picture being decoded.
    static constexpr uint32_t kMaxSurfaces = 17;

    // Surfaces a stream with this SPS needs: every picture it may keep
    // (sps_max_dec_pic_buffering_minus1 + 1 at its highest sub-layer) and the
    // one being decoded.
    static uint32_t SurfacesFor(const HevcSps& sps);

    // Forgets every picture; `surfaceCount` surfaces from now on.
    void Reset(uint32_t surfaceCount);
    uint32_t SurfaceCount() const { return m_SurfaceCount; }
    // The lowest surface no kept picture holds; false when there is none.
    bool FindFreeSurface(uint32_t& surface) const;

    // Works out the order count and the references of the picture whose first
    // slice segment `stream` has just parsed, to be decoded into `surface`.
    // False, with one error line saying why, when the picture refers to what
    // the buffer does not hold.
    bool StartPicture(const HevcStream& stream, uint32_t surface);
    // The started picture was decoded: the buffer now holds it and what its
    // set keeps. A picture started and never finished changes nothing.
    void FinishPicture();
    // A slice segment of the started picture, its first included.
    void NoteSlice(const HevcSliceHeader& sh);
    // Whether a picture of this NAL unit type is left undecoded: a RASL picture
    // whose CRA (or BLA) opened the sequence refers to pictures before it.
    bool SkipsPicture(uint32_t nal_unit_type) const;
    // An end of sequence or of the bitstream: the next picture starts a new sequence.
    void EndSequence() { m_SequenceStart = true; }

    const HevcPictureReferences& Current() const { return m_Current; }

private:
    struct Surface {
        bool kept;
        bool longTerm;
        int32_t picOrderCnt;
    };

    struct LongTermSet {
        uint32_t count = 0;
        int64_t maxLsb = 16;
        int64_t orderCnt[kHevcMaxLongTermPics] = {};
        bool fullOrderCnt[kHevcMaxLongTermPics] = {};  // false: orderCnt holds the low bits only
        bool usedByCurrPic[kHevcMaxLongTermPics] = {};

        bool Names(uint32_t entry, int32_t picOrderCnt) const;
        // The first entry naming the picture; `count` when none does.
        uint32_t Find(int32_t picOrderCnt) const;
    };

    static LongTermSet ReadLongTermSet(const HevcStream& stream, int32_t poc);
    bool MarkReferences(const HevcStream& stream, int32_t poc);
    bool ListCurrentReferences(const HevcStream& stream, int32_t poc, const LongTermSet& longTerm, uint32_t listed);

    Surface m_Surfaces[kMaxSurfaces] = {};
    uint32_t m_SurfaceCount = 0;
    // The previous picture of temporal sub-layer 0 that another picture may
    // take its order count from (not RASL, RADL or a sub-layer non-reference).
    int32_t m_PrevTid0PicOrderCnt = 0;
    // No picture decoded since the reset or an end of sequence: a CRA then
    // starts the sequence.
    bool m_SequenceStart = true;
    // The last IRAP picture opened its sequence, so its RASL pictures are skipped.
    bool m_SkipRasl = true;

    // The started picture.
    HevcPictureReferences m_Current = {};
    bool m_Started = false;
    bool m_KeepAfterCurrent[kMaxSurfaces] = {};
    bool m_LongTermAfterCurrent[kMaxSurfaces] = {};
    bool m_CurrentIsTid0Anchor = false;
    bool m_CurrentIsIrap = false;
    bool m_CurrentOpensSequence = false;
};
