// H.264 picture parameters and long slice-control entries filled from a
// real two-slice x264 stream with explicit weights, checked against the
// values ffmpeg's trace_headers printed for the same stream.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "bitstream/h264/h264_parser.h"
#include "decoder/dxva/dxva_buffers.h"
#include "fixture_stream.h"
#include "support/header_trace.h"

namespace {

struct H264StreamDeleter {
    void operator()(H264Stream* stream) const { DestroyH264Stream(stream); }
};

int64_t ValueOr(const TraceUnit& unit, const std::string& name, int64_t fallback)
{
    return unit.has(name) ? unit.value(name) : fallback;
}

bool IsIntra(int64_t slice_type)
{
    return slice_type % 5 == 2 || slice_type % 5 == 4;
}

using PicParamsField = std::function<int64_t(const DXVA_PicParams_H264&)>;
struct CopiedField {
    const char* traceName;
    PicParamsField field;
};
#define FIELD(name) [](const DXVA_PicParams_H264& pp) -> int64_t { return pp.name; }
#define SAME(name) {#name, FIELD(name)}

const std::vector<CopiedField> kSpsFields = {
    {"pic_width_in_mbs_minus1", FIELD(wFrameWidthInMbsMinus1)},
    {"pic_height_in_map_units_minus1", FIELD(wFrameHeightInMbsMinus1)},
    {"max_num_ref_frames", FIELD(num_ref_frames)},
    SAME(chroma_format_idc), SAME(bit_depth_luma_minus8), SAME(bit_depth_chroma_minus8),
    SAME(frame_mbs_only_flag), SAME(log2_max_frame_num_minus4), SAME(pic_order_cnt_type),
    SAME(direct_8x8_inference_flag),
};

const std::vector<CopiedField> kPpsFields = {
    {"bottom_field_pic_order_in_frame_present_flag", FIELD(pic_order_present_flag)},
    {"num_ref_idx_l0_default_active_minus1", FIELD(num_ref_idx_l0_active_minus1)},
    {"num_ref_idx_l1_default_active_minus1", FIELD(num_ref_idx_l1_active_minus1)},
    SAME(entropy_coding_mode_flag), SAME(num_slice_groups_minus1), SAME(weighted_pred_flag),
    SAME(weighted_bipred_idc), SAME(pic_init_qp_minus26), SAME(pic_init_qs_minus26),
    SAME(chroma_qp_index_offset), SAME(deblocking_filter_control_present_flag),
    SAME(constrained_intra_pred_flag), SAME(redundant_pic_cnt_present_flag), SAME(transform_8x8_mode_flag),
    SAME(second_chroma_qp_index_offset),
};
#undef SAME
#undef FIELD

// Bit offset of slice_data() in the RBSP without the NAL header byte: where
// the trace's last header element ends, before any CABAC alignment bits.
int64_t SliceDataBitOffset(const TraceUnit& slice)
{
    const TraceElement* alignment = slice.find("cabac_alignment_one_bit");
    const int64_t end = alignment ? static_cast<int64_t>(alignment->position) : static_cast<int64_t>(slice.end());
    return end - 8;
}

void ExpectSliceEntry(const DXVA_Slice_H264_Long& entry, const TraceUnit& slice, const DxvaSurfaceIndices& surfaces)
{
    const int64_t sliceType = slice.value("slice_type");
    EXPECT_EQ(entry.first_mb_in_slice, slice.value("first_mb_in_slice"));
    EXPECT_EQ(entry.slice_type, sliceType);
    EXPECT_EQ(entry.NumMbsForSlice, 0);
    EXPECT_EQ(entry.BitOffsetToSliceData, SliceDataBitOffset(slice));
    EXPECT_EQ(entry.slice_qp_delta, slice.value("slice_qp_delta"));
    EXPECT_EQ(entry.cabac_init_idc, ValueOr(slice, "cabac_init_idc", 0));
    EXPECT_EQ(entry.disable_deblocking_filter_idc, ValueOr(slice, "disable_deblocking_filter_idc", 0));
    EXPECT_EQ(entry.slice_alpha_c0_offset_div2, ValueOr(slice, "slice_alpha_c0_offset_div2", 0));
    EXPECT_EQ(entry.slice_beta_offset_div2, ValueOr(slice, "slice_beta_offset_div2", 0));
    EXPECT_EQ(entry.num_ref_idx_l0_active_minus1, ValueOr(slice, "num_ref_idx_l0_active_minus1", 0));
    EXPECT_EQ(entry.slice_id, 0);

    const int64_t lumaDenominator = ValueOr(slice, "luma_log2_weight_denom", 0);
    const int64_t chromaDenominator = ValueOr(slice, "chroma_log2_weight_denom", 0);
    EXPECT_EQ(entry.luma_log2_weight_denom, lumaDenominator);
    EXPECT_EQ(entry.chroma_log2_weight_denom, chromaDenominator);

    const auto& weights = entry.Weights[0][0];
    if (IsIntra(sliceType)) {
        EXPECT_EQ(entry.RefPicList[0][0].bPicEntry, 0xFF);
        EXPECT_EQ(weights[0][0] | weights[1][0] | weights[2][0], 0);
        return;
    }
    EXPECT_EQ(entry.RefPicList[0][0].bPicEntry, surfaces.reference);
    if (ValueOr(slice, "luma_weight_l0_flag[0]", 0)) {
        EXPECT_EQ(weights[0][0], slice.value("luma_weight_l0[0]"));
        EXPECT_EQ(weights[0][1], slice.value("luma_offset_l0[0]"));
    } else {
        EXPECT_EQ(weights[0][0], 1 << lumaDenominator);
        EXPECT_EQ(weights[0][1], 0);
    }
    for (int c = 0; c < 2; ++c) {
        if (ValueOr(slice, "chroma_weight_l0_flag[0]", 0)) {
            EXPECT_EQ(weights[1 + c][0], slice.value("chroma_weight_l0[0][" + std::to_string(c) + "]"));
            EXPECT_EQ(weights[1 + c][1], slice.value("chroma_offset_l0[0][" + std::to_string(c) + "]"));
        } else {
            EXPECT_EQ(weights[1 + c][0], 1 << chromaDenominator);
            EXPECT_EQ(weights[1 + c][1], 0);
        }
    }
}

TEST(H264StreamBuffers, PicturesAndSlicesAgreeWithTheTrace)
{
    const std::vector<uint8_t> bytes = ReadFixture("h264_176x144.h264");
    const HeaderTrace trace =
        HeaderTrace::FromFile(std::string(TARSEL_SOURCE_DIR) + "/tests/dxva/fixtures/h264_176x144.trace");
    const auto units = SplitNalUnits(bytes);
    ASSERT_EQ(units.size(), trace.units().size());
    std::unique_ptr<H264Stream, H264StreamDeleter> stream(CreateH264Stream());
    ASSERT_NE(stream, nullptr);

    const TraceUnit* sps = nullptr;
    const TraceUnit* pps = nullptr;
    DxvaSurfaceIndices surfaces{0, 1};
    constexpr uint32_t kFirstFeedbackNumber = 7;
    uint32_t counter = kFirstFeedbackNumber;
    int pictures = 0;
    int slices = 0;
    int weightedSlices = 0;

    for (size_t i = 0; i < units.size(); ++i) {
        const TraceUnit& unit = trace.units()[i];
        const int64_t type = unit.value("nal_unit_type");
        ASSERT_GE(ParseH264Nal(stream.get(), units[i].data(), units[i].size()), 0) << "unit " << i;
        if (type == 7)
            sps = &unit;
        if (type == 8)
            pps = &unit;
        if (type != 1 && type != 5)
            continue;
        ASSERT_TRUE(sps != nullptr && pps != nullptr);
        SCOPED_TRACE("picture " + std::to_string(pictures) + ", unit " + std::to_string(i));

        DXVA_Slice_H264_Long entry;
        std::array<uint8_t, sizeof(entry)> entryBytes;
        entryBytes.fill(0xCD);
        ASSERT_EQ(FillSliceControlH264(*stream, surfaces, entryBytes.data(), entryBytes.size(), 1000 + i, 50 + i), 864);
        std::memcpy(&entry, entryBytes.data(), sizeof(entry));
        EXPECT_EQ(entry.BSNALunitDataLocation, 1000 + i);
        EXPECT_EQ(entry.SliceBytesInBuffer, 50 + i);
        ExpectSliceEntry(entry, unit, surfaces);
        weightedSlices += ValueOr(unit, "luma_weight_l0_flag[0]", 0) != 0;
        ++slices;

        // The picture parameters follow the last slice of the access unit.
        const bool lastSliceOfPicture = i + 1 == units.size() || trace.units()[i + 1].packet != unit.packet;
        if (!lastSliceOfPicture)
            continue;
        DXVA_PicParams_H264 pp;
        std::array<uint8_t, sizeof(pp)> ppBytes;
        ppBytes.fill(0xCD);
        ASSERT_EQ(FillPictureParametersH264(*stream, surfaces, counter, ppBytes.data(), ppBytes.size()), 1040);
        std::memcpy(&pp, ppBytes.data(), sizeof(pp));

        for (const CopiedField& copied : kSpsFields)
            EXPECT_EQ(copied.field(pp), sps->value(copied.traceName)) << copied.traceName;
        for (const CopiedField& copied : kPpsFields)
            EXPECT_EQ(copied.field(pp), pps->value(copied.traceName)) << copied.traceName;
        EXPECT_EQ(pp.log2_max_pic_order_cnt_lsb_minus4, ValueOr(*sps, "log2_max_pic_order_cnt_lsb_minus4", 0));
        EXPECT_EQ(pp.MinLumaBipredSize8x8Flag, sps->value("level_idc") >= 31 ? 1 : 0);
        EXPECT_EQ(pp.RefPicFlag, unit.value("nal_ref_idc") != 0 ? 1 : 0);
        EXPECT_EQ(pp.MbsConsecutiveFlag, 1);
        EXPECT_EQ(pp.ContinuationFlag, 1);
        EXPECT_EQ(pp.Reserved16Bits, 3);
        EXPECT_EQ(pp.frame_num, unit.value("frame_num"));
        EXPECT_EQ(pp.CurrPic.bPicEntry, surfaces.current);
        EXPECT_EQ(pp.StatusReportFeedbackNumber, kFirstFeedbackNumber + static_cast<uint32_t>(pictures));
        const bool intra = IsIntra(unit.value("slice_type"));
        EXPECT_EQ(pp.IntraPicFlag, intra ? 1 : 0);
        EXPECT_EQ(pp.RefFrameList[0].bPicEntry, intra ? 0xFF : surfaces.reference);
        EXPECT_EQ(pp.FrameNumList[0], intra ? 0 : unit.value("frame_num") - 1);
        EXPECT_EQ(pp.UsedForReferenceFlags, intra ? 0u : 3u);
        for (int k = 1; k < 16; ++k) {
            EXPECT_EQ(pp.RefFrameList[k].bPicEntry, 0xFF);
            EXPECT_EQ(pp.FrameNumList[k], 0);
        }
        EXPECT_EQ(pp.SliceGroupMap[0] | pp.SliceGroupMap[809], 0);

        ++pictures;
        surfaces = {surfaces.reference, surfaces.current};
    }
    // The fixture must reach what it was made for: two slices per picture
    // and explicitly weighted slices among the predicted ones.
    EXPECT_EQ(pictures, 5);
    EXPECT_EQ(slices, 10);
    EXPECT_GT(weightedSlices, 0);
    EXPECT_EQ(counter, kFirstFeedbackNumber + 5);
}

}  // namespace
