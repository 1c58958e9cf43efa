#include "decoder/capability/capability_probe.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <string_view>

#include <fmt/format.h>

#include "bench/video_frame.h"
#include "decoder/adapter_selection.h"
#include "decoder/capability/decoder_profile_names.h"
#include "decoder/stream_support.h"
#include "logging/spdlog_logger.h"

using namespace platform;

namespace {

// The output formats asked about, in the order the message lists them.
constexpr DXGI_FORMAT kProbedFormats[] = {DXGI_FORMAT_NV12, DXGI_FORMAT_P010, DXGI_FORMAT_P016,
                                          DXGI_FORMAT_YUY2, DXGI_FORMAT_Y210, DXGI_FORMAT_Y216,
                                          DXGI_FORMAT_AYUV, DXGI_FORMAT_Y410, DXGI_FORMAT_Y416};

// Ascending, and each no smaller in either dimension than the one before.
constexpr PictureSize kProbedSizes[] = {{1280, 720},  {1920, 1080}, {2560, 1440}, {3840, 2160},
                                        {4096, 2304}, {7680, 4320}, {8192, 4320}, {8192, 8192}};

// The rate the real-time question is asked at.
constexpr DXGI_RATIONAL kFrameRate = {30, 1};

// Limits against a driver that reports nonsense counts; real ones stay far below.
constexpr UINT kMaxAdapters = 64;
constexpr UINT kMaxProfiles = 256;
constexpr UINT kMaxConfigurations = 16;

D3D11_VIDEO_DECODER_DESC Description(const GUID& profile, DXGI_FORMAT format, PictureSize size)
{
    return {profile, size.width, size.height, format};
}

bool OffersAt(ID3D11VideoDevice& device, const GUID& profile, DXGI_FORMAT format, PictureSize size)
{
    const D3D11_VIDEO_DECODER_DESC description = Description(profile, format, size);
    UINT count = 0;
    return !Failed(device.GetVideoDecoderConfigCount(&description, &count)) && count > 0;
}

// Whether the decoder can feed this configuration of the profile's codec.
// Other codecs are only measured: any configuration proves a size for them.
bool CodecTakes(std::string_view codec, UINT bitstreamRaw)
{
    if (codec == "hevc")
        return FeedsBitstreamRaw(kCodecH265, bitstreamRaw);
    if (codec == "h264")
        return FeedsBitstreamRaw(kCodecH264, bitstreamRaw);
    return true;
}

// Drivers overstate their configurations: only a decoder created proves a
// size. Each configuration offered is tried until one creates, except those
// the profile's codec cannot use.
bool DecodesAt(ID3D11VideoDevice& device, const GUID& profile, DXGI_FORMAT format, PictureSize size)
{
    const D3D11_VIDEO_DECODER_DESC description = Description(profile, format, size);
    const DecoderProfileName* named = FindDecoderProfileName(profile);
    const std::string_view codec = named ? named->codec : "";
    UINT count = 0;
    if (Failed(device.GetVideoDecoderConfigCount(&description, &count)))
        return false;
    for (UINT index = 0; index < std::min(count, kMaxConfigurations); ++index) {
        D3D11_VIDEO_DECODER_CONFIG config = {};
        if (Failed(device.GetVideoDecoderConfig(&description, index, &config)) ||
            !CodecTakes(codec, config.ConfigBitstreamRaw))
            continue;
        ID3D11VideoDecoder* decoder = nullptr;
        bool created = !Failed(device.CreateVideoDecoder(&description, &config, &decoder)) && decoder;
        SafeRelease(decoder);
        if (created)
            return true;
    }
    return false;
}

// The last of the first `count` probed sizes that passes, -1 for none. A
// driver that takes a size of the list takes the smaller ones too, so a
// binary search asks about at most four.
template <typename Passes>
int LargestPassing(int count, Passes passes)
{
    int largest = -1;
    for (int low = 0, high = count - 1; low <= high;) {
        int middle = (low + high) / 2;
        if (passes(kProbedSizes[middle])) {
            largest = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return largest;
}

// Searched among the cheap configuration queries first: where the driver is
// truthful, one decoder per profile proves the size.
std::optional<PictureSize> LargestSize(ID3D11VideoDevice& device, const GUID& profile, DXGI_FORMAT format)
{
    int offered = LargestPassing(static_cast<int>(std::size(kProbedSizes)),
                                 [&](PictureSize size) { return OffersAt(device, profile, format, size); });
    if (offered < 0)
        return std::nullopt;
    auto decodes = [&](PictureSize size) { return DecodesAt(device, profile, format, size); };
    int decoded = decodes(kProbedSizes[offered]) ? offered : LargestPassing(offered, decodes);
    return decoded < 0 ? std::nullopt : std::optional<PictureSize>(kProbedSizes[decoded]);
}

ProfileCapabilities ProbeProfile(ID3D11VideoDevice& device, ID3D11VideoDevice1* device1, const GUID& profile)
{
    ProfileCapabilities capabilities{profile, {}, std::nullopt, std::nullopt};
    for (DXGI_FORMAT format : kProbedFormats) {
        BOOL supported = 0;
        if (!Failed(device.CheckVideoDecoderFormat(&profile, format, &supported)) && supported)
            capabilities.formats.push_back(format);
    }
    if (!capabilities.formats.empty())
        capabilities.maxSize = LargestSize(device, profile, capabilities.formats.front());
    UINT caps = 0;
    if (device1 && capabilities.maxSize &&
        !Failed(device1->GetVideoDecoderCaps(&profile, capabilities.maxSize->width, capabilities.maxSize->height,
                                             &kFrameRate, 0, nullptr, &caps))) {
        capabilities.realTime = (caps & D3D11_VIDEO_DECODER_CAPS_NON_REAL_TIME) == 0;
    }
    return capabilities;
}

void ProbeProfiles(ID3D11VideoDevice& device, AdapterCapabilities& adapter)
{
    void* queried = nullptr;
    ID3D11VideoDevice1* device1 =
        Failed(device.QueryInterface(IID_ID3D11VideoDevice1, &queried)) ? nullptr : static_cast<ID3D11VideoDevice1*>(queried);
    UINT count = std::min(device.GetVideoDecoderProfileCount(), kMaxProfiles);
    for (UINT index = 0; index < count; ++index) {
        GUID profile = kGuidNull;
        if (!Failed(device.GetVideoDecoderProfile(index, &profile)))
            adapter.profiles.push_back(ProbeProfile(device, device1, profile));
    }
    SafeRelease(device1);
}

// The decoder's rule, applied to what was probed: it takes the adapter when
// it offers an accepted profile and each one it would use decodes into NV12.
// Empty when it does, else why not.
std::string BenchmarkRefusal(const AdapterCapabilities& adapter)
{
    if (!adapter.videoFailure.empty())
        return "no video decoding: " + adapter.videoFailure;
    std::vector<GUID> offered;
    for (const ProfileCapabilities& profile : adapter.profiles)
        offered.push_back(profile.guid);
    BenchmarkProfiles chosen = ChooseBenchmarkProfiles(offered);
    if (chosen.Empty())
        return "no H.264 or H.265 Main decoder profile";
    auto decodesNv12 = [&](const GUID& guid) {
        if (guid == kGuidNull)
            return true;
        for (const ProfileCapabilities& profile : adapter.profiles) {
            if (profile.guid == guid)
                return std::find(profile.formats.begin(), profile.formats.end(), DXGI_FORMAT_NV12) != profile.formats.end();
        }
        return false;
    };
    if (!decodesNv12(chosen.h264))
        return "its H.264 decoder profile does not decode into NV12";
    if (!decodesNv12(chosen.hevc))
        return "its H.265 Main decoder profile does not decode into NV12";
    return {};
}

AdapterCapabilities ProbeAdapter(VideoPlatform& videoPlatform, IDXGIAdapter1& adapter, UINT index)
{
    AdapterCapabilities capabilities;
    static_cast<AdapterIdentity&>(capabilities) = IdentifyAdapter(videoPlatform, adapter, index);
    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    ID3D11VideoDevice* videoDevice = nullptr;
    ID3D11VideoContext* videoContext = nullptr;
    capabilities.videoFailure = OpenVideoInterfaces(videoPlatform, &adapter, index, device, context, videoDevice, videoContext);
    if (capabilities.videoFailure.empty())
        ProbeProfiles(*videoDevice, capabilities);
    SafeRelease(videoContext);
    SafeRelease(videoDevice);
    SafeRelease(context);
    SafeRelease(device);
    return capabilities;
}

}  // namespace

MachineCapabilities ProbeCapabilities(VideoPlatform& videoPlatform)
{
    MachineCapabilities machine;
    void* factory = nullptr;
    HRESULT result = videoPlatform.CreateDXGIFactory1(IID_IDXGIFactory2, &factory);
    if (Failed(result) || !factory) {
        machine.failure = fmt::format("CreateDXGIFactory1 failed: hr = 0x{:x}", HresultBits(result));
        g_Logger.Log(LogLevel::info, "capabilities: no adapters: %s", machine.failure);
        if (factory)
            static_cast<IDXGIFactory2*>(factory)->Release();
        return machine;
    }
    auto* dxgiFactory = static_cast<IDXGIFactory2*>(factory);
    bool benchmarkFound = false;
    for (UINT index = 0; index < kMaxAdapters; ++index) {
        IDXGIAdapter1* adapter = nullptr;
        if (dxgiFactory->EnumAdapters1(index, &adapter) != kResultOk || !adapter) {
            SafeRelease(adapter);
            break;
        }
        auto started = std::chrono::steady_clock::now();
        AdapterCapabilities& probed = machine.adapters.emplace_back(ProbeAdapter(videoPlatform, *adapter, index));
        adapter->Release();
        probed.benchmarkRefusal = BenchmarkRefusal(probed);
        probed.benchmark = !benchmarkFound && probed.benchmarkRefusal.empty();
        benchmarkFound = benchmarkFound || probed.benchmark;

        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        const DXGI_ADAPTER_DESC1& description = probed.description;
        std::string outcome = probed.videoFailure.empty()
                                  ? fmt::format("{} profiles{}", probed.profiles.size(), probed.benchmark ? ", benchmark" : "")
                                  : "no video: " + probed.videoFailure;
        g_Logger.Log(LogLevel::info, "capabilities: adapter %d -> %s [0x%x//0x%x]%s, %s in %lld ms", index,
                     AdapterName(description), description.VendorId, description.DeviceId,
                     (description.Flags & DXGI_ADAPTER_FLAG_SOFTWARE) ? " software" : "", outcome,
                     static_cast<long long>(elapsed.count()));
    }
    dxgiFactory->Release();
    return machine;
}
