#pragma once

#include <cstddef>
#include <cstdint>

// Reads syntax elements most significant bit first from an RBSP (or from the
// raw header bytes of a NAL unit). Reads never fail: past `end` they deliver
// zero bits and keep moving `cursor`, so an overrun is visible afterwards as
// `cursor > end`.
struct BitReader {
    const uint8_t* begin;
    const uint8_t* cursor;  // byte holding the next unread bit; may pass `end`
    const uint8_t* end;
    uint32_t bitsLeft;      // unread bits of *cursor, 1..8; 8 = untouched
};

BitReader MakeBitReader(const uint8_t* data, size_t size);

uint32_t ReadBit(BitReader& reader);
// count < 1 gives 0 and reads nothing; counts above 32 are clamped to 32.
uint32_t ReadBits(BitReader& reader, int count);
void SkipBits(BitReader& reader, size_t count);
uint32_t ReadByte(BitReader& reader);
// ue(v) and se(v). The zero prefix stops at 32 zeros or at the end of the
// data, so garbage costs at most 65 bits.
uint32_t ReadUe(BitReader& reader);
int32_t ReadSe(BitReader& reader);
// True unless the next eight bits (zeros past `end`) are exactly the stop
// bit and its alignment, or the reader is exhausted. Does not move the reader.
bool MoreRbspData(const BitReader& reader);
// rbsp_trailing_bits(): the stop bit and the alignment bits, values untested.
void SkipTrailingBits(BitReader& reader);
size_t BitPosition(const BitReader& reader);
// True once at least one whole byte past `end` has been consumed.
inline bool HasOverrun(const BitReader& reader) { return reader.cursor > reader.end; }
