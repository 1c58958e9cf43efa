#include "capability_test_machine.h"

#include <algorithm>

#include "decoder/platform/decoder_profiles.h"
#include "decoder/platform/simulated/simulated_objects.h"

namespace capability_test {

namespace {

const GUID kUnnamedProfile = {0x12345678, 0x9abc, 0xdef0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}};

// Counts itself among the machine's live objects.
struct Counted {
    explicit Counted(TestMachine& machine) : m_Machine(machine) { ++m_Machine.liveObjects; }
    ~Counted() { --m_Machine.liveObjects; }
    TestMachine& m_Machine;
};

class MachineAdapter : public SimulatedAdapter, Counted {
public:
    MachineAdapter(TestMachine& machine, const AdapterTraits& adapterTraits) : Counted(machine), m_Traits(adapterTraits) {}
    HRESULT GetDesc1(DXGI_ADAPTER_DESC1* description) override
    {
        *description = m_Traits.description;
        std::copy(m_Traits.name.begin(), m_Traits.name.end(), description->Description);
        return kResultOk;
    }
    HRESULT CheckInterfaceSupport(const GUID& interfaceName, int64_t* version) override
    {
        *version = 0;
        if (!(interfaceName == IID_IDXGIDevice) || m_Traits.driverVersion == 0)
            return kResultDxgiUnsupported;
        *version = m_Traits.driverVersion;
        return kResultOk;
    }
    const AdapterTraits& m_Traits;
};

class MachineFactory : public SimulatedFactory, Counted {
public:
    using Counted::Counted;
    HRESULT EnumAdapters1(UINT index, IDXGIAdapter1** adapter) override
    {
        *adapter = index < m_Machine.adapters.size() ? new MachineAdapter(m_Machine, m_Machine.adapters[index]) : nullptr;
        return *adapter ? kResultOk : kResultDxgiNotFound;
    }
};

class MachineContext : public SimulatedContext, Counted {
public:
    using Counted::Counted;
};

bool Within(const D3D11_VIDEO_DECODER_DESC& description, Limit limit)
{
    return description.SampleWidth <= limit.width && description.SampleHeight <= limit.height;
}

class MachineDevice : public SimulatedDevice, Counted {
public:
    MachineDevice(TestMachine& machine, const AdapterTraits& adapterTraits) : SimulatedDevice({}), Counted(machine), m_Traits(adapterTraits) {}

    HRESULT QueryInterface(const GUID& interfaceId, void** object) override;

