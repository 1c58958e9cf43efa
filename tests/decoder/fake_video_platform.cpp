#include "fake_video_platform.h"

#include <algorithm>
#include <chrono>

#include "decoder/platform/reference_counted.h"

namespace fake {

namespace {

std::string Named(const std::string& name, UINT value)
{
    return name + "(" + std::to_string(value) + ")";
}

// Counts itself in the platform so that tests can see every object released.
template <typename... Interfaces>
class FakeObject : public ReferenceCounted<Interfaces...> {
public:
    FakeObject(FakeVideoPlatform& platform, std::string name) : m_Platform(platform), m_Name(std::move(name)) { ++m_Platform.liveObjects; }
    ~FakeObject() override
    {
        --m_Platform.liveObjects;
        m_Platform.calls.push_back("destroy " + m_Name);
    }
    HRESULT QueryInterface(const GUID&, void** object) override
    {
        *object = nullptr;
        return kResultNoInterface;
    }

protected:
    FakeVideoPlatform& m_Platform;
    std::string m_Name;
};

class FakeAdapter : public FakeObject<IDXGIAdapter1> {
public:
    FakeAdapter(FakeVideoPlatform& platform, UINT index) : FakeObject(platform, Named("adapter", index)), m_Index(index) {}
    HRESULT GetDesc1(DXGI_ADAPTER_DESC1* description) override
    {
        const std::u16string& name = m_Platform.adapters[m_Index].name;
        *description = {};
        std::copy_n(name.begin(), std::min<size_t>(name.size(), 127), description->Description);
        description->VendorId = 0x1234;
        description->DeviceId = 0x5678;
        return kResultOk;
    }
    UINT m_Index;
};

class FakeFactory : public FakeObject<IDXGIFactory2> {
public:
    explicit FakeFactory(FakeVideoPlatform& platform) : FakeObject(platform, "factory") {}
    HRESULT EnumAdapters1(UINT index, IDXGIAdapter1** adapter) override
    {
        *adapter = index < m_Platform.adapters.size() ? new FakeAdapter(m_Platform, index) : nullptr;
        return *adapter ? kResultOk : kResultDxgiNotFound;
    }
};

template <typename Interface, typename Description>
class FakeDescribed : public FakeObject<Interface> {
public:
    FakeDescribed(FakeVideoPlatform& platform, std::string name, const Description& description)
        : FakeObject<Interface>(platform, std::move(name)), m_Description(description)
    {
    }
    void GetDesc(Description* description) override { *description = m_Description; }
    Description m_Description;
};
using FakeTexture = FakeDescribed<ID3D11Texture2D, D3D11_TEXTURE2D_DESC>;
using FakeView = FakeDescribed<ID3D11VideoDecoderOutputView, D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC>;

class FakeDecoder : public FakeObject<ID3D11VideoDecoder> {
public:
    FakeDecoder(FakeVideoPlatform& platform, const D3D11_VIDEO_DECODER_DESC& description, const D3D11_VIDEO_DECODER_CONFIG& config)
        : FakeObject(platform, "decoder"), m_Description(description), m_Config(config)
    {
    }
    HRESULT GetCreationParameters(D3D11_VIDEO_DECODER_DESC* description, D3D11_VIDEO_DECODER_CONFIG* config) override
    {
        *description = m_Description;
        *config = m_Config;
        return kResultOk;
    }
    D3D11_VIDEO_DECODER_DESC m_Description;
    D3D11_VIDEO_DECODER_CONFIG m_Config;
    std::map<UINT, std::vector<uint8_t>> m_Buffers;
    UINT m_TargetSlice = 0;
};

class FakeDevice : public FakeObject<ID3D11Device, ID3D11VideoDevice, ID3D10Multithread> {
public:
    FakeDevice(FakeVideoPlatform& platform, UINT adapter) : FakeObject(platform, Named("device", adapter)), m_Adapter(adapter) {}
    const AdapterScript& Script() const { return m_Platform.adapters[m_Adapter]; }

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override
    {
        *object = nullptr;
        if (!(interfaceId == IID_ID3D11VideoDevice) && !(interfaceId == IID_ID3D10Multithread))
            return kResultNoInterface;
        bool video = interfaceId == IID_ID3D11VideoDevice;
        HRESULT result = m_Platform.Call(Named(video ? "VideoDevice" : "Multithread", m_Adapter));
        if (Failed(result))
            return result;
        *object = video ? static_cast<void*>(static_cast<ID3D11VideoDevice*>(this)) : static_cast<ID3D10Multithread*>(this);
        AddRef();
        return result;
    }
    HRESULT CheckFormatSupport(DXGI_FORMAT, UINT* support) override
    {
        *support = Script().formatSupport;
        return m_Platform.Call("CheckFormatSupport");
    }
    HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* description, const void*, ID3D11Texture2D** texture) override
    {
        m_Platform.textureDescriptions.push_back(*description);
        HRESULT result = m_Platform.Call("CreateTexture2D");
        *texture = Failed(result) ? nullptr : new FakeTexture(m_Platform, "texture", *description);
        return result;
    }
    BOOL SetMultithreadProtected(BOOL protect) override
    {
        m_Platform.multithreadProtected = protect != 0;
        return 0;
    }
    UINT GetVideoDecoderProfileCount() override { return static_cast<UINT>(Script().profiles.size()); }
    HRESULT GetVideoDecoderProfile(UINT index, GUID* profile) override
    {
        HRESULT result = m_Platform.Call(Named("GetVideoDecoderProfile", index));
        *profile = Script().profiles.at(index);
        return result;
    }
    HRESULT CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format, BOOL* supported) override
    {
        *supported = Script().nv12Supported && format == DXGI_FORMAT_NV12;
        bool hevc = *profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN;
        return m_Platform.Call("CheckVideoDecoderFormat(" + std::to_string(m_Adapter) + (hevc ? ",hevc)" : ",h264)"));
    }
    HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* description, UINT* count) override
    {
        bool known = std::find(Script().profiles.begin(), Script().profiles.end(), description->Guid) != Script().profiles.end();
        *count = known ? static_cast<UINT>(Script().configs.size()) : 0;
        HRESULT result = m_Platform.Call("GetVideoDecoderConfigCount");
        return known ? result : kResultInvalidArgument;
    }
    HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC*, UINT index, D3D11_VIDEO_DECODER_CONFIG* config) override
    {
        *config = Script().configs.at(index);
        return m_Platform.Call(Named("GetVideoDecoderConfig", index));
    }
    HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description, const D3D11_VIDEO_DECODER_CONFIG* config,
                               ID3D11VideoDecoder** decoder) override
    {
        m_Platform.decoderDescriptions.push_back(*description);
        m_Platform.decoderConfigs.push_back(*config);
        HRESULT result = m_Platform.Call("CreateVideoDecoder");
        *decoder = Failed(result) ? nullptr : new FakeDecoder(m_Platform, *description, *config);
        return result;
    }
    HRESULT CreateVideoDecoderOutputView(ID3D11Resource*, const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description,
                                         ID3D11VideoDecoderOutputView** view) override
    {
        HRESULT result = m_Platform.Call(Named("CreateVideoDecoderOutputView", description->Texture2D.ArraySlice));
        *view = Failed(result) ? nullptr : new FakeView(m_Platform, Named("view", description->Texture2D.ArraySlice), *description);
        return result;
    }

    UINT m_Adapter;
};

