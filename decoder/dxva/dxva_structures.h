#pragma once

// Parameter-buffer layouts of DXVA H.264 and HEVC decoding, written from
// Microsoft's published field lists. The driver reads these bytes as they
// are, so the layouts are byte-packed and every size is pinned below; the
// Windows build compares each field with the SDK's (dxva_sdk_agreement.cpp).

#include <cstdint>

// The published layouts put bit-field groups in anonymous structs inside
// unions so that both the single flags and the whole word can be named.
// Anonymous structs are a compiler extension in C++; mark them as such so
// -Wpedantic stays quiet.
#if defined(__GNUC__)
#define TARSEL_DXVA_ANONYMOUS_STRUCT __extension__ struct
#else
#define TARSEL_DXVA_ANONYMOUS_STRUCT struct
#endif

// Clang also counts the anonymous struct's type as declared in the union,
// a second extension __extension__ does not cover.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wnested-anon-types"
#endif

#pragma pack(push, 1)

// ---------------------------------------------------------------- H.264

struct DXVA_PicEntry_H264 {
    union {
        TARSEL_DXVA_ANONYMOUS_STRUCT {
            uint8_t Index7Bits : 7;
            uint8_t AssociatedFlag : 1;
        };
        uint8_t bPicEntry;
    };
};

struct DXVA_PicParams_H264 {
    uint16_t wFrameWidthInMbsMinus1;
    uint16_t wFrameHeightInMbsMinus1;
    DXVA_PicEntry_H264 CurrPic;
    uint8_t num_ref_frames;
    union {
        TARSEL_DXVA_ANONYMOUS_STRUCT {
            uint16_t field_pic_flag : 1;
            uint16_t MbaffFrameFlag : 1;
            uint16_t residual_colour_transform_flag : 1;
            uint16_t sp_for_switch_flag : 1;
            uint16_t chroma_format_idc : 2;
            uint16_t RefPicFlag : 1;
            uint16_t constrained_intra_pred_flag : 1;
            uint16_t weighted_pred_flag : 1;
            uint16_t weighted_bipred_idc : 2;
            uint16_t MbsConsecutiveFlag : 1;
            uint16_t frame_mbs_only_flag : 1;
            uint16_t transform_8x8_mode_flag : 1;
            uint16_t MinLumaBipredSize8x8Flag : 1;
            uint16_t IntraPicFlag : 1;
        };
        uint16_t wBitFields;
    };
    uint8_t bit_depth_luma_minus8;
    uint8_t bit_depth_chroma_minus8;
    uint16_t Reserved16Bits;
    uint32_t StatusReportFeedbackNumber;
    DXVA_PicEntry_H264 RefFrameList[16];
    int32_t CurrFieldOrderCnt[2];
    int32_t FieldOrderCntList[16][2];
    int8_t pic_init_qs_minus26;
    int8_t chroma_qp_index_offset;
    int8_t second_chroma_qp_index_offset;
    uint8_t ContinuationFlag;
    int8_t pic_init_qp_minus26;
    uint8_t num_ref_idx_l0_active_minus1;
    uint8_t num_ref_idx_l1_active_minus1;
    uint8_t Reserved8BitsA;
    uint16_t FrameNumList[16];
    uint32_t UsedForReferenceFlags;
    uint16_t NonExistingFrameFlags;
    uint16_t frame_num;
    uint8_t log2_max_frame_num_minus4;
    uint8_t pic_order_cnt_type;
    uint8_t log2_max_pic_order_cnt_lsb_minus4;
    uint8_t delta_pic_order_always_zero_flag;
    uint8_t direct_8x8_inference_flag;
    uint8_t entropy_coding_mode_flag;
    uint8_t pic_order_present_flag;
    uint8_t num_slice_groups_minus1;
    uint8_t slice_group_map_type;
    uint8_t deblocking_filter_control_present_flag;
    uint8_t redundant_pic_cnt_present_flag;
    uint8_t Reserved8BitsB;
    uint16_t slice_group_change_rate_minus1;
    uint8_t SliceGroupMap[810];
};

struct DXVA_Qmatrix_H264 {
    uint8_t bScalingLists4x4[6][16];
    uint8_t bScalingLists8x8[2][64];
};

