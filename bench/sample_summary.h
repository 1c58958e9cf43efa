#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// What a set of timings says: its order statistics, and how noisy it is.
struct SampleSummary {
    uint64_t min = 0;
    uint64_t median = 0;  // the mean of the two middle values for an even count
    uint64_t p95 = 0;     // nearest rank: the smallest value at or above 95 % of the samples
    uint64_t max = 0;
    double mean = 0;
    double cv = 0;  // sample standard deviation over the mean; 0 for a single sample
};

// Empty for no samples.
std::optional<SampleSummary> Summarize(std::span<const uint64_t> samples);

// Whether a case keeps up with a stream of `framesPerSecond`: its `frames`
// pictures take no longer than their frame intervals (by the median pass), and
// no more than one picture in twenty waits longer than one interval.
bool KeepsUpWith(uint32_t framesPerSecond, size_t frames, uint64_t medianPassUs, uint64_t latencyP95Us);
