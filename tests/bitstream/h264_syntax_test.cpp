#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/h264/h264_parser.h"
#include "h264_builders.h"
#include "support/log_capture.h"

namespace {

using StreamPtr = std::unique_ptr<H264Stream, void (*)(H264Stream*)>;

StreamPtr NewStream()
{
    return StreamPtr(CreateH264Stream(), DestroyH264Stream);
}

int32_t Parse(H264Stream* stream, const std::vector<uint8_t>& unit)
{
    return ParseH264Nal(stream, unit.data(), unit.size());
}

bool AllEqual(const uint8_t* list, size_t size, uint8_t value)
{
    return std::all_of(list, list + size, [value](uint8_t entry) { return entry == value; });
}

TEST(H264ScalingLists, DefaultRequestsAbsentListsAndRepeatedTails)
{
    StreamPtr stream = NewStream();
    SpsOptions options;
    options.scalingMatrix = true;
    options.scalingDeltas.resize(8);
    options.scalingDeltas[0] = {-8};         // nextScale 0 at once: Default_4x4_Intra
    options.scalingDeltas[1] = {1, 2, -11};  // 9, 11, then the last value repeats
    options.scalingDeltas[7] = {-8};         // Default_8x8_Inter
    ASSERT_GT(Parse(stream.get(), MakeSps(options)), 0);
    const H264Sps& sps = *stream->sps;

    EXPECT_EQ(0, std::memcmp(sps.ScalingList4x4[0], kDefault4x4Intra, 16));
    std::vector<uint8_t> list1(sps.ScalingList4x4[1], sps.ScalingList4x4[1] + 16);
    std::vector<uint8_t> expected1(16, 11);
    expected1[0] = 9;
    EXPECT_EQ(list1, expected1);
    EXPECT_EQ(0, std::memcmp(sps.ScalingList8x8[1], kDefault8x8Inter, 64));
    EXPECT_EQ(sps.seq_scaling_list_present_flag[0], 1u);
    EXPECT_EQ(sps.seq_scaling_list_present_flag[2], 0u);
}

// Frame-scan positions of zig-zag index k (raster index = row * n + column).
const int kZigZag4x4[16] = {0, 1, 4, 8, 5, 2, 3, 6, 9, 12, 13, 10, 7, 11, 14, 15};
const int kZigZag8x8[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// Matrices of the encoder's cqm file, in raster order, by name.
std::vector<std::vector<int>> ReadCqm(const std::string& path, const std::vector<std::string>& names)
{
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<int>> matrices;
    for (const std::string& name : names) {
        size_t at = text.find(name + " =");
        EXPECT_NE(at, std::string::npos) << name;
        std::istringstream values(text.substr(at + name.size() + 2));
        std::vector<int> matrix;
        int value = 0;
        char comma = 0;
        size_t size = name.find("8X8") != std::string::npos ? 64 : 16;
        while (matrix.size() < size && values >> value) {
            matrix.push_back(value);
            values >> comma;
            if (comma != ',')
                values.putback(comma);
        }
        matrices.push_back(matrix);
    }
    return matrices;
}

// The custom-matrix fixture carries its lists in the PPS; they must equal
// the matrices handed to the encoder, read in zig-zag order.
TEST(H264ScalingLists, PpsListsEqualTheEncodersMatrices)
{
    std::vector<Bytes> units = SplitNalUnits(ReadFileBytes(H264FixturePath("cqm_custom.264")));
    StreamPtr stream = NewStream();
    for (const Bytes& unit : units) {
        ASSERT_EQ(Parse(stream.get(), unit), static_cast<int32_t>(unit.size()));
        if ((unit[0] & 0x1F) == 8)
            break;
    }
    const H264Pps& pps = *stream->pps;
    ASSERT_EQ(pps.pic_scaling_matrix_present_flag, 1u);
    const std::vector<std::string> names = {"INTRA4X4_LUMA", "INTRA4X4_CHROMAU", "INTER4X4_LUMA", "INTER4X4_CHROMAU",
                                            "INTRA8X8_LUMA", "INTER8X8_LUMA"};
    const int listIndex[] = {0, 1, 3, 4, 6, 7};
    auto matrices = ReadCqm(H264FixturePath("custom.cqm"), names);
    for (size_t m = 0; m < names.size(); ++m) {
        int i = listIndex[m];
        ASSERT_EQ(pps.pic_scaling_list_present_flag[i], 1u) << names[m];
        for (size_t k = 0; k < matrices[m].size(); ++k) {
            int expected = matrices[m][i < 6 ? kZigZag4x4[k] : kZigZag8x8[k]];
            int actual = i < 6 ? pps.ScalingList4x4[i][k] : pps.ScalingList8x8[i - 6][k];
            ASSERT_EQ(actual, expected) << names[m] << " zig-zag index " << k;
        }
    }
}

TEST(H264Pps, WithoutHighExtensionTakesSpsListsAndFirstChromaOffset)
{
    StreamPtr stream = NewStream();
    SpsOptions options;
    options.scalingMatrix = true;
    options.scalingDeltas = {{-8}};
    ASSERT_GT(Parse(stream.get(), MakeSps(options)), 0);
    ASSERT_GT(Parse(stream.get(), MakePps({.chroma_qp_index_offset = -4})), 0);
    const H264Pps& pps = *stream->pps;
    EXPECT_EQ(pps.moreRbspData, 0u);
    EXPECT_EQ(pps.transform_8x8_mode_flag, 0u);
    EXPECT_EQ(pps.second_chroma_qp_index_offset, -4);
    EXPECT_EQ(0, std::memcmp(pps.ScalingList4x4, stream->sps->ScalingList4x4, sizeof(pps.ScalingList4x4)));
    EXPECT_EQ(0, std::memcmp(pps.ScalingList8x8, stream->sps->ScalingList8x8, sizeof(pps.ScalingList8x8)));

    ASSERT_GT(Parse(stream.get(), MakePps({.pic_parameter_set_id = 1, .highExtension = true, .second_chroma_qp_index_offset = 5})), 0);
    EXPECT_EQ(stream->pps, &stream->ppsTable[1]);
    EXPECT_EQ(stream->pps->moreRbspData, 1u);
    EXPECT_EQ(stream->pps->transform_8x8_mode_flag, 1u);
    EXPECT_EQ(stream->pps->second_chroma_qp_index_offset, 5);
}

TEST(H264Sps, BaselineKeepsInitialChromaFormatAndFlatLists)
{
    StreamPtr stream = NewStream();
    ASSERT_GT(Parse(stream.get(), MakeSps({.profile_idc = 66})), 0);
    const H264Sps& sps = *stream->sps;
    EXPECT_EQ(sps.chroma_format_idc, 1u);
    EXPECT_EQ(sps.bit_depth_luma_minus8, 0u);
    EXPECT_TRUE(AllEqual(&sps.ScalingList4x4[0][0], sizeof(sps.ScalingList4x4), 16));
    EXPECT_TRUE(AllEqual(&sps.ScalingList8x8[0][0], sizeof(sps.ScalingList8x8), 16));
}

TEST(H264PictureInfo, SizesAspectAndRate)
{
    struct Case {
        const char* what;
        void (*set)(H264Sps&);
        int64_t croppedWidth, codedWidth, croppedHeight, codedHeight;
        float sampleAspect, frameRate;
        const char* warning;
    };
    const Case cases[] = {
        {"1080p", [](H264Sps& s) { s.pic_width_in_mbs_minus1 = 119; s.pic_height_in_map_units_minus1 = 67; s.frame_mbs_only_flag = 1;
                                   s.chroma_format_idc = 1; s.frame_cropping_flag = 1; s.frame_crop_bottom_offset = 4; },
         1920, 1920, 1080, 1088, 1.0f, -1.0f, nullptr},
        {"field coded 4:2:0 crop", [](H264Sps& s) { s.pic_width_in_mbs_minus1 = 44; s.pic_height_in_map_units_minus1 = 17; s.chroma_format_idc = 1;
                                                   s.frame_cropping_flag = 1; s.frame_crop_left_offset = 1; s.frame_crop_top_offset = 2; },
         718, 720, 568, 576, 1.0f, -1.0f, nullptr},
        {"monochrome field crop", [](H264Sps& s) { s.pic_width_in_mbs_minus1 = 0; s.pic_height_in_map_units_minus1 = 0; s.chroma_format_idc = 0;
                                                  s.frame_cropping_flag = 1; s.frame_crop_right_offset = 3; s.frame_crop_bottom_offset = 1; },
         13, 16, 30, 32, 1.0f, -1.0f, nullptr},
        {"4:4:4 crop", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.chroma_format_idc = 3; s.frame_cropping_flag = 1;
                                       s.frame_crop_right_offset = 3; s.frame_crop_bottom_offset = 3; },
         13, 16, 13, 16, 1.0f, -1.0f, nullptr},
        {"sar 12:11", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 2; },
         16, 16, 16, 16, 1.0f, -1.0f, nullptr},
        {"sar 10:11", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 3; },
         16, 16, 16, 16, 0.0f, -1.0f, nullptr},
        {"sar 2:1", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 16; },
         16, 16, 16, 16, 2.0f, -1.0f, nullptr},
        {"extended 4:3", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1;
                                         s.aspect_ratio_idc = 255; s.sar_width = 4; s.sar_height = 3; },
         16, 16, 16, 16, 1.0f, -1.0f, nullptr},
        {"extended 0:3", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1;
                                         s.aspect_ratio_idc = 255; s.sar_height = 3; },
         16, 16, 16, 16, 1.0f, -1.0f, "warning: decoder: aspect_ratio_idc -> sar extended. fail, value: [0,3]"},
        {"reserved idc", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.aspect_ratio_info_present_flag = 1; s.aspect_ratio_idc = 17; },
         16, 16, 16, 16, 1.0f, -1.0f, "warning: decoder: unexpected aspect_ratio_idc value: 17"},
        {"25 fps", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.timing_info_present_flag = 1; s.num_units_in_tick = 1; s.time_scale = 50; },
         16, 16, 16, 16, 1.0f, 25.0f, nullptr},
        {"29.97 fps truncated", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.timing_info_present_flag = 1;
                                                s.num_units_in_tick = 1001; s.time_scale = 60000; },
         16, 16, 16, 16, 1.0f, 29.0f, nullptr},
        {"zero tick", [](H264Sps& s) { s.frame_mbs_only_flag = 1; s.vui_parameters_present_flag = 1; s.timing_info_present_flag = 1; s.time_scale = 50; },
         16, 16, 16, 16, 1.0f, -1.0f, nullptr},
    };
    for (const Case& c : cases) {
        H264Sps sps{};
        c.set(sps);
        LogCapture log;
        int64_t croppedWidth = 0, codedWidth = 0, croppedHeight = 0, codedHeight = 0;
        float sampleAspect = 0, frameRate = 0;
        EXPECT_TRUE(GetH264PictureInfo(&sps, croppedWidth, codedWidth, croppedHeight, codedHeight, sampleAspect, frameRate));
        EXPECT_EQ(croppedWidth, c.croppedWidth) << c.what;
        EXPECT_EQ(codedWidth, c.codedWidth) << c.what;
        EXPECT_EQ(croppedHeight, c.croppedHeight) << c.what;
        EXPECT_EQ(codedHeight, c.codedHeight) << c.what;
        EXPECT_EQ(sampleAspect, c.sampleAspect) << c.what;
        EXPECT_EQ(frameRate, c.frameRate) << c.what;
        if (c.warning)
            EXPECT_EQ(log.lines(), std::vector<std::string>{c.warning}) << c.what;
        else
            EXPECT_TRUE(log.lines().empty()) << c.what;
    }
}

