#include "bitstream/nal_unit.h"

#include <bit>
#include <cstring>
#include <limits>

namespace {

bool IsStartCodeAt(const uint8_t* p)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 1;
}

const uint8_t* StartCodeFound(const uint8_t* from, const uint8_t* at, uint32_t& startCodeLength)
{
    startCodeLength = (at > from && at[-1] == 0) ? 4 : 3;
    return at + 3;
}

// Non-zero when the little-endian word may hold a zero byte in byte 0, 1, 3,
// 5 or 7. Every pair of adjacent bytes includes one of those, so a word that
// passes cannot hold the 00 00 of a start code (the pair across the next word
// boundary is caught by byte 7 here or byte 0 of the next word).
constexpr uint64_t kZeroFilterSubtrahend = 0x0100010001000101ull;
constexpr uint64_t kZeroFilterHighBits = 0x8000800080008080ull;

bool MayHoldZeroPair(const uint8_t* word)
{
    uint64_t w;
    std::memcpy(&w, word, sizeof(w));
    if constexpr (std::endian::native == std::endian::big)
        w = __builtin_bswap64(w);
    return ((w - kZeroFilterSubtrahend) & ~w & kZeroFilterHighBits) != 0;
}

} // namespace

const uint8_t* FindStartCode(const uint8_t* from, const uint8_t* end, uint32_t& startCodeLength)
{
    startCodeLength = 0;
    if (from >= end || end - from < 4)
        return end;
    // Last position where a start code can begin: one byte must follow it.
    const uint8_t* last = end - 4;
    const uint8_t* p = from;

    while (p <= last && (reinterpret_cast<uintptr_t>(p) & 7u) != 0) {
        if (IsStartCodeAt(p))
            return StartCodeFound(from, p, startCodeLength);
        ++p;
    }
    while (last - p >= 7) {
        if (MayHoldZeroPair(p)) {
            for (int k = 0; k < 8; ++k) {
                if (IsStartCodeAt(p + k))
                    return StartCodeFound(from, p + k, startCodeLength);
            }
        }
        p += 8;
    }
    while (p <= last) {
        if (IsStartCodeAt(p))
            return StartCodeFound(from, p, startCodeLength);
        ++p;
    }
    return end;
}

int32_t FindNalUnit(const uint8_t* buffer, size_t size, uint32_t& nalStart, uint32_t& nalEnd, uint32_t& startCodeLength)
{
    // Offsets are 32-bit and the result signed: larger buffers are refused
    // rather than reported with truncated offsets.
    if (size < 3 || size > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        return -1;
    const uint8_t* end = buffer + size;
    const uint8_t* start = FindStartCode(buffer, end, startCodeLength);
    nalStart = static_cast<uint32_t>(start - buffer);
    uint32_t nextLength = 0;
    const uint8_t* next = FindStartCode(start, end, nextLength);
    nalEnd = nextLength != 0 ? static_cast<uint32_t>(next - nextLength - buffer) : static_cast<uint32_t>(size);
    return static_cast<int32_t>(nalEnd - nalStart);
}

size_t NalToRbsp(const uint8_t* nal, size_t nalSize, size_t headerBytes, uint8_t* out, size_t& outSize)
{
    size_t i = headerBytes;
    size_t j = 0;
    if (i < nalSize) {
        while (i + 2 < nalSize) {
            if (nal[i + 2] > 3) {
                out[j++] = nal[i++];
                out[j++] = nal[i++];
                out[j++] = nal[i++];
            } else if (nal[i] == 0 && nal[i + 1] == 0 && nal[i + 2] == 3) {
                out[j++] = 0;
                out[j++] = 0;
                i += 3;
            } else if (nal[i] == 0 && nal[i + 1] == 0 && (nal[i + 2] == 1 || nal[i + 2] == 2)) {
                outSize = j;
                return j;
            } else {
                out[j++] = nal[i++];
            }
        }
        while (i < nalSize)
            out[j++] = nal[i++];
    }
    outSize = j;
    return j;
}

uint32_t CeilLog2(uint32_t x)
{
    if (x <= 1)
        return 0;
    return 32u - static_cast<uint32_t>(std::countl_zero(x - 1));
}
