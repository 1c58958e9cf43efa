#include "decoder/decoder_profile_names.h"

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

}  // namespace

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
