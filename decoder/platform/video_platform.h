#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "decoder/platform/platform_types.h"

// The Direct3D 11 / DXGI operations the decoder uses, with the platform's
// names, argument order and HRESULT results. On Windows each one forwards to
// the real call; elsewhere the simulated device answers them; unit tests script
// them. The decoder's decision logic calls nothing but these.
namespace platform {

// Reference counting and interface queries as COM has them: every pointer an
// operation hands out carries one reference that the receiver releases.
class PlatformUnknown {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT QueryInterface(const GUID& interfaceId, void** object) = 0;

protected:
    virtual ~PlatformUnknown() = default;
};

class IDXGIAdapter1 : public PlatformUnknown {
public:
    virtual HRESULT GetDesc1(DXGI_ADAPTER_DESC1* description) = 0;
    // Asked with IID_IDXGIDevice, the user-mode driver's version a.b.c.d as
    // the four 16-bit words of `version`, a first; kResultDxgiUnsupported
    // where the adapter does not say.
    virtual HRESULT CheckInterfaceSupport(const GUID& interfaceName, int64_t* version) = 0;
};

class IDXGIFactory2 : public PlatformUnknown {
public:
    // kResultDxgiNotFound once the index passes the last adapter.
    virtual HRESULT EnumAdapters1(UINT index, IDXGIAdapter1** adapter) = 0;
};

class ID3D11Resource : public PlatformUnknown {};

class ID3D11Texture2D : public ID3D11Resource {
public:
    virtual void GetDesc(D3D11_TEXTURE2D_DESC* description) = 0;
};

class ID3D11Asynchronous : public PlatformUnknown {};

class ID3D11Query : public ID3D11Asynchronous {};

class ID3D11Device : public PlatformUnknown {
public:
    virtual HRESULT CheckFormatSupport(DXGI_FORMAT format, UINT* support) = 0;
    virtual HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* description, const void* initialData,
                                    ID3D11Texture2D** texture) = 0;
    virtual HRESULT CreateQuery(const D3D11_QUERY_DESC* description, ID3D11Query** query) = 0;
};

class ID3D11DeviceContext : public PlatformUnknown {
public:
    virtual void End(ID3D11Asynchronous* async) = 0;
    virtual void Flush() = 0;
    // kResultFalse while the query has not completed; an event query's data
    // is a BOOL, TRUE once every command before its End has finished.
    virtual HRESULT GetData(ID3D11Asynchronous* async, void* data, UINT dataSize, UINT flags) = 0;
};

class ID3D10Multithread : public PlatformUnknown {
public:
    virtual BOOL SetMultithreadProtected(BOOL protect) = 0;
};

class ID3D11VideoDecoder : public PlatformUnknown {
public:
    virtual HRESULT GetCreationParameters(D3D11_VIDEO_DECODER_DESC* description,
                                          D3D11_VIDEO_DECODER_CONFIG* config) = 0;
};

class ID3D11VideoDecoderOutputView : public PlatformUnknown {
public:
    virtual void GetDesc(D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description) = 0;
};

class ID3D11VideoDevice : public PlatformUnknown {
public:
    virtual UINT GetVideoDecoderProfileCount() = 0;
    virtual HRESULT GetVideoDecoderProfile(UINT index, GUID* profile) = 0;
    virtual HRESULT CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format, BOOL* supported) = 0;
    virtual HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* description, UINT* count) = 0;
    virtual HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC* description, UINT index,
                                          D3D11_VIDEO_DECODER_CONFIG* config) = 0;
    virtual HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description,
                                       const D3D11_VIDEO_DECODER_CONFIG* config, ID3D11VideoDecoder** decoder) = 0;
    virtual HRESULT CreateVideoDecoderOutputView(ID3D11Resource* resource,
                                                 const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description,
                                                 ID3D11VideoDecoderOutputView** view) = 0;
};

// The one call of ID3D11VideoDevice1 the capability probe makes. The device
// hands it out through QueryInterface beside its ID3D11VideoDevice, which
// stays the interface everything else uses; drivers without it answer
// kResultNoInterface.
class ID3D11VideoDevice1 : public PlatformUnknown {
public:
    virtual HRESULT GetVideoDecoderCaps(const GUID* profile, UINT sampleWidth, UINT sampleHeight,
                                        const DXGI_RATIONAL* frameRate, UINT bitRate, const GUID* cryptoType,
                                        UINT* decoderCaps) = 0;
};

class ID3D11VideoContext : public PlatformUnknown {
public:
    // kResultPending or kResultWasStillDrawing while the target surface is still in use.
    virtual HRESULT DecoderBeginFrame(ID3D11VideoDecoder* decoder, ID3D11VideoDecoderOutputView* view,
                                      UINT contentKeySize, const void* contentKey) = 0;
    virtual HRESULT GetDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type,
                                     UINT* bufferSize, void** buffer) = 0;
    virtual HRESULT ReleaseDecoderBuffer(ID3D11VideoDecoder* decoder, D3D11_VIDEO_DECODER_BUFFER_TYPE type) = 0;
    virtual HRESULT SubmitDecoderBuffers(ID3D11VideoDecoder* decoder, UINT bufferCount,
                                         const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions) = 0;
    virtual HRESULT DecoderEndFrame(ID3D11VideoDecoder* decoder) = 0;
};

// The free functions of the platform: factory, device creation and the
// performance counter.
class VideoPlatform {
public:
    virtual ~VideoPlatform() = default;

    virtual HRESULT CreateDXGIFactory1(const GUID& interfaceId, void** factory) = 0;
    virtual HRESULT D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void* software,
                                      UINT flags, const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount,
                                      UINT sdkVersion, ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                                      ID3D11DeviceContext** context) = 0;
    virtual BOOL QueryPerformanceFrequency(int64_t* frequency) = 0;
    virtual BOOL QueryPerformanceCounter(int64_t* counter) = 0;

    // The date of the adapter's installed display driver, "YYYY-MM-DD", found
    // by its PCI vendor and device ids; none where the system does not say.
    virtual std::optional<std::string> DriverDate(const DXGI_ADAPTER_DESC1&) { return std::nullopt; }
    // True for the simulated device: its adapters and driver are its own, no
    // vendor's, and its times the host side of the work only.
    virtual bool IsSimulated() const { return false; }
};

// Direct3D 11 on Windows, the simulated device elsewhere. Lives for the process.
VideoPlatform& DefaultVideoPlatform();
// The simulated device's test setting TARSEL_SIMULATED_DECODE_US: the
// microseconds it takes per picture; 0 when off, and always on Windows.
int64_t SimulatedDecodeMicroseconds();

// Releases and nulls an interface pointer if it is set.
template <typename Interface>
void SafeRelease(Interface*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

}  // namespace platform
