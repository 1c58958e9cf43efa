#include "decoder/adapter_selection.h"

#include <iterator>

#include <fmt/format.h>

#include "decoder/platform/decoder_profiles.h"

using namespace platform;

namespace {

const GUID kH264Profiles[] = {kH264VendorProfileA, kH264VendorProfileB, D3D11_DECODER_PROFILE_H264_VLD_NOFGT};

const D3D_FEATURE_LEVEL kFeatureLevels[] = {
    D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0,
    D3D_FEATURE_LEVEL_9_3,  D3D_FEATURE_LEVEL_9_2,  D3D_FEATURE_LEVEL_9_1,
};

bool IsH264Profile(const GUID& profile)
{
    for (const GUID& candidate : kH264Profiles) {
        if (candidate == profile)
            return true;
    }
    return false;
}

}  // namespace

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

std::string AdapterLuidText(const DXGI_ADAPTER_DESC1& description)
{
    return fmt::format("0x{:08x}{:08x}", static_cast<uint32_t>(description.AdapterLuid.HighPart),
                       description.AdapterLuid.LowPart);
}

std::string DriverVersionText(int64_t version)
{
    const auto bits = static_cast<uint64_t>(version);
    return fmt::format("{}.{}.{}.{}", bits >> 48, (bits >> 32) & 0xFFFF, (bits >> 16) & 0xFFFF, bits & 0xFFFF);
}

AdapterIdentity IdentifyAdapter(VideoPlatform& videoPlatform, IDXGIAdapter1& adapter, UINT index)
{
    AdapterIdentity identity;
    identity.index = index;
    adapter.GetDesc1(&identity.description);
    int64_t driverVersion = 0;
    if (adapter.CheckInterfaceSupport(IID_IDXGIDevice, &driverVersion) == kResultOk)
        identity.driverVersion = driverVersion;
    identity.driverDate = videoPlatform.DriverDate(identity.description);
    identity.simulated = videoPlatform.IsSimulated();
    return identity;
}

nlohmann::json AdapterIdentityValue(const AdapterIdentity& identity)
{
    const DXGI_ADAPTER_DESC1& description = identity.description;
    return {
        {"index", identity.index},
        {"description", AdapterName(description)},
        {"vendorId", description.VendorId},
        {"deviceId", description.DeviceId},
        {"subSysId", description.SubSysId},
        {"revision", description.Revision},
        {"luid", AdapterLuidText(description)},
        {"driverVersion", identity.driverVersion ? nlohmann::json(DriverVersionText(*identity.driverVersion))
                                                 : nlohmann::json()},
        {"driverDate", identity.driverDate ? nlohmann::json(*identity.driverDate) : nlohmann::json()},
        {"simulated", identity.simulated},
    };
}

std::string OpenVideoInterfaces(VideoPlatform& videoPlatform, IDXGIAdapter1* adapter, UINT index,
                                ID3D11Device*& device, ID3D11DeviceContext*& context,
                                ID3D11VideoDevice*& videoDevice, ID3D11VideoContext*& videoContext)
{
    HRESULT result = videoPlatform.D3D11CreateDevice(
        adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_VIDEO_SUPPORT | D3D11_CREATE_DEVICE_BGRA_SUPPORT,
        kFeatureLevels, static_cast<UINT>(std::size(kFeatureLevels)), kD3D11SdkVersion, &device, nullptr, &context);
    if (Failed(result) || !device || !context)
        return fmt::format("D3D11CreateDevice failed on adapter {}: hr = 0x{:x}", index, HresultBits(result));

    void* video = nullptr;
    result = device->QueryInterface(IID_ID3D11VideoDevice, &video);
    if (Failed(result) || !video)
        return fmt::format("could not query ID3D11VideoDevice interface: hr = 0x{:x}", HresultBits(result));
    videoDevice = static_cast<ID3D11VideoDevice*>(video);

    video = nullptr;
    result = context->QueryInterface(IID_ID3D11VideoContext, &video);
    if (Failed(result))
        return fmt::format("could not query ID3D11VideoContext interface: hr = 0x{:x}", HresultBits(result));
    if (!video)
        return "no video context found on this computer";
    videoContext = static_cast<ID3D11VideoContext*>(video);
    return {};
}

BenchmarkProfiles ChooseBenchmarkProfiles(const std::vector<GUID>& offered)
{
    BenchmarkProfiles chosen;
    for (const GUID& profile : offered) {
        // The published profile wins wherever it stands; a vendor profile,
        // which drivers keep for older decoders, only stands in without it.
        if ((chosen.h264 == kGuidNull || profile == D3D11_DECODER_PROFILE_H264_VLD_NOFGT) && IsH264Profile(profile))
            chosen.h264 = profile;
        if (chosen.hevc == kGuidNull && profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN)
            chosen.hevc = profile;
        if (profile == D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10)
            chosen.hevcMain10 = profile;
    }
    return chosen;
}
