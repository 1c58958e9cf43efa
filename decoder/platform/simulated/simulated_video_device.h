#pragma once

#include <cstdint>

#include "decoder/platform/video_platform.h"

namespace platform {

// Which decoder configurations the simulated device offers for each profile,
// all unencrypted. The decoder prefers short slices, so a device without them
// is how the long slice-control format gets exercised.
struct SimulatedDeviceOptions {
    bool offerShortSlices = true;
    bool offerLongSlices = true;
    // A test setting: each picture takes this long on one decode engine, one
    // picture after another, before an event query ended after it reports
    // done. 0: every picture is done when its frame ends.
    int64_t decodeMicroseconds = 0;
};

// The platform where Direct3D 11 video decoding is not available: one adapter
// with an H.264 (VLD, no film grain) and an HEVC Main decoder into NV12. It
// checks every submission as a strict driver would and refuses a bad one with
// a negative result and an error line saying what is wrong. It decodes
// nothing and, unless its test setting asks for a decode time, adds no delay
// and is never busy, so times measured on it are the host side of the work only.
class SimulatedVideoPlatform : public VideoPlatform {
public:
    explicit SimulatedVideoPlatform(SimulatedDeviceOptions options = {});

    HRESULT CreateDXGIFactory1(const GUID& interfaceId, void** factory) override;
    HRESULT D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void* software, UINT flags,
                              const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                              ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                              ID3D11DeviceContext** context) override;
    BOOL QueryPerformanceFrequency(int64_t* frequency) override;
    BOOL QueryPerformanceCounter(int64_t* counter) override;
    bool IsSimulated() const override { return true; }

    // No PCI vendor: the adapter is not hardware.
    static constexpr uint32_t kVendorId = 0;
    static constexpr uint32_t kDeviceId = 0;

private:
    SimulatedDeviceOptions m_Options;
};

}  // namespace platform
