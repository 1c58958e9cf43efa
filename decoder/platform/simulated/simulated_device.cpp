#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "bench/performance_counter.h"
#include "bitstream/hevc/hevc_parser.h"
#include "decoder/platform/decoder_profiles.h"
#include "decoder/platform/simulated/simulated_objects.h"
#include "logging/spdlog_logger.h"

namespace platform {

namespace {

const char16_t kAdapterName[] = u"Simulated video decoder (no hardware)";

const GUID kProfiles[] = {D3D11_DECODER_PROFILE_H264_VLD_NOFGT, D3D11_DECODER_PROFILE_HEVC_VLD_MAIN,
                          D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10};

// Largest picture each profile takes, as common hardware has it.
constexpr UINT kMaxH264Size = 4096;
constexpr UINT kMaxHevcSize = 8192;
constexpr UINT kMinSize = 16;

// Driver-like buffer sizes: parameter structures get a page, slice control
// room for 256 long entries, the bitstream an uncompressed NV12 picture.
constexpr size_t kParameterBufferSize = 4096;
constexpr size_t kSliceControlBufferSize = 256 * 864;
constexpr size_t kBitstreamGranule = 64 * 1024;
// Driver memory is resident before the first frame: the device reserves its
// buffers (the bitstream for pictures up to 2160p) and faults them in when
// it is created, the bitstream only in the front where access units go.
constexpr size_t kReservedBitstreamSize =
    (size_t(3840) * 2160 * 3 / 2 + kBitstreamGranule - 1) / kBitstreamGranule * kBitstreamGranule;
constexpr size_t kResidentBytes = 2 * 1024 * 1024;

struct BufferSize {
    D3D11_VIDEO_DECODER_BUFFER_TYPE type;
    size_t size;  // 0: the bitstream's, which depends on the picture size
};
const BufferSize kBufferSizes[] = {
    {D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS, kParameterBufferSize},
    {D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX, kParameterBufferSize},
    {D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL, kSliceControlBufferSize},
    {D3D11_VIDEO_DECODER_BUFFER_BITSTREAM, 0},
};

// Every profile decodes 4:2:0 into NV12; Main 10 also into P010, the only
// one deep enough for its 10-bit streams.
bool DecodesInto(const GUID& profile, DXGI_FORMAT format)
{
    if (format == DXGI_FORMAT_NV12)
        return SimulatedCodecOf(profile) != kSimulatedCodecNone;
    return format == DXGI_FORMAT_P010 && profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10;
}

uint32_t ProfileBitDepth(const GUID& profile)
{
    return profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10 ? 10 : 8;
}

uint32_t FormatBitDepth(DXGI_FORMAT format)
{
    return format == DXGI_FORMAT_P010 ? 10 : 8;
}

bool IsDecoderTextureFormat(DXGI_FORMAT format)
{
    return format == DXGI_FORMAT_NV12 || format == DXGI_FORMAT_P010;
}

D3D11_VIDEO_DECODER_CONFIG UnencryptedConfig(UINT bitstreamRaw)
{
    D3D11_VIDEO_DECODER_CONFIG config = {};
    config.guidConfigBitstreamEncryption = DXVA_NoEncrypt;
    config.guidConfigMBcontrolEncryption = DXVA_NoEncrypt;
    config.guidConfigResidDiffEncryption = DXVA_NoEncrypt;
    config.ConfigBitstreamRaw = bitstreamRaw;
    config.ConfigMinRenderTargetBuffCount = 2;
    return config;
}

}  // namespace

uint8_t SimulatedCodecOf(const GUID& profile)
{
    // The vendor profiles are not offered here but decode like the published
    // one, for devices built on this one that offer them.
    if (profile == D3D11_DECODER_PROFILE_H264_VLD_NOFGT || profile == kH264VendorProfileA ||
        profile == kH264VendorProfileB)
        return kSimulatedCodecH264;
    if (profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN || profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10)
        return kSimulatedCodecHevc;
    return kSimulatedCodecNone;
}

void LogSimulatedRefusal(const char* operation, const std::string& reason)
{
    g_Logger.Log(LogLevel::error, "decoder: simulated device refused %s: %s", operation, reason);
}

// ------------------------------------------------------------------ platform

SimulatedVideoPlatform::SimulatedVideoPlatform(SimulatedDeviceOptions options) : m_Options(options) {}

HRESULT SimulatedVideoPlatform::CreateDXGIFactory1(const GUID& interfaceId, void** factory)
{
    if (!factory)
        return kResultPointer;
    *factory = nullptr;
    if (!(interfaceId == IID_IDXGIFactory2))
        return kResultNoInterface;
    *factory = static_cast<IDXGIFactory2*>(new SimulatedFactory());
    return kResultOk;
}

HRESULT SimulatedVideoPlatform::D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void*,
                                                  UINT flags, const D3D_FEATURE_LEVEL* featureLevels,
                                                  UINT featureLevelCount, UINT sdkVersion, ID3D11Device** device,
                                                  D3D_FEATURE_LEVEL* featureLevel, ID3D11DeviceContext** context)
{
    if (!device || !context)
        return kResultPointer;
    *device = nullptr;
    *context = nullptr;
    // An explicit adapter goes with the unknown driver type, as in Direct3D.
    if (!dynamic_cast<SimulatedAdapter*>(adapter) || driverType != D3D_DRIVER_TYPE_UNKNOWN ||
        sdkVersion != kD3D11SdkVersion || !(flags & D3D11_CREATE_DEVICE_VIDEO_SUPPORT)) {
        return kResultInvalidArgument;
    }
    bool levelOffered = false;
    for (UINT index = 0; featureLevels && index < featureLevelCount; ++index)
        levelOffered = levelOffered || featureLevels[index] == D3D_FEATURE_LEVEL_11_0;
    if (featureLevels && !levelOffered)
        return kResultInvalidArgument;
    if (featureLevel)
        *featureLevel = D3D_FEATURE_LEVEL_11_0;
    *device = static_cast<ID3D11Device*>(new SimulatedDevice(m_Options));
    *context = static_cast<ID3D11DeviceContext*>(new SimulatedContext(m_Options.decodeMicroseconds));
    return kResultOk;
}