TEST(H264Nal, SizeLimitAndOverrunAreReportedOnStandardOutput)
{
    StreamPtr stream = NewStream();
    std::vector<uint8_t> huge(kRbspCapacity + 1, 0x55);
    huge[0] = 0x65;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ParseH264Nal(stream.get(), huge.data(), huge.size()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "parser: rbsp buffer is too small ...\n");
    EXPECT_EQ(stream->nal->nal_unit_type, 5u);  // the header is read before the size is refused

    huge.resize(kRbspCapacity);  // the largest accepted unit: an SEI, not parsed
    huge[0] = 0x06;
    EXPECT_EQ(ParseH264Nal(stream.get(), huge.data(), huge.size()), static_cast<int32_t>(kRbspCapacity));

    ASSERT_GT(Parse(stream.get(), MakeSps({})), 0);
    ASSERT_GT(Parse(stream.get(), MakePps({})), 0);
    BuiltSlice slice = MakePSlice({.modificationOperations = 3});
    size_t headerBytes = 1 + slice.headerBits / 8;  // RBSP bytes plus the NAL header byte
    // Missing less than a byte of the header is tolerated (zeros are read) ...
    testing::internal::CaptureStdout();
    EXPECT_EQ(ParseH264Nal(stream.get(), slice.nal.data(), headerBytes), static_cast<int32_t>(headerBytes));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(stream->loc->remainingBytes, 0u);
    // ... reading a whole byte past the data is an overrun. Past the end an
    // exp-Golomb code costs one bit, so cut where fixed-width fields follow:
    // one RBSP byte holds the first three codes, frame_num and
    // pic_order_cnt_lsb take 10 bits more.
    testing::internal::CaptureStdout();
    EXPECT_EQ(ParseH264Nal(stream.get(), slice.nal.data(), 2), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "overrun detected: nal type: 1\n");
}

