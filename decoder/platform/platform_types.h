#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The Direct3D 11, DXGI and DXVA values the decoder exchanges with the
// platform, written out with the published names, values and layouts. They
// live in their own namespace so that a Windows build can include the SDK
// headers beside them and translate field by field. The result codes, the SDK
// version and the null GUID are macros in the SDK headers, and a macro ignores
// namespaces, so ours carry their own spellings (the published name beside
// each); every other name here is a type or an enumerator, which a namespace
// does keep apart.
namespace platform {

using HRESULT = int32_t;
using UINT = uint32_t;
using ULONG = uint32_t;
using BOOL = int32_t;  // a macro for WINBOOL in the SDK: int either way

constexpr HRESULT kResultOk = 0;  // S_OK
constexpr HRESULT kResultFalse = 1;  // S_FALSE
constexpr HRESULT kResultPending = static_cast<HRESULT>(0x8000000Au);  // E_PENDING
constexpr HRESULT kResultNoInterface = static_cast<HRESULT>(0x80004002u);  // E_NOINTERFACE
constexpr HRESULT kResultPointer = static_cast<HRESULT>(0x80004003u);  // E_POINTER
constexpr HRESULT kResultAbort = static_cast<HRESULT>(0x80004004u);  // E_ABORT
constexpr HRESULT kResultFail = static_cast<HRESULT>(0x80004005u);  // E_FAIL
constexpr HRESULT kResultOutOfMemory = static_cast<HRESULT>(0x8007000Eu);  // E_OUTOFMEMORY
constexpr HRESULT kResultInvalidArgument = static_cast<HRESULT>(0x80070057u);  // E_INVALIDARG
constexpr HRESULT kResultDxgiNotFound = static_cast<HRESULT>(0x887A0002u);  // DXGI_ERROR_NOT_FOUND
constexpr HRESULT kResultDxgiUnsupported = static_cast<HRESULT>(0x887A0004u);  // DXGI_ERROR_UNSUPPORTED
constexpr HRESULT kResultWasStillDrawing = static_cast<HRESULT>(0x8876021Cu);  // D3DERR_WASSTILLDRAWING

constexpr bool Failed(HRESULT result) { return result < 0; }
// The code's bits as unsigned, for printing in hexadecimal.
constexpr uint32_t HresultBits(HRESULT result) { return static_cast<uint32_t>(result); }

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend bool operator==(const GUID& left, const GUID& right)
    {
        return std::memcmp(&left, &right, sizeof(GUID)) == 0;
    }
};
static_assert(sizeof(GUID) == 16);

constexpr GUID kGuidNull = {};  // GUID_NULL

// Interface identifiers asked for with QueryInterface and CreateDXGIFactory1.
constexpr GUID IID_IDXGIDevice = {0x54ec77fa, 0x1377, 0x44e6, {0x8c, 0x32, 0x88, 0xfd, 0x5f, 0x44, 0xc8, 0x4c}};
constexpr GUID IID_IDXGIFactory2 = {0x50c83a1c, 0xe072, 0x4c48, {0x87, 0xb0, 0x36, 0x30, 0xfa, 0x36, 0xa6, 0xd0}};
constexpr GUID IID_ID3D11VideoDevice = {0x10ec4d5b, 0x975a, 0x4689, {0xb9, 0xe4, 0xd0, 0xaa, 0xc3, 0x0f, 0xe3, 0x33}};
constexpr GUID IID_ID3D11VideoContext = {0x61f21c45, 0x3c0e, 0x4a74, {0x9c, 0xea, 0x67, 0x10, 0x0d, 0x9a, 0xd5, 0xe4}};
constexpr GUID IID_ID3D10Multithread = {0x9b7e4e00, 0x342c, 0x4106, {0xa1, 0x9f, 0x4f, 0x27, 0x04, 0xf6, 0x89, 0xf0}};

