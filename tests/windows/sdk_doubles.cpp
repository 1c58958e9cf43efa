#include "sdk_doubles.h"

#include <type_traits>

#include "com_object.h"
#include "decoder/platform/simulated_video_device.h"

namespace sdk_doubles {

int g_AcceptedSubmissions = 0;

namespace {

platform::SimulatedVideoPlatform g_Simulated;

// Our records and enumerations are the SDK's byte for byte (the layer proves
// it at compile time), so an SDK value or record pointer converts to ours.
template <typename Sdk>
struct Ours {
    Sdk value;
    template <typename Our>
    operator Our() const
    {
        if constexpr (std::is_pointer_v<Our>)
            return reinterpret_cast<Our>(value);
        else
            return static_cast<Our>(value);
    }
};

// The simulated object behind one of our doubles; null for anyone else's
// object, which the simulated device then refuses.
template <typename Double, typename Sdk>
auto BackingOf(Sdk* object)
{
    auto* own = dynamic_cast<Double*>(object);
    return own ? own->m_Backing : nullptr;
}

// Hands out a double over what a simulated call handed out, if anything.
// `backing` is a reference so that it is read after the call has filled it.
template <typename Double, typename Sdk, typename Backing>
HRESULT HandOut(HRESULT result, Backing* const& backing, Sdk** object)
{
    *object = backing ? new Double(backing) : nullptr;
    return result;
}

template <typename Wanted>
Wanted* QueryBacking(platform::PlatformUnknown* backing, const platform::GUID& interfaceId)
{
    void* object = nullptr;
    backing->QueryInterface(interfaceId, &object);
    return static_cast<Wanted*>(object);
}

class Adapter : public DxgiObject<platform::IDXGIAdapter1, IDXGIAdapter1> {
public:
    using DxgiObject::DxgiObject;
    HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_ADAPTER_DESC1* description) override
    {
        return m_Backing->GetDesc1(Ours{description});
    }
    NOT_IMPLEMENTED(EnumOutputs, UINT, IDXGIOutput**)
    NOT_IMPLEMENTED(GetDesc, DXGI_ADAPTER_DESC*)
    NOT_IMPLEMENTED(CheckInterfaceSupport, REFGUID, LARGE_INTEGER*)
};

class Factory : public DxgiObject<platform::IDXGIFactory2, IDXGIFactory2> {
public:
    using DxgiObject::DxgiObject;
    HRESULT STDMETHODCALLTYPE EnumAdapters1(UINT index, IDXGIAdapter1** adapter) override
    {
        platform::IDXGIAdapter1* simulated = nullptr;
        return HandOut<Adapter>(m_Backing->EnumAdapters1(index, &simulated), simulated, adapter);
    }
    NOT_IMPLEMENTED(EnumAdapters, UINT, IDXGIAdapter**)
    NOT_IMPLEMENTED(MakeWindowAssociation, HWND, UINT)
    NOT_IMPLEMENTED(GetWindowAssociation, HWND*)
    NOT_IMPLEMENTED(CreateSwapChain, IUnknown*, DXGI_SWAP_CHAIN_DESC*, IDXGISwapChain**)
    NOT_IMPLEMENTED(CreateSoftwareAdapter, HMODULE, IDXGIAdapter**)
    DOES_NOTHING(WINBOOL, IsCurrent)
    DOES_NOTHING(WINBOOL, IsWindowedStereoEnabled)
    NOT_IMPLEMENTED(CreateSwapChainForHwnd, IUnknown*, HWND, const DXGI_SWAP_CHAIN_DESC1*, const DXGI_SWAP_CHAIN_FULLSCREEN_DESC*, IDXGIOutput*, IDXGISwapChain1**)
    NOT_IMPLEMENTED(CreateSwapChainForCoreWindow, IUnknown*, IUnknown*, const DXGI_SWAP_CHAIN_DESC1*, IDXGIOutput*, IDXGISwapChain1**)
    NOT_IMPLEMENTED(GetSharedResourceAdapterLuid, HANDLE, LUID*)
    NOT_IMPLEMENTED(RegisterStereoStatusWindow, HWND, UINT, DWORD*)
    NOT_IMPLEMENTED(RegisterStereoStatusEvent, HANDLE, DWORD*)
    DOES_NOTHING(void, UnregisterStereoStatus, DWORD)
    NOT_IMPLEMENTED(RegisterOcclusionStatusWindow, HWND, UINT, DWORD*)
    NOT_IMPLEMENTED(RegisterOcclusionStatusEvent, HANDLE, DWORD*)
    DOES_NOTHING(void, UnregisterOcclusionStatus, DWORD)
    NOT_IMPLEMENTED(CreateSwapChainForComposition, IUnknown*, const DXGI_SWAP_CHAIN_DESC1*, IDXGIOutput*, IDXGISwapChain1**)
};

class Texture : public DeviceChild<platform::ID3D11Texture2D, ID3D11Texture2D> {
public:
    using DeviceChild::DeviceChild;
    DOES_NOTHING(void, GetDesc, D3D11_TEXTURE2D_DESC*)
    DOES_NOTHING(void, GetType, D3D11_RESOURCE_DIMENSION*)
    DOES_NOTHING(void, SetEvictionPriority, UINT)
    DOES_NOTHING(UINT, GetEvictionPriority)
};

class OutputView : public DeviceChild<platform::ID3D11VideoDecoderOutputView, ID3D11VideoDecoderOutputView> {
public:
    using DeviceChild::DeviceChild;
    DOES_NOTHING(void, GetDesc, D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC*)
    DOES_NOTHING(void, GetResource, ID3D11Resource**)
};

class VideoDecoder : public DeviceChild<platform::ID3D11VideoDecoder, ID3D11VideoDecoder> {
public:
    using DeviceChild::DeviceChild;
    NOT_IMPLEMENTED(GetCreationParameters, D3D11_VIDEO_DECODER_DESC*, D3D11_VIDEO_DECODER_CONFIG*)
    NOT_IMPLEMENTED(GetDriverHandle, HANDLE*)
};

// Device, video device and multithread interface are one object, as in Direct3D.
class Device : public ComObject<platform::ID3D11Device, ID3D11Device, ID3D11VideoDevice, ID3D10Multithread> {
public:
    explicit Device(platform::ID3D11Device* backing)
        : ComObject(backing),
          m_Video(QueryBacking<platform::ID3D11VideoDevice>(backing, platform::IID_ID3D11VideoDevice)),
          m_Multithread(QueryBacking<platform::ID3D10Multithread>(backing, platform::IID_ID3D10Multithread))
    {
    }
    ~Device() override
    {
        m_Video->Release();
        m_Multithread->Release();
    }