class FakeContext : public FakeObject<ID3D11DeviceContext, ID3D11VideoContext> {
public:
    FakeContext(FakeVideoPlatform& platform, UINT adapter) : FakeObject(platform, Named("context", adapter)), m_Adapter(adapter) {}

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override
    {
        *object = nullptr;
        if (!(interfaceId == IID_ID3D11VideoContext))
            return kResultNoInterface;
        HRESULT result = m_Platform.Call(Named("VideoContext", m_Adapter));
        if (Failed(result) || m_Platform.adapters[m_Adapter].nullVideoContext)
            return result;
        AddRef();
        *object = static_cast<ID3D11VideoContext*>(this);
        return kResultOk;
    }
    HRESULT DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view, UINT, const void*) override
    {
        HRESULT result = m_Platform.Call("DecoderBeginFrame");
        if (m_Platform.pendingBeginFrames != 0) {
            m_Platform.pendingBeginFrames -= m_Platform.pendingBeginFrames > 0 ? 1 : 0;
            return kResultPending;
        }
        static_cast<FakeDecoder*>(decoder)->m_TargetSlice = static_cast<FakeView*>(view)->m_Description.Texture2D.ArraySlice;
        return result;
    }
    HRESULT GetDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type, UINT* size, void** buffer) override
    {
        std::vector<uint8_t>& memory = static_cast<FakeDecoder*>(decoder)->m_Buffers[type];
        // Filled with a marker so that bytes the decoder does not write stand out.
        memory.assign(m_Platform.bufferSizes[type], 0xCD);
        *size = static_cast<UINT>(memory.size());
        *buffer = memory.data();
        return m_Platform.Call(Named("GetDecoderBuffer", type));
    }
    HRESULT ReleaseDecoderBuffer(ID3D11VideoDecoder*, D3D11_VIDEO_DECODER_BUFFER_TYPE type) override
    {
        return m_Platform.Call(Named("ReleaseDecoderBuffer", type));
    }
    HRESULT SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT count, const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions) override
    {
        HRESULT result = m_Platform.Call(Named("SubmitDecoderBuffers", count));
        if (Failed(result))
            return result;
        auto* fakeDecoder = static_cast<FakeDecoder*>(decoder);
        Submission submission{{descriptions, descriptions + count}, {}, fakeDecoder->m_TargetSlice};
        for (const D3D11_VIDEO_DECODER_BUFFER_DESC& description : submission.descriptions) {
            const std::vector<uint8_t>& memory = fakeDecoder->m_Buffers[description.BufferType];
            submission.buffers[description.BufferType].assign(memory.begin(), memory.begin() + std::min<size_t>(description.DataSize, memory.size()));
        }
        m_Platform.submissions.push_back(std::move(submission));
        return kResultOk;
    }
    HRESULT DecoderEndFrame(ID3D11VideoDecoder*) override { return m_Platform.Call("DecoderEndFrame"); }

    UINT m_Adapter;
};

}  // namespace

