#include "decoder/adapter_selection.h"
#include "decoder/capability/capability_probe.h"
#include "decoder/capability/decoder_profile_names.h"

using namespace platform;

namespace {

nlohmann::json ProfileValue(const ProfileCapabilities& profile)
{
    const DecoderProfileName* named = FindDecoderProfileName(profile.guid);
    nlohmann::json value = {
        {"guid", GuidText(profile.guid)},
        {"name", named ? nlohmann::json(named->name) : nlohmann::json(nullptr)},
        {"codec", named ? nlohmann::json(named->codec) : nlohmann::json(nullptr)},
        {"formats", nlohmann::json::array()},
        {"maxSize", nullptr},
    };
    const ProfileSampling sampling = SamplingOf(profile.guid, profile.formats);
    if (sampling.bitDepth != 0)
        value["bitDepth"] = sampling.bitDepth;
    if (sampling.chroma)
        value["chroma"] = sampling.chroma;
    for (DXGI_FORMAT format : profile.formats)
        value["formats"].push_back(OutputFormatName(format));
    if (profile.maxSize)
        value["maxSize"] = {{"width", profile.maxSize->width}, {"height", profile.maxSize->height}};
    if (profile.realTime)
        value["realTime"] = *profile.realTime;
    return value;
}

nlohmann::json AdapterValue(const AdapterCapabilities& adapter)
{
    nlohmann::json value = AdapterIdentityValue(adapter);
    value["dedicatedVideoMemory"] = static_cast<uint64_t>(adapter.description.DedicatedVideoMemory);
    value["software"] = (adapter.description.Flags & DXGI_ADAPTER_FLAG_SOFTWARE) != 0;
    value["benchmark"] = adapter.benchmark;
    if (!adapter.videoFailure.empty()) {
        value["video"] = nullptr;
        value["reason"] = adapter.videoFailure;
        return value;
    }
    nlohmann::json profiles = nlohmann::json::array();
    for (const ProfileCapabilities& profile : adapter.profiles)
        profiles.push_back(ProfileValue(profile));
    value["video"] = {{"profiles", std::move(profiles)}};
    return value;
}

}  // namespace

nlohmann::json CapabilityMessage(const MachineCapabilities& machine)
{
    nlohmann::json capabilities = {{"adapters", nlohmann::json::array()}};
    for (const AdapterCapabilities& adapter : machine.adapters)
        capabilities["adapters"].push_back(AdapterValue(adapter));
    if (!machine.failure.empty())
        capabilities["reason"] = machine.failure;
    return {{"capabilities", std::move(capabilities)}};
}