BOOL SimulatedVideoPlatform::QueryPerformanceFrequency(int64_t* frequency)
{
    *frequency = PerformanceCounterFrequency();
    return *frequency > 0;
}

BOOL SimulatedVideoPlatform::QueryPerformanceCounter(int64_t* counter)
{
    *counter = ReadPerformanceCounter();
    return 1;
}

// ------------------------------------------------------------------ adapter and factory

HRESULT SimulatedAdapter::QueryInterface(const GUID&, void** object)
{
    *object = nullptr;
    return kResultNoInterface;
}

HRESULT SimulatedAdapter::GetDesc1(DXGI_ADAPTER_DESC1* description)
{
    if (!description)
        return kResultInvalidArgument;
    *description = {};
    static_assert(std::size(kAdapterName) <= std::size(DXGI_ADAPTER_DESC1{}.Description));
    for (size_t index = 0; index < std::size(kAdapterName); ++index)
        description->Description[index] = kAdapterName[index];
    description->VendorId = SimulatedVideoPlatform::kVendorId;
    description->DeviceId = SimulatedVideoPlatform::kDeviceId;
    return kResultOk;
}

HRESULT SimulatedAdapter::CheckInterfaceSupport(const GUID& interfaceName, int64_t* version)
{
    if (!version)
        return kResultInvalidArgument;
    *version = 0;
    if (!(interfaceName == IID_IDXGIDevice))
        return kResultDxgiUnsupported;
    *version = kDriverVersion;
    return kResultOk;
}

HRESULT SimulatedFactory::QueryInterface(const GUID& interfaceId, void** object)
{
    *object = nullptr;
    if (interfaceId == IID_IDXGIFactory2)
        return HandOut<IDXGIFactory2>(this, object);
    return kResultNoInterface;
}

