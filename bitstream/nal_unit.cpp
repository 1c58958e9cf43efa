#include "bitstream/nal_unit.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "bitstream/start_code_scan.h"

const uint8_t* FindStartCode(const uint8_t* from, const uint8_t* end, uint32_t& startCodeLength)
{
    startCodeLength = 0;
    if (from >= end || end - from < 4)
        return end;
    const uint8_t* at = ScanForStartCode(from, end);
    if (at == end)
        return end;
    startCodeLength = (at > from && at[-1] == 0) ? 4 : 3;
    return at + 3;
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

int32_t FindNalUnitInIndex(const uint8_t* buffer, size_t size, size_t from, std::span<const uint32_t> starts, size_t& next,
                           uint32_t& nalStart, uint32_t& nalEnd, uint32_t& startCodeLength)
{
    startCodeLength = 0;
    if (from > size || size - from < 3 || size - from > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        return -1;
    while (next < starts.size() && starts[next] < from)
        ++next;
    if (next == starts.size()) {
        nalStart = nalEnd = static_cast<uint32_t>(size);
        return 0;
    }
    size_t at = starts[next];
    startCodeLength = (at > from && buffer[at - 1] == 0) ? 4 : 3;
    nalStart = static_cast<uint32_t>(at + 3);
    nalEnd = static_cast<uint32_t>(size);
    if (next + 1 < starts.size()) {
        size_t following = starts[next + 1];
        nalEnd = static_cast<uint32_t>(following > nalStart && buffer[following - 1] == 0 ? following - 1 : following);
    }
    return static_cast<int32_t>(nalEnd - nalStart);
}

size_t NalToRbsp(const uint8_t* nal, size_t nalSize, size_t headerBytes, uint8_t* out, size_t& outSize)
{
    if (headerBytes >= nalSize) {
        outSize = 0;
        return 0;
    }
    // Only a 00 00 0x triple (x <= 3) starting at least three bytes before
    // the end changes anything, so copy the runs between such candidates
    // whole and let memchr find the zero bytes.
    const uint8_t* end = nal + nalSize;
    const uint8_t* lastCandidate = end - 2;  // a triple must start before this
    const uint8_t* run = nal + headerBytes;
    const uint8_t* scan = run;
    uint8_t* written = out;
    auto copyRun = [&](const uint8_t* upTo) {
        size_t length = static_cast<size_t>(upTo - run);
        std::memcpy(written, run, length);
        written += length;
    };
    while (scan < lastCandidate) {
        const auto* zero = static_cast<const uint8_t*>(std::memchr(scan, 0, static_cast<size_t>(lastCandidate - scan)));
        if (!zero)
            break;
        if (zero[1] != 0) {
            scan = zero + 2;
        } else if (zero[2] > 3) {
            scan = zero + 3;
        } else if (zero[2] == 3) {
            copyRun(zero + 2);  // keep 00 00, drop the emulation-prevention 03
            run = zero + 3;
            scan = run;
        } else if (zero[2] != 0) {
            // 00 00 01 / 00 00 02: the RBSP ends before them.
            copyRun(zero);
            outSize = static_cast<size_t>(written - out);
            return outSize;
        } else {
            scan = zero + 1;  // 00 00 00 passes unchanged
        }
    }
    copyRun(end);
    outSize = static_cast<size_t>(written - out);
    return outSize;
}

uint32_t CeilLog2(uint32_t x)
{
    if (x <= 1)
        return 0;
    return 32u - static_cast<uint32_t>(std::countl_zero(x - 1));
}

size_t NalPrefixToRbsp(const uint8_t* nal, size_t nalSize, size_t prefixLength, size_t headerBytes, uint8_t* out,
                       size_t& outSize)
{
    const size_t converted = std::min(prefixLength, nalSize);
    NalToRbsp(nal, converted, headerBytes, out, outSize);
    if (converted == nalSize)
        return outSize;
    return outSize > 2 ? outSize - 2 : 0;
}
