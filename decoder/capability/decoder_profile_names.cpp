#include "decoder/capability/decoder_profile_names.h"

#include <algorithm>

#include <fmt/format.h>

#include "decoder/platform/decoder_profiles.h"

using namespace platform;

namespace {

// The name is spelled once, as the constant's, so the two cannot drift apart.
#define TARSEL_PROFILE(name, codec, bitDepth, chroma) {D3D11_DECODER_PROFILE_##name, #name, codec, bitDepth, chroma}

// Bit depth and chroma only where the profile's name fixes them: HEVC Main is
// 8-bit 4:2:0 by definition, AV1 profile 0 may be 8- or 10-bit.
const DecoderProfileName kProfileNames[] = {
    {kH264VendorProfileB, "H264_VLD_VENDOR_INTEL", "h264", 0, nullptr},
    {kH264VendorProfileA, "H264_VLD_VENDOR_2", "h264", 0, nullptr},
    TARSEL_PROFILE(H264_IDCT_FGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_IDCT_NOFGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_MOCOMP_FGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_MOCOMP_NOFGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_VLD_FGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_VLD_MULTIVIEW_NOFGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_VLD_NOFGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_VLD_STEREO_NOFGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_VLD_STEREO_PROGRESSIVE_NOFGT, "h264", 0, nullptr),
    TARSEL_PROFILE(H264_VLD_WITHFMOASO_NOFGT, "h264", 0, nullptr),
    TARSEL_PROFILE(HEVC_VLD_MAIN, "hevc", 8, "4:2:0"),
    TARSEL_PROFILE(HEVC_VLD_MAIN10, "hevc", 10, "4:2:0"),
    TARSEL_PROFILE(HEVC_VLD_MAIN10_422, "hevc", 10, "4:2:2"),
    TARSEL_PROFILE(HEVC_VLD_MAIN10_444, "hevc", 10, "4:4:4"),
    TARSEL_PROFILE(HEVC_VLD_MAIN10_EXT, "hevc", 10, nullptr),
    TARSEL_PROFILE(HEVC_VLD_MAIN12, "hevc", 12, "4:2:0"),
    TARSEL_PROFILE(HEVC_VLD_MAIN12_422, "hevc", 12, "4:2:2"),
    TARSEL_PROFILE(HEVC_VLD_MAIN12_444, "hevc", 12, "4:4:4"),
    TARSEL_PROFILE(HEVC_VLD_MAIN16, "hevc", 16, nullptr),
    TARSEL_PROFILE(HEVC_VLD_MAIN_444, "hevc", 8, "4:4:4"),
    TARSEL_PROFILE(HEVC_VLD_MONOCHROME, "hevc", 8, "4:0:0"),
    TARSEL_PROFILE(HEVC_VLD_MONOCHROME10, "hevc", 10, "4:0:0"),
    TARSEL_PROFILE(VP9_VLD_10BIT_PROFILE2, "vp9", 10, "4:2:0"),
    TARSEL_PROFILE(VP9_VLD_PROFILE0, "vp9", 8, "4:2:0"),
    TARSEL_PROFILE(AV1_VLD_12BIT_PROFILE2, "av1", 12, nullptr),
    TARSEL_PROFILE(AV1_VLD_12BIT_PROFILE2_420, "av1", 12, "4:2:0"),
    TARSEL_PROFILE(AV1_VLD_PROFILE0, "av1", 0, "4:2:0"),
    TARSEL_PROFILE(AV1_VLD_PROFILE1, "av1", 0, "4:4:4"),
    TARSEL_PROFILE(AV1_VLD_PROFILE2, "av1", 0, nullptr),
    TARSEL_PROFILE(JPEG_VLD_420, "jpeg", 0, "4:2:0"),
    TARSEL_PROFILE(JPEG_VLD_422, "jpeg", 0, "4:2:2"),
    TARSEL_PROFILE(JPEG_VLD_444, "jpeg", 0, "4:4:4"),
    TARSEL_PROFILE(MJPEG_VLD_420, "mjpeg", 0, "4:2:0"),
    TARSEL_PROFILE(MJPEG_VLD_422, "mjpeg", 0, "4:2:2"),
    TARSEL_PROFILE(MJPEG_VLD_444, "mjpeg", 0, "4:4:4"),
    TARSEL_PROFILE(MJPEG_VLD_4444, "mjpeg", 0, "4:4:4:4"),
    TARSEL_PROFILE(MPEG1_VLD, "mpeg1", 0, nullptr),
    TARSEL_PROFILE(MPEG2_IDCT, "mpeg2", 0, nullptr),
    TARSEL_PROFILE(MPEG2_MOCOMP, "mpeg2", 0, nullptr),
    TARSEL_PROFILE(MPEG2_VLD, "mpeg2", 0, nullptr),
    TARSEL_PROFILE(MPEG2and1_VLD, "mpeg2", 0, nullptr),
    TARSEL_PROFILE(MPEG4PT2_VLD_ADVSIMPLE_GMC, "mpeg4", 0, nullptr),
    TARSEL_PROFILE(MPEG4PT2_VLD_ADVSIMPLE_NOGMC, "mpeg4", 0, nullptr),
    TARSEL_PROFILE(MPEG4PT2_VLD_SIMPLE, "mpeg4", 0, nullptr),
    TARSEL_PROFILE(VC1_D2010, "vc1", 0, nullptr),
    TARSEL_PROFILE(VC1_IDCT, "vc1", 0, nullptr),
    TARSEL_PROFILE(VC1_MOCOMP, "vc1", 0, nullptr),
    TARSEL_PROFILE(VC1_POSTPROC, "vc1", 0, nullptr),
    TARSEL_PROFILE(VC1_VLD, "vc1", 0, nullptr),
    TARSEL_PROFILE(VP8_VLD, "vp8", 0, nullptr),
    TARSEL_PROFILE(WMV8_MOCOMP, "wmv8", 0, nullptr),
    TARSEL_PROFILE(WMV8_POSTPROC, "wmv8", 0, nullptr),
    TARSEL_PROFILE(WMV9_IDCT, "wmv9", 0, nullptr),
    TARSEL_PROFILE(WMV9_MOCOMP, "wmv9", 0, nullptr),
    TARSEL_PROFILE(WMV9_POSTPROC, "wmv9", 0, nullptr),
};

#undef TARSEL_PROFILE

// Chroma sampling, narrowest first.
const char* const kChroma[] = {"4:2:0", "4:2:2", "4:4:4"};

struct OutputFormat {
    DXGI_FORMAT format;
    const char* name;
    int bitDepth;
    int chroma;  // index into kChroma
};

// The decoder output formats and the pictures they hold. The 16-bit ones
// carry 12-bit pictures too: where only the format tells, the depth says 16.
const OutputFormat kOutputFormats[] = {
    {DXGI_FORMAT_NV12, "NV12", 8, 0},  {DXGI_FORMAT_P010, "P010", 10, 0}, {DXGI_FORMAT_P016, "P016", 16, 0},
    {DXGI_FORMAT_YUY2, "YUY2", 8, 1},  {DXGI_FORMAT_Y210, "Y210", 10, 1}, {DXGI_FORMAT_Y216, "Y216", 16, 1},
    {DXGI_FORMAT_AYUV, "AYUV", 8, 2},  {DXGI_FORMAT_Y410, "Y410", 10, 2}, {DXGI_FORMAT_Y416, "Y416", 16, 2},
};

const OutputFormat* FindOutputFormat(DXGI_FORMAT format)
{
    for (const OutputFormat& entry : kOutputFormats) {
        if (entry.format == format)
            return &entry;
    }
    return nullptr;
}

}  // namespace

