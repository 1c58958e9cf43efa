#include "fake_video_platform.h"

#include <algorithm>
#include <chrono>

#include "decoder/platform/reference_counted.h"

namespace fake {

namespace {

std::string Call(const std::string& name, UINT value)
{
    return name + "(" + std::to_string(value) + ")";
}

// Counts itself in the platform so that tests can see every object released.
template <typename... Interfaces>
class FakeObject : public ReferenceCounted<Interfaces...> {
public:
    FakeObject(FakeVideoPlatform& platform, std::string name) : m_Platform(platform), m_Name(std::move(name))
    {
        ++m_Platform.liveObjects;
    }
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
    FakeAdapter(FakeVideoPlatform& platform, UINT index) : FakeObject(platform, Call("adapter", index)), m_Index(index) {}
    HRESULT GetDesc1(DXGI_ADAPTER_DESC1* description) override
    {
        const AdapterScript& script = m_Platform.adapters[m_Index];
        *description = {};
        std::copy_n(script.name.begin(), std::min<size_t>(script.name.size(), 127), description->Description);
        description->VendorId = script.vendorId;
        description->DeviceId = script.deviceId;
        return kResultOk;
    }
    UINT m_Index;
};

class FakeFactory : public FakeObject<IDXGIFactory2> {
public:
    explicit FakeFactory(FakeVideoPlatform& platform) : FakeObject(platform, "factory") {}
    HRESULT EnumAdapters1(UINT index, IDXGIAdapter1** adapter) override
    {
        m_Platform.calls.push_back(Call("EnumAdapters1", index));
        *adapter = nullptr;
        if (index >= m_Platform.adapters.size())
            return kResultDxgiNotFound;
        *adapter = new FakeAdapter(m_Platform, index);
        return kResultOk;
    }
};

class FakeTexture : public FakeObject<ID3D11Texture2D> {
public:
    FakeTexture(FakeVideoPlatform& platform, const D3D11_TEXTURE2D_DESC& description)
        : FakeObject(platform, "texture"), m_Description(description)
    {
    }
    void GetDesc(D3D11_TEXTURE2D_DESC* description) override { *description = m_Description; }
    D3D11_TEXTURE2D_DESC m_Description;
};

class FakeView : public FakeObject<ID3D11VideoDecoderOutputView> {
public:
    FakeView(FakeVideoPlatform& platform, const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC& description)
        : FakeObject(platform, Call("view", description.Texture2D.ArraySlice)), m_Description(description)
    {
    }
    void GetDesc(D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description) override { *description = m_Description; }
    D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC m_Description;
};

class FakeDecoder : public FakeObject<ID3D11VideoDecoder> {
public:
    FakeDecoder(FakeVideoPlatform& platform, const D3D11_VIDEO_DECODER_DESC& description,
                const D3D11_VIDEO_DECODER_CONFIG& config)
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
    FakeDevice(FakeVideoPlatform& platform, UINT adapter) : FakeObject(platform, Call("device", adapter)), m_Adapter(adapter) {}