struct DXVA_Slice_H264_Short {
    uint32_t BSNALunitDataLocation;
    uint32_t SliceBytesInBuffer;
    uint16_t wBadSliceChopping;
};

struct DXVA_Slice_H264_Long {
    uint32_t BSNALunitDataLocation;
    uint32_t SliceBytesInBuffer;
    uint16_t wBadSliceChopping;
    uint16_t first_mb_in_slice;
    uint16_t NumMbsForSlice;
    uint16_t BitOffsetToSliceData;
    uint8_t slice_type;
    uint8_t luma_log2_weight_denom;
    uint8_t chroma_log2_weight_denom;
    uint8_t num_ref_idx_l0_active_minus1;
    uint8_t num_ref_idx_l1_active_minus1;
    int8_t slice_alpha_c0_offset_div2;
    int8_t slice_beta_offset_div2;
    uint8_t Reserved8Bits;
    DXVA_PicEntry_H264 RefPicList[2][32];
    int16_t Weights[2][32][3][2];
    int8_t slice_qs_delta;
    int8_t slice_qp_delta;
    uint8_t redundant_pic_cnt;
    uint8_t direct_spatial_mv_pred_flag;
    uint8_t cabac_init_idc;
    uint8_t disable_deblocking_filter_idc;
    uint16_t slice_id;
};

// ----------------------------------------------------------------- HEVC

struct DXVA_PicEntry_HEVC {
    union {
        TARSEL_DXVA_ANONYMOUS_STRUCT {
            uint8_t Index7Bits : 7;
            uint8_t AssociatedFlag : 1;
        };
        uint8_t bPicEntry;
    };
};