// A driver accepts an output format for each kind of stream the profile
// decodes (AV1 profile 0 writes its 8-bit streams to NV12, its 10-bit ones to
// P010), so the highest depth and the widest sampling among them are what the
// profile decodes at most. The two are taken apart: a profile that accepts
// P010 and YUY2 decodes 10-bit streams and 4:2:2 ones, if not necessarily
// 10-bit 4:2:2 ones.
ProfileSampling SamplingOf(const GUID& profile, const std::vector<DXGI_FORMAT>& formats)
{
    int bitDepth = 0;
    int chroma = -1;
    for (DXGI_FORMAT format : formats) {
        if (const OutputFormat* entry = FindOutputFormat(format)) {
            bitDepth = std::max(bitDepth, entry->bitDepth);
            chroma = std::max(chroma, entry->chroma);
        }
    }
    ProfileSampling sampling = {bitDepth, chroma < 0 ? nullptr : kChroma[chroma]};
    if (const DecoderProfileName* named = FindDecoderProfileName(profile)) {
        if (named->bitDepth != 0)
            sampling.bitDepth = named->bitDepth;
        if (named->chroma)
            sampling.chroma = named->chroma;
    }
    return sampling;
}

const char* OutputFormatName(DXGI_FORMAT format)
{
    const OutputFormat* entry = FindOutputFormat(format);
    return entry ? entry->name : "UNKNOWN";
}

const DecoderProfileName* FindDecoderProfileName(const GUID& profile)
{
    for (const DecoderProfileName& entry : kProfileNames) {
        if (entry.guid == profile)
            return &entry;
    }
    return nullptr;
}

std::string GuidText(const GUID& guid)
{
    return fmt::format("{{{:08X}-{:04X}-{:04X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}}}", guid.Data1, guid.Data2,
                       guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                       guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}
