#include "decoder/dxva2_video_decoder.h"

#include <algorithm>

#include "bench/video_frame.h"
#include "bitstream/h264/h264_parser.h"
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
constexpr uint32_t kNalVps = 32;
constexpr uint32_t kNalSps = 33;
constexpr uint32_t kNalPps = 34;
constexpr uint32_t kNalRaslN = 8;
constexpr uint32_t kH264NalSps = 7;

UINT AlignUp(size_t value, UINT alignment)
{
    return static_cast<UINT>((value + alignment - 1) / alignment * alignment);
}

// A short-slice configuration (raw 2) beats a long-slice one (raw 1), and an
// unencrypted bitstream outweighs both; 0 means the configuration is unusable.
// H.265 has only short slice entries, which its DXVA profile calls raw 1.
uint32_t ScoreConfiguration(const D3D11_VIDEO_DECODER_CONFIG& config, uint8_t codec)
{
    if (!FeedsBitstreamRaw(codec, config.ConfigBitstreamRaw))
        return 0;
    // Short entries are preferred: the hardware parses the slice header itself.
    uint32_t score = config.ConfigBitstreamRaw;
    if (config.guidConfigBitstreamEncryption == DXVA_NoEncrypt)
        score += 16;
    return score;
}

// Hands each NAL unit of the frame (header byte first) to `visit` until it
// returns true; a frame that does not hold its payload is copied into `host`.
template <typename Visit>
void VisitNalUnits(VideoFrame& frame, std::vector<uint8_t>& host, Visit visit)
{
    const uint8_t* payload = frame.Payload();
    size_t size = frame.DataSize();
    if (!payload) {
        host.resize(std::max(host.size(), size));
        int64_t copied = frame.CopyData(host.data(), size);
        size = copied > 0 ? static_cast<size_t>(copied) : 0;
        payload = host.data();
    }
    size_t offset = 0;
    uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
    while (offset < size && FindNalUnit(payload + offset, size - offset, nalStart, nalEnd, startCodeLength) > 0) {
        if (visit(payload + offset + nalStart, nalEnd - nalStart))
            return;
        offset += nalEnd;
    }
}

}  // namespace

// Whether the frame holds a RASL picture the picture buffer leaves undecoded.
// Its parameter sets and an end of sequence still take effect.
bool DXVA2VideoDecoder::SkipsHevcPicture(VideoFrame& frame)
{
    // While RASL pictures are decoded, no frame needs looking into.
    if (!m_HevcStream || !m_HevcPictures.SkipsPicture(kNalRaslN))
        return false;
    int32_t type = -1;
    if (frame.Payload()) {
        // Only NAL headers up to the first slice: most frames are decoded.
        type = FindHevcPictureType(frame.Payload(), frame.DataSize());
    } else {
        VisitNalUnits(frame, m_HostPayload, [&](const uint8_t* nal, uint32_t) {
            const uint32_t nalType = (nal[0] >> 1) & 0x3F;
            type = nalType < 32 ? static_cast<int32_t>(nalType) : -1;
            return nalType < 32;
        });
    }
    if (type < 0 || !m_HevcPictures.SkipsPicture(static_cast<uint32_t>(type)))
        return false;
    VisitNalUnits(frame, m_HostPayload, [&](const uint8_t* nal, uint32_t length) {
        const uint32_t nalType = (nal[0] >> 1) & 0x3F;
        if (nalType >= kNalVps && nalType <= kNalPps && ParseHevcNal(m_HevcStream, nal, length) < 0)
            g_Logger.Log(LogLevel::error, "decoder: a parameter set of type %u beside a skipped picture does not parse", nalType);
        if (IsHevcEndOfSequence(nalType))
            m_HevcPictures.EndSequence();
        return false;
    });
    g_Logger.Log(LogLevel::debug, "decoder: hevc RASL picture skipped: its IRAP picture opened the sequence");
    return true;
}

void DXVA2VideoDecoder::StartOver()
{
    m_HevcPictures.Reset(m_HevcPictures.SurfaceCount());
    m_H264Pictures.Reset(m_H264Pictures.SurfaceCount());
}

