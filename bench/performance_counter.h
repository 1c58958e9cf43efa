#pragma once

#include <cstdint>

// The platform's high-resolution monotonic counter (QueryPerformanceCounter on
// Windows, CLOCK_MONOTONIC elsewhere) and its ticks per second.
int64_t ReadPerformanceCounter();
int64_t PerformanceCounterFrequency();

// Whole seconds and the remainder are scaled separately so that the product
// cannot overflow 64 bits for any counter value a machine reaches.
constexpr int64_t CounterToNanoseconds(int64_t counter, int64_t frequency)
{
    return (counter / frequency) * 1000000000 + (counter % frequency) * 1000000000 / frequency;
}

inline int64_t MonotonicNanoseconds()
{
    return CounterToNanoseconds(ReadPerformanceCounter(), PerformanceCounterFrequency());
}

// Whole microseconds from `startNanoseconds` (a MonotonicNanoseconds reading) until now.
inline uint64_t MicrosecondsSince(int64_t startNanoseconds)
{
    return static_cast<uint64_t>((MonotonicNanoseconds() - startNanoseconds) / 1000);
}
