#include <algorithm>
#include <cstring>
#include <string>

#include "decoder/dxva/dxva_structures.h"
#include "decoder/platform/simulated/simulated_objects.h"

// The frame protocol of the video context: begin, obtain and release each
// buffer, submit, end. Every step out of order is refused and logged.
namespace platform {

namespace {

HRESULT Refuse(const char* operation, const std::string& reason)
{
    LogSimulatedRefusal(operation, reason);
    return kResultInvalidArgument;
}

}  // namespace

HRESULT SimulatedContext::QueryInterface(const GUID& interfaceId, void** object)
{
    *object = nullptr;
    if (interfaceId == IID_ID3D11VideoContext)
        return HandOut<ID3D11VideoContext>(this, object);
    return kResultNoInterface;
}

void SimulatedContext::End(ID3D11Asynchronous* async)
{
    if (auto* query = dynamic_cast<SimulatedQuery*>(async)) {
        query->m_Ended = true;
        query->m_DoneAt = m_EngineFreeAt;
    } else
        LogSimulatedRefusal("End", "no query of this device");
}

// Done once the engine has decoded every picture ended before the query's End.
HRESULT SimulatedContext::GetData(ID3D11Asynchronous* async, void* data, UINT dataSize, UINT)
{
    auto* query = dynamic_cast<SimulatedQuery*>(async);
    if (!query)
        return Refuse("GetData", "no query of this device");
    if (!query->m_Ended)
        return Refuse("GetData", "the query was never ended");
    if (data && dataSize != sizeof(BOOL))
        return Refuse("GetData", "an event query answers with a BOOL");
    const BOOL done = SimulatedClock::now() >= query->m_DoneAt;
    if (data)
        std::memcpy(data, &done, sizeof(done));
    return done ? kResultOk : kResultFalse;
}

HRESULT SimulatedContext::DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view,
                                            UINT contentKeySize, const void* contentKey)
{
    auto* simulated = dynamic_cast<SimulatedVideoDecoder*>(decoder);
    auto* target = dynamic_cast<SimulatedOutputView*>(view);
    if (!simulated)
        return Refuse("DecoderBeginFrame", "no decoder of this device");
    if (!target)
        return Refuse("DecoderBeginFrame", "no output view of this device");
    if (simulated->m_FrameOpen)
        return Refuse("DecoderBeginFrame", "the previous frame was not ended");
    if (contentKeySize != 0 || contentKey)
        return Refuse("DecoderBeginFrame", "the decoder is not encrypted; no content key expected");
    if (!(target->m_Description.DecodeProfile == simulated->m_Description.Guid))
        return Refuse("DecoderBeginFrame", "output view made for another decoder profile");
    const D3D11_TEXTURE2D_DESC& texture = target->m_Texture->m_Description;
    if (texture.Width < simulated->m_Description.SampleWidth || texture.Height < simulated->m_Description.SampleHeight)
        return Refuse("DecoderBeginFrame", "output texture smaller than the decoder's pictures");

    simulated->CloseFrame();
    simulated->m_FrameOpen = true;
    simulated->m_Target = target;
    target->AddRef();
    return kResultOk;
}

HRESULT SimulatedContext::GetDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type,
                                           UINT* bufferSize, void** buffer)
{
    auto* simulated = dynamic_cast<SimulatedVideoDecoder*>(decoder);
    if (!simulated || !bufferSize || !buffer)
        return Refuse("GetDecoderBuffer", "missing decoder or output pointers");
    *bufferSize = 0;
    *buffer = nullptr;
    if (!simulated->m_FrameOpen)
        return Refuse("GetDecoderBuffer", "no frame begun");
    if (type >= SimulatedVideoDecoder::kBufferTypes || simulated->m_Buffers[type].memory.empty())
        return Refuse("GetDecoderBuffer", "buffer type " + std::to_string(type) + " not used by this decoder");
    SimulatedVideoDecoder::Buffer& held = simulated->m_Buffers[type];
    if (held.held)
        return Refuse("GetDecoderBuffer", "buffer type " + std::to_string(type) + " is already held");
    held.held = true;
    held.used = false;
    *bufferSize = static_cast<UINT>(held.memory.size());
    *buffer = held.memory.data();
    return kResultOk;
}

HRESULT SimulatedContext::ReleaseDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type)
{
    auto* simulated = dynamic_cast<SimulatedVideoDecoder*>(decoder);
    if (!simulated)
        return Refuse("ReleaseDecoderBuffer", "no decoder of this device");
    if (type >= SimulatedVideoDecoder::kBufferTypes || !simulated->m_Buffers[type].held)
        return Refuse("ReleaseDecoderBuffer", "buffer type " + std::to_string(type) + " is not held");
    simulated->m_Buffers[type].held = false;
    simulated->m_Buffers[type].used = true;
    return kResultOk;
}

HRESULT SimulatedContext::SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT bufferCount,
                                               const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions)
{
    auto* simulated = dynamic_cast<SimulatedVideoDecoder*>(decoder);
    if (!simulated)
        return Refuse("SubmitDecoderBuffers", "no decoder of this device");
    if (!simulated->m_FrameOpen)
        return Refuse("SubmitDecoderBuffers", "no frame begun");
    if (simulated->m_Submitted)
        return Refuse("SubmitDecoderBuffers", "this frame was already submitted");
    std::string problem = CheckSubmission(*simulated, bufferCount, descriptions);
    if (problem.empty())
        problem = CheckSampleFormat(*simulated);
    if (!problem.empty())
        return Refuse("SubmitDecoderBuffers", problem);
    simulated->m_Submitted = true;
    return kResultOk;
}

HRESULT SimulatedContext::DecoderEndFrame(ID3D11VideoDecoder* decoder)
{
    auto* simulated = dynamic_cast<SimulatedVideoDecoder*>(decoder);
    if (!simulated)
        return Refuse("DecoderEndFrame", "no decoder of this device");
    if (!simulated->m_FrameOpen)
        return Refuse("DecoderEndFrame", "no frame begun");
    // A driver does not take a buffer back by ending the frame: the frame
    // stays open and the buffer held until it is released.
    for (UINT type = 0; type < SimulatedVideoDecoder::kBufferTypes; ++type) {
        if (simulated->m_Buffers[type].held)
            return Refuse("DecoderEndFrame", "buffer type " + std::to_string(type) + " is still held");
    }
    // A frame ended without an accepted submission leaves its surface as it was.
    if (simulated->m_Submitted) {
        if (m_DecodeTime.count() > 0)
            m_EngineFreeAt = std::max(SimulatedClock::now(), m_EngineFreeAt) + m_DecodeTime;
        SimulatedTexture& texture = *simulated->m_Target->m_Texture;
        UINT slice = simulated->m_Target->m_Description.Texture2D.ArraySlice;
        texture.m_PictureNumbers[slice] = ++texture.m_PicturesDecoded;
        SimulatedVideoDecoder::HevcHeaders& hevc = simulated->m_Hevc;
        if (simulated->Codec() == kSimulatedCodecHevc) {
            texture.m_PicOrderCnts[slice] = hevc.picOrderCnt;
            if (hevc.tid0Anchor)
                hevc.prevTid0PicOrderCnt = hevc.picOrderCnt;
            hevc.sequenceStart = hevc.endsSequence;
        }
    }
    simulated->CloseFrame();
    return kResultOk;
}

}  // namespace platform