    UINT GetVideoDecoderProfileCount() override { return static_cast<UINT>(m_Traits.profiles.size()); }
    HRESULT GetVideoDecoderProfile(UINT index, GUID* profile) override
    {
        if (index >= m_Traits.profiles.size())
            return kResultInvalidArgument;
        *profile = m_Traits.profiles[index].guid;
        return kResultOk;
    }
    HRESULT CheckVideoDecoderFormat(const GUID* profile, DXGI_FORMAT format, BOOL* supported) override
    {
        const ProfileTraits* profileTraits = Find(*profile);
        if (!profileTraits)
            return kResultInvalidArgument;
        *supported = std::ranges::count(profileTraits->formats, format) > 0;
        return kResultOk;
    }
    HRESULT GetVideoDecoderConfigCount(const D3D11_VIDEO_DECODER_DESC* description, UINT* count) override
    {
        const ProfileTraits* profileTraits = Find(description->Guid);
        if (!profileTraits || std::ranges::count(profileTraits->formats, description->OutputFormat) == 0)
            return kResultInvalidArgument;
        *count = Within(*description, profileTraits->configurations) ? static_cast<UINT>(profileTraits->earlier.size()) + 1 : 0;
        return kResultOk;
    }
    HRESULT GetVideoDecoderConfig(const D3D11_VIDEO_DECODER_DESC* description, UINT index,
                                  D3D11_VIDEO_DECODER_CONFIG* config) override
    {
        UINT count = 0;
        *config = {};
        if (Failed(GetVideoDecoderConfigCount(description, &count)) || index >= count)
            return kResultInvalidArgument;
        const std::vector<EarlierConfiguration>& earlier = Find(description->Guid)->earlier;
        config->ConfigBitstreamRaw = index < earlier.size() ? earlier[index].bitstreamRaw : 1;
        return kResultOk;
    }
    // Only from an offered configuration, and up to that configuration's decoder limit.
    HRESULT CreateVideoDecoder(const D3D11_VIDEO_DECODER_DESC* description, const D3D11_VIDEO_DECODER_CONFIG* config,
                               ID3D11VideoDecoder** decoder) override
    {
        *decoder = nullptr;
        D3D11_VIDEO_DECODER_CONFIG offered = {};
        UINT index = 0;
        for (; !Failed(GetVideoDecoderConfig(description, index, &offered)); ++index) {
            if (offered.ConfigBitstreamRaw == config->ConfigBitstreamRaw)
                break;
        }
        // Past the last offered one: no configuration matched.
        if (Failed(GetVideoDecoderConfig(description, index, &offered)))
            return kResultInvalidArgument;
        const ProfileTraits& profileTraits = *Find(description->Guid);
        if (!Within(*description, index < profileTraits.earlier.size() ? profileTraits.earlier[index].decoders : profileTraits.decoders))
            return kResultOutOfMemory;
        ++m_Machine.decodersCreated;
        *decoder = new SimulatedVideoDecoder(*this, *description, offered);
        return kResultOk;
    }

private:
    const ProfileTraits* Find(const GUID& profile) const
    {
        auto found = std::ranges::find_if(m_Traits.profiles, [&](const ProfileTraits& traits) { return traits.guid == profile; });
        return found == m_Traits.profiles.end() ? nullptr : &*found;
    }
    const AdapterTraits& m_Traits;
};

// Real time up to 4096x2304 at any rate asked.
class MachineDecoderCaps : public ReferenceCounted<ID3D11VideoDevice1>, Counted {
public:
    MachineDecoderCaps(TestMachine& machine, MachineDevice& device) : Counted(machine), m_Device(device) { m_Device.AddRef(); }
    ~MachineDecoderCaps() override { m_Device.Release(); }
    HRESULT QueryInterface(const GUID& interfaceId, void** object) override { return m_Device.QueryInterface(interfaceId, object); }
    HRESULT GetVideoDecoderCaps(const GUID* profile, UINT width, UINT height, const DXGI_RATIONAL* frameRate, UINT,
                                const GUID*, UINT* caps) override
    {
        BOOL supported = 0;
        if (!frameRate || Failed(m_Device.CheckVideoDecoderFormat(profile, DXGI_FORMAT_NV12, &supported)))
            return kResultInvalidArgument;
        *caps = uint64_t(width) * height > uint64_t(4096) * 2304 ? UINT{D3D11_VIDEO_DECODER_CAPS_NON_REAL_TIME} : 0u;
        return kResultOk;
    }
    MachineDevice& m_Device;
};

HRESULT MachineDevice::QueryInterface(const GUID& interfaceId, void** object)
{
    *object = nullptr;
    if (!(interfaceId == IID_ID3D11VideoDevice1))
        return SimulatedDevice::QueryInterface(interfaceId, object);
    if (!m_Traits.decoderCaps)
        return kResultNoInterface;
    *object = static_cast<ID3D11VideoDevice1*>(new MachineDecoderCaps(m_Machine, *this));
    return kResultOk;
}

ProfileTraits Profile(const GUID& guid, std::vector<DXGI_FORMAT> formats, Limit limit)
{
    return {guid, std::move(formats), limit, limit};
}

}  // namespace

