#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Largest NAL unit the parsers accept; each stream owns one RBSP buffer of
// this size.
constexpr size_t kRbspCapacity = 10 * 1024 * 1024;
// The front of each RBSP buffer is faulted in when its stream is created:
// parameter sets and slice headers fit in it, so no timed parse pays for
// mapping those pages.
constexpr size_t kRbspPreparedBytes = 64 * 1024;

// Position just after the first 00 00 01 at or after `from` that has at least
// one byte after it before `end`; startCodeLength is 4 when a zero byte at or
// after `from` precedes it, else 3. No start code: returns `end`, length 0.
const uint8_t* FindStartCode(const uint8_t* from, const uint8_t* end, uint32_t& startCodeLength);

// Locates the first NAL unit of an Annex B buffer: nalStart is the offset of
// its header byte, nalEnd the offset where the next start code begins (or
// `size`). Returns nalEnd - nalStart, 0 without a start code, -1 when size < 3.
int32_t FindNalUnit(const uint8_t* buffer, size_t size, uint32_t& nalStart, uint32_t& nalEnd, uint32_t& startCodeLength);

// FindNalUnit over [buffer + from, buffer + size), answered from `starts`,
// the offsets of every start code of the whole buffer in increasing order (as
// CopyFindingStartCodes lists them), instead of from a new scan. Offsets are
// counted from `buffer`; `next` is the first entry of `starts` not yet
// passed, 0 for the first call of a walk, and moves on.
int32_t FindNalUnitInIndex(const uint8_t* buffer, size_t size, size_t from, std::span<const uint32_t> starts, size_t& next,
                           uint32_t& nalStart, uint32_t& nalEnd, uint32_t& startCodeLength);

// Removes emulation-prevention bytes from the payload that follows the
// `headerBytes` header bytes; stops at an embedded 00 00 01 / 00 00 02.
// `out` must hold nalSize bytes. Returns the RBSP length, also in outSize.
size_t NalToRbsp(const uint8_t* nal, size_t nalSize, size_t headerBytes, uint8_t* out, size_t& outSize);

// NalToRbsp over the first `prefixLength` bytes of a NAL unit of `nalSize`
// bytes, for a header read from the front of a long unit. Returns how many
// RBSP bytes are final: the last two of a cut-off prefix may still change
// (an escape or an end of data straddling the cut), so they only count when
// the whole unit was converted. outSize has all the bytes converted.
size_t NalPrefixToRbsp(const uint8_t* nal, size_t nalSize, size_t prefixLength, size_t headerBytes, uint8_t* out,
                       size_t& outSize);

// 0 for x <= 1, else the smallest n with 2^n >= x.
uint32_t CeilLog2(uint32_t x);

struct SliceDataLocation {
    uint32_t slice_id;
    uint32_t remainingBytes;
    uint32_t headerBits;
};
