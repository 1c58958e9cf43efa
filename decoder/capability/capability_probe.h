#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "decoder/adapter_selection.h"
#include "decoder/platform/video_platform.h"

// What each adapter of the machine can decode: its description, its decoder
// profiles with their output formats and the largest picture a decoder is
// created for. Independent of any decoder: it opens devices of its own and
// releases everything it made before it returns.

struct PictureSize {
    platform::UINT width;
    platform::UINT height;
};

struct ProfileCapabilities {
    platform::GUID guid;
    std::vector<platform::DXGI_FORMAT> formats;  // those CheckVideoDecoderFormat accepts, in the probe's order
    std::optional<PictureSize> maxSize;          // none when no size of the probe's list is decoded
    std::optional<bool> realTime;                // none without ID3D11VideoDevice1 or without maxSize
};

struct AdapterCapabilities : AdapterIdentity {
    bool benchmark = false;                 // the adapter the decoder would choose
    std::string benchmarkRefusal;           // why the decoder would not take it; empty when it would
    std::string videoFailure;               // why there is no video device; empty when there is one
    std::vector<ProfileCapabilities> profiles;
};

struct MachineCapabilities {
    std::string failure;  // why there is no DXGI factory; empty when there is one
    std::vector<AdapterCapabilities> adapters;
};

// Logs one line per adapter.
MachineCapabilities ProbeCapabilities(platform::VideoPlatform& videoPlatform = platform::DefaultVideoPlatform());

// {"capabilities": {"adapters": [...]}}, with a top-level "reason" when the
// factory failed.
nlohmann::json CapabilityMessage(const MachineCapabilities& machine);