TestMachine::TestMachine()
{
    const Limit k4096 = {4096, 2304};
    const Limit k8192 = {8192, 8192};
    adapters = {
        {u"Basic Render Driver", {{}, 0x1414, 0x8c, 0, 0, 0, 0, 0, {0xd1a0, 0}, DXGI_ADAPTER_FLAG_SOFTWARE},
         0x000A0000585D09CA, std::nullopt, kResultDxgiUnsupported, false, {}},
        {u"Integrated test GPU", {{}, 0x8086, 0x9a49, 0x30868086, 1, size_t(128) << 20, 0, 0, {0xe2b1, 0}, 0},
         0x001F000000651196, "2023-06-14", kResultOk, false,
         {
             Profile(kH264VendorProfileB, {DXGI_FORMAT_NV12}, k4096),
             Profile(D3D11_DECODER_PROFILE_H264_VLD_NOFGT, {DXGI_FORMAT_NV12}, k4096),
             Profile(D3D11_DECODER_PROFILE_HEVC_VLD_MAIN, {DXGI_FORMAT_NV12}, k4096),
             Profile(D3D11_DECODER_PROFILE_VP9_VLD_PROFILE0, {DXGI_FORMAT_NV12}, k4096),
         }},
        {u"Discrete test GPU", {{}, 0x10de, 0x2484, 0x146710de, 0xa1, size_t(8) << 30, 0, 0, {0x1f3c2, 1}, 0}, 0,
         "2024-01-08", kResultOk, true,
         {
             Profile(D3D11_DECODER_PROFILE_H264_VLD_NOFGT, {DXGI_FORMAT_NV12}, k8192),
             Profile(D3D11_DECODER_PROFILE_HEVC_VLD_MAIN, {DXGI_FORMAT_NV12}, k8192),
             Profile(D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10, {DXGI_FORMAT_P010}, k8192),
             Profile(D3D11_DECODER_PROFILE_VP9_VLD_PROFILE0, {DXGI_FORMAT_NV12}, k8192),
             {D3D11_DECODER_PROFILE_VP9_VLD_10BIT_PROFILE2, {DXGI_FORMAT_P010}, k8192, {3840, 2160}},
             Profile(D3D11_DECODER_PROFILE_AV1_VLD_PROFILE0, {DXGI_FORMAT_NV12, DXGI_FORMAT_P010}, k8192),
             // A profile without a published name that offers no configuration.
             Profile(kUnnamedProfile, {DXGI_FORMAT_NV12}, {0, 0}),
         }},
    };
}

HRESULT TestMachine::CreateDXGIFactory1(const GUID& interfaceId, void** factory)
{
    *factory = interfaceId == IID_IDXGIFactory2 ? static_cast<IDXGIFactory2*>(new MachineFactory(*this)) : nullptr;
    return *factory ? kResultOk : kResultNoInterface;
}

std::optional<std::string> TestMachine::DriverDate(const DXGI_ADAPTER_DESC1& description)
{
    auto found = std::find_if(adapters.begin(), adapters.end(), [&](const AdapterTraits& traits) {
        return traits.description.VendorId == description.VendorId && traits.description.DeviceId == description.DeviceId;
    });
    return found == adapters.end() ? std::nullopt : found->driverDate;
}

HRESULT TestMachine::D3D11CreateDevice(IDXGIAdapter1* adapter, D3D_DRIVER_TYPE driverType, void* software, UINT flags,
                                       const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                                       ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel, ID3D11DeviceContext** context)
{
    *device = nullptr;
    *context = nullptr;
    auto* ours = dynamic_cast<MachineAdapter*>(adapter);
    if (!ours)
        return kResultInvalidArgument;
    if (Failed(ours->m_Traits.deviceResult))
        return ours->m_Traits.deviceResult;
    HRESULT result = SimulatedVideoPlatform::D3D11CreateDevice(adapter, driverType, software, flags, featureLevels,
                                                               featureLevelCount, sdkVersion, device, featureLevel, context);
    if (Failed(result))
        return result;
    (*device)->Release();
    (*context)->Release();
    *device = static_cast<ID3D11Device*>(new MachineDevice(*this, ours->m_Traits));
    *context = static_cast<ID3D11DeviceContext*>(new MachineContext(*this));
    return result;
}

}  // namespace capability_test
