#pragma once

#include <string>
#include <vector>

#include "decoder/platform/platform_types.h"

// What a decoder profile's published name says about it.
struct DecoderProfileName {
    platform::GUID guid;
    const char* name;    // the published name without "D3D11_DECODER_PROFILE_"
    const char* codec;   // "h264", "hevc", "vp9", "av1", "mpeg2", ...
    int bitDepth;        // 0 where the name does not tell
    const char* chroma;  // "4:2:0", ...; null where the name does not tell
};

// The entry for a profile; null for one without a published name.
const DecoderProfileName* FindDecoderProfileName(const platform::GUID& profile);

// The bit depth and chroma sampling of the pictures a profile decodes.
struct ProfileSampling {
    int bitDepth = 0;              // 0 where unknown
    const char* chroma = nullptr;  // "4:2:0", ...; null where unknown
};

// Each from the profile's published name where that fixes it, else from the
// output formats the driver accepts for the profile.
ProfileSampling SamplingOf(const platform::GUID& profile, const std::vector<platform::DXGI_FORMAT>& formats);

// A decoder output format's name: "NV12", "P010", ...; "UNKNOWN" for one
// without a known sampling.
const char* OutputFormatName(platform::DXGI_FORMAT format);

// "{5B11D51B-2F4C-4452-BCC3-09F2A1160CC0}": braced, upper-case.
std::string GuidText(const platform::GUID& guid);