// What the SPS of a frame with a picture size asks of the set-up, read once
// with the decoder's own parser (the NAL walk reads the same again).
DXVA2VideoDecoder::SequenceNeeds DXVA2VideoDecoder::ReadSequence(VideoFrame& frame)
{
    SequenceNeeds needs;
    VisitNalUnits(frame, m_HostPayload, [&](const uint8_t* nal, uint32_t length) {
        if (frame.codec == kCodecH264 && m_H264Stream && (nal[0] & 0x1F) == kH264NalSps &&
            ParseH264Nal(m_H264Stream, nal, length) > 0 && m_H264Stream->sps) {
            needs.format = H264StreamFormat(*m_H264Stream->sps);
            needs.surfaces = H264PictureBuffer::SurfacesFor(*m_H264Stream->sps);
        } else if (frame.codec == kCodecH265 && m_HevcStream && ((nal[0] >> 1) & 0x3F) == kNalSps &&
                   ParseHevcNal(m_HevcStream, nal, length) > 0 && m_HevcStream->sps) {
            needs.format = HevcStreamFormat(*m_HevcStream->sps);
            needs.surfaces = HevcPictureBuffer::SurfacesFor(*m_HevcStream->sps);
        }
        return needs.format.has_value();
    });
    return needs;
}

// The set-up the stream of a frame needs: the first offered one that carries
// its sequence's format. Without a sequence, the current set-up for the same
// codec, else that of an 8-bit 4:2:0 stream. Empty, once refused, when no
// offered set-up carries it.
std::optional<DecoderSetup> DXVA2VideoDecoder::SetupFor(uint8_t codec, const std::optional<StreamFormat>& format)
{
    // An unknown codec is refused by ConfigureDecoder.
    if (codec != kCodecH264 && codec != kCodecH265)
        return m_Setup;
    if (!format && codec == m_Codec)
        return m_Setup;
    SetupChoice choice = ChooseDecoderSetup(format.value_or(StreamFormat{codec}), m_OfferedSetups);
    if (!choice.refusal.empty()) {
        RefuseStream(choice.refusal);
        return std::nullopt;
    }
    return choice.setup;
}

// Nothing of a refused stream may reach the decoder set up for the one
// before: the frames after it fail at begin until a stream that can be set up.
void DXVA2VideoDecoder::RefuseStream(const std::string& refusal)
{
    g_Logger.Log(LogLevel::error, "decoder: %s", refusal);
    ReleaseConfiguration();
    m_Width = 0;
    m_Height = 0;
    m_Codec = kNoCodec;
    m_Setup = {};
    if (m_ErrorCallback)
        m_ErrorCallback(static_cast<int>(kReconfigureFailed));
}

platform::HRESULT DXVA2VideoDecoder::ConfigureDecoder(uint8_t codec)
{
    ReleaseConfiguration();

    if (codec != kCodecH264 && codec != kCodecH265) {
        g_Logger.Log(LogLevel::error, "decoder: unknown codec");
        return kResultAbort;
    }
    D3D11_VIDEO_DECODER_DESC description = {};
    description.Guid = m_Setup.profile;
    description.SampleWidth = static_cast<UINT>(m_CodedWidth);
    description.SampleHeight = static_cast<UINT>(m_CodedHeight);
    description.OutputFormat = m_Setup.format;

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
    if (codec == kCodecH264)
        m_H264Pictures.Reset(m_H264SurfaceCount);
    if (m_Dump) {
        D3D11_TEXTURE2D_DESC texture = {};
        m_OutputTexture->GetDesc(&texture);
        m_Dump->Configure(codec, description, texture);
    }
    return kResultOk;
}

platform::HRESULT DXVA2VideoDecoder::CreateOutputSurfaces(uint8_t codec)
{
    // Each codec keeps what its SPS says: the DPB and the picture being decoded.
    const UINT surfaces = codec == kCodecH265 ? m_HevcSurfaceCount : codec == kCodecH264 ? m_H264SurfaceCount : 2;
    const UINT alignment = codec == kCodecH265 ? kHevcTextureAlignment : kH264TextureAlignment;
    D3D11_TEXTURE2D_DESC textureDescription = {};
    textureDescription.Width = AlignUp(m_CodedWidth, alignment);
    textureDescription.Height = AlignUp(m_CodedHeight, alignment);
    textureDescription.MipLevels = 1;
    textureDescription.ArraySize = surfaces;
    textureDescription.Format = m_Setup.format;
    textureDescription.SampleDesc = {1, 0};
    textureDescription.Usage = D3D11_USAGE_DEFAULT;
    textureDescription.BindFlags = D3D11_BIND_DECODER;

    UINT support = 0;
    platform::HRESULT result = m_Device ? m_Device->CheckFormatSupport(m_Setup.format, &support) : kResultPointer;
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
        viewDescription.DecodeProfile = m_Setup.profile;
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
