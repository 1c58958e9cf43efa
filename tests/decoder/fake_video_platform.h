#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "decoder/platform/simulated/simulated_video_device.h"

// The simulated device with a script in front: the configurations it offers,
// the calls that fail, a busy surface, smaller buffers, a hook that spoils a
// submission on its way; and a record of the calls and submissions.
namespace fake {

using namespace platform;

D3D11_VIDEO_DECODER_CONFIG Config(UINT bitstreamRaw, const GUID& encryption = DXVA_NoEncrypt);

// One SubmitDecoderBuffers call as the decoder made it.
struct Submission {
    std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC> descriptions;
    std::map<UINT, std::vector<uint8_t>> buffers;  // by type, DataSize bytes
};
using Memory = std::map<UINT, uint8_t*>;  // the device's buffers, by type
using Spoil = std::function<void(std::vector<D3D11_VIDEO_DECODER_BUFFER_DESC>&, Memory&)>;

// Calls are recorded by name, with the array slice or buffer type where there
// is one: "CreateDXGIFactory1", "VideoDevice", "Multithread", "VideoContext",
// "GetVideoDecoderConfig(0)", "CreateVideoDecoderOutputView(1)",
// "GetDecoderBuffer(6)", "SubmitDecoderBuffers(4)", "DecoderEndFrame",
// "CreateQuery", "End", "Flush", "GetData", ...;
// once the factory has handed out adapter N > 0 they end in "@N".
class ScriptedPlatform : public SimulatedVideoPlatform {
public:
    HRESULT CreateDXGIFactory1(const GUID& interfaceId, void** factory) override;
    HRESULT D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void* software, UINT flags,
                              const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                              ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                              ID3D11DeviceContext** context) override;

    // Records the call; its scripted failure, or else what `forward` returns.
    HRESULT Call(const std::string& call, const std::function<HRESULT()>& forward = [] { return kResultOk; });
    size_t CallCount(const std::string& call) const;

    std::map<std::string, HRESULT> failures;
    UINT adapters = 1;  // simulated ones, all alike but for the script
    UINT adapter = 0;   // the last one asked for
    std::vector<D3D11_VIDEO_DECODER_CONFIG> configs = {Config(2), Config(1)};
    int pendingBeginFrames = 0;       // answered busyResult this many times
    HRESULT busyResult = kResultPending;
    std::vector<GUID> profiles;       // offered instead of the device's own when not empty
    std::vector<DXGI_FORMAT> unsupportedFormats;  // no profile decodes into these
    int unfinishedQueries = 0;        // GetData answers "not yet" this many times, forever when negative
    std::map<UINT, UINT> capacities;  // buffer sizes to hand out instead of the device's, by type
    Spoil spoil;                      // applied to each submission after it is recorded

    std::vector<std::string> calls;
    std::vector<D3D11_VIDEO_DECODER_CONFIG> decoderConfigs;
    std::vector<Submission> submissions;
    int liveObjects = 0;  // devices and contexts; a decoder keeps its device alive
};

}  // namespace fake
