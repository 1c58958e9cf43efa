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

// The same for one case over the access units of the Annex B stream at
// `path` (codec 0 H.264, 1 H.265). The stream is read once before any clock
// (every NAL unit parsed, the access units counted); `benchCase` becomes the
// case's row: the path, the picture size of its first SPS, the codec and the
// unit count. A file that is no usable stream fails the case with one error
// line, its reason, before the check is asked; `finished` is called either way.
void RunMeasuredStream(VideoDecoder& decoder, const std::string& path, uint8_t codec, const MeasureSettings& settings,
                       BenchCase& benchCase, CaseMeasurement& measurement, const CaseCheck& check,
                       const CaseFinished& finished);
