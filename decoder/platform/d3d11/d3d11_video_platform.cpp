// The platform on Windows: every operation forwards to Direct3D 11 / DXGI.
// Our records, enumerators and GUIDs are the SDK's byte for byte
// (d3d11_sdk_agreement.cpp proves it), so they cross by cast or by copy.
#include "decoder/platform/d3d11/d3d11_entry_points.h"
#include "decoder/platform/d3d11/display_driver.h"
#include "decoder/platform/reference_counted.h"
#include "decoder/platform/video_platform.h"

#include <cstring>
#include <type_traits>

#include <windows.h>
#include <d3d10.h>
#include <d3d11.h>
#include <d3d11_1.h>
#include <dxgi1_2.h>

namespace platform {

D3D11EntryPoints g_D3D11EntryPoints;

namespace {

// Our records are the SDK's, byte for byte: copy across.
template <typename To, typename From>
To Translate(const From& from)
{
    static_assert(sizeof(To) == sizeof(From));
    static_assert(std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>);
    To to;
    std::memcpy(&to, &from, sizeof(to));
    return to;
}

template <typename To, typename From>
const To* View(const From* from)
{
    static_assert(sizeof(To) == sizeof(From));
    return reinterpret_cast<const To*>(from);
}

const ::GUID& Native(const GUID& guid)
{
    return *View<::GUID>(&guid);
}

// Holds one SDK interface and releases it with the wrapper.
template <typename Native, typename... Interfaces>
class Wrapper : public ReferenceCounted<Interfaces...> {
public:
    explicit Wrapper(Native* native) : m_Native(native) {}
    ~Wrapper() override
    {
        if (m_Native)
            m_Native->Release();
    }
    HRESULT QueryInterface(const GUID&, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    Native* m_Native;
};

class D3DAdapter : public Wrapper<::IDXGIAdapter1, IDXGIAdapter1> {
public:
    using Wrapper::Wrapper;
    HRESULT GetDesc1(DXGI_ADAPTER_DESC1* description) override
    {
        ::DXGI_ADAPTER_DESC1 native = {};
        HRESULT result = m_Native->GetDesc1(&native);
        *description = Translate<DXGI_ADAPTER_DESC1>(native);
        return result;
    }
    HRESULT CheckInterfaceSupport(const GUID& interfaceName, int64_t* version) override
    {
        LARGE_INTEGER native = {};
        HRESULT result = m_Native->CheckInterfaceSupport(Native(interfaceName), &native);
        *version = native.QuadPart;
        return result;
    }
};

class D3DFactory : public Wrapper<::IDXGIFactory2, IDXGIFactory2> {
public:
    using Wrapper::Wrapper;
    HRESULT EnumAdapters1(UINT index, IDXGIAdapter1** adapter) override
    {
        ::IDXGIAdapter1* native = nullptr;
        HRESULT result = m_Native->EnumAdapters1(index, &native);
        *adapter = native ? new D3DAdapter(native) : nullptr;
        return result;
    }
};

class D3DTexture : public Wrapper<::ID3D11Texture2D, ID3D11Texture2D> {
public:
    using Wrapper::Wrapper;
    void GetDesc(D3D11_TEXTURE2D_DESC* description) override
    {
        ::D3D11_TEXTURE2D_DESC native = {};
        m_Native->GetDesc(&native);
        *description = Translate<D3D11_TEXTURE2D_DESC>(native);
    }
};

class D3DOutputView : public Wrapper<::ID3D11VideoDecoderOutputView, ID3D11VideoDecoderOutputView> {
public:
    using Wrapper::Wrapper;
    void GetDesc(D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description) override
    {
        ::D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC native = {};
        m_Native->GetDesc(&native);
        *description = Translate<D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC>(native);
    }
};

class D3DVideoDecoder : public Wrapper<::ID3D11VideoDecoder, ID3D11VideoDecoder> {
public:
    using Wrapper::Wrapper;
    HRESULT GetCreationParameters(D3D11_VIDEO_DECODER_DESC* description, D3D11_VIDEO_DECODER_CONFIG* config) override
    {
        ::D3D11_VIDEO_DECODER_DESC nativeDescription = {};
        ::D3D11_VIDEO_DECODER_CONFIG nativeConfig = {};
        HRESULT result = m_Native->GetCreationParameters(&nativeDescription, &nativeConfig);
        *description = Translate<D3D11_VIDEO_DECODER_DESC>(nativeDescription);
        *config = Translate<D3D11_VIDEO_DECODER_CONFIG>(nativeConfig);
        return result;
    }
};

class D3DQuery : public Wrapper<::ID3D11Query, ID3D11Query> {
public:
    using Wrapper::Wrapper;
};

// The decoder's asynchronous objects are all queries of ours.
::ID3D11Asynchronous* NativeAsynchronous(ID3D11Asynchronous* async)
{
    return static_cast<D3DQuery*>(static_cast<ID3D11Query*>(async))->m_Native;
}

::ID3D11VideoDecoder* NativeDecoder(ID3D11VideoDecoder* decoder)
{
    return static_cast<D3DVideoDecoder*>(decoder)->m_Native;
}

class D3DVideoDevice1 : public Wrapper<::ID3D11VideoDevice1, ID3D11VideoDevice1> {
public:
    using Wrapper::Wrapper;
    HRESULT GetVideoDecoderCaps(const GUID* profile, UINT sampleWidth, UINT sampleHeight, const DXGI_RATIONAL* frameRate,
                                UINT bitRate, const GUID* cryptoType, UINT* decoderCaps) override
    {
        return m_Native->GetVideoDecoderCaps(View<::GUID>(profile), sampleWidth, sampleHeight,
                                             View<::DXGI_RATIONAL>(frameRate), bitRate, View<::GUID>(cryptoType),
                                             decoderCaps);
    }
};

// A wrapper of its own, holding its own reference: the probe asks for it
// once per adapter and releases it at once.
HRESULT QueryVideoDevice1(::ID3D11Device* device, void** object)
{
    ::ID3D11VideoDevice1* native = nullptr;
    HRESULT result = device->QueryInterface(__uuidof(::ID3D11VideoDevice1), reinterpret_cast<void**>(&native));
    *object = native ? static_cast<ID3D11VideoDevice1*>(new D3DVideoDevice1(native)) : nullptr;
    return native ? S_OK : (FAILED(result) ? result : E_NOINTERFACE);
}

// The device and, once asked for, its video device and multithread
// interface, handed out as one object like the SDK's.
class D3DDevice : public Wrapper<::ID3D11Device, ID3D11Device, ID3D11VideoDevice, ID3D10Multithread> {
public:
    using Wrapper::Wrapper;
    ~D3DDevice() override
    {
        if (m_VideoDevice)
            m_VideoDevice->Release();
        if (m_Multithread)
            m_Multithread->Release();
    }

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override
    {
        *object = nullptr;
        if (interfaceId == IID_ID3D11VideoDevice1)  // capability probe
            return QueryVideoDevice1(m_Native, object);
        HRESULT result = E_NOINTERFACE;
        if (interfaceId == IID_ID3D11VideoDevice) {
            if (!m_VideoDevice)
                result = m_Native->QueryInterface(__uuidof(::ID3D11VideoDevice), reinterpret_cast<void**>(&m_VideoDevice));
            if (m_VideoDevice)
                *object = static_cast<ID3D11VideoDevice*>(this);
        } else if (interfaceId == IID_ID3D10Multithread) {
            if (!m_Multithread)
                result = m_Native->QueryInterface(__uuidof(::ID3D10Multithread), reinterpret_cast<void**>(&m_Multithread));
            if (m_Multithread)
                *object = static_cast<ID3D10Multithread*>(this);
        }
        if (!*object)
            return result;
        AddRef();
        return S_OK;
    }

