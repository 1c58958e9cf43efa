#include "bitstream/h264/h264_parser.h"
#include "logging/spdlog_logger.h"

bool GetH264PictureInfo(const H264Sps* sps, int64_t& croppedWidth, int64_t& codedWidth, int64_t& croppedHeight,
                        int64_t& codedHeight, float& sampleAspect, float& frameRate)
{
    sampleAspect = 1.0f;
    frameRate = -1.0f;
    if (!sps) {
        croppedWidth = codedWidth = croppedHeight = codedHeight = 0;
        return false;
    }
    codedWidth = (int64_t{sps->pic_width_in_mbs_minus1} + 1) * 16;
    codedHeight = (int64_t{sps->pic_height_in_map_units_minus1} + 1) * 16 * (sps->frame_mbs_only_flag ? 1 : 2);
    croppedWidth = codedWidth;
    croppedHeight = codedHeight;

    if (sps->frame_cropping_flag) {
        const int64_t fieldFactor = 2 - (sps->frame_mbs_only_flag ? 1 : 0);
        int64_t cropUnitX = 1;
        int64_t cropUnitY = fieldFactor;
        if (sps->chroma_format_idc != 0) {
            cropUnitX = sps->chroma_format_idc == 3 ? 1 : 2;
            cropUnitY = (sps->chroma_format_idc == 1 ? 2 : 1) * fieldFactor;
        }
        croppedWidth -= (int64_t{sps->frame_crop_left_offset} + sps->frame_crop_right_offset) * cropUnitX;
        croppedHeight -= (int64_t{sps->frame_crop_top_offset} + sps->frame_crop_bottom_offset) * cropUnitY;
    }

    if (!sps->vui_parameters_present_flag)
        return true;

    if (sps->aspect_ratio_info_present_flag) {
        uint32_t idc = sps->aspect_ratio_idc;
        if (idc == 255) {
            if (sps->sar_width != 0 && sps->sar_height != 0)
                sampleAspect = static_cast<float>(static_cast<int32_t>(sps->sar_width / sps->sar_height));
            else
                g_Logger.Log(LogLevel::warn, "decoder: aspect_ratio_idc -> sar extended. fail, value: [%d,%d]",
                             static_cast<int>(sps->sar_width), static_cast<int>(sps->sar_height));
        } else if (idc >= 1 && idc <= 16) {
            sampleAspect = kSarTable[idc];
        } else if (idc != 0) {
            g_Logger.Log(LogLevel::warn, "decoder: unexpected aspect_ratio_idc value: %d", static_cast<int>(idc));
        }
    }

    // A zero tick would divide by zero: the rate stays unknown instead.
    if (sps->timing_info_present_flag && sps->num_units_in_tick != 0)
        frameRate = static_cast<float>(static_cast<int32_t>(int64_t{sps->time_scale} / (2 * int64_t{sps->num_units_in_tick})));
    return true;
}
