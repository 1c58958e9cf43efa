#pragma once

#include <span>

#include "bench/bench_case.h"

class VideoDecoder;

// Decodes every case's frame files, in table order, with the one decoder, and
// records per case whether every frame was accepted and how long it took. A
// case stops at its first refused or unreadable frame; the next case still runs.
void RunBenchmarkCases(VideoDecoder& decoder, std::span<BenchCase> cases);