    HRESULT CheckFormatSupport(DXGI_FORMAT format, UINT* support) override
    {
        return m_Native->CheckFormatSupport(static_cast<::DXGI_FORMAT>(format), support);
    }
    HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* description, const void*, ID3D11Texture2D** texture) override
    {
        ::ID3D11Texture2D* native = nullptr;
        HRESULT result = m_Native->CreateTexture2D(View<::D3D11_TEXTURE2D_DESC>(description), nullptr, &native);
        *texture = native ? new D3DTexture(native) : nullptr;
        return result;
    }
    HRESULT CreateQuery(const D3D11_QUERY_DESC* description, ID3D11Query** query) override
    {
        ::ID3D11Query* native = nullptr;
        HRESULT result = m_Native->CreateQuery(View<::D3D11_QUERY_DESC>(description), &native);
        *query = native ? new D3DQuery(native) : nullptr;
        return result;
    }
    BOOL SetMultithreadProtected(BOOL protect) override { return m_Multithread->SetMultithreadProtected(protect); }

    UINT GetVideoDecoderProfileCount() override { return m_VideoDevice->GetVideoDecoderProfileCount(); }
    HRESULT GetVideoDecoderProfile(UINT index, GUID* profile) override
    {
        return m_VideoDevice->GetVideoDecoderProfile(index, reinterpret_cast<::GUID*>(profile));
    }
    HRESULT CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format, BOOL* supported) override
    {
        return m_VideoDevice->CheckVideoDecoderFormat(&Native(*profile), static_cast<::DXGI_FORMAT>(format), supported);
    }
    HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* description, UINT* count) override
    {
        return m_VideoDevice->GetVideoDecoderConfigCount(View<::D3D11_VIDEO_DECODER_DESC>(description), count);
    }
    HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC* description, UINT index,
                                  D3D11_VIDEO_DECODER_CONFIG* config) override
    {
        return m_VideoDevice->GetVideoDecoderConfig(View<::D3D11_VIDEO_DECODER_DESC>(description), index,
                                                    reinterpret_cast<::D3D11_VIDEO_DECODER_CONFIG*>(config));
    }
    HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description, const D3D11_VIDEO_DECODER_CONFIG* config,
                               ID3D11VideoDecoder** decoder) override
    {
        ::ID3D11VideoDecoder* native = nullptr;
        HRESULT result = m_VideoDevice->CreateVideoDecoder(View<::D3D11_VIDEO_DECODER_DESC>(description),
                                                           View<::D3D11_VIDEO_DECODER_CONFIG>(config), &native);
        *decoder = native ? new D3DVideoDecoder(native) : nullptr;
        return result;
    }
    HRESULT CreateVideoDecoderOutputView(ID3D11Resource* resource,
                                         const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description,
                                         ID3D11VideoDecoderOutputView** view) override
    {
        ::ID3D11VideoDecoderOutputView* native = nullptr;
        HRESULT result = m_VideoDevice->CreateVideoDecoderOutputView(
            static_cast<D3DTexture*>(resource)->m_Native, View<::D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC>(description),
            &native);
        *view = native ? new D3DOutputView(native) : nullptr;
        return result;
    }

