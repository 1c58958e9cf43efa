#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "bench/bench_case.h"

class VideoDecoder;

struct MeasureSettings {
    uint32_t repeat = 1;  // recorded passes
    uint32_t warmup = 0;  // unrecorded passes before them
};

// What the measured run learned of one case.
struct CaseMeasurement {
    bool passed = false;
    std::string reason;                 // the first error that failed the case
    uint64_t setupUs = 0;               // creating the decoder and its surfaces
    std::vector<uint64_t> samplesUs;    // one per recorded pass that completed
    std::vector<uint64_t> latenciesUs;  // per picture, submission until decoded
};

// Checks a case's data before its clock starts: empty, or why it cannot run.
using CaseCheck = std::function<std::string(const BenchCase&)>;
// Called on the run's thread as each case finishes.
using CaseFinished = std::function<void(const BenchCase&, const CaseMeasurement&)>;

// Runs every case as RunBenchmarkCases does, but measured apart: the check,
// then the decoder set up from the case's first frame (timed on its own),
// `warmup` passes, `repeat` timed passes and one pass timing each picture
// from submission until it is decoded. A case stops at its first failure and
// the next case still runs. Each case's row gets the pass and the first
// recorded pass's time, as the bare report shows them.
void RunMeasuredCases(VideoDecoder& decoder, std::span<BenchCase> cases, const MeasureSettings& settings,
                      std::span<CaseMeasurement> measurements, const CaseCheck& check,
                      const CaseFinished& finished);