// Explicit bi-prediction weights: list 1 has its own count and arrays, and
// a non-reference B slice carries no marking.
TEST(H264Nal, ExplicitBipredWeightsForBothLists)
{
    StreamPtr stream = NewStream();
    ASSERT_GT(Parse(stream.get(), MakeSps({})), 0);
    ASSERT_GT(Parse(stream.get(), MakePps({.weighted_bipred_idc = 1})), 0);
    BitWriter w;
    w.ue(0).ue(6).ue(0).u(4, 3).u(6, 9).u(1, 1).u(1, 1).ue(1).ue(2).u(1, 0).u(1, 0);
    w.ue(5).ue(3);
    w.u(1, 0).u(1, 1).se(-4).se(7).se(5).se(-6);  // l0[0]: chroma only
    w.u(1, 1).se(9).se(-2).u(1, 0);               // l0[1]: luma only
    for (int i = 0; i < 3; ++i) {
        w.u(1, 1).se(10 + i).se(-i).u(1, i == 2);
        if (i == 2)
            w.se(1).se(2).se(3).se(4);
    }
    w.ue(2).se(1).ue(1);
    size_t headerBits = w.bitCount();
    w.u(8, 0x77).trailing();
    Bytes unit = w.nal({0x01});
    ASSERT_EQ(Parse(stream.get(), unit), static_cast<int32_t>(unit.size()));
    const H264SliceHeader& sh = *stream->sh;
    EXPECT_EQ(sh.direct_spatial_mv_pred_flag, 1u);
    EXPECT_EQ(sh.num_ref_idx_l1_active_minus1, 2u);
    EXPECT_EQ(sh.luma_log2_weight_denom, 5u);
    EXPECT_EQ(sh.chroma_log2_weight_denom, 3u);
    EXPECT_EQ(sh.chroma_weight_l0[0][1], 5);
    EXPECT_EQ(sh.chroma_offset_l0[0][1], -6);
    EXPECT_EQ(sh.luma_weight_l0[0], 0);
    EXPECT_EQ(sh.luma_weight_l0[1], 9);
    EXPECT_EQ(sh.luma_offset_l1[2], -2);
    EXPECT_EQ(sh.chroma_weight_l1_flag[2], 1u);
    EXPECT_EQ(sh.chroma_offset_l1[2][1], 4);
    EXPECT_EQ(sh.cabac_init_idc, 2u);
    EXPECT_EQ(sh.slice_qp_delta, 1);
    EXPECT_EQ(stream->loc->headerBits, headerBits);
}

