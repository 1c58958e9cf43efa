// The H.265 picture buffer against order counts and reference picture sets
// worked out by hand: long-term pictures named with and without their high
// part, what the driver is told of them, and the buffer's size. Short-term
// sets on both sides, the RASL pictures a CRA that opens a sequence leaves
// undecodable, and the surfaces of pictures kept for later, are compared with
// the corpus streams end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "bitstream/hevc/hevc_parser.h"
#include "decoder/dxva/dxva_buffers.h"
#include "decoder/dxva/dxva_structures.h"
#include "decoder/pictures/hevc_picture_buffer.h"
#include "support/log_capture.h"

namespace {

constexpr uint8_t kEmpty = 0xFF;

struct LongTerm {
    uint32_t lsb;
    bool used;
    int32_t msbCycle;  // -1: the high part is left out
};

struct Picture {
    uint32_t type;
    uint32_t lsb;
    std::vector<int32_t> negative;  // DeltaPocS0, each used unless listed in foll
    std::vector<int32_t> positive;  // DeltaPocS1
    std::vector<int32_t> foll = {};  // deltas kept for later pictures only
    std::vector<LongTerm> longTerm = {};
};

class HevcReferenceSets : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Stream->sps = &m_Stream->spsTable[0];
        m_Stream->pps = &m_Stream->ppsTable[0];
        m_Stream->sps->log2_max_pic_order_cnt_lsb_minus4 = 0;  // MaxPicOrderCntLsb 16
        m_Pictures.Reset(8);
    }

    // Starts and finishes the picture in the lowest free surface; false when
    // the buffer refuses it.
    bool Decode(const Picture& picture, uint32_t temporalIdPlus1 = 1)
    {
        m_Stream->nal->nuh_temporal_id_plus1 = temporalIdPlus1;
        HevcSliceHeader& sh = *m_Stream->sh;
        sh = HevcSliceHeader{};
        m_Stream->nal->nal_unit_type = picture.type;
        sh.slice_pic_order_cnt_lsb = picture.lsb;
        sh.short_term_ref_pic_set_sps_flag = 1;
        // One direction of the set; its count.
        auto fill = [&](const std::vector<int32_t>& deltas, int32_t* deltaPoc, uint8_t* usedByCurrPic) {
            for (size_t i = 0; i < deltas.size(); ++i) {
                deltaPoc[i] = deltas[i];
                usedByCurrPic[i] = std::find(picture.foll.begin(), picture.foll.end(), deltas[i]) == picture.foll.end() ? 1 : 0;
            }
            return static_cast<uint32_t>(deltas.size());
        };
        HevcStRefPicSet& set = sh.stRefPicSet;
        set.NumNegativePics = fill(picture.negative, set.DeltaPocS0, set.UsedByCurrPicS0);
        set.NumPositivePics = fill(picture.positive, set.DeltaPocS1, set.UsedByCurrPicS1);
        sh.num_long_term_pics = static_cast<uint32_t>(picture.longTerm.size());
        for (size_t i = 0; i < picture.longTerm.size(); ++i) {
            sh.poc_lsb_lt[i] = picture.longTerm[i].lsb;
            sh.used_by_curr_pic_lt_flag[i] = picture.longTerm[i].used;
            sh.delta_poc_msb_present_flag[i] = picture.longTerm[i].msbCycle >= 0;
            sh.delta_poc_msb_cycle_lt[i] = static_cast<uint32_t>(std::max(picture.longTerm[i].msbCycle, 0));
        }
        uint32_t surface = 0;
        if (!m_Pictures.FindFreeSurface(surface) || !m_Pictures.StartPicture(*m_Stream, surface))
            return false;
        m_Pictures.FinishPicture();
        return true;
    }

    // The order counts the current RefPicSetLtCurr and RefPicSetStCurrBefore
    // name through RefPicList, and those of every long-term entry, sorted.
    void ExpectSets(const std::vector<int32_t>& ltCurr, const std::vector<int32_t>& stCurrBefore,
                    const std::vector<int32_t>& longTermListed) const
    {
        const HevcPictureReferences& current = m_Pictures.Current();
        auto named = [&](const uint8_t* set) {
            std::vector<int32_t> counts;
            for (uint32_t i = 0; i < HevcPictureReferences::kSetSize && set[i] != kEmpty; ++i) {
                EXPECT_NE(current.RefPicList[set[i]], kEmpty);
                counts.push_back(current.PicOrderCntValList[set[i]]);
            }
            return counts;
        };
        EXPECT_EQ(named(current.RefPicSetLtCurr), ltCurr);
        EXPECT_EQ(named(current.RefPicSetStCurrBefore), stCurrBefore);
        std::vector<int32_t> longTerm;
        for (uint32_t i = 0; i < HevcPictureReferences::kListSize; ++i) {
            if (current.RefPicList[i] != kEmpty && current.longTerm[i])
                longTerm.push_back(current.PicOrderCntValList[i]);
        }
        std::sort(longTerm.begin(), longTerm.end());
        EXPECT_EQ(longTerm, longTermListed);
    }

    std::unique_ptr<HevcStream, void (*)(HevcStream*)> m_Stream{CreateHevcStream(), DestroyHevcStream};
    HevcPictureBuffer m_Pictures;
};

