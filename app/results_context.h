#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "bench/measured_run.h"

struct AdapterIdentity;

// What became of checking the frame files against data/SHA256SUMS.
struct DataCheckOutcome {
    bool checked = false;     // a manifest was read; each case's files were checked against it
    std::string identity;     // the manifest's SHA-256, when checked
    std::string error;        // why a manifest there could not be used; then every case fails with it
    uint64_t checkUs = 0;     // time spent reading and checking, outside every clock
};

// The results message's "context": the machine and program from
// SystemContext, the processor the run was pinned to, the adapter the cases
// ran on, the data, the settings and what the times measure.
nlohmann::json ResultsContext(const std::optional<AdapterIdentity>& adapter, const DataCheckOutcome& data,
                              const MeasureSettings& settings, std::optional<int> processor);
