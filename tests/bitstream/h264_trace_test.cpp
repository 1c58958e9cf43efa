#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/h264/h264_parser.h"
#include "support/header_trace.h"

// Every syntax element that ffmpeg's trace_headers prints for the fixture
// streams must have the same value in the parsed records, and each slice's
// headerBits must point where the trace shows slice data beginning.

namespace {

using Index = std::vector<size_t>;
using Getter = std::function<int64_t(const H264Stream&, const Index&)>;
using FieldMap = std::map<std::string, Getter>;

#define SPS(field) {#field, [](const H264Stream& s, const Index&) -> int64_t { return s.sps->field; }}
#define SPS_HRD(field) {#field, [](const H264Stream& s, const Index&) -> int64_t { return s.sps->hrd.field; }}
#define SPS_HRD_ARRAY(field) {#field, [](const H264Stream& s, const Index& i) -> int64_t { return s.sps->hrd.field[i.at(0)]; }}
#define PPS(field) {#field, [](const H264Stream& s, const Index&) -> int64_t { return s.pps->field; }}
#define SH(field) {#field, [](const H264Stream& s, const Index&) -> int64_t { return s.sh->field; }}
#define SH_ARRAY(field) {#field, [](const H264Stream& s, const Index& i) -> int64_t { return s.sh->field[i.at(0)]; }}
#define SH_ARRAY2(field) {#field, [](const H264Stream& s, const Index& i) -> int64_t { return s.sh->field[i.at(0)][i.at(1)]; }}

const FieldMap& SpsFields()
{
    static const FieldMap fields = {
        SPS(profile_idc), SPS(constraint_set0_flag), SPS(constraint_set1_flag), SPS(constraint_set2_flag),
        SPS(constraint_set3_flag), SPS(constraint_set4_flag), SPS(constraint_set5_flag), SPS(reserved_zero_2bits),
        SPS(level_idc), SPS(seq_parameter_set_id), SPS(chroma_format_idc), SPS(separate_colour_plane_flag),
        SPS(bit_depth_luma_minus8), SPS(bit_depth_chroma_minus8), SPS(qpprime_y_zero_transform_bypass_flag),
        SPS(seq_scaling_matrix_present_flag),
        {"seq_scaling_list_present_flag", [](const H264Stream& s, const Index& i) -> int64_t { return s.sps->seq_scaling_list_present_flag[i.at(0)]; }},
        SPS(log2_max_frame_num_minus4), SPS(pic_order_cnt_type), SPS(log2_max_pic_order_cnt_lsb_minus4),
        SPS(delta_pic_order_always_zero_flag), SPS(offset_for_non_ref_pic), SPS(offset_for_top_to_bottom_field),
        SPS(num_ref_frames_in_pic_order_cnt_cycle),
        {"offset_for_ref_frame", [](const H264Stream& s, const Index& i) -> int64_t { return s.sps->offset_for_ref_frame[i.at(0)]; }},
        SPS(max_num_ref_frames),
        {"gaps_in_frame_num_allowed_flag", [](const H264Stream& s, const Index&) -> int64_t { return s.sps->gaps_in_frame_num_value_allowed_flag; }},
        SPS(pic_width_in_mbs_minus1), SPS(pic_height_in_map_units_minus1), SPS(frame_mbs_only_flag),
        SPS(mb_adaptive_frame_field_flag), SPS(direct_8x8_inference_flag), SPS(frame_cropping_flag),
        SPS(frame_crop_left_offset), SPS(frame_crop_right_offset), SPS(frame_crop_top_offset),
        SPS(frame_crop_bottom_offset), SPS(vui_parameters_present_flag), SPS(aspect_ratio_info_present_flag),
        SPS(aspect_ratio_idc), SPS(sar_width), SPS(sar_height), SPS(overscan_info_present_flag),
        SPS(overscan_appropriate_flag), SPS(video_signal_type_present_flag), SPS(video_format),
        SPS(video_full_range_flag), SPS(colour_description_present_flag), SPS(colour_primaries),
        SPS(transfer_characteristics), SPS(matrix_coefficients), SPS(chroma_loc_info_present_flag),
        SPS(chroma_sample_loc_type_top_field), SPS(chroma_sample_loc_type_bottom_field),
        SPS(timing_info_present_flag), SPS(num_units_in_tick), SPS(time_scale), SPS(fixed_frame_rate_flag),
        SPS(nal_hrd_parameters_present_flag), SPS(vcl_hrd_parameters_present_flag), SPS(low_delay_hrd_flag),
        SPS(pic_struct_present_flag), SPS(bitstream_restriction_flag),
        SPS(motion_vectors_over_pic_boundaries_flag), SPS(max_bytes_per_pic_denom), SPS(max_bits_per_mb_denom),
        SPS(log2_max_mv_length_horizontal), SPS(log2_max_mv_length_vertical), SPS(max_num_reorder_frames),
        SPS(max_dec_frame_buffering),
        SPS_HRD(cpb_cnt_minus1), SPS_HRD(bit_rate_scale), SPS_HRD(cpb_size_scale),
        SPS_HRD_ARRAY(bit_rate_value_minus1), SPS_HRD_ARRAY(cpb_size_value_minus1), SPS_HRD_ARRAY(cbr_flag),
        SPS_HRD(initial_cpb_removal_delay_length_minus1), SPS_HRD(cpb_removal_delay_length_minus1),
        SPS_HRD(dpb_output_delay_length_minus1), SPS_HRD(time_offset_length),
    };
    return fields;
}

const FieldMap& PpsFields()
{
    static const FieldMap fields = {
        PPS(pic_parameter_set_id), PPS(seq_parameter_set_id), PPS(entropy_coding_mode_flag),
        PPS(bottom_field_pic_order_in_frame_present_flag), PPS(num_slice_groups_minus1), PPS(slice_group_map_type),
        PPS(slice_group_change_direction_flag), PPS(slice_group_change_rate_minus1), PPS(pic_size_in_map_units_minus1),
        PPS(num_ref_idx_l0_default_active_minus1), PPS(num_ref_idx_l1_default_active_minus1), PPS(weighted_pred_flag),
        PPS(weighted_bipred_idc), PPS(pic_init_qp_minus26), PPS(pic_init_qs_minus26), PPS(chroma_qp_index_offset),
        PPS(deblocking_filter_control_present_flag), PPS(constrained_intra_pred_flag),
        PPS(redundant_pic_cnt_present_flag), PPS(transform_8x8_mode_flag), PPS(pic_scaling_matrix_present_flag),
        {"pic_scaling_list_present_flag", [](const H264Stream& s, const Index& i) -> int64_t { return s.pps->pic_scaling_list_present_flag[i.at(0)]; }},
        PPS(second_chroma_qp_index_offset),
    };
    return fields;
}

const FieldMap& SliceFields()
{
    static const FieldMap fields = {
        SH(first_mb_in_slice), SH(slice_type), SH(pic_parameter_set_id), SH(colour_plane_id), SH(frame_num),
        SH(field_pic_flag), SH(bottom_field_flag), SH(idr_pic_id), SH(pic_order_cnt_lsb),
        SH(delta_pic_order_cnt_bottom), SH_ARRAY(delta_pic_order_cnt), SH(redundant_pic_cnt),
        SH(direct_spatial_mv_pred_flag), SH(num_ref_idx_active_override_flag), SH(num_ref_idx_l0_active_minus1),
        SH(num_ref_idx_l1_active_minus1), SH(cabac_init_idc), SH(slice_qp_delta), SH(sp_for_switch_flag),
        SH(slice_qs_delta), SH(disable_deblocking_filter_idc), SH(slice_alpha_c0_offset_div2),
        SH(slice_beta_offset_div2), SH(slice_group_change_cycle), SH(luma_log2_weight_denom),
        SH(chroma_log2_weight_denom), SH_ARRAY(luma_weight_l0_flag), SH_ARRAY(luma_weight_l0),
        SH_ARRAY(luma_offset_l0), SH_ARRAY(chroma_weight_l0_flag), SH_ARRAY2(chroma_weight_l0),
        SH_ARRAY2(chroma_offset_l0), SH_ARRAY(luma_weight_l1_flag), SH_ARRAY(luma_weight_l1),
        SH_ARRAY(luma_offset_l1), SH_ARRAY(chroma_weight_l1_flag), SH_ARRAY2(chroma_weight_l1),
        SH_ARRAY2(chroma_offset_l1), SH(ref_pic_list_modification_flag_l0), SH(ref_pic_list_modification_flag_l1),
        SH(no_output_of_prior_pics_flag), SH(long_term_reference_flag), SH(adaptive_ref_pic_marking_mode_flag),
    };
    return fields;
}

// Printed as repeated names without an index: entry k is the k-th
// operation of the list being read.
int64_t OperationField(const H264Stream& s, const std::string& name, int list, bool marking, size_t k)
{
    const H264SliceHeader& sh = *s.sh;
    if (marking) {
        if (name == "memory_management_control_operation") return sh.memory_management_control_operation[k];
        if (name == "difference_of_pic_nums_minus1") return sh.difference_of_pic_nums_minus1[k];
        if (name == "long_term_pic_num") return sh.long_term_pic_num[k];
        if (name == "long_term_frame_idx") return sh.long_term_frame_idx[k];
        if (name == "max_long_term_frame_idx_plus1") return sh.max_long_term_frame_idx_plus1[k];
    } else {
        if (name == "modification_of_pic_nums_idc") return list == 0 ? sh.modification_of_pic_nums_idc_l0[k] : sh.modification_of_pic_nums_idc_l1[k];
        if (name == "abs_diff_pic_num_minus1") return list == 0 ? sh.abs_diff_pic_num_minus1_l0[k] : sh.abs_diff_pic_num_minus1_l1[k];
        if (name == "long_term_pic_num") return list == 0 ? sh.long_term_pic_num_l0[k] : sh.long_term_pic_num_l1[k];
    }
    ADD_FAILURE() << "no operation field " << name;
    return -1;
}

bool IsOperationField(const std::string& name)
{
    static const char* const names[] = {"modification_of_pic_nums_idc", "abs_diff_pic_num_minus1", "long_term_pic_num",
                                        "memory_management_control_operation", "difference_of_pic_nums_minus1",
                                        "long_term_frame_idx", "max_long_term_frame_idx_plus1"};
    for (const char* candidate : names) {
        if (name == candidate)
            return true;
    }
    return false;
}

void SplitName(const std::string& full, std::string& base, Index& index)
{
    size_t bracket = full.find('[');
    base = full.substr(0, bracket);
    index.clear();
    while (bracket != std::string::npos) {
        size_t close = full.find(']', bracket);
        index.push_back(std::stoul(full.substr(bracket + 1, close - bracket - 1)));
        bracket = full.find('[', close);
    }
}

// Compares one trace unit with the records the parser just filled; returns
// how many elements were compared.
size_t CompareUnit(const H264Stream& stream, const TraceUnit& unit, const std::string& where)
{
    const FieldMap* fields = nullptr;
    if (unit.title == "Sequence Parameter Set")
        fields = &SpsFields();
    else if (unit.title == "Picture Parameter Set")
        fields = &PpsFields();
    else if (unit.title == "Slice Header")
        fields = &SliceFields();
    else if (unit.title != "Access Unit Delimiter")
        ADD_FAILURE() << where << ": unexpected unit " << unit.title;

    size_t compared = 0;
    int list = 0;
    bool marking = false;
    size_t operation = 0;
    for (size_t e = 0; e < unit.elements.size(); ++e) {
        const TraceElement& element = unit.elements[e];
        std::string base;
        Index index;
        SplitName(element.name, base, index);
        int64_t actual = 0;
        if (base == "rbsp_stop_one_bit" || base == "rbsp_alignment_zero_bit" || base == "cabac_alignment_one_bit" ||
            base == "delta_scale") {
            continue;  // alignment, and scaling lists (checked as whole lists elsewhere)
        } else if (base == "forbidden_zero_bit") {
            actual = stream.nal->forbidden_zero_bit;
        } else if (base == "nal_ref_idc") {
            actual = stream.nal->nal_ref_idc;
        } else if (base == "nal_unit_type") {
            actual = stream.nal->nal_unit_type;
        } else if (base == "primary_pic_type") {
            actual = *stream.aud;
        } else if (fields == &SliceFields() && IsOperationField(base)) {
            if (base == "modification_of_pic_nums_idc" || base == "memory_management_control_operation") {
                actual = OperationField(stream, base, list, marking, operation);
                ++operation;
            } else {
                actual = OperationField(stream, base, list, marking, operation - 1);
            }
        } else if (fields && fields->count(base)) {
            // The NAL and VCL HRD share one record: only the last copy survives.
            if (base.find("cpb") != std::string::npos || base.find("bit_rate") != std::string::npos ||
                base == "cbr_flag" || base.find("delay_length") != std::string::npos || base == "time_offset_length") {
                size_t occurrence = 0;
                while (unit.find(element.name, occurrence) != &element)
                    ++occurrence;
                if (unit.find(element.name, occurrence + 1))
                    continue;
            }
            actual = fields->at(base)(stream, index);
        } else {
            ADD_FAILURE() << where << ": no field for " << element.name;
            continue;
        }
        if (base == "ref_pic_list_modification_flag_l0" || base == "ref_pic_list_modification_flag_l1") {
            list = base.back() == '1' ? 1 : 0;
            operation = 0;
        } else if (base == "adaptive_ref_pic_marking_mode_flag") {
            marking = true;
            operation = 0;
        }
        EXPECT_EQ(actual, element.value) << where << ": " << element.name << " at bit " << element.position;
        ++compared;
    }
    return compared;
}

// Slice data begins at the first cabac_alignment_one_bit, or right after the
// header when the entropy coder needs no alignment. The trace counts the NAL
// header byte, headerBits does not.
uint64_t TraceSliceDataBit(const TraceUnit& unit)
{
    const TraceElement* alignment = unit.find("cabac_alignment_one_bit");
    return (alignment ? alignment->position : unit.end()) - 8;
}

struct PictureExpectation {
    const char* name;
    int64_t croppedWidth, croppedHeight, codedWidth, codedHeight;
};

// Sizes are those the fixtures were encoded at (make.sh); 25 frames/s throughout.
const PictureExpectation kFixtures[] = {
    {"baseline", 96, 64, 96, 64},
    {"baseline_aud", 96, 64, 96, 64},
    {"main_b", 96, 64, 96, 64},
    {"high_slices", 128, 96, 128, 96},
    {"high_weighted", 96, 64, 96, 64},
    {"cqm_custom", 96, 64, 96, 64},
    {"cqm_jvt", 96, 64, 96, 64},
    {"interlaced", 96, 64, 96, 64},
    {"yuv444", 64, 48, 64, 48},
    {"lossless444", 64, 48, 64, 48},
    {"cropped", 70, 46, 80, 48},
    {"hrd_cbr", 96, 64, 96, 64},
    {"high10", 64, 48, 64, 48},
};

void PrintTo(const PictureExpectation& fixture, std::ostream* out)
{
    *out << fixture.name;
}

class H264TraceTest : public testing::TestWithParam<PictureExpectation> {};

TEST_P(H264TraceTest, ParsedFieldsMatchTheReferenceTrace)
{
    const PictureExpectation& fixture = GetParam();
    Bytes data = ReadFileBytes(H264FixturePath(std::string(fixture.name) + ".264"));
    HeaderTrace trace = HeaderTrace::FromFile(H264FixturePath(std::string(fixture.name) + ".trace"));
    std::vector<Bytes> units = SplitNalUnits(data);
    ASSERT_EQ(units.size(), trace.units().size()) << "NAL units found vs traced";

    std::unique_ptr<H264Stream, void (*)(H264Stream*)> stream(CreateH264Stream(), DestroyH264Stream);
    ASSERT_TRUE(stream);
    size_t compared = 0;
    size_t slices = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        std::string where = std::string(fixture.name) + " unit " + std::to_string(i);
        ASSERT_EQ(ParseH264Nal(stream.get(), units[i].data(), units[i].size()), static_cast<int32_t>(units[i].size())) << where;
        const TraceUnit& unit = trace.units()[i];
        compared += CompareUnit(*stream, unit, where);
        if (unit.title == "Slice Header") {
            ++slices;
            EXPECT_EQ(stream->nal->parsed, stream->sh) << where;
            EXPECT_EQ(stream->loc->headerBits, TraceSliceDataBit(unit)) << where;
            EXPECT_EQ(stream->loc->slice_id, 0u) << where;
            EXPECT_EQ(stream->loc->remainingBytes, stream->nal->rbspSize - stream->loc->headerBits / 8 - 1) << where;
        }
    }
    EXPECT_GT(slices, 0u);
    EXPECT_GT(compared, 40u * units.size() / 4);

