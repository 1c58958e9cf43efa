// The Direct3D 11 layer hands our records, enumerators, constants and GUIDs to
// the SDK's functions by cast or by copy. This file fails to compile if any of
// them differs from the SDK's: each record's size and each field's offset and
// size, each enumerator and constant, each GUID's bytes. Nothing here runs.
#include "decoder/platform/d3d11/sdk_agreement.h"
#include "decoder/platform/platform_types.h"

#include <cstddef>
#include <type_traits>

#include <windows.h>
#include <d3d10.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <ole2.h>
#include <unknwn.h>
#include <d3d9.h>

// The SDK's decoder profiles and its "no encryption" GUID are DEFINE_GUID
// objects, which are not constant expressions. Read once more with
// DEFINE_GUID made constexpr, the SDK's own header text yields ones that are.
// Nothing above has included these two headers, so each is read only here.
#undef DEFINE_GUID
#define DEFINE_GUID(name, ...) constexpr ::GUID name = {__VA_ARGS__}
#include <dxva2api.h>
#include <dxva.h>

namespace {

// ---------------------------------------------------------------- scalar types

template <typename Ours, typename Sdk>
constexpr bool kSameScalar = sizeof(Ours) == sizeof(Sdk) && std::is_signed_v<Ours> == std::is_signed_v<Sdk>;

static_assert(kSameScalar<platform::HRESULT, ::HRESULT>);
static_assert(kSameScalar<platform::UINT, ::UINT>);
static_assert(kSameScalar<platform::ULONG, ::ULONG>);
static_assert(kSameScalar<platform::BOOL, ::BOOL>);
// The adapter's name is copied as UTF-16 code units.
static_assert(sizeof(char16_t) == sizeof(::WCHAR));

// ---------------------------------------------------------------- records

TARSEL_SAME_RECORD(platform, GUID, Data1, Data2, Data3, Data4)
TARSEL_SAME_RECORD(platform, LUID, LowPart, HighPart)
TARSEL_SAME_RECORD(platform, DXGI_ADAPTER_DESC1, Description, VendorId, DeviceId, SubSysId, Revision,
    DedicatedVideoMemory, DedicatedSystemMemory, SharedSystemMemory, AdapterLuid, Flags)
TARSEL_SAME_RECORD(platform, DXGI_SAMPLE_DESC, Count, Quality)
TARSEL_SAME_RECORD(platform, D3D11_TEXTURE2D_DESC, Width, Height, MipLevels, ArraySize, Format, SampleDesc, Usage,
    BindFlags, CPUAccessFlags, MiscFlags)
TARSEL_SAME_RECORD(platform, D3D11_VIDEO_DECODER_DESC, Guid, SampleWidth, SampleHeight, OutputFormat)
TARSEL_SAME_RECORD(platform, D3D11_VIDEO_DECODER_CONFIG, guidConfigBitstreamEncryption, guidConfigMBcontrolEncryption,
    guidConfigResidDiffEncryption, ConfigBitstreamRaw, ConfigMBcontrolRasterOrder, ConfigResidDiffHost,
    ConfigSpatialResid8, ConfigResid8Subtraction, ConfigSpatialHost8or9Clipping, ConfigSpatialResidInterleaved,
    ConfigIntraResidUnsigned, ConfigResidDiffAccelerator, ConfigHostInverseScan, ConfigSpecificIDCT,
    Config4GroupedCoefs, ConfigMinRenderTargetBuffCount, ConfigDecoderSpecific)
TARSEL_SAME_RECORD(platform, D3D11_QUERY_DESC, Query, MiscFlags)
TARSEL_SAME_RECORD(platform, D3D11_TEX2D_VDOV, ArraySlice)
TARSEL_SAME_RECORD(platform, D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC, DecodeProfile, ViewDimension, Texture2D)
TARSEL_SAME_RECORD(
    platform, D3D11_ENCRYPTED_BLOCK_INFO, NumEncryptedBytesAtBeginning, NumBytesInSkipPattern, NumBytesInEncryptPattern)
TARSEL_SAME_RECORD(platform, D3D11_VIDEO_DECODER_BUFFER_DESC, BufferType, BufferIndex, DataOffset, DataSize,
    FirstMBaddress, NumMBsInBuffer, Width, Height, Stride, ReservedBits, pIV, IVSize, PartialEncryption,
    EncryptedBlockInfo)

// ---------------------------------------------------------------- enumerations and constants

// Enumerations cross by cast, feature levels as an array: the widths must agree.
#define TARSEL_SAME_WIDTH(ours, type) static_assert(sizeof(ours::type) == sizeof(::type), #type ": width differs");
TARSEL_FOR_EACH(TARSEL_SAME_WIDTH, (platform), DXGI_FORMAT, D3D_DRIVER_TYPE, D3D_FEATURE_LEVEL, D3D11_USAGE,
                D3D11_VDOV_DIMENSION, D3D11_VIDEO_DECODER_BUFFER_TYPE, D3D11_QUERY)

template <typename Ours, typename Sdk>
constexpr bool SameValue(Ours ours, Sdk sdk)
{
    return static_cast<long long>(ours) == static_cast<long long>(sdk);
}

// Where both sides spell the name alike (enumerators on both sides).
#define TARSEL_SAME_NAME(ours, name) static_assert(SameValue(ours::name, ::name), #name ": value differs");
TARSEL_FOR_EACH(TARSEL_SAME_NAME, (platform), DXGI_FORMAT_UNKNOWN, DXGI_FORMAT_NV12, D3D_DRIVER_TYPE_UNKNOWN,
                D3D_DRIVER_TYPE_HARDWARE, D3D_FEATURE_LEVEL_9_1, D3D_FEATURE_LEVEL_9_2, D3D_FEATURE_LEVEL_9_3,
                D3D_FEATURE_LEVEL_10_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_11_1,
                D3D11_CREATE_DEVICE_BGRA_SUPPORT, D3D11_CREATE_DEVICE_VIDEO_SUPPORT, D3D11_USAGE_DEFAULT,
                D3D11_BIND_SHADER_RESOURCE, D3D11_BIND_DECODER, D3D11_FORMAT_SUPPORT_SHADER_SAMPLE,
                D3D11_VDOV_DIMENSION_UNKNOWN, D3D11_VDOV_DIMENSION_TEXTURE2D,
                D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS, D3D11_VIDEO_DECODER_BUFFER_MACROBLOCK_CONTROL,
                D3D11_VIDEO_DECODER_BUFFER_RESIDUAL_DIFFERENCE, D3D11_VIDEO_DECODER_BUFFER_DEBLOCKING_CONTROL,
                D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX, D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL,
                D3D11_VIDEO_DECODER_BUFFER_BITSTREAM, D3D11_VIDEO_DECODER_BUFFER_MOTION_VECTOR,
                D3D11_VIDEO_DECODER_BUFFER_FILM_GRAIN, D3D11_QUERY_EVENT)

// Where the SDK's name is a macro, ours is spelled differently.
#define TARSEL_SAME_CONSTANT(ours, sdk) static_assert(SameValue(platform::ours, sdk), #ours " differs from " #sdk);
TARSEL_SAME_CONSTANT(kResultOk, S_OK)
TARSEL_SAME_CONSTANT(kResultFalse, S_FALSE)
TARSEL_SAME_CONSTANT(kResultPending, E_PENDING)
TARSEL_SAME_CONSTANT(kResultNoInterface, E_NOINTERFACE)
TARSEL_SAME_CONSTANT(kResultPointer, E_POINTER)
TARSEL_SAME_CONSTANT(kResultAbort, E_ABORT)
TARSEL_SAME_CONSTANT(kResultFail, E_FAIL)
TARSEL_SAME_CONSTANT(kResultOutOfMemory, E_OUTOFMEMORY)
TARSEL_SAME_CONSTANT(kResultInvalidArgument, E_INVALIDARG)
TARSEL_SAME_CONSTANT(kResultDxgiNotFound, DXGI_ERROR_NOT_FOUND)
TARSEL_SAME_CONSTANT(kResultDxgiUnsupported, DXGI_ERROR_UNSUPPORTED)
TARSEL_SAME_CONSTANT(kResultWasStillDrawing, D3DERR_WASSTILLDRAWING)
TARSEL_SAME_CONSTANT(kD3D11SdkVersion, D3D11_SDK_VERSION)

// ---------------------------------------------------------------- GUIDs

constexpr bool SameGuid(const platform::GUID& ours, const ::GUID& sdk)
{
    bool same = ours.Data1 == sdk.Data1 && ours.Data2 == sdk.Data2 && ours.Data3 == sdk.Data3;
    for (size_t index = 0; index < sizeof(sdk.Data4); ++index)
        same = same && ours.Data4[index] == sdk.Data4[index];
    return same;
}

// Interface identifiers: mingw-w64 declares __uuidof as a constant expression.
#define TARSEL_SAME_INTERFACE_ID(ours, name) \
    static_assert(SameGuid(ours::IID_##name, __uuidof(::name)), "IID_" #name ": bytes differ");
TARSEL_FOR_EACH(TARSEL_SAME_INTERFACE_ID, (platform), IDXGIDevice, IDXGIFactory2, ID3D11VideoDevice, ID3D11VideoContext, ID3D10Multithread)

// The SDK names the two profiles after their DXVA modes; the Direct3D 11
// profile of H.264 without film grain is mode E.
static_assert(SameGuid(platform::D3D11_DECODER_PROFILE_H264_VLD_NOFGT, DXVA2_ModeH264_E));
static_assert(SameGuid(platform::D3D11_DECODER_PROFILE_HEVC_VLD_MAIN, DXVA2_ModeHEVC_VLD_Main));
static_assert(SameGuid(platform::DXVA_NoEncrypt, ::DXVA_NoEncrypt));
static_assert(SameGuid(platform::kGuidNull, ::GUID{}));
// kH264VendorProfileA and B are vendor profiles that the SDK headers do not
// name, so there is nothing of the SDK's to hold them against.

}  // namespace