    HRESULT STDMETHODCALLTYPE CheckFormatSupport(DXGI_FORMAT format, UINT* support) override
    {
        return m_Backing->CheckFormatSupport(Ours{format}, support);
    }
    HRESULT STDMETHODCALLTYPE CreateTexture2D(const D3D11_TEXTURE2D_DESC* description,
                                              const D3D11_SUBRESOURCE_DATA* initialData,
                                              ID3D11Texture2D** texture) override
    {
        platform::ID3D11Texture2D* simulated = nullptr;
        return HandOut<Texture>(m_Backing->CreateTexture2D(Ours{description}, initialData, &simulated), simulated,
                                texture);
    }
    WINBOOL STDMETHODCALLTYPE SetMultithreadProtected(WINBOOL protect) override
    {
        return m_Multithread->SetMultithreadProtected(protect);
    }

    UINT STDMETHODCALLTYPE GetVideoDecoderProfileCount() override { return m_Video->GetVideoDecoderProfileCount(); }
    HRESULT STDMETHODCALLTYPE GetVideoDecoderProfile(UINT index, GUID* profile) override
    {
        return m_Video->GetVideoDecoderProfile(index, Ours{profile});
    }
    HRESULT STDMETHODCALLTYPE CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format,
                                                      WINBOOL* supported) override
    {
        return m_Video->CheckVideoDecoderFormat(Ours{profile}, Ours{format}, supported);
    }
    HRESULT STDMETHODCALLTYPE GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* description,
                                                         UINT* count) override
    {
        return m_Video->GetVideoDecoderConfigCount(Ours{description}, count);
    }
    HRESULT STDMETHODCALLTYPE GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC* description, UINT index,
                                                    D3D11_VIDEO_DECODER_CONFIG* config) override
    {
        return m_Video->GetVideoDecoderConfig(Ours{description}, index, Ours{config});
    }
    HRESULT STDMETHODCALLTYPE CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description,
                                                 const D3D11_VIDEO_DECODER_CONFIG* config,
                                                 ID3D11VideoDecoder** decoder) override
    {
        platform::ID3D11VideoDecoder* simulated = nullptr;
        return HandOut<VideoDecoder>(m_Video->CreateVideoDecoder(Ours{description}, Ours{config}, &simulated),
                                     simulated, decoder);
    }
    HRESULT STDMETHODCALLTYPE CreateVideoDecoderOutputView(ID3D11Resource* resource,
                                                           const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description,
                                                           ID3D11VideoDecoderOutputView** view) override
    {
        platform::ID3D11VideoDecoderOutputView* simulated = nullptr;
        HRESULT result =
            m_Video->CreateVideoDecoderOutputView(BackingOf<Texture>(resource), Ours{description}, &simulated);
        return HandOut<OutputView>(result, simulated, view);
    }

    // ID3D11Device
    NOT_IMPLEMENTED(CreateBuffer, const D3D11_BUFFER_DESC*, const D3D11_SUBRESOURCE_DATA*, ID3D11Buffer**)
    NOT_IMPLEMENTED(CreateTexture1D, const D3D11_TEXTURE1D_DESC*, const D3D11_SUBRESOURCE_DATA*, ID3D11Texture1D**)
    NOT_IMPLEMENTED(CreateTexture3D, const D3D11_TEXTURE3D_DESC*, const D3D11_SUBRESOURCE_DATA*, ID3D11Texture3D**)
    NOT_IMPLEMENTED(CreateShaderResourceView, ID3D11Resource*, const D3D11_SHADER_RESOURCE_VIEW_DESC*, ID3D11ShaderResourceView**)
    NOT_IMPLEMENTED(CreateUnorderedAccessView, ID3D11Resource*, const D3D11_UNORDERED_ACCESS_VIEW_DESC*, ID3D11UnorderedAccessView**)
    NOT_IMPLEMENTED(CreateRenderTargetView, ID3D11Resource*, const D3D11_RENDER_TARGET_VIEW_DESC*, ID3D11RenderTargetView**)
    NOT_IMPLEMENTED(CreateDepthStencilView, ID3D11Resource*, const D3D11_DEPTH_STENCIL_VIEW_DESC*, ID3D11DepthStencilView**)
    NOT_IMPLEMENTED(CreateInputLayout, const D3D11_INPUT_ELEMENT_DESC*, UINT, const void*, SIZE_T, ID3D11InputLayout**)
    NOT_IMPLEMENTED(CreateVertexShader, const void*, SIZE_T, ID3D11ClassLinkage*, ID3D11VertexShader**)
    NOT_IMPLEMENTED(CreateGeometryShader, const void*, SIZE_T, ID3D11ClassLinkage*, ID3D11GeometryShader**)
    NOT_IMPLEMENTED(CreateGeometryShaderWithStreamOutput, const void*, SIZE_T, const D3D11_SO_DECLARATION_ENTRY*, UINT, const UINT*, UINT, UINT, ID3D11ClassLinkage*, ID3D11GeometryShader**)
    NOT_IMPLEMENTED(CreatePixelShader, const void*, SIZE_T, ID3D11ClassLinkage*, ID3D11PixelShader**)
    NOT_IMPLEMENTED(CreateHullShader, const void*, SIZE_T, ID3D11ClassLinkage*, ID3D11HullShader**)
    NOT_IMPLEMENTED(CreateDomainShader, const void*, SIZE_T, ID3D11ClassLinkage*, ID3D11DomainShader**)
    NOT_IMPLEMENTED(CreateComputeShader, const void*, SIZE_T, ID3D11ClassLinkage*, ID3D11ComputeShader**)
    NOT_IMPLEMENTED(CreateClassLinkage, ID3D11ClassLinkage**)
    NOT_IMPLEMENTED(CreateBlendState, const D3D11_BLEND_DESC*, ID3D11BlendState**)
    NOT_IMPLEMENTED(CreateDepthStencilState, const D3D11_DEPTH_STENCIL_DESC*, ID3D11DepthStencilState**)
    NOT_IMPLEMENTED(CreateRasterizerState, const D3D11_RASTERIZER_DESC*, ID3D11RasterizerState**)
    NOT_IMPLEMENTED(CreateSamplerState, const D3D11_SAMPLER_DESC*, ID3D11SamplerState**)
    NOT_IMPLEMENTED(CreateQuery, const D3D11_QUERY_DESC*, ID3D11Query**)
    NOT_IMPLEMENTED(CreatePredicate, const D3D11_QUERY_DESC*, ID3D11Predicate**)
    NOT_IMPLEMENTED(CreateCounter, const D3D11_COUNTER_DESC*, ID3D11Counter**)
    NOT_IMPLEMENTED(CreateDeferredContext, UINT, ID3D11DeviceContext**)
    NOT_IMPLEMENTED(OpenSharedResource, HANDLE, REFIID, void**)
    NOT_IMPLEMENTED(CheckMultisampleQualityLevels, DXGI_FORMAT, UINT, UINT*)
    DOES_NOTHING(void, CheckCounterInfo, D3D11_COUNTER_INFO*)
    NOT_IMPLEMENTED(CheckCounter, const D3D11_COUNTER_DESC*, D3D11_COUNTER_TYPE*, UINT*, LPSTR, UINT*, LPSTR, UINT*, LPSTR, UINT*)
    NOT_IMPLEMENTED(CheckFeatureSupport, D3D11_FEATURE, void*, UINT)
    NOT_IMPLEMENTED(GetPrivateData, REFGUID, UINT*, void*)
    NOT_IMPLEMENTED(SetPrivateData, REFGUID, UINT, const void*)
    NOT_IMPLEMENTED(SetPrivateDataInterface, REFGUID, const IUnknown*)
    DOES_NOTHING(D3D_FEATURE_LEVEL, GetFeatureLevel)
    DOES_NOTHING(UINT, GetCreationFlags)
    NOT_IMPLEMENTED(GetDeviceRemovedReason)
    DOES_NOTHING(void, GetImmediateContext, ID3D11DeviceContext**)
    NOT_IMPLEMENTED(SetExceptionMode, UINT)
    DOES_NOTHING(UINT, GetExceptionMode)
    // ID3D11VideoDevice
    NOT_IMPLEMENTED(CreateVideoProcessor, ID3D11VideoProcessorEnumerator*, UINT, ID3D11VideoProcessor**)
    NOT_IMPLEMENTED(CreateAuthenticatedChannel, D3D11_AUTHENTICATED_CHANNEL_TYPE, ID3D11AuthenticatedChannel**)
    NOT_IMPLEMENTED(CreateCryptoSession, const GUID*, const GUID*, const GUID*, ID3D11CryptoSession**)
    NOT_IMPLEMENTED(CreateVideoProcessorInputView, ID3D11Resource*, ID3D11VideoProcessorEnumerator*, const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC*, ID3D11VideoProcessorInputView**)
    NOT_IMPLEMENTED(CreateVideoProcessorOutputView, ID3D11Resource*, ID3D11VideoProcessorEnumerator*, const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC*, ID3D11VideoProcessorOutputView**)
    NOT_IMPLEMENTED(CreateVideoProcessorEnumerator, const D3D11_VIDEO_PROCESSOR_CONTENT_DESC*, ID3D11VideoProcessorEnumerator**)
    NOT_IMPLEMENTED(GetContentProtectionCaps, const GUID*, const GUID*, D3D11_VIDEO_CONTENT_PROTECTION_CAPS*)
    NOT_IMPLEMENTED(CheckCryptoKeyExchange, const GUID*, const GUID*, UINT, GUID*)
    // ID3D10Multithread
    DOES_NOTHING(void, Enter)
    DOES_NOTHING(void, Leave)
    DOES_NOTHING(WINBOOL, GetMultithreadProtected)

