// Scaling lists as H.264 clause 7.4.2.1.1 resolves the ones a parameter set
// leaves out (Table 7-2), and the quantisation-matrix buffer built from them.
// The default lists are Tables 7-3 and 7-4 of the standard, written out here.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
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

// The matrices of an encoder's cqm file (raster order) read in zig-zag order.
// The encoder codes the Cb matrices for both chroma planes and leaves the Cr
// lists out, which fall back to the list before them.
std::vector<List> CqmLists(const char* name)
{
    const int kZigZag4x4[16] = {0, 1, 4, 8, 5, 2, 3, 6, 9, 12, 13, 10, 7, 11, 14, 15};
    const int kZigZag8x8[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                                41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                                30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    Bytes bytes = ReadFileBytes(H264FixturePath(name));
    std::string text(bytes.begin(), bytes.end());
    std::replace(text.begin(), text.end(), ',', ' ');
    std::vector<List> lists;
    for (std::string list : {"INTRA4X4_LUMA", "INTRA4X4_CHROMAU", "INTRA4X4_CHROMAU", "INTER4X4_LUMA", "INTER4X4_CHROMAU",
                             "INTER4X4_CHROMAU", "INTRA8X8_LUMA", "INTER8X8_LUMA"}) {
        std::istringstream values(text.substr(text.find(list + " =") + list.size() + 2));
        List raster(lists.size() < 6 ? 16 : 64), zigZag(raster.size());
        for (int& value : raster)
            values >> value;
        for (size_t k = 0; k < raster.size(); ++k)
            zigZag[k] = raster[raster.size() == 16 ? kZigZag4x4[k] : kZigZag8x8[k]];
        lists.push_back(zigZag);
    }
    return lists;
}

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
        {"cqm_custom.264", CqmLists("custom.cqm")},
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
