#pragma once

#include <optional>
#include <string>
#include <vector>

#include "decoder/capability/capability_probe.h"

// Which adapters a run measures, decided from the capability probe before
// anything is timed: the one the parent names, or every adapter that decodes
// the benchmark, with the reason each other adapter has none.

struct SkippedAdapter {
    AdapterIdentity identity;
    std::string reason;
};

struct AdapterPlan {
    std::vector<platform::UINT> measured;        // in enumeration order
    std::optional<platform::UINT> ruleAdapter;   // the one the decoder takes by its own rule
    std::vector<SkippedAdapter> skipped;         // --all-adapters only
    std::string error;  // why the named adapter cannot be measured; empty when it can
};

// `id` is an index in enumeration order ("1") or a LUID as the capability
// report writes it ("0x0000000000005678", any case, leading zeros optional).
AdapterPlan PlanNamedAdapter(const MachineCapabilities& machine, const std::string& id);
AdapterPlan PlanEveryAdapter(const MachineCapabilities& machine);