private:
    platform::ID3D11VideoDevice* const m_Video;
    platform::ID3D10Multithread* const m_Multithread;
};

class VideoContext : public DeviceChild<platform::ID3D11DeviceContext, ID3D11VideoContext> {
public:
    explicit VideoContext(platform::ID3D11DeviceContext* backing)
        : DeviceChild(backing),
          m_Video(QueryBacking<platform::ID3D11VideoContext>(backing, platform::IID_ID3D11VideoContext))
    {
    }
    ~VideoContext() override { m_Video->Release(); }

    HRESULT STDMETHODCALLTYPE DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view,
                                                UINT contentKeySize, const void* contentKey) override
    {
        return m_Video->DecoderBeginFrame(BackingOf<VideoDecoder>(decoder), BackingOf<OutputView>(view),
                                          contentKeySize, contentKey);
    }
    HRESULT STDMETHODCALLTYPE GetDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type,
                                               UINT* bufferSize, void** buffer) override
    {
        return m_Video->GetDecoderBuffer(BackingOf<VideoDecoder>(decoder), Ours{type}, bufferSize, buffer);
    }
    HRESULT STDMETHODCALLTYPE ReleaseDecoderBuffer(ID3D11VideoDecoder* decoder,
                                                   D3D11_VIDEO_DECODER_BUFFER_TYPE type) override
    {
        return m_Video->ReleaseDecoderBuffer(BackingOf<VideoDecoder>(decoder), Ours{type});
    }
    HRESULT STDMETHODCALLTYPE SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT bufferCount,
                                                   const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions) override
    {
        HRESULT result =
            m_Video->SubmitDecoderBuffers(BackingOf<VideoDecoder>(decoder), bufferCount, Ours{descriptions});
        g_AcceptedSubmissions += SUCCEEDED(result) ? 1 : 0;
        return result;
    }
    HRESULT STDMETHODCALLTYPE DecoderEndFrame(ID3D11VideoDecoder* decoder) override
    {
        return m_Video->DecoderEndFrame(BackingOf<VideoDecoder>(decoder));
    }

    NOT_IMPLEMENTED(DecoderExtension, ID3D11VideoDecoder*, const D3D11_VIDEO_DECODER_EXTENSION*)
    DOES_NOTHING(void, VideoProcessorSetOutputTargetRect, ID3D11VideoProcessor*, WINBOOL, const RECT*)
    DOES_NOTHING(void, VideoProcessorSetOutputBackgroundColor, ID3D11VideoProcessor*, WINBOOL, const D3D11_VIDEO_COLOR*)
    DOES_NOTHING(void, VideoProcessorSetOutputColorSpace, ID3D11VideoProcessor*, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE*)
    DOES_NOTHING(void, VideoProcessorSetOutputAlphaFillMode, ID3D11VideoProcessor*, D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE, UINT)
    DOES_NOTHING(void, VideoProcessorSetOutputConstriction, ID3D11VideoProcessor*, WINBOOL, SIZE)
    DOES_NOTHING(void, VideoProcessorSetOutputStereoMode, ID3D11VideoProcessor*, WINBOOL)
    NOT_IMPLEMENTED(VideoProcessorSetOutputExtension, ID3D11VideoProcessor*, const GUID*, UINT, void*)
    DOES_NOTHING(void, VideoProcessorGetOutputTargetRect, ID3D11VideoProcessor*, WINBOOL*, RECT*)
    DOES_NOTHING(void, VideoProcessorGetOutputBackgroundColor, ID3D11VideoProcessor*, WINBOOL*, D3D11_VIDEO_COLOR*)
    DOES_NOTHING(void, VideoProcessorGetOutputColorSpace, ID3D11VideoProcessor*, D3D11_VIDEO_PROCESSOR_COLOR_SPACE*)
    DOES_NOTHING(void, VideoProcessorGetOutputAlphaFillMode, ID3D11VideoProcessor*, D3D11_VIDEO_PROCESSOR_ALPHA_FILL_MODE*, UINT*)
    DOES_NOTHING(void, VideoProcessorGetOutputConstriction, ID3D11VideoProcessor*, WINBOOL*, SIZE*)
    DOES_NOTHING(void, VideoProcessorGetOutputStereoMode, ID3D11VideoProcessor*, WINBOOL*)
    NOT_IMPLEMENTED(VideoProcessorGetOutputExtension, ID3D11VideoProcessor*, const GUID*, UINT, void*)
    DOES_NOTHING(void, VideoProcessorSetStreamFrameFormat, ID3D11VideoProcessor*, UINT, D3D11_VIDEO_FRAME_FORMAT)
    DOES_NOTHING(void, VideoProcessorSetStreamColorSpace, ID3D11VideoProcessor*, UINT, const D3D11_VIDEO_PROCESSOR_COLOR_SPACE*)
    DOES_NOTHING(void, VideoProcessorSetStreamOutputRate, ID3D11VideoProcessor*, UINT, D3D11_VIDEO_PROCESSOR_OUTPUT_RATE, WINBOOL, const DXGI_RATIONAL*)
    DOES_NOTHING(void, VideoProcessorSetStreamSourceRect, ID3D11VideoProcessor*, UINT, WINBOOL, const RECT*)
    DOES_NOTHING(void, VideoProcessorSetStreamDestRect, ID3D11VideoProcessor*, UINT, WINBOOL, const RECT*)
    DOES_NOTHING(void, VideoProcessorSetStreamAlpha, ID3D11VideoProcessor*, UINT, WINBOOL, float)
    DOES_NOTHING(void, VideoProcessorSetStreamPalette, ID3D11VideoProcessor*, UINT, UINT, const UINT*)
    DOES_NOTHING(void, VideoProcessorSetStreamPixelAspectRatio, ID3D11VideoProcessor*, UINT, WINBOOL, const DXGI_RATIONAL*, const DXGI_RATIONAL*)
    DOES_NOTHING(void, VideoProcessorSetStreamLumaKey, ID3D11VideoProcessor*, UINT, WINBOOL, float, float)
    DOES_NOTHING(void, VideoProcessorSetStreamStereoFormat, ID3D11VideoProcessor*, UINT, WINBOOL, D3D11_VIDEO_PROCESSOR_STEREO_FORMAT, WINBOOL, WINBOOL, D3D11_VIDEO_PROCESSOR_STEREO_FLIP_MODE, int)
    DOES_NOTHING(void, VideoProcessorSetStreamAutoProcessingMode, ID3D11VideoProcessor*, UINT, WINBOOL)
    DOES_NOTHING(void, VideoProcessorSetStreamFilter, ID3D11VideoProcessor*, UINT, D3D11_VIDEO_PROCESSOR_FILTER, WINBOOL, int)
    NOT_IMPLEMENTED(VideoProcessorSetStreamExtension, ID3D11VideoProcessor*, UINT, const GUID*, UINT, void*)
    DOES_NOTHING(void, VideoProcessorGetStreamFrameFormat, ID3D11VideoProcessor*, UINT, D3D11_VIDEO_FRAME_FORMAT*)
    DOES_NOTHING(void, VideoProcessorGetStreamColorSpace, ID3D11VideoProcessor*, UINT, D3D11_VIDEO_PROCESSOR_COLOR_SPACE*)
    DOES_NOTHING(void, VideoProcessorGetStreamOutputRate, ID3D11VideoProcessor*, UINT, D3D11_VIDEO_PROCESSOR_OUTPUT_RATE*, WINBOOL*, DXGI_RATIONAL*)
    DOES_NOTHING(void, VideoProcessorGetStreamSourceRect, ID3D11VideoProcessor*, UINT, WINBOOL*, RECT*)
    DOES_NOTHING(void, VideoProcessorGetStreamDestRect, ID3D11VideoProcessor*, UINT, WINBOOL*, RECT*)
    DOES_NOTHING(void, VideoProcessorGetStreamAlpha, ID3D11VideoProcessor*, UINT, WINBOOL*, float*)
    DOES_NOTHING(void, VideoProcessorGetStreamPalette, ID3D11VideoProcessor*, UINT, UINT, UINT*)
    DOES_NOTHING(void, VideoProcessorGetStreamPixelAspectRatio, ID3D11VideoProcessor*, UINT, WINBOOL*, DXGI_RATIONAL*, DXGI_RATIONAL*)
    DOES_NOTHING(void, VideoProcessorGetStreamLumaKey, ID3D11VideoProcessor*, UINT, WINBOOL*, float*, float*)
    DOES_NOTHING(void, VideoProcessorGetStreamStereoFormat, ID3D11VideoProcessor*, UINT, WINBOOL*, D3D11_VIDEO_PROCESSOR_STEREO_FORMAT*, WINBOOL*, WINBOOL*, D3D11_VIDEO_PROCESSOR_STEREO_FLIP_MODE*, int*)
    DOES_NOTHING(void, VideoProcessorGetStreamAutoProcessingMode, ID3D11VideoProcessor*, UINT, WINBOOL*)
    DOES_NOTHING(void, VideoProcessorGetStreamFilter, ID3D11VideoProcessor*, UINT, D3D11_VIDEO_PROCESSOR_FILTER, WINBOOL*, int*)
    NOT_IMPLEMENTED(VideoProcessorGetStreamExtension, ID3D11VideoProcessor*, UINT, const GUID*, UINT, void*)
    NOT_IMPLEMENTED(VideoProcessorBlt, ID3D11VideoProcessor*, ID3D11VideoProcessorOutputView*, UINT, UINT, const D3D11_VIDEO_PROCESSOR_STREAM*)
    NOT_IMPLEMENTED(NegotiateCryptoSessionKeyExchange, ID3D11CryptoSession*, UINT, void*)
    DOES_NOTHING(void, EncryptionBlt, ID3D11CryptoSession*, ID3D11Texture2D*, ID3D11Texture2D*, UINT, void*)
    DOES_NOTHING(void, DecryptionBlt, ID3D11CryptoSession*, ID3D11Texture2D*, ID3D11Texture2D*, D3D11_ENCRYPTED_BLOCK_INFO*, UINT, const void*, UINT, void*)
    DOES_NOTHING(void, StartSessionKeyRefresh, ID3D11CryptoSession*, UINT, void*)
    DOES_NOTHING(void, FinishSessionKeyRefresh, ID3D11CryptoSession*)
    NOT_IMPLEMENTED(GetEncryptionBltKey, ID3D11CryptoSession*, UINT, void*)
    NOT_IMPLEMENTED(NegotiateAuthenticatedChannelKeyExchange, ID3D11AuthenticatedChannel*, UINT, void*)
    NOT_IMPLEMENTED(QueryAuthenticatedChannel, ID3D11AuthenticatedChannel*, UINT, const void*, UINT, void*)
    NOT_IMPLEMENTED(ConfigureAuthenticatedChannel, ID3D11AuthenticatedChannel*, UINT, const void*, D3D11_AUTHENTICATED_CONFIGURE_OUTPUT*)
    DOES_NOTHING(void, VideoProcessorSetStreamRotation, ID3D11VideoProcessor*, UINT, WINBOOL, D3D11_VIDEO_PROCESSOR_ROTATION)
    DOES_NOTHING(void, VideoProcessorGetStreamRotation, ID3D11VideoProcessor*, UINT, WINBOOL*, D3D11_VIDEO_PROCESSOR_ROTATION*)

