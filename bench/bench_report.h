#pragma once

#include <span>

#include <nlohmann/json.hpp>

#include "bench/bench_case.h"

// {"bench":["h264",[<H.264 rows>],["h265",[<H.265 rows>]]]}, each group in
// table order (rows 0-3 and 4-7 of the case table; a stream's one row in its
// codec's group): the H.265 group sits one level deeper than the H.264 group;
// the parent reads it that way.
nlohmann::json BuildBenchReport(std::span<const BenchCase> cases);
