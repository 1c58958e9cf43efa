#include "decoder/dxva2_video_decoder.h"

#include <string>
#include <utility>

#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "decoder/dxva/dxva_dump_writer.h"
#include "logging/spdlog_logger.h"

using namespace platform;

namespace {

const platform::GUID kH264Profiles[] = {kH264VendorProfileA, kH264VendorProfileB, D3D11_DECODER_PROFILE_H264_VLD_NOFGT};

const D3D_FEATURE_LEVEL kFeatureLevels[] = {
    D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0,
    D3D_FEATURE_LEVEL_9_3,  D3D_FEATURE_LEVEL_9_2,  D3D_FEATURE_LEVEL_9_1,
};

bool IsH264Profile(const platform::GUID& profile)
{
    for (const platform::GUID& candidate : kH264Profiles) {
        if (candidate == profile)
            return true;
    }
    return false;
}

// The adapter name for the log line, as UTF-8.
std::string AdapterName(const DXGI_ADAPTER_DESC1& description)
{
    std::string name;
    for (char16_t unit : description.Description) {
        if (unit == 0)
            break;
        // Surrogate pairs are rare in adapter names; show them as '?'.
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            name += '?';
        } else if (unit < 0x80) {
            name += static_cast<char>(unit);
        } else if (unit < 0x800) {
            name += static_cast<char>(0xC0 | (unit >> 6));
            name += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            name += static_cast<char>(0xE0 | (unit >> 12));
            name += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            name += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return name;
}

}  // namespace

DXVA2VideoDecoder::DXVA2VideoDecoder(OutputChangedCallback outputChanged, ErrorCallback error,
                                     VideoPlatform& videoPlatform)
    : m_OutputChangedCallback(std::move(outputChanged)),
      m_ErrorCallback(std::move(error)),
      m_H264Stream(CreateH264Stream()),
      m_HevcStream(CreateHevcStream()),
      m_Platform(videoPlatform),
      m_Dump(DxvaDumpWriter::FromEnvironment())
{
    // Room for the start codes of any real access unit, set aside before a timed run.
    m_StartCodes.reserve(4096);
}

DXVA2VideoDecoder::~DXVA2VideoDecoder()
{
    ReleaseConfiguration();
    ReleaseAdapterInterfaces();
    SafeRelease(m_DxgiFactory);
    DestroyH264Stream(m_H264Stream);
    DestroyHevcStream(m_HevcStream);
}

bool DXVA2VideoDecoder::IsInitialized()
{
    return m_Initialized;
}

int32_t DXVA2VideoDecoder::FailInit(int32_t code)
{
    SafeRelease(m_DxgiFactory);
    if (m_ErrorCallback)
        m_ErrorCallback(code);
    return code;
}

void DXVA2VideoDecoder::ReleaseAdapterInterfaces()
{
    SafeRelease(m_VideoContext);
    SafeRelease(m_VideoDevice);
    SafeRelease(m_DeviceContext);
    SafeRelease(m_Device);
}

void DXVA2VideoDecoder::ReleaseConfiguration()
{
    while (!m_OutputViews.empty()) {
        SafeRelease(m_OutputViews.back());
        m_OutputViews.pop_back();
    }
    SafeRelease(m_OutputTexture);
    SafeRelease(m_VideoDecoder);
}

int32_t DXVA2VideoDecoder::Init()
{
    // A second Init starts from a clean slate instead of leaking the first device.
    ReleaseConfiguration();
    m_OutputViews.assign(2, nullptr);
    ReleaseAdapterInterfaces();
    SafeRelease(m_DxgiFactory);
    m_Initialized = false;

    void* factory = nullptr;
    platform::HRESULT result = m_Platform.CreateDXGIFactory1(IID_IDXGIFactory2, &factory);
    if (Failed(result) || !factory) {
        g_Logger.Log(LogLevel::error, "decoder : failed to CreateDXGIFactory : error 0x%x", HresultBits(result));
        return FailInit(static_cast<int32_t>(kFactoryFailed));
    }
    m_DxgiFactory = static_cast<IDXGIFactory2*>(factory);

    if (!ChooseAdapter()) {
        g_Logger.Log(LogLevel::error, "decoder: no decoder were found on this computer...");
        return FailInit(static_cast<int32_t>(kNoUsableAdapter));
    }

    void* multithread = nullptr;
    result = m_Device->QueryInterface(IID_ID3D10Multithread, &multithread);
    if (Failed(result) || !multithread) {
        g_Logger.Log(LogLevel::error, "decoder: failed to query the multithread interface");
        return FailInit(static_cast<int32_t>(kNoUsableAdapter));
    }
    auto* protection = static_cast<ID3D10Multithread*>(multithread);
    protection->SetMultithreadProtected(1);
    protection->Release();

    if (!m_Platform.QueryPerformanceFrequency(&m_CounterFrequency) || m_CounterFrequency <= 0) {
        g_Logger.Log(LogLevel::error, "decoder: QueryPerformanceFrequency failed!");
        return FailInit(static_cast<int32_t>(kNoUsableAdapter));
    }

    m_Initialized = true;
    return 1;
}

// Walks the adapters in enumeration order and keeps the device of the first
// that can decode H.264 or H.265 into NV12.
bool DXVA2VideoDecoder::ChooseAdapter()
{
    for (UINT index = 0;; ++index) {
        IDXGIAdapter1* adapter = nullptr;
        if (m_DxgiFactory->EnumAdapters1(index, &adapter) != kResultOk || !adapter)
            return false;

        DXGI_ADAPTER_DESC1 description = {};
        adapter->GetDesc1(&description);
        g_Logger.Log(LogLevel::info, "decoder : adapter %d -> %s [0x%x//0x%x]", index, AdapterName(description),
                     description.VendorId, description.DeviceId);

        bool chosen = OpenAdapter(adapter, index);
        adapter->Release();
        if (chosen)
            return true;
        ReleaseAdapterInterfaces();
    }
}

bool DXVA2VideoDecoder::OpenAdapter(IDXGIAdapter1* adapter, UINT index)
{
    platform::HRESULT result = m_Platform.D3D11CreateDevice(
        adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_VIDEO_SUPPORT | D3D11_CREATE_DEVICE_BGRA_SUPPORT,
        kFeatureLevels, static_cast<UINT>(std::size(kFeatureLevels)), kD3D11SdkVersion, &m_Device, nullptr,
        &m_DeviceContext);
    if (Failed(result) || !m_Device || !m_DeviceContext) {
        g_Logger.Log(LogLevel::error, "decoder: D3D11CreateDevice failed on adapter %d: hr = 0x%x", index, HresultBits(result));
        return false;
    }

    void* videoDevice = nullptr;
    result = m_Device->QueryInterface(IID_ID3D11VideoDevice, &videoDevice);
    if (Failed(result) || !videoDevice) {
        g_Logger.Log(LogLevel::error, "decoder: could not query ID3D11VideoDevice interface: hr = 0x%x", HresultBits(result));
        return false;
    }
    m_VideoDevice = static_cast<ID3D11VideoDevice*>(videoDevice);

    void* videoContext = nullptr;
    result = m_DeviceContext->QueryInterface(IID_ID3D11VideoContext, &videoContext);
    if (Failed(result)) {
        g_Logger.Log(LogLevel::error, "decoder: could not query ID3D11VideoContext interface: hr = 0x%x", HresultBits(result));
        return false;
    }
    if (!videoContext) {
        g_Logger.Log(LogLevel::error, "decoder: no video context found on this computer");
        return false;
    }
    m_VideoContext = static_cast<ID3D11VideoContext*>(videoContext);
    return ScanProfiles() && CheckProfileFormats();
}

// Records the first H.264 and the first H.265 profile in the device's own
// order. Identifiers from a rejected adapter must not reach the next one's
// format check, so both start cleared.
bool DXVA2VideoDecoder::ScanProfiles()
{
    m_H264Profile = kGuidNull;
    m_HevcProfile = kGuidNull;
    bool foundH264 = false;
    bool foundHevc = false;
    UINT count = m_VideoDevice->GetVideoDecoderProfileCount();
    for (UINT index = 0; index < count; ++index) {
        platform::GUID profile = kGuidNull;
        if (Failed(m_VideoDevice->GetVideoDecoderProfile(index, &profile))) {
            g_Logger.Log(LogLevel::error, "decoder: could not retrieve decoder profile for id: %d", index);
            continue;
        }
        if (!foundH264 && IsH264Profile(profile)) {
            m_H264Profile = profile;
            foundH264 = true;
        }
        if (!foundHevc && profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN) {
            m_HevcProfile = profile;
            foundHevc = true;
        }
    }
    if (!foundH264 && !foundHevc) {
        g_Logger.Log(LogLevel::error, "decoder: could not find suitable decoder profile for h264");
        return false;
    }
    return true;
}

bool DXVA2VideoDecoder::CheckProfileFormats()
{
    struct Check {
        const platform::GUID& profile;
        const char* unsupportedLine;
    };
    const Check checks[] = {
        {m_H264Profile, "decoder: failed to create decoder format: %d is not supported for H264"},
        {m_HevcProfile, "decoder: failed to create decoder format: %d is not supported for H265"},
    };
    for (const Check& check : checks) {
        if (check.profile == kGuidNull)
            continue;
        BOOL supported = 0;
        platform::HRESULT result = m_VideoDevice->CheckVideoDecoderFormat(&check.profile, DXGI_FORMAT_NV12, &supported);
        if (Failed(result)) {
            g_Logger.Log(LogLevel::error, "decoder: failed to check decoder format: hr = 0x%x", HresultBits(result));
            return false;
        }
        if (!supported) {
            g_Logger.Log(LogLevel::error, check.unsupportedLine, static_cast<int>(DXGI_FORMAT_NV12));
            return false;
        }
    }
    return true;
}
