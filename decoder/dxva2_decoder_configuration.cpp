#include "decoder/dxva2_video_decoder.h"

#include <algorithm>

#include "bench/video_frame.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/nal_unit.h"
#include "decoder/dxva/dxva_dump_writer.h"
#include "logging/spdlog_logger.h"

using namespace platform;

namespace {

// Output textures are allocated in whole coding blocks: 16-sample
// macroblocks for H.264, up to 64-sample coding tree blocks for H.265, which
// drivers round to 128.
constexpr UINT kH264TextureAlignment = 16;
constexpr UINT kHevcTextureAlignment = 128;
constexpr uint32_t kNalSps = 33;

UINT AlignUp(size_t value, UINT alignment)
{
    return static_cast<UINT>((value + alignment - 1) / alignment * alignment);
}

// A short-slice configuration (raw 2) beats a long-slice one (raw 1), and an
// unencrypted bitstream outweighs both; 0 means the configuration is unusable.
// H.265 has only short slice entries, which its DXVA profile calls raw 1.
uint32_t ScoreConfiguration(const D3D11_VIDEO_DECODER_CONFIG& config, uint8_t codec)
{
    uint32_t score = 0;
    if (config.ConfigBitstreamRaw == 1)
        score = 1;
    else if (config.ConfigBitstreamRaw == 2 && codec != kCodecH265)
        score = 2;
    else
        return 0;
    if (config.guidConfigBitstreamEncryption == DXVA_NoEncrypt)
        score += 16;
    return score;
}

}  // namespace

// The surfaces the SPS of a reconfiguring frame asks for; the frame is parsed
// again by the NAL walk, which finds the same SPS.
uint32_t DXVA2VideoDecoder::HevcSurfacesFor(VideoFrame& frame)
{
    const uint8_t* payload = frame.Payload();
    size_t size = frame.DataSize();
    if (!payload) {
        m_HostPayload.resize(std::max(m_HostPayload.size(), size));
        int64_t copied = frame.CopyData(m_HostPayload.data(), size);
        size = copied > 0 ? static_cast<size_t>(copied) : 0;
        payload = m_HostPayload.data();
    }
    size_t offset = 0;
    uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
    while (m_HevcStream && offset < size &&
           FindNalUnit(payload + offset, size - offset, nalStart, nalEnd, startCodeLength) > 0) {
        const uint8_t* nal = payload + offset + nalStart;
        if (((nal[0] >> 1) & 0x3F) == kNalSps && ParseHevcNal(m_HevcStream, nal, nalEnd - nalStart) > 0 && m_HevcStream->sps)
            return HevcPictureBuffer::SurfacesFor(*m_HevcStream->sps);
        offset += nalEnd;
    }
    return HevcPictureBuffer::kMaxSurfaces;
}

platform::HRESULT DXVA2VideoDecoder::ConfigureDecoder(uint8_t codec)
{
    ReleaseConfiguration();

    D3D11_VIDEO_DECODER_DESC description = {};
    if (codec == kCodecH264) {
        description.Guid = m_H264Profile;
    } else if (codec == kCodecH265) {
        description.Guid = m_HevcProfile;
    } else {
        g_Logger.Log(LogLevel::error, "decoder: unknown codec");
        return kResultAbort;
    }
    description.SampleWidth = static_cast<UINT>(m_CodedWidth);
    description.SampleHeight = static_cast<UINT>(m_CodedHeight);
    description.OutputFormat = DXGI_FORMAT_NV12;

    // Without Init there is no video device to ask.
    UINT count = 0;
    platform::HRESULT result = m_VideoDevice ? m_VideoDevice->GetVideoDecoderConfigCount(&description, &count) : kResultPointer;
    if (Failed(result) || count == 0) {
        g_Logger.Log(LogLevel::error, "GetVideoDecoderConfigCount failed, error: 0x%x (count: %d) for: [%dx%d]",
                     HresultBits(result), count, m_Width, m_Height);
        return kResultAbort;
    }

    uint32_t bestScore = 0;
    D3D11_VIDEO_DECODER_CONFIG bestConfig = {};
    for (UINT index = 0; index < count; ++index) {
        D3D11_VIDEO_DECODER_CONFIG config = {};
        if (Failed(m_VideoDevice->GetVideoDecoderConfig(&description, index, &config))) {
            g_Logger.Log(LogLevel::error, "GetVideoDecoderConfig failed for id: %d", index);
            continue;
        }
        uint32_t score = ScoreConfiguration(config, codec);
        if (score > bestScore) {
            bestScore = score;
            bestConfig = config;
        }
    }
    if (bestScore == 0) {
        g_Logger.Log(LogLevel::error, "no suitable decoder found...");
        return kResultAbort;
    }

    result = m_VideoDevice->CreateVideoDecoder(&description, &bestConfig, &m_VideoDecoder);
    if (Failed(result) || !m_VideoDecoder) {
        m_VideoDecoder = nullptr;
        g_Logger.Log(LogLevel::error, "CreateVideoDecoder failed: 0x%x (for: [%dx%d])", HresultBits(result), m_Width, m_Height);
        return Failed(result) ? result : kResultFail;
    }

    // H.265 has only the short slice-control format.
    m_ShortSliceFormat = bestConfig.ConfigBitstreamRaw == 2 || codec == kCodecH265;

    result = CreateOutputSurfaces(codec);
    if (Failed(result)) {
        g_Logger.Log(LogLevel::error, "Failed to create texture 2D");
        return result;
    }
    if (!m_ShortSliceFormat)
        g_Logger.Log(LogLevel::info, "video: decoder: this decoder is using long slice");
    if (codec == kCodecH265)
        m_HevcPictures.Reset(m_HevcSurfaceCount);
    if (m_Dump) {
        D3D11_TEXTURE2D_DESC texture = {};
        m_OutputTexture->GetDesc(&texture);
        m_Dump->Configure(codec, description, texture);
    }
    return kResultOk;
}

