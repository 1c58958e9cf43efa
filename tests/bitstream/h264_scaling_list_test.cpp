// Scaling lists as H.264 clause 7.4.2.1.1 resolves the ones a parameter set
// leaves out (Table 7-2), and the quantisation-matrix buffer built from them.
// The default lists are Tables 7-3 and 7-4 of the standard, written out here.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/h264/h264_parser.h"
#include "decoder/dxva/dxva_buffers.h"
#include "h264_builders.h"

namespace {

using List = std::vector<int>;

const List kIntra4x4 = {6, 13, 13, 20, 20, 20, 28, 28, 28, 28, 32, 32, 32, 37, 37, 42};
const List kInter4x4 = {10, 14, 14, 20, 20, 20, 24, 24, 24, 24, 27, 27, 27, 30, 30, 34};
const List kIntra8x8 = {6,  10, 10, 13, 11, 13, 16, 16, 16, 16, 18, 18, 18, 18, 18, 23, 23, 23, 23, 23, 23, 25,
                        25, 25, 25, 25, 25, 25, 27, 27, 27, 27, 27, 27, 27, 27, 29, 29, 29, 29, 29, 29, 29, 31,
                        31, 31, 31, 31, 31, 33, 33, 33, 33, 33, 36, 36, 36, 36, 38, 38, 38, 40, 40, 42};
const List kInter8x8 = {9,  13, 13, 15, 13, 15, 17, 17, 17, 17, 19, 19, 19, 19, 19, 21, 21, 21, 21, 21, 21, 22,
                        22, 22, 22, 22, 22, 22, 24, 24, 24, 24, 24, 24, 24, 24, 25, 25, 25, 25, 25, 25, 25, 27,
                        27, 27, 27, 27, 27, 28, 28, 28, 28, 28, 30, 30, 30, 30, 32, 32, 32, 33, 33, 35};

List Flat4x4(int value) { return List(16, value); }
List Flat8x8(int value) { return List(64, value); }

// Lists 0-5 are the 4x4 lists, 6-11 the 8x8 lists.
template <typename Record>
std::vector<List> ListsOf(const Record& record, size_t count)
{
    std::vector<List> lists;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* list = i < 6 ? record.ScalingList4x4[i] : record.ScalingList8x8[i - 6];
        lists.emplace_back(list, list + (i < 6 ? 16 : 64));
    }
    return lists;
}

using StreamPtr = std::unique_ptr<H264Stream, void (*)(H264Stream*)>;

// x264 codes its matrices in the PPS only: with cqm=jvt it leaves every list
// out (rule A gives the defaults); the 4:4:4 stream leaves out the chroma
// lists that equal the list before them. Its matrices are flat (custom444.cqm).
TEST(H264ScalingListFallBack, EncoderStreamsAndTheirQuantisationMatrix)
{
    const struct {
        const char* fixture;
        std::vector<List> lists;
    } kCases[] = {
        {"cqm_jvt.264", {kIntra4x4, kIntra4x4, kIntra4x4, kInter4x4, kInter4x4, kInter4x4, kIntra8x8, kInter8x8}},
        {"cqm_absent444.264",
         {Flat4x4(6), Flat4x4(7), Flat4x4(7), Flat4x4(9), Flat4x4(9), Flat4x4(9), Flat8x8(11), Flat8x8(12),
          Flat8x8(13), Flat8x8(12), Flat8x8(13), Flat8x8(12)}},
    };
    for (const auto& c : kCases) {
        StreamPtr stream(CreateH264Stream(), DestroyH264Stream);
        for (const Bytes& unit : SplitNalUnits(ReadFileBytes(H264FixturePath(c.fixture)))) {
            ASSERT_EQ(ParseH264Nal(stream.get(), unit.data(), unit.size()), static_cast<int32_t>(unit.size()));
            if ((unit[0] & 0x1F) == 8)
                break;
        }
        ASSERT_EQ(stream->pps->pic_scaling_matrix_present_flag, 1u) << c.fixture;
        EXPECT_EQ(ListsOf(*stream->pps, c.lists.size()), c.lists) << c.fixture;

        // The buffer has room for the 4x4 lists and the two luma 8x8 lists.
        DXVA_Qmatrix_H264 qm{};
        ASSERT_EQ(FillQuantizationMatrixH264(*stream, &qm, sizeof qm), static_cast<int32_t>(sizeof qm));
        std::vector<List> buffer;
        for (const auto& list : qm.bScalingLists4x4)
            buffer.emplace_back(list, list + 16);
        for (const auto& list : qm.bScalingLists8x8)
            buffer.emplace_back(list, list + 64);
        EXPECT_EQ(buffer, std::vector<List>(c.lists.begin(), c.lists.begin() + 8)) << c.fixture << " buffer";
    }
}

// Rule A in the SPS, rule B in a PPS whose SPS carries matrices, rule A in
// one whose SPS does not, and the SPS's lists for a PPS without a matrix.
TEST(H264ScalingListFallBack, SequenceAndPictureRules)
{
    SpsOptions withMatrix;
    withMatrix.scalingMatrix = true;
    withMatrix.scalingDeltas = {{-2, -6}, {}, {}, {}, {}, {}, {3, -11}};  // list 0 all 6, list 6 all 11
    PpsOptions ownMatrix{.highExtension = true, .scalingMatrix = true};
    ownMatrix.scalingDeltas = {{}, {1, -9}, {}, {}, {}, {}, {}, {-8}};  // list 1 all 9, list 7 the default
    const PpsOptions noMatrix{.highExtension = true};

    const std::vector<List> spsLists = {Flat4x4(6), Flat4x4(6), Flat4x4(6), kInter4x4, kInter4x4, kInter4x4, Flat8x8(11), kInter8x8};
    const struct {
        const char* what;
        SpsOptions sps;
        PpsOptions pps;
        std::vector<List> expectedPps;
    } kCases[] = {
        {"sps lists, pps without matrix", withMatrix, noMatrix, spsLists},
        {"rule b", withMatrix, ownMatrix,
         {Flat4x4(6), Flat4x4(9), Flat4x4(9), kInter4x4, kInter4x4, kInter4x4, Flat8x8(11), kInter8x8}},
        {"rule a in the pps", SpsOptions{}, ownMatrix,
         {kIntra4x4, Flat4x4(9), Flat4x4(9), kInter4x4, kInter4x4, kInter4x4, kIntra8x8, kInter8x8}},
    };
    for (const auto& c : kCases) {
        StreamPtr stream(CreateH264Stream(), DestroyH264Stream);
        const Bytes sps = MakeSps(c.sps), pps = MakePps(c.pps);
        ASSERT_GT(ParseH264Nal(stream.get(), sps.data(), sps.size()), 0) << c.what;
        if (c.sps.scalingMatrix) {
            EXPECT_EQ(ListsOf(*stream->sps, spsLists.size()), spsLists) << c.what;
        }
        ASSERT_GT(ParseH264Nal(stream.get(), pps.data(), pps.size()), 0) << c.what;
        EXPECT_EQ(ListsOf(*stream->pps, c.expectedPps.size()), c.expectedPps) << c.what;
    }
}

}  // namespace
