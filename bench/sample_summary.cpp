#include "bench/sample_summary.h"

#include <algorithm>
#include <cmath>
#include <vector>

std::optional<SampleSummary> Summarize(std::span<const uint64_t> samples)
{
    if (samples.empty())
        return std::nullopt;
    std::vector<uint64_t> sorted(samples.begin(), samples.end());
    std::sort(sorted.begin(), sorted.end());
    const size_t count = sorted.size();

    SampleSummary summary;
    summary.min = sorted.front();
    summary.max = sorted.back();
    // Halves added apart, so that two values near the top of the range cannot overflow.
    summary.median = count % 2 ? sorted[count / 2]
                               : sorted[count / 2 - 1] / 2 + sorted[count / 2] / 2 +
                                     (sorted[count / 2 - 1] % 2 + sorted[count / 2] % 2) / 2;
    const size_t rank = (count * 95 + 99) / 100;  // ceil(0.95 n), at least 1
    summary.p95 = sorted[rank - 1];

    double sum = 0;
    for (uint64_t value : sorted)
        sum += static_cast<double>(value);
    summary.mean = sum / static_cast<double>(count);
    if (count > 1 && summary.mean > 0) {
        double squares = 0;
        for (uint64_t value : sorted) {
            const double deviation = static_cast<double>(value) - summary.mean;
            squares += deviation * deviation;
        }
        summary.cv = std::sqrt(squares / static_cast<double>(count - 1)) / summary.mean;
    }
    return summary;
}

bool KeepsUpWith(uint32_t framesPerSecond, size_t frames, uint64_t medianPassUs, uint64_t latencyP95Us)
{
    if (framesPerSecond == 0 || frames == 0)
        return false;
    // Compared as products, so that no interval is rounded: pass/frames <= 1e6/fps.
    constexpr double kMicrosecondsPerSecond = 1e6;
    const double fps = framesPerSecond;
    return static_cast<double>(medianPassUs) * fps <= kMicrosecondsPerSecond * static_cast<double>(frames) &&
           static_cast<double>(latencyP95Us) * fps <= kMicrosecondsPerSecond;
}
