#pragma once

#include <span>

#include <nlohmann/json.hpp>

#include "bench/bench_case.h"

// {"bench":["h264",[<rows 0-3>],["h265",[<rows 4-7>]]]}: the H.265 group sits
// one level deeper than the H.264 group; the parent reads it that way.
nlohmann::json BuildBenchReport(std::span<const BenchCase, kBenchCaseCount> cases);
