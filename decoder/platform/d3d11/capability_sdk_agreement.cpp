// The capability probe's records, enumerators and GUIDs against the SDK's, as
// d3d11_sdk_agreement.cpp does for the decoder's: this file fails to compile
// if any differs. The decoder profiles mingw-w64's headers do not carry (the
// HEVC range extensions, JPEG, MJPEG) and the vendor H.264 profiles have
// nothing here to be held against. Nothing here runs.
#include "decoder/platform/d3d11/sdk_agreement.h"
#include "decoder/platform/decoder_profiles.h"
#include "decoder/platform/platform_types.h"

#include <cstddef>

#include <windows.h>
#include <d3d10.h>
#include <d3d11.h>
#include <d3d11_1.h>
#include <dxgi1_2.h>
#include <ole2.h>
#include <unknwn.h>
#include <d3d9.h>

// As in d3d11_sdk_agreement.cpp: the profile GUIDs read once more as constant
// expressions.
#undef DEFINE_GUID
#define DEFINE_GUID(name, ...) constexpr ::GUID name = {__VA_ARGS__}
#include <dxva2api.h>
#include <dxva.h>

namespace {

TARSEL_SAME_RECORD(platform, DXGI_RATIONAL, Numerator, Denominator)

#define TARSEL_SAME_WIDTH(ours, type) static_assert(sizeof(ours::type) == sizeof(::type), #type ": width differs");
TARSEL_FOR_EACH(TARSEL_SAME_WIDTH, (platform), DXGI_ADAPTER_FLAG, D3D11_VIDEO_DECODER_CAPS)

template <typename Ours, typename Sdk>
constexpr bool SameValue(Ours ours, Sdk sdk)
{
    return static_cast<long long>(ours) == static_cast<long long>(sdk);
}

#define TARSEL_SAME_NAME(ours, name) static_assert(SameValue(ours::name, ::name), #name ": value differs");
TARSEL_FOR_EACH(TARSEL_SAME_NAME, (platform), DXGI_FORMAT_AYUV, DXGI_FORMAT_Y410, DXGI_FORMAT_Y416, DXGI_FORMAT_P010,
                DXGI_FORMAT_P016, DXGI_FORMAT_YUY2, DXGI_FORMAT_Y210, DXGI_FORMAT_Y216, DXGI_ADAPTER_FLAG_NONE,
                DXGI_ADAPTER_FLAG_REMOTE, DXGI_ADAPTER_FLAG_SOFTWARE, D3D11_VIDEO_DECODER_CAPS_DOWNSAMPLE,
                D3D11_VIDEO_DECODER_CAPS_NON_REAL_TIME, D3D11_VIDEO_DECODER_CAPS_DOWNSAMPLE_DYNAMIC,
                D3D11_VIDEO_DECODER_CAPS_DOWNSAMPLE_REQUIRED, D3D11_VIDEO_DECODER_CAPS_UNSUPPORTED)

constexpr bool SameGuid(const platform::GUID& ours, const ::GUID& sdk)
{
    bool same = ours.Data1 == sdk.Data1 && ours.Data2 == sdk.Data2 && ours.Data3 == sdk.Data3;
    for (size_t index = 0; index < sizeof(sdk.Data4); ++index)
        same = same && ours.Data4[index] == sdk.Data4[index];
    return same;
}

static_assert(SameGuid(platform::IID_ID3D11VideoDevice1, __uuidof(::ID3D11VideoDevice1)));

// The SDK names the profiles after their DXVA modes.
#define TARSEL_SAME_PROFILE(ours, sdk) \
    static_assert(SameGuid(platform::D3D11_DECODER_PROFILE_##ours, sdk), #ours " differs from " #sdk);
TARSEL_SAME_PROFILE(MPEG2_MOCOMP, DXVA2_ModeMPEG2_MoComp)
TARSEL_SAME_PROFILE(MPEG2_IDCT, DXVA2_ModeMPEG2_IDCT)
TARSEL_SAME_PROFILE(MPEG2_VLD, DXVA2_ModeMPEG2_VLD)
TARSEL_SAME_PROFILE(MPEG1_VLD, DXVA2_ModeMPEG1_VLD)
TARSEL_SAME_PROFILE(MPEG2and1_VLD, DXVA2_ModeMPEG2and1_VLD)
TARSEL_SAME_PROFILE(H264_MOCOMP_NOFGT, DXVA2_ModeH264_A)
TARSEL_SAME_PROFILE(H264_MOCOMP_FGT, DXVA2_ModeH264_B)
TARSEL_SAME_PROFILE(H264_IDCT_NOFGT, DXVA2_ModeH264_C)
TARSEL_SAME_PROFILE(H264_IDCT_FGT, DXVA2_ModeH264_D)
TARSEL_SAME_PROFILE(H264_VLD_FGT, DXVA2_ModeH264_F)
TARSEL_SAME_PROFILE(H264_VLD_WITHFMOASO_NOFGT, DXVA2_ModeH264_VLD_WithFMOASO_NoFGT)
TARSEL_SAME_PROFILE(H264_VLD_STEREO_PROGRESSIVE_NOFGT, DXVA2_ModeH264_VLD_Stereo_Progressive_NoFGT)
TARSEL_SAME_PROFILE(H264_VLD_STEREO_NOFGT, DXVA2_ModeH264_VLD_Stereo_NoFGT)
TARSEL_SAME_PROFILE(H264_VLD_MULTIVIEW_NOFGT, DXVA2_ModeH264_VLD_Multiview_NoFGT)
TARSEL_SAME_PROFILE(WMV8_POSTPROC, DXVA2_ModeWMV8_A)
TARSEL_SAME_PROFILE(WMV8_MOCOMP, DXVA2_ModeWMV8_B)
TARSEL_SAME_PROFILE(WMV9_POSTPROC, DXVA2_ModeWMV9_A)
TARSEL_SAME_PROFILE(WMV9_MOCOMP, DXVA2_ModeWMV9_B)
TARSEL_SAME_PROFILE(WMV9_IDCT, DXVA2_ModeWMV9_C)
TARSEL_SAME_PROFILE(VC1_POSTPROC, DXVA2_ModeVC1_A)
TARSEL_SAME_PROFILE(VC1_MOCOMP, DXVA2_ModeVC1_B)
TARSEL_SAME_PROFILE(VC1_IDCT, DXVA2_ModeVC1_C)
TARSEL_SAME_PROFILE(VC1_VLD, DXVA2_ModeVC1_D)
TARSEL_SAME_PROFILE(VC1_D2010, DXVA2_ModeVC1_D2010)
TARSEL_SAME_PROFILE(MPEG4PT2_VLD_SIMPLE, DXVA2_ModeMPEG4pt2_VLD_Simple)
TARSEL_SAME_PROFILE(MPEG4PT2_VLD_ADVSIMPLE_NOGMC, DXVA2_ModeMPEG4pt2_VLD_AdvSimple_NoGMC)
TARSEL_SAME_PROFILE(MPEG4PT2_VLD_ADVSIMPLE_GMC, DXVA2_ModeMPEG4pt2_VLD_AdvSimple_GMC)
TARSEL_SAME_PROFILE(HEVC_VLD_MAIN10, DXVA2_ModeHEVC_VLD_Main10)
TARSEL_SAME_PROFILE(VP9_VLD_PROFILE0, DXVA2_ModeVP9_VLD_Profile0)
TARSEL_SAME_PROFILE(VP9_VLD_10BIT_PROFILE2, DXVA2_ModeVP9_VLD_10bit_Profile2)
TARSEL_SAME_PROFILE(VP8_VLD, DXVA2_ModeVP8_VLD)
TARSEL_SAME_PROFILE(AV1_VLD_PROFILE0, DXVA_ModeAV1_VLD_Profile0)
TARSEL_SAME_PROFILE(AV1_VLD_PROFILE1, DXVA_ModeAV1_VLD_Profile1)
TARSEL_SAME_PROFILE(AV1_VLD_PROFILE2, DXVA_ModeAV1_VLD_Profile2)
TARSEL_SAME_PROFILE(AV1_VLD_12BIT_PROFILE2, DXVA_ModeAV1_VLD_12bit_Profile2)
TARSEL_SAME_PROFILE(AV1_VLD_12BIT_PROFILE2_420, DXVA_ModeAV1_VLD_12bit_Profile2_420)

}  // namespace