TEST(H264Nal, UnitsWithoutParameterSetsOrWithoutSyntax)
{
    StreamPtr stream = NewStream();
    // A slice naming a PPS never received reads the zero-filled tables.
    BuiltSlice slice = MakePSlice({.pic_parameter_set_id = 9});
    testing::internal::CaptureStdout();
    int32_t result = Parse(stream.get(), slice.nal);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(result == static_cast<int32_t>(slice.nal.size()) || result == -1);
    EXPECT_EQ(stream->pps, &stream->ppsTable[9]);
    EXPECT_EQ(stream->sps, &stream->spsTable[0]);

    // A PPS naming an SPS never received copies that slot's zero-filled lists.
    Bytes pps = MakePps({.seq_parameter_set_id = 5});
    ASSERT_EQ(Parse(stream.get(), pps), static_cast<int32_t>(pps.size()));
    EXPECT_EQ(stream->sps, &stream->spsTable[5]);
    EXPECT_EQ(stream->pps->ScalingList4x4[0][0], 0u);
    EXPECT_EQ(stream->pps->ScalingList8x8[5][63], 0u);

    const std::vector<uint8_t> sei = {0x06, 0x05, 0x02, 0xAA, 0xBB, 0x80};
    EXPECT_EQ(Parse(stream.get(), sei), 6);
    EXPECT_EQ(stream->nal->parsed, nullptr);
    EXPECT_EQ(stream->nal->parsedSize, 0u);

    const std::vector<uint8_t> aud = {0x09, 0x50};       // primary_pic_type 2
    const std::vector<uint8_t> type19 = {0x13, 0xF0};    // read the same way
    EXPECT_EQ(Parse(stream.get(), aud), 2);
    EXPECT_EQ(*stream->aud, 2u);
    EXPECT_EQ(stream->nal->parsed, stream->aud);
    EXPECT_EQ(Parse(stream.get(), type19), 2);
    EXPECT_EQ(*stream->aud, 7u);

    EXPECT_EQ(ParseH264Nal(stream.get(), nullptr, 0), 0);
    EXPECT_EQ(ParseH264Nal(nullptr, aud.data(), aud.size()), -1);
    DestroyH264Stream(nullptr);
}

} // namespace
