#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Returns the first byte of the first 00 00 01 that begins at or after `from`
// and has at least one more byte after it before `end`, or `end` when there
// is none. Never reads outside [from, end).
using StartCodeScan = const uint8_t* (*)(const uint8_t* from, const uint8_t* end);

// The fastest scan this processor runs, chosen on first use. Every search for
// start codes that does not copy goes through here.
const uint8_t* ScanForStartCode(const uint8_t* from, const uint8_t* end);

// Copies `size` bytes from `source` to `destination` and appends to `starts`
// the offset of every 00 00 01 among them that has at least one more byte
// after it, in increasing order; with SIMD, each byte is read once. `size`
// stays below 4 GiB, as a hardware bitstream buffer does.
using StartCodeCopy = void (*)(uint8_t* destination, const uint8_t* source, size_t size, std::vector<uint32_t>& starts);

// The fastest copy this processor runs, chosen on first use.
void CopyFindingStartCodes(uint8_t* destination, const uint8_t* source, size_t size, std::vector<uint32_t>& starts);

struct StartCodeScanVariant {
    const char* name;
    StartCodeScan scan;
    StartCodeCopy copy;
};

// Every scan and copy this build can run on this processor, the portable ones first,
// so that each can be held to the same answers and timed side by side.
std::span<const StartCodeScanVariant> StartCodeScanVariants();
