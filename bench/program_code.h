#pragma once

#include <cstddef>
#include <span>
#include <vector>

// The executable's own machine code, as the loader mapped it: its executable
// segments (Linux) or sections (Windows). Empty when the platform does not say.
std::vector<std::span<const std::byte>> ProgramCodeRanges();

// Reads every cache line of the program's code once, before any clock starts.
// A fresh process runs its code from pages the processor has never fetched, and
// the first case of each codec would otherwise time that fetch, not its
// decoding, and would not compare with the cases after it. No frame file and
// no decoder state is touched, so no pass is warmer than its first. Returns
// the bytes read.
size_t ReadProgramCode();