struct DXVA_PicParams_HEVC {
    uint16_t PicWidthInMinCbsY;
    uint16_t PicHeightInMinCbsY;
    union {
        TARSEL_DXVA_ANONYMOUS_STRUCT {
            uint16_t chroma_format_idc : 2;
            uint16_t separate_colour_plane_flag : 1;
            uint16_t bit_depth_luma_minus8 : 3;
            uint16_t bit_depth_chroma_minus8 : 3;
            uint16_t log2_max_pic_order_cnt_lsb_minus4 : 4;
            uint16_t NoPicReorderingFlag : 1;
            uint16_t NoBiPredFlag : 1;
            uint16_t ReservedBits1 : 1;
        };
        uint16_t wFormatAndSequenceInfoFlags;
    };
    DXVA_PicEntry_HEVC CurrPic;
    uint8_t sps_max_dec_pic_buffering_minus1;
    uint8_t log2_min_luma_coding_block_size_minus3;
    uint8_t log2_diff_max_min_luma_coding_block_size;
    uint8_t log2_min_transform_block_size_minus2;
    uint8_t log2_diff_max_min_transform_block_size;
    uint8_t max_transform_hierarchy_depth_inter;
    uint8_t max_transform_hierarchy_depth_intra;
    uint8_t num_short_term_ref_pic_sets;
    uint8_t num_long_term_ref_pics_sps;
    uint8_t num_ref_idx_l0_default_active_minus1;
    uint8_t num_ref_idx_l1_default_active_minus1;
    int8_t init_qp_minus26;
    uint8_t ucNumDeltaPocsOfRefRpsIdx;
    uint16_t wNumBitsForShortTermRPSInSlice;
    uint16_t ReservedBits2;
    union {
        TARSEL_DXVA_ANONYMOUS_STRUCT {
            uint32_t scaling_list_enabled_flag : 1;
            uint32_t amp_enabled_flag : 1;
            uint32_t sample_adaptive_offset_enabled_flag : 1;
            uint32_t pcm_enabled_flag : 1;
            uint32_t pcm_sample_bit_depth_luma_minus1 : 4;
            uint32_t pcm_sample_bit_depth_chroma_minus1 : 4;
            uint32_t log2_min_pcm_luma_coding_block_size_minus3 : 2;
            uint32_t log2_diff_max_min_pcm_luma_coding_block_size : 2;
            uint32_t pcm_loop_filter_disabled_flag : 1;
            uint32_t long_term_ref_pics_present_flag : 1;
            uint32_t sps_temporal_mvp_enabled_flag : 1;
            uint32_t strong_intra_smoothing_enabled_flag : 1;
            uint32_t dependent_slice_segments_enabled_flag : 1;
            uint32_t output_flag_present_flag : 1;
            uint32_t num_extra_slice_header_bits : 3;
            uint32_t sign_data_hiding_enabled_flag : 1;
            uint32_t cabac_init_present_flag : 1;
            uint32_t ReservedBits3 : 5;
        };
        uint32_t dwCodingParamToolFlags;
    };
    union {
        TARSEL_DXVA_ANONYMOUS_STRUCT {
            uint32_t constrained_intra_pred_flag : 1;
            uint32_t transform_skip_enabled_flag : 1;
            uint32_t cu_qp_delta_enabled_flag : 1;
            uint32_t pps_slice_chroma_qp_offsets_present_flag : 1;
            uint32_t weighted_pred_flag : 1;
            uint32_t weighted_bipred_flag : 1;
            uint32_t transquant_bypass_enabled_flag : 1;
            uint32_t tiles_enabled_flag : 1;
            uint32_t entropy_coding_sync_enabled_flag : 1;
            uint32_t uniform_spacing_flag : 1;
            uint32_t loop_filter_across_tiles_enabled_flag : 1;
            uint32_t pps_loop_filter_across_slices_enabled_flag : 1;
            uint32_t deblocking_filter_override_enabled_flag : 1;
            uint32_t pps_deblocking_filter_disabled_flag : 1;
            uint32_t lists_modification_present_flag : 1;
            uint32_t slice_segment_header_extension_present_flag : 1;
            uint32_t IrapPicFlag : 1;
            uint32_t IdrPicFlag : 1;
            uint32_t IntraPicFlag : 1;
            uint32_t ReservedBits4 : 13;
        };
        uint32_t dwCodingSettingPicturePropertyFlags;
    };
    int8_t pps_cb_qp_offset;
    int8_t pps_cr_qp_offset;
    uint8_t num_tile_columns_minus1;
    uint8_t num_tile_rows_minus1;
    uint16_t column_width_minus1[19];
    uint16_t row_height_minus1[21];
    uint8_t diff_cu_qp_delta_depth;
    int8_t pps_beta_offset_div2;
    int8_t pps_tc_offset_div2;
    uint8_t log2_parallel_merge_level_minus2;
    int32_t CurrPicOrderCntVal;
    DXVA_PicEntry_HEVC RefPicList[15];
    uint8_t ReservedBits5;
    int32_t PicOrderCntValList[15];
    uint8_t RefPicSetStCurrBefore[8];
    uint8_t RefPicSetStCurrAfter[8];
    uint8_t RefPicSetLtCurr[8];
    uint16_t ReservedBits6;
    uint16_t ReservedBits7;
    uint32_t StatusReportFeedbackNumber;
};

struct DXVA_Qmatrix_HEVC {
    uint8_t ucScalingLists0[6][16];
    uint8_t ucScalingLists1[6][64];
    uint8_t ucScalingLists2[6][64];
    uint8_t ucScalingLists3[2][64];
    uint8_t ucScalingListDCCoefSizeID2[6];
    uint8_t ucScalingListDCCoefSizeID3[2];
};

struct DXVA_Slice_HEVC_Short {
    uint32_t BSNALunitDataLocation;
    uint32_t SliceBytesInBuffer;
    uint16_t wBadSliceChopping;
};

#pragma pack(pop)

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

static_assert(sizeof(DXVA_PicEntry_H264) == 1);
static_assert(sizeof(DXVA_PicParams_H264) == 1040);
static_assert(sizeof(DXVA_Qmatrix_H264) == 224);
static_assert(sizeof(DXVA_Slice_H264_Short) == 10);
static_assert(sizeof(DXVA_Slice_H264_Long) == 864);
static_assert(sizeof(DXVA_PicEntry_HEVC) == 1);
static_assert(sizeof(DXVA_PicParams_HEVC) == 232);
static_assert(sizeof(DXVA_Qmatrix_HEVC) == 1000);
static_assert(sizeof(DXVA_Slice_HEVC_Short) == 10);

// An empty picture entry: index 127 with the associated flag set.
constexpr uint8_t kDxvaEmptyPicEntry = 0xFF;
