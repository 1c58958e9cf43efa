#include "fake_video_platform.h"

#include <algorithm>

#include "decoder/platform/simulated/simulated_objects.h"

namespace fake {

D3D11_VIDEO_DECODER_CONFIG Config(UINT bitstreamRaw, const GUID& encryption)
{
    D3D11_VIDEO_DECODER_CONFIG config = {};
    config.guidConfigBitstreamEncryption = encryption;
    config.ConfigBitstreamRaw = bitstreamRaw;
    return config;
}

HRESULT ScriptedPlatform::Call(const std::string& call, const std::function<HRESULT()>& forward)
{
    calls.push_back(adapter == 0 ? call : call + "@" + std::to_string(adapter));
    auto failure = failures.find(calls.back());
    return failure == failures.end() ? forward() : failure->second;
}

size_t ScriptedPlatform::CallCount(const std::string& call) const
{
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

namespace {

std::string Named(const std::string& name, UINT value)
{
    return name + "(" + std::to_string(value) + ")";
}

// Hands out the simulated adapter as each of the script's adapters.
class ScriptedFactory : public SimulatedFactory {
public:
    explicit ScriptedFactory(ScriptedPlatform& platform) : m_Platform(platform) {}
    HRESULT EnumAdapters1(UINT index, IDXGIAdapter1** adapter) override
    {
        m_Platform.adapter = index;
        return SimulatedFactory::EnumAdapters1(index < m_Platform.adapters ? 0 : index, adapter);
    }
    ScriptedPlatform& m_Platform;
};

class ScriptedDevice : public SimulatedDevice {
public:
    explicit ScriptedDevice(ScriptedPlatform& platform) : SimulatedDevice({}), m_Platform(platform) { ++m_Platform.liveObjects; }
    ~ScriptedDevice() override { --m_Platform.liveObjects; }

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override
    {
        *object = nullptr;
        return m_Platform.Call(interfaceId == IID_ID3D11VideoDevice ? "VideoDevice" : "Multithread",
                               [&] { return SimulatedDevice::QueryInterface(interfaceId, object); });
    }
    HRESULT CreateQuery(const D3D11_QUERY_DESC* description, ID3D11Query** query) override
    {
        return m_Platform.Call("CreateQuery", [&] { return SimulatedDevice::CreateQuery(description, query); });
    }
    UINT GetVideoDecoderProfileCount() override
    {
        return m_Platform.profiles.empty() ? SimulatedDevice::GetVideoDecoderProfileCount() : static_cast<UINT>(m_Platform.profiles.size());
    }
    // A profile that could not be read is not offered, and a driver refuses to check it.
    HRESULT GetVideoDecoderProfile(UINT index, GUID* profile) override
    {
        HRESULT result = m_Platform.Call(Named("GetVideoDecoderProfile", index), [&] {
            if (m_Platform.profiles.empty())
                return SimulatedDevice::GetVideoDecoderProfile(index, profile);
            *profile = m_Platform.profiles.at(index);
            return kResultOk;
        });
        if (!Failed(result))
            m_Offered.push_back(*profile);
        return result;
    }
    HRESULT CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format, BOOL* supported) override
    {
        bool offered = std::ranges::count(m_Offered, *profile) > 0;
        HRESULT result = m_Platform.Call("CheckVideoDecoderFormat", [&] { return offered ? SimulatedDevice::CheckVideoDecoderFormat(profile, format, supported) : kResultInvalidArgument; });
        if (!Failed(result) && std::ranges::count(m_Platform.unsupportedFormats, format) > 0)
            *supported = 0;
        return result;
    }
    HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC*, UINT* count) override
    {
        *count = static_cast<UINT>(m_Platform.configs.size());
        return m_Platform.Call("GetVideoDecoderConfigCount");
    }
    HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC*, UINT index, D3D11_VIDEO_DECODER_CONFIG* config) override
    {
        *config = m_Platform.configs.at(index);
        return m_Platform.Call(Named("GetVideoDecoderConfig", index));
    }
    // The device makes decoders only from its own configurations: the one of the same slice format.
    HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description, const D3D11_VIDEO_DECODER_CONFIG* config,
                               ID3D11VideoDecoder** decoder) override
    {
        m_Platform.decoderConfigs.push_back(*config);
        D3D11_VIDEO_DECODER_CONFIG own = {};
        for (UINT index = 0; own.ConfigBitstreamRaw != config->ConfigBitstreamRaw && index < 2; ++index)
            SimulatedDevice::GetVideoDecoderConfig(description, index, &own);
        return m_Platform.Call("CreateVideoDecoder", [&] { return SimulatedDevice::CreateVideoDecoder(description, &own, decoder); });
    }