    const AdapterScript& Script() const { return m_Platform.adapters[m_Adapter]; }

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override
    {
        *object = nullptr;
        HRESULT result = kResultNoInterface;
        if (interfaceId == IID_ID3D11VideoDevice) {
            result = Script().queryVideoDevice;
            if (!Failed(result))
                *object = static_cast<ID3D11VideoDevice*>(this);
        } else if (interfaceId == IID_ID3D10Multithread) {
            result = Script().queryMultithread;
            if (!Failed(result))
                *object = static_cast<ID3D10Multithread*>(this);
        }
        if (*object)
            AddRef();
        return result;
    }
    HRESULT CheckFormatSupport(DXGI_FORMAT, UINT* support) override
    {
        *support = Script().formatSupport;
        return Script().checkFormatSupport;
    }
    HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* description, const void*, ID3D11Texture2D** texture) override
    {
        m_Platform.calls.push_back("CreateTexture2D");
        m_Platform.textureDescriptions.push_back(*description);
        *texture = nullptr;
        if (Failed(Script().createTexture))
            return Script().createTexture;
        *texture = new FakeTexture(m_Platform, *description);
        return kResultOk;
    }
    BOOL SetMultithreadProtected(BOOL protect) override
    {
        m_Platform.multithreadProtected = protect != 0;
        return 0;
    }
    UINT GetVideoDecoderProfileCount() override { return static_cast<UINT>(Script().profiles.size()); }
    HRESULT GetVideoDecoderProfile(UINT index, GUID* profile) override
    {
        if (index >= Script().profiles.size() || Script().failingProfileIndices.count(index))
            return kResultFail;
        *profile = Script().profiles[index];
        return kResultOk;
    }
    HRESULT CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format, BOOL* supported) override
    {
        m_Platform.calls.push_back(*profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN ? "CheckVideoDecoderFormat(hevc)"
                                                                                              : "CheckVideoDecoderFormat(h264)");
        *supported = Script().nv12Supported && format == DXGI_FORMAT_NV12;
        return Script().checkFormat;
    }
    HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* description, UINT* count) override
    {
        m_Platform.calls.push_back("GetVideoDecoderConfigCount");
        bool known = std::find(Script().profiles.begin(), Script().profiles.end(), description->Guid) !=
                     Script().profiles.end();
        *count = known ? static_cast<UINT>(Script().configs.size()) : 0;
        return known ? Script().configCount : kResultInvalidArgument;
    }
    HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC*, UINT index,
                                  D3D11_VIDEO_DECODER_CONFIG* config) override
    {
        if (index >= Script().configs.size() || Script().failingConfigIndices.count(index))
            return kResultFail;
        *config = Script().configs[index];
        return kResultOk;
    }
    HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description, const D3D11_VIDEO_DECODER_CONFIG* config,
                               ID3D11VideoDecoder** decoder) override
    {
        m_Platform.calls.push_back("CreateVideoDecoder");
        m_Platform.decoderDescriptions.push_back(*description);
        m_Platform.decoderConfigs.push_back(*config);
        *decoder = nullptr;
        if (Failed(Script().createDecoder))
            return Script().createDecoder;
        *decoder = new FakeDecoder(m_Platform, *description, *config);
        return kResultOk;
    }
    HRESULT CreateVideoDecoderOutputView(ID3D11Resource*, const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description,
                                         ID3D11VideoDecoderOutputView** view) override
    {
        m_Platform.calls.push_back(Call("CreateVideoDecoderOutputView", description->Texture2D.ArraySlice));
        m_Platform.viewDescriptions.push_back(*description);
        *view = nullptr;
        if (static_cast<int>(description->Texture2D.ArraySlice) == Script().failingViewSlice)
            return kResultOutOfMemory;
        *view = new FakeView(m_Platform, *description);
        return kResultOk;
    }

    UINT m_Adapter;
};

