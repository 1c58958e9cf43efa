#include "decoder/dxva2_video_decoder.h"

#include <string>
#include <utility>

#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "decoder/adapter_selection.h"
#include "decoder/dxva/dxva_dump_writer.h"
#include "logging/spdlog_logger.h"

using namespace platform;

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
    // An adapter that was found but could not be set up is not the decoder's.
    m_Adapter.reset();
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
    m_Adapter.reset();

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
// that can decode H.264 or H.265 into NV12 (of the required one only, when
// there is one).
bool DXVA2VideoDecoder::ChooseAdapter()
{
    for (UINT index = 0;; ++index) {
        IDXGIAdapter1* adapter = nullptr;
        if (m_DxgiFactory->EnumAdapters1(index, &adapter) != kResultOk || !adapter)
            return false;
        if (m_RequiredAdapter && index != *m_RequiredAdapter) {
            adapter->Release();
            if (index > *m_RequiredAdapter)
                return false;
            continue;
        }

        DXGI_ADAPTER_DESC1 description = {};
        adapter->GetDesc1(&description);
        g_Logger.Log(LogLevel::info, "decoder : adapter %d -> %s [0x%x//0x%x]", index, AdapterName(description),
                     description.VendorId, description.DeviceId);

        bool chosen = OpenAdapter(adapter, index);
        if (chosen)
            m_Adapter = IdentifyAdapter(m_Platform, *adapter, index);
        adapter->Release();
        if (chosen)
            return true;
        ReleaseAdapterInterfaces();
    }
}

bool DXVA2VideoDecoder::OpenAdapter(IDXGIAdapter1* adapter, UINT index)
{
    std::string failure =
        OpenVideoInterfaces(m_Platform, adapter, index, m_Device, m_DeviceContext, m_VideoDevice, m_VideoContext);
    if (!failure.empty()) {
        g_Logger.Log(LogLevel::error, "decoder: %s", failure);
        return false;
    }
    return ScanProfiles() && CheckProfileFormats();
}

// Records the H.265 profiles and an H.264 one: the published profile whenever
// the device offers it, else the first vendor profile in the device's order,
// which drivers keep for older decoders. Identifiers from a rejected adapter
// must not reach the next one's format check, so all start cleared.
bool DXVA2VideoDecoder::ScanProfiles()
{
    std::vector<platform::GUID> offered;
    UINT count = m_VideoDevice->GetVideoDecoderProfileCount();
    for (UINT index = 0; index < count; ++index) {
        platform::GUID profile = kGuidNull;
        if (Failed(m_VideoDevice->GetVideoDecoderProfile(index, &profile))) {
            g_Logger.Log(LogLevel::error, "decoder: could not retrieve decoder profile for id: %d", index);
            continue;
        }
        offered.push_back(profile);
    }
    BenchmarkProfiles chosen = ChooseBenchmarkProfiles(offered);
    m_H264Profile = chosen.h264;
    m_HevcProfile = chosen.hevc;
    m_HevcMain10Profile = chosen.hevcMain10;
    if (chosen.Empty()) {
        g_Logger.Log(LogLevel::error, "decoder: could not find suitable decoder profile for h264");
        return false;
    }
    return true;
}

// The H.264 and HEVC Main profiles found must decode into NV12, or the
// adapter is not taken (the capability probe applies the same rule). Main 10
// is an extra for the 10-bit streams: the formats it decodes into are offered
// after Main's, and a check it fails only leaves that format out.
bool DXVA2VideoDecoder::CheckProfileFormats()
{
    struct Check {
        const platform::GUID& profile;
        DXGI_FORMAT format;
        const char* unsupportedLine;  // null where the adapter may lack it
    };
    const Check checks[] = {
        {m_H264Profile, DXGI_FORMAT_NV12, "decoder: failed to create decoder format: %d is not supported for H264"},
        {m_HevcProfile, DXGI_FORMAT_NV12, "decoder: failed to create decoder format: %d is not supported for H265"},
        {m_HevcMain10Profile, DXGI_FORMAT_NV12, nullptr},
        {m_HevcMain10Profile, DXGI_FORMAT_P010, nullptr},
    };
    m_OfferedSetups.clear();
    for (const Check& check : checks) {
        if (check.profile == kGuidNull)
            continue;
        BOOL supported = 0;
        platform::HRESULT result = m_VideoDevice->CheckVideoDecoderFormat(&check.profile, check.format, &supported);
        if (!Failed(result) && supported) {
            m_OfferedSetups.push_back({check.profile, check.format});
            continue;
        }
        if (!check.unsupportedLine)
            continue;
        if (Failed(result))
            g_Logger.Log(LogLevel::error, "decoder: failed to check decoder format: hr = 0x%x", HresultBits(result));
        else
            g_Logger.Log(LogLevel::error, check.unsupportedLine, static_cast<int>(check.format));
        return false;
    }
    return true;
}
