#pragma once

#include <cstdint>

#include "bitstream/bit_reader.h"

// Reads of ids and counts that later index a fixed table or array. A value
// above maxValue is logged at error level, naming the syntax element, and
// the read returns false without storing it; the caller fails the NAL unit.
// The bits are consumed either way.
[[nodiscard]] bool ReadUeMax(BitReader& reader, const char* name, uint32_t maxValue, uint32_t& value);
[[nodiscard]] bool ReadBitsMax(BitReader& reader, int count, const char* name, uint32_t maxValue, uint32_t& value);
