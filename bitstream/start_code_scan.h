#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Returns the first byte of the first 00 00 01 that begins at or after `from`
// and has at least one more byte after it before `end`, or `end` when there
// is none. Never reads outside [from, end).
using StartCodeScan = const uint8_t* (*)(const uint8_t* from, const uint8_t* end);

// The fastest scan this processor runs, chosen on first use. Everything that
// looks for start codes goes through here.
const uint8_t* ScanForStartCode(const uint8_t* from, const uint8_t* end);

struct StartCodeScanVariant {
    const char* name;
    StartCodeScan scan;
};

// Every scan this build can run on this processor, the portable one first,
// so that each can be held to the same answers and timed side by side.
std::span<const StartCodeScanVariant> StartCodeScanVariants();