private:
    ScriptedPlatform& m_Platform;
    std::vector<GUID> m_Offered;
};

// Keeps the buffers handed out, so that a submission can be recorded and spoilt.
class ScriptedContext : public SimulatedContext {
public:
    explicit ScriptedContext(ScriptedPlatform& platform) : m_Platform(platform) { ++m_Platform.liveObjects; }
    ~ScriptedContext() override { --m_Platform.liveObjects; }

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override
    {
        *object = nullptr;
        return m_Platform.Call("VideoContext", [&] { return SimulatedContext::QueryInterface(interfaceId, object); });
    }
    void End(ID3D11Asynchronous* async) override
    {
        m_Platform.calls.push_back("End");
        SimulatedContext::End(async);
    }
    void Flush() override { m_Platform.calls.push_back("Flush"); }
    HRESULT GetData(ID3D11Asynchronous* async, void* data, UINT size, UINT flags) override
    {
        return m_Platform.Call("GetData", [&] {
            if (m_Platform.unfinishedQueries == 0)
                return SimulatedContext::GetData(async, data, size, flags);
            m_Platform.unfinishedQueries -= m_Platform.unfinishedQueries > 0 ? 1 : 0;
            return kResultFalse;
        });
    }
    HRESULT DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view, UINT keySize, const void* key) override
    {
        m_Platform.calls.push_back("DecoderBeginFrame");
        if (m_Platform.pendingBeginFrames > 0) {
            --m_Platform.pendingBeginFrames;
            return m_Platform.busyResult;
        }
        return SimulatedContext::DecoderBeginFrame(decoder, view, keySize, key);
    }
    HRESULT GetDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type, UINT* size, void** buffer) override
    {
        HRESULT result = m_Platform.Call(Named("GetDecoderBuffer", type), [&] { return SimulatedContext::GetDecoderBuffer(decoder, type, size, buffer); });
        auto capacity = m_Platform.capacities.find(type);
        if (capacity != m_Platform.capacities.end())
            *size = std::min(*size, capacity->second);
        m_Memory[type] = static_cast<uint8_t*>(*buffer);
        return result;
    }
    HRESULT ReleaseDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type) override
    {
        return m_Platform.Call(Named("ReleaseDecoderBuffer", type), [&] { return SimulatedContext::ReleaseDecoderBuffer(decoder, type); });
    }
    HRESULT SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT count, const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions) override
    {
        Submission& submission = m_Platform.submissions.emplace_back(Submission{{descriptions, descriptions + count}, {}});
        for (const D3D11_VIDEO_DECODER_BUFFER_DESC& description : submission.descriptions)
            submission.buffers[description.BufferType].assign(m_Memory[description.BufferType], m_Memory[description.BufferType] + description.DataSize);
        std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC> spoilt = submission.descriptions;
        if (m_Platform.spoil)
            m_Platform.spoil(spoilt, m_Memory);
        return m_Platform.Call(Named("SubmitDecoderBuffers", count), [&] {
            return SimulatedContext::SubmitDecoderBuffers(decoder, static_cast<UINT>(spoilt.size()), spoilt.data());
        });
    }
    // The device's frame is ended whatever the script says.
    HRESULT DecoderEndFrame(ID3D11VideoDecoder* decoder) override
    {
        HRESULT ended = SimulatedContext::DecoderEndFrame(decoder);
        return m_Platform.Call("DecoderEndFrame", [&] { return ended; });
    }

private:
    ScriptedPlatform& m_Platform;
    Memory m_Memory;
};

}  // namespace

HRESULT ScriptedPlatform::CreateDXGIFactory1(const GUID& interfaceId, void** factory)
{
    *factory = nullptr;
    return Call("CreateDXGIFactory1", [&] {
        *factory = interfaceId == IID_IDXGIFactory2 ? static_cast<IDXGIFactory2*>(new ScriptedFactory(*this)) : nullptr;
        return *factory ? kResultOk : kResultNoInterface;
    });
}

// The simulated device checks the arguments; ours stand in for what it made.
HRESULT ScriptedPlatform::D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void* software, UINT flags,
                                            const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                                            ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel, ID3D11DeviceContext** context)
{
    HRESULT result = Call("D3D11CreateDevice", [&] {
        return SimulatedVideoPlatform::D3D11CreateDevice(adapter, driverType, software, flags, featureLevels, featureLevelCount, sdkVersion,
                                                         device, featureLevel, context);
    });
    if (Failed(result))
        return result;
    (*device)->Release();
    (*context)->Release();
    *device = static_cast<ID3D11Device*>(new ScriptedDevice(*this));
    *context = static_cast<ID3D11DeviceContext*>(new ScriptedContext(*this));
    return result;
}

}  // namespace fake
