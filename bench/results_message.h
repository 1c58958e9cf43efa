#pragma once

#include <cstddef>
#include <span>

#include <nlohmann/json.hpp>

#include "bench/bench_case.h"
#include "bench/measured_run.h"

// The version of the results document; a reader that knows an older one
// can tell a change of meaning from a new key.
constexpr int kResultsSchemaVersion = 1;

// The frame rates each case is judged against.
constexpr uint32_t kRealTimeRates[] = {30, 60, 120};

// {"results": {"schemaVersion", "context", "cases": [...]}}: one case per row,
// in table order, with its samples, their summary, its latency and verdicts.
nlohmann::json BuildResultsMessage(nlohmann::json context, std::span<const BenchCase> cases,
                                   std::span<const CaseMeasurement> measurements);

// {"progress": {...}}: the case that has just finished, the `finished`th of `count`.
nlohmann::json BuildProgressMessage(const BenchCase& benchCase, size_t finished, size_t count);
