#include "app/results_context.h"

#include <string>

#include "bench/system_context.h"
#include "decoder/adapter_selection.h"
#include "decoder/dxva2_video_decoder.h"

nlohmann::json ResultsContext(const std::optional<AdapterIdentity>& adapter, const DataCheckOutcome& data,
                              const MeasureSettings& settings, std::optional<int> processor)
{
    nlohmann::json context = SystemContext();
    context["cpu"]["benchmarkProcessor"] = processor ? nlohmann::json(*processor) : nlohmann::json();
    context["adapter"] = adapter ? AdapterIdentityValue(*adapter) : nlohmann::json();
    if (data.checked)
        context["data"] = {{"checked", true}, {"manifestSha256", data.identity}, {"checkUs", data.checkUs}};
    else
        context["data"] = {{"checked", false}};
    if (!data.error.empty())
        context["data"]["error"] = data.error;
    context["settings"] = {{"repeat", settings.repeat}, {"warmup", settings.warmup}};
    if (platform::DefaultVideoPlatform().IsSimulated()) {
        context["timing"] = "simulated-host";
        const int64_t decodeUs = platform::SimulatedDecodeMicroseconds();
        context["timingNote"] =
            decodeUs ? "host side of the work on the simulated video device, which takes the test setting's " +
                           std::to_string(decodeUs) + " us per picture; no hardware decode time"
                     : std::string("host side of the work on the simulated video device; no hardware decode time");
        if (decodeUs)
            context["simulatedDecodeUs"] = decodeUs;
    } else {
        context["timing"] = "hardware";
    }
    return context;
}