HRESULT FakeVideoPlatform::CreateDXGIFactory1(const GUID& interfaceId, void** factory)
{
    HRESULT result = Call("CreateDXGIFactory1");
    *factory = Failed(result) || !(interfaceId == IID_IDXGIFactory2) ? nullptr : static_cast<IDXGIFactory2*>(new FakeFactory(*this));
    return *factory || Failed(result) ? result : kResultNoInterface;
}

HRESULT FakeVideoPlatform::D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE, void*, UINT flags, const D3D_FEATURE_LEVEL*, UINT,
                                             UINT, ID3D11Device** device, D3D_FEATURE_LEVEL*, ID3D11DeviceContext** context)
{
    UINT index = static_cast<FakeAdapter*>(adapter)->m_Index;
    createDeviceFlags.push_back(flags);
    HRESULT result = Call(Named("D3D11CreateDevice", index));
    *device = Failed(result) ? nullptr : static_cast<ID3D11Device*>(new FakeDevice(*this, index));
    *context = Failed(result) ? nullptr : static_cast<ID3D11DeviceContext*>(new FakeContext(*this, index));
    return result;
}

BOOL FakeVideoPlatform::QueryPerformanceFrequency(int64_t* frequency)
{
    *frequency = frequencyAvailable ? 1000000000 : 0;
    return frequencyAvailable;
}

// The real clock: waits in the decoder are measured, not pretended.
BOOL FakeVideoPlatform::QueryPerformanceCounter(int64_t* counter)
{
    *counter = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return 1;
}

size_t FakeVideoPlatform::CallCount(const std::string& call) const
{
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

HRESULT FakeVideoPlatform::Call(const std::string& call)
{
    calls.push_back(call);
    auto failure = failures.find(call);
    return failure == failures.end() ? kResultOk : failure->second;
}

D3D11_VIDEO_DECODER_CONFIG Config(UINT bitstreamRaw, const GUID& encryption)
{
    D3D11_VIDEO_DECODER_CONFIG config = {};
    config.guidConfigBitstreamEncryption = encryption;
    config.ConfigBitstreamRaw = bitstreamRaw;
    return config;
}

}  // namespace fake
