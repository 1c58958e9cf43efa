// H.264 picture parameters and long slice-control entries filled from a
// real two-slice x264 stream with explicit weights, through the decoded
// picture buffer, checked against the values ffmpeg's trace_headers printed
// for the same stream.

#include <gtest/gtest.h>

#include <memory>

#include "bitstream/annexb_fixture.h"
#include "bitstream/h264/h264_parser.h"
#include "bitstream/trace_fields.h"
#include "decoder/dxva/dxva_buffers.h"
#include "decoder/pictures/h264_picture_buffer.h"

namespace {

#define PP(name, field) TRACE_FIELD(DXVA_PicParams_H264, name, r.field)
#define SAME(name) PP(name, name)
#define SLICE(name, field) TRACE_FIELD(DXVA_Slice_H264_Long, name, r.field)
#define SAME_SLICE(name) SLICE(name, name)

// Buffer fields by the name of the SPS, PPS or slice element they carry.
const TraceFields<DXVA_PicParams_H264> kPictureFields = {
    PP(pic_width_in_mbs_minus1, wFrameWidthInMbsMinus1), PP(pic_height_in_map_units_minus1, wFrameHeightInMbsMinus1),
    PP(max_num_ref_frames, num_ref_frames), PP(bottom_field_pic_order_in_frame_present_flag, pic_order_present_flag),
    PP(num_ref_idx_l0_default_active_minus1, num_ref_idx_l0_active_minus1), PP(num_ref_idx_l1_default_active_minus1, num_ref_idx_l1_active_minus1),
    SAME(chroma_format_idc), SAME(bit_depth_luma_minus8), SAME(bit_depth_chroma_minus8), SAME(frame_mbs_only_flag), SAME(log2_max_frame_num_minus4),
    SAME(pic_order_cnt_type), SAME(log2_max_pic_order_cnt_lsb_minus4), SAME(direct_8x8_inference_flag), SAME(entropy_coding_mode_flag),
    SAME(num_slice_groups_minus1), SAME(weighted_pred_flag), SAME(weighted_bipred_idc), SAME(pic_init_qp_minus26), SAME(pic_init_qs_minus26),
    SAME(chroma_qp_index_offset), SAME(deblocking_filter_control_present_flag), SAME(constrained_intra_pred_flag),
    SAME(redundant_pic_cnt_present_flag), SAME(transform_8x8_mode_flag), SAME(second_chroma_qp_index_offset), SAME(frame_num),
};
const TraceFields<DXVA_Slice_H264_Long> kSliceFields = {
    SAME_SLICE(first_mb_in_slice), SAME_SLICE(slice_type), SAME_SLICE(slice_qp_delta), SAME_SLICE(cabac_init_idc),
    SAME_SLICE(disable_deblocking_filter_idc), SAME_SLICE(slice_alpha_c0_offset_div2), SAME_SLICE(slice_beta_offset_div2),
    SAME_SLICE(num_ref_idx_l0_active_minus1), SAME_SLICE(luma_log2_weight_denom), SAME_SLICE(chroma_log2_weight_denom),
    // Weights[list][reference][component][weight, offset]
    SLICE(luma_weight_l0, Weights[0][i.at(0)][0][0]), SLICE(luma_offset_l0, Weights[0][i.at(0)][0][1]),
    SLICE(chroma_weight_l0, Weights[0][i.at(0)][1 + i.at(1)][0]), SLICE(chroma_offset_l0, Weights[0][i.at(0)][1 + i.at(1)][1]),
};

TEST(H264StreamBuffers, PicturesAndSlicesAgreeWithTheTrace)
{
    const std::string fixture = std::string(TARSEL_SOURCE_DIR) + "/tests/dxva/fixtures/h264_176x144";
    const auto units = SplitNalUnits(ReadFileBytes(fixture + ".h264"));
    const HeaderTrace trace = HeaderTrace::FromFile(fixture + ".trace");
    ASSERT_EQ(units.size(), trace.units().size());
    std::unique_ptr<H264Stream, void (*)(H264Stream*)> stream(CreateH264Stream(), DestroyH264Stream);
    const TraceUnit* sps = nullptr;
    const TraceUnit* pps = nullptr;
    H264PictureBuffer buffer;
    bool started = false;
    uint32_t counter = 7;
    size_t pictures = 0, slices = 0, weighted = 0, compared = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        const TraceUnit& unit = trace.units()[i];
        const int64_t type = unit.value("nal_unit_type");
        ASSERT_GE(ParseH264Nal(stream.get(), units[i].data(), units[i].size()), 0) << "unit " << i;
        sps = type == 7 ? &unit : sps;
        pps = type == 8 ? &unit : pps;
        if (type != 1 && type != 5)
            continue;
        ASSERT_TRUE(sps && pps);
        const std::string where = "unit " + std::to_string(i);
        const bool intra = unit.value("slice_type") % 5 == 2;
        if (!started) {
            // One reference frame by the VUI: the DPB and the picture being decoded take two surfaces.
            if (pictures == 0)
                buffer.Reset(H264PictureBuffer::SurfacesFor(*stream->sps));
            uint32_t surface = 0;
            ASSERT_TRUE(buffer.FindFreeSurface(surface));
            ASSERT_TRUE(buffer.StartPicture(*stream, surface)) << where;
            started = true;
        }
        H264SliceLists lists;
        ASSERT_TRUE(buffer.BuildSliceLists(*stream, lists)) << where;

        DXVA_Slice_H264_Long entry;
        ASSERT_EQ(FillSliceControlH264(*stream, buffer.Current(), lists, false, &entry, sizeof(entry), 1000 + i, 50 + i), 864);
        compared += CompareTracedFields(entry, unit, kSliceFields, where);
        // slice_data() starts where the header ends, before CABAC alignment; the trace counts the NAL header byte.
        const TraceElement* alignment = unit.find("cabac_alignment_one_bit");
        EXPECT_EQ(entry.BitOffsetToSliceData, (alignment ? alignment->position : unit.end()) - 8) << where;
        weighted += unit.has("luma_weight_l0_flag[0]") && unit.value("luma_weight_l0_flag[0]");
        ++slices;

        // The picture parameters follow the last slice of the access unit.
        if (i + 1 < units.size() && trace.units()[i + 1].packet == unit.packet)
            continue;
        DXVA_PicParams_H264 pp;
        ASSERT_EQ(FillPictureParametersH264(*stream, buffer.Current(), false, counter, &pp, sizeof(pp)), 1040);
        for (const TraceUnit* source : {sps, pps, &unit})
            compared += CompareTracedFields(pp, *source, kPictureFields, where);
        EXPECT_EQ(std::vector<int64_t>({pp.MbsConsecutiveFlag, pp.ContinuationFlag, pp.IntraPicFlag, pp.StatusReportFeedbackNumber}),
                  std::vector<int64_t>({1, 1, intra, 7 + int64_t(pictures)}));
        // Reserved16Bits, RefPicFlag, surfaces, order counts and reference
        // frames: the simulated device and the dump comparison check them
        // over the encoder corpus end to end; the matrices: H264ScalingLists.
        buffer.FinishPicture();
        started = false;
        ++pictures;
    }
    // The fixture must reach what it was made for: two slices per picture
    // and explicitly weighted slices among the predicted ones.
    EXPECT_EQ(std::vector<size_t>({pictures, slices, weighted > 0, compared >= 250}), std::vector<size_t>({5, 10, 1, 1}));
}

}  // namespace