private:
    platform::ID3D11VideoContext* const m_Video;
};

}  // namespace

HRESULT WINAPI CreateDXGIFactory1(REFIID interfaceId, void** factory)
{
    const platform::GUID* ours = Ours{&interfaceId};
    void* simulated = nullptr;
    HRESULT result = g_Simulated.CreateDXGIFactory1(*ours, &simulated);
    auto* backing = static_cast<platform::IDXGIFactory2*>(simulated);
    return HandOut<Factory>(result, backing, reinterpret_cast<IDXGIFactory2**>(factory));
}

HRESULT WINAPI D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                                 const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                                 ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel, ID3D11DeviceContext** context)
{
    platform::ID3D11Device* simulatedDevice = nullptr;
    platform::ID3D11DeviceContext* simulatedContext = nullptr;
    HRESULT result = g_Simulated.D3D11CreateDevice(BackingOf<Adapter>(adapter), Ours{driverType}, software, flags,
                                                   Ours{featureLevels}, featureLevelCount, sdkVersion, &simulatedDevice,
                                                   Ours{featureLevel}, &simulatedContext);
    HandOut<Device>(result, simulatedDevice, device);
    // The layer asks its immediate context for its video context and nothing
    // else, so the video context double stands in for it: QueryInterface and
    // Release sit first in every COM interface's table. Any other call of the
    // layer's on the immediate context would crash here instead of passing.
    *context = simulatedContext ? reinterpret_cast<ID3D11DeviceContext*>(
                                      static_cast<ID3D11VideoContext*>(new VideoContext(simulatedContext)))
                                : nullptr;
    return result;
}

}  // namespace sdk_doubles