HRESULT SimulatedFactory::EnumAdapters1(UINT index, IDXGIAdapter1** adapter)
{
    if (!adapter)
        return kResultInvalidArgument;
    *adapter = nullptr;
    if (index != 0)
        return kResultDxgiNotFound;
    *adapter = new SimulatedAdapter();
    return kResultOk;
}

// ------------------------------------------------------------------ textures, views, decoders

SimulatedTexture::SimulatedTexture(const D3D11_TEXTURE2D_DESC& description)
    : m_Description(description), m_PictureNumbers(description.ArraySize, 0), m_PicOrderCnts(description.ArraySize, 0)
{
}

HRESULT SimulatedTexture::QueryInterface(const GUID&, void** object)
{
    *object = nullptr;
    return kResultNoInterface;
}

void SimulatedTexture::GetDesc(D3D11_TEXTURE2D_DESC* description)
{
    *description = m_Description;
}

SimulatedOutputView::SimulatedOutputView(SimulatedTexture* texture,
                                         const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC& description)
    : m_Texture(texture), m_Description(description)
{
    m_Texture->AddRef();
}

SimulatedOutputView::~SimulatedOutputView()
{
    m_Texture->Release();
}

HRESULT SimulatedOutputView::QueryInterface(const GUID&, void** object)
{
    *object = nullptr;
    return kResultNoInterface;
}

void SimulatedOutputView::GetDesc(D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description)
{
    *description = m_Description;
}

void SimulatedMemory::Resize(size_t size)
{
    if (size > m_Capacity) {
        m_Block = std::make_unique_for_overwrite<uint8_t[]>(size);
        m_Capacity = size;
    }
    m_Size = size;
}

SimulatedVideoDecoder::SimulatedVideoDecoder(SimulatedDevice& device, const D3D11_VIDEO_DECODER_DESC& description,
                                             const D3D11_VIDEO_DECODER_CONFIG& config)
    : m_Description(description), m_Config(config), m_Device(device)
{
    m_Device.AddRef();
    size_t picture = size_t(description.SampleWidth) * description.SampleHeight * 3 / 2;
    size_t bitstream = (picture + kBitstreamGranule - 1) / kBitstreamGranule * kBitstreamGranule;
    for (const BufferSize& buffer : kBufferSizes) {
        SimulatedMemory& memory = m_Buffers[buffer.type].memory;
        memory = m_Device.TakeBufferMemory(buffer.type);
        memory.Resize(buffer.size != 0 ? buffer.size : bitstream);
    }
    if (Codec() == kSimulatedCodecHevc)
        m_Hevc.stream = m_Device.HevcHeaderStream();
}

SimulatedVideoDecoder::~SimulatedVideoDecoder()
{
    CloseFrame();
    for (UINT type = 0; type < kBufferTypes; ++type)
        m_Device.KeepBufferMemory(type, std::move(m_Buffers[type].memory));
    m_Device.Release();
}

HRESULT SimulatedVideoDecoder::QueryInterface(const GUID&, void** object)
{
    *object = nullptr;
    return kResultNoInterface;
}

HRESULT SimulatedVideoDecoder::GetCreationParameters(D3D11_VIDEO_DECODER_DESC* description,
                                                     D3D11_VIDEO_DECODER_CONFIG* config)
{
    if (description)
        *description = m_Description;
    if (config)
        *config = m_Config;
    return kResultOk;
}

void SimulatedVideoDecoder::CloseFrame()
{
    if (m_Target)
        m_Target->Release();
    m_Target = nullptr;
    m_FrameOpen = false;
    m_Submitted = false;
    for (Buffer& buffer : m_Buffers) {
        buffer.held = false;
        buffer.used = false;
    }
}

// ------------------------------------------------------------------ device

SimulatedDevice::SimulatedDevice(const SimulatedDeviceOptions& options)
{
    if (options.offerShortSlices)
        m_Configs.push_back(UnencryptedConfig(2));
    if (options.offerLongSlices)
        m_Configs.push_back(UnencryptedConfig(1));
    for (const BufferSize& buffer : kBufferSizes) {
        SimulatedMemory& memory = m_SpareMemory[buffer.type];
        memory.Resize(buffer.size != 0 ? buffer.size : kReservedBitstreamSize);
        std::memset(memory.data(), 0, std::min(memory.size(), kResidentBytes));
    }
    m_HevcHeaderStream = CreateHevcStream();
}