private:
    ::ID3D11VideoDevice* m_VideoDevice = nullptr;
    ::ID3D10Multithread* m_Multithread = nullptr;
};

class D3DContext : public Wrapper<::ID3D11DeviceContext, ID3D11DeviceContext, ID3D11VideoContext> {
public:
    using Wrapper::Wrapper;
    ~D3DContext() override
    {
        if (m_VideoContext)
            m_VideoContext->Release();
    }

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override
    {
        *object = nullptr;
        if (!(interfaceId == IID_ID3D11VideoContext))
            return E_NOINTERFACE;
        HRESULT result = S_OK;
        if (!m_VideoContext)
            result = m_Native->QueryInterface(__uuidof(::ID3D11VideoContext), reinterpret_cast<void**>(&m_VideoContext));
        if (!m_VideoContext)
            return result;
        AddRef();
        *object = static_cast<ID3D11VideoContext*>(this);
        return S_OK;
    }

    void End(ID3D11Asynchronous* async) override { m_Native->End(NativeAsynchronous(async)); }
    void Flush() override { m_Native->Flush(); }
    HRESULT GetData(ID3D11Asynchronous* async, void* data, UINT dataSize, UINT flags) override
    {
        return m_Native->GetData(NativeAsynchronous(async), data, dataSize, flags);
    }

