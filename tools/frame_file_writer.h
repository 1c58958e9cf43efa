#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/access_unit_splitter.h"

// Version written into every frame header.
constexpr uint8_t kFrameFileVersion = 1;
// Timestamps count in 90 kHz units.
constexpr uint32_t kTimestampClock = 90000;

// Timestamp of frame `index` at `fps` frames per second, rounded to the
// nearest tick and wrapped to 32 bits.
uint32_t FrameTimestamp(uint64_t index, double fps);

// The 5-byte header: codec in the high four bits of byte 0, version in the
// low four, then the timestamp in little-endian order.
std::vector<uint8_t> MakeFrameHeader(uint8_t codec, uint32_t timestamp);

// Writes "frame_<N>.frame" for every unit into `directory`, creating it when
// needed. Each file is written under a temporary name and renamed when
// complete, so a failure never leaves a partial frame behind. Returns false
// with a message naming the file in `error`.
bool WriteFrameFiles(const std::string& directory, uint8_t codec, double fps, const uint8_t* stream,
                     const std::vector<AccessUnitRange>& units, std::string& error);
