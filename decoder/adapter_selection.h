#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "decoder/platform/video_platform.h"

// How an adapter is opened and which of its profiles the benchmark decodes
// with: the decoder picks its adapter by these, and the capability probe
// marks the same adapter by them.

// The adapter's name as UTF-8.
std::string AdapterName(const platform::DXGI_ADAPTER_DESC1& description);
// The adapter's LUID as 16 hex digits, high part first: "0x0000000000005678".
std::string AdapterLuidText(const platform::DXGI_ADAPTER_DESC1& description);
// A user-mode driver version, four 16-bit words, as "a.b.c.d".
std::string DriverVersionText(int64_t version);

// Which adapter, and its driver: what the capability report and the results
// both say of an adapter.
struct AdapterIdentity {
    platform::UINT index = 0;  // in enumeration order
    platform::DXGI_ADAPTER_DESC1 description = {};
    std::optional<int64_t> driverVersion;   // user-mode driver's a.b.c.d; none when the adapter does not say
    std::optional<std::string> driverDate;  // "YYYY-MM-DD"; none where the system does not say
    bool simulated = false;                 // the simulated device's, whose driver is its own
};
AdapterIdentity IdentifyAdapter(platform::VideoPlatform& videoPlatform, platform::IDXGIAdapter1& adapter,
                                platform::UINT index);
// index, description, PCI ids, luid, driverVersion, driverDate, simulated.
nlohmann::json AdapterIdentityValue(const AdapterIdentity& identity);

// Creates the adapter's device and queries its video device and video
// context. Empty on success, else what failed with its result (the text the
// decoder logs after "decoder: "); the caller releases whatever was set.
std::string OpenVideoInterfaces(platform::VideoPlatform& videoPlatform, platform::IDXGIAdapter1* adapter,
                                platform::UINT index, platform::ID3D11Device*& device,
                                platform::ID3D11DeviceContext*& context, platform::ID3D11VideoDevice*& videoDevice,
                                platform::ID3D11VideoContext*& videoContext);

// The published H.264 profile, or without it the first vendor one in the
// device's own order, the HEVC Main profile and the HEVC Main 10 one;
// kGuidNull where there is none. An adapter decodes the benchmark when the
// H.264 or the Main profile is there and each of those found decodes into
// NV12; Main 10 only adds the 10-bit streams where the adapter has it.
struct BenchmarkProfiles {
    platform::GUID h264 = platform::kGuidNull;
    platform::GUID hevc = platform::kGuidNull;
    platform::GUID hevcMain10 = platform::kGuidNull;
    bool Empty() const { return h264 == platform::kGuidNull && hevc == platform::kGuidNull; }
};
BenchmarkProfiles ChooseBenchmarkProfiles(const std::vector<platform::GUID>& offered);