platform::HRESULT DXVA2VideoDecoder::CreateOutputSurfaces(uint8_t codec)
{
    // H.264 alternates between two surfaces; H.265 keeps what its SPS says.
    const UINT surfaces = codec == kCodecH265 ? m_HevcSurfaceCount : 2;
    const UINT alignment = codec == kCodecH265 ? kHevcTextureAlignment : kH264TextureAlignment;
    D3D11_TEXTURE2D_DESC textureDescription = {};
    textureDescription.Width = AlignUp(m_CodedWidth, alignment);
    textureDescription.Height = AlignUp(m_CodedHeight, alignment);
    textureDescription.MipLevels = 1;
    textureDescription.ArraySize = surfaces;
    textureDescription.Format = DXGI_FORMAT_NV12;
    textureDescription.SampleDesc = {1, 0};
    textureDescription.Usage = D3D11_USAGE_DEFAULT;
    textureDescription.BindFlags = D3D11_BIND_DECODER;

    UINT support = 0;
    platform::HRESULT result = m_Device ? m_Device->CheckFormatSupport(DXGI_FORMAT_NV12, &support) : kResultPointer;
    if (Failed(result)) {
        g_Logger.Log(LogLevel::error, "failed to query format support: %d", result);
        return result;
    }
    if (support & D3D11_FORMAT_SUPPORT_SHADER_SAMPLE)
        textureDescription.BindFlags |= D3D11_BIND_SHADER_RESOURCE;

    result = m_Device->CreateTexture2D(&textureDescription, nullptr, &m_OutputTexture);
    if (Failed(result) || !m_OutputTexture) {
        m_OutputTexture = nullptr;
        result = Failed(result) ? result : kResultFail;
        g_Logger.Log(LogLevel::error, "failed to create texture 2D: hr = 0x%x", HresultBits(result));
        return result;
    }

    // Indices left from a configuration with more surfaces start over.
    if (m_CurrentOutputIndex >= surfaces || m_ReferenceOutputIndex >= surfaces) {
        m_CurrentOutputIndex = 0;
        m_ReferenceOutputIndex = 1;
    }
    m_OutputViews.resize(surfaces, nullptr);
    for (UINT slice = 0; slice < surfaces; ++slice) {
        D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC viewDescription = {};
        if (codec == kCodecH264) {
            viewDescription.DecodeProfile = m_H264Profile;
        } else if (codec == kCodecH265) {
            viewDescription.DecodeProfile = m_HevcProfile;
        } else {
            g_Logger.Log(LogLevel::error, "decoder: unknown codec");
            return kResultAbort;
        }
        viewDescription.ViewDimension = D3D11_VDOV_DIMENSION_TEXTURE2D;
        viewDescription.Texture2D.ArraySlice = slice;
        result = m_VideoDevice->CreateVideoDecoderOutputView(m_OutputTexture, &viewDescription, &m_OutputViews[slice]);
        if (Failed(result) || !m_OutputViews[slice]) {
            m_OutputViews[slice] = nullptr;
            g_Logger.Log(LogLevel::error, "Could not create the decoder output view %d", slice);
            return Failed(result) ? result : kResultFail;
        }
    }
    return result;
}