    HRESULT DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view, UINT contentKeySize,
                              const void* contentKey) override
    {
        return m_VideoContext->DecoderBeginFrame(NativeDecoder(decoder), static_cast<D3DOutputView*>(view)->m_Native,
                                                 contentKeySize, contentKey);
    }
    HRESULT GetDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type, UINT* bufferSize,
                             void** buffer) override
    {
        return m_VideoContext->GetDecoderBuffer(NativeDecoder(decoder),
                                                static_cast<::D3D11_VIDEO_DECODER_BUFFER_TYPE>(type), bufferSize, buffer);
    }
    HRESULT ReleaseDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type) override
    {
        return m_VideoContext->ReleaseDecoderBuffer(NativeDecoder(decoder),
                                                    static_cast<::D3D11_VIDEO_DECODER_BUFFER_TYPE>(type));
    }
    HRESULT SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT bufferCount,
                                 const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions) override
    {
        return m_VideoContext->SubmitDecoderBuffers(NativeDecoder(decoder), bufferCount,
                                                    View<::D3D11_VIDEO_DECODER_BUFFER_DESC>(descriptions));
    }
    HRESULT DecoderEndFrame(ID3D11VideoDecoder* decoder) override
    {
        return m_VideoContext->DecoderEndFrame(NativeDecoder(decoder));
    }

private:
    ::ID3D11VideoContext* m_VideoContext = nullptr;
};

class D3D11VideoPlatform : public VideoPlatform {
public:
    HRESULT CreateDXGIFactory1(const GUID& interfaceId, void** factory) override
    {
        *factory = nullptr;
        ::IDXGIFactory2* native = nullptr;
        HRESULT result =
            g_D3D11EntryPoints.m_CreateDXGIFactory1(Native(interfaceId), reinterpret_cast<void**>(&native));
        if (native)
            *factory = static_cast<IDXGIFactory2*>(new D3DFactory(native));
        return result;
    }

    HRESULT D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void*, UINT flags,
                              const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                              ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                              ID3D11DeviceContext** context) override
    {
        ::ID3D11Device* nativeDevice = nullptr;
        ::ID3D11DeviceContext* nativeContext = nullptr;
        HRESULT result = g_D3D11EntryPoints.m_D3D11CreateDevice(
            adapter ? static_cast<D3DAdapter*>(adapter)->m_Native : nullptr, static_cast<::D3D_DRIVER_TYPE>(driverType),
            nullptr, flags, reinterpret_cast<const ::D3D_FEATURE_LEVEL*>(featureLevels), featureLevelCount, sdkVersion,
            &nativeDevice, reinterpret_cast<::D3D_FEATURE_LEVEL*>(featureLevel), &nativeContext);
        *device = nativeDevice ? static_cast<ID3D11Device*>(new D3DDevice(nativeDevice)) : nullptr;
        *context = nativeContext ? static_cast<ID3D11DeviceContext*>(new D3DContext(nativeContext)) : nullptr;
        return result;
    }

    BOOL QueryPerformanceFrequency(int64_t* frequency) override
    {
        LARGE_INTEGER value = {};
        BOOL result = ::QueryPerformanceFrequency(&value);
        *frequency = value.QuadPart;
        return result;
    }

    BOOL QueryPerformanceCounter(int64_t* counter) override
    {
        LARGE_INTEGER value = {};
        BOOL result = ::QueryPerformanceCounter(&value);
        *counter = value.QuadPart;
        return result;
    }

    std::optional<std::string> DriverDate(const DXGI_ADAPTER_DESC1& description) override
    {
        return DisplayDriverDate(description.VendorId, description.DeviceId);
    }
};

}  // namespace

VideoPlatform& DefaultVideoPlatform()
{
    static D3D11VideoPlatform direct3d;
    return direct3d;
}

}  // namespace platform