SimulatedDevice::~SimulatedDevice()
{
    DestroyHevcStream(m_HevcHeaderStream);
}

HRESULT SimulatedDevice::QueryInterface(const GUID& interfaceId, void** object)
{
    *object = nullptr;
    if (interfaceId == IID_ID3D11VideoDevice)
        return HandOut<ID3D11VideoDevice>(this, object);
    if (interfaceId == IID_ID3D10Multithread)
        return HandOut<ID3D10Multithread>(this, object);
    return kResultNoInterface;
}

HRESULT SimulatedDevice::CheckFormatSupport(DXGI_FORMAT format, UINT* support)
{
    if (!support)
        return kResultInvalidArgument;
    *support = 0;
    if (!IsDecoderTextureFormat(format))
        return kResultFail;
    constexpr UINT kTexture2D = 0x20;
    *support = kTexture2D | D3D11_FORMAT_SUPPORT_SHADER_SAMPLE;
    return kResultOk;
}

HRESULT SimulatedDevice::CreateTexture2D(const D3D11_TEXTURE2D_DESC* description, const void* initialData,
                                         ID3D11Texture2D** texture)
{
    if (!texture || !description)
        return kResultInvalidArgument;
    *texture = nullptr;
    std::string problem;
    if (!IsDecoderTextureFormat(description->Format))
        problem = "only NV12 and P010 textures are offered";
    else if (description->Width == 0 || description->Height == 0 || description->Width % 2 || description->Height % 2)
        problem = "a 4:2:0 texture needs an even, non-zero size";
    else if (description->Width > kMaxHevcSize || description->Height > kMaxHevcSize)
        problem = "texture larger than the device supports";
    else if (description->ArraySize == 0 || description->MipLevels != 1 || description->SampleDesc.Count != 1)
        problem = "a decoder texture has one mip level, one sample and at least one slice";
    else if (!(description->BindFlags & D3D11_BIND_DECODER))
        problem = "texture not bound for decoding";
    else if (initialData)
        problem = "a decoder texture takes no initial data";
    if (!problem.empty()) {
        LogSimulatedRefusal("CreateTexture2D", problem);
        return kResultInvalidArgument;
    }
    *texture = new SimulatedTexture(*description);
    return kResultOk;
}

HRESULT SimulatedDevice::CreateQuery(const D3D11_QUERY_DESC* description, ID3D11Query** query)
{
    if (!query || !description)
        return kResultInvalidArgument;
    *query = nullptr;
    if (description->Query != D3D11_QUERY_EVENT || description->MiscFlags != 0) {
        LogSimulatedRefusal("CreateQuery", "only event queries are offered");
        return kResultInvalidArgument;
    }
    *query = new SimulatedQuery();
    return kResultOk;
}

HRESULT SimulatedQuery::QueryInterface(const GUID&, void** object)
{
    *object = nullptr;
    return kResultNoInterface;
}

BOOL SimulatedDevice::SetMultithreadProtected(BOOL protect)
{
    BOOL previous = m_MultithreadProtected;
    m_MultithreadProtected = protect;
    return previous;
}

UINT SimulatedDevice::GetVideoDecoderProfileCount()
{
    return static_cast<UINT>(std::size(kProfiles));
}

HRESULT SimulatedDevice::GetVideoDecoderProfile(UINT index, GUID* profile)
{
    if (!profile || index >= std::size(kProfiles))
        return kResultInvalidArgument;
    *profile = kProfiles[index];
    return kResultOk;
}

HRESULT SimulatedDevice::CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format, BOOL* supported)
{
    if (!profile || !supported || SimulatedCodecOf(*profile) == kSimulatedCodecNone)
        return kResultInvalidArgument;
    *supported = DecodesInto(*profile, format);
    return kResultOk;
}