class FakeContext : public FakeObject<ID3D11DeviceContext, ID3D11VideoContext> {
public:
    FakeContext(FakeVideoPlatform& platform, UINT adapter) : FakeObject(platform, Call("context", adapter)), m_Adapter(adapter) {}

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override
    {
        *object = nullptr;
        if (!(interfaceId == IID_ID3D11VideoContext))
            return kResultNoInterface;
        const AdapterScript& script = m_Platform.adapters[m_Adapter];
        if (Failed(script.queryVideoContext) || script.nullVideoContext)
            return script.queryVideoContext;
        AddRef();
        *object = static_cast<ID3D11VideoContext*>(this);
        return kResultOk;
    }
    HRESULT DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view, UINT,
                              const void*) override
    {
        ++m_Platform.beginFrameCalls;
        m_Platform.calls.push_back("DecoderBeginFrame");
        if (m_Platform.pendingBeginFrames != 0) {
            if (m_Platform.pendingBeginFrames > 0)
                --m_Platform.pendingBeginFrames;
            return kResultPending;
        }
        static_cast<FakeDecoder*>(decoder)->m_TargetSlice = static_cast<FakeView*>(view)->m_Description.Texture2D.ArraySlice;
        return kResultOk;
    }
    HRESULT GetDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type, UINT* size,
                             void** buffer) override
    {
        m_Platform.calls.push_back(Call("GetDecoderBuffer", type));
        auto failure = m_Platform.getBufferFailures.find(type);
        if (failure != m_Platform.getBufferFailures.end())
            return failure->second;
        std::vector<uint8_t>& memory = static_cast<FakeDecoder*>(decoder)->m_Buffers[type];
        // Filled with a marker so that bytes the decoder does not write stand out.
        memory.assign(m_Platform.bufferSizes[type], 0xCD);
        *size = static_cast<UINT>(memory.size());
        *buffer = memory.data();
        return kResultOk;
    }
    HRESULT ReleaseDecoderBuffer(ID3D11VideoDecoder*, D3D11_VIDEO_DECODER_BUFFER_TYPE type) override
    {
        m_Platform.calls.push_back(Call("ReleaseDecoderBuffer", type));
        auto failure = m_Platform.releaseBufferFailures.find(type);
        return failure != m_Platform.releaseBufferFailures.end() ? failure->second : kResultOk;
    }
    HRESULT SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT count,
                                 const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions) override
    {
        m_Platform.calls.push_back(Call("SubmitDecoderBuffers", count));
        if (Failed(m_Platform.submit))
            return m_Platform.submit;
        auto* fakeDecoder = static_cast<FakeDecoder*>(decoder);
        Submission submission;
        submission.targetSlice = fakeDecoder->m_TargetSlice;
        for (UINT index = 0; index < count; ++index) {
            submission.descriptions.push_back(descriptions[index]);
            const std::vector<uint8_t>& memory = fakeDecoder->m_Buffers[descriptions[index].BufferType];
            size_t size = std::min<size_t>(descriptions[index].DataSize, memory.size());
            submission.buffers[descriptions[index].BufferType].assign(memory.begin(), memory.begin() + size);
        }
        m_Platform.submissions.push_back(std::move(submission));
        return kResultOk;
    }
    HRESULT DecoderEndFrame(ID3D11VideoDecoder*) override
    {
        m_Platform.calls.push_back("DecoderEndFrame");
        return m_Platform.endFrame;
    }

    UINT m_Adapter;
};

}  // namespace

HRESULT FakeVideoPlatform::CreateDXGIFactory1(const GUID& interfaceId, void** factory)
{
    calls.push_back("CreateDXGIFactory1");
    *factory = nullptr;
    if (Failed(createFactory))
        return createFactory;
    if (!(interfaceId == IID_IDXGIFactory2))
        return kResultNoInterface;
    *factory = static_cast<IDXGIFactory2*>(new FakeFactory(*this));
    return kResultOk;
}

HRESULT FakeVideoPlatform::D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE, void*, UINT flags,
                                             const D3D_FEATURE_LEVEL*, UINT, UINT, ID3D11Device** device,
                                             D3D_FEATURE_LEVEL*, ID3D11DeviceContext** context)
{
    UINT index = static_cast<FakeAdapter*>(adapter)->m_Index;
    calls.push_back(Call("D3D11CreateDevice", index));
    createDeviceFlags.push_back(flags);
    *device = nullptr;
    *context = nullptr;
    if (Failed(adapters[index].createDevice))
        return adapters[index].createDevice;
    *device = static_cast<ID3D11Device*>(new FakeDevice(*this, index));
    *context = static_cast<ID3D11DeviceContext*>(new FakeContext(*this, index));
    return kResultOk;
}

BOOL FakeVideoPlatform::QueryPerformanceFrequency(int64_t* frequency)
{
    *frequency = frequencyAvailable ? 1000000000 : 0;
    return frequencyAvailable;
}

// The real clock: waits in the decoder are measured, not pretended.
BOOL FakeVideoPlatform::QueryPerformanceCounter(int64_t* counter)
{
    *counter = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count();
    return 1;
}

size_t FakeVideoPlatform::CallCount(const std::string& call) const
{
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

D3D11_VIDEO_DECODER_CONFIG Config(UINT bitstreamRaw, const GUID& encryption)
{
    D3D11_VIDEO_DECODER_CONFIG config = {};
    config.guidConfigBitstreamEncryption = encryption;
    config.ConfigBitstreamRaw = bitstreamRaw;
    return config;
}

AdapterScript CapableAdapter()
{
    AdapterScript adapter;
    adapter.profiles = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, D3D11_DECODER_PROFILE_HEVC_VLD_MAIN};
    adapter.configs = {Config(2)};
    return adapter;
}

}  // namespace fake
