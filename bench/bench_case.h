#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// One benchmark case: a directory of frame files and the outcome of its run.
struct BenchCase {
    std::string path;  // relative to the working directory, ends in "/"
    size_t width;
    size_t height;
    uint8_t codec;  // 0 = H.264, 1 = H.265
    size_t frameCount;
    bool passed;
    uint64_t elapsedUs;
};

constexpr size_t kBenchCaseCount = 8;

// Rows 0-3 are the H.264 cases, rows 4-7 the H.265 cases, each by increasing
// size; the report depends on this order.
extern std::array<BenchCase, kBenchCaseCount> g_BenchCases;

// "<path>frame_<index>.frame"
std::string FrameFileName(const BenchCase& benchCase, int32_t index);