bool SimulatedDevice::IsOutsideDecodableSize(const D3D11_VIDEO_DECODER_DESC* description) const
{
    if (!description)
        return false;
    uint8_t codec = SimulatedCodecOf(description->Guid);
    UINT limit = codec == kSimulatedCodecH264 ? kMaxH264Size : kMaxHevcSize;
    return codec != kSimulatedCodecNone &&
           (description->SampleWidth < kMinSize || description->SampleHeight < kMinSize ||
            description->SampleWidth > limit || description->SampleHeight > limit);
}

std::string SimulatedDevice::CheckDecoderDescription(const D3D11_VIDEO_DECODER_DESC* description) const
{
    if (!description)
        return "no decoder description";
    uint8_t codec = SimulatedCodecOf(description->Guid);
    if (codec == kSimulatedCodecNone)
        return "decoder profile not offered";
    if (!DecodesInto(description->Guid, description->OutputFormat))
        return "the profile does not decode into format " + std::to_string(description->OutputFormat);
    if (IsOutsideDecodableSize(description))
        return "picture size " + std::to_string(description->SampleWidth) + "x" +
               std::to_string(description->SampleHeight) + " outside what the profile decodes";
    if (description->SampleWidth % 2 || description->SampleHeight % 2)
        return "an NV12 picture needs an even size";
    return {};
}

HRESULT SimulatedDevice::GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* description, UINT* count)
{
    if (!count)
        return kResultInvalidArgument;
    *count = 0;
    std::string problem = CheckDecoderDescription(description);
    // A size past the profile's reach has no configuration, as drivers answer
    // a capability probe; anything else wrong with the description is refused.
    if (!problem.empty() && !IsOutsideDecodableSize(description)) {
        LogSimulatedRefusal("GetVideoDecoderConfigCount", problem);
        return kResultInvalidArgument;
    }
    *count = problem.empty() ? static_cast<UINT>(m_Configs.size()) : 0;
    return kResultOk;
}

HRESULT SimulatedDevice::GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC* description, UINT index,
                                               D3D11_VIDEO_DECODER_CONFIG* config)
{
    if (!config || !CheckDecoderDescription(description).empty() || index >= m_Configs.size())
        return kResultInvalidArgument;
    *config = m_Configs[index];
    return kResultOk;
}

HRESULT SimulatedDevice::CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description,
                                            const D3D11_VIDEO_DECODER_CONFIG* config, ID3D11VideoDecoder** decoder)
{
    if (!decoder)
        return kResultInvalidArgument;
    *decoder = nullptr;
    std::string problem = CheckDecoderDescription(description);
    bool offered = false;
    for (const D3D11_VIDEO_DECODER_CONFIG& candidate : m_Configs)
        offered = offered || (config && std::memcmp(&candidate, config, sizeof(candidate)) == 0);
    if (problem.empty() && !offered)
        problem = "configuration not offered";
    // The DXVA HEVC profiles take short slice entries and name them raw 1.
    if (problem.empty() && SimulatedCodecOf(description->Guid) == kSimulatedCodecHevc && config->ConfigBitstreamRaw != 1)
        problem = "an hevc decoder takes ConfigBitstreamRaw 1, not " + std::to_string(config->ConfigBitstreamRaw);
    if (!problem.empty()) {
        LogSimulatedRefusal("CreateVideoDecoder", problem);
        return kResultInvalidArgument;
    }
    *decoder = new SimulatedVideoDecoder(*this, *description, *config);
    return kResultOk;
}

SimulatedMemory SimulatedDevice::TakeBufferMemory(UINT type)
{
    return std::move(m_SpareMemory[type]);
}

void SimulatedDevice::KeepBufferMemory(UINT type, SimulatedMemory memory)
{
    // Of two decoders alive at once, the larger memory is kept.
    if (memory.capacity() > m_SpareMemory[type].capacity())
        m_SpareMemory[type] = std::move(memory);
}