// Decoder profiles the decoder accepts. The first two are vendor H.264 VLD
// profiles without a published Direct3D 11 name, the second Intel's.
constexpr GUID kH264VendorProfileA = {0x4245f676, 0x2bbc, 0x4166, {0xa0, 0xbb, 0x54, 0xe7, 0xb8, 0x49, 0xc3, 0x80}};
constexpr GUID kH264VendorProfileB = {0x604f8e68, 0x4951, 0x4c54, {0x88, 0xfe, 0xab, 0xd2, 0x5c, 0x15, 0xb3, 0xd6}};
constexpr GUID D3D11_DECODER_PROFILE_H264_VLD_NOFGT = {0x1b81be68, 0xa0c7, 0x11d3, {0xb9, 0x84, 0x00, 0xc0, 0x4f, 0x2e, 0x73, 0xc5}};
constexpr GUID D3D11_DECODER_PROFILE_HEVC_VLD_MAIN = {0x5b11d51b, 0x2f4c, 0x4452, {0xbc, 0xc3, 0x09, 0xf2, 0xa1, 0x16, 0x0c, 0xc0}};
constexpr GUID DXVA_NoEncrypt = {0x1b81bed0, 0xa0c7, 0x11d3, {0xb9, 0x84, 0x00, 0xc0, 0x4f, 0x2e, 0x73, 0xc5}};

enum DXGI_FORMAT : uint32_t {
    DXGI_FORMAT_UNKNOWN = 0,
    DXGI_FORMAT_NV12 = 103,
    // Decoder output formats the capability probe asks about.
    DXGI_FORMAT_AYUV = 100,
    DXGI_FORMAT_Y410 = 101,
    DXGI_FORMAT_Y416 = 102,
    DXGI_FORMAT_P010 = 104,
    DXGI_FORMAT_P016 = 105,
    DXGI_FORMAT_YUY2 = 107,
    DXGI_FORMAT_Y210 = 108,
    DXGI_FORMAT_Y216 = 109,
};

enum D3D_DRIVER_TYPE : uint32_t { D3D_DRIVER_TYPE_UNKNOWN = 0, D3D_DRIVER_TYPE_HARDWARE = 1 };

enum D3D_FEATURE_LEVEL : uint32_t {
    D3D_FEATURE_LEVEL_9_1 = 0x9100,
    D3D_FEATURE_LEVEL_9_2 = 0x9200,
    D3D_FEATURE_LEVEL_9_3 = 0x9300,
    D3D_FEATURE_LEVEL_10_0 = 0xa000,
    D3D_FEATURE_LEVEL_10_1 = 0xa100,
    D3D_FEATURE_LEVEL_11_0 = 0xb000,
    D3D_FEATURE_LEVEL_11_1 = 0xb100,
};

constexpr UINT D3D11_CREATE_DEVICE_BGRA_SUPPORT = 0x20;
constexpr UINT D3D11_CREATE_DEVICE_VIDEO_SUPPORT = 0x800;
constexpr UINT kD3D11SdkVersion = 7;  // D3D11_SDK_VERSION

enum D3D11_USAGE : uint32_t { D3D11_USAGE_DEFAULT = 0 };
constexpr UINT D3D11_BIND_SHADER_RESOURCE = 0x8;
constexpr UINT D3D11_BIND_DECODER = 0x200;
// The published value: 0x100 would be SHADER_LOAD.
constexpr UINT D3D11_FORMAT_SUPPORT_SHADER_SAMPLE = 0x200;

enum D3D11_VDOV_DIMENSION : uint32_t { D3D11_VDOV_DIMENSION_UNKNOWN = 0, D3D11_VDOV_DIMENSION_TEXTURE2D = 1 };

enum D3D11_VIDEO_DECODER_BUFFER_TYPE : uint32_t {
    D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS = 0,
    D3D11_VIDEO_DECODER_BUFFER_MACROBLOCK_CONTROL = 1,
    D3D11_VIDEO_DECODER_BUFFER_RESIDUAL_DIFFERENCE = 2,
    D3D11_VIDEO_DECODER_BUFFER_DEBLOCKING_CONTROL = 3,
    D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX = 4,
    D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL = 5,
    D3D11_VIDEO_DECODER_BUFFER_BITSTREAM = 6,
    D3D11_VIDEO_DECODER_BUFFER_MOTION_VECTOR = 7,
    D3D11_VIDEO_DECODER_BUFFER_FILM_GRAIN = 8,
};

enum D3D11_QUERY : uint32_t { D3D11_QUERY_EVENT = 0 };

struct D3D11_QUERY_DESC {
    D3D11_QUERY Query;
    UINT MiscFlags;
};

struct LUID {
    uint32_t LowPart;
    int32_t HighPart;
};

