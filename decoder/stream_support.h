#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/platform/platform_types.h"

struct H264Sps;
struct HevcSps;

// What a sequence's samples are, as far as the choice of decoder profile and
// output format goes. The defaults are those of an 8-bit 4:2:0 progressive
// stream, which every profile the decoder uses carries.
struct StreamFormat {
    uint8_t codec = 0;  // kCodecH264 or kCodecH265
    uint32_t chromaFormatIdc = 1;
    bool separateColourPlanes = false;
    uint32_t bitDepthLumaMinus8 = 0;
    uint32_t bitDepthChromaMinus8 = 0;
    bool frameMbsOnly = true;  // H.264: false when pictures may be fields or MBAFF frames
};
StreamFormat H264StreamFormat(const H264Sps& sps);
StreamFormat HevcStreamFormat(const HevcSps& sps);

// A decoder profile and an output format the adapter decodes it into.
struct DecoderSetup {
    platform::GUID profile = platform::kGuidNull;
    platform::DXGI_FORMAT format = platform::DXGI_FORMAT_UNKNOWN;
    friend bool operator==(const DecoderSetup&, const DecoderSetup&) = default;
};

// The set-up a stream is decoded with, or, where none of those offered
// carries it, why: one line naming the property ("H.264 stream with
// chroma_format_idc 2 (4:2:2) needs ..."), empty when `setup` is usable.
struct SetupChoice {
    DecoderSetup setup;
    std::string refusal;
};

// The first of `offered` (in the order of preference) whose profile decodes
// the stream's codec, sampling and depth into a format deep enough for it.
SetupChoice ChooseDecoderSetup(const StreamFormat& stream, const std::vector<DecoderSetup>& offered);

// Whether the decoder can feed a configuration with this ConfigBitstreamRaw:
// H.264 in long (1) or short (2) slice entries, H.265 in its short entries,
// which its profiles number 1.
bool FeedsBitstreamRaw(uint8_t codec, platform::UINT bitstreamRaw);