HRESULT SimulatedDevice::CreateVideoDecoderOutputView(ID3D11Resource* resource,
                                                      const D3D11_VIDEO_DECODER_OUTPUT_VIEW_DESC* description,
                                                      ID3D11VideoDecoderOutputView** view)
{
    if (!view)
        return kResultInvalidArgument;
    *view = nullptr;
    auto* texture = dynamic_cast<SimulatedTexture*>(resource);
    std::string problem;
    if (!texture || !description)
        problem = "no texture of this device";
    else if (SimulatedCodecOf(description->DecodeProfile) == kSimulatedCodecNone)
        problem = "view for a decoder profile not offered";
    else if (description->ViewDimension != D3D11_VDOV_DIMENSION_TEXTURE2D)
        problem = "views are of two-dimensional textures";
    else if (!DecodesInto(description->DecodeProfile, texture->m_Description.Format))
        problem = "the profile does not decode into the texture's format " + std::to_string(texture->m_Description.Format);
    else if (description->Texture2D.ArraySlice >= texture->m_Description.ArraySize)
        problem = "array slice " + std::to_string(description->Texture2D.ArraySlice) + " outside the texture";
    else if (UINT alignment = SimulatedCodecOf(description->DecodeProfile) == kSimulatedCodecHevc ? 128 : 16;
             texture->m_Description.Width % alignment || texture->m_Description.Height % alignment)
        problem = "texture of " + std::to_string(texture->m_Description.Width) + "x" +
                  std::to_string(texture->m_Description.Height) + " is not in whole blocks of " +
                  std::to_string(alignment) + " samples";
    if (!problem.empty()) {
        LogSimulatedRefusal("CreateVideoDecoderOutputView", problem);
        return kResultInvalidArgument;
    }
    *view = new SimulatedOutputView(texture, *description);
    return kResultOk;
}

// ------------------------------------------------------------------ samples

std::string CheckSampleFormat(const SimulatedVideoDecoder& decoder)
{
    const uint8_t* parameters = decoder.m_Buffers[D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS].memory.data();
    uint32_t chromaFormatIdc = 0;
    uint32_t lumaMinus8 = 0;
    uint32_t chromaMinus8 = 0;
    if (decoder.Codec() == kSimulatedCodecHevc) {
        DXVA_PicParams_HEVC picture;
        std::memcpy(&picture, parameters, sizeof(picture));
        chromaFormatIdc = picture.chroma_format_idc;
        lumaMinus8 = picture.bit_depth_luma_minus8;
        chromaMinus8 = picture.bit_depth_chroma_minus8;
    } else {
        DXVA_PicParams_H264 picture;
        std::memcpy(&picture, parameters, sizeof(picture));
        chromaFormatIdc = picture.chroma_format_idc;
        lumaMinus8 = picture.bit_depth_luma_minus8;
        chromaMinus8 = picture.bit_depth_chroma_minus8;
    }
    const D3D11_VIDEO_DECODER_DESC& description = decoder.m_Description;
    if (chromaFormatIdc != 1)
        return "chroma_format_idc " + std::to_string(chromaFormatIdc) + " where the profile decodes 4:2:0 only";
    const uint32_t depth = 8 + std::max(lumaMinus8, chromaMinus8);
    // Put together only for a refusal: an accepted picture allocates nothing here.
    auto depths = [&] {
        return "bit_depth_luma_minus8 " + std::to_string(lumaMinus8) + " and bit_depth_chroma_minus8 " +
               std::to_string(chromaMinus8);
    };
    if (depth > ProfileBitDepth(description.Guid))
        return depths() + " beyond the profile's " + std::to_string(ProfileBitDepth(description.Guid)) + " bits";
    if (depth > FormatBitDepth(description.OutputFormat))
        return depths() + " beyond the output format's " + std::to_string(FormatBitDepth(description.OutputFormat)) +
               " bits";
    if (decoder.m_Target && decoder.m_Target->m_Texture->m_Description.Format != description.OutputFormat)
        return "surface of format " + std::to_string(decoder.m_Target->m_Texture->m_Description.Format) +
               " for a decoder writing format " + std::to_string(description.OutputFormat);
    return {};
}

}  // namespace platform
