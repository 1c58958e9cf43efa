#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "decoder/platform/video_platform.h"

// A scriptable stand-in for the platform: each test says what the adapters
// offer and which calls fail, then reads back the calls made and the buffers
// submitted.
namespace fake {

using namespace platform;

D3D11_VIDEO_DECODER_CONFIG Config(UINT bitstreamRaw, const GUID& encryption = DXVA_NoEncrypt);

// An adapter with the H.264 and HEVC profiles and one short-slice configuration.
struct AdapterScript {
    std::u16string name = u"Fake adapter";
    std::vector<GUID> profiles = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, D3D11_DECODER_PROFILE_HEVC_VLD_MAIN};
    std::vector<D3D11_VIDEO_DECODER_CONFIG> configs = {Config(2)};
    bool nv12Supported = true;
    bool nullVideoContext = false;  // the context query succeeds but yields nothing
    UINT formatSupport = D3D11_FORMAT_SUPPORT_SHADER_SAMPLE;
};

// One accepted SubmitDecoderBuffers call.
struct Submission {
    std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC> descriptions;
    std::map<UINT, std::vector<uint8_t>> buffers;  // by type, DataSize bytes
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

    // Script. A call is named as it is recorded, with the adapter index for
    // device calls: "D3D11CreateDevice(0)", "VideoContext(1)",
    // "CheckVideoDecoderFormat(0,h264)", "GetDecoderBuffer(6)", "DecoderEndFrame", ...
    std::map<std::string, HRESULT> failures;
    std::vector<AdapterScript> adapters = {AdapterScript{}};
    bool frequencyAvailable = true;
    int pendingBeginFrames = 0;  // kResultPending this many times; negative: for ever
    std::map<UINT, UINT> bufferSizes = {{0, 4096}, {4, 4096}, {5, 256 * 864}, {6, 1 << 20}};

    // Record.
    std::vector<std::string> calls;
    std::vector<Submission> submissions;
    std::vector<D3D11_VIDEO_DECODER_DESC> decoderDescriptions;
    std::vector<D3D11_VIDEO_DECODER_CONFIG> decoderConfigs;
    std::vector<D3D11_TEXTURE2D_DESC> textureDescriptions;
    std::vector<UINT> createDeviceFlags;
    int liveObjects = 0;
    bool multithreadProtected = false;

    size_t CallCount(const std::string& call) const;
    // Records the call and returns its scripted result (kResultOk when none).
    HRESULT Call(const std::string& call);
};

}  // namespace fake
