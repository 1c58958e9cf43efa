#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decoder/platform/simulated/simulated_video_device.h"

// A machine worth probing: a software adapter without video; an integrated
// adapter with H.264, HEVC Main and VP9 profile 0 up to 4096x2304; a discrete
// one with H.264, HEVC Main/Main10, VP9 profile 0/2 and AV1 profile 0 up to
// 8192x8192, whose VP9 profile 2 offers configurations up there but creates
// no decoder above 3840x2160, and which answers ID3D11VideoDevice1 (real time
// up to 4096x2304). Their drivers: the software one's gives its version
// but no date, the integrated one's both, the discrete one's a date but no
// version. Built on the simulated platform, which checks the arguments of
// device creation and decodes with its decoders, but not simulated itself:
// its adapters stand for hardware.
namespace capability_test {

using namespace platform;

struct Limit {
    UINT width;
    UINT height;
};

// A configuration offered ahead of a profile's own (raw 1), with the size
// its decoders are created up to.
struct EarlierConfiguration {
    UINT bitstreamRaw;
    Limit decoders;
};

struct ProfileTraits {
    GUID guid;
    std::vector<DXGI_FORMAT> formats;
    Limit configurations;  // offered up to this size, in the profile's formats
    Limit decoders;        // created from the raw-1 configuration up to this size
    std::vector<EarlierConfiguration> earlier = {};
};

struct AdapterTraits {
    std::u16string name;
    DXGI_ADAPTER_DESC1 description;         // but for its name, which is wide text on Windows
    int64_t driverVersion;                  // 0: the adapter does not say
    std::optional<std::string> driverDate;  // found by the PCI ids
    HRESULT deviceResult;  // of D3D11CreateDevice
    bool decoderCaps;      // answers ID3D11VideoDevice1
    std::vector<ProfileTraits> profiles;
};

class TestMachine : public SimulatedVideoPlatform {
public:
    TestMachine();

    HRESULT CreateDXGIFactory1(const GUID& interfaceId, void** factory) override;
    HRESULT D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void* software, UINT flags,
                              const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                              ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                              ID3D11DeviceContext** context) override;
    std::optional<std::string> DriverDate(const DXGI_ADAPTER_DESC1& description) override;
    bool IsSimulated() const override { return false; }

    std::vector<AdapterTraits> adapters;
    int liveObjects = 0;      // everything the machine handed out and not yet released for the last time
    int decodersCreated = 0;
};

}  // namespace capability_test