// MaxPicOrderCntLsb 16. Each row is a picture in decoding order with its
// order count: the high part follows the last picture of sub-layer 0 that is
// not a sub-layer non-reference picture, and restarts at IDR and BLA (CRAs
// are compared with the corpus streams end to end).
TEST_F(HevcReferenceSets, OrderCountsFollowThePreviousSubLayerZeroPicture)
{
    struct Row { uint32_t type, temporalIdPlus1, lsb; int32_t picOrderCnt; const char* why; };
    const Row rows[] = {
        {19, 1, 0, 0, "IDR"},
        {1, 1, 8, 8, "rises by exactly half the range: not a wrap"},
        {1, 1, 15, 15, ""},
        {1, 1, 2, 18, "wraps upwards"},
        {0, 1, 9, 25, "TRAIL_N: not an anchor"},
        {1, 2, 10, 26, "temporal sub-layer 1: not an anchor"},
        {1, 1, 12, 12, "from 18, not from 25 or 26 (which would give 28)"},
        {16, 1, 5, 5, "BLA restarts"},
        {1, 1, 14, -2, "rises by 9: a step down, below zero"},
        {1, 1, 6, 6, "falls by exactly half the range (from 14): a step up"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        ASSERT_TRUE(Decode({row.type, row.lsb, {}, {}}, row.temporalIdPlus1));
        EXPECT_EQ(m_Pictures.Current().CurrPicOrderCntVal, row.picOrderCnt);
    }
}

// The highest sub-layer's sps_max_dec_pic_buffering_minus1 + 1 pictures and
// the current one, within the 16-picture ceiling.
TEST(HevcPictureBufferSize, SurfacesFollowTheHighestSubLayerUpToTheCeiling)
{
    struct Row { uint32_t maxSubLayersMinus1; std::vector<uint32_t> decPicBufferingMinus1; uint32_t surfaces; };
    const Row rows[] = {
        {0, {4, 9}, 6},  // sub-layer 1 is not coded: its stale value is not read
        {2, {3, 8, 16}, 17},  // past the ceiling
        {0, {0xFFFFFFFF}, 17},
        {9, {0, 0, 0, 0, 0, 0, 7}, 9},  // a count past the last sub-layer stops at it
    };
    for (const Row& row : rows) {
        HevcSps sps{};
        sps.sps_max_sub_layers_minus1 = row.maxSubLayersMinus1;
        std::copy(row.decPicBufferingMinus1.begin(), row.decPicBufferingMinus1.end(), sps.sps_max_dec_pic_buffering_minus1);
        EXPECT_EQ(HevcPictureBuffer::SurfacesFor(sps), row.surfaces) << "row " << (&row - rows);
    }
}

// Pictures 2 and 18 share their low bits (MaxPicOrderCntLsb 16), so an
// entry names 2 by its full count; 10 is alone with its low bits and may be
// named by them. A long-term picture never becomes short-term again.
TEST_F(HevcReferenceSets, LongTermPicturesByFullCountOrLowBits)
{
    EXPECT_TRUE(m_Pictures.SkipsPicture(8)) << "a RASL picture before anything is decoded has nothing to refer to";
    ASSERT_TRUE(Decode({19, 0, {}, {}}));
    ASSERT_TRUE(Decode({1, 2, {-2}, {}}));
    ASSERT_TRUE(Decode({1, 10, {-8}, {}}));
    ASSERT_TRUE(Decode({1, 2, {-8, -16}, {}}));  // 18 keeps 10 and 2
    // 20: 2 by its full count (20 - 1 * 16 - 4 + 2), used; 18 and 10 short-term.
    ASSERT_TRUE(Decode({1, 4, {-2, -10}, {}, {-10}, {{2, true, 1}}}));
    ExpectSets({2}, {18}, {2});

    // 21: 2 kept for later by its full count, 10 turned long-term by its low bits and used.
    ASSERT_TRUE(Decode({1, 5, {-1, -3}, {}, {}, {{2, false, 1}, {10, true, -1}}}));
    ExpectSets({10}, {20, 18}, {2, 10});

    // The driver is told which entries are long-term, and that a picture
    // with a B slice may be bi-predicted; a dependent slice segment, whose
    // slice_type is its slice's, changes nothing.
    HevcSliceHeader& sh = *m_Stream->sh;
    sh.slice_type = 1;  // P
    m_Pictures.NoteSlice(sh);
    sh.dependent_slice_segment_flag = 1;
    sh.slice_type = 0;
    m_Pictures.NoteSlice(sh);
    uint32_t counter = 1;
    DXVA_PicParams_HEVC pp;
    ASSERT_EQ(FillPictureParametersHevc(*m_Stream, m_Pictures.Current(), counter, &pp, sizeof(pp)), 232);
    EXPECT_EQ(pp.NoBiPredFlag, 1);
    std::vector<std::pair<int32_t, int>> flags;
    for (uint32_t i = 0; i < 15; ++i) {
        if (pp.RefPicList[i].bPicEntry != kEmpty)
            flags.emplace_back(pp.PicOrderCntValList[i], int{pp.RefPicList[i].AssociatedFlag});
    }
    std::sort(flags.begin(), flags.end());
    EXPECT_EQ(flags, (std::vector<std::pair<int32_t, int>>{{2, 1}, {10, 1}, {18, 0}, {20, 0}}));
    sh.dependent_slice_segment_flag = 0;
    m_Pictures.NoteSlice(sh);  // a B slice
    ASSERT_EQ(FillPictureParametersHevc(*m_Stream, m_Pictures.Current(), counter, &pp, sizeof(pp)), 232);
    EXPECT_EQ(pp.NoBiPredFlag, 0);

    LogCapture log;
    EXPECT_FALSE(Decode({1, 6, {-12}, {}})) << "10 is long-term: a short-term delta does not reach it";
    EXPECT_EQ(log.count("decoder: hevc picture 22 refers to the earlier picture 10, which is not kept"), 1u);
    EXPECT_FALSE(Decode({1, 6, {}, {}, {}, {{3, true, -1}}}));
    EXPECT_EQ(log.count("decoder: hevc picture 22 refers to the long-term picture 3, which is not kept"), 1u);
}

}  // namespace
