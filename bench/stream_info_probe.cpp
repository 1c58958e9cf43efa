// VideoFrame's stream-information probe: reads the sequence parameter set at
// the start of a frame's payload with the project's parsers.

#include <algorithm>
#include <cstdint>

#include "bench/video_frame.h"
#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/nal_unit.h"
#include "logging/spdlog_logger.h"

namespace {

// Parser states of the probe, separate from the decoder's. Created on first
// use (function-local statics initialise once even under concurrent first
// calls) and kept for the life of the process. They are used without a lock:
// one thread at a time loads frames.
H264Stream* ProbeH264Stream()
{
    static H264Stream* const stream = CreateH264Stream();
    return stream;
}

HevcStream* ProbeHevcStream()
{
    static HevcStream* const stream = CreateHevcStream();
    return stream;
}

// SubWidthC and SubHeightC by chroma_format_idc (ChromaArrayType).
struct ChromaSubsampling {
    uint32_t width;
    uint32_t height;
};
constexpr ChromaSubsampling kChromaSubsampling[4] = {{1, 1}, {2, 2}, {2, 1}, {1, 1}};

}  // namespace

void PrepareStreamInfoProbe()
{
    ProbeH264Stream();
    ProbeHevcStream();
}

bool VideoFrame::ReadStreamInfo(const uint8_t* payload, size_t size)
{
    if (codec != kCodecH264 && codec != kCodecH265)
        return true;

    // Only an SPS that begins within the window counts, so that a frame
    // without parameter sets costs next to nothing.
    size_t window = std::min(size, kStreamInfoWindow);
    size_t position = 0;
    for (;;) {
        uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
        int32_t length = FindNalUnit(payload + position, window - position, nalStart, nalEnd, startCodeLength);
        if (length < 1)
            return true;
        size_t offset = position + nalStart;
        bool isSps = codec == kCodecH264 ? (payload[offset] & 0x1F) == 7 : (payload[offset] & 0x7E) == 0x42;
        if (isSps) {
            // An SPS that starts inside the window may run past it; cutting
            // it at the window would hand the parser a truncated VUI.
            const uint8_t* end = payload + size;
            const uint8_t* next = FindStartCode(payload + offset, end, startCodeLength);
            size_t nalSize = next == end ? size - offset : static_cast<size_t>(next - payload) - startCodeLength - offset;
            return codec == kCodecH264 ? ReadH264StreamInfo(payload + offset, nalSize)
                                       : ReadHevcStreamInfo(payload + offset, nalSize);
        }
        position += nalEnd;
    }
}

bool VideoFrame::ReadH264StreamInfo(const uint8_t* nal, size_t size)
{
    H264Stream* stream = ProbeH264Stream();
    if (!stream) {
        g_Logger.Log(LogLevel::error, "video: videoframe -> could not create the parser state");
        return false;
    }
    if (ParseH264Nal(stream, nal, size) < 0 || !stream->sps) {
        g_Logger.Log(LogLevel::error, "video: videoframe -> could not read the nal header for type: %d",
                     stream->nal->nal_unit_type);
        return false;
    }

    const H264Sps* sps = stream->sps;
    profile = sps->profile_idc;
    level = sps->level_idc;
    int64_t croppedWidth = 0, fullWidth = 0, croppedHeight = 0, fullHeight = 0;
    // A cropping window larger than the picture would give a negative size.
    if (!GetH264PictureInfo(sps, croppedWidth, fullWidth, croppedHeight, fullHeight, sar, fps) ||
        croppedWidth <= 0 || croppedHeight <= 0 || fullWidth <= 0 || fullHeight <= 0) {
        g_Logger.Log(LogLevel::error, "video: videoframe -> could not read size from SPS");
        return false;
    }
    width = static_cast<size_t>(croppedWidth);
    codedWidth = static_cast<size_t>(fullWidth);
    height = static_cast<size_t>(croppedHeight);
    codedHeight = static_cast<size_t>(fullHeight);
    hasStreamInfo = true;
    return true;
}

bool VideoFrame::ReadHevcStreamInfo(const uint8_t* nal, size_t size)
{
    HevcStream* stream = ProbeHevcStream();
    if (!stream) {
        g_Logger.Log(LogLevel::error, "video: videoframe -> could not create the parser state");
        return false;
    }
    if (ParseHevcNal(stream, nal, size) < 0 || !stream->sps) {
        g_Logger.Log(LogLevel::error, "video: videoframe -> could not read the nal header for type: %d",
                     stream->nal->nal_unit_type);
        return false;
    }

    const HevcSps* sps = stream->sps;
    profile = sps->ptl.general_profile_idc;
    level = sps->ptl.general_level_idc;

    uint64_t lumaWidth = sps->pic_width_in_luma_samples;
    uint64_t lumaHeight = sps->pic_height_in_luma_samples;
    uint64_t cropWidth = 0, cropHeight = 0;
    if (sps->conformance_window_flag) {
        ChromaSubsampling subsampling = kChromaSubsampling[sps->chroma_format_idc & 3];
        cropWidth = uint64_t{subsampling.width} * (uint64_t{sps->conf_win_left_offset} + sps->conf_win_right_offset);
        cropHeight = uint64_t{subsampling.height} * (uint64_t{sps->conf_win_top_offset} + sps->conf_win_bottom_offset);
    }
    // The window must leave a picture; anything else would wrap the size around.
    if (lumaWidth == 0 || lumaHeight == 0 || cropWidth >= lumaWidth || cropHeight >= lumaHeight) {
        g_Logger.Log(LogLevel::error, "video: videoframe -> could not read size from SPS");
        return false;
    }
    codedWidth = static_cast<size_t>(lumaWidth);
    codedHeight = static_cast<size_t>(lumaHeight);
    width = static_cast<size_t>(lumaWidth - cropWidth);
    height = static_cast<size_t>(lumaHeight - cropHeight);

    fps = -1.0f;
    sar = -1.0f;
    if (sps->vui_parameters_present_flag) {
        if (sps->aspect_ratio_info_present_flag) {
            int32_t idc = static_cast<int32_t>(sps->aspect_ratio_idc);
            if (idc == 255) {
                if (sps->sar_width != 0 && sps->sar_height != 0)
                    sar = static_cast<float>(static_cast<int32_t>(sps->sar_width) / static_cast<int32_t>(sps->sar_height));
                else
                    g_Logger.Log(LogLevel::warn, "decoder: aspect_ratio_idc -> sar extended. fail, value: [%d,%d]",
                                 sps->sar_width, sps->sar_height);
            } else if (idc >= 0 && idc < 17) {
                sar = kSarTable[idc];
            } else {
                g_Logger.Log(LogLevel::warn, "decoder: unexpected aspect_ratio_idc value: %d", idc);
            }
        }
        // No tick length means no frame rate, not a division by zero.
        if (sps->vui_timing_info_present_flag && sps->vui_num_units_in_tick != 0)
            fps = static_cast<float>(sps->vui_time_scale / sps->vui_num_units_in_tick);
    }
    hasStreamInfo = true;
    return true;
}