struct DXGI_ADAPTER_DESC1 {
    char16_t Description[128];
    UINT VendorId;
    UINT DeviceId;
    UINT SubSysId;
    UINT Revision;
    size_t DedicatedVideoMemory;
    size_t DedicatedSystemMemory;
    size_t SharedSystemMemory;
    LUID AdapterLuid;
    UINT Flags;
};

struct DXGI_SAMPLE_DESC {
    UINT Count;
    UINT Quality;
};

struct D3D11_TEXTURE2D_DESC {
    UINT Width;
    UINT Height;
    UINT MipLevels;
    UINT ArraySize;
    DXGI_FORMAT Format;
    DXGI_SAMPLE_DESC SampleDesc;
    D3D11_USAGE Usage;
    UINT BindFlags;
    UINT CPUAccessFlags;
    UINT MiscFlags;
};

struct D3D11_VIDEO_DECODER_DESC {
    GUID Guid;
    UINT SampleWidth;
    UINT SampleHeight;
    DXGI_FORMAT OutputFormat;
};

struct D3D11_VIDEO_DECODER_CONFIG {
    GUID guidConfigBitstreamEncryption;
    GUID guidConfigMBcontrolEncryption;
    GUID guidConfigResidDiffEncryption;
    UINT ConfigBitstreamRaw;
    UINT ConfigMBcontrolRasterOrder;
    UINT ConfigResidDiffHost;
    UINT ConfigSpatialResid8;
    UINT ConfigResid8Subtraction;
    UINT ConfigSpatialHost8or9Clipping;
    UINT ConfigSpatialResidInterleaved;
    UINT ConfigIntraResidUnsigned;
    UINT ConfigResidDiffAccelerator;
    UINT ConfigHostInverseScan;
    UINT ConfigSpecificIDCT;
    UINT Config4GroupedCoefs;
    uint16_t ConfigMinRenderTargetBuffCount;
    uint16_t ConfigDecoderSpecific;
};

struct D3D11_TEX2D_VDOV {
    UINT ArraySlice;
};

struct D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC {
    GUID DecodeProfile;
    D3D11_VDOV_DIMENSION ViewDimension;
    D3D11_TEX2D_VDOV Texture2D;
};

struct D3D11_ENCRYPTED_BLOCK_INFO {
    UINT NumEncryptedBytesAtBeginning;
    UINT NumBytesInSkipPattern;
    UINT NumBytesInEncryptPattern;
};

struct D3D11_VIDEO_DECODER_BUFFER_DESC {
    D3D11_VIDEO_DECODER_BUFFER_TYPE BufferType;
    UINT BufferIndex;
    UINT DataOffset;
    UINT DataSize;
    UINT FirstMBaddress;
    UINT NumMBsInBuffer;
    UINT Width;
    UINT Height;
    UINT Stride;
    UINT ReservedBits;
    void* pIV;
    UINT IVSize;
    BOOL PartialEncryption;
    D3D11_ENCRYPTED_BLOCK_INFO EncryptedBlockInfo;
};

// What the capability probe reads: adapter flags, the decoder-capability
// query and its records.

constexpr GUID IID_ID3D11VideoDevice1 = {0x29da1d51, 0x1321, 0x4454, {0x80, 0x4b, 0xf5, 0xfc, 0x9f, 0x86, 0x1f, 0x0f}};

// DXGI_ADAPTER_DESC1::Flags
enum DXGI_ADAPTER_FLAG : uint32_t { DXGI_ADAPTER_FLAG_NONE = 0, DXGI_ADAPTER_FLAG_REMOTE = 1, DXGI_ADAPTER_FLAG_SOFTWARE = 2 };

// ID3D11VideoDevice1::GetVideoDecoderCaps
enum D3D11_VIDEO_DECODER_CAPS : uint32_t {
    D3D11_VIDEO_DECODER_CAPS_DOWNSAMPLE = 0x1,
    D3D11_VIDEO_DECODER_CAPS_NON_REAL_TIME = 0x2,
    D3D11_VIDEO_DECODER_CAPS_DOWNSAMPLE_DYNAMIC = 0x4,
    D3D11_VIDEO_DECODER_CAPS_DOWNSAMPLE_REQUIRED = 0x8,
    D3D11_VIDEO_DECODER_CAPS_UNSUPPORTED = 0x10,
};

struct DXGI_RATIONAL {
    UINT Numerator;
    UINT Denominator;
};

}  // namespace platform
