#include "decoder/stream_support.h"

#include <algorithm>
#include <iterator>

#include <fmt/format.h>

#include "bench/video_frame.h"
#include "bitstream/h264/h264_records.h"
#include "bitstream/hevc/hevc_records.h"
#include "decoder/platform/decoder_profiles.h"

using namespace platform;

namespace {

// What each profile the decoder sets up decodes: 4:2:0 frames of its codec,
// up to a sample depth. The vendor H.264 profiles decode like the published one.
struct ProfileReach {
    GUID profile;
    uint8_t codec;
    uint64_t maxBitDepth;
};
const ProfileReach kProfileReaches[] = {
    {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, kCodecH264, 8},
    {kH264VendorProfileA, kCodecH264, 8},
    {kH264VendorProfileB, kCodecH264, 8},
    {D3D11_DECODER_PROFILE_HEVC_VLD_MAIN, kCodecH265, 8},
    {D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10, kCodecH265, 10},
};

// The sample depth an output format holds; 0 for one the decoder never writes.
uint64_t FormatBitDepth(DXGI_FORMAT format)
{
    switch (format) {
    case DXGI_FORMAT_NV12:
        return 8;
    case DXGI_FORMAT_P010:
        return 10;
    default:
        return 0;
    }
}

const ProfileReach* FindReach(const GUID& profile)
{
    auto found = std::find_if(std::begin(kProfileReaches), std::end(kProfileReaches),
                              [&](const ProfileReach& reach) { return reach.profile == profile; });
    return found == std::end(kProfileReaches) ? nullptr : &*found;
}

const char* ChromaName(uint32_t chromaFormatIdc)
{
    static const char* const kNames[] = {"4:0:0", "4:2:0", "4:2:2", "4:4:4"};
    return chromaFormatIdc < std::size(kNames) ? kNames[chromaFormatIdc] : "no such sampling";
}

// "H.264 stream with chroma_format_idc 2 (4:2:2)": the start of every refusal.
std::string Property(const StreamFormat& stream, const char* name, uint64_t value, const std::string& meaning)
{
    return fmt::format("{} stream with {} {} ({})", stream.codec == kCodecH264 ? "H.264" : "H.265", name, value,
                       meaning);
}

// Refusals of what no profile the decoder sets up carries, before any is looked at.
std::string RefuseBeyondEveryProfile(const StreamFormat& stream)
{
    if (!stream.frameMbsOnly)
        return Property(stream, "frame_mbs_only_flag", 0, "fields or MBAFF frames") +
               " is not decoded: this decoder decodes progressive frames only";
    if (stream.separateColourPlanes)
        return Property(stream, "separate_colour_plane_flag", 1, "4:4:4 as three planes") +
               " needs a profile this decoder does not support";
    if (stream.chromaFormatIdc != 1)
        return Property(stream, "chroma_format_idc", stream.chromaFormatIdc, ChromaName(stream.chromaFormatIdc)) +
               " needs a profile this decoder does not support";
    return {};
}

}  // namespace

StreamFormat H264StreamFormat(const H264Sps& sps)
{
    StreamFormat format;
    format.codec = kCodecH264;
    format.chromaFormatIdc = sps.chroma_format_idc;
    format.separateColourPlanes = sps.separate_colour_plane_flag != 0;
    format.bitDepthLumaMinus8 = sps.bit_depth_luma_minus8;
    format.bitDepthChromaMinus8 = sps.bit_depth_chroma_minus8;
    format.frameMbsOnly = sps.frame_mbs_only_flag != 0;
    return format;
}

StreamFormat HevcStreamFormat(const HevcSps& sps)
{
    StreamFormat format;
    format.codec = kCodecH265;
    // The parser keeps ChromaArrayType, 0 for separate planes: the stream is 4:4:4.
    format.separateColourPlanes = sps.separate_colour_plane_flag != 0;
    format.chromaFormatIdc = format.separateColourPlanes ? 3 : sps.chroma_format_idc;
    format.bitDepthLumaMinus8 = sps.bit_depth_luma_minus8;
    format.bitDepthChromaMinus8 = sps.bit_depth_chroma_minus8;
    return format;
}

SetupChoice ChooseDecoderSetup(const StreamFormat& stream, const std::vector<DecoderSetup>& offered)
{
    SetupChoice choice;
    choice.refusal = RefuseBeyondEveryProfile(stream);
    if (!choice.refusal.empty())
        return choice;

    const bool lumaDeeper = stream.bitDepthLumaMinus8 >= stream.bitDepthChromaMinus8;
    const uint64_t depthMinus8 = lumaDeeper ? stream.bitDepthLumaMinus8 : stream.bitDepthChromaMinus8;
    const uint64_t depth = 8 + depthMinus8;
    bool codecOffered = false;
    for (const DecoderSetup& setup : offered) {
        const ProfileReach* reach = FindReach(setup.profile);
        if (!reach || reach->codec != stream.codec)
            continue;
        codecOffered = true;
        if (depth <= reach->maxBitDepth && depth <= FormatBitDepth(setup.format)) {
            choice.setup = setup;
            return choice;
        }
    }

    if (!codecOffered) {
        choice.refusal = fmt::format("{} stream needs a profile this adapter does not offer",
                                     stream.codec == kCodecH264 ? "H.264" : "H.265");
        return choice;
    }
    const bool known = std::any_of(std::begin(kProfileReaches), std::end(kProfileReaches), [&](const ProfileReach& reach) {
        return reach.codec == stream.codec && depth <= reach.maxBitDepth;
    });
    choice.refusal = Property(stream, lumaDeeper ? "bit_depth_luma_minus8" : "bit_depth_chroma_minus8", depthMinus8,
                              fmt::format("{}-bit", depth)) +
                     (known ? " needs a profile and output format this adapter does not offer"
                            : " needs a profile this decoder does not support");
    return choice;
}

bool FeedsBitstreamRaw(uint8_t codec, platform::UINT bitstreamRaw)
{
    return bitstreamRaw == 1 || (bitstreamRaw == 2 && codec == kCodecH264);
}
