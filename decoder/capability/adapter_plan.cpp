#include "decoder/capability/adapter_plan.h"

#include <charconv>
#include <cstdint>

#include <fmt/format.h>

using namespace platform;

namespace {

std::optional<uint64_t> ParseNumber(const std::string& text, int base)
{
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

uint64_t LuidValue(const DXGI_ADAPTER_DESC1& description)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(description.AdapterLuid.HighPart)) << 32) |
           description.AdapterLuid.LowPart;
}

const AdapterCapabilities* FindAdapter(const MachineCapabilities& machine, const std::string& id)
{
    const bool hex = id.size() > 2 && id[0] == '0' && (id[1] == 'x' || id[1] == 'X');
    const std::optional<uint64_t> value = hex ? ParseNumber(id.substr(2), 16) : ParseNumber(id, 10);
    if (!value)
        return nullptr;
    for (const AdapterCapabilities& adapter : machine.adapters) {
        if (hex ? LuidValue(adapter.description) == *value : adapter.index == *value)
            return &adapter;
    }
    return nullptr;
}

std::string Named(const AdapterIdentity& adapter)
{
    return fmt::format("{} \"{}\" {}", adapter.index, AdapterName(adapter.description),
                       AdapterLuidText(adapter.description));
}

std::optional<UINT> RuleAdapter(const MachineCapabilities& machine)
{
    for (const AdapterCapabilities& adapter : machine.adapters) {
        if (adapter.benchmark)
            return adapter.index;
    }
    return std::nullopt;
}

}  // namespace

AdapterPlan PlanNamedAdapter(const MachineCapabilities& machine, const std::string& id)
{
    AdapterPlan plan;
    plan.ruleAdapter = RuleAdapter(machine);
    const AdapterCapabilities* adapter = FindAdapter(machine, id);
    if (!adapter) {
        std::string known;
        for (const AdapterCapabilities& each : machine.adapters)
            known += (known.empty() ? "" : ", ") + Named(each);
        plan.error = machine.adapters.empty()
                         ? fmt::format("--adapter {}: this machine shows no adapters{}", id,
                                       machine.failure.empty() ? "" : " (" + machine.failure + ")")
                         : fmt::format("--adapter {}: no such adapter; the adapters are {}", id, known);
    } else if (!adapter->benchmarkRefusal.empty()) {
        plan.error = fmt::format("--adapter {}: adapter {} cannot run the benchmark: {}", id, Named(*adapter),
                                 adapter->benchmarkRefusal);
    } else {
        plan.measured.push_back(adapter->index);
    }
    return plan;
}

AdapterPlan PlanEveryAdapter(const MachineCapabilities& machine)
{
    AdapterPlan plan;
    plan.ruleAdapter = RuleAdapter(machine);
    for (const AdapterCapabilities& adapter : machine.adapters) {
        if (adapter.benchmarkRefusal.empty())
            plan.measured.push_back(adapter.index);
        else
            plan.skipped.push_back({adapter, adapter.benchmarkRefusal});
    }
    return plan;
}
