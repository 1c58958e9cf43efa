#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "decoder/platform/video_platform.h"

// A scriptable stand-in for the platform: each test says what the adapters
// offer and which calls fail, then reads back the calls made and the buffers
// submitted.
namespace fake {

using namespace platform;

struct AdapterScript {
    std::u16string name = u"Fake adapter";
    UINT vendorId = 0x1234;
    UINT deviceId = 0x5678;
    HRESULT createDevice = kResultOk;
    HRESULT queryVideoDevice = kResultOk;
    HRESULT queryVideoContext = kResultOk;
    bool nullVideoContext = false;   // the context query succeeds but yields nothing
    HRESULT queryMultithread = kResultOk;
    std::vector<GUID> profiles;
    std::set<UINT> failingProfileIndices;
    HRESULT checkFormat = kResultOk;
    bool nv12Supported = true;
    std::vector<D3D11_VIDEO_DECODER_CONFIG> configs;
    HRESULT configCount = kResultOk;
    std::set<UINT> failingConfigIndices;
    HRESULT createDecoder = kResultOk;
    HRESULT checkFormatSupport = kResultOk;
    UINT formatSupport = D3D11_FORMAT_SUPPORT_SHADER_SAMPLE;
    HRESULT createTexture = kResultOk;
    int failingViewSlice = -1;
};

// One accepted SubmitDecoderBuffers call.
struct Submission {
    std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC> descriptions;
    std::map<UINT, std::vector<uint8_t>> buffers;   // by type, DataSize bytes
    UINT targetSlice = 0;
};

class FakeVideoPlatform : public VideoPlatform {
public:
    HRESULT CreateDXGIFactory1(const GUID& interfaceId, void** factory) override;
    HRESULT D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void* software, UINT flags,
                              const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                              ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                              ID3D11DeviceContext** context) override;
    BOOL QueryPerformanceFrequency(int64_t* frequency) override;
    BOOL QueryPerformanceCounter(int64_t* counter) override;

    // Script.
    HRESULT createFactory = kResultOk;
    std::vector<AdapterScript> adapters;
    bool frequencyAvailable = true;
    int pendingBeginFrames = 0;   // kResultPending this many times; negative: for ever
    std::map<UINT, UINT> bufferSizes = {{0, 4096}, {4, 4096}, {5, 256 * 864}, {6, 1 << 20}};
    std::map<UINT, HRESULT> getBufferFailures;
    std::map<UINT, HRESULT> releaseBufferFailures;
    HRESULT submit = kResultOk;
    HRESULT endFrame = kResultOk;

    // Record.
    std::vector<std::string> calls;
    std::vector<Submission> submissions;
    std::vector<D3D11_VIDEO_DECODER_DESC> decoderDescriptions;
    std::vector<D3D11_VIDEO_DECODER_CONFIG> decoderConfigs;
    std::vector<D3D11_TEXTURE2D_DESC> textureDescriptions;
    std::vector<D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC> viewDescriptions;
    std::vector<UINT> createDeviceFlags;
    int beginFrameCalls = 0;
    int liveObjects = 0;
    bool multithreadProtected = false;

    size_t CallCount(const std::string& call) const;
};

// Two H.264 and HEVC-capable configurations, as a typical device offers.
D3D11_VIDEO_DECODER_CONFIG Config(UINT bitstreamRaw, const GUID& encryption = DXVA_NoEncrypt);
AdapterScript CapableAdapter();

}  // namespace fake