    int64_t croppedWidth = 0, codedWidth = 0, croppedHeight = 0, codedHeight = 0;
    float sampleAspect = 0, frameRate = 0;
    ASSERT_TRUE(GetH264PictureInfo(stream->sps, croppedWidth, codedWidth, croppedHeight, codedHeight, sampleAspect, frameRate));
    EXPECT_EQ(croppedWidth, fixture.croppedWidth);
    EXPECT_EQ(croppedHeight, fixture.croppedHeight);
    EXPECT_EQ(codedWidth, fixture.codedWidth);
    EXPECT_EQ(codedHeight, fixture.codedHeight);
    EXPECT_EQ(frameRate, 25.0f);
    EXPECT_EQ(sampleAspect, 1.0f);
}

// Truncated copies of every NAL unit (each its own allocation, so the
// sanitizers see any read past it) parse or fail cleanly.
TEST_P(H264TraceTest, EveryPrefixOfEveryUnitParsesSafely)
{
    const PictureExpectation& fixture = GetParam();
    std::vector<Bytes> units = SplitNalUnits(ReadFileBytes(H264FixturePath(std::string(fixture.name) + ".264")));
    std::unique_ptr<H264Stream, void (*)(H264Stream*)> stream(CreateH264Stream(), DestroyH264Stream);
    ASSERT_TRUE(stream);
    testing::internal::CaptureStdout();
    for (const Bytes& unit : units) {
        for (size_t length = 0; length < unit.size(); ++length) {
            std::unique_ptr<uint8_t[]> prefix(new uint8_t[length]);
            std::copy(unit.begin(), unit.begin() + static_cast<long>(length), prefix.get());
            int32_t result = ParseH264Nal(stream.get(), length ? prefix.get() : nullptr, length);
            ASSERT_TRUE(result == static_cast<int32_t>(length) || result == -1) << result;
        }
        // The whole unit restores whatever its prefixes replaced.
        ASSERT_EQ(ParseH264Nal(stream.get(), unit.data(), unit.size()), static_cast<int32_t>(unit.size()));
    }
    testing::internal::GetCapturedStdout();
}

INSTANTIATE_TEST_SUITE_P(Fixtures, H264TraceTest, testing::ValuesIn(kFixtures),
                         [](const testing::TestParamInfo<PictureExpectation>& info) { return std::string(info.param.name); });

} // namespace
